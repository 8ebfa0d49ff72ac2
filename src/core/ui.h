#pragma once
// Everything the program says to the person, or asks of them, goes through one Ui. The Qt
// player shows real dialogs; headless runs answer from a script (or take the default) and keep
// a log of every text they were asked to show. All texts are Windows-1252 bytes, as inside stacks.
#include <cstddef>
#include <deque>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace cv {

// Alert answers: first, second and third button.
enum : int { kAnswerFirst = 52, kAnswerSecond = 53, kAnswerThird = 54 };

// An alert string "NNtext~button~^default" taken apart.
struct AlertText {
    int sizeClass = 0;       // first digit
    int picture = 0;         // second digit
    std::string message;     // text before the first '~'
    std::vector<std::string> buttons; // labels without their '^', at most 3
    int defaultButton = 0;   // 0-based index of the default button
};

// Parses the system's alert string format. A string without the two leading digits is taken
// whole as the message; a string without buttons gets a single "OK".
AlertText parseAlertString(std::string_view s);

// The slide show's settings ("PRINTVIDEO"): every card once automatically, or until Escape,
// and the pause between cards in seconds.
struct SlideShowChoice {
    bool allCards = true;
    int pauseSeconds = 3;
};

// The Preferences dialog ("PREFERENCES") as a Ui shows it: check boxes and the password
// field by control number. The rules (which controls are enabled, what a password unlocks)
// belong to the form; a Ui only reports what the person did.
class PreferencesForm {
public:
    virtual ~PreferencesForm() = default;
    virtual bool checked(int control) const = 0;
    virtual bool enabled(int control) const = 0;
    // A check box was clicked (nothing happens to a disabled one).
    virtual void click(int control) = 0;
    // The password field's text, and its changes as they are typed.
    virtual const std::string& password() const = 0;
    virtual void passwordChanged(const std::string& text) = 0;
    virtual size_t passwordLimit() const = 0;
};

class Ui {
public:
    virtual ~Ui() = default;
    // Shows an alert (already parsed); returns kAnswerFirst..kAnswerThird.
    virtual int alert(int stringId, const AlertText& alert, bool showIcon) = 0;
    // A plain message box with an OK button.
    virtual void messageBox(std::string_view caption, std::string_view text) = 0;
    // Asks for one line of text; nullopt when cancelled.
    virtual std::optional<std::string> askText(std::string_view dialog, std::string_view prompt,
                                               std::string_view initial) = 0;
    // Asks for a file; nullopt when cancelled.
    virtual std::optional<std::string> chooseFile(std::string_view prompt, std::string_view filter,
                                                  bool forSaving) = 0;
    // The slide show dialog; nullopt when cancelled. Without a dialog of its own a Ui starts
    // the show with the settings given.
    virtual std::optional<SlideShowChoice> slideShowDialog(const SlideShowChoice& initial) { return initial; }
    // The Preferences dialog; true for OK. Without a dialog of its own a Ui changes nothing.
    virtual bool preferencesDialog(PreferencesForm& form) {
        (void)form;
        return false;
    }
};

// The Ui of headless runs: answers come from a queue filled by the caller (a session script
// or a test); with the queue empty an alert takes its default button and a question is cancelled.
class HeadlessUi : public Ui {
public:
    int alert(int stringId, const AlertText& alert, bool showIcon) override;
    void messageBox(std::string_view caption, std::string_view text) override;
    std::optional<std::string> askText(std::string_view dialog, std::string_view prompt,
                                       std::string_view initial) override;
    std::optional<std::string> chooseFile(std::string_view prompt, std::string_view filter,
                                          bool forSaving) override;
    // Answered from the text queue: "all N" or "escape N" (N seconds), or a cancel.
    std::optional<SlideShowChoice> slideShowDialog(const SlideShowChoice& initial) override;
    // Answered from the text queue, word by word in order: "NN=1" or "NN=0" sets check box
    // NN as a click would, "password=TEXT" types TEXT (no spaces) into the password field;
    // then OK. A cancel (or no answer) is Cancel. The log shows the controls as OK left them.
    bool preferencesDialog(PreferencesForm& form) override;

    // Scripted answers, used in order.
    void queueAnswer(int answer) { answers_.push_back(answer); }
    void queueText(std::string text) { texts_.push_back(std::move(text)); }
    void queueFile(std::string path) { files_.push_back(std::move(path)); }
    void queueCancel() { texts_.push_back(std::nullopt); files_.push_back(std::nullopt); }
    // Forgets every scripted answer not yet used.
    void clearAnswers() {
        answers_.clear();
        texts_.clear();
        files_.clear();
    }

    // One line per thing shown, e.g. "alert 2223: Sorry, I can't find that card. [^OK]".
    const std::vector<std::string>& log() const { return log_; }
    const std::string& lastAlertText() const { return lastAlert_; }
    void clearLog() { log_.clear(); lastAlert_.clear(); }
    // Called with every new log line (sessions print them as they happen).
    void setEcho(void (*echo)(const std::string&)) { echo_ = echo; }

private:
    void add(std::string line);
    std::deque<int> answers_;
    std::deque<std::optional<std::string>> texts_;
    std::deque<std::optional<std::string>> files_;
    std::vector<std::string> log_;
    std::string lastAlert_;
    void (*echo_)(const std::string&) = nullptr;
};

// The process-wide Ui; a HeadlessUi until a program installs its own.
Ui& ui();
// Installs `u` (not owned). nullptr restores the built-in headless one.
void setUi(Ui* u);
// The built-in headless Ui (for tests that want to script answers or read the log).
HeadlessUi& headlessUi();

} // namespace cv
