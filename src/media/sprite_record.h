#pragma once
// The stored form of a sprite on a path: a 'Sprt' record, its 'Path' record and its 'Film'
// record one after another, then the 'PPak' pictures the film's frame entries point at
// (layout: docs/animation.md). Reading it, decoding its frames for the screen, and making it
// from pictures and points.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "media/sprite_motion.h"
#include "stack/bitmap.h"

namespace cv {

namespace sprite {
constexpr size_t kRecordLength = 4;       // u32 total length of every record
constexpr size_t kRunTimerMode = 52;      // u16: 2 starts the run timer
constexpr size_t kRunTime = 54;           // u32: the run timer's interval in ms
constexpr size_t kPathTiming = 332;       // u16: 2 moves on the path timer, else on every step
constexpr uint16_t kTimed = 2;
constexpr size_t kFilmCount = 106;        // u32 number of frames
constexpr size_t kFilmEntries = 242;
constexpr size_t kFilmEntryBytes = 120;
constexpr size_t kFilmBytes = kFilmEntries + kFilmEntryBytes;  // with its first frame
// Frame entry fields.
constexpr size_t kFramePicture = 0, kFramePictureLength = 4, kFrameMask = 8, kFrameMaskLength = 12;
constexpr size_t kFrameHotX = 16, kFrameHotY = 18;
// More frames than this is a damaged film.
constexpr uint32_t kMaxFrames = 4096;
} // namespace sprite

// Where one frame's pictures lie, from the start of the 'Film' record.
struct SpriteFrameEntry {
    uint32_t picture = 0, pictureLength = 0;
    uint32_t mask = 0, maskLength = 0;  // no mask (length 0): every pixel of the frame shows
    int16_t hotX = 0, hotY = 0;         // the frame's pixel placed on the path point
};

struct SpriteRecords {
    SpriteMotion motion;
    bool pathTimed = false;   // moves on the path timer (else one move per step)
    bool runTimer = false;
    uint32_t runTime = 0;
    std::span<const uint8_t> film;  // the 'Film' record and everything after it
    std::vector<SpriteFrameEntry> frames;
};

// Reads the three records; nullopt when one is damaged, an index lies outside the path or
// the film, or a frame entry points outside the data.
std::optional<SpriteRecords> parseSpriteRecords(std::span<const uint8_t> data);

// A frame ready to draw: 0xFFRRGGBB where it shows, 0 where its mask hides it.
struct SpriteFrame {
    int width = 0, height = 0;
    int hotX = 0, hotY = 0;
    std::vector<uint32_t> pixels;
};

enum class SpriteDecode : uint8_t { Ok, Damaged, TooLarge, NoMemory };

// Decodes every frame (its 'PPak' picture and mask). Pictures wider or higher than the given
// largest size are refused as TooLarge; so is a film whose frames together need more than
// kMaxPictureBytes.
SpriteDecode decodeSpriteFrames(const SpriteRecords& records, int maxWidth, int maxHeight,
                                std::vector<SpriteFrame>* frames);

// What `cvstack build` sets; the rest of the records stays 0.
struct SpriteOptions {
    uint16_t pathMode = sprite::kPathForward;
    uint16_t repeatMode = sprite::kRepeatOnce;
    uint32_t passLimit = 1;
    uint32_t frameCycleLimit = 0;
    int32_t pathStep = 1;
    bool recordedTiming = true;  // each point's time scaled by the speed, else the fixed interval
    uint32_t fixedInterval = 100;
    uint32_t speedPercent = 100;
    uint32_t runTime = 0;        // above 0: the run timer, of that many ms
    bool framesOnMove = true;    // else on the frame timer
    uint32_t frameInterval = 0;
    FrameSettings forward;       // end 0: every frame
    std::optional<FrameSettings> backward;  // back and forth, going back (default: forward)
};

struct SpritePicture {
    Bitmap picture;
    std::optional<Bitmap> mask;  // 1-bit: 0 (black) shows the picture, 1 (white) hides it
    int16_t hotX = 0, hotY = 0;
};

// The stored form of a sprite; nullopt when there are no points or no frames, or a picture
// cannot be encoded.
std::optional<std::vector<uint8_t>> encodeSprite(const SpriteOptions& options, const std::vector<PathPoint>& path,
                                                 const std::vector<SpritePicture>& frames);

} // namespace cv
