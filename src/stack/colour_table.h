#pragma once
// Stored colour tables (Macintosh layout, big-endian) and the palettes made from them.
//
// Table: u32 seed, u16 flags, u16 number of entries - 1, then 8 bytes per entry: u16 index,
// then red, green and blue as u16, of which readers take the first (high) byte.
#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "resources/default_palette.h"

namespace cv {

constexpr size_t kColourTableHeaderBytes = 8;
constexpr size_t kColourTableEntryBytes = 8;

// Entries the table really holds: its count field + 1, cut to the entries present in its
// bytes; 0 for a table too short to have a header.
size_t colourTableEntryCount(std::span<const uint8_t> table);

// Colour of entry i as 0xFFRRGGBB (i must be below colourTableEntryCount).
uint32_t colourTableColour(std::span<const uint8_t> table, size_t i);

// A logical palette with an entry per table entry: the high bytes of red, green and blue, and
// the no-collapse flag.
Palette ColourTableToPalette(std::span<const uint8_t> table);

// A new stored table of 16 entries when the stack's depth is 4, else 256, entry i having index
// i. The colours come from `palette`, else (no palette) from `systemPalette` when the display
// has 8 bits or fewer, else from the default palette. With `remap` and a display of 8 bits or
// fewer, entry i takes the colour of entry colourRemapTable()[i] instead. Missing entries are
// black. The seed is the tick count.
std::vector<uint8_t> PaletteToColourTable(const Palette* palette, bool remap, int stackDepth,
                                          int displayDepth = 32,
                                          const Palette* systemPalette = nullptr);

// A stored table of the given colours (0xRRGGBB, the high byte ignored), written as the
// player writes its tables: index i, each component the 8-bit colour as a 16-bit value in
// native order, so its first byte is the colour. (Macintosh tables hold 0xFFFF for white; a
// table written by this player can be told from one made on the Macintosh by that.)
std::vector<uint8_t> makeColourTable(std::span<const uint32_t> colours);

// The fixed remap table: position i of the logical palette -> the system palette entry that
// a realised default palette puts there (logical 0-235 at system 10-245, the static colours
// at system 255-246 and 9-0).
const std::array<uint8_t, 256>& colourRemapTable();

// The colour table of a bitmap of `depth` (up to 8; none above): the stored table's entries in
// order, as many as both hold, the rest black; without a table (fewer than one entry), the
// identity table, i.e. the colours of entries 0 to 2^depth - 1 of `current` (the default
// palette when null).
std::vector<uint32_t> pictureColours(std::span<const uint8_t> table, int depth,
                                     const Palette* current = nullptr);

inline uint32_t paletteColour(const PaletteEntry& e) {
    return 0xFF000000u | (uint32_t(e.red) << 16) | (uint32_t(e.green) << 8) | e.blue;
}

} // namespace cv
