// Sprites on paths: the path modes, the frame modes, the repeat rule, the timer intervals and
// reading the motion from stored records.
#include "media/sprite_motion.h"

#include <gtest/gtest.h>

#include "core/byte_order.h"

using namespace cv;
using namespace cv::sprite;

namespace {

SpriteMotion onPath(uint16_t mode, uint32_t points, int32_t step = 1) {
    SpriteMotion s;
    s.pathMode = mode;
    for (uint32_t i = 0; i < points; ++i) s.path.push_back({int16_t(i * 10), int16_t(i), 100});
    s.pathEnd = points;
    s.pathStep = step;
    s.pathIndex = step >= 0 ? 0 : points - 1;
    return s;
}

std::vector<int64_t> moves(SpriteMotion& s, int n) {
    std::vector<int64_t> out;
    for (int i = 0; i < n && s.running; ++i) {
        moveSprite(s);
        out.push_back(s.pathIndex);
    }
    return out;
}

} // namespace

TEST(SpriteMotion, ForwardRunsToTheEndAndStartsOverWhileTheRepeatRuleAllows) {
    SpriteMotion once = onPath(kPathForward, 5);
    once.repeatMode = kRepeatOnce;
    EXPECT_EQ(moves(once, 10), (std::vector<int64_t>{1, 2, 3, 4, 4}));
    EXPECT_FALSE(once.running);
    EXPECT_EQ(once.passes, 1u);

    SpriteMotion twice = onPath(kPathForward, 3);
    twice.repeatMode = kRepeatPasses;
    twice.passLimit = 2;
    EXPECT_EQ(moves(twice, 10), (std::vector<int64_t>{1, 2, 0, 1, 2, 2}));
    EXPECT_FALSE(twice.running);
}

TEST(SpriteMotion, BackwardWrapsAtTheFirstPointToTheLast) {
    SpriteMotion s = onPath(kPathBackward, 4, -1);
    EXPECT_EQ(moves(s, 6), (std::vector<int64_t>{2, 1, 3, 2, 1, 3}));
    EXPECT_TRUE(s.running);
    EXPECT_EQ(s.passes, 2u);
}

TEST(SpriteMotion, BackAndForthTurnsAtEachEndWithTheFramesOfTheNewDirection) {
    SpriteMotion s = onPath(kPathBackAndForth, 4);
    s.repeatMode = kRepeatPasses;
    s.passLimit = 1;  // one cycle: there and back
    s.forward = {kFramesForward, 1, 0, 3};
    s.backward = {kFramesForward, 1, 3, 6};
    s.frames = s.forward;
    EXPECT_EQ(moves(s, 3), (std::vector<int64_t>{1, 2, 3}));
    EXPECT_EQ(std::tuple(s.pathStep, s.frames.first, s.frameIndex, s.running), std::tuple(-1, 3u, 3, true));
    EXPECT_EQ(moves(s, 5), (std::vector<int64_t>{2, 1, 0}));
    EXPECT_FALSE(s.running);
    EXPECT_EQ(s.frames.first, 0u);
    // A step past the end stops at the end.
    SpriteMotion far = onPath(kPathBackAndForth, 4, 7);
    EXPECT_EQ(moves(far, 2), (std::vector<int64_t>{3, 0}));
}

TEST(SpriteMotion, CircularWrapsBothWaysUntilTheRunTimerHasFired) {
    SpriteMotion s = onPath(kPathCircular, 3);
    s.repeatMode = kRepeatUntilRunTimer;
    EXPECT_EQ(moves(s, 4), (std::vector<int64_t>{1, 2, 0, 1}));
    s.runTimerFired = true;
    EXPECT_EQ(moves(s, 4), (std::vector<int64_t>{2, 0}));
    EXPECT_FALSE(s.running);
    SpriteMotion back = onPath(kPathCircular, 3, -1);
    EXPECT_EQ(moves(back, 3), (std::vector<int64_t>{1, 0, 2}));
    // Nothing moves without usable points.
    SpriteMotion none = onPath(kPathForward, 0);
    moveSprite(none);
    EXPECT_EQ(none.pathIndex, 0);
}

