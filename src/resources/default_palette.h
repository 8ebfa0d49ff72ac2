#pragma once
// The default palette: the "DEFPAL" resource (236 colours) and the 256-entry logical palette
// made from it, which pictures without a colour table of their own are shown with.
#include <array>
#include <cstdint>
#include <span>
#include <vector>

namespace cv {

// Logical palette entry flags, with their Windows values.
enum : uint8_t { kPcReserved = 0x01, kPcExplicit = 0x02, kPcNoCollapse = 0x04 };

struct PaletteEntry {
    uint8_t red = 0;
    uint8_t green = 0;
    uint8_t blue = 0;
    uint8_t flags = 0;
    bool operator==(const PaletteEntry&) const = default;
};

// A logical palette (version 0x300): its entries in order.
using Palette = std::vector<PaletteEntry>;

constexpr int kDefaultPaletteColours = 236;

// The "DEFPAL" resource of type "PAL": one leading byte (0), then 236 red, green, blue triples.
std::span<const uint8_t> defaultPaletteResource();

// The 20 static colours of the standard Windows system palette, at their system positions
// 0-9 (index 0-9 here) and 246-255 (index 10-19 here).
const std::array<PaletteEntry, 20>& systemStaticColours();

// The 256-entry logical palette: entries 0-235 the DEFPAL colours flagged reserved, 236-245
// the system palette's entries 255 down to 246, 246-255 its entries 9 down to 0 (flags 0).
// Built once; the reference stays valid for the whole run.
const Palette& LoadDefaultPalette();

} // namespace cv
