#pragma once
// Mouse and keyboard input on the card while the browse tool is active: hit testing, button
// presses with their highlight, roll-over buttons, dragging graphic objects and dropping them
// on drop targets, the click actions of graphics, text fields, the card and the stack, the
// Return key's default button, and the choice of cursor.
#include <QImage>
#include <QPoint>
#include <QRect>
#include <cstdint>
#include <functional>
#include <string>

#include "player/display_list.h"
#include "player/host.h"
#include "player/message.h"

namespace cv {

class Player;
class ActionRunner;

// The cursor the pointer shows: a standard shape, or a custom cursor id (28016-28352).
struct CursorChoice {
    CursorShape shape = CursorShape::Hand;
    int customId = 0;
    bool operator==(const CursorChoice&) const = default;
};

// Fields of the stored records that name cursors (0: none).
constexpr uint32_t kCardCursorOffset = 54;
constexpr uint32_t kStackCursorOffset = 76;
constexpr uint32_t kButtonCursorOffset = 70;
constexpr uint32_t kGraphicCursorOffset = 58;
constexpr uint32_t kTextCursorOffset = 104;
constexpr int kFirstCustomCursor = 28016;
constexpr int kLastCustomCursor = 28352;

// The text engine's part in input: set by the text subsystem.
struct TextInputHooks {
    // A click (or double-click) given to a text field; the point is in card coordinates.
    std::function<void(const DisplayRecord&, QPoint, uint32_t modifiers, bool doubleClick)> click;
    std::function<void(QPoint)> drag;
    // The end of a click in a text field; true when a selection drag ended.
    std::function<bool(QPoint)> release;
    // The text link under a finished click in a field (the player follows it).
    std::function<void(const DisplayRecord&, QPoint)> followLink;
    // Whether a text field is being edited (Return then goes to it).
    std::function<bool()> editing;
    // Whether a field is locked against typing.
    std::function<bool(const DisplayRecord&)> locked;
};

class Events {
public:
    Events(Player& player, ActionRunner& actions);

    void handleMouse(const Message& m);
    // Return: the first default-shaped button is activated; true when one was.
    bool returnKey();

    // The topmost record containing the point; -1 when none. With rollOverOnly, only roll-over
    // buttons count; `exclude` is skipped.
    int hitTest(QPoint p, bool rollOverOnly = false, int exclude = -1) const;
    CursorChoice chooseCursor(QPoint p) const;

    TextInputHooks text;

    bool pressTracking() const { return pressTracking_; }
    bool pressInside() const { return pressInside_; }
    bool dragging() const { return dragging_; }
    uint16_t lastRolloverId() const { return lastRollover_; }
    // Where the pointer was last seen on the card.
    QPoint pointer() const { return pointer_; }
    // Whether the mouse button was held at the last mouse message.
    bool buttonHeld() const { return buttonHeld_; }

    // Drops the input state tied to the shown card (a new card is shown).
    void reset();

    // The names of the text field and of the graphic object clicked last, as scripts ask.
    std::string lastTextName, lastGraphicName;

private:
    void mouseDown(const Message& m);
    void mouseMove(const Message& m);
    void mouseUp(const Message& m);
    void doubleClick(const Message& m);
    void invertButton(const DisplayRecord& r);
    void drawDragOutline(QPoint offset);
    bool recordStillThere(int index, uint16_t kind, uint16_t id) const;

    Player& player_;
    ActionRunner& actions_;
    bool pressTracking_ = false;
    int pressed_ = -1;
    uint16_t pressedId_ = 0;
    bool pressInside_ = false;
    uint16_t lastRollover_ = 0xFFFF;
    bool cardClickConsumed_ = false;
    bool textClickPending_ = false;
    bool dragging_ = false;
    int dragged_ = -1;
    QRect dragStart_;
    QPoint grabPoint_;
    QPoint dragOffset_;
    bool outlineShown_ = false;
    std::string clickedName_;
    QPoint pointer_;
    bool buttonHeld_ = false;
};

} // namespace cv
