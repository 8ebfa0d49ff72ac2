// The effects that copy whole rectangles of the new card: strips, bands, diagonals, blinds,
// bars, barn doors and mouths, the iris and the blocks.
#include <algorithm>

#include "player/transition_engine.h"
#include "player/transitions.h"

namespace cv::transition {

void fastest(Run& run, int speed) {
    // Four bands at half the speed; speed 8 does not wait at all.
    const Split bands(run.H, 4);
    run.startSteps(bands.n, speed == 8 ? 0 : speed / 2);
    for (int i = 0; i < bands.n; ++i) {
        const int a = bands.bound(i), b = bands.bound(i + 1);
        run.show(QRect(run.L, run.T + a, run.W, b - a));
        run.endStep();
    }
}

void wipe(Run& run, int number) {
    const bool columns = number == kTransLeftToRight || number == kTransRightToLeft;
    const Split strips(columns ? run.W : run.H, 64);
    run.startSteps(strips.n, run.speed);
    for (int i = 0; i < strips.n; ++i) {
        const int a = strips.bound(i), b = strips.bound(i + 1);
        QRect r;
        switch (number) {
        case kTransLeftToRight: r = QRect(run.L + a, run.T, b - a, run.H); break;
        case kTransRightToLeft: r = QRect(run.R - b, run.T, b - a, run.H); break;
        case kTransTopToBottom: r = QRect(run.L, run.T + a, run.W, b - a); break;
        default: r = QRect(run.L, run.B - b, run.W, b - a); break;
        }
        run.show(r);
        run.endStep();
    }
}

void diagonal(Run& run, bool fromBottomRight) {
    // 64 steps whatever the size: on a small card some steps copy nothing.
    constexpr int kSteps = 64;
    run.startSteps(kSteps, run.speed);
    for (int i = 0; i < kSteps; ++i) {
        const int h0 = share(run.H, kSteps, i), h1 = share(run.H, kSteps, i + 1);
        const int w0 = share(run.W, kSteps, i), w1 = share(run.W, kSteps, i + 1);
        if (fromBottomRight) {
            run.show(QRect(run.L, run.B - h1, run.W, h1 - h0));
            run.show(QRect(run.R - w1, run.T, w1 - w0, run.H));
        } else {
            run.show(QRect(run.L, run.T + h0, run.W, h1 - h0));
            run.show(QRect(run.L + w0, run.T, w1 - w0, run.H));
        }
        run.endStep();
    }
}

void blinds(Run& run) {
    constexpr int kGap = 9;
    const int m = (run.H + kGap - 1) / kGap;
    run.startSteps(kGap * m, run.speed);
    for (int j = 0; j < kGap; ++j) {
        for (int q = 0; q < m; ++q) {
            run.show(QRect(run.L, run.T + j + kGap * q, run.W, 1));
            run.endStep();
        }
    }
}

void bars(Run& run) {
    const Split columns(run.W, 16);
    const Split parts(run.H, 32);
    run.startSteps(parts.n, run.speed);
    for (int i = 0; i < parts.n; ++i) {
        const int a = parts.bound(i), b = parts.bound(i + 1);
        for (int c = 0; c < columns.n; ++c) {
            const int x0 = run.L + columns.bound(c), x1 = run.L + columns.bound(c + 1);
            // Even columns come down from the top, odd ones up from the bottom.
            if (c % 2 == 0)
                run.copyRectFromImage(QRect(x0, run.T + a, x1 - x0, b - a));
            else
                run.copyRectFromImage(QRect(x0, run.B - b, x1 - x0, b - a));
        }
        run.present(QRect(run.L, run.T + a, run.W, b - a));
        run.present(QRect(run.L, run.B - b, run.W, b - a));
        run.endStep();
    }
}

namespace {

// A band across the area: columns [a, b) when the line is vertical, else rows [a, b).
QRect band(const Run& run, bool vertical, int a, int b) {
    return vertical ? QRect(a, run.T, b - a, run.H) : QRect(run.L, a, run.W, b - a);
}

} // namespace

void barn(Run& run, bool vertical, bool open) {
    const int start = vertical ? run.L : run.T;
    const int size = vertical ? run.W : run.H;
    const int end = start + size;
    const int lo = size / 2;          // before the centre line
    const int hi = size - lo;         // after it: one more on an odd size
    if (open) {
        // Both sides reach the edges together; the far side takes its extra pixel along the way
        // rather than leaving the last line of the old card on screen.
        const int n = std::min(hi, 64);
        const int centre = start + lo;
        run.startSteps(n, run.speed);
        for (int i = 0; i < n; ++i) {
            run.show(band(run, vertical, centre - share(lo, n, i + 1), centre - share(lo, n, i)));
            run.show(band(run, vertical, centre + share(hi, n, i), centre + share(hi, n, i + 1)));
            run.endStep();
        }
        return;
    }
    const Split parts(lo, 64);
    const bool gap = size > 2 * lo;
    run.startSteps(parts.n + (gap ? 1 : 0), run.speed);
    for (int i = 0; i < parts.n; ++i) {
        const int a = parts.bound(i), b = parts.bound(i + 1);
        run.show(band(run, vertical, start + a, start + b));
        run.show(band(run, vertical, end - b, end - a));
        run.endStep();
    }
    if (gap) {
        run.show(band(run, vertical, start + lo, end - lo));
        run.endStep();
    }
}

namespace {

// One axis of the iris: the rectangle's edges after i steps, growing from the centre.
struct IrisAxis {
    int centre, lo, hi, n;
    IrisAxis(int start, int size) : centre(start + size / 2), lo(size / 2), hi(size - size / 2), n(std::min(hi, 32)) {}
    int low(int i) const { return n ? centre - share(lo, n, std::min(i, n)) : centre; }
    int high(int i) const { return n ? centre + share(hi, n, std::min(i, n)) : centre; }
};

} // namespace

void iris(Run& run, bool open) {
    const IrisAxis x(run.L, run.W), y(run.T, run.H);
    const int steps = std::max(x.n, y.n);
    run.startSteps(steps, run.speed);
    for (int s = 0; s < steps; ++s) {
        const int outer = open ? s + 1 : steps - s;
        const int inner = outer - 1;
        const int l1 = x.low(outer), r1 = x.high(outer), t1 = y.low(outer), b1 = y.high(outer);
        const int l0 = x.low(inner), r0 = x.high(inner), t0 = y.low(inner), b0 = y.high(inner);
        // The four border strips between the two rectangles.
        run.show(QRect(l1, t1, r1 - l1, t0 - t1));
        run.show(QRect(l1, b0, r1 - l1, b1 - b0));
        run.show(QRect(l1, t0, l0 - l1, b0 - t0));
        run.show(QRect(r0, t0, r1 - r0, b0 - t0));
        run.endStep();
    }
}

// Columns 0-15 and rows 0-9 in copy order (cell 15,3 comes three times and 0,0 twice).
const uint8_t kBlockOrder[163][2] = {
    {15, 3}, {0, 8}, {4, 8}, {3, 3}, {5, 8}, {8, 0}, {15, 5}, {14, 8}, {0, 0}, {3, 2}, {10, 7}, {9, 5},
    {0, 9}, {13, 8}, {7, 6}, {1, 0}, {8, 9}, {12, 1}, {14, 9}, {9, 2}, {8, 6}, {14, 3}, {4, 0}, {5, 1},
    {11, 9}, {11, 7}, {13, 5}, {15, 4}, {9, 7}, {10, 8}, {13, 3}, {7, 0}, {5, 2}, {1, 4}, {7, 2}, {9, 4},
    {11, 5}, {14, 4}, {14, 6}, {3, 9}, {3, 0}, {7, 7}, {2, 9}, {14, 0}, {2, 1}, {4, 2}, {14, 5}, {2, 7},
    {2, 4}, {10, 5}, {1, 6}, {5, 9}, {9, 6}, {6, 4}, {6, 0}, {9, 3}, {7, 5}, {12, 3}, {8, 2}, {3, 8},
    {11, 8}, {10, 2}, {7, 9}, {6, 2}, {13, 1}, {5, 5}, {13, 9}, {14, 7}, {11, 0}, {13, 4}, {2, 8}, {0, 0},
    {9, 1}, {5, 7}, {4, 9}, {15, 0}, {11, 6}, {11, 1}, {2, 2}, {4, 5}, {3, 4}, {4, 6}, {13, 0}, {3, 7},
    {1, 2}, {6, 6}, {2, 6}, {10, 6}, {14, 1}, {6, 7}, {12, 7}, {1, 8}, {12, 8}, {1, 3}, {9, 9}, {15, 8},
    {11, 4}, {10, 9}, {12, 4}, {1, 7}, {4, 1}, {12, 2}, {7, 3}, {13, 7}, {5, 6}, {8, 1}, {6, 9}, {10, 0},
    {1, 5}, {5, 0}, {6, 5}, {5, 4}, {4, 4}, {9, 8}, {1, 1}, {8, 7}, {8, 5}, {0, 1}, {3, 6}, {8, 8},
    {8, 4}, {10, 1}, {0, 2}, {11, 2}, {4, 3}, {9, 0}, {3, 1}, {1, 9}, {6, 8}, {6, 3}, {8, 3}, {12, 6},
    {10, 3}, {0, 6}, {7, 1}, {12, 0}, {0, 7}, {13, 2}, {2, 5}, {15, 6}, {14, 2}, {6, 1}, {15, 7}, {11, 3},
    {15, 1}, {7, 4}, {5, 3}, {4, 7}, {13, 6}, {0, 5}, {3, 5}, {12, 9}, {2, 0}, {12, 5}, {0, 4}, {7, 8},
    {10, 4}, {15, 3}, {2, 3}, {0, 3}, {15, 9}, {15, 3}, {15, 2},
};

void blocks(Run& run) {
    constexpr int kCount = 163, kPerStep = 4;
    const int cellWidth = run.W / 16 + 1;  // 16 columns always reach the right edge
    const int cellHeight = run.H / 10;
    run.startSteps((kCount + kPerStep - 1) / kPerStep, run.speed);
    for (int i = 0; i < kCount; ++i) {
        const int x = run.L + kBlockOrder[i][0] * cellWidth;
        const int y = run.T + kBlockOrder[i][1] * cellHeight;
        // A block is one pixel larger than its cell. Ten rows of H / 10 can fall short of the
        // bottom edge (342 / 10), so the last row reaches down to it.
        const int height = kBlockOrder[i][1] == 9 ? std::max(cellHeight + 1, run.B - y) : cellHeight + 1;
        run.show(QRect(x, y, cellWidth + 1, height));
        if (i % kPerStep == kPerStep - 1 || i == kCount - 1) run.endStep();
    }
}

} // namespace cv::transition
