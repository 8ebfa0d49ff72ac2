#pragma once
// What the player asks of the platform it runs on: a real window (player/qt) or a headless
// session. The player core never touches Qt Widgets; it draws into its screen image and tells
// the host which part changed.
#include <QRect>
#include <string>

namespace cv {

enum class CursorShape : uint8_t { Arrow, Hand, IBeam, Wait, FlatHand, GrabHand, Custom };

class Host {
public:
    virtual ~Host() = default;
    // Lets the platform add the input that has arrived to the player's queue. Returns at once.
    virtual void pump() = 0;
    // The screen image changed inside `rect` (card coordinates).
    virtual void present(const QRect& rect) = 0;
    // Window title, Windows-1252 bytes.
    virtual void setTitle(const std::string& title) = 0;
    virtual void setCursor(CursorShape shape, int customId = 0) = 0;
    // The card size changed: fit the window to it.
    virtual void resizeToCard(int width, int height) = 0;
    virtual void setMenuBarVisible(bool visible) = 0;
    virtual bool menuBarVisible() const = 0;
    // Whether one of the player's own windows has the focus (timers count down only then).
    virtual bool hasFocus() const = 0;
    // Whether the Alt key is held down now.
    virtual bool altKeyDown() const { return false; }
    // Whether input can still arrive while the player waits for it (a window can; a headless
    // session has given all its input already).
    virtual bool canWaitForInput() const { return true; }
    // Where the card's top-left corner is on the screen (a headless session has no screen).
    virtual QPoint cardOnScreen() const { return {}; }
    // The player is closing: show the end screen and leave the message loop with `code`.
    virtual void quit(int code) = 0;
};

} // namespace cv
