// The sprite engine: sprites made from pictures walk their paths on the virtual clock, drawn
// with their masks over the card and taken away without trails; damaged records are refused.
#include "media/sprite_engine.h"

#include <gtest/gtest.h>

#include "core/byte_order.h"
#include "core/clock.h"

using namespace cv;
using namespace cv::sprite;

namespace {

constexpr uint32_t kCard = 0xFF102030u;

struct TestCanvas : SpriteCanvas {
    TestCanvas(int w, int h) : width(w), height(h), pixels(size_t(w) * h) {
        for (size_t i = 0; i < pixels.size(); ++i) pixels[i] = kCard + uint32_t(i % 7);  // a card with a pattern
        card = pixels;
    }
    SpriteSurface surface() override { return {pixels.data(), width, height, size_t(width)}; }
    void present(const AnimRect& r) override { presented.push_back(r); }
    uint32_t at(int x, int y) const { return pixels[size_t(y) * width + x]; }
    bool cardShows(int x, int y) const { return at(x, y) == card[size_t(y) * width + x]; }

    int width, height;
    std::vector<uint32_t> pixels, card;
    std::vector<AnimRect> presented;
};

Bitmap solid32(int w, int h, uint32_t colour) {
    Bitmap b = *MakeDIB(w, h, 32);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) b.setPixel(x, y, colour);
    return b;
}

// 4 x 4 frames, red then green; the red one's mask hides its top-left pixel.
std::vector<SpritePicture> twoFrames() {
    SpritePicture red{solid32(4, 4, 0xFF0000), *MakeDIB(4, 4, 1), 0, 0};
    red.mask->colours = {0xFF000000u, 0xFFFFFFFFu};
    red.mask->setPixel(0, 0, 1);
    return {red, SpritePicture{solid32(4, 4, 0x00FF00), std::nullopt, 0, 0}};
}

class SpriteEngineTest : public ::testing::Test {
protected:
    void SetUp() override { setClock(&clock_); }
    void TearDown() override { setClock(nullptr); }
    VirtualClock clock_{1000};
};

} // namespace

TEST_F(SpriteEngineTest, WalksItsRecordedPathWithItsFramesAndLeavesNoTrail) {
    SpriteOptions o;
    o.speedPercent = 200;  // each point's 50 ms becomes 100
    o.repeatMode = kRepeatPasses;  // one pass; the frames cycle while it lasts
    auto data = encodeSprite(o, {{2, 2, 50}, {10, 2, 50}, {10, 10, 50}}, twoFrames());
    ASSERT_TRUE(data);
    TestCanvas c(20, 20);
    SpriteEngine e;
    ASSERT_EQ(e.startSprite(*data, 7), SpriteStart::Started);
    EXPECT_TRUE(e.isSpriteRunning(7));
    EXPECT_FALSE(e.isSpriteRunning(8));

    // (point, red or green) at 0, 100 and 200 ms; the card everywhere else.
    const struct { int x, y; uint32_t colour; } due[] = {{2, 2, 0xFFFF0000u}, {10, 2, 0xFF00FF00u}, {10, 10, 0xFFFF0000u}};
    for (int i = 0; i < 3; ++i) {
        EXPECT_TRUE(e.stepSprites(c));
        EXPECT_EQ(c.at(due[i].x + 1, due[i].y + 1), due[i].colour) << i;
        EXPECT_EQ(c.at(due[i].x + 3, due[i].y + 3), due[i].colour) << i;
        // The mask lets the card show through the red frame's corner.
        EXPECT_EQ(c.cardShows(due[i].x, due[i].y), due[i].colour == 0xFFFF0000u) << i;
        int covered = 0;
        for (int y = 0; y < 20; ++y)
            for (int x = 0; x < 20; ++x) covered += !c.cardShows(x, y);
        EXPECT_EQ(covered, due[i].colour == 0xFFFF0000u ? 15 : 16) << i;
        ASSERT_EQ(c.presented.size(), size_t(i + 1));
        clock_.advance(99);
        e.stepSprites(c);  // not due yet: nothing drawn
        EXPECT_EQ(c.presented.size(), size_t(i + 1));
        EXPECT_EQ(*e.nextDueMs(), clock_.nowMs() + 1);
        clock_.advance(1);
    }
    // The move past the last point ends the single pass: the card is whole again.
    EXPECT_FALSE(e.stepSprites(c));
    EXPECT_FALSE(e.isSpriteRunning(7));
    EXPECT_EQ(c.pixels, c.card);
    // One rectangle per step, covering where the sprite was and where it went.
    const AnimRect last = c.presented.back();
    EXPECT_EQ(last.left, 10);
    EXPECT_EQ(last.top, 10);
    EXPECT_EQ(c.presented[1].left, 2);
    EXPECT_EQ(c.presented[1].right, 14);
}

TEST_F(SpriteEngineTest, OverlappingSpritesOffTheEdgeAndStoppingRestoreTheCard) {
    SpriteOptions o;
    o.repeatMode = kRepeatAlways;
    o.pathMode = kPathCircular;
    o.recordedTiming = false;
    o.fixedInterval = 0;  // no interval: one move per step, never two in one millisecond
    auto a = encodeSprite(o, {{-2, -2, 0}, {17, 18, 0}, {1, 1, 0}}, twoFrames());
    auto b = encodeSprite(o, {{0, 0, 0}, {16, 16, 0}}, twoFrames());
    ASSERT_TRUE(a && b);
    TestCanvas c(20, 20);
    SpriteEngine e;
    ASSERT_EQ(e.startSprite(*a, 1), SpriteStart::Started);
    ASSERT_EQ(e.startSprite(*b, 2), SpriteStart::Started);
    for (int i = 0; i < 12; ++i) {
        e.stepSprites(c);
        e.stepSprites(c);
        clock_.advance(1);
    }
    EXPECT_TRUE(e.isSpriteRunning(1) && e.isSpriteRunning(2));
    EXPECT_FALSE(c.pixels == c.card);
    // Replacing a sprite takes the old one away on the next step.
    ASSERT_EQ(e.startSprite(*b, 1), SpriteStart::Started);
    e.stepSprites(c);
    EXPECT_EQ(e.count(), 2u);
    e.stopSprites(&c);
    EXPECT_EQ(c.pixels, c.card);
    EXPECT_EQ(e.count(), 0u);
}

