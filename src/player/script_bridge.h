#pragma once
// The player's Quillscript interpreter: one for the whole run, so the workspace a stack
// loads stays while its buttons run scripts. Scripts reach the player through the command
// block (the player command table), print to the player's text output, wait by pumping the
// player's messages, and stop when Escape is pressed.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

namespace cv {

class Player;
class ScriptWindows;
namespace script {
class Interpreter;
}

class ScriptBridge {
public:
    explicit ScriptBridge(Player& player);
    ~ScriptBridge();

    // Who started a run: a script of an action list (a button's, a card's or the stack's)
    // begins with its text input and output in the drawing window, as TURTLEIO sets it; the
    // stack's saved workspace and other runs keep the setting as it stands.
    // A line entered in the Run Box or the text window runs with that window as its line
    // input; the text window's runs print in it (TURTLEIO is cleared first).
    enum class Start { Other, ActionList, RunBox, TextWindow };
    // Runs script text (Windows-1252) as one script run.
    void run(std::string_view text, Start start = Start::Other);
    script::Interpreter& interpreter();
    // The text window, the Run Box and the read dialog as the runs see them.
    ScriptWindows& windows();
    // True while a run is in progress.
    bool running() const;

    // Where printed text goes; sessions log it, the window will show it in the text window.
    std::function<void(std::string_view)> output;
    // Everything printed so far in this run of the player (the last 64 KB).
    const std::string& printed() const { return printed_; }
    // Drawing goes to the card's picture only (DRAWTOOFFSCREEN), shown on DRAWTOSCREEN.
    bool drawingOffscreen = false;

    // A bound on one script run, for sessions, where nobody can press Escape: `ms` of the
    // program clock, each 100 evaluation steps counting one millisecond more, for a run with
    // the runs it starts. A run that passes it is stopped as by Escape, and so is every later
    // run until the bound is set again; `passed` hears of it once, with the line being run.
    // 0: no bound.
    void setRunBound(uint64_t ms, std::function<void(const std::string& line)> passed);

private:
    struct Parts;
    Player& player_;
    std::unique_ptr<Parts> parts_;
    std::string printed_;
};

} // namespace cv
