#pragma once
// How a sprite moves along its path and steps through its frames: the path modes, the frame
// modes, the repeat rule and the timer intervals, over the sprite's running state. Reading the
// state from a 'Sprt' record and its 'Path' record is here too (layout: docs/animation.md).
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace cv {

namespace sprite {
constexpr uint32_t kSpriteType = 0x53707274; // 'Sprt'
constexpr uint32_t kPathType = 0x50617468;   // 'Path'
constexpr uint32_t kFilmType = 0x46696C6D;   // 'Film'
constexpr uint16_t kVersion = 100;
constexpr size_t kSpriteBytes = 600;
constexpr size_t kPathBytes = 138;           // with its first point
constexpr size_t kPathPointBytes = 28;
constexpr size_t kPathCount = 106;
constexpr size_t kPathPoints = 110;

constexpr uint16_t kPathForward = 1, kPathBackward = 2, kPathBackAndForth = 3, kPathCircular = 4;
constexpr uint16_t kFramesForward = 1, kFramesBackward = 2, kFramesAdvance = 3, kFramesKeep = 4;
constexpr uint16_t kRepeatAlways = 0, kRepeatUntilRunTimer = 2, kRepeatFrameCycles = 4, kRepeatPasses = 5,
                   kRepeatOnce = 6;
constexpr uint16_t kRecordedTiming = 1;
} // namespace sprite

struct PathPoint {
    int16_t x = 0, y = 0;
    uint32_t time = 0;  // recorded milliseconds
};

// Frame settings of one direction of travel.
struct FrameSettings {
    uint16_t mode = sprite::kFramesForward;
    int32_t step = 1;
    uint32_t first = 0;
    uint32_t end = 0;  // one past the last frame used
};

struct SpriteMotion {
    uint16_t repeatMode = sprite::kRepeatAlways;
    bool runTimerFired = false;

    uint16_t pathMode = sprite::kPathForward;
    std::vector<PathPoint> path;
    int64_t pathIndex = 0;
    int32_t pathStep = 1;
    uint32_t firstPath = 0;
    uint32_t pathEnd = 0;    // one past the last usable point
    uint32_t passes = 0;
    uint32_t passLimit = 0;

    FrameSettings frames;            // in use
    FrameSettings forward, backward; // back and forth: the settings of each direction
    int64_t frameIndex = 0;
    uint32_t frameCycles = 0;
    uint32_t frameCycleLimit = 0;

    bool framesOnMove = false;       // a new frame on every move, rather than on the frame timer
    uint16_t pathTimerKind = 0;      // 1: recorded times scaled by the speed; else fixed
    uint32_t fixedInterval = 0;
    uint32_t speedPercent = 100;
    uint32_t frameInterval = 0;

    bool running = true;
};

// Whether the repeat rule lets the sprite go on.
bool repeatAllows(const SpriteMotion& s);

// One move along the path by the path mode; the sprite's point is then path[pathIndex]. A
// refused pass leaves `running` false. Does nothing on a sprite that has stopped or has no
// usable points.
void moveSprite(SpriteMotion& s);

// One frame step by the frame mode.
void advanceFrame(SpriteMotion& s);

// The path timer's next interval in ms after a move (0: no timer is armed).
uint32_t pathInterval(const SpriteMotion& s);
// The frame timer's next interval in ms (0: no timer is armed).
uint32_t frameTimerInterval(const SpriteMotion& s);

// The motion of a 'Sprt' record followed by its 'Path' record (both as stored, big-endian);
// nullopt when either is damaged or the indexes do not fit the path.
std::optional<SpriteMotion> readSpriteMotion(std::span<const uint8_t> data);

} // namespace cv
