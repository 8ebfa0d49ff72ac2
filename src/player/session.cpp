// Running a session script against a headless player on the virtual clock.
#include "player/session.h"

#include <QImageWriter>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <fstream>
#include <sstream>

#include "core/alerts.h"
#include "core/clock.h"
#include "core/text_encoding.h"
#include "core/ui.h"
#include "media/sound_manager.h"
#include "player/headless_host.h"
#include "player/navigation.h"
#include "player/player.h"
#include "player/script_bridge.h"
#include "player/script_windows.h"
#include "player/transitions.h"
#include "stack/stack_document.h"

namespace cv {

namespace {

// Installs the session's clock and Ui for its lifetime and puts back what was there.
class Installed {
public:
    Installed(Clock* clock, Ui* u) : previousClock_(&cv::clock()), previousUi_(&ui()) {
        setClock(clock);
        setUi(u);
    }
    ~Installed() {
        setClock(previousClock_);
        setUi(previousUi_ == &headlessUi() ? nullptr : previousUi_);
    }
    Installed(const Installed&) = delete;
    Installed& operator=(const Installed&) = delete;

private:
    Clock* previousClock_;
    Ui* previousUi_;
};

// Closes whatever stack the session left open, after the player is gone.
struct StackCloser {
    ~StackCloser() { DisposeStack(); }
};

// Line breaks as the two characters "\n", so that a text fits on one log line.
std::string oneLine(const std::string& utf8) {
    std::string out;
    for (char c : utf8) {
        if (c == '\n') out += "\\n";
        else if (c != '\r') out += c;
    }
    return out;
}

std::string unescapeLineBreaks(const std::string& s) {
    std::string out;
    for (size_t i = 0; i < s.size(); ++i) {
        if (s[i] == '\\' && i + 1 < s.size() && s[i + 1] == 'n') {
            out += '\n';
            ++i;
        } else {
            out += s[i];
        }
    }
    return out;
}

std::string hexColour(uint32_t rgb) {
    char buf[8];
    std::snprintf(buf, sizeof buf, "#%06X", rgb & 0xFFFFFFu);
    return buf;
}

bool endsWithNoCase(const std::string& s, const std::string& suffix) {
    if (s.size() < suffix.size()) return false;
    for (size_t i = 0; i < suffix.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(s[s.size() - suffix.size() + i])) != suffix[i]) return false;
    return true;
}

class Runner {
public:
    Runner(Session::Output out, Session::Output err, std::filesystem::path folder, std::string name)
        : out_(std::move(out)), err_(std::move(err)), folder_(std::move(folder)), name_(std::move(name)),
          installed_(&clock_, &ui_), player_(host_) {
        resetAlertOnceList();
        player_.scripts().windows().setView(&scriptWindows_);
        auto previous = player_.onArrive;
        player_.onArrive = [this, previous](bool arriveAtStack) {
            flushUiLog();
            out_(cardLine());
            if (previous) previous(arriveAtStack);
        };
        setTransitionStepObserver([this](int step, int) { stepDrawn(step); });
        host_.onPump = [this] { runTimed(); };
        limitScripts(kDefaultScriptLimitMs);
    }
    ~Runner() { setTransitionStepObserver(nullptr); }
    Runner(const Runner&) = delete;
    Runner& operator=(const Runner&) = delete;

    int run(const std::vector<SessionCommand>& commands) {
        for (size_t i = 0; i < commands.size(); ++i) {
            const SessionCommand& c = commands[i];
            if (!execute(c)) {
                flushUiLog();
                return 1;
            }
            flushUiLog();
            if (overLimit_) {
                // Nobody can press Escape here: a script that would run on for ever ends the session.
                stop(c, "a script ran past the limit of " + std::to_string(limitMs_) +
                            " ms and was stopped, at: " + cp1252ToUtf8(overLimitLine_));
                return 1;
            }
            if (host_.quitting) {
                out_("quit " + std::to_string(host_.quitCode));
                // What the script still wanted to do or check did not happen: that is no pass.
                if (i + 1 < commands.size()) {
                    stop(commands[i + 1], "the player quit at line " + std::to_string(c.line) +
                                              ": this line and the rest did not run");
                    return 1;
                }
                break;
            }
        }
        for (const Timed& t : timed_)
            fail(t.command, "at " + std::to_string(t.command.at) + ": the session ended before that time");
        return failures_ ? 1 : 0;
    }

private:
    struct Timed {
        uint64_t due;
        SessionCommand command;
    };

