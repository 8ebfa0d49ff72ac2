#include "player/events.h"

#include <QPainter>

#include "core/byte_order.h"
#include "player/actions.h"
#include "player/player.h"
#include "stack/record_layout.h"
#include "stack/stack_document.h"

namespace cv {

namespace {
constexpr uint16_t kNone = 0xFFFF;

void invertPixel(QImage& img, int x, int y) {
    if (!img.valid(x, y)) return;
    auto* line = reinterpret_cast<QRgb*>(img.scanLine(y));
    line[x] ^= 0x00FFFFFF;
}

uint16_t fieldAt(Handle record, uint32_t off, uint32_t field) {
    const uint8_t* p = memRefs().data(record);
    if (!p || off + field + 2 > GetHandleSize(record)) return 0;
    return get16(p + off + field);
}
} // namespace

Events::Events(Player& player, ActionRunner& actions) : player_(player), actions_(actions) {}

void Events::reset() {
    pressTracking_ = pressInside_ = dragging_ = textClickPending_ = cardClickConsumed_ = outlineShown_ = false;
    pressed_ = dragged_ = -1;
    lastRollover_ = kNone;
}

int Events::hitTest(QPoint p, bool rollOverOnly, int exclude) const {
    const DisplayList& list = player_.displayList();
    int found = -1;
    for (int i = 0; i < int(list.size()); ++i) {
        if (i == exclude) continue;
        const DisplayRecord& r = list[size_t(i)];
        if (rollOverOnly && !(r.isButton() && (r.flags & obj::kFlagRollOver))) continue;
        if (recordContains(r, p)) found = i;
    }
    return found;
}

bool Events::recordStillThere(int index, uint16_t kind, uint16_t id) const {
    const DisplayList& list = player_.displayList();
    return index >= 0 && index < int(list.size()) && list[size_t(index)].kind == kind && list[size_t(index)].id == id;
}

void Events::invertButton(const DisplayRecord& r) {
    QImage& screen = player_.screen();
    if (r.isPictureShaped()) {
        for (int y = 0; y < r.shapeMask.height(); ++y)
            for (int x = 0; x < r.shapeMask.width(); ++x)
                if (r.shapeMask.pixelIndex(x, y)) invertPixel(screen, r.bounds.left() + x, r.bounds.top() + y);
    } else {
        const QRegion region = r.shape == int(ButtonShape::Transparent) ? QRegion(r.bounds) : r.hitRegion;
        for (const QRect& rect : region)
            for (int y = rect.top(); y <= rect.bottom(); ++y)
                for (int x = rect.left(); x <= rect.right(); ++x) invertPixel(screen, x, y);
    }
    player_.host().present(r.bounds);
}

void Events::drawDragOutline(QPoint offset) {
    const DisplayList& list = player_.displayList();
    if (dragged_ < 0 || dragged_ >= int(list.size())) return;
    const DisplayRecord& r = list[size_t(dragged_)];
    QImage& screen = player_.screen();
    const QRect b = dragStart_.translated(offset);
    if (!r.mask.isNull()) {
        const QImage& shape = r.outline.isNull() ? r.mask : r.outline;
        for (int y = 0; y < shape.height(); ++y)
            for (int x = 0; x < shape.width(); ++x)
                if (shape.pixelIndex(x, y)) invertPixel(screen, b.left() + x, b.top() + y);
    } else {
        for (int x = b.left(); x <= b.right(); ++x) {
            invertPixel(screen, x, b.top());
            invertPixel(screen, x, b.bottom());
        }
        for (int y = b.top() + 1; y < b.bottom(); ++y) {
            invertPixel(screen, b.left(), y);
            invertPixel(screen, b.right(), y);
        }
    }
    player_.host().present(b);
}

void Events::handleMouse(const Message& m) {
    pointer_ = QPoint(m.x, m.y);
    buttonHeld_ = m.type == MsgType::MouseDown || m.type == MsgType::DoubleClick ||
                  (m.type == MsgType::MouseMove && m.buttonDown);
    if (player_.currentTool != kBrowseTool) return;
    switch (m.type) {
    case MsgType::MouseDown: mouseDown(m); break;
    case MsgType::MouseMove: mouseMove(m); break;
    case MsgType::MouseUp: mouseUp(m); break;
    case MsgType::DoubleClick: doubleClick(m); break;
    default: break;
    }
}

void Events::mouseDown(const Message& m) {
    cardClickConsumed_ = false;
    const QPoint p(m.x, m.y);
    const int hit = hitTest(p);
    const DisplayList& list = player_.displayList();
    uint16_t actionId = 0;
    if (hit >= 0) {
        const DisplayRecord& r = list[size_t(hit)];
        if (r.isButton()) {
            if (r.flags & obj::kFlagDropTarget) return;
            pressTracking_ = pressInside_ = true;
            pressed_ = hit;
            pressedId_ = r.id;
            if (r.highlight) invertButton(r);
            return;
        }
        if (r.isText()) {
            const bool control = (m.modifiers & kModControl) != 0;
            lastTextName = r.name;
            if (actions_.hasActions(r.actionId) && !control) {
                clickedName_ = r.name;
                actionId = r.actionId;
            } else {
                if (text.click) text.click(r, p, m.modifiers, false);
                textClickPending_ = true;
                return;
            }
        } else if (r.isGraphic()) {
            clickedName_ = r.name;
            lastGraphicName = r.name;
            if (r.draggable()) {
                dragging_ = true;
                dragged_ = hit;
                dragStart_ = r.bounds;
                grabPoint_ = p;
                dragOffset_ = QPoint();
                drawDragOutline(dragOffset_);
                outlineShown_ = true;
                return;
            }
            actionId = r.actionId;
        }
        if (r.isText() && text.click) text.click(r, p, m.modifiers, false);
        actions_.runActionById(actionId, false, clickedName_);
        return;
    }
    // Nothing hit: the card's click action, else the stack's.
    Handle card = player_.currentCard();
    const uint16_t cardAction = card ? get16(memRefs().data(card) + card::kClickAction) : 0;
    if (cardAction) {
        actions_.runNamedAction(cardAction, false, 2032);
        cardClickConsumed_ = true;
    } else if (const uint16_t stackAction = theStack().h16(hdr::kClickAction)) {
        actions_.runNamedAction(stackAction, false, 2035);
        cardClickConsumed_ = true;
    }
}

void Events::mouseMove(const Message& m) {
    const QPoint p(m.x, m.y);
    if (textClickPending_) {
        if (text.drag) text.drag(p);
        return;
    }
    if (dragging_) {
        if (outlineShown_) drawDragOutline(dragOffset_);
        dragOffset_ = p - grabPoint_;
        drawDragOutline(dragOffset_);
        outlineShown_ = true;
        return;
    }
    if (cardClickConsumed_) return;

    const int roll = hitTest(p, true);
    if (roll >= 0) {
        const DisplayRecord& r = player_.displayList()[size_t(roll)];
        if (r.id != lastRollover_) {
            lastRollover_ = r.id;
            if (pressTracking_) {
                if (pressInside_ && recordStillThere(pressed_, obj::kButton, pressedId_) &&
                    player_.displayList()[size_t(pressed_)].highlight)
                    invertButton(player_.displayList()[size_t(pressed_)]);
                pressTracking_ = pressInside_ = false;
            }
            actions_.activateButton(r.id);
            return;
        }
    } else {
        lastRollover_ = kNone;
    }

    if (pressTracking_) {
        if (!recordStillThere(pressed_, obj::kButton, pressedId_)) {
            pressTracking_ = pressInside_ = false;
            return;
        }
        const DisplayRecord& r = player_.displayList()[size_t(pressed_)];
        const bool inside = recordContains(r, p);
        if (inside != pressInside_) {
            pressInside_ = inside;
            if (r.highlight) invertButton(r);
        }
        return;
    }
    const CursorChoice c = chooseCursor(p);
    player_.host().setCursor(c.shape, c.customId);
}

void Events::mouseUp(const Message& m) {
    const QPoint p(m.x, m.y);
    const bool control = (m.modifiers & kModControl) != 0;
    bool selectionEnded = false;
    const bool wasText = textClickPending_;
    if (textClickPending_) {
        if (text.release) selectionEnded = text.release(p);
        textClickPending_ = false;
    }
    if (!control && !selectionEnded && theStack().open() && theStack().h16(hdr::kTimersOn) && text.followLink) {
        const int hit = hitTest(p);
        if (hit >= 0 && player_.displayList()[size_t(hit)].isText())
            text.followLink(player_.displayList()[size_t(hit)], p);
    }
    if (wasText && !control) return;

    if (dragging_) {
        dragging_ = false;
        if (outlineShown_) drawDragOutline(dragOffset_);
        outlineShown_ = false;
        const int index = dragged_;
        dragged_ = -1;
        if (index < 0 || index >= int(player_.displayList().size())) return;
        DisplayRecord& r = player_.displayList()[size_t(index)];
        const QRect moved = dragStart_.translated(dragOffset_);
        const QRect old = r.bounds;
        r.bounds = moved;
        r.hitRegion = QRegion(moved);
        // The new place is kept in the stored object too.
        Handle card = player_.currentCard();
        if (const uint32_t off = FindObject(card, obj::kGraphic, r.id)) {
            uint8_t* o = memRefs().data(card) + off;
            put16(o + 4, uint16_t(moved.left()));
            put16(o + 6, uint16_t(moved.top()));
            put16(o + 8, uint16_t(moved.left() + moved.width()));
            put16(o + 10, uint16_t(moved.top() + moved.height()));
            if (dragOffset_ != QPoint()) theStack().changed = true;
        }
        player_.paintCardRect(old.united(moved));
        const int target = hitTest(p, false, index);
        const DisplayList& list = player_.displayList();
        if (target >= 0 && list[size_t(target)].isButton() && (list[size_t(target)].flags & obj::kFlagDropTarget)) {
            actions_.activateButton(list[size_t(target)].id);
        } else if (r.actionId) {
            actions_.runActionById(r.actionId, false, r.name);
        }
        return;
    }
    if (cardClickConsumed_) return;
    if (pressTracking_) {
        pressTracking_ = false;
        const bool inside = pressInside_;
        pressInside_ = false;
        if (!inside || !recordStillThere(pressed_, obj::kButton, pressedId_)) return;
        const DisplayRecord& r = player_.displayList()[size_t(pressed_)];
        if (r.highlight) invertButton(r);
        actions_.activateButton(r.id);
    }
}

void Events::doubleClick(const Message& m) {
    const QPoint p(m.x, m.y);
    const int hit = hitTest(p);
    if (hit >= 0 && player_.displayList()[size_t(hit)].isText()) {
        Message down = m;
        down.type = MsgType::MouseDown;
        mouseDown(down);
        if (recordStillThere(hit, obj::kText, player_.displayList()[size_t(hit)].id) && text.click)
            text.click(player_.displayList()[size_t(hit)], p, m.modifiers, true);
        textClickPending_ = true;
        return;
    }
    Message down = m;
    down.type = MsgType::MouseDown;
    mouseDown(down);
}

bool Events::returnKey() {
    if (player_.currentTool != kBrowseTool || (text.editing && text.editing())) return false;
    for (const DisplayRecord& r : player_.displayList()) {
        if (r.isButton() && r.shape == int(ButtonShape::Default)) {
            actions_.activateButton(r.id);
            return true;
        }
    }
    return false;
}

CursorChoice Events::chooseCursor(QPoint p) const {
    const DisplayList& list = player_.displayList();
    Handle card = player_.currentCard();
    auto custom = [](uint16_t id) { return id >= kFirstCustomCursor && id <= kLastCustomCursor && (id % 16) == 0; };
    // 1. A text field under the point.
    for (int i = int(list.size()) - 1; i >= 0; --i) {
        const DisplayRecord& r = list[size_t(i)];
        if (!r.isText() || !r.bounds.adjusted(1, 1, -1, -1).contains(p)) continue;
        const uint16_t id = fieldAt(card, FindObject(card, obj::kText, r.id), kTextCursorOffset);
        if (custom(id)) return {CursorShape::Custom, id};
        if (text.locked && text.locked(r)) break;
        return {CursorShape::IBeam, 0};
    }
    // 2. The topmost object's own cursor.
    const int hit = hitTest(p);
    if (hit >= 0) {
        const DisplayRecord& r = list[size_t(hit)];
        uint16_t id = 0;
        if (r.isButton()) id = fieldAt(card, FindObject(card, obj::kButton, r.id), kButtonCursorOffset);
        else if (r.isGraphic()) id = fieldAt(card, FindObject(card, obj::kGraphic, r.id), kGraphicCursorOffset);
        if (custom(id)) return {CursorShape::Custom, id};
    }
    // 3, 4. The card's, then the stack's.
    if (card) {
        const uint16_t id = get16(memRefs().data(card) + kCardCursorOffset);
        if (custom(id)) return {CursorShape::Custom, id};
    }
    if (const uint16_t id = theStack().h16(kStackCursorOffset); custom(id)) return {CursorShape::Custom, id};
    // 5. The browse tool's hand.
    return {player_.currentTool == kBrowseTool ? CursorShape::Hand : CursorShape::Arrow, 0};
}

} // namespace cv
