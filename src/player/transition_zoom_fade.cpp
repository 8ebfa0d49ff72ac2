// The effects with their own timing: the Zoom outlines and the full-screen fade through black.
#include <cmath>
#include <cstring>

#include "player/transition_engine.h"
#include "player/transitions.h"

namespace cv::transition {

namespace {

// Inverts the one-pixel outline of [l, r) x [t, b), each pixel once, so that drawing the same
// outline again restores the screen.
void xorOutline(Run& run, int l, int t, int r, int b) {
    if (r <= l || b <= t) return;
    auto invert = [&](int x, int y) {
        if (x >= run.L && x < run.R && y >= run.T && y < run.B) run.screenRow(y)[x] ^= 0x00FFFFFFu;
    };
    for (int x = l; x < r; ++x) {
        invert(x, t);
        if (b - 1 > t) invert(x, b - 1);
    }
    for (int y = t + 1; y < b - 1; ++y) {
        invert(l, y);
        if (r - 1 > l) invert(r - 1, y);
    }
}

} // namespace

void zoom(Run& run, bool out, QPoint centre) {
    constexpr int kIterations = 18, kLeading = 14, kTrail = 4;
    const Split bands(run.H, 4);  // the "Fastest" that follows
    run.planSteps(kIterations + bands.n);
    // Between a 4 x 0 rectangle at the centre and the card.
    const double sl = centre.x() - 2, sr = centre.x() + 2, sy = centre.y();
    auto outline = [&](int i) {
        const double f = out ? std::pow(0.7, kLeading - i) : (1 - std::pow(0.7, 15)) * std::pow(0.7, i + 1);
        const int l = int(std::floor(sl + f * (run.L - sl)));
        const int t = int(std::floor(sy + f * (run.T - sy)));
        const int r = int(std::floor(sr + f * (run.R - sr)));
        const int b = int(std::floor(sy + f * (run.B - sy)));
        xorOutline(run, l, t, r, b);
        return QRect(l, t, r - l, b - t);
    };
    const uint64_t start = Run::nowTicks();
    for (int i = 0; i < kIterations; ++i) {
        QRect changed;
        if (i < kLeading) changed |= outline(i);
        if (i >= kTrail) changed |= outline(i - kTrail);  // erases the outline drawn 4 iterations ago
        run.present(changed);
        run.stepDrawn();
        run.waitUntilTick(start + uint64_t(i + 1) * (run.speed + 1));
    }
    fastest(run, 8);
}

namespace {

// dst = src x a / 32 per channel (a = 0..32), two channels per multiplication.
void scaleRows(Run& run, const QImage& src, int srcX, int srcY, int a) {
    for (int y = 0; y < run.H; ++y) {
        const uint32_t* s = reinterpret_cast<const uint32_t*>(src.constScanLine(srcY + y)) + srcX;
        uint32_t* d = run.screenRow(run.T + y) + run.L;
        for (int x = 0; x < run.W; ++x) {
            const uint32_t p = s[x];
            d[x] = 0xFF000000u | ((((p & 0xFF00FFu) * a) >> 5) & 0xFF00FFu) | ((((p & 0x00FF00u) * a) >> 5) & 0x00FF00u);
        }
    }
}

// The old card's pixels, kept from fade to fade: fresh memory for a whole card costs its
// first step more than the 2 ms a step may take.
const QImage* keepOldCard(Run& run) {
    static QImage kept;
    if (kept.size() != QSize(run.W, run.H) || kept.format() != QImage::Format_RGB32)
        kept = QImage(run.W, run.H, QImage::Format_RGB32);
    if (kept.isNull()) return nullptr;
    for (int y = 0; y < run.H; ++y)
        std::memcpy(kept.scanLine(y), run.screenRow(run.T + y) + run.L, size_t(run.W) * 4);
    return &kept;
}

} // namespace

void fullScreenFade(Run& run) {
    constexpr int kDown = 32, kUp = 31;
    const QImage* kept = keepOldCard(run);
    if (!kept) {
        fastest(run, 8);
        return;
    }
    const QImage& old = *kept;
    run.planSteps(kDown + kUp + 1);
    // Step i ends once (now - start) x 4 >= (speed + 2) x i.
    auto waitFor = [&](uint64_t start, int i) {
        run.waitUntilTick(start + (uint64_t(run.speed + 2) * i + 3) / 4);
    };
    uint64_t start = Run::nowTicks();
    for (int i = 1; i <= kDown; ++i) {
        scaleRows(run, old, 0, 0, kDown - i);
        run.present(run.rect);
        run.stepDrawn();
        waitFor(start, i);
    }
    start = Run::nowTicks();
    for (int i = 1; i <= kUp; ++i) {
        scaleRows(run, run.next, run.L, run.T, i);
        run.present(run.rect);
        run.stepDrawn();
        waitFor(start, i);
    }
    run.show(run.rect);
    run.stepDrawn();
}

} // namespace cv::transition