    // Runs the timed commands whose time has come, in the order of their times.
    void runTimed() {
        if (runningTimed_) return;
        runningTimed_ = true;
        while (true) {
            auto next = std::min_element(timed_.begin(), timed_.end(),
                                         [](const Timed& a, const Timed& b) { return a.due < b.due; });
            if (next == timed_.end() || next->due > clock_.nowMs()) break;
            const SessionCommand c = next->command;
            timed_.erase(next);
            // Input is only queued: whatever runs now takes it as it would from a person.
            if (!execute(c, false)) failures_++;
            flushUiLog();
        }
        runningTimed_ = false;
    }

    // False when the script cannot go on.
    bool execute(const SessionCommand& c, bool dispatch = true) {
        if (c.at >= 0 && dispatch) {
            timed_.push_back({clock_.nowMs() + uint64_t(c.at), c});
            return true;
        }
        switch (c.op) {
        case SessionOp::Open: {
            const std::filesystem::path path = resolve(c.text);
            std::error_code ec;
            if (!std::filesystem::is_regular_file(path, ec)) return stop(c, "no stack file " + path.string());
            if (!theStack().open()) {
                player_.openStack(path.string());
                return true;
            }
            // Another stack is open: it is left as Open Stack leaves it (the close question, the
            // leave actions, its workspace stored).
            if (!player_.mayCloseStack()) return true;
            player_.navigation().leaveCard(true);
            player_.replaceStack(path.string());
            return true;
        }
        case SessionOp::Click:
            mouse(MsgType::MouseDown, c);
            mouse(MsgType::MouseUp, c);
            break;
        case SessionOp::Down:
            buttonHeld_ = true;
            mouse(MsgType::MouseDown, c);
            break;
        case SessionOp::Up:
            buttonHeld_ = false;
            mouse(MsgType::MouseUp, c);
            break;
        case SessionOp::Move: mouse(MsgType::MouseMove, c); break;
        case SessionOp::DoubleClick:
            // As the system reports one: press, release, double-click, release.
            mouse(MsgType::MouseDown, c);
            mouse(MsgType::MouseUp, c);
            mouse(MsgType::DoubleClick, c);
            mouse(MsgType::MouseUp, c);
            break;
        case SessionOp::Key:
        case SessionOp::Type:
            for (const Message& m : c.messages) player_.post(m);
            break;
        case SessionOp::Command: {
            Message m;
            m.type = MsgType::Command;
            m.command = int(c.number);
            player_.post(m);
            break;
        }
        case SessionOp::Wait: player_.runUntil(clock_.nowMs() + uint64_t(c.number)); return true;
        case SessionOp::Answer: ui_.queueAnswer(int(c.number)); return true;
        case SessionOp::AnswerText: ui_.queueText(utf8ToCp1252(c.text)); return true;
        case SessionOp::AnswerFile: ui_.queueFile(resolve(c.text).string()); return true;
        case SessionOp::Cancel: ui_.queueCancel(); return true;
        case SessionOp::Snapshot:
            if (player_.media.showDue) player_.media.showDue();
            return snapshot(c);
        case SessionOp::SnapshotStep:
            armedStep_ = int(c.number);
            armedPath_ = resolve(c.text);
            armedLine_ = c.line;
            stepPicture_ = QImage();
            return true;
        case SessionOp::ExpectCard: {
            const int shown = shownCardNumber();
            if (shown != c.number)
                fail(c, "expect card " + std::to_string(c.number) + ": card " + std::to_string(shown) + " is shown");
            return true;
        }
        case SessionOp::ExpectTitle: {
            const std::string title = cp1252ToUtf8(host_.title);
            if (title != c.text) fail(c, "expect title \"" + c.text + "\": the title is \"" + title + "\"");
            return true;
        }
        case SessionOp::ExpectAlert: return expectAlert(c);
        case SessionOp::ExpectPixel:
        case SessionOp::ExpectStepPixel: {
            if (c.op == SessionOp::ExpectStepPixel && stepPicture_.isNull()) {
                fail(c, armedStep_ ? "expect step-pixel: no transition has drawn step " + std::to_string(armedStep_) + " yet"
                                   : "expect step-pixel: no snapshot-step was asked for");
                return true;
            }
            if (c.op == SessionOp::ExpectPixel && player_.media.showDue) player_.media.showDue();
            const QImage& screen = c.op == SessionOp::ExpectPixel ? player_.screen() : stepPicture_;
            if (!screen.rect().contains(c.x, c.y)) {
                fail(c, "expect pixel " + std::to_string(c.x) + " " + std::to_string(c.y) + ": outside the " +
                            std::to_string(screen.width()) + " x " + std::to_string(screen.height()) + " card");
                return true;
            }
            const uint32_t rgb = screen.pixel(c.x, c.y) & 0xFFFFFFu;
            if (rgb != c.colour)
                fail(c, "expect pixel " + std::to_string(c.x) + " " + std::to_string(c.y) + " " + hexColour(c.colour) +
                            ": it is " + hexColour(rgb));
            return true;
        }
        case SessionOp::PrintCard:
            out_(cardLine(true));
            return true;
        case SessionOp::ScriptLimit: limitScripts(uint64_t(c.number)); return true;
        case SessionOp::RecordAudio: {
            const std::filesystem::path path = resolve(c.text);
            auto capture = std::make_unique<CaptureSink>(path.string());
            if (!capture->ok()) return stop(c, "cannot write the sound capture " + path.string());
            player_.sounds().setSink(std::move(capture));
            return true;
        }
        case SessionOp::ExpectMovie: {
            const bool playing = player_.media.anyMoviePlaying && player_.media.anyMoviePlaying();
            if (playing != (c.number != 0))
                fail(c, std::string("expect movie ") + (c.number ? "playing: no movie is playing" : "done: a movie is playing"));
            return true;
        }
        case SessionOp::ExpectSound: {
            const bool playing = player_.sounds().IsSoundPlaying();
            if (playing != (c.number != 0))
                fail(c, std::string("expect sound ") + (c.number ? "playing: all is silent" : "silent: a sound is playing"));
            return true;
        }
        case SessionOp::RunBox:
            if (!scriptWindows_.runBoxOpen()) {
                fail(c, "runbox: the Run Box is not open (command 660 opens it)");
                return true;
            }
            if (player_.scripts().running()) {
                fail(c, "runbox: a script is still running");
                return true;
            }
            player_.scripts().run(utf8ToCp1252(c.text), ScriptBridge::Start::RunBox);
            break;
        case SessionOp::RunBoxAnswer: scriptWindows_.queueRunBoxLine(utf8ToCp1252(c.text)); return true;
        case SessionOp::ExpectTextWindow: {
            std::string shown = scriptWindows_.takeNewText();
            for (char& ch : shown)
                if (ch == '\r') ch = '\n';
            if (!shown.empty() && shown.back() == '\n') shown.pop_back();
            const std::string expected = utf8ToCp1252(unescapeLineBreaks(c.text));
            if (shown != expected)
                fail(c, "expect text-window \"" + c.text + "\": the text window shows \"" + oneLine(cp1252ToUtf8(shown)) +
                            "\"");
            return true;
        }
        }
        if (dispatch) player_.processQueue();
        return true;
    }

