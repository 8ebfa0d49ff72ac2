#include "media/sprite_record.h"

#include <algorithm>
#include <new>

#include "core/byte_order.h"
#include "stack/ppak.h"

namespace cv {

using namespace sprite;

namespace {

bool usable(const FrameSettings& f, uint32_t count) { return f.first < f.end && f.end <= count; }

// The part of `data` an entry names, or empty when it runs outside.
std::span<const uint8_t> part(std::span<const uint8_t> data, uint32_t offset, uint32_t length) {
    if (offset > data.size() || length > data.size() - offset) return {};
    return data.subspan(offset, length);
}

} // namespace

std::optional<SpriteRecords> parseSpriteRecords(std::span<const uint8_t> data) {
    auto motion = readSpriteMotion(data);
    if (!motion) return std::nullopt;
    SpriteRecords r;
    const uint8_t* s = data.data();
    r.pathTimed = loadBE16(s + kPathTiming) == kTimed;
    r.runTimer = loadBE16(s + kRunTimerMode) == kTimed;
    r.runTime = loadBE32(s + kRunTime);

    // The path's own length places the film after it.
    const std::span<const uint8_t> path = data.subspan(kSpriteBytes);
    const uint32_t pathLength = loadBE32(path.data() + kRecordLength);
    if (pathLength < kPathPoints + uint64_t(motion->path.size()) * kPathPointBytes || pathLength > path.size())
        return std::nullopt;
    const std::span<const uint8_t> film = path.subspan(pathLength);
    if (film.size() < kFilmBytes) return std::nullopt;
    const uint8_t* f = film.data();
    if (loadBE32(f) != kFilmType || loadBE16(f + 8) != kVersion) return std::nullopt;
    const uint32_t count = loadBE32(f + kFilmCount);
    if (count == 0 || count > kMaxFrames) return std::nullopt;
    const uint64_t filmLength = kFilmEntries + uint64_t(count) * kFilmEntryBytes;
    if (loadBE32(f + kRecordLength) != filmLength || filmLength > film.size()) return std::nullopt;

    r.frames.resize(count);
    for (uint32_t i = 0; i < count; ++i) {
        const uint8_t* e = f + kFilmEntries + size_t(i) * kFilmEntryBytes;
        SpriteFrameEntry& fe = r.frames[i];
        fe.picture = loadBE32(e + kFramePicture);
        fe.pictureLength = loadBE32(e + kFramePictureLength);
        fe.mask = loadBE32(e + kFrameMask);
        fe.maskLength = loadBE32(e + kFrameMaskLength);
        fe.hotX = int16_t(loadBE16(e + kFrameHotX));
        fe.hotY = int16_t(loadBE16(e + kFrameHotY));
        if (part(film, fe.picture, fe.pictureLength).empty()) return std::nullopt;
        if (fe.maskLength && part(film, fe.mask, fe.maskLength).empty()) return std::nullopt;
    }
    // The frames used must be in the film; going back, damaged settings fall back to forward's.
    if (!usable(motion->forward, count)) return std::nullopt;
    if (!usable(motion->backward, count)) motion->backward = motion->forward;
    r.film = film;
    r.motion = std::move(*motion);
    return r;
}

SpriteDecode decodeSpriteFrames(const SpriteRecords& records, int maxWidth, int maxHeight,
                                std::vector<SpriteFrame>* frames) {
    frames->clear();
    size_t total = 0;
    try {
        frames->reserve(records.frames.size());
        for (const SpriteFrameEntry& e : records.frames) {
            const std::span<const uint8_t> pic = part(records.film, e.picture, e.pictureLength);
            auto header = parsePPak(pic, e.pictureLength);
            if (!header) return SpriteDecode::Damaged;
            if (header->width > maxWidth || header->height > maxHeight) return SpriteDecode::TooLarge;
            total += size_t(header->width) * header->height * 4;
            if (total > kMaxPictureBytes) return SpriteDecode::TooLarge;
            DecodedPicture picture = decodePPak(pic, e.pictureLength);
            if (!picture.ok() || picture.bitmap.depth != 32) return SpriteDecode::Damaged;
            SpriteFrame frame;
            frame.width = picture.bitmap.width;
            frame.height = picture.bitmap.height;
            frame.hotX = e.hotX;
            frame.hotY = e.hotY;
            frame.pixels.resize(size_t(frame.width) * frame.height);
            DecodedPicture mask;
            if (e.maskLength) {
                mask = decodePPak(part(records.film, e.mask, e.maskLength), e.maskLength);
                if (!mask.ok() || mask.bitmap.width != frame.width || mask.bitmap.height != frame.height ||
                    mask.bitmap.depth != 32)
                    return SpriteDecode::Damaged;
            }
            for (int y = 0; y < frame.height; ++y) {
                const auto* src = reinterpret_cast<const uint32_t*>(picture.bitmap.row(y));
                const auto* m = e.maskLength ? reinterpret_cast<const uint32_t*>(mask.bitmap.row(y)) : nullptr;
                uint32_t* dst = frame.pixels.data() + size_t(y) * frame.width;
                for (int x = 0; x < frame.width; ++x) {
                    // A dark mask pixel shows the picture.
                    const bool shows = !m || ((m[x] >> 16 & 0xFF) + (m[x] >> 8 & 0xFF) + (m[x] & 0xFF)) < 384;
                    dst[x] = shows ? (src[x] | 0xFF000000u) : 0;
                }
            }
            frames->push_back(std::move(frame));
        }
    } catch (const std::bad_alloc&) {
        frames->clear();
        return SpriteDecode::NoMemory;
    }
    return SpriteDecode::Ok;
}

std::optional<std::vector<uint8_t>> encodeSprite(const SpriteOptions& o, const std::vector<PathPoint>& path,
                                                 const std::vector<SpritePicture>& frames) {
    if (path.empty() || frames.empty() || frames.size() > kMaxFrames || path.size() > 0xFFFFFF) return std::nullopt;
    const uint32_t count = uint32_t(frames.size());
    std::vector<uint8_t> out(kSpriteBytes, 0);
    auto header = [&](size_t at, uint32_t type, uint32_t length) {
        storeBE32(out.data() + at, type);
        storeBE32(out.data() + at + kRecordLength, length);
        storeBE16(out.data() + at + 8, kVersion);
    };
    header(0, kSpriteType, uint32_t(kSpriteBytes));
    uint8_t* s = out.data();
    FrameSettings forward = o.forward;
    if (forward.end == 0 || forward.end > count) forward.end = count;
    if (forward.first >= forward.end) forward.first = 0;
    FrameSettings backward = o.backward.value_or(forward);
    if (backward.end == 0 || backward.end > count) backward.end = count;
    if (backward.first >= backward.end) backward.first = 0;
    storeBE16(s + 50, o.repeatMode);
    storeBE16(s + kRunTimerMode, o.runTime ? kTimed : 0);
    storeBE32(s + kRunTime, o.runTime);
    storeBE16(s + 244, o.framesOnMove ? 1 : 2);
    storeBE16(s + 272, forward.mode);
    storeBE16(s + 274, backward.mode);
    storeBE32(s + 276, o.frameInterval);
    storeBE32(s + 288, uint32_t(forward.step));
    storeBE32(s + 296, o.frameCycleLimit);
    storeBE32(s + 308, forward.first);
    storeBE32(s + 312, forward.end);
    storeBE32(s + 316, uint32_t(backward.step));
    storeBE32(s + 320, backward.first);
    storeBE32(s + 324, backward.end);
    storeBE16(s + kPathTiming, kTimed);
    storeBE16(s + 334, o.recordedTiming ? kRecordedTiming : 0);
    storeBE32(s + 336, o.fixedInterval);
    storeBE16(s + 360, o.pathMode);
    storeBE32(s + 368, o.speedPercent);
    storeBE32(s + 376, uint32_t(o.pathStep));
    storeBE32(s + 384, o.passLimit);
    storeBE32(s + 396, 0);
    storeBE32(s + 400, uint32_t(path.size()));

    const size_t pathAt = out.size();
    const size_t pathLength = kPathPoints + path.size() * kPathPointBytes;
    out.resize(pathAt + pathLength, 0);
    header(pathAt, kPathType, uint32_t(pathLength));
    storeBE32(out.data() + pathAt + kPathCount, uint32_t(path.size()));
    for (size_t i = 0; i < path.size(); ++i) {
        uint8_t* e = out.data() + pathAt + kPathPoints + i * kPathPointBytes;
        storeBE16(e, uint16_t(path[i].x));
        storeBE16(e + 2, uint16_t(path[i].y));
        storeBE32(e + 6, path[i].time);
    }

    const size_t filmAt = out.size();
    const size_t filmLength = kFilmEntries + size_t(count) * kFilmEntryBytes;
    out.resize(filmAt + filmLength, 0);
    header(filmAt, kFilmType, uint32_t(filmLength));
    storeBE32(out.data() + filmAt + kFilmCount, count);
    for (uint32_t i = 0; i < count; ++i) {
        const SpritePicture& f = frames[i];
        auto picture = encodePPak(f.picture, kPixPakRowsLZRW1);
        if (!picture) return std::nullopt;
        std::optional<std::vector<uint8_t>> mask;
        if (f.mask) {
            if (f.mask->width != f.picture.width || f.mask->height != f.picture.height) return std::nullopt;
            mask = encodePPak(*f.mask, kPixPakRowsLZRW1);
            if (!mask) return std::nullopt;
        }
        const size_t pictureAt = out.size() - filmAt;
        out.insert(out.end(), picture->begin(), picture->end());
        const size_t maskAt = out.size() - filmAt;
        if (mask) out.insert(out.end(), mask->begin(), mask->end());
        if (out.size() > 0xFFFFFFFFu) return std::nullopt;
        uint8_t* e = out.data() + filmAt + kFilmEntries + size_t(i) * kFilmEntryBytes;
        storeBE32(e + kFramePicture, uint32_t(pictureAt));
        storeBE32(e + kFramePictureLength, uint32_t(picture->size()));
        storeBE32(e + kFrameMask, mask ? uint32_t(maskAt) : 0);
        storeBE32(e + kFrameMaskLength, mask ? uint32_t(mask->size()) : 0);
        storeBE16(e + kFrameHotX, uint16_t(f.hotX));
        storeBE16(e + kFrameHotY, uint16_t(f.hotY));
    }
    return out;
}

} // namespace cv
