#pragma once
// 'PPak' picture records (the pictures of the animation engine) and PixPak_Decompress.
//
// Record, big-endian: u32 'PPak', u32 total length, u16 version 100, u16 width, u16 height,
// u16 depth, u32 0, u32 picture setting, u16 compression type (4 LZRW1 rows, 6 PackBits),
// u32 colour table length, u32 compressed data length, 24 bytes kept as they are; from 58 the
// colour table, then the compressed picture.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "resources/default_palette.h"
#include "stack/bitmap.h"

namespace cv {

constexpr uint32_t kPPakType = 0x5050616B; // 'PPak'
constexpr size_t kPPakHeaderBytes = 58;
constexpr uint16_t kPPakVersion = 100;
constexpr int kPixPakRowsLZRW1 = 4;
constexpr int kPixPakPackBits = 6;

struct PPakHeader {
    uint32_t length = 0;
    uint16_t version = 0;
    uint16_t width = 0;
    uint16_t height = 0;
    uint16_t depth = 0;
    uint32_t setting = 0;
    uint16_t type = 0;
    std::span<const uint8_t> colourTable;
    std::span<const uint8_t> data;
};

// Reads a 'PPak' header. nullopt when the record is not a 'PPak', its length field differs
// from `expectedLength` (or from the bytes given), or its parts do not fit in it.
std::optional<PPakHeader> parsePPak(std::span<const uint8_t> record, uint32_t expectedLength);

// The image PixPak_Decompress draws into: the size, depth and palette it is made with, and its
// bitmap in the screen format (32-bit, top-down), made on the first decompression.
struct PixImage {
    int width = 0;
    int height = 0;
    int depth = 0;
    Palette palette;
    std::optional<Bitmap> bitmap;
};

// Decodes `data` of compression `type` into the image's bitmap: 0, or -1 on failure. An
// unknown type shows the message box "Unknown PixPak_Decompress type".
int PixPak_Decompress(PixImage& image, std::span<const uint8_t> data, int type);

// Decodes a whole 'PPak' record into a screen-format bitmap, with the record's colour table
// or, without one, `palette` (the default palette when null).
DecodedPicture decodePPak(std::span<const uint8_t> record, uint32_t expectedLength,
                          const Palette* palette = nullptr);

// A 'PPak' record for the picture, with its colour table (depths up to 8), compressed by
// `type` (4 or 6). nullopt for another type or a picture the method cannot hold.
std::optional<std::vector<uint8_t>> encodePPak(const Bitmap& picture, int type, uint32_t setting = 0);

} // namespace cv
