#include "media/frame_animation.h"

#include <algorithm>
#include <cstring>

#include "core/byte_order.h"
#include "core/clock.h"
#include "stack/picture_card.h"

namespace cv {

using namespace frameanim;

std::optional<FrameAnimRecord> readFrameAnimRecord(std::span<const uint8_t> record) {
    if (record.size() < kRecordBytes) return std::nullopt;
    const uint8_t* p = record.data();
    FrameAnimRecord r;
    r.width = loadBE16(p + kWidth);
    r.height = loadBE16(p + kHeight);
    r.delay = loadBE16(p + kDelay);
    r.repeats = loadBE16(p + kRepeats);
    r.frames = get16(p + kFrames);
    r.depth = loadBE16(p + kDepth);
    r.flags = loadBE16(p + kFlags);
    return r;
}

void setFrameAnimFlags(std::span<uint8_t> record, uint16_t flags) {
    if (record.size() >= kFlags + 2) storeBE16(record.data() + kFlags, flags);
}

size_t applyFrameChanges(Bitmap& work, std::span<const uint8_t> body, bool sixteenBit) {
    uint8_t* bits = work.bits.data();
    const size_t size = work.byteCount();
    size_t written = 0;
    if (sixteenBit) {
        // Offsets count stored rows (padded to 16 pixels); the bitmap's rows are the DIB's.
        const uint64_t storedRow = storedRowBytes(work.width, work.depth);
        const uint64_t memoryRow = work.stride;
        const uint64_t rows = uint64_t(work.height);
        if (storedRow == 0) return 0;
        uint64_t base = 0;
        for (size_t i = 0; i + 4 <= body.size(); i += 4) {
            const uint16_t offset = loadBE16(body.data() + i);
            if (offset == kBaseEscape) {
                base += kBaseStep;
                continue;
            }
            for (int b = 0; b < 2; ++b) {
                const uint64_t at = base + offset + b;
                const uint64_t row = at / storedRow, column = at % storedRow;
                // A byte on a stored row's padding has no place in the bitmap.
                if (row >= rows || column >= memoryRow) continue;
                bits[row * memoryRow + column] = body[i + 2 + b];
                ++written;
            }
        }
    } else {
        for (size_t i = 0; i + 8 <= body.size(); i += 8) {
            const uint32_t offset = loadBE32(body.data() + i);
            if (offset > size || size - offset < 4) continue;
            std::memcpy(bits + offset, body.data() + i + 4, 4);
            written += 4;
        }
    }
    return written;
}

bool decodeFirstFrame(Bitmap& work, std::span<const uint8_t> body) {
    if (body.size() < kCardPictureHeaderBytes) return false;
    // The record's header is as stored; the picture decoder reads it in native order.
    std::vector<uint8_t> record(body.begin(), body.end());
    uint8_t* p = record.data();
    put16(p + 0, loadBE16(p + 0));
    put16(p + 2, loadBE16(p + 2));
    put16(p + 10, loadBE16(p + 10));
    put32(p + 12, loadBE32(p + 12));
    put32(p + 16, loadBE32(p + 16));
    DecodedPicture d = decodeCardPicture(record, work.width, work.height, work.depth);
    if (!d.ok() || d.bitmap.width != work.width || d.bitmap.height != work.height ||
        d.bitmap.byteCount() != work.byteCount())
        return false;
    // Later frames write stored bytes: the picture is kept in the stored byte order.
    fixPixelByteOrder(d.bitmap);
    std::memcpy(work.bits.data(), d.bitmap.bits.data(), work.byteCount());
    work.colours = std::move(d.bitmap.colours);
    return true;
}

FrameAnimations::~FrameAnimations() { ClearFrameAnimations(); }

std::span<const uint8_t> FrameAnimations::frameData(const Node& n) const {
    if (!(n.flags & kFramesInObject)) {
        const uint8_t* d = memRefs().data(n.record);
        const uint32_t size = GetHandleSize(n.record);
        if (!d || size <= kRecordBytes) return {};
        return {d + kRecordBytes, size - kRecordBytes};
    }
    if (!storedAction_) return {};
    std::span<const uint8_t> a = storedAction_(n.object);
    if (a.size() < 32) return {};
    // The action's own length (less its pad byte) bounds the frames.
    size_t length = std::min<size_t>(get32(a.data() + 12), a.size());
    if ((get16(a.data() + 22) & 0x0200) && length > 0) --length;
    if (length <= kFramesInAction) return {};
    return a.subspan(kFramesInAction, length - kFramesInAction);
}

bool FrameAnimations::drawFrame(Node& n, FrameCanvas& canvas) {
    const std::span<const uint8_t> data = frameData(n);
    // Find frame n.frame: straight after the last one drawn, or by walking the chain.
    size_t offset = 0;
    uint32_t k = 1;
    if (n.frame > 1 && n.lastFrame == n.frame - 1 && n.lastOffset < data.size()) {
        k = n.lastFrame;
        offset = n.lastOffset;
    }
    for (;; ++k) {
        if (data.size() - offset < kFrameHeaderBytes) return false;
        const uint32_t length = get32(data.data() + offset + kFrameLength);
        if (length < kFrameHeaderBytes || length > data.size() - offset) return false;
        if (k == n.frame) break;
        offset += length;
    }
    const uint32_t length = get32(data.data() + offset + kFrameLength);
    const std::span<const uint8_t> body = data.subspan(offset + kFrameHeaderBytes, length - kFrameHeaderBytes);
    if (n.frame == 1) {
        if (!decodeFirstFrame(n.picture, body)) return false;
    } else {
        applyFrameChanges(n.picture, body, n.flags & kDeltas16);
    }
    n.lastFrame = n.frame;
    n.lastOffset = offset;
    canvas.drawFrame(n.picture, n.rect.left, n.rect.top, n.flags & kUnclipped);
    return true;
}

bool FrameAnimations::StartFrameAnimation(Handle record, const AnimRect& rect, uint16_t object) {
    const uint8_t* d = memRefs().data(record);
    const auto fields = d ? readFrameAnimRecord({d, GetHandleSize(record)}) : std::nullopt;
    if (!fields) {
        if (d) DisposeHandle(record);
        return false;
    }
    if (fields->flags & kEndOthers) EndFrameAnimations(object);
    Node n;
    n.record = record;
    n.rect = rect;
    n.flags = fields->flags & ~kEnding;
    n.object = object;
    n.due = clock().nowMs();
    // A picture larger than the card, or of no size or depth, cannot be shown.
    std::optional<Bitmap> picture;
    if (fields->width > 0 && fields->height > 0 && fields->width <= maxWidth_ && fields->height <= maxHeight_)
        picture = MakeDIB(fields->width, fields->height, fields->depth);
    if (!picture) {
        if (!(fields->flags & kNotOwned)) DisposeHandle(record);
        return false;
    }
    n.picture = std::move(*picture);
    nodes_.push_back(std::move(n));
    return true;
}

bool FrameAnimations::StepFrameAnimations(FrameCanvas& canvas) {
    for (size_t i = 0; i < nodes_.size();) {
        Node& n = nodes_[i];
        const uint64_t now = clock().nowMs();
        if (now < n.due) {
            ++i;
            continue;
        }
        const uint8_t* d = memRefs().data(n.record);
        const auto fields = d ? readFrameAnimRecord({d, GetHandleSize(n.record)}) : std::nullopt;
        const uint32_t frames = fields ? fields->frames : 0;
        const uint32_t repeats = fields ? fields->repeats : 0;
        const uint32_t delay = fields ? fields->delay : 0;
        if (!(n.flags & kEnding) && n.frame <= frames && !drawFrame(n, canvas)) {
            // A missing or damaged frame ends the animation as if it were told to.
            n.flags |= kEnding;
            n.frame = frames;
            n.repeat = repeats;
        }
        if (n.frame <= frames) {
            ++n.frame;
            n.due = now + delay;
        } else if (n.repeat < repeats) {
            // A repeat count of 0 plays once, like 1.
            n.frame = 1;
            ++n.repeat;
            n.due = now;
        } else {
            if (n.flags & kEraseAtEnd) {
                // The rectangle, and the picture where it reaches past it.
                AnimRect r = n.rect;
                r.right = std::max(r.right, r.left + n.picture.width);
                r.bottom = std::max(r.bottom, r.top + n.picture.height);
                canvas.invalidate(r);
            }
            freeNode(n);
            nodes_.erase(nodes_.begin() + std::ptrdiff_t(i));
            continue;
        }
        ++i;
    }
    return !nodes_.empty();
}

void FrameAnimations::EndFrameAnimations(uint16_t object) {
    for (Node& n : nodes_) {
        if (object != 0 && n.object != object) continue;
        const uint8_t* d = memRefs().data(n.record);
        const auto fields = d ? readFrameAnimRecord({d, GetHandleSize(n.record)}) : std::nullopt;
        n.flags |= kEnding;
        n.frame = fields ? fields->frames : 0;
        n.repeat = fields ? fields->repeats : 0;
    }
}

void FrameAnimations::ClearFrameAnimations() {
    std::vector<Node> nodes = std::move(nodes_);
    nodes_.clear();
    for (Node& n : nodes) freeNode(n);
}

bool FrameAnimations::IsObjectAnimating(uint16_t object) const {
    return std::any_of(nodes_.begin(), nodes_.end(),
                       [&](const Node& n) { return n.object == object && !(n.flags & kEnding); });
}

bool FrameAnimations::restartSame(std::span<const uint8_t> record, uint16_t object) {
    for (Node& n : nodes_) {
        const uint8_t* d = memRefs().data(n.record);
        if (!d || GetHandleSize(n.record) != record.size() || !std::equal(record.begin(), record.end(), d))
            continue;
        n.object = object;
        n.flags &= ~kEnding;
        n.frame = 1;
        n.repeat = 1;
        n.due = clock().nowMs();
        n.lastFrame = 0;
        return true;
    }
    return false;
}

std::optional<uint64_t> FrameAnimations::nextDueMs() const {
    std::optional<uint64_t> next;
    for (const Node& n : nodes_)
        if (!next || n.due < *next) next = n.due;
    return next;
}

void FrameAnimations::freeNode(Node& n) {
    if (n.record && !(n.flags & kNotOwned)) DisposeHandle(n.record);
    n.record = 0;
    n.picture = Bitmap();
}

} // namespace cv