TEST_F(SpriteEngineTest, DamagedOrOversizedRecordsAreRefused) {
    SpriteOptions o;
    auto data = encodeSprite(o, {{0, 0, 10}, {5, 5, 10}}, twoFrames());
    ASSERT_TRUE(data);
    SpriteEngine e;
    // Every shorter copy is refused, without reading past it.
    for (size_t n = 0; n < data->size(); n += 7)
        EXPECT_EQ(e.startSprite(std::span<const uint8_t>(*data).first(n), 1), SpriteStart::Refused) << n;
    auto damage = [&](size_t at, uint32_t value) {
        std::vector<uint8_t> d = *data;
        storeBE32(d.data() + at, value);
        return e.startSprite(d, 1);
    };
    const size_t film = kSpriteBytes + kPathPoints + 2 * kPathPointBytes;
    EXPECT_EQ(damage(kSpriteBytes + kRecordLength, 0xFFFFFF00u), SpriteStart::Refused);  // path length
    EXPECT_EQ(damage(film + kFilmCount, 3), SpriteStart::Refused);                      // more frames than entries
    EXPECT_EQ(damage(film + kFilmEntries + kFramePicture, 0xFFFFFFF0u), SpriteStart::Refused);
    EXPECT_EQ(damage(film + kFilmEntries + kFrameMaskLength, 9), SpriteStart::Refused); // a mask cut short
    EXPECT_EQ(damage(312, 5), SpriteStart::Refused);                                    // frame end past the film
    EXPECT_EQ(damage(400, 3), SpriteStart::Refused);                                    // path end past the path
    e.setLargest(3, 10);
    EXPECT_EQ(e.startSprite(*data, 1), SpriteStart::Refused);
    e.setLargest(4, 4);
    EXPECT_EQ(e.startSprite(*data, 1), SpriteStart::Started);
}

TEST_F(SpriteEngineTest, TheRunTimerEndsTheSpriteAtTheEndOfThePassItFiresIn) {
    SpriteOptions o;
    o.repeatMode = kRepeatUntilRunTimer;
    o.runTime = 250;
    o.recordedTiming = false;
    o.fixedInterval = 100;
    auto data = encodeSprite(o, {{0, 0, 0}, {5, 0, 0}, {10, 0, 0}}, twoFrames());
    ASSERT_TRUE(data);
    TestCanvas c(20, 20);
    SpriteEngine e;
    ASSERT_EQ(e.startSprite(*data, 1), SpriteStart::Started);
    for (int steps = 0; e.stepSprites(c) && steps < 100; ++steps) clock_.sleepUntilMs(*e.nextDueMs());
    // Moves at 100 and 200 reach the last point; the timer fires at 250; the move at 300 ends it.
    EXPECT_EQ(clock_.nowMs(), 1300u);
    EXPECT_EQ(c.pixels, c.card);
}

TEST_F(SpriteEngineTest, LateStepsSkipMissedPointsWithoutDriftAndAStallResumesInPlace) {
    SpriteOptions o;
    o.repeatMode = kRepeatPasses;  // one pass; the frames cycle while it lasts
    o.framesOnMove = false;
    o.frameInterval = 40;
    std::vector<PathPoint> path;
    for (int16_t k = 0; k <= 100; ++k) path.push_back({k, 0, 30});
    auto data = encodeSprite(o, path, twoFrames());
    ASSERT_TRUE(data);
    TestCanvas c(110, 6);
    SpriteEngine e;
    uint64_t origin = clock_.nowMs();
    ASSERT_EQ(e.startSprite(*data, 1), SpriteStart::Started);
    auto shownAt = [&] {  // the first column of row 2 the sprite covers
        int x = 0;
        while (x < c.width && c.cardShows(x, 2)) ++x;
        return x;
    };
    // Stepped only every 55 ms, as timer 1 does: point k (due k x 30 ms from `origin`) shows
    // on the first step after it is due, never later, to the end of the path; so does each
    // frame change (every 40 ms) until a five-second stall, after which the sprite goes on
    // from the point after the one it stood on.
    int last = -1;
    bool stalled = false;
    while (e.stepSprites(c)) {
        const uint64_t t = clock_.nowMs() - origin;
        last = shownAt();
        ASSERT_GE(t, uint64_t(last) * 30) << last;
        ASSERT_LT(t, uint64_t(last) * 30 + 55) << last;
        if (!stalled) {
            EXPECT_EQ(c.at(last + 1, 2), (t / 40) % 2 ? 0xFF00FF00u : 0xFFFF0000u) << t;
        }
        if (last >= 50 && !stalled) {
            stalled = true;
            clock_.advance(5000);
            e.stepSprites(c);
            ASSERT_EQ(shownAt(), last + 1);
            origin = clock_.nowMs() - uint64_t(last + 1) * 30;
        }
        clock_.advance(55);
    }
    EXPECT_TRUE(stalled);
    EXPECT_GE(last, 99);  // point 100 may fall due in the step that ends the pass, 30 ms on
    EXPECT_LT(clock_.nowMs() - origin, 101u * 30 + 55);
}
