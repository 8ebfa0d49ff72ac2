#pragma once
// Card background pictures: the picture record a card of background mode 1 holds at its
// offset 96, read from and written to its in-memory form.
//
// Record: u16 setting at 0, u16 format at 2 (1, or 2 with a fill block), u16 flags at 10
// (0x200: the record ends with one pad byte), u32 length of the whole record at 12, u32 colour
// table length at 16 (these native in memory); from 24 the stored colour table, with format 2
// the 16-byte fill block, then one LZRW1 block to the end of the record.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "resources/default_palette.h"
#include "stack/bitmap.h"

namespace cv {

// In-memory card record fields a picture needs.
constexpr size_t kCardModeOffset = 6;
constexpr size_t kCardDepthOffset = 18;
constexpr size_t kCardWidthOffset = 20;
constexpr size_t kCardHeightOffset = 22;
constexpr size_t kCardPictureOffset = 96;
constexpr uint16_t kBackgroundOwnPicture = 1;

constexpr size_t kCardPictureHeaderBytes = 24;
constexpr size_t kFillBlockBytes = 16;
constexpr uint16_t kPictureFormatPlain = 1;
constexpr uint16_t kPictureFormatFilled = 2;
constexpr uint16_t kRecordPadFlag = 0x200;

// The fill block of format 2: the first topCount bytes of the stored picture repeat
// topPattern, the last bottomCount bytes repeat bottomPattern, aligned to the end.
struct FillBlock {
    uint8_t topPattern[4] = {0, 0, 0, 0};
    uint32_t topCount = 0;
    uint8_t bottomPattern[4] = {0, 0, 0, 0};
    uint32_t bottomCount = 0;
};

struct CardPictureParts {
    uint16_t setting = 0;
    uint16_t format = 0;
    uint16_t flags = 0;
    uint32_t length = 0;
    std::span<const uint8_t> colourTable;
    std::optional<FillBlock> fill;       // format 2 only
    std::span<const uint8_t> block;      // the LZRW1 block, less the pad byte
};

// Takes a picture record apart; `record` may run on past the record's end (the rest of the
// card). nullopt when the lengths in its header do not fit.
std::optional<CardPictureParts> parseCardPicture(std::span<const uint8_t> record);

// The picture record of a card record with background mode 1, cut to its length; empty for
// other modes or when it does not fit in the card record.
std::span<const uint8_t> cardPictureRecord(std::span<const uint8_t> card);
// The stored colour table of that picture record (empty when there is none): the table the
// card's graphic objects are shown with.
std::span<const uint8_t> cardColourTable(std::span<const uint8_t> card);

struct PictureOptions {
    RowOrder order = RowOrder::TopDown;
    // The palette whose first entries a picture without a colour table is shown with (the
    // identity table); the default palette when null.
    const Palette* palette = nullptr;
};

// Decodes a picture record into a bitmap of the card's size and depth. Formats other than 1
// and 2 give NoPicture. Data that does not fill the picture exactly gives Damaged.
DecodedPicture decodeCardPicture(std::span<const uint8_t> record, int width, int height, int depth,
                                 const PictureOptions& options = {});

// Decodes the background of a card record of mode 1 (the end of a background chain), with the
// size and depth of that record; NoPicture for other modes.
DecodedPicture decodeCardBackground(std::span<const uint8_t> card, const PictureOptions& options = {});

// A complete picture record (format 1) for the picture, with the given stored colour table.
// nullopt when the record would not fit its 32-bit length.
std::optional<std::vector<uint8_t>> encodeCardPicture(const Bitmap& picture,
                                                      std::span<const uint8_t> colourTable,
                                                      uint16_t setting = 0);
// The same with a colour table as the player makes them (16 entries at depth 4, else 256): the
// picture's colours, the rest black (depths up to 8), or the default palette (deeper pictures).
std::optional<std::vector<uint8_t>> encodeCardPicture(const Bitmap& picture);

struct EncodedRecord {
    PictureStatus status = PictureStatus::Damaged;
    std::vector<uint8_t> record;   // the new record when status is Ok
};

// The picture record again at `newDepth`, its colours matched to `newColourTable` (made from
// the default palette when empty), which it then carries. The setting and the bytes the
// record keeps unconverted are kept; the result is format 1.
EncodedRecord reencodeCardPicture(std::span<const uint8_t> record, int width, int height, int oldDepth,
                                  int newDepth, std::span<const uint8_t> newColourTable = {},
                                  const PictureOptions& options = {});

} // namespace cv
