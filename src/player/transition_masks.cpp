// The effects that show the new card through a one-bit mask: Rain, Dissolve and the four
// pattern effects. The mask is applied to the screen a 32-bit pixel at a time.
#include <algorithm>

#include "player/transition_engine.h"
#include "player/transitions.h"

namespace cv::transition {

namespace {

// Up to 32 pixels through 32 mask bits (most significant bit first): the new pixel where the
// bit is 1, the screen's pixel elsewhere.
inline void blend(uint32_t* screen, const uint32_t* next, uint32_t bits, int count) {
    if (bits == 0xFFFFFFFFu && count == 32) {
        std::copy(next, next + 32, screen);
        return;
    }
    for (int j = 0; j < count; ++j) {
        const uint32_t m = 0u - ((bits >> (31 - j)) & 1u);
        screen[j] = ((screen[j] ^ next[j]) & ~m) ^ next[j];
    }
}

} // namespace

void revealThroughMask(Run& run, const BitMask& mask) {
    const int words = (run.W + 31) / 32;
    for (int y = 0; y < run.H; ++y) {
        const uint32_t* m = mask.row(y);
        uint32_t* s = run.screenRow(run.T + y) + run.L;
        const uint32_t* n = run.nextRow(run.T + y) + run.L;
        for (int w = 0; w < words; ++w)
            if (m[w]) blend(s + w * 32, n + w * 32, m[w], std::min(32, run.W - w * 32));
    }
}

// ---- Rain ----

void rain(Run& run) {
    static constexpr uint8_t kTable[32] = {19, 3, 29, 24, 14, 20, 13, 23, 8, 15, 6, 25, 5, 16, 4, 12,
                                           27, 0, 28, 26, 17, 21, 18, 30, 9, 31, 1, 7, 22, 11, 10, 2};
    constexpr int kPatternWidth = 512;
    const int maskHeight = std::max(342, run.H);
    // The row groups wrap over a multiple of four rows: then every row meets all 32 table
    // entries in the 8 passes and ends fully set. Wrapping at the mask's own height would leave
    // half of the bottom row unset (and rows below 342 untouched on a taller card).
    const int groups = (maskHeight + 2 + 3) / 4 * 4;
    BitMask mask(run.W, run.H);
    auto setFour = [&](int x, int y) {
        // Pixels repeat every 512 columns on a wider card.
        for (int base = 0; base < run.W; base += kPatternWidth)
            for (int d = 0; d < 4 && base + x + d < run.W; ++d) mask.set(base + x + d, y);
    };
    run.startSteps(8, run.speed);
    for (int pass = 0; pass < 32; pass += 4) {
        for (int r = 0; r < groups; ++r) {
            const int t = kTable[(r + pass) % 32];
            const int x = (t / 2) * 8 + (t % 2 ? 4 : 0);  // high or low four pixels of byte t / 2
            for (int k = 0; k < 4; ++k) {
                int y = maskHeight - r - 1 - k;
                if (y < 0) y += groups;
                if (y >= run.H) continue;
                // The four pixels and their mirror images in both halves of the pattern row.
                setFour(x, y);
                setFour(255 - x - 3, y);
                setFour(256 + x, y);
                setFour(511 - x - 3, y);
            }
        }
        revealThroughMask(run, mask);
        run.present(run.rect);
        run.endStep();
    }
}

// ---- Dissolve ----

uint32_t dissolveTap(int bits) {
    // Maximal-length taps: the state visits every value 1 .. 2^bits - 1 once. The historical
    // table from 23 bits on was one register size out (its 23-bit entry sets bit 23, walking
    // the state off the end of the mask); the taps here are checked for every size.
    static constexpr uint32_t kTaps[28] = {
        0, 0, 0x3, 0x6, 0xC, 0x14, 0x30, 0x60, 0xB8, 0x110, 0x240, 0x500, 0xCA0, 0x1B00,
        0x3500, 0x6000, 0xB400, 0x12000, 0x20400, 0x72000, 0x90000, 0x140000, 0x300000,
        0x420000, 0xD80000, 0x1200000, 0x3880000, 0x7200000};
    return bits >= 2 && bits < 28 ? kTaps[bits] : 0;
}

void dissolve(Run& run) {
    int widthBits = 4, heightBits = 0;
    while ((1 << widthBits) < run.W) ++widthBits;
    while ((1 << heightBits) < run.H) ++heightBits;
    const int bits = widthBits + heightBits;
    const uint32_t tap = dissolveTap(bits);
    if (!tap) {
        // A mask of this size cannot be walked.
        fastest(run, run.speed);
        return;
    }
    const uint32_t widthMask = (1u << widthBits) - 1;
    const uint64_t states = (uint64_t(1) << bits) - 1;
    BitMask mask(run.W, run.H);
    auto setBit = [&](uint32_t s) {
        const int x = int(s & widthMask), y = int(s >> widthBits);
        if (x < run.W && y < run.H) mask.set(x, y);
    };
    constexpr int kSteps = 16;
    const uint64_t perStep = (states + 1) / kSteps + 1;
    uint32_t state = 1;
    uint64_t spent = 0;
    run.startSteps(kSteps, run.speed);
    for (int step = 0; step < kSteps; ++step) {
        const uint64_t take = step == kSteps - 1 ? states - spent : std::min(perStep, states - spent);
        for (uint64_t j = 0; j < take; ++j) {
            setBit(state);
            state = dissolveNext(state, tap);
        }
        const bool exhausted = spent < states && spent + take == states;
        spent += take;
        // The register never reaches state 0, the top-left pixel.
        if (exhausted)
            for (uint32_t s = 0; s < 272; ++s) setBit(s);
        revealThroughMask(run, mask);
        if (step == kSteps - 1) run.copyRectFromImage(QRect(run.L, run.T, run.W, 1));
        run.present(run.rect);
        run.endStep();
    }
}

// ---- Pattern effects ----

void pattern(Run& run, int number) {
    static constexpr uint8_t kDiamond[8][8] = {
        {0x00, 0x00, 0x10, 0x38, 0x38, 0x10, 0x00, 0x00}, {0x00, 0x10, 0x18, 0x3C, 0x7C, 0x38, 0x10, 0x00},
        {0x00, 0x10, 0x38, 0x7C, 0xFC, 0x7C, 0x38, 0x10}, {0x10, 0x38, 0x7C, 0x7E, 0xFF, 0x7C, 0x38, 0x10},
        {0x10, 0x38, 0x7C, 0xFF, 0xFF, 0xFE, 0x7C, 0x38}, {0x38, 0x7C, 0xFE, 0xFF, 0xFF, 0xFE, 0xFC, 0x78},
        {0x3E, 0x7F, 0xFF, 0xFF, 0xFF, 0xFF, 0xFE, 0x7C}, {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}};
    static constexpr uint8_t kBowTies[8][8] = {
        {0x80, 0x40, 0x20, 0x10, 0x08, 0x04, 0x02, 0x01}, {0x01, 0x02, 0x04, 0x08, 0x10, 0x20, 0x40, 0x80},
        {0xC1, 0xE2, 0x64, 0x38, 0x18, 0x2C, 0x46, 0x83}, {0xC3, 0xE7, 0x6E, 0x38, 0x38, 0x6C, 0xC6, 0x83},
        {0xC3, 0xE7, 0xFE, 0x78, 0x3C, 0x7E, 0xCF, 0x83}, {0xC7, 0xEF, 0xFF, 0x7C, 0x7C, 0xFE, 0xEF, 0xC3},
        {0xE7, 0xFF, 0xFF, 0x7E, 0x7E, 0xFF, 0xFF, 0xE7}, {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}};
    constexpr int kSteps = 8;
    run.startSteps(kSteps, run.speed);
    for (int k = 0; k < kSteps; ++k) {
        for (int y = 0; y < run.H; ++y) {
            const int r = y & 7;
            uint8_t row;
            switch (number) {
            case kTransDiamondDissolve: row = kDiamond[k][r]; break;
            case kTransBowTies: row = kBowTies[k][r]; break;
            case kTransRazorRight: row = uint8_t(0x80 >> ((r + k) & 7)); break;
            default: row = uint8_t(0x01 << ((r + k) & 7)); break;  // razor left
            }
            if (!row) continue;
            // The 8-pixel pattern row repeated across a 32-bit word of mask bits.
            const uint32_t bits = uint32_t(row) * 0x01010101u;
            uint32_t* s = run.screenRow(run.T + y) + run.L;
            const uint32_t* n = run.nextRow(run.T + y) + run.L;
            for (int x = 0; x < run.W; x += 32) blend(s + x, n + x, bits, std::min(32, run.W - x));
        }
        run.present(run.rect);
        run.endStep();
    }
}

} // namespace cv::transition
