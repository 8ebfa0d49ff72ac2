#pragma once
// The host of a player without a window: sessions, tests and the stack tool. It keeps what a
// window would show (the title, the cursor, whether the player asked to quit) for callers to read.
#include <functional>
#include <string>

#include "player/host.h"

namespace cv {

class HeadlessHost : public Host {
public:
    void pump() override {
        if (onPump) onPump();
    }
    void present(const QRect&) override { ++presents; }
    void setTitle(const std::string& t) override { title = t; }
    void setCursor(CursorShape s, int id) override { cursor = s; cursorId = id; }
    void resizeToCard(int w, int h) override { width = w; height = h; }
    void setMenuBarVisible(bool v) override { menuBar = v; }
    bool menuBarVisible() const override { return menuBar; }
    bool hasFocus() const override { return focused; }
    bool altKeyDown() const override { return altDown; }
    bool canWaitForInput() const override { return false; }
    void quit(int code) override { quitCode = code; quitting = true; }

    std::string title;
    CursorShape cursor = CursorShape::Arrow;
    int cursorId = 0;
    int width = 0, height = 0;
    bool menuBar = true;
    bool focused = true;
    bool altDown = false;
    bool quitting = false;
    int quitCode = 0;
    int presents = 0;
    // Called on every pump: sessions run their timed commands from here.
    std::function<void()> onPump;
};

} // namespace cv
