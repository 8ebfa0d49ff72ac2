#include "player/animations.h"

#include <QPainter>
#include <QRegion>
#include <memory>

#include "core/alerts.h"
#include "core/byte_order.h"
#include "core/handles.h"
#include "media/frame_animation.h"
#include "media/sprite_engine.h"
#include "player/card_picture.h"
#include "player/player.h"
#include "stack/chunk_file.h"
#include "stack/record_layout.h"
#include "stack/stack_document.h"

namespace cv {

namespace {

// The animation action of an action list held in `list`, or empty.
std::span<const uint8_t> animationIn(std::span<const uint8_t> list) {
    if (list.size() < actionlist::kHeaderSize) return {};
    const uint32_t length = std::min<uint32_t>(get32(list.data() + actionlist::kLength), uint32_t(list.size()));
    uint32_t off = actionlist::kHeaderSize;
    while (off < length && length - off >= action::kPayload) {
        const uint32_t alen = get32(list.data() + off + action::kLength);
        if (alen < action::kPayload || alen > length - off) break;
        if (get16(list.data() + off + action::kCode) == action::kAnimation) return list.subspan(off, alen);
        off += alen;
    }
    return {};
}

std::span<const uint8_t> handleBytes(Handle h) {
    const uint8_t* d = memRefs().data(h);
    return d ? std::span<const uint8_t>(d, GetHandleSize(h)) : std::span<const uint8_t>();
}

// The card less the places of its shown objects: where frames are drawn unless told otherwise.
QRegion backgroundRegion(Player& player) {
    QRegion region(player.screen().rect());
    for (const DisplayRecord& r : player.displayList())
        if (!r.hidden) region -= r.hitRegion;
    return region;
}

void drawOnImage(Player& player, QImage& target, const Bitmap& frame, int left, int top, bool unclipped) {
    Bitmap native = frame;
    fixPixelByteOrder(native);
    const QImage image = imageFromBitmap(native);
    if (image.isNull()) return;
    QPainter p(&target);
    if (!unclipped) p.setClipRegion(backgroundRegion(player));
    p.drawImage(left, top, image);
}

// Draws frames on the player's screen image, outside the card's objects unless told otherwise.
class CardCanvas final : public FrameCanvas {
public:
    explicit CardCanvas(Player& player) : player_(player) {}

    void drawFrame(const Bitmap& frame, int left, int top, bool unclipped) override {
        const QRect area = QRect(left, top, frame.width, frame.height).intersected(player_.screen().rect());
        if (area.isEmpty()) return;
        drawOnImage(player_, player_.screen(), frame, left, top, unclipped);
        player_.host().present(area);
    }

    void invalidate(const AnimRect& r) override {
        player_.paintCardRect(QRect(QPoint(r.left, r.top), QPoint(r.right - 1, r.bottom - 1)));
    }

private:
    Player& player_;
};

// Sprites are drawn straight into the player's screen image.
class SpriteScreen final : public SpriteCanvas {
public:
    explicit SpriteScreen(Player& player) : player_(player) {}

    SpriteSurface surface() override {
        QImage& screen = player_.screen();
        if (screen.isNull()) return {};
        if (screen.format() != QImage::Format_RGB32 && screen.format() != QImage::Format_ARGB32)
            screen = screen.convertToFormat(QImage::Format_RGB32);
        return {reinterpret_cast<uint32_t*>(screen.bits()), screen.width(), screen.height(),
                size_t(screen.bytesPerLine()) / sizeof(uint32_t)};
    }
    void present(const AnimRect& r) override {
        player_.host().present(QRect(QPoint(r.left, r.top), QPoint(r.right - 1, r.bottom - 1)));
    }

private:
    Player& player_;
};

struct Animations {
    explicit Animations(Player& p) : canvas(p), screen(p) {}
    FrameAnimations frames;
    CardCanvas canvas;
    // The sprite engine lives while sprites run.
    std::unique_ptr<SpriteEngine> sprites;
    SpriteScreen screen;

