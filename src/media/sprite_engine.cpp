#include "media/sprite_engine.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "core/clock.h"

namespace cv {

namespace {

bool isEmpty(const AnimRect& r) { return r.right <= r.left || r.bottom <= r.top; }

void grow(AnimRect& into, const AnimRect& r) {
    if (isEmpty(r)) return;
    if (isEmpty(into)) {
        into = r;
        return;
    }
    into.left = std::min(into.left, r.left);
    into.top = std::min(into.top, r.top);
    into.right = std::max(into.right, r.right);
    into.bottom = std::max(into.bottom, r.bottom);
}

// A timer due `interval` ms from now. A timer of no interval is due on the next millisecond,
// so that a sprite whose times are 0 still moves, once per step, and the clock goes on.
uint64_t dueAfter(uint64_t now, uint32_t interval) { return now + std::max<uint32_t>(interval, 1); }

// A timer that fired is re-armed from when it was due, not from when the step came, so late
// steps do not add up over a path. One of no interval stays one move per step.
uint64_t dueNext(uint64_t due, uint64_t now, uint32_t interval) {
    return interval >= 1 ? due + interval : now + 1;
}

// A timer held up longer than this (a dialog, a long script) fires once and goes on from
// the present: the sprite resumes where it stood rather than leaping along its path.
constexpr uint64_t kCatchUpMs = 1000;

} // namespace

SpriteStart SpriteEngine::startSprite(std::span<const uint8_t> data, uint16_t object) {
    auto records = parseSpriteRecords(data);
    if (!records) return SpriteStart::Refused;
    Sprite s;
    switch (decodeSpriteFrames(*records, maxWidth_, maxHeight_, &s.frames)) {
    case SpriteDecode::Ok: break;
    case SpriteDecode::NoMemory: return SpriteStart::NoMemory;
    default: return SpriteStart::Refused;
    }
    const uint64_t now = clock().nowMs();
    s.object = object;
    s.motion = std::move(records->motion);
    s.pathTimed = records->pathTimed;
    s.pathDue = s.pathTimed ? dueAfter(now, pathInterval(s.motion)) : now + 1;
    if (const uint32_t frameInterval = frameTimerInterval(s.motion); frameInterval >= 1 && !s.motion.framesOnMove)
        s.frameDue = now + frameInterval;
    if (records->runTimer) s.runDue = now + records->runTime;
    try {
        for (Sprite& other : sprites_)
            if (other.object == object) other.ended = true;
        sprites_.push_back(std::move(s));
    } catch (const std::bad_alloc&) {
        return SpriteStart::NoMemory;
    }
    redraw_ = true;
    return SpriteStart::Started;
}

bool SpriteEngine::advance(Sprite& s, uint64_t now) {
    SpriteMotion& m = s.motion;
    bool changed = false;
    // The timers that fell due since the last step fire in the order they fell due (the run
    // timer, then the path, then the frame timer on a tie), so a late step finds the sprite
    // where it would have been and draws it there once: missed points are skipped, not shown.
    auto held = [now](std::optional<uint64_t>& due) {
        if (due && *due < now && now - *due > kCatchUpMs) due = now;
    };
    held(s.pathDue);
    if (!m.framesOnMove) held(s.frameDue);
    while (true) {
        const bool pathFires = s.pathDue && *s.pathDue <= now;
        const bool frameFires = !m.framesOnMove && s.frameDue && *s.frameDue <= now;
        if (s.runDue && *s.runDue <= now && (!pathFires || *s.runDue <= *s.pathDue) &&
            (!frameFires || *s.runDue <= *s.frameDue)) {
            m.runTimerFired = true;
            s.runDue.reset();
        } else if (pathFires && (!frameFires || *s.pathDue <= *s.frameDue)) {
            moveSprite(m);
            changed = true;
            if (!m.running) {
                s.ended = true;
                return true;
            }
            if (m.framesOnMove) advanceFrame(m);
            s.pathDue = s.pathTimed ? dueNext(*s.pathDue, now, pathInterval(m)) : now + 1;
        } else if (frameFires) {
            advanceFrame(m);
            changed = true;
            const uint32_t interval = frameTimerInterval(m);
            if (interval >= 1) s.frameDue = *s.frameDue + interval;
            else s.frameDue.reset();
        } else {
            return changed;
        }
    }
}

void SpriteEngine::eraseAll(const SpriteSurface& surface, AnimRect& damage) {
    for (auto it = sprites_.rbegin(); it != sprites_.rend(); ++it) {
        if (!it->placed) continue;
        const Placed& p = *it->placed;
        const int width = p.rect.right - p.rect.left;
        // The screen may have become smaller since (another stack): only what is still on it.
        const int right = std::min(p.rect.right, surface.width), bottom = std::min(p.rect.bottom, surface.height);
        if (surface.pixels && right > p.rect.left)
            for (int y = p.rect.top; y < bottom; ++y)
                std::memcpy(surface.pixels + size_t(y) * surface.stride + size_t(p.rect.left),
                            p.under.data() + size_t(y - p.rect.top) * size_t(width),
                            size_t(right - p.rect.left) * sizeof(uint32_t));
        grow(damage, p.rect);
        it->placed.reset();
    }
}

void SpriteEngine::place(Sprite& s, const SpriteSurface& surface, AnimRect& damage) {
    const SpriteMotion& m = s.motion;
    if (!surface.pixels || s.frames.empty() || m.pathIndex < 0 || size_t(m.pathIndex) >= m.path.size()) return;
    const SpriteFrame& f = s.frames[size_t(std::clamp<int64_t>(m.frameIndex, 0, int64_t(s.frames.size()) - 1))];
    const PathPoint& at = m.path[size_t(m.pathIndex)];
    const int left = at.x - f.hotX, top = at.y - f.hotY;
    const AnimRect r{std::max(left, 0), std::max(top, 0), std::min(left + f.width, surface.width),
                     std::min(top + f.height, surface.height)};
    if (isEmpty(r)) return;
    Placed p;
    p.rect = r;
    const size_t width = size_t(r.right - r.left);
    p.under.resize(width * size_t(r.bottom - r.top));
    for (int y = r.top; y < r.bottom; ++y) {
        uint32_t* dst = surface.pixels + size_t(y) * surface.stride + size_t(r.left);
        std::memcpy(p.under.data() + size_t(y - r.top) * width, dst, width * sizeof(uint32_t));
        const uint32_t* src = f.pixels.data() + size_t(y - top) * size_t(f.width) + size_t(r.left - left);
        for (size_t x = 0; x < width; ++x)
            if (src[x]) dst[x] = src[x];
    }
    grow(damage, r);
    s.placed = std::move(p);
}

bool SpriteEngine::stepSprites(SpriteCanvas& canvas) {
    const uint64_t now = clock().nowMs();
    bool changed = redraw_;
    for (Sprite& s : sprites_) changed = (s.ended || advance(s, now)) || changed;
    if (changed) {
        const SpriteSurface surface = canvas.surface();
        AnimRect damage{};
        eraseAll(surface, damage);
        std::erase_if(sprites_, [](const Sprite& s) { return s.ended; });
        try {
            for (Sprite& s : sprites_) place(s, surface, damage);
        } catch (const std::bad_alloc&) {
            // Nothing more can be drawn: the sprites end, and the card shows where they were.
            eraseAll(surface, damage);
            sprites_.clear();
        }
        if (!isEmpty(damage)) canvas.present(damage);
    }
    redraw_ = false;
    return !sprites_.empty();
}

bool SpriteEngine::isSpriteRunning(uint16_t object) const {
    return std::any_of(sprites_.begin(), sprites_.end(), [&](const Sprite& s) { return s.object == object && !s.ended; });
}

void SpriteEngine::stopSprites(SpriteCanvas* canvas) {
    if (canvas) {
        AnimRect damage{};
        eraseAll(canvas->surface(), damage);
        if (!isEmpty(damage)) canvas->present(damage);
    }
    sprites_.clear();
    redraw_ = false;
}

std::optional<uint64_t> SpriteEngine::nextDueMs() const {
    std::optional<uint64_t> next;
    auto consider = [&](const std::optional<uint64_t>& due) {
        if (due && (!next || *due < *next)) next = due;
    };
    for (const Sprite& s : sprites_) {
        if (s.ended || redraw_) consider(clock().nowMs());
        consider(s.pathDue);
        if (!s.motion.framesOnMove) consider(s.frameDue);
        consider(s.runDue);
    }
    return next;
}

} // namespace cv
