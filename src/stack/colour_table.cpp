#include "stack/colour_table.h"

#include <algorithm>

#include "core/byte_order.h"
#include "core/clock.h"

namespace cv {

size_t colourTableEntryCount(std::span<const uint8_t> table) {
    if (table.size() < kColourTableHeaderBytes) return 0;
    const size_t declared = size_t(loadBE16(table.data() + 6)) + 1;
    const size_t present = (table.size() - kColourTableHeaderBytes) / kColourTableEntryBytes;
    return std::min(declared, present);
}

uint32_t colourTableColour(std::span<const uint8_t> table, size_t i) {
    const uint8_t* e = table.data() + kColourTableHeaderBytes + i * kColourTableEntryBytes;
    return 0xFF000000u | (uint32_t(e[2]) << 16) | (uint32_t(e[4]) << 8) | e[6];
}

Palette ColourTableToPalette(std::span<const uint8_t> table) {
    const size_t n = colourTableEntryCount(table);
    Palette p(n);
    for (size_t i = 0; i < n; ++i) {
        const uint8_t* e = table.data() + kColourTableHeaderBytes + i * kColourTableEntryBytes;
        p[i] = {e[2], e[4], e[6], kPcNoCollapse};
    }
    return p;
}

std::vector<uint8_t> makeColourTable(std::span<const uint32_t> colours) {
    const size_t n = std::min<size_t>(colours.size(), 0x10000);
    std::vector<uint8_t> t(kColourTableHeaderBytes + n * kColourTableEntryBytes, 0);
    storeBE32(t.data(), clock().ticks());
    storeBE16(t.data() + 4, 0);
    storeBE16(t.data() + 6, static_cast<uint16_t>(n ? n - 1 : 0));
    for (size_t i = 0; i < n; ++i) {
        uint8_t* e = t.data() + kColourTableHeaderBytes + i * kColourTableEntryBytes;
        storeBE16(e, static_cast<uint16_t>(i));
        storeLE16(e + 2, static_cast<uint16_t>((colours[i] >> 16) & 0xFF));
        storeLE16(e + 4, static_cast<uint16_t>((colours[i] >> 8) & 0xFF));
        storeLE16(e + 6, static_cast<uint16_t>(colours[i] & 0xFF));
    }
    return t;
}

const std::array<uint8_t, 256>& colourRemapTable() {
    static const std::array<uint8_t, 256> table = [] {
        std::array<uint8_t, 256> r{};
        for (int i = 0; i < 236; ++i) r[i] = static_cast<uint8_t>(10 + i);
        for (int i = 0; i < 10; ++i) r[236 + i] = static_cast<uint8_t>(255 - i);
        for (int i = 0; i < 10; ++i) r[246 + i] = static_cast<uint8_t>(9 - i);
        return r;
    }();
    return table;
}

std::vector<uint8_t> PaletteToColourTable(const Palette* palette, bool remap, int stackDepth,
                                          int displayDepth, const Palette* systemPalette) {
    const bool lowDisplay = displayDepth <= 8;
    const Palette* source = palette;
    if (!source) source = lowDisplay && systemPalette ? systemPalette : &LoadDefaultPalette();
    const size_t n = stackDepth == 4 ? 16 : 256;
    std::vector<uint32_t> colours(n, 0xFF000000u);
    for (size_t i = 0; i < n; ++i) {
        const size_t from = remap && lowDisplay ? colourRemapTable()[i] : i;
        if (from < source->size()) colours[i] = paletteColour((*source)[from]);
    }
    return makeColourTable(colours);
}

std::vector<uint32_t> pictureColours(std::span<const uint8_t> table, int depth,
                                     const Palette* current) {
    if (depth > 8 || depth < 1) return {};
    const size_t size = size_t(1) << depth;
    std::vector<uint32_t> colours(size, 0xFF000000u);
    const size_t n = colourTableEntryCount(table);
    if (n > 0) {
        for (size_t i = 0; i < std::min(n, size); ++i) colours[i] = colourTableColour(table, i);
    } else {
        const Palette& p = current ? *current : LoadDefaultPalette();
        for (size_t i = 0; i < std::min(p.size(), size); ++i) colours[i] = paletteColour(p[i]);
    }
    return colours;
}

} // namespace cv
