// Card transitions: every effect ends on the new card exactly and touches nothing outside its
// area; step counts, shapes in the middle of effects, durations on the virtual clock, and the
// correction of unknown numbers and speeds.
#include "player/transitions.h"

#include <gtest/gtest.h>

#include <functional>
#include <vector>

#include "core/clock.h"
#include "player/headless_host.h"
#include "player/player.h"
#include "player/transition_engine.h"

using namespace cv;

namespace {

// Old and new cards differ in every channel of every pixel, so "shows the new card" is exact.
QImage card(int w, int h, bool isNew) {
    QImage img(w, h, QImage::Format_RGB32);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const int v = (x * 7 + y * 13) & 0x3F;
            img.setPixel(x, y, isNew ? qRgb(200 + v, 10 + v, 150 + v) : qRgb(v, 120 + v, 60 - v / 2));
        }
    return img;
}

class TransitionsTest : public ::testing::Test {
protected:
    void SetUp() override {
        setClock(&clk);
        host.onPump = [this] { ++pumps; };
    }
    void TearDown() override {
        setClock(nullptr);
        setTransitionStepObserver(nullptr);
        resetTransitionCentre();
    }
    // Runs an effect on a card of w x h; returns its duration in ticks and records the steps.
    uint64_t play(int number, int speed, int w, int h, std::function<void(int, int)> atStep = nullptr) {
        screen = card(w, h, false);
        next = card(w, h, true);
        steps = total = 0;
        setTransitionStepObserver([&, atStep](int step, int count) {
            steps = step;
            total = count;
            if (atStep) atStep(step, count);
        });
        const uint64_t start = clk.ticks();
        runTransition(host, screen, next, screen.rect(), number, speed);
        return clk.ticks() - start;
    }
    // Which pixels show the new card.
    bool isNew(int x, int y) const { return screen.pixel(x, y) == next.pixel(x, y); }
    int newCount() const {
        int n = 0;
        for (int y = 0; y < screen.height(); ++y)
            for (int x = 0; x < screen.width(); ++x) n += isNew(x, y);
        return n;
    }

    VirtualClock clk{1000};
    HeadlessHost host;
    QImage screen, next;
    int steps = 0, total = 0, pumps = 0;
};

TEST_F(TransitionsTest, EveryEffectEndsOnTheNewCardAndStaysInsideItsArea) {
    const QSize sizes[] = {{512, 342}, {641, 343}, {37, 23}, {1, 1}, {700, 9}};
    for (int number = 1; number <= kTransitionCount; ++number) {
        for (QSize size : sizes) {
            SCOPED_TRACE(testing::Message() << "transition " << number << " on " << size.width() << "x" << size.height());
            play(number, 8, size.width(), size.height());
            EXPECT_EQ(screen, next);
            EXPECT_EQ(steps, total);
        }
        // Inside a larger screen: the margin keeps the old card.
        SCOPED_TRACE(testing::Message() << "transition " << number << " in a sub-area");
        QImage big = card(300, 200, false);
        const QImage before = big;
        const QImage newer = card(300, 200, true);
        const QRect area(17, 11, 250, 170);
        setTransitionCentre(QPoint(60, 50));
        runTransition(host, big, newer, area, number, 16);
        for (int y = 0; y < 200; ++y)
            for (int x = 0; x < 300; ++x)
                ASSERT_EQ(big.pixel(x, y), (area.contains(x, y) ? newer : before).pixel(x, y)) << x << "," << y;
        resetTransitionCentre();
    }
}

TEST_F(TransitionsTest, StepCounts) {
    struct Case { int number, w, h, steps; };
    const Case cases[] = {
        {kTransLeftToRight, 640, 480, 64}, {kTransFastest, 640, 480, 4}, {kTransBlinds, 640, 480, 9 * 54},
        {kTransBlinds, 640, 342, 9 * 38}, {kTransBars, 640, 480, 32}, {kTransBarnClose, 640, 480, 64},
        {kTransBarnClose, 641, 480, 65}, {kTransMouthClose, 640, 343, 65}, {kTransMouthOpen, 640, 343, 64},
        {kTransIrisClose, 640, 40, 32}, {kTransBlocks, 640, 480, 41}, {kTransRain, 640, 480, 8},
        {kTransDissolve, 640, 480, 16}, {kTransBowTies, 640, 480, 8}, {kTransZoomIn, 640, 480, 22},
        {kTransFullScreenFade, 640, 480, 64},
        // Narrower than 64 pixels: one-pixel strips.
        {kTransLeftToRight, 40, 480, 40}, {kTransTopToBottom, 640, 30, 30}, {kTransBarnClose, 41, 100, 21},
    };
    for (const Case& c : cases) {
        play(c.number, 8, c.w, c.h);
        EXPECT_EQ(steps, c.steps) << "transition " << c.number << " on " << c.w << "x" << c.h;
    }
}

