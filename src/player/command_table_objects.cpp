// The object commands of the table: what an object is called and where it lies, renaming,
// counting and numbering the objects of a card, moving them, finding the one under a point,
// and flashing them.
#include <QPainter>
#include <algorithm>
#include <array>
#include <string>

#include "core/byte_order.h"
#include "core/clock.h"
#include "core/pstring.h"
#include "core/references.h"
#include "player/command_table.h"
#include "player/command_table_parts.h"
#include "player/events.h"
#include "player/player.h"
#include "stack/record_layout.h"
#include "stack/stack_document.h"

namespace cv::commands {

namespace {

constexpr uint16_t kCardByText = 0xFFFE;
constexpr uint16_t kAnyCard = 0xFFFF;
// How long a flashed object stays inverted.
constexpr uint64_t kFlashMs = 100;

int32_t clamp16(int64_t v) { return int32_t(std::clamp<int64_t>(v, -32768, 32767)); }

// The cards a card selector (p1's high 16 bits, p4 for a name) names, in order.
std::vector<Handle> selectedCards(CommandTable& t, const CommandBlock& b) {
    std::vector<Handle> cards;
    if (!theStack().open()) return cards;
    const uint16_t selector = uint16_t(high16(b.param(1)));
    if (selector == 0) {
        cards.push_back(playerOf(t).currentCard());
    } else if (selector == kCardByText) {
        if (const auto text = CountedStringAt(Handle(b.param(4)))) cards.push_back(CardByNameOrNumber(*text));
    } else if (selector == kAnyCard) {
        for (const CardEntry& e : theStack().cards) cards.push_back(e.record);
    } else {
        cards.push_back(CardById(selector));
    }
    cards.erase(std::remove(cards.begin(), cards.end(), Handle(0)), cards.end());
    return cards;
}

// The object's rectangle (left, top, right, bottom).
std::array<int32_t, 4> rectOf(const Found& f) {
    const uint8_t* o = memRefs().data(f.card) + f.offset + obj::kRect;
    return {geti16(o), geti16(o + 2), geti16(o + 4), geti16(o + 6)};
}

void putRect(const Found& f, const std::array<int32_t, 4>& r) {
    uint8_t* o = memRefs().data(f.card) + f.offset + obj::kRect;
    for (int i = 0; i < 4; ++i) put16(o + 2 * i, uint16_t(int16_t(clamp16(r[size_t(i)]))));
}

// Moves the looked-up object by (dx, dy), keeping its size, and shows it moved.
void moveBy(CommandTable& t, CommandBlock& b, const CommandBlock& saved, const Found& f, int64_t dx, int64_t dy) {
    auto r = rectOf(f);
    // Held to the 16-bit range as a whole, so the object keeps its size.
    dx = std::clamp<int64_t>(dx, -32768 - int64_t(std::min(r[0], r[2])), 32767 - int64_t(std::max(r[0], r[2])));
    dy = std::clamp<int64_t>(dy, -32768 - int64_t(std::min(r[1], r[3])), 32767 - int64_t(std::max(r[1], r[3])));
    r = {int32_t(r[0] + dx), int32_t(r[1] + dy), int32_t(r[2] + dx), int32_t(r[3] + dy)};
    putRect(f, r);
    afterChange(t, b, saved, f);
}

// The point in the reference p5 (two 32-bit values), or nullopt.
std::optional<std::pair<int32_t, int32_t>> pointIn(const CommandBlock& b) {
    const uint8_t* d = ReferenceData(Handle(b.param(5)), 8);
    if (!d) return std::nullopt;
    return std::make_pair(int32_t(getLE32(d)), int32_t(getLE32(d + 4)));
}

// The shown object's bounds on the card, or an empty rectangle.
QRect shownBounds(CommandTable& t, const Found& f) {
    for (const DisplayRecord& r : playerOf(t).displayList())
        if (r.kind == f.kind && r.id == f.id) return r.bounds;
    return {};
}

void invertArea(Player& p, const QRect& bounds) {
    QImage& screen = p.screen();
    const QRect area = bounds.intersected(screen.rect());
    if (area.isEmpty()) return;
    QPainter painter(&screen);
    painter.setCompositionMode(QPainter::RasterOp_SourceXorDestination);
    painter.fillRect(area, Qt::white);
    painter.end();
    p.host().present(area);
}

// ---- Objects ----

// 28: the looked-up object's id, its number among its kind on its card, its name (a counted
// string the player keeps until the next command 28) and its card's id in p1 to p4; for the
// card itself (kind 3) its id, number and name. All 0 when not found.
void identity(CommandTable& t, CommandBlock& b) {
    const auto f = lookup(t, b);
    b.setParam(4, 0);
    if (!f) return;
    if (!f->kind) {
        int number = 0;
        for (size_t i = 0; i < theStack().cards.size(); ++i)
            if (theStack().cards[i].record == f->card) number = int(i) + 1;
        b.setParam(1, CardIdOf(f->card));
        b.setParam(2, uint32_t(number));
        b.setParam(3, uint32_t(keptString(t, kKeptObjectName, CardName(f->card))));
        b.setParam(4, CardIdOf(f->card));
        return;
    }
    int number = 0;
    bool reached = false;
    forEachNamed(f->card, [&](uint32_t off, uint16_t kind) {
        if (reached || kind != f->kind) return;
        ++number;
        reached = off == f->offset;
    });
    b.setParam(1, f->id);
    b.setParam(2, uint32_t(number));
    b.setParam(3, uint32_t(keptString(t, kKeptObjectName, objectName(f->card, f->offset, f->kind))));
    b.setParam(4, CardIdOf(f->card));
}

// 29: renames the looked-up object to the counted string in p5 (cut to the name field).
void rename(CommandTable& t, CommandBlock& b) {
    const CommandBlock saved = b;
    const auto name = CountedStringAt(Handle(b.param(5)));
    if (!name) return;
    const auto f = lookup(t, b);
    if (!f || !f->kind) {
        for (int i = 1; i <= 5; ++i) b.setParam(i, saved.param(i));
        return;
    }
    setPStringField(memRefs().data(f->card) + f->offset + nameOffset(f->kind), nameSize(f->kind), *name);
    afterChange(t, b, saved, *f);
}

// 30: p1 = how many objects of kind p2 the selected card holds (every card together for
// the selector "any card"); for kind 3, how many cards were selected.
void countObjects(CommandTable& t, CommandBlock& b) {
    const auto cards = selectedCards(t, b);
    const int32_t kindIndex = int32_t(b.param(2));
    uint32_t count = 0;
    if (kindIndex == 3) {
        count = uint32_t(cards.size());
    } else if (const uint16_t kind = kindOfIndex(kindIndex)) {
        for (Handle card : cards) forEachNamed(card, [&](uint32_t, uint16_t k) { count += k == kind; });
    }
    b.setParam(1, count);
}

// 34: the object numbered by p1's low 16 bits (from 1) among the objects of kind p2 on the
// selected card (counting on over the cards for "any card"): p1 its id and p2 its card
// record; both 0 when there is none.
void objectOfNumber(CommandTable& t, CommandBlock& b) {
    const auto cards = selectedCards(t, b);
    const uint16_t kind = kindOfIndex(int32_t(b.param(2)));
    int left = lo(b.param(1));
    b.setParam(1, 0);
    b.setParam(2, 0);
    if (!kind || left < 1) return;
    for (Handle card : cards) {
        forEachNamed(card, [&](uint32_t off, uint16_t k) {
            if (k != kind || left <= 0 || --left != 0) return;
            b.setParam(1, get16(memRefs().data(card) + off + obj::kId));
            b.setParam(2, uint32_t(card));
        });
        if (left <= 0) return;
    }
}

// 33 and 39: the point in p5 and the looked-up object to move; the block's parameters are put
// back when there is none.
template <typename Move>
void moveWithPoint(CommandTable& t, CommandBlock& b, Move move) {
    const CommandBlock saved = b;
    const auto point = pointIn(b);
    if (!point) return;
    const auto f = lookup(t, b);
    if (!f || !f->kind) {
        for (int i = 1; i <= 5; ++i) b.setParam(i, saved.param(i));
        return;
    }
    move(saved, *f, *point);
}

// 33: moves the looked-up object so that its centre is the point in p5.
void moveTo(CommandTable& t, CommandBlock& b) {
    moveWithPoint(t, b, [&](const CommandBlock& saved, const Found& f, const auto& point) {
        const auto r = rectOf(f);
        moveBy(t, b, saved, f, int64_t(point.first) - (r[0] + (r[2] - r[0]) / 2),
               int64_t(point.second) - (r[1] + (r[3] - r[1]) / 2));
    });
}

// 39: moves the looked-up object by the point in p5 taken as an offset (x right, y down).
void moveOffset(CommandTable& t, CommandBlock& b) {
    moveWithPoint(t, b, [&](const CommandBlock& saved, const Found& f, const auto& point) {
        moveBy(t, b, saved, f, point.first, point.second);
    });
}

// 36: the shown object under the point in p5 (card coordinates): p1 its id, p2 its kind
// index; p1 = 0 and p2 = -1 when there is none.
void objectAt(CommandTable& t, CommandBlock& b) {
    b.setParam(1, 0);
    b.setParam(2, uint32_t(-1));
    const auto point = pointIn(b);
    Player& p = playerOf(t);
    if (!point || !p.currentCard()) return;
    const int index = p.events().hitTest(QPoint(clamp16(point->first), clamp16(point->second)));
    if (index < 0 || size_t(index) >= p.displayList().size()) return;
    const DisplayRecord& r = p.displayList()[size_t(index)];
    b.setParam(1, r.id);
    b.setParam(2, uint32_t(kindIndexOf(r.kind)));
}

// 124: flashes the looked-up object of the shown card (inverted for a moment, then restored).
void flash(CommandTable& t, CommandBlock& b) {
    const auto f = lookup(t, b);
    if (!f || !f->kind || !onCurrentCard(t, *f) || screenLocked(t)) return;
    const QRect bounds = shownBounds(t, *f);
    if (bounds.isEmpty()) return;
    Player& p = playerOf(t);
    invertArea(p, bounds);
    clock().sleepUntilMs(clock().nowMs() + kFlashMs);
    invertArea(p, bounds);
}

} // namespace

void installObjectCommands(Table& a) {
    a[28] = &identity;
    a[29] = &rename;
    a[30] = &countObjects;
    a[33] = &moveTo;
    a[34] = &objectOfNumber;
    a[36] = &objectAt;
    a[39] = &moveOffset;
    a[124] = &flash;
}

} // namespace cv::commands
