#pragma once
// What the command table's topic files share: the handler type, the object lookup and the
// redraw of a changed object (command_table.cpp), and the installers that put each topic's
// handlers into the table.
#include <QRect>
#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <type_traits>

#include "core/handles.h"
#include "player/command_table.h"
#include "script/script_host.h"

namespace cv {

class Player;

namespace commands {

constexpr int kCount = 179;
using Handler = void (*)(CommandTable&, CommandBlock&);
using Table = std::array<Handler, kCount>;

inline uint32_t low16(uint32_t v) { return v & 0xFFFF; }
inline uint32_t high16(uint32_t v) { return v >> 16; }
inline int16_t lo(uint32_t v) { return int16_t(low16(v)); }

// An object the lookup found.
struct Found {
    Handle card = 0;       // the card record holding the object
    uint32_t offset = 0;   // the object's offset in it (0 for the card itself)
    uint16_t kind = 0;     // 0 for the card itself
    uint16_t id = 0;
    Handle first = 0;      // the card first selected
};

// The object lookup of p1 to p4, with its answers written into p1 to p3.
std::optional<Found> lookup(CommandTable& t, CommandBlock& b);
bool onCurrentCard(CommandTable& t, const Found& f);
// The parameters put back as `saved` holds them, then the object drawn again when shown.
// The shown card's display list after the object's record changed; the area to draw again.
QRect refreshDisplay(CommandTable& t, const Found& f);
// Shows a changed part of the card through the item transition (not while the screen is locked).
void redrawItem(CommandTable& t, CommandBlock& b, const QRect& area);
void afterChange(CommandTable& t, CommandBlock& b, const CommandBlock& saved, const Found& f);
// A card record of the open stack (what the card-record commands accept).
bool isCardOfStack(Handle h);
// The kind index of the commands (0 button, 1 text object, 2 graphic object) as a stored
// kind, or 0.
uint16_t kindOfIndex(int32_t index);
int32_t kindIndexOf(uint16_t kind);
// The objects of a card the commands can name, in stored order.
template <class Fn>
void forEachNamed(Handle card, Fn&& fn);
void forEachNamedObject(Handle card, void (*fn)(void*, uint32_t, uint16_t), void* context);
std::string objectName(Handle card, uint32_t offset, uint16_t kind);
// Where an object's name lies and how big its field is.
uint32_t nameOffset(uint16_t kind);
uint32_t nameSize(uint16_t kind);

// The blocks the player keeps for its answers, one per command that answers with text.
enum KeptSlot : int { kKeptCardName, kKeptObjectName, kKeptStackPath, kKeptTitle, kKeptSetting };

Player& playerOf(CommandTable& t);
bool screenLocked(CommandTable& t);
// A block the player keeps for its answers (valid until the same command runs again):
// `slot` is a KeptSlot. The counted string of `text` is written
// into it; 0 when memory is short.
Handle keptString(CommandTable& t, int slot, std::string_view text);
// Whether `h` is one of the blocks the player keeps (a plug-in may not dispose them).
bool isKeptBlock(const CommandTable& t, Handle h);

// Little-endian values in a reference's bytes (points and rectangles).
uint32_t getLE32(const uint8_t* d);
void putLE32(uint8_t* d, uint32_t v);

void installCardCommands(Table& a);
void installObjectCommands(Table& a);
void installSystemCommands(Table& a);
void installTextCommands(Table& a);

template <class Fn>
void forEachNamed(Handle card, Fn&& fn) {
    forEachNamedObject(
        card, [](void* c, uint32_t off, uint16_t kind) { (*static_cast<std::remove_reference_t<Fn>*>(c))(off, kind); },
        &fn);
}

} // namespace commands
} // namespace cv
