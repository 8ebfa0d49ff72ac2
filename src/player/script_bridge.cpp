#include "player/script_bridge.h"

#include <algorithm>
#include <cstdlib>

#include "core/clock.h"
#include "core/settings.h"
#include "core/ui.h"
#include "media/sound_manager.h"
#include "player/events.h"
#include "player/navigation.h"
#include "player/script_windows.h"
#include "player/player.h"
#include "player/turtle_surface.h"
#include "script/interpreter.h"
#include "script/script_host.h"

namespace cv {

namespace {
constexpr size_t kPrintedLimit = 64 * 1024;
// What a run's evaluation costs against its bound: a step is charged 10 microseconds, about
// what the machines of the format's day took, so that a loop that never waits still ends.
constexpr uint64_t kStepsPerMs = 100;

// Closing the window, Exit and quitting end a running script; the request stays queued and is
// carried out once the run has unwound.
bool closeRequested(const MessageQueue& queue) {
    return std::any_of(queue.begin(), queue.end(), isCloseRequest);
}
} // namespace

struct ScriptBridge::Parts : script::TextOutput, script::ScriptHost, script::CommandDispatcher {
    explicit Parts(ScriptBridge& b)
        : bridge(b),
          // Scripts draw on the card window and on the card's picture, which repaints come from.
          window([&b] { return b.drawingOffscreen ? &b.player_.cardPicture().image : &b.player_.screen(); },
                 [&b]() -> QImage* { return b.drawingOffscreen ? nullptr : &b.player_.cardPicture().image; },
                 [&b](const QRect& r) {
                     if (!b.drawingOffscreen) b.player_.host().present(r);
                 }) {}

    void write(std::string_view bytes) override {
        std::string& p = bridge.printed_;
        p.append(bytes);
        if (p.size() > kPrintedLimit) p.erase(0, p.size() - kPrintedLimit);
        if (bridge.output) bridge.output(bytes);
        windows.appendText(bytes);
    }

    void waitIdle(uint64_t deadlineMs) override {
        Player& player = bridge.player_;
        player.pumpPendingMessage();
        if (player.postDueTimer() && player.timerHandler) player.timerHandler();
        const uint64_t now = clock().nowMs();
        if (deadlineMs > now) clock().sleepUntilMs(std::min<uint64_t>(deadlineMs, now + kTimerPeriodMs));
    }

    bool interruptRequested() override {
        Player& player = bridge.player_;
        player.host().pump();
        if (pastBound()) return true;
        bool escape = false;
        player.queue().removeIf([&](const Message& m) {
            if (m.type == MsgType::KeyDown && m.key == kKeyEscape) escape = true;
            return m.type == MsgType::KeyDown && m.key == kKeyEscape;
        });
        // The Escape that stops the script stops a chain of cards that move on by themselves too.
        if (escape) player.navigation().cancelPendingMove();
        return escape || closeRequested(player.queue());
    }

    // True once the run has gone on past its bound (and from then on).
    bool pastBound() {
        if (boundPassed) return true;
        if (boundMs == 0 || depth == 0) return false;
        const uint64_t now = clock().nowMs();
        const uint64_t waited = now > runStartMs ? now - runStartMs : 0;
        const uint64_t worked = (interpreter.steps() - runStartSteps) / kStepsPerMs;
        if (waited + worked <= boundMs) return false;
        boundPassed = true;
        const script::Ref line = interpreter.errorLine != script::kNone ? interpreter.errorLine : interpreter.currentLine;
        if (onBoundPassed) onBoundPassed(interpreter.LineText(line));
        return true;
    }

    // READCHAR: the next typed character, waiting for one while the player stays alive.
    int readChar() override {
        Player& player = bridge.player_;
        while (true) {
            player.host().pump();
            int found = -2;
            bool stop = false;
            player.queue().removeIf([&](const Message& m) {
                if (found != -2 || stop) return false;
                if (m.type == MsgType::Char) {
                    found = int(m.ch & 0xFF);
                    return true;
                }
                if (m.type == MsgType::KeyDown && m.key == kKeyEscape) {
                    stop = true;
                    return true;
                }
                return false;
            });
            if (stop) player.navigation().cancelPendingMove();
            if (found >= 0) return found;
            const bool quitting = std::any_of(player.queue().begin(), player.queue().end(), [](const Message& m) {
                return m.type == MsgType::Close || m.type == MsgType::Quit;
            });
            if (stop || quitting || !player.host().canWaitForInput()) return -1;
            waitIdle(clock().nowMs() + kTimerPeriodMs);
        }
    }