TEST_F(TransitionsTest, DurationsOnTheVirtualClock) {
    for (int speed : {8, 16, 32}) {
        for (int number = 1; number <= kTransitionCount; ++number) {
            uint64_t expected = 8 * speed;  // the step clock
            switch (number) {
            case kTransFastest: expected = speed == 8 ? 0 : 4 * speed; break;
            case kTransFadeToBlack:
            case kTransFadeToWhite:
            case kTransFadeToButtonColour: expected = 0; break;
            case kTransZoomIn:
            case kTransZoomOut: expected = 18 * (speed + 1); break;
            case kTransFullScreenFade: expected = (32 * (speed + 2) + 3) / 4 + (31 * (speed + 2) + 3) / 4; break;
            }
            // Blinds on 480 rows has 486 steps: its pacing must not round down to nothing.
            EXPECT_EQ(play(number, speed, 64, 480), expected) << "transition " << number << " at speed " << speed;
        }
    }
    EXPECT_GT(pumps, 0);  // waits give the window its turns
}

TEST_F(TransitionsTest, UnknownNumbersAndSpeedsAreCorrected) {
    EXPECT_EQ(correctedTransitionNumber(28), 28);
    EXPECT_EQ(play(0, 32, 100, 100), 128u);  // "Fastest" at half of 32
    EXPECT_EQ(steps, 4);
    EXPECT_EQ(play(40, 16, 100, 100), 64u);
    EXPECT_EQ(play(kTransLeftToRight, 10, 100, 100), 64u);
    EXPECT_EQ(screen, next);
}

TEST_F(TransitionsTest, ShapesInTheMiddleOfEffects) {
    // One-pixel strips from the left on a narrow card.
    play(kTransLeftToRight, 8, 40, 20, [&](int step, int) {
        for (int x = 0; x < 40; ++x) ASSERT_EQ(isNew(x, 5), x < step) << step;
    });
    // Strips from the right: trunc bounds of 100 / 64.
    play(kTransRightToLeft, 8, 100, 10, [&](int step, int) {
        if (step == 3) { for (int x = 0; x < 100; ++x) ASSERT_EQ(isNew(x, 0), x >= 100 - 3 * 100 / 64) << x; }
    });
    // Blinds: after the first pass of rows, every ninth row.
    play(kTransBlinds, 8, 50, 100, [&](int step, int) {
        if (step == 12) { for (int y = 0; y < 100; ++y) ASSERT_EQ(isNew(3, y), y % 9 == 0) << y; }
    });
    // Bars: even columns from the top, odd ones from the bottom.
    play(kTransBars, 8, 160, 64, [&](int step, int) {
        if (step != 1) return;
        EXPECT_TRUE(isNew(5, 0) && isNew(5, 1) && !isNew(5, 2) && !isNew(5, 63));
        EXPECT_TRUE(isNew(15, 63) && isNew(15, 62) && !isNew(15, 61) && !isNew(15, 0));
    });
    // Barn close on an odd width: the middle column is left for the extra step.
    play(kTransBarnClose, 8, 641, 10, [&](int step, int) {
        if (step == 64) {
            EXPECT_EQ(newCount(), 640 * 10);
            EXPECT_FALSE(isNew(320, 4));
        }
    });
    // Iris open: a centred rectangle growing by 10 pixels across and 7.5 down per step.
    play(kTransIrisOpen, 8, 640, 480, [&](int step, int) {
        if (step != 4) return;
        const QRect expected(320 - 40, 240 - 30, 80, 60);
        for (int y = 0; y < 480; y += 3)
            for (int x = 0; x < 640; x += 3) ASSERT_EQ(isNew(x, y), expected.contains(x, y)) << x << "," << y;
    });
    // Diagonal right grows from the bottom-right corner.
    play(kTransDiagonalRight, 8, 640, 480, [&](int step, int) {
        if (step != 2) return;
        EXPECT_TRUE(isNew(0, 479) && isNew(0, 465) && !isNew(0, 464));
        EXPECT_TRUE(isNew(620, 0) && !isNew(619, 0));
    });
    // Blocks: the first step is cells 15,3 0,8 4,8 3,3, each one pixel larger than its cell
    // (41 x 48 on 640 x 480; column 15 is cut by the right edge).
    play(kTransBlocks, 8, 640, 480, [&](int step, int) {
        if (step != 1) return;
        EXPECT_EQ(newCount(), 49 * (25 + 3 * 42));
        EXPECT_TRUE(isNew(615, 144) && isNew(639, 192) && isNew(0, 384) && isNew(205, 432));
        EXPECT_FALSE(isNew(614, 144) || isNew(639, 193) || isNew(0, 433) || isNew(206, 400));
    });
    // Dissolve reveals about a sixteenth per step.
    play(kTransDissolve, 8, 256, 128, [&](int step, int) {
        if (step < 16) { EXPECT_EQ(newCount(), step * (256 * 128 / 16 + 1)); }
    });
    // Diamond dissolve, first step: the small diamond of every 8 x 8 tile.
    play(kTransDiamondDissolve, 8, 64, 64, [&](int step, int) {
        if (step != 1) return;
        static constexpr uint8_t first[8] = {0x00, 0x00, 0x10, 0x38, 0x38, 0x10, 0x00, 0x00};
        for (int y = 0; y < 64; ++y)
            for (int x = 0; x < 64; ++x) ASSERT_EQ(isNew(x, y), bool(first[y & 7] & (0x80 >> (x & 7))));
    });
    // Razor right: one diagonal line per step, kept by the later steps.
    play(kTransRazorRight, 8, 16, 16, [&](int step, int) { EXPECT_EQ(newCount(), 32 * step); });
}

