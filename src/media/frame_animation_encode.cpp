// Animation records made from pictures: what the stack tool builds and the tests play.
#include <cstring>

#include "core/byte_order.h"
#include "media/frame_animation.h"
#include "stack/picture_card.h"
#include "stack/picture_rows.h"

namespace cv {

using namespace frameanim;

namespace {

void appendFrame(std::vector<uint8_t>& out, uint16_t number, std::span<const uint8_t> body) {
    const size_t at = out.size();
    out.resize(at + kFrameHeaderBytes, 0);
    put16(out.data() + at, number);
    put32(out.data() + at + kFrameLength, uint32_t(kFrameHeaderBytes + body.size()));
    out.insert(out.end(), body.begin(), body.end());
}

// The picture as the work bitmap holds it: bitmap rows, pixels in stored byte order.
std::vector<uint8_t> workBytes(const Bitmap& picture) {
    Bitmap copy = picture;
    if (copy.order != RowOrder::TopDown) FlipRows(copy);
    fixPixelByteOrder(copy);
    return std::move(copy.bits);
}

std::vector<uint8_t> changes16(const Bitmap& before, const Bitmap& after) {
    const std::vector<uint8_t> a = storedPicture(before), b = storedPicture(after);
    std::vector<uint8_t> out;
    uint64_t base = 0;
    for (size_t i = 0; i + 2 <= b.size(); i += 2) {
        if (a[i] == b[i] && a[i + 1] == b[i + 1]) continue;
        while (i - base >= kBaseStep) {
            out.insert(out.end(), {uint8_t(kBaseEscape >> 8), uint8_t(kBaseEscape & 0xFF), 0, 0});
            base += kBaseStep;
        }
        const uint16_t offset = uint16_t(i - base);
        out.insert(out.end(), {uint8_t(offset >> 8), uint8_t(offset), b[i], b[i + 1]});
    }
    return out;
}

std::vector<uint8_t> changes32(const Bitmap& before, const Bitmap& after) {
    const std::vector<uint8_t> a = workBytes(before), b = workBytes(after);
    std::vector<uint8_t> out;
    for (size_t i = 0; i + 4 <= b.size(); i += 4) {
        if (std::memcmp(a.data() + i, b.data() + i, 4) == 0) continue;
        uint8_t entry[8];
        storeBE32(entry, uint32_t(i));
        std::memcpy(entry + 4, b.data() + i, 4);
        out.insert(out.end(), entry, entry + 8);
    }
    return out;
}

} // namespace

std::optional<std::vector<uint8_t>> encodeFrameAnimation(const std::vector<Bitmap>& pictures, uint16_t delay,
                                                         uint16_t repeats, uint16_t flags) {
    if (pictures.empty() || pictures.size() > 0x7FFF) return std::nullopt;
    const Bitmap& first = pictures.front();
    for (const Bitmap& p : pictures)
        if (p.width != first.width || p.height != first.height || p.depth != first.depth) return std::nullopt;
    if (first.width > 0xFFFF || first.height > 0xFFFF) return std::nullopt;
    auto record = encodeCardPicture(first);
    if (!record) return std::nullopt;
    // The picture record's header as it is stored.
    uint8_t* h = record->data();
    storeBE16(h + 0, get16(h + 0));
    storeBE16(h + 2, get16(h + 2));
    storeBE16(h + 10, get16(h + 10));
    storeBE32(h + 12, get32(h + 12));
    storeBE32(h + 16, get32(h + 16));

    std::vector<uint8_t> out(kRecordBytes, 0);
    storeBE16(out.data() + kWidth, uint16_t(first.width));
    storeBE16(out.data() + kHeight, uint16_t(first.height));
    storeBE16(out.data() + kDelay, delay);
    storeBE16(out.data() + kRepeats, repeats);
    put16(out.data() + kFrames, uint16_t(pictures.size()));
    storeBE16(out.data() + kDepth, uint16_t(first.depth));
    storeBE16(out.data() + kFlags, flags);
    appendFrame(out, 1, *record);
    for (size_t i = 1; i < pictures.size(); ++i) {
        const auto body = (flags & kDeltas16) ? changes16(pictures[i - 1], pictures[i])
                                              : changes32(pictures[i - 1], pictures[i]);
        appendFrame(out, uint16_t(i + 1), body);
    }
    return out;
}

} // namespace cv
