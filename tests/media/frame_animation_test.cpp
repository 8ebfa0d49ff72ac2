// Frame animations: the scheduler's timeline on the virtual clock, frame changes of both
// widths, records made from pictures and played back, and damaged records.
#include "media/frame_animation.h"

#include <gtest/gtest.h>

#include <random>

#include "core/byte_order.h"
#include "core/clock.h"
#include "core/handles.h"

using namespace cv;
using namespace cv::frameanim;

namespace {

struct Drawn {
    uint64_t at;
    Bitmap picture;  // native pixel order
    int left, top;
    bool unclipped;
};

struct RecordingCanvas : FrameCanvas {
    void drawFrame(const Bitmap& frame, int left, int top, bool unclipped) override {
        Bitmap copy = frame;
        fixPixelByteOrder(copy);
        drawn.push_back({cv::clock().nowMs(), std::move(copy), left, top, unclipped});
    }
    void invalidate(const AnimRect& r) override { erased.push_back({cv::clock().nowMs(), r}); }
    std::vector<Drawn> drawn;
    std::vector<std::pair<uint64_t, AnimRect>> erased;
};

class FrameAnimationTest : public ::testing::Test {
protected:
    void SetUp() override { setClock(&clock_); }
    void TearDown() override { setClock(nullptr); }

    // Runs passes until nothing remains, sleeping to the next due time (at most `limit` ms).
    void runAll(FrameAnimations& a, RecordingCanvas& c, uint64_t limit = 100000) {
        while (a.StepFrameAnimations(c) && clock_.nowMs() < limit) clock_.sleepUntilMs(*a.nextDueMs());
    }
    Handle handleOf(const std::vector<uint8_t>& bytes) { return NewHandleFrom(bytes.data(), uint32_t(bytes.size())); }

    VirtualClock clock_;
};

Bitmap solid(int w, int h, int depth, uint32_t value) {
    Bitmap b = *MakeDIB(w, h, depth);
    for (uint32_t i = 0; i < b.colours.size(); ++i) b.colours[i] = 0xFF000000u | (i * 0x010101u);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) b.setPixel(x, y, value);
    return b;
}

Bitmap randomLike(const Bitmap& base, unsigned seed, int changes) {
    Bitmap b = base;
    std::mt19937 rng(seed);
    for (int i = 0; i < changes; ++i) {
        uint32_t v = rng();
        if (b.depth <= 8) v &= (1u << b.depth) - 1;
        if (b.depth == 16) v &= 0x7FFF;
        if (b.depth == 32) v |= 0xFF000000u;
        b.setPixel(int(rng() % uint32_t(b.width)), int(rng() % uint32_t(b.height)), v);
    }
    return b;
}

void expectSamePixels(const Bitmap& a, const Bitmap& b) {
    ASSERT_EQ(a.width, b.width);
    ASSERT_EQ(a.height, b.height);
    for (int y = 0; y < a.height; ++y)
        for (int x = 0; x < a.width; ++x) ASSERT_EQ(a.pixel(x, y), b.pixel(x, y)) << x << "," << y;
}

std::vector<uint8_t> threeFrames(uint16_t delay, uint16_t repeats, uint16_t flags) {
    return *encodeFrameAnimation({solid(8, 4, 8, 1), solid(8, 4, 8, 2), solid(8, 4, 8, 3)}, delay, repeats, flags);
}

} // namespace

TEST_F(FrameAnimationTest, ThreeFramesTwoRepeatsOnTheClock) {
    FrameAnimations a;
    RecordingCanvas c;
    clock_.advance(1000);
    const Handle h = handleOf(threeFrames(100, 2, kEraseAtEnd));
    ASSERT_TRUE(a.StartFrameAnimation(h, {10, 20, 18, 24}, 7));
    EXPECT_TRUE(a.IsObjectAnimating(7));
    EXPECT_FALSE(a.IsObjectAnimating(8));
    runAll(a, c);
    const uint64_t times[] = {1000, 1100, 1200, 1300, 1400, 1500};
    const uint32_t frames[] = {1, 2, 3, 1, 2, 3};
    ASSERT_EQ(c.drawn.size(), 6u);
    for (size_t i = 0; i < 6; ++i) {
        EXPECT_EQ(c.drawn[i].at, times[i]) << i;
        EXPECT_EQ(c.drawn[i].picture.pixel(3, 2), frames[i]) << i;
        EXPECT_EQ(std::tuple(c.drawn[i].left, c.drawn[i].top, c.drawn[i].unclipped), std::tuple(10, 20, false));
    }
    // It ends 100 ms after the second drawing of frame 3, erasing its rectangle.
    ASSERT_EQ(c.erased.size(), 1u);
    EXPECT_EQ(std::pair(c.erased[0].first, c.erased[0].second.right), std::pair(uint64_t(1600), 18));
    EXPECT_EQ(a.count(), 0u);
    EXPECT_FALSE(IsHandleValid(h));
}