TEST_F(TransitionsTest, RainFillsEveryRowOfATallCardOnlyAtTheEnd) {
    play(kTransRain, 8, 1100, 700, [&](int step, int) {
        if (step == 7) {
            EXPECT_LT(newCount(), 1100 * 700);
            EXPECT_GT(newCount(), 1100 * 700 / 2);
        }
    });
    EXPECT_EQ(screen, next);
    // Mirror images: the pattern is symmetric about the middle of each 256-pixel half.
    play(kTransRain, 8, 512, 342, [&](int step, int) {
        if (step != 1) return;
        for (int y = 0; y < 342; y += 7)
            for (int x = 0; x < 256; ++x) ASSERT_EQ(isNew(x, y), isNew(255 - x, y)) << x << "," << y;
    });
}

TEST_F(TransitionsTest, DissolveVisitsEveryStateOnce) {
    // The register is invertible, so staying in range and first coming back to 1 after
    // 2^bits - 1 states means every state was visited once.
    for (int bits = 4; bits <= 24; ++bits) {
        const uint32_t tap = transition::dissolveTap(bits), n = 1u << bits;
        uint32_t s = 1, count = 0;
        do {
            s = transition::dissolveNext(s, tap);
            ++count;
        } while (s != 1 && s < n && count < n);
        EXPECT_TRUE(s == 1 && count == n - 1) << bits;
    }
}

TEST_F(TransitionsTest, ZoomOutlinesAreErasedAndFollowTheActionListsCentre) {
    HeadlessHost headless;
    Player player(headless);
    installTransitions(player);
    ASSERT_TRUE(player.transition && player.onActionHeader);
    player.onActionHeader(QPoint(100, 80), qRgb(1, 2, 3));
    EXPECT_EQ(transitionButtonColour(), qRgb(1, 2, 3));
    QImage old;
    QPoint firstInverted(-1, -1);
    play(kTransZoomOut, 8, 640, 480, [&](int step, int) {
        if (old.isNull()) old = card(640, 480, false);
        if (step == 1) {
            // The first outline hugs the centre, in inverted colours.
            for (int y = 0; y < 480 && firstInverted.x() < 0; ++y)
                for (int x = 0; x < 640; ++x)
                    if (screen.pixel(x, y) != old.pixel(x, y)) {
                        EXPECT_EQ(screen.pixel(x, y), old.pixel(x, y) ^ 0x00FFFFFFu);
                        firstInverted = QPoint(x, y);
                        break;
                    }
        }
        if (step == 18) { EXPECT_EQ(screen, old); }  // every outline drawn twice
    });
    EXPECT_NEAR(firstInverted.x(), 100, 3);
    EXPECT_NEAR(firstInverted.y(), 80, 2);
    EXPECT_EQ(screen, next);
    // The player's own transition is this engine.
    setTransitionStepObserver(nullptr);
    screen = card(200, 100, false);
    player.transition(screen, next = card(200, 100, true), screen.rect(), kTransZoomOut, 8);
    EXPECT_EQ(screen, next);
}

TEST_F(TransitionsTest, FullScreenFadeGoesThroughBlack) {
    play(kTransFullScreenFade, 8, 64, 32, [&](int step, int) {
        if (step == 32) { EXPECT_EQ(screen.pixel(10, 10), qRgb(0, 0, 0)); }
        if (step == 32 + 16) { EXPECT_EQ(qRed(screen.pixel(3, 3)), qRed(next.pixel(3, 3)) / 2); }
    });
    EXPECT_EQ(screen, next);
}

TEST_F(TransitionsTest, NothingHappensWithoutANewImage) {
    screen = card(50, 50, false);
    const QImage before = screen;
    runTransition(host, screen, QImage(), screen.rect(), kTransDissolve, 8);
    EXPECT_EQ(screen, before);
    // A new image in another format is taken as it looks.
    const QImage indexed = card(50, 50, true).convertToFormat(QImage::Format_Indexed8);
    runTransition(host, screen, indexed, screen.rect(), kTransBars, 8);
    EXPECT_EQ(screen, indexed.convertToFormat(QImage::Format_RGB32));
}

} // namespace