TEST(SpriteMotion, FramesCycleBackwardAdvanceOrStay) {
    SpriteMotion s;
    s.repeatMode = kRepeatFrameCycles;
    s.frameCycleLimit = 1;
    s.frames = {kFramesForward, 2, 1, 6};  // frames 1 to 5, two at a time
    s.frameIndex = 1;
    std::vector<int64_t> seen;
    for (int i = 0; i < 5; ++i) {
        advanceFrame(s);
        seen.push_back(s.frameIndex);
    }
    // The first cycle ends past frame 5; the rule then allows no more, so frame 5 stays.
    EXPECT_EQ(seen, (std::vector<int64_t>{3, 5, 5, 5, 5}));
    EXPECT_FALSE(repeatAllows(s));

    SpriteMotion b;
    b.frames = {kFramesBackward, 1, 0, 3};
    b.frameIndex = 2;
    seen.clear();
    for (int i = 0; i < 4; ++i) {
        advanceFrame(b);
        seen.push_back(b.frameIndex);
    }
    EXPECT_EQ(seen, (std::vector<int64_t>{1, 0, 2, 1}));

    SpriteMotion a;
    a.frames = {kFramesAdvance, 2, 0, 4};
    advanceFrame(a);
    advanceFrame(a);
    EXPECT_EQ(a.frameIndex, 3);
    a.frames.mode = kFramesKeep;
    a.frameIndex = 1;
    advanceFrame(a);
    EXPECT_EQ(a.frameIndex, 1);
}

TEST(SpriteMotion, TimersAreRearmedWithFixedOrRecordedScaledIntervals) {
    SpriteMotion s = onPath(kPathForward, 2);
    s.fixedInterval = 40;
    EXPECT_EQ(pathInterval(s), 40u);
    s.pathTimerKind = kRecordedTiming;
    s.path[0].time = 250;
    s.speedPercent = 40;
    EXPECT_EQ(pathInterval(s), 100u);
    s.path[0].time = 1;
    s.speedPercent = 50;
    EXPECT_EQ(pathInterval(s), 0u);  // below 1 ms: no timer
    s.frameInterval = 30;
    EXPECT_EQ(frameTimerInterval(s), 30u);
    s.framesOnMove = true;
    EXPECT_EQ(frameTimerInterval(s), 0u);
}

TEST(SpriteMotion, IsReadFromTheSpriteAndItsPathAndDamagedOnesAreRefused) {
    std::vector<uint8_t> d(kSpriteBytes + kPathPoints + 3 * kPathPointBytes, 0);
    uint8_t* p = d.data();
    storeBE32(p, kSpriteType);
    storeBE16(p + 8, kVersion);
    storeBE16(p + 50, kRepeatPasses);
    storeBE16(p + 272, kFramesBackward);
    storeBE32(p + 288, 1);
    storeBE32(p + 308, 0);
    storeBE32(p + 312, 4);
    storeBE16(p + 334, kRecordedTiming);
    storeBE16(p + 360, kPathBackAndForth);
    storeBE32(p + 368, 200);
    storeBE32(p + 376, uint32_t(-1));
    storeBE32(p + 384, 3);
    storeBE32(p + 396, 0);
    storeBE32(p + 400, 3);
    uint8_t* q = p + kSpriteBytes;
    storeBE32(q, kPathType);
    storeBE16(q + 8, kVersion);
    storeBE32(q + kPathCount, 3);
    for (int i = 0; i < 3; ++i) {
        uint8_t* e = q + kPathPoints + i * kPathPointBytes;
        storeBE16(e, uint16_t(-5 + i));
        storeBE16(e + 2, uint16_t(7 * i));
        storeBE32(e + 6, 10u * uint32_t(i + 1));
    }
    auto s = readSpriteMotion(d);
    ASSERT_TRUE(s);
    EXPECT_EQ(s->pathMode, kPathBackAndForth);
    // Running backwards from the last point; frames backwards from the last frame.
    EXPECT_EQ(std::tuple(s->pathStep, s->pathIndex, s->frameIndex, s->passLimit), std::tuple(-1, 2, 3, 3u));
    EXPECT_EQ(std::pair(s->path[0].x, s->path[2].y), std::pair(int16_t(-5), int16_t(14)));
    EXPECT_EQ(pathInterval(*s), 60u);  // 30 ms at 200 %

    auto damaged = d;
    storeBE32(damaged.data() + kSpriteBytes + kPathCount, 4);  // more points than it holds
    EXPECT_FALSE(readSpriteMotion(damaged));
    damaged = d;
    storeBE32(damaged.data() + 400, 4);  // end past the points
    EXPECT_FALSE(readSpriteMotion(damaged));
    damaged = d;
    storeBE16(damaged.data() + 8, 99);
    EXPECT_FALSE(readSpriteMotion(damaged));
    EXPECT_FALSE(readSpriteMotion(std::span<const uint8_t>(d).first(kSpriteBytes + 100)));
}
