#pragma once
// The sprite engine: sprites moving along their paths over the card, each step drawn into the
// card's screen pixels. What was under a sprite is kept and put back before it moves, so the
// card shows no trails; each step tells the screen once which part changed.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <vector>

#include "media/frame_animation.h"
#include "media/sprite_record.h"

namespace cv {

// The card's screen: 0xFFRRGGBB pixels, top row first.
struct SpriteSurface {
    uint32_t* pixels = nullptr;
    int width = 0, height = 0;
    size_t stride = 0;  // pixels per row
};

class SpriteCanvas {
public:
    virtual ~SpriteCanvas() = default;
    virtual SpriteSurface surface() = 0;
    // The screen changed inside `rect`.
    virtual void present(const AnimRect& rect) = 0;
};

enum class SpriteStart : uint8_t { Started, Refused, NoMemory };

class SpriteEngine {
public:
    // Sprites whose frames are larger than this are refused (the card's size).
    void setLargest(int width, int height) {
        maxWidth_ = width;
        maxHeight_ = height;
    }

    // Starts the sprite of `data` ('Sprt', 'Path', 'Film' and pictures) for `object`, at its
    // first point, drawn on the next step; a sprite the object already has is replaced.
    SpriteStart startSprite(std::span<const uint8_t> data, uint16_t object);
    // One step: fires the sprites' timers that fell due since the last step, each in turn and
    // re-armed from when it was due, so a late step skips the points it missed instead of
    // slowing the sprite; takes away those that ended and draws the others where they are
    // now. Whether any sprite remains.
    bool stepSprites(SpriteCanvas& canvas);
    // Whether the object's sprite still runs.
    bool isSpriteRunning(uint16_t object) const;
    // Ends every sprite; with a canvas, the card is shown again where they were.
    void stopSprites(SpriteCanvas* canvas);

    // The earliest clock time a sprite wants a step; nullopt when none runs.
    std::optional<uint64_t> nextDueMs() const;
    size_t count() const { return sprites_.size(); }

private:
    struct Placed {
        AnimRect rect;                // on the surface, clipped to it
        std::vector<uint32_t> under;  // the screen's pixels under `rect` before the sprite
    };
    struct Sprite {
        uint16_t object = 0;
        SpriteMotion motion;
        bool pathTimed = false;
        std::vector<SpriteFrame> frames;
        std::optional<uint64_t> pathDue, frameDue, runDue;
        std::optional<Placed> placed;
        bool ended = false;
    };

    // Advances one sprite's timers; whether its place or frame changed.
    bool advance(Sprite& s, uint64_t now);
    // Puts back what was under every placed sprite, newest first; the rectangles grow `damage`.
    void eraseAll(const SpriteSurface& surface, AnimRect& damage);
    void place(Sprite& s, const SpriteSurface& surface, AnimRect& damage);

    std::vector<Sprite> sprites_;
    bool redraw_ = false;  // a sprite started or was replaced since the last step
    int maxWidth_ = 0x7FFF;
    int maxHeight_ = 0x7FFF;
};

} // namespace cv
