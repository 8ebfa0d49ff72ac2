#include "player/script_bridge.h"

#include <algorithm>

#include "core/clock.h"
#include "core/ui.h"
#include "player/events.h"
#include "player/player.h"
#include "player/turtle_surface.h"
#include "script/interpreter.h"
#include "script/script_host.h"

namespace cv {

namespace {
constexpr size_t kPrintedLimit = 64 * 1024;
}

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
        bool escape = false;
        player.queue().removeIf([&](const Message& m) {
            if (m.type == MsgType::KeyDown && m.key == kKeyEscape) escape = true;
            return m.type == MsgType::KeyDown && m.key == kKeyEscape;
        });
        return escape;
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

    bool pointerButtonDown() override {
        bridge.player_.host().pump();
        return bridge.player_.events().buttonHeld();
    }

    script::NBAParamBlock& paramBlock() override { return block; }
    void NBACallback() override {
        if (bridge.player_.commandCallback) bridge.player_.commandCallback(block);
    }

    ScriptBridge& bridge;
    script::Interpreter interpreter;
    script::NBAParamBlock block;
    TurtleSurface window;
};

ScriptBridge::ScriptBridge(Player& player) : player_(player), parts_(std::make_unique<Parts>(*this)) {
    parts_->interpreter.setHost(parts_.get());
    parts_->interpreter.setCommands(parts_.get());
}

ScriptBridge::~ScriptBridge() = default;

script::Interpreter& ScriptBridge::interpreter() { return parts_->interpreter; }

void ScriptBridge::run(std::string_view text, Start start) {
    parts_->interpreter.setUi(&ui());
    if (start == Start::ActionList) parts_->interpreter.turtleIO = true;
    parts_->interpreter.RunScript(text.data(), text.size(), nullptr, parts_.get(), &parts_->window);
}

} // namespace cv
