#include "stack/picture_object.h"

#include <algorithm>
#include <cstring>

#include "core/byte_order.h"
#include "stack/colour_table.h"
#include "stack/picture_convert.h"
#include "stack/picture_rows.h"

namespace cv {

namespace {

bool namesFile(std::span<const uint8_t> object) {
    return object.size() >= kObjectFlagsOffset + 2 && (get16(object.data() + kObjectFlagsOffset) & kObjectFileFlag);
}

bool isGraphicObject(std::span<const uint8_t> object) {
    return object.size() >= 2 && get16(object.data()) == kGraphicObjectKind;
}

} // namespace

std::optional<GraphicPictureParts> parseGraphicPicture(std::span<const uint8_t> object) {
    if (object.size() < kObjectPictureOffset || !isGraphicObject(object) || namesFile(object))
        return std::nullopt;
    const uint8_t* o = object.data();
    const uint32_t length = get32(o + kObjectLengthOffset);
    if (length < kObjectPictureOffset || length > object.size()) return std::nullopt;
    size_t end = length;
    if (get16(o + kObjectFlagsOffset) & kRecordPadFlag) --end;
    if (end < kObjectPictureOffset) return std::nullopt;
    const uint32_t trailing = get32(o + kTrailingLengthOffset);
    if (trailing > end - kObjectPictureOffset) return std::nullopt;
    const int left = geti16(o + kPictureRectOffset), top = geti16(o + kPictureRectOffset + 2);
    const int right = geti16(o + kPictureRectOffset + 4), bottom = geti16(o + kPictureRectOffset + 6);
    if (right < left || bottom < top) return std::nullopt;
    GraphicPictureParts parts;
    parts.width = right - left;
    parts.height = bottom - top;
    parts.depth = get16(o + kObjectDepthOffset);
    parts.pictureFlags = get16(o + kPictureFlagsOffset);
    parts.data = object.subspan(kObjectPictureOffset, end - trailing - kObjectPictureOffset);
    parts.trailing = object.subspan(end - trailing, trailing);
    return parts;
}

DecodedPicture decodeObjectPicture(std::span<const uint8_t> object, std::span<const uint8_t> cardColourTable,
                                   const PictureOptions& options) {
    DecodedPicture result;
    if (object.size() >= 2 && (!isGraphicObject(object) || namesFile(object))) {
        result.status = PictureStatus::NoPicture;
        return result;
    }
    auto parts = parseGraphicPicture(object);
    if (!parts || !isPictureDepth(parts->depth)) return result;
    const bool rows = parts->pictureFlags & kPictureLzrw1Rows;
    if (!couldFill(parts->width, parts->height, parts->depth, parts->data.size(), rows)) return result;
    auto made = MakeDIB(parts->width, parts->height, parts->depth);
    if (!made) {
        result.status = PictureStatus::TooLarge;
        return result;
    }
    made->colours = pictureColours(cardColourTable, parts->depth, options.palette);
    const bool ok = rows ? DecodeRowsLZRW1(*made, parts->data) : DecodePackBits(*made, parts->data);
    if (!ok) return result;
    if (options.order == RowOrder::BottomUp) FlipRows(*made);
    result.status = PictureStatus::Ok;
    result.bitmap = std::move(*made);
    return result;
}

std::optional<std::vector<uint8_t>> encodeObjectPicture(const Bitmap& picture, bool lzrw1Rows) {
    if (!isPictureDepth(picture.depth)) return std::nullopt;
    if (lzrw1Rows) return EncodeRowsLZRW1(picture);
    return EncodePackBits(picture);
}

std::vector<uint8_t> spliceObjectPicture(std::span<const uint8_t> object, std::span<const uint8_t> data,
                                         std::span<const uint8_t> trailing) {
    std::vector<uint8_t> rec(object.begin(), object.begin() + std::min(object.size(), kObjectPictureOffset));
    rec.resize(kObjectPictureOffset, 0);
    rec.insert(rec.end(), data.begin(), data.end());
    rec.insert(rec.end(), trailing.begin(), trailing.end());
    uint16_t flags = get16(rec.data() + kObjectFlagsOffset) & ~kRecordPadFlag;
    // Records keep an even length, as the next object starts where this one ends.
    if (rec.size() & 1) {
        rec.push_back(0);
        flags |= kRecordPadFlag;
    }
    put16(rec.data() + kObjectFlagsOffset, flags);
    uint16_t pictureFlags = get16(rec.data() + kPictureFlagsOffset) & ~kPictureTrailing;
    if (!trailing.empty()) pictureFlags |= kPictureTrailing;
    put16(rec.data() + kPictureFlagsOffset, pictureFlags);
    put32(rec.data() + kObjectLengthOffset, static_cast<uint32_t>(rec.size()));
    put32(rec.data() + kTrailingLengthOffset, static_cast<uint32_t>(trailing.size()));
    return rec;
}

EncodedRecord reencodeObjectPicture(std::span<const uint8_t> object, std::span<const uint8_t> oldCardColourTable,
                                    int newDepth, std::span<const uint8_t> newColourTable,
                                    const PictureOptions& options) {
    EncodedRecord result;
    if (namesFile(object) && isGraphicObject(object)) {
        result.status = PictureStatus::Ok;
        result.record.assign(object.begin(), object.end());
        if (object.size() >= kObjectLengthOffset + 4)
            result.record.resize(std::min<size_t>(object.size(), get32(object.data() + kObjectLengthOffset)));
        return result;
    }
    if (!isPictureDepth(newDepth)) return result;
    PictureOptions topDown = options;
    topDown.order = RowOrder::TopDown;
    DecodedPicture old = decodeObjectPicture(object, oldCardColourTable, topDown);
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
    auto data = EncodeRowsLZRW1(*converted);
    if (!data) {
        result.status = PictureStatus::TooLarge;
        return result;
    }
    const auto parts = parseGraphicPicture(object);
    result.record = spliceObjectPicture(object, *data, parts->trailing);
    put16(result.record.data() + kObjectDepthOffset, static_cast<uint16_t>(newDepth));
    put16(result.record.data() + kPictureFlagsOffset,
          get16(result.record.data() + kPictureFlagsOffset) | kPictureLzrw1Rows);
    result.status = PictureStatus::Ok;
    return result;
}

} // namespace cv
