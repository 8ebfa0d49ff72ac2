#pragma once
// The script windows as the player's rules see them: where printed text ends up (the text
// window), and which window gives a line that a script asks for (the Run Box while it waits,
// the read dialog, the text window's line editor). The windows themselves are a
// ScriptWindowsView: Qt widgets in the player, a scripted stand-in in sessions and tests.
#include <array>
#include <cstdint>
#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "script/script_host.h"

namespace cv {

namespace script {
class Interpreter;
}

// A command of the Window menu: opens the Run Box, or closes it when it is open.
constexpr int kCmdRunBox = 660;

// The Run Box's help text, sent as an alert (the backslash separates the button).
inline constexpr std::string_view kRunBoxHelpAlert = "42Quillscript Run Box\r\rType a command and press Enter.\\^OK";
inline constexpr std::string_view kRunBoxGreeting = "Enter a Quillscript command and press the Enter key.";
// Characters the text window's line editor holds in one line.
constexpr size_t kTextWindowLineLimit = 255;

// Who started a run, which decides where its typed lines come from.
enum class RunOrigin : uint8_t {
    Other,       // the stack's saved workspace, the player's own runs
    ActionList,  // a button's, card's or stack's script, a plug-in's request
    RunBox,      // a line entered in the Run Box
    TextWindow,  // a line or selection entered in the text window
};

// Where a line a script waits for is typed.
enum class LineSourceKind : uint8_t { ReadDialog, TextWindowEditor, RunBox, EmptyLine };

// The choice, once a file being loaded and the script's own text have nothing more: the read
// dialog while output is drawn in the drawing window and the Run Box is closed; otherwise the
// text window's editor for runs started there, and for every other run the Run Box when it is
// open, else an empty line.
LineSourceKind chooseLineSource(RunOrigin origin, bool turtleIO, bool runBoxOpen);

// How waiting for a typed line ended.
struct TypedLine {
    enum class End : uint8_t {
        Line,     // `text` was entered
        Closed,   // the window went away (or the dialog was cancelled): the line is empty
        Stopped,  // Escape or quitting: the run stops
    };
    End end = End::Line;
    std::string text;  // Windows-1252, the prompt character already removed
};

// The read dialog's place, in the drawing window's pixels (left, top, right, bottom).
using ReadRect = std::optional<std::array<int, 4>>;

// The windows. Texts are Windows-1252 bytes.
class ScriptWindowsView {
public:
    virtual ~ScriptWindowsView() = default;
    // Appends printed text at the end of the text window (CR and LF are line breaks).
    virtual void appendText(std::string_view bytes) = 0;
    virtual bool runBoxOpen() const = 0;
    virtual void setRunBoxOpen(bool open) = 0;
    // Waits for a line typed in the Run Box after `prompt`, the player's events going on.
    virtual TypedLine runBoxLine(char prompt) = 0;
    // Waits for a line typed in the text window's line editor after `prompt`.
    virtual TypedLine textWindowLine(char prompt) = 0;
    // Asks for a line with the read dialog.
    virtual TypedLine readDialog(std::string_view prompt, const ReadRect& rect) = 0;
    // The script editor (see ScriptHost::editScript); false without one.
    virtual bool editScript(std::string_view title, const std::string& text,
                            const std::function<bool(const std::string&)>& define) {
        (void)title; (void)text; (void)define;
        return false;
    }
};

// The rules between an interpreter and its windows: the run's text output (the last step of
// output's precedence; the interpreter takes the earlier ones) and its line input by origin.
class ScriptWindows {
public:
    explicit ScriptWindows(script::Interpreter& in);
    ~ScriptWindows();
    ScriptWindows(const ScriptWindows&) = delete;
    ScriptWindows& operator=(const ScriptWindows&) = delete;

    // Not owned; nullptr: no windows (printed text goes nowhere here, lines are empty).
    void setView(ScriptWindowsView* view) { view_ = view; }
    ScriptWindowsView* view() const { return view_; }

    script::LineInput& lineInput(RunOrigin origin);
    void appendText(std::string_view bytes) {
        if (view_) view_->appendText(bytes);
    }
    bool runBoxOpen() const { return view_ && view_->runBoxOpen(); }
    // True while a script waits for a line from the Run Box.
    bool readPending() const { return readPending_; }
    // True while a script waits for any typed line.
    bool reading() const { return reading_ > 0; }

private:
    class Input;
    bool readLine(RunOrigin origin, char prompt, std::string& line);
    script::Interpreter& in_;
    ScriptWindowsView* view_ = nullptr;
    std::array<Input*, 4> inputs_{};
    bool readPending_ = false;
    int reading_ = 0;
};

// Windows without a screen, for sessions and tests: the text window keeps what is printed,
// the Run Box's and the text window's lines come from queues (none queued: the Run Box is
// closed while waiting, the text window's read ends the run), and the read dialog is the Ui's
// question "READ" (answered by answer-text; cancelled: an empty line).
class HeadlessScriptWindows final : public ScriptWindowsView {
public:
    void appendText(std::string_view bytes) override;
    bool runBoxOpen() const override { return runBoxOpen_; }
    void setRunBoxOpen(bool open) override { runBoxOpen_ = open; }
    TypedLine runBoxLine(char prompt) override;
    TypedLine textWindowLine(char prompt) override;
    TypedLine readDialog(std::string_view prompt, const ReadRect& rect) override;
    // The editor: each queued text in turn is typed over what it shows and defined; it closes
    // at the first that is accepted, or, with none left, is closed without defining.
    bool editScript(std::string_view title, const std::string& text,
                    const std::function<bool(const std::string&)>& define) override;
    void queueEdit(std::string text) { edits_.push_back(std::move(text)); }
    // Every text the editor showed (the first and each refused one), and its last title.
    std::vector<std::string> editorTexts;
    std::string editorTitle;

    void queueRunBoxLine(std::string line) { runBoxLines_.push_back(std::move(line)); }
    void queueTextWindowLine(std::string line) { textWindowLines_.push_back(std::move(line)); }
    // The text window's text (its last 1 MB), and what was appended since the last take.
    const std::string& text() const { return text_; }
    std::string takeNewText();
    // The last read dialog's prompt and place.
    std::string lastReadPrompt;
    ReadRect lastReadRect;

private:
    bool runBoxOpen_ = false;
    std::deque<std::string> runBoxLines_, textWindowLines_, edits_;
    std::string text_;
    size_t taken_ = 0;
};

} // namespace cv
