#pragma once
// Inside the transition engine: one run of an effect (the screen, the new image, the area and
// the step clock) and the effects themselves, grouped by kind in transition_*.cpp.
#include <QImage>
#include <QPoint>
#include <QRect>
#include <cstdint>
#include <vector>

namespace cv {

class Host;

namespace transition {

// Splitting x pixels into up to k parts: part i spans [bound(i), bound(i + 1)). Parts are one
// pixel when x < k; integer arithmetic keeps the bounds exact where a real part size would not.
struct Split {
    int x = 0, k = 1, n = 0;
    Split(int pixels, int parts) : x(pixels > 0 ? pixels : 0), k(parts), n(x < parts ? x : parts) {}
    int bound(int i) const { return x < k ? i : static_cast<int>(int64_t(i) * x / k); }
};

// x pixels in exactly n parts (n > 0): the parts of one side of a centre line.
inline int share(int x, int n, int i) { return static_cast<int>(int64_t(i) * x / n); }

class Run {
public:
    Run(Host& host, QImage& screen, const QImage& next, const QRect& rect, int speed);

    Host& host;
    QImage& screen;
    const QImage& next;
    const QRect rect;  // the effect area, inside both images
    const int speed;
    const int L, T, W, H, R, B;  // R and B are exclusive edges

    // Copies part of the new image to the same place on the screen (clipped to the area).
    void copyRectFromImage(const QRect& r);
    // Tells the host that part of the area changed.
    void present(const QRect& r);
    // Both, for the plain wipes.
    void show(const QRect& r) { copyRectFromImage(r); present(r); }

    // The step clock: n steps over about 8 x speed ticks.
    void startSteps(int n, int stepSpeed);
    // A step has been drawn: report it, then wait for the step's time.
    void endStep();
    // Runs the steps not taken, keeping the effect's duration.
    void finishSteps();
    int stepsTaken() const { return step_; }

    // Steps reported to the observer, for effects that pace themselves.
    void planSteps(int total);
    void stepDrawn();
    // Ticks of the program clock, and a wait (pumping the host) until a tick is reached.
    static uint64_t nowTicks();
    void waitUntilTick(uint64_t tick);

    uint32_t* screenRow(int y) { return reinterpret_cast<uint32_t*>(screen.scanLine(y)); }
    const uint32_t* nextRow(int y) const { return reinterpret_cast<const uint32_t*>(next.constScanLine(y)); }

private:
    void advance();
    int steps_ = 0;
    int step_ = 0;
    int stepSpeed_ = 0;
    uint64_t startTick_ = 0;
    int planned_ = 0;
    int reported_ = 0;
};

// A one-bit mask over the effect area, a row of 32-bit words per line, most significant bit
// leftmost: bit 1 shows the new image.
struct BitMask {
    int width = 0, height = 0, words = 0;
    std::vector<uint32_t> bits;
    BitMask(int w, int h) : width(w), height(h), words((w + 31) / 32), bits(size_t(words) * h, 0) {}
    void set(int x, int y) { bits[size_t(y) * words + (x >> 5)] |= 0x80000000u >> (x & 31); }
    bool test(int x, int y) const { return bits[size_t(y) * words + (x >> 5)] & (0x80000000u >> (x & 31)); }
    const uint32_t* row(int y) const { return &bits[size_t(y) * words]; }
};

// screen = ((screen XOR new) AND NOT mask) XOR new over the area, one 32-bit pixel at a time.
void revealThroughMask(Run& run, const BitMask& mask);

// The dissolve's shift register: the tap for a register of `bits` bits (4..27), 0 beyond.
uint32_t dissolveTap(int bits);
inline uint32_t dissolveNext(uint32_t state, uint32_t tap) { return (state & 1) ? (state >> 1) ^ tap : state >> 1; }

// Blocks: the copy order as (column, row) pairs.
extern const uint8_t kBlockOrder[163][2];

// The effects.
void fastest(Run& run, int speed);
void wipe(Run& run, int number);  // 1, 2, 4, 11
void diagonal(Run& run, bool fromBottomRight);
void blinds(Run& run);
void bars(Run& run);
void barn(Run& run, bool vertical, bool open);  // barn (vertical line) or mouth
void iris(Run& run, bool open);
void blocks(Run& run);
void rain(Run& run);
void dissolve(Run& run);
void pattern(Run& run, int number);  // 23-26
void zoom(Run& run, bool out, QPoint centre);
void fullScreenFade(Run& run);

} // namespace transition
} // namespace cv