TEST_F(FrameAnimationTest, WithoutEraseTheLastFrameStaysAndZeroRepeatsPlayOnce) {
    FrameAnimations a;
    RecordingCanvas c;
    ASSERT_TRUE(a.StartFrameAnimation(handleOf(threeFrames(50, 0, kUnclipped)), {0, 0, 8, 4}, 1));
    runAll(a, c);
    ASSERT_EQ(c.drawn.size(), 3u);
    EXPECT_TRUE(c.drawn[0].unclipped);
    EXPECT_TRUE(c.erased.empty());
    EXPECT_EQ(clock_.nowMs(), 150u);
}

TEST_F(FrameAnimationTest, EndingStopsDrawingWithinOneDelayAndEndOthersEndsTheObjectsOwn) {
    FrameAnimations a;
    RecordingCanvas c;
    ASSERT_TRUE(a.StartFrameAnimation(handleOf(threeFrames(100, 5, 0)), {0, 0, 8, 4}, 3));
    ASSERT_TRUE(a.StartFrameAnimation(handleOf(threeFrames(100, 5, 0)), {0, 0, 8, 4}, 4));
    a.StepFrameAnimations(c);
    EXPECT_EQ(c.drawn.size(), 2u);
    // A new animation of object 3 that ends the others: only object 3's first one ends.
    clock_.advance(100);
    ASSERT_TRUE(a.StartFrameAnimation(handleOf(threeFrames(100, 1, kEndOthers)), {0, 0, 8, 4}, 3));
    EXPECT_TRUE(a.IsObjectAnimating(3));  // the new one
    a.EndFrameAnimations(4);
    EXPECT_FALSE(a.IsObjectAnimating(4));
    a.StepFrameAnimations(c);
    EXPECT_EQ(c.drawn.size(), 3u);        // only the new one drew
    clock_.advance(100);
    a.StepFrameAnimations(c);
    EXPECT_EQ(a.count(), 1u);             // the two told to end are gone after one delay
    a.ClearFrameAnimations();
    EXPECT_EQ(a.count(), 0u);
    EXPECT_FALSE(a.IsObjectAnimating(3));
}

TEST_F(FrameAnimationTest, RecordsNotOwnedAreKeptAndUnusableOnesRefused) {
    FrameAnimations a;
    a.setLargest(8, 4);
    RecordingCanvas c;
    const Handle kept = handleOf(threeFrames(10, 1, kNotOwned));
    ASSERT_TRUE(a.StartFrameAnimation(kept, {0, 0, 8, 4}, 1));
    runAll(a, c);
    EXPECT_TRUE(IsHandleValid(kept));
    DisposeHandle(kept);
    // Larger than the card, no size, a depth that is no picture depth: refused, record freed.
    auto big = threeFrames(10, 1, 0);
    storeBE16(big.data() + kWidth, 9);
    auto none = threeFrames(10, 1, 0);
    storeBE16(none.data() + kHeight, 0);
    auto odd = threeFrames(10, 1, 0);
    storeBE16(odd.data() + kDepth, 3);
    for (const auto* r : {&big, &none, &odd}) {
        const Handle h = handleOf(*r);
        EXPECT_FALSE(a.StartFrameAnimation(h, {0, 0, 8, 4}, 1));
        EXPECT_FALSE(IsHandleValid(h));
    }
    EXPECT_FALSE(a.StartFrameAnimation(handleOf({1, 2, 3}), {0, 0, 8, 4}, 1));
    EXPECT_EQ(a.count(), 0u);
}