    void stepSprites() {
        if (sprites && !sprites->stepSprites(screen)) sprites.reset();
    }
    bool spriteRunning(uint16_t owner) const { return sprites && sprites->isSpriteRunning(owner); }
    // Leaving a card, resetting its media or the end of a wait: the card shows again where
    // they were (a reset keeps the card on the screen).
    void stopSprites() {
        if (sprites) sprites->stopSprites(&screen);
        sprites.reset();
    }
};

} // namespace

std::span<const uint8_t> storedAnimationAction(Player& player, uint16_t object) {
    const Handle card = player.currentCard();
    if (const uint32_t off = card ? FindObject(card, obj::kButton, object) : 0) {
        const std::span<const uint8_t> c = handleBytes(card);
        if (off < c.size()) {
            const auto found = animationIn(c.subspan(off));
            if (!found.empty()) return found;
        }
    }
    if (!theStack().chunkFile) return {};
    SetCurrentChunkFile(theStack().chunkFile);
    if (const auto found = animationIn(handleBytes(GetChunk(chunk::kActn, object))); !found.empty()) return found;
    const std::span<const uint8_t> link = handleBytes(GetChunk(chunk::kHlnk, object));
    if (link.size() >= hlnk::kHeaderSize && get16(link.data() + hlnk::kHasAction)) {
        const size_t at = hlnk::kHeaderSize + size_t(get16(link.data() + hlnk::kTextLength)) +
                          get16(link.data() + hlnk::kAfterLength);
        if (at < link.size()) return animationIn(link.subspan(at));
    }
    return {};
}

namespace {

// Draws the first frame of the animation action `act` of `owner` into `composed` when its
// description asks for that and it is not running already.
void showFirstFrame(Player& player, QImage& composed, std::span<const uint8_t> act, uint16_t owner,
                    const FrameAnimations& running) {
    if (act.size() <= action::kPayload || running.IsObjectAnimating(owner)) return;
    const std::span<const uint8_t> desc = act.subspan(action::kPayload);
    const auto fields = readFrameAnimRecord(desc);
    if (!fields || !(fields->flags & frameanim::kShowFirstFrame) || desc.size() <= frameanim::kRecordBytes) return;
    if (fields->width > player.cardWidth() || fields->height > player.cardHeight()) return;
    auto picture = MakeDIB(fields->width, fields->height, fields->depth);
    if (!picture) return;
    const std::span<const uint8_t> frames = desc.subspan(frameanim::kRecordBytes);
    if (frames.size() < frameanim::kFrameHeaderBytes) return;
    const uint32_t length = get32(frames.data() + frameanim::kFrameLength);
    if (length < frameanim::kFrameHeaderBytes || length > frames.size()) return;
    if (!decodeFirstFrame(*picture, frames.subspan(frameanim::kFrameHeaderBytes, length - frameanim::kFrameHeaderBytes)))
        return;
    drawOnImage(player, composed, *picture, geti16(act.data() + 4), geti16(act.data() + 6),
                fields->flags & frameanim::kUnclipped);
}

} // namespace

void installAnimations(Player& player) {
    auto a = std::make_shared<Animations>(player);
    a->frames.setStoredAction([&player](uint16_t object) { return storedAnimationAction(player, object); });
    MediaHooks& m = player.media;

    auto start = [&player, a](std::span<const uint8_t> act, uint16_t owner) {
        if (act.size() <= action::kPayload) return false;
        size_t length = act.size() - action::kPayload;
        if ((get16(act.data() + action::kFlags) & action::kFlagPadded) && length > 0) --length;
        std::vector<uint8_t> copy(act.begin() + action::kPayload, act.begin() + action::kPayload + std::ptrdiff_t(length));
        if (copy.size() >= 4 && loadBE32(copy.data()) == sprite::kSpriteType) {
            // A path animation: the sprite engine (made on first use) takes its own copy.
            const Handle h = NewHandleFrom(copy.data(), uint32_t(copy.size()));
            if (!h) {
                showAlert(2224);
                return false;
            }
            if (!a->sprites) a->sprites = std::make_unique<SpriteEngine>();
            a->sprites->setLargest(player.cardWidth(), player.cardHeight());
            const SpriteStart started = a->sprites->startSprite(handleBytes(h), owner);
            DisposeHandle(h);
            if (started == SpriteStart::NoMemory) showAlert(2224);
            if (started != SpriteStart::Started && !a->sprites->count()) a->sprites.reset();
            return started == SpriteStart::Started;
        }
        const auto fields = readFrameAnimRecord(copy);
        if (!fields) return false;
        setFrameAnimFlags(copy, fields->flags | frameanim::kFramesInObject);
        if (a->frames.restartSame(copy, owner)) return true;
        const Handle h = NewHandleFrom(copy.data(), uint32_t(copy.size()));
        if (!h) {
            showAlert(2224);
            return false;
        }
        const uint8_t* r = act.data() + 4;
        const AnimRect rect{geti16(r), geti16(r + 2), geti16(r + 4), geti16(r + 6)};
        a->frames.setLargest(player.cardWidth(), player.cardHeight());
        return a->frames.StartFrameAnimation(h, rect, owner);
    };
    // Started animations move at their due times on the real clock, between timer 1's ticks too.
    m.startAnimation = [&player, start](std::span<const uint8_t> act, uint16_t owner) {
        const bool started = start(act, owner);
        if (started && player.media.pace) player.media.pace();
        return started;
    };
    m.animationDone = [a](uint16_t owner) { return !a->frames.IsObjectAnimating(owner) && !a->spriteRunning(owner); };
    // DONEP: an animation still runs, even one told to end that has a delay left.
    m.anyAnimationPlaying = [a] { return a->frames.count() > 0 || (a->sprites && a->sprites->count() > 0); };
    auto showOnCard = std::move(m.showOnCard);
    m.showOnCard = [&player, a, showOnCard](QImage& composed) {
        if (showOnCard) showOnCard(composed);
        for (const DisplayRecord& r : player.displayList()) {
            // Only lists whose summary flags show an animation action.
            if (r.isButton()) {
                const Handle card = player.currentCard();
                const std::span<const uint8_t> c = handleBytes(card);
                const uint32_t off = card ? FindObject(card, obj::kButton, r.id) : 0;
                if (!off || c.size() < off + actionlist::kHeaderSize ||
                    !(get16(c.data() + off + actionlist::kFlags) & actionlist::kFlagAnimation))
                    continue;
                showFirstFrame(player, composed, storedAnimationAction(player, r.id), r.id, a->frames);
            } else if (r.actionId && theStack().chunkFile) {
                SetCurrentChunkFile(theStack().chunkFile);
                const std::span<const uint8_t> list = handleBytes(GetChunk(chunk::kActn, r.actionId));
                if (list.size() < actionlist::kHeaderSize ||
                    !(get16(list.data() + actionlist::kFlags) & actionlist::kFlagAnimation))
                    continue;
                showFirstFrame(player, composed, animationIn(list), r.actionId, a->frames);
            }
        }
    };

    auto step = std::move(m.step);
    m.step = [a, step] {
        if (step) step();
        a->frames.StepFrameAnimations(a->canvas);
        a->stepSprites();
    };
    auto next = std::move(m.nextStepMs);
    m.nextStepMs = [a, next]() -> uint64_t {
        const uint64_t other = next ? next() : 0;
        auto mine = a->frames.nextDueMs();
        if (const auto sprite = a->sprites ? a->sprites->nextDueMs() : std::nullopt; sprite && (!mine || *sprite < *mine))
            mine = sprite;
        if (!mine) return other;
        return other ? std::min(other, *mine) : *mine;
    };
    auto stopAll = std::move(m.stopAll);
    m.stopAll = [a, stopAll] {
        if (stopAll) stopAll();
        a->frames.ClearFrameAnimations();
        a->stopSprites();
    };
    auto stopAfterWait = std::move(m.stopAnimationsAndMovies);
    m.stopAnimationsAndMovies = [a, stopAfterWait] {
        if (stopAfterWait) stopAfterWait();
        a->frames.ClearFrameAnimations();
        a->stopSprites();
    };
    // Timer 1's idle work steps them too, for lists that do not wait.
    auto tick = std::move(player.timerHandler);
    player.timerHandler = [a, tick] {
        if (tick) tick();
        a->frames.StepFrameAnimations(a->canvas);
        a->stepSprites();
    };
}

} // namespace cv
