#include "stack/picture_card.h"

#include <algorithm>
#include <cstring>

#include "core/byte_order.h"
#include "stack/colour_table.h"
#include "stack/lzrw1.h"
#include "stack/picture_convert.h"
#include "stack/picture_rows.h"

namespace cv {

namespace {

void fillForward(uint8_t* p, size_t n, const uint8_t (&pattern)[4]) {
    for (size_t i = 0; i < n; ++i) p[i] = pattern[i & 3];
}

// Fills backwards from `end`, four bytes at a time, so the pattern is aligned to the end.
void fillBackward(uint8_t* end, size_t n, const uint8_t (&pattern)[4]) {
    for (size_t k = 0; k < n; ++k) end[-1 - static_cast<ptrdiff_t>(k)] = pattern[3 - (k & 3)];
}

} // namespace

std::optional<CardPictureParts> parseCardPicture(std::span<const uint8_t> record) {
    if (record.size() < kCardPictureHeaderBytes) return std::nullopt;
    const uint8_t* h = record.data();
    CardPictureParts parts;
    parts.setting = get16(h);
    parts.format = get16(h + 2);
    parts.flags = get16(h + 10);
    parts.length = get32(h + 12);
    const uint32_t tableLength = get32(h + 16);
    if (parts.length < kCardPictureHeaderBytes || parts.length > record.size()) return std::nullopt;
    size_t end = parts.length;
    if (parts.flags & kRecordPadFlag) --end;
    size_t at = kCardPictureHeaderBytes;
    if (end < at) return std::nullopt;
    if (tableLength > end - at) return std::nullopt;
    parts.colourTable = record.subspan(at, tableLength);
    at += tableLength;
    if (parts.format == kPictureFormatFilled) {
        if (end - at < kFillBlockBytes) return std::nullopt;
        const uint8_t* f = record.data() + at;
        FillBlock fill;
        std::memcpy(fill.topPattern, f, 4);
        fill.topCount = get32(f + 4);
        std::memcpy(fill.bottomPattern, f + 8, 4);
        fill.bottomCount = get32(f + 12);
        parts.fill = fill;
        at += kFillBlockBytes;
    }
    parts.block = record.subspan(at, end - at);
    return parts;
}

std::span<const uint8_t> cardPictureRecord(std::span<const uint8_t> card) {
    if (card.size() < kCardPictureOffset + kCardPictureHeaderBytes) return {};
    if (get16(card.data() + kCardModeOffset) != kBackgroundOwnPicture) return {};
    const uint32_t length = get32(card.data() + kCardPictureOffset + 12);
    if (length < kCardPictureHeaderBytes || length > card.size() - kCardPictureOffset) return {};
    return card.subspan(kCardPictureOffset, length);
}

std::span<const uint8_t> cardColourTable(std::span<const uint8_t> card) {
    auto parts = parseCardPicture(cardPictureRecord(card));
    return parts ? parts->colourTable : std::span<const uint8_t>{};
}

DecodedPicture decodeCardPicture(std::span<const uint8_t> record, int width, int height, int depth,
                                 const PictureOptions& options) {
    DecodedPicture result;
    auto parts = parseCardPicture(record);
    if (!parts) return result;
    if (parts->format != kPictureFormatPlain && parts->format != kPictureFormatFilled) {
        result.status = PictureStatus::NoPicture;
        return result;
    }
    if (!isPictureDepth(depth) || width < 0 || height < 0) return result;
    // Refuse what the data cannot fill before allocating for it.
    const size_t storedRow = storedRowBytes(width, depth);
    const size_t total = storedRow * static_cast<size_t>(height);
    const size_t filled = parts->fill ? size_t(parts->fill->topCount) + parts->fill->bottomCount : 0;
    if (total > filled && total - filled > std::max(maxLzrw1Output(parts->block.size()), parts->block.size()))
        return result;
    auto made = MakeDIB(width, height, depth);
    if (!made) {
        result.status = PictureStatus::TooLarge;
        return result;
    }
    Bitmap& bm = *made;
    bm.colours = pictureColours(parts->colourTable, depth, options.palette);

    // The picture is decoded as stored rows, then repacked to bitmap rows; the buffer holds
    // whichever layout is larger.
    const size_t dibTotal = bm.byteCount();
    if (total > dibTotal) bm.bits.resize(total);
    uint8_t* bits = bm.bits.data();

    size_t top = 0, bottom = 0;
    if (parts->fill) {
        top = parts->fill->topCount;
        bottom = parts->fill->bottomCount;
        if (top > total || bottom > total - top) return result;
        fillForward(bits, top, parts->fill->topPattern);
        // The bottom fill ends at the end of the picture, whatever row order is asked for.
        fillBackward(bits + total, bottom, parts->fill->bottomPattern);
    }
    const size_t middleEnd = total - bottom;
    if (top < middleEnd || parts->block.size() >= kLzrw1HeaderBytes) {
        // Copy items may reach back into the top fill: it is part of the output before them.
        if (!decodeLzrw1Block(parts->block, bits, top, middleEnd)) return result;
    }
    if (storedRow != bm.stride) repackRows(bits, static_cast<size_t>(height), storedRow, bm.stride);
    bm.bits.resize(dibTotal);
    fixPixelByteOrder(bm);
    if (options.order == RowOrder::BottomUp) FlipRows(bm);
    result.status = PictureStatus::Ok;
    result.bitmap = std::move(bm);
    return result;
}

DecodedPicture decodeCardBackground(std::span<const uint8_t> card, const PictureOptions& options) {
    DecodedPicture result;
    if (card.size() < kCardPictureOffset) return result;
    if (get16(card.data() + kCardModeOffset) != kBackgroundOwnPicture) {
        result.status = PictureStatus::NoPicture;
        return result;
    }
    return decodeCardPicture(card.subspan(kCardPictureOffset), get16(card.data() + kCardWidthOffset),
                             get16(card.data() + kCardHeightOffset),
                             get16(card.data() + kCardDepthOffset), options);
}

namespace {

std::optional<std::vector<uint8_t>> buildRecord(const Bitmap& picture, std::span<const uint8_t> table,
                                                const uint8_t* keepHeader) {
    const std::vector<uint8_t> stored = storedPicture(picture);
    std::vector<uint8_t> rec(kCardPictureHeaderBytes, 0);
    if (keepHeader) std::memcpy(rec.data(), keepHeader, kCardPictureHeaderBytes);
    rec.insert(rec.end(), table.begin(), table.end());
    Lzrw1Encoder encoder;
    encoder.encode(stored, rec);
    uint16_t flags = get16(rec.data() + 10) & ~kRecordPadFlag;
    // Records keep an even length, as the objects after them start on an even offset.
    if (rec.size() & 1) {
        rec.push_back(0);
        flags |= kRecordPadFlag;
    }
    if (rec.size() > 0xFFFFFFFFu) return std::nullopt;
    put16(rec.data() + 2, kPictureFormatPlain);
    put16(rec.data() + 10, flags);
    put32(rec.data() + 12, static_cast<uint32_t>(rec.size()));
    put32(rec.data() + 16, static_cast<uint32_t>(table.size()));
    return rec;
}

} // namespace

std::optional<std::vector<uint8_t>> encodeCardPicture(const Bitmap& picture,
                                                      std::span<const uint8_t> colourTable,
                                                      uint16_t setting) {
    if (!isPictureDepth(picture.depth)) return std::nullopt;
    uint8_t header[kCardPictureHeaderBytes] = {};
    put16(header, setting);
    return buildRecord(picture, colourTable, header);
}

std::optional<std::vector<uint8_t>> encodeCardPicture(const Bitmap& picture) {
    if (picture.depth > 8) return encodeCardPicture(picture, PaletteToColourTable(nullptr, false, picture.depth));
    // The player's tables hold 16 entries at depth 4 and 256 at every other depth.
    std::vector<uint32_t> colours(picture.depth == 4 ? 16 : 256, 0xFF000000u);
    std::copy_n(picture.colours.begin(), std::min(colours.size(), picture.colours.size()), colours.begin());
    return encodeCardPicture(picture, makeColourTable(colours));
}

EncodedRecord reencodeCardPicture(std::span<const uint8_t> record, int width, int height, int oldDepth,
                                  int newDepth, std::span<const uint8_t> newColourTable,
                                  const PictureOptions& options) {
    EncodedRecord result;
    if (!isPictureDepth(newDepth)) return result;
    DecodedPicture old = decodeCardPicture(record, width, height, oldDepth, options);
    if (!old.ok()) {
        result.status = old.status;
        return result;
    }
    std::vector<uint8_t> madeTable;
    if (newColourTable.empty()) {
        madeTable = PaletteToColourTable(nullptr, false, newDepth);
        newColourTable = madeTable;
    }
    const std::vector<uint32_t> colours = pictureColours(newColourTable, std::min(newDepth, 8), options.palette);
    auto converted = convertDepth(old.bitmap, newDepth, colours);
    if (!converted) return result;
    auto rec = buildRecord(*converted, newColourTable, record.data());
    if (!rec) {
        result.status = PictureStatus::TooLarge;
        return result;
    }
    result.status = PictureStatus::Ok;
    result.record = std::move(*rec);
    return result;
}

} // namespace cv