TEST_F(FrameAnimationTest, DamagedFrameChainsEndTheAnimationWithoutDrawingMore) {
    FrameAnimations a;
    RecordingCanvas c;
    // Frame 2's length runs past the data: frame 1 shows, then the animation ends.
    auto r = threeFrames(100, 3, 0);
    const size_t second = kRecordBytes + get32(r.data() + kRecordBytes + kFrameLength);
    put32(r.data() + second + kFrameLength, 0x7FFFFFF0);
    ASSERT_TRUE(a.StartFrameAnimation(handleOf(r), {0, 0, 8, 4}, 1));
    runAll(a, c);
    EXPECT_EQ(c.drawn.size(), 1u);
    EXPECT_LE(clock_.nowMs(), 200u);

    // 65,535 frames of 0 ms with one frame present: it ends at once, without the clock moving.
    c.drawn.clear();
    auto many = threeFrames(0, 0xFFFF, 0);
    put16(many.data() + kFrames, 0xFFFF);
    put32(many.data() + kRecordBytes + kFrameLength, 3);  // frame 1 too short for its header
    const uint64_t start = clock_.nowMs();
    ASSERT_TRUE(a.StartFrameAnimation(handleOf(many), {0, 0, 8, 4}, 1));
    int passes = 0;
    while (a.StepFrameAnimations(c) && passes < 10) ++passes;
    EXPECT_LT(passes, 10);
    EXPECT_TRUE(c.drawn.empty());
    EXPECT_EQ(clock_.nowMs(), start);
}

TEST_F(FrameAnimationTest, FramesHeldInTheObjectsActionAndRestartingTheSameDescription) {
    FrameAnimations a;
    RecordingCanvas c;
    auto desc = threeFrames(100, 1, kFramesInObject);
    // The object's action: a 32-byte header, then the description (its frames at 50).
    std::vector<uint8_t> action(32, 0);
    put16(action.data(), 56);
    action.insert(action.end(), desc.begin(), desc.end());
    put32(action.data() + 12, uint32_t(action.size()));
    a.setStoredAction([&](uint16_t object) {
        return object == 9 ? std::span<const uint8_t>(action) : std::span<const uint8_t>();
    });
    // The record itself holds only its fixed part.
    std::vector<uint8_t> head(desc.begin(), desc.begin() + kRecordBytes);
    ASSERT_TRUE(a.StartFrameAnimation(handleOf(head), {0, 0, 8, 4}, 9));
    a.StepFrameAnimations(c);
    clock_.advance(100);
    a.StepFrameAnimations(c);
    ASSERT_EQ(c.drawn.size(), 2u);
    EXPECT_EQ(c.drawn[1].picture.pixel(0, 0), 2u);
    // The same description again: it starts over from frame 1.
    EXPECT_TRUE(a.restartSame(head, 9));
    EXPECT_FALSE(a.restartSame(desc, 9));
    a.StepFrameAnimations(c);
    EXPECT_EQ(c.drawn.back().picture.pixel(0, 0), 1u);
    // Another object has no such action: nothing is drawn and it ends.
    ASSERT_TRUE(a.StartFrameAnimation(handleOf(head), {0, 0, 8, 4}, 10));
    const size_t before = c.drawn.size();
    clock_.advance(1000);
    runAll(a, c, clock_.nowMs() + 5000);
    EXPECT_EQ(a.count(), 0u);
    EXPECT_EQ(c.drawn.size(), before + 2);  // object 9's frames 2 and 3 only
}

