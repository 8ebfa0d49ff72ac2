#include "media/sprite_motion.h"

#include <algorithm>
#include <cstdlib>

#include "core/byte_order.h"

namespace cv {

using namespace sprite;

namespace {

// The sprite's index back inside its usable points, whatever a step did.
void keepInside(SpriteMotion& s) {
    s.pathIndex = std::clamp<int64_t>(s.pathIndex, s.firstPath, int64_t(s.pathEnd) - 1);
}

void countPass(SpriteMotion& s) {
    if (s.passes < UINT32_MAX) ++s.passes;
}

} // namespace

bool repeatAllows(const SpriteMotion& s) {
    switch (s.repeatMode) {
    case kRepeatAlways: return true;
    case kRepeatUntilRunTimer: return !s.runTimerFired;
    case kRepeatFrameCycles: return s.frameCycles < s.frameCycleLimit;
    case kRepeatPasses: {
        // Back and forth, one cycle is two passes.
        const uint32_t passes = s.pathMode == kPathBackAndForth ? s.passes / 2 : s.passes;
        return passes < s.passLimit;
    }
    case kRepeatOnce:
    default: return false;
    }
}

void moveSprite(SpriteMotion& s) {
    if (!s.running || s.firstPath >= s.pathEnd || s.pathEnd > s.path.size()) return;
    const int64_t first = s.firstPath, last = int64_t(s.pathEnd) - 1;
    const int64_t before = s.pathIndex;
    s.pathIndex += s.pathStep;
    switch (s.pathMode) {
    case kPathForward:
        if (s.pathIndex > last) {
            countPass(s);
            if (repeatAllows(s)) s.pathIndex = first;
            else {
                s.pathIndex = before;
                s.running = false;
            }
        }
        break;
    case kPathBackward:
        if (s.pathIndex <= first) {
            countPass(s);
            if (repeatAllows(s)) s.pathIndex = last;
            else {
                s.pathIndex = before;
                s.running = false;
            }
        }
        break;
    case kPathBackAndForth:
        if (s.pathIndex >= last || s.pathIndex <= first) {
            s.pathIndex = s.pathIndex >= last ? last : first;
            countPass(s);
            s.pathStep = -s.pathStep;
            s.frames = s.pathStep >= 0 ? s.forward : s.backward;
            s.frameIndex = std::clamp<int64_t>(s.frameIndex, s.frames.first,
                                               std::max<int64_t>(s.frames.first, int64_t(s.frames.end) - 1));
            if (!repeatAllows(s)) s.running = false;
        }
        break;
    case kPathCircular:
        if (s.pathIndex > last || s.pathIndex < first) {
            s.pathIndex = s.pathIndex > last ? first : last;
            countPass(s);
            if (!repeatAllows(s)) s.running = false;
        }
        break;
    default: s.running = false; break;
    }
    keepInside(s);
}

void advanceFrame(SpriteMotion& s) {
    const FrameSettings& f = s.frames;
    if (f.first >= f.end) return;
    const int64_t first = f.first, last = int64_t(f.end) - 1;
    const int64_t step = std::llabs(int64_t(f.step));
    switch (f.mode) {
    case kFramesForward:
        s.frameIndex += step;
        if (s.frameIndex > last) {
            if (s.frameCycles < UINT32_MAX) ++s.frameCycles;
            s.frameIndex = repeatAllows(s) ? first : last;
        }
        break;
    case kFramesBackward:
        s.frameIndex -= step;
        if (s.frameIndex < first) {
            if (s.frameCycles < UINT32_MAX) ++s.frameCycles;
            s.frameIndex = repeatAllows(s) ? last : first;
        }
        break;
    case kFramesAdvance: s.frameIndex = std::min(s.frameIndex + step, last); break;
    default: break;
    }
    s.frameIndex = std::clamp(s.frameIndex, first, last);
}

uint32_t pathInterval(const SpriteMotion& s) {
    if (s.pathTimerKind != kRecordedTiming) return s.fixedInterval;
    if (s.pathIndex < 0 || size_t(s.pathIndex) >= s.path.size()) return 0;
    return uint32_t(uint64_t(s.path[size_t(s.pathIndex)].time) * s.speedPercent / 100);
}

uint32_t frameTimerInterval(const SpriteMotion& s) { return s.framesOnMove ? 0 : s.frameInterval; }

std::optional<SpriteMotion> readSpriteMotion(std::span<const uint8_t> data) {
    if (data.size() < kSpriteBytes + kPathBytes) return std::nullopt;
    const uint8_t* p = data.data();
    if (loadBE32(p) != kSpriteType || loadBE16(p + 8) != kVersion) return std::nullopt;
    SpriteMotion s;
    s.repeatMode = loadBE16(p + 50);
    s.framesOnMove = loadBE16(p + 244) == 1;
    s.forward.mode = loadBE16(p + 272);
    s.frameInterval = loadBE32(p + 276);
    s.forward.step = int32_t(loadBE32(p + 288));
    s.frameCycleLimit = loadBE32(p + 296);
    s.forward.first = loadBE32(p + 308);
    s.forward.end = loadBE32(p + 312);
    // The frame settings going back, in back-and-forth mode.
    s.backward.mode = loadBE16(p + 274);
    s.backward.step = int32_t(loadBE32(p + 316));
    s.backward.first = loadBE32(p + 320);
    s.backward.end = loadBE32(p + 324);
    s.pathTimerKind = loadBE16(p + 334);
    s.fixedInterval = loadBE32(p + 336);
    s.pathMode = loadBE16(p + 360);
    s.speedPercent = loadBE32(p + 368);
    s.pathStep = int32_t(loadBE32(p + 376));
    s.passLimit = loadBE32(p + 384);
    s.firstPath = loadBE32(p + 396);
    s.pathEnd = loadBE32(p + 400);
    s.frames = s.forward;

    const std::span<const uint8_t> path = data.subspan(kSpriteBytes);
    const uint8_t* q = path.data();
    if (loadBE32(q) != kPathType || loadBE16(q + 8) != kVersion) return std::nullopt;
    const uint32_t count = loadBE32(q + kPathCount);
    if (count == 0 || count > (path.size() - kPathPoints) / kPathPointBytes) return std::nullopt;
    if (s.firstPath >= s.pathEnd || s.pathEnd > count) return std::nullopt;
    s.path.resize(count);
    for (uint32_t i = 0; i < count; ++i) {
        const uint8_t* e = q + kPathPoints + size_t(i) * kPathPointBytes;
        s.path[i] = {int16_t(loadBE16(e)), int16_t(loadBE16(e + 2)), loadBE32(e + 6)};
    }
    s.pathIndex = s.pathStep >= 0 ? s.firstPath : int64_t(s.pathEnd) - 1;
    s.frameIndex = s.frames.mode == kFramesBackward && s.frames.end > s.frames.first ? int64_t(s.frames.end) - 1
                                                                                      : s.frames.first;
    return s;
}

} // namespace cv