    bool charWaiting() override {
        Player& player = bridge.player_;
        player.host().pump();
        return std::any_of(player.queue().begin(), player.queue().end(),
                           [](const Message& m) { return m.type == MsgType::Char; });
    }

    bool pointerPosition(int& x, int& y) override {
        const QPoint p = bridge.player_.events().pointer();
        x = p.x();
        y = p.y();
        return true;
    }

    // The tone plays among the player's sounds; the primitive waits its length.
    void tone(double frequency, uint64_t durationMs) override {
        SoundManager& sounds = bridge.player_.sounds();
        sounds.PlayTone(frequency, durationMs, uint16_t(sounds.defaultLevel));
    }

    bool pointerButtonDown() override {
        bridge.player_.host().pump();
        return bridge.player_.events().buttonHeld();
    }

    bool editScript(std::string_view title, const std::string& text,
                    const std::function<bool(const std::string&)>& define) override {
        ScriptWindowsView* view = windows.view();
        return view && view->editScript(title, text, define);
    }

    script::NBAParamBlock& paramBlock() override { return block; }
    void NBACallback() override {
        if (bridge.player_.commandCallback) bridge.player_.commandCallback(block);
    }

    ScriptBridge& bridge;
    script::Interpreter interpreter;
    ScriptWindows windows{interpreter};
    int depth = 0;  // runs in progress through run()
    uint64_t runStartMs = 0, runStartSteps = 0;  // of the outermost one
    uint64_t boundMs = 0;
    bool boundPassed = false;
    std::function<void(const std::string&)> onBoundPassed;
    script::NBAParamBlock block;
    TurtleSurface window;
};

ScriptBridge::ScriptBridge(Player& player) : player_(player), parts_(std::make_unique<Parts>(*this)) {
    parts_->interpreter.setHost(parts_.get());
    parts_->interpreter.setCommands(parts_.get());
    // "ScriptMemoryMB" in section "user": the most memory scripts' values may take, in MiB.
    if (const auto mb = settings().find("user", "ScriptMemoryMB")) {
        char* end = nullptr;
        const unsigned long long v = std::strtoull(mb->c_str(), &end, 10);
        if (end != mb->c_str() && v > 0 && v <= (1ull << 24)) parts_->interpreter.setPoolLimitBytes(size_t(v) << 20);
    }
}

ScriptBridge::~ScriptBridge() = default;

script::Interpreter& ScriptBridge::interpreter() { return parts_->interpreter; }

ScriptWindows& ScriptBridge::windows() { return parts_->windows; }

bool ScriptBridge::running() const { return parts_->depth > 0; }

void ScriptBridge::run(std::string_view text, Start start) {
    parts_->interpreter.setUi(&ui());
    if (start == Start::ActionList) parts_->interpreter.turtleIO = true;
    if (start == Start::TextWindow) parts_->interpreter.turtleIO = false;
    RunOrigin origin = RunOrigin::Other;
    switch (start) {
    case Start::Other: break;
    case Start::ActionList: origin = RunOrigin::ActionList; break;
    case Start::RunBox: origin = RunOrigin::RunBox; break;
    case Start::TextWindow: origin = RunOrigin::TextWindow; break;
    }
    if (parts_->depth++ == 0) {
        parts_->runStartMs = clock().nowMs();
        parts_->runStartSteps = parts_->interpreter.steps();
    }
    parts_->interpreter.RunScript(text.data(), text.size(), &parts_->windows.lineInput(origin), parts_.get(),
                                    &parts_->window);
    --parts_->depth;
}

void ScriptBridge::setRunBound(uint64_t ms, std::function<void(const std::string& line)> passed) {
    parts_->boundMs = ms;
    parts_->boundPassed = false;
    parts_->onBoundPassed = std::move(passed);
}

} // namespace cv