    void limitScripts(uint64_t ms) {
        limitMs_ = ms;
        player_.scripts().setRunBound(ms, [this](const std::string& line) {
            overLimit_ = true;
            overLimitLine_ = line;
        });
    }

    void mouse(MsgType type, const SessionCommand& c) {
        Message m;
        m.type = type;
        m.x = c.x;
        m.y = c.y;
        m.modifiers = c.modifiers;
        m.buttonDown = type == MsgType::MouseMove && buttonHeld_;
        player_.post(m);
    }

    bool snapshot(const SessionCommand& c) {
        if (!save(player_.screen(), resolve(c.text))) return stop(c, "cannot write " + resolve(c.text).string());
        return true;
    }

    static bool save(const QImage& picture, const std::filesystem::path& path) {
        const char* format = pictureFormatFor(path.string());
        if (!format) return false;
        std::error_code ec;
        if (path.has_parent_path()) std::filesystem::create_directories(path.parent_path(), ec);
        return picture.save(QString::fromStdString(path.string()), format);
    }

    // Each drawn step of a transition: the one a snapshot-step waits for is kept and written.
    void stepDrawn(int step) {
        if (armedStep_ == 0 || step != armedStep_) return;
        stepPicture_ = player_.screen().copy();
        armedStep_ = 0;
        if (!save(stepPicture_, armedPath_))
            err_(name_ + ":" + std::to_string(armedLine_) + ": cannot write " + armedPath_.string());
    }

