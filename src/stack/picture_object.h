#pragma once
// Pictures of graphic objects (object kind 16), read from and written to the object record's
// in-memory form: u16 kind at 0, u32 record length at 12, u16 object flags at 22 (0x40 the
// picture is a file named at 80; 0x200 the record ends with a pad byte), u16 picture flags at
// 28 (0x10 LZRW1 rows, else one PackBits stream; 0x02 trailing data), the picture rectangle at
// 30 (i16 left, top, right, bottom; its size is the picture's), u16 depth at 54, u32 length of
// the trailing data at 60; the compressed picture from 80 up to the trailing data.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "stack/bitmap.h"
#include "stack/picture_card.h"

namespace cv {

constexpr uint16_t kGraphicObjectKind = 16;
constexpr size_t kObjectLengthOffset = 12;
constexpr size_t kObjectFlagsOffset = 22;
constexpr size_t kPictureFlagsOffset = 28;
constexpr size_t kPictureRectOffset = 30;
constexpr size_t kObjectDepthOffset = 54;
constexpr size_t kTrailingLengthOffset = 60;
constexpr size_t kObjectPictureOffset = 80;
constexpr uint16_t kObjectFileFlag = 0x40;
constexpr uint16_t kPictureLzrw1Rows = 0x10;
constexpr uint16_t kPictureTrailing = 0x02;

struct GraphicPictureParts {
    int width = 0;
    int height = 0;
    int depth = 0;
    uint16_t pictureFlags = 0;
    std::span<const uint8_t> data;       // the compressed picture
    std::span<const uint8_t> trailing;   // the trailing data (empty: none)
};

// Takes a graphic object record apart (the trailing data is the field at 60's length of bytes
// before the pad byte). nullopt when it is not a graphic object, names a file, or its lengths
// or picture rectangle do not fit.
std::optional<GraphicPictureParts> parseGraphicPicture(std::span<const uint8_t> object);

// Decodes the object's picture with the colour table of the card's background picture record
// (`cardColourTable`, empty for none: the identity table). NoPicture for an object that names
// a picture file or is not a graphic object.
DecodedPicture decodeObjectPicture(std::span<const uint8_t> object, std::span<const uint8_t> cardColourTable,
                                   const PictureOptions& options = {});

// The compressed picture data for a graphic object: LZRW1 rows (set picture flag 0x10) or one
// PackBits stream. nullopt when LZRW1 rows cannot hold a row of this width.
std::optional<std::vector<uint8_t>> encodeObjectPicture(const Bitmap& picture, bool lzrw1Rows);

// The object record again with its picture at `newDepth`, matched to `newColourTable` (the
// card's new table; made from the default palette when empty): always LZRW1 rows with
// picture flag 0x10 set, depth and lengths updated, the trailing data kept after the new
// picture data. An object naming a picture file comes back unchanged.
EncodedRecord reencodeObjectPicture(std::span<const uint8_t> object, std::span<const uint8_t> oldCardColourTable,
                                    int newDepth, std::span<const uint8_t> newColourTable = {},
                                    const PictureOptions& options = {});

// Replaces the object's picture data with `data` (and the trailing data with `trailing`),
// setting the length, pad flag and trailing length fields: the one place that splices a
// graphic object record. `object` must hold at least its 80-byte fixed part.
std::vector<uint8_t> spliceObjectPicture(std::span<const uint8_t> object, std::span<const uint8_t> data,
                                         std::span<const uint8_t> trailing);

} // namespace cv
