#pragma once
// Frame animations: a sequence of pictures shown one after another in a fixed rectangle of
// the card, stepped by the player's idle work and by the wait for a button's media, against
// the clock in milliseconds.
//
// The animation record (the payload of an animation action, in its in-memory form): u16
// width at 0, height at 2, delay in ms at 4, repeats at 6, pixel depth at 10 and flags at 12,
// all big-endian (the loader leaves them as stored); the frame count at 8 in native order
// (converted on load); from 18 the chain of frames, unless flag 0x0100 puts it in the
// object's stored animation action, 50 bytes into it. Each frame has a 16-byte header whose
// native u32 at 8 is the frame's length, header included. Frame 1's body is a card picture
// record (its header big-endian, as stored); later frames list changes to the picture before
// them: 16-bit entries (flag 0x0004: u16 offset into the stored rows, 0x8001 adding 32768 to
// the base, and two bytes) or 32-bit entries (u32 offset into the bitmap rows and four bytes).
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <vector>

#include "core/handles.h"
#include "stack/bitmap.h"

namespace cv {

namespace frameanim {
constexpr size_t kWidth = 0;
constexpr size_t kHeight = 2;
constexpr size_t kDelay = 4;
constexpr size_t kRepeats = 6;
constexpr size_t kFrames = 8;
constexpr size_t kDepth = 10;
constexpr size_t kFlags = 12;
constexpr size_t kRecordBytes = 18;          // the fields before the frame data
constexpr size_t kFrameHeaderBytes = 16;
constexpr size_t kFrameLength = 8;           // in a frame header
constexpr size_t kFramesInAction = 50;       // frame data in the object's animation action

constexpr uint16_t kEraseAtEnd = 0x0001;
constexpr uint16_t kShowFirstFrame = 0x0002;  // the first frame is on the card when it is shown
constexpr uint16_t kDeltas16 = 0x0004;
constexpr uint16_t kEndOthers = 0x0010;
constexpr uint16_t kEnding = 0x0020;         // set on a running animation told to end
constexpr uint16_t kUnclipped = 0x0040;
constexpr uint16_t kNotOwned = 0x0080;
constexpr uint16_t kFramesInObject = 0x0100;

// The escape entry of 16-bit changes.
constexpr uint16_t kBaseEscape = 0x8001;
constexpr uint32_t kBaseStep = 32768;
} // namespace frameanim

// The fields of an animation record, read; nullopt when it is shorter than its fixed part.
struct FrameAnimRecord {
    uint16_t width = 0;
    uint16_t height = 0;
    uint16_t delay = 0;
    uint16_t repeats = 0;
    uint16_t frames = 0;
    uint16_t depth = 0;
    uint16_t flags = 0;
};
std::optional<FrameAnimRecord> readFrameAnimRecord(std::span<const uint8_t> record);
// Sets the flags field of a record (big-endian, as the record holds it).
void setFrameAnimFlags(std::span<uint8_t> record, uint16_t flags);

// Rectangle on the card window.
struct AnimRect {
    int32_t left = 0, top = 0, right = 0, bottom = 0;
};

// Applies the changes of a later frame (its body, without the frame header) to `work`, a
// bitmap whose 16- and 32-bit pixels are held in stored (big-endian) byte order. Entries that
// would write outside the bitmap are skipped, as are 16-bit entries falling on the padding of
// a stored row. Answers how many bytes were written.
size_t applyFrameChanges(Bitmap& work, std::span<const uint8_t> body, bool sixteenBit);

// Decodes frame 1's body (a card picture record as stored) into `work` (same size and depth);
// false when it does not hold a picture of that size.
bool decodeFirstFrame(Bitmap& work, std::span<const uint8_t> body);

// An animation record made from pictures of one size and depth (frame 1 whole, the others as
// changes), in the in-memory form an animation action holds. `flags` chooses 16-bit changes
// (0x0004) or 32-bit ones. nullopt when there are no pictures, they differ in size or depth,
// or frame 1 cannot be encoded.
std::optional<std::vector<uint8_t>> encodeFrameAnimation(const std::vector<Bitmap>& pictures, uint16_t delay,
                                                         uint16_t repeats, uint16_t flags);

// Where frames are drawn: the card window.
class FrameCanvas {
public:
    virtual ~FrameCanvas() = default;
    // Copies `frame` (16- and 32-bit pixels in stored byte order) to the card with its top-left
    // corner at (left, top): inside the card's clipping region, or anywhere on the card when
    // `unclipped`.
    virtual void drawFrame(const Bitmap& frame, int left, int top, bool unclipped) = 0;
    // The card is to be drawn again under `rect`.
    virtual void invalidate(const AnimRect& rect) = 0;
};

// The running frame animations of the player, newest last.
class FrameAnimations {
public:
    // The object's stored animation action (code 56, header included), for records whose
    // frames stay there; empty when the object has none now.
    using StoredAction = std::function<std::span<const uint8_t>(uint16_t object)>;

    FrameAnimations() = default;
    ~FrameAnimations();
    FrameAnimations(const FrameAnimations&) = delete;
    FrameAnimations& operator=(const FrameAnimations&) = delete;

    void setStoredAction(StoredAction source) { storedAction_ = std::move(source); }
    // Pictures larger than this are refused (the card's size).
    void setLargest(int width, int height) {
        maxWidth_ = width;
        maxHeight_ = height;
    }

    // Starts the animation of `record` (taken over: freed at the end unless flag 0x0080) in
    // `rect` for `object`. With flag 0x0010 the object's other animations end first. False,
    // with the record freed, when its work bitmap cannot be made or its fields are unusable.
    bool StartFrameAnimation(Handle record, const AnimRect& rect, uint16_t object);
    // One scheduler pass; whether any animation remains.
    bool StepFrameAnimations(FrameCanvas& canvas);
    // Marks the object's animations (all for object 0) to end within one more delay, without
    // drawing again.
    void EndFrameAnimations(uint16_t object);
    // Frees every running animation at once.
    void ClearFrameAnimations();
    // Whether an animation of the object runs and has not been told to end.
    bool IsObjectAnimating(uint16_t object) const;

    // A running animation whose record holds the same bytes as `record` starts over from its
    // first frame for `object`; false when there is none.
    bool restartSame(std::span<const uint8_t> record, uint16_t object);
    // The earliest time (clock ms) a running animation wants its next pass; nullopt when none runs.
    std::optional<uint64_t> nextDueMs() const;
    size_t count() const { return nodes_.size(); }

private:
    struct Node {
        Handle record = 0;
        AnimRect rect;
        uint16_t flags = 0;
        uint16_t object = 0;
        uint32_t repeat = 1;
        uint32_t frame = 1;
        uint64_t due = 0;
        Bitmap picture;
        // Where the last drawn frame lies in the frame data, so the next one is found
        // without walking the chain from the start.
        uint32_t lastFrame = 0;
        size_t lastOffset = 0;
    };

    std::span<const uint8_t> frameData(const Node& n) const;
    // Draws frame `n.frame`; false when the frame is missing or damaged.
    bool drawFrame(Node& n, FrameCanvas& canvas);
    void freeNode(Node& n);

    std::vector<Node> nodes_;
    StoredAction storedAction_;
    int maxWidth_ = 0x7FFF;
    int maxHeight_ = 0x7FFF;
};

} // namespace cv