    bool expectAlert(const SessionCommand& c) {
        flushUiLog();
        const std::string expected = utf8ToCp1252(unescapeLineBreaks(c.text));
        const std::string shown = ui_.lastAlertText();
        // Each check looks at what was shown since the one before.
        ui_.clearLog();
        logShown_ = 0;
        if (expected.empty()) {
            if (!shown.empty()) fail(c, "expect no alert: \"" + oneLine(cp1252ToUtf8(shown)) + "\" was shown");
            return true;
        }
        if (shown.empty()) fail(c, "expect alert \"" + c.text + "\": no alert was shown");
        else if (shown != expected) fail(c, "expect alert \"" + c.text + "\": the alert was \"" + oneLine(cp1252ToUtf8(shown)) + "\"");
        return true;
    }

    int shownCardNumber() const { return theStack().open() ? player_.currentCardNumber() : 0; }

    std::string cardLine(bool details = false) const {
        const int number = shownCardNumber();
        Handle card = number ? CardByNumber(number) : 0;
        std::string line = "card " + std::to_string(number);
        if (details) line += " of " + std::to_string(theStack().cardCount());
        line += " id=" + std::to_string(card ? CardIdOf(card) : 0);
        line += " name=" + cp1252ToUtf8(card ? CardName(card) : std::string());
        if (details) line += " title=" + cp1252ToUtf8(host_.title);
        return line;
    }

    void flushUiLog() {
        const auto& log = ui_.log();
        for (; logShown_ < log.size(); ++logShown_) out_(oneLine(cp1252ToUtf8(log[logShown_])));
    }

    std::filesystem::path resolve(const std::string& utf8) const {
        const std::filesystem::path p = std::filesystem::path(utf8);
        return p.is_absolute() ? p : folder_ / p;
    }

    void fail(const SessionCommand& c, const std::string& what) {
        ++failures_;
        out_("FAIL line " + std::to_string(c.line) + ": " + what);
    }

    bool stop(const SessionCommand& c, const std::string& what) {
        err_(name_ + ":" + std::to_string(c.line) + ": " + what);
        return false;
    }

    Session::Output out_, err_;
    std::filesystem::path folder_;
    std::string name_;
    VirtualClock clock_;
    HeadlessUi ui_;
    Installed installed_;
    StackCloser closer_;
    HeadlessHost host_;
    HeadlessScriptWindows scriptWindows_;  // outlives the player that prints into it
    Player player_;
    size_t logShown_ = 0;
    int failures_ = 0;
    bool buttonHeld_ = false;
    int armedStep_ = 0; // the step a snapshot-step waits for
    std::filesystem::path armedPath_;
    int armedLine_ = 0;
    QImage stepPicture_;
    std::vector<Timed> timed_;   // `at` commands still to run
    bool runningTimed_ = false;
    uint64_t limitMs_ = 0;
    bool overLimit_ = false;
    std::string overLimitLine_; // the script line being run when the limit was passed
};

} // namespace

const char* pictureFormatFor(std::string_view path) {
    static const std::pair<const char*, const char*> kEndings[] = {
        {".png", "PNG"}, {".ppm", "PPM"}, {".jpg", "JPEG"}, {".jpeg", "JPEG"}, {".bmp", "BMP"}};
    const std::string name(path);
    for (const auto& [ending, format] : kEndings) {
        if (!endsWithNoCase(name, ending)) continue;
        // JPEG comes from an image plug-in that a machine may lack.
        return QImageWriter::supportedImageFormats().contains(QByteArray(format).toLower()) ? format : nullptr;
    }
    return nullptr;
}

Session::Session(Output out, Output err) : out_(std::move(out)), err_(std::move(err)) {}

int Session::runFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        err_("cannot read " + path);
        return 1;
    }
    std::ostringstream text;
    text << in.rdbuf();
    const std::filesystem::path folder = std::filesystem::absolute(std::filesystem::path(path)).parent_path();
    return run(text.str(), folder, path);
}

int Session::run(std::string_view script, const std::filesystem::path& folder, const std::string& name) {
    const ParsedSession parsed = parseSession(script);
    if (!parsed.errors.empty()) {
        for (const std::string& e : parsed.errors) err_(name + ": " + e);
        return 1;
    }
    Runner runner(out_, err_, folder, name);
    return runner.run(parsed.commands);
}

} // namespace cv
