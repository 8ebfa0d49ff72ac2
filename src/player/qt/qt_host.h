#pragma once
// The host of the player in a real window: it lets Qt deliver its events while a long
// operation runs, repaints the card view, and carries the title, cursor, size, menu bar and
// the end of the run over to the window.
#include <QSize>
#include <functional>

#include "player/host.h"

namespace cv {

class MainWindow;

class QtHost : public Host {
public:
    // The window arrives after the player it shows, which needs a host first.
    void attach(MainWindow* window) { window_ = window; }

    void pump() override;
    void present(const QRect& rect) override;
    void setTitle(const std::string& title) override;
    void setCursor(CursorShape shape, int customId) override;
    void resizeToCard(int width, int height) override;
    void setMenuBarVisible(bool visible) override;
    bool menuBarVisible() const override;
    bool hasFocus() const override;
    bool altKeyDown() const override;
    QPoint cardOnScreen() const override;
    void quit(int code) override;

    bool quitRequested() const { return quitRequested_; }
    int quitCode() const { return quitCode_; }
    // Shown when the player closes; false leaves it out (timing runs).
    bool showEndScreenOnQuit = true;
    // Called at each present (start-up timing).
    std::function<void()> onPresent;

private:
    MainWindow* window_ = nullptr;
    bool quitRequested_ = false;
    int quitCode_ = 0;
    CursorShape shape_ = CursorShape::Arrow;
    int customId_ = -1;
};

} // namespace cv
