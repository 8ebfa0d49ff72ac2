#include "resources/default_palette.h"

namespace cv {

namespace {

// The classic 8-bit Macintosh system colour table, entry by entry: the 6 x 6 x 6 cube from
// white down (blue fastest) without its last colour, black; then ramps of red, green, blue and
// grey through the values the cube lacks (0xEE, 0xDD, 0xBB, 0xAA, 0x88, 0x77, 0x55, 0x44,
// 0x22, 0x11); black last. Only the first 236 entries are used here.
constexpr std::array<uint8_t, 3> macSystemColour(int i) {
    constexpr uint8_t kCube[6] = {0xFF, 0xCC, 0x99, 0x66, 0x33, 0x00};
    constexpr uint8_t kRamp[10] = {0xEE, 0xDD, 0xBB, 0xAA, 0x88, 0x77, 0x55, 0x44, 0x22, 0x11};
    if (i < 215) return {kCube[i / 36], kCube[(i / 6) % 6], kCube[i % 6]};
    if (i < 225) return {kRamp[i - 215], 0, 0};
    if (i < 235) return {0, kRamp[i - 225], 0};
    if (i < 245) return {0, 0, kRamp[i - 235]};
    if (i < 255) return {kRamp[i - 245], kRamp[i - 245], kRamp[i - 245]};
    return {0, 0, 0};
}

constexpr std::array<uint8_t, 1 + 3 * kDefaultPaletteColours> makeResource() {
    std::array<uint8_t, 1 + 3 * kDefaultPaletteColours> r{};
    r[0] = 0;
    for (int i = 0; i < kDefaultPaletteColours; ++i) {
        auto c = macSystemColour(i);
        r[1 + 3 * i] = c[0];
        r[2 + 3 * i] = c[1];
        r[3 + 3 * i] = c[2];
    }
    return r;
}

constexpr auto kResource = makeResource();

constexpr std::array<PaletteEntry, 20> kStatic = {{
    {0x00, 0x00, 0x00, 0}, {0x80, 0x00, 0x00, 0}, {0x00, 0x80, 0x00, 0}, {0x80, 0x80, 0x00, 0},
    {0x00, 0x00, 0x80, 0}, {0x80, 0x00, 0x80, 0}, {0x00, 0x80, 0x80, 0}, {0xC0, 0xC0, 0xC0, 0},
    {0xC0, 0xDC, 0xC0, 0}, {0xA6, 0xCA, 0xF0, 0},
    {0xFF, 0xFB, 0xF0, 0}, {0xA0, 0xA0, 0xA4, 0}, {0x80, 0x80, 0x80, 0}, {0xFF, 0x00, 0x00, 0},
    {0x00, 0xFF, 0x00, 0}, {0xFF, 0xFF, 0x00, 0}, {0x00, 0x00, 0xFF, 0}, {0xFF, 0x00, 0xFF, 0},
    {0x00, 0xFF, 0xFF, 0}, {0xFF, 0xFF, 0xFF, 0},
}};

Palette buildDefaultPalette() {
    Palette p(256);
    for (int i = 0; i < kDefaultPaletteColours; ++i)
        p[i] = {kResource[1 + 3 * i], kResource[2 + 3 * i], kResource[3 + 3 * i], kPcReserved};
    // System entries 255..246 sit at static index 19..10; entries 9..0 at static index 9..0.
    for (int i = 0; i < 10; ++i) p[236 + i] = kStatic[19 - i];
    for (int i = 0; i < 10; ++i) p[246 + i] = kStatic[9 - i];
    return p;
}

} // namespace

std::span<const uint8_t> defaultPaletteResource() { return kResource; }

const std::array<PaletteEntry, 20>& systemStaticColours() { return kStatic; }

const Palette& LoadDefaultPalette() {
    static const Palette palette = buildDefaultPalette();
    return palette;
}

} // namespace cv