TEST(FrameChanges, SixteenBitEscapeAndRowConversion) {
    // 8-bit, 300 wide: stored rows of 304 bytes, bitmap rows of 300.
    Bitmap b = *MakeDIB(300, 200, 8);
    const std::vector<uint8_t> body = {
        0x80, 0x01, 0x00, 0x00,   // escape: the base moves to 32768 and nothing changes
        0x00, 0x02, 0xAB, 0xCD,   // stored offset 32770: row 107, column 242
    };
    EXPECT_EQ(applyFrameChanges(b, body, true), 2u);
    EXPECT_EQ(std::pair(b.bits[107 * 300 + 242], b.bits[107 * 300 + 243]), std::pair(uint8_t(0xAB), uint8_t(0xCD)));
    EXPECT_EQ(std::count(b.bits.begin(), b.bits.end(), 0), ptrdiff_t(b.bits.size() - 2));
    // Without the escape the same entry lands on row 0; a stored row's padding is dropped;
    // entries past the picture are dropped.
    Bitmap c = *MakeDIB(100, 2, 8);  // stored rows of 112
    const std::vector<uint8_t> more = {
        0x00, 0x02, 0x11, 0x22,   // row 0, column 2
        0x00, 0x6E, 0x33, 0x44,   // columns 110-111: padding
        0x00, 0x70, 0x55, 0x66,   // stored 112: row 1, column 0
        0x00, 0x63, 0x77, 0x88,   // column 99 kept, 100 is padding
        0x7F, 0xFE, 0x99, 0x99,   // far past the picture
    };
    EXPECT_EQ(applyFrameChanges(c, more, true), 5u);
    EXPECT_EQ(std::vector<uint8_t>(c.bits.begin() + 2, c.bits.begin() + 4), (std::vector<uint8_t>{0x11, 0x22}));
    EXPECT_EQ(std::vector<uint8_t>(c.bits.begin() + 99, c.bits.begin() + 102), (std::vector<uint8_t>{0x77, 0x55, 0x66}));
}

TEST(FrameChanges, ThirtyTwoBitEntriesWriteBitmapOffsetsWithinTheBitmap) {
    Bitmap b = *MakeDIB(10, 2, 8);  // 12-byte rows: no conversion
    const std::vector<uint8_t> body = {
        0, 0, 0, 12, 1, 2, 3, 4,            // row 1, column 0
        0, 0, 0, 22, 9, 9, 9, 9,            // would end past the 24 bytes
        0xFF, 0xFF, 0xFF, 0xFE, 9, 9, 9, 9, // far past
        0, 0, 0, 20, 5, 6, 7, 8,            // the last 4 bytes
        0, 0, 0,                            // a short tail is ignored
    };
    EXPECT_EQ(applyFrameChanges(b, body, false), 8u);
    EXPECT_EQ(std::vector<uint8_t>(b.bits.begin() + 12, b.bits.end()), (std::vector<uint8_t>{1, 2, 3, 4, 0, 0, 0, 0, 5, 6, 7, 8}));
}

TEST_F(FrameAnimationTest, PicturesPlayBackThroughBothKindsOfChanges) {
    // Sizes that need row conversion (not a multiple of 16) and escapes (stored pictures
    // larger than 32 KB), at each depth with whole-byte pixels.
    struct Case {
        int w, h, depth;
        uint16_t flags;
    };
    for (const Case k : {Case{210, 200, 8, kDeltas16}, Case{210, 200, 8, 0}, Case{37, 5, 16, kDeltas16},
                         Case{37, 5, 16, 0}, Case{130, 70, 32, kDeltas16}, Case{13, 3, 32, 0},
                         Case{21, 3, 4, kDeltas16}}) {
        SCOPED_TRACE(std::to_string(k.w) + "x" + std::to_string(k.h) + "x" + std::to_string(k.depth) +
                     (k.flags ? " 16" : " 32"));
        Bitmap first = solid(k.w, k.h, k.depth, k.depth == 32 ? 0xFF102030u : 5);
        first = randomLike(first, 1, 50);
        const Bitmap second = randomLike(first, 2, 300);
        const Bitmap third = randomLike(second, 3, 300);
        auto rec = encodeFrameAnimation({first, second, third}, 20, 1, k.flags);
        ASSERT_TRUE(rec);
        FrameAnimations a;
        RecordingCanvas c;
        ASSERT_TRUE(a.StartFrameAnimation(handleOf(*rec), {0, 0, k.w, k.h}, 1));
        runAll(a, c);
        ASSERT_EQ(c.drawn.size(), 3u);
        expectSamePixels(c.drawn[0].picture, first);
        expectSamePixels(c.drawn[1].picture, second);
        expectSamePixels(c.drawn[2].picture, third);
    }
}
