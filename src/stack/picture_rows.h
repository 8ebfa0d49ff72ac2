#pragma once
// Pictures as the two stored encodings of their rows: LZRW1 rows (one LZRW1 block per stored
// row, top row first; picture compression type 4) and one PackBits stream over all stored rows
// (type 6). Stored rows are padded to 16 pixels and hold 16- and 32-bit pixels big-endian;
// bitmaps hold them in native order, and these functions convert in both directions.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "stack/bitmap.h"

namespace cv {

// Decodes `source` into the bitmap's bits (made by MakeDIB with the picture's size and
// depth), top row first whatever the bitmap's row order. False when the data is damaged: a
// row block whose length field does not fit in what is left, or a block that does not decode
// to exactly one stored row. `consumed` receives the bytes used.
bool DecodeRowsLZRW1(Bitmap& dib, std::span<const uint8_t> source, size_t* consumed = nullptr);

// Decodes one PackBits stream of height x stored row bytes into the bitmap's bits; only the
// first bitmap-row bytes of each stored row are kept. False when the stream ends early or a
// run goes past the picture.
bool DecodePackBits(Bitmap& dib, std::span<const uint8_t> source, size_t* consumed = nullptr);

// Whether `compressedBytes` of data by either method could fill a picture of this size and
// depth at all: lets decoders of records refuse a hostile size before allocating for it.
bool couldFill(int width, int height, int depth, size_t compressedBytes, bool lzrw1Rows);

// The picture as LZRW1 rows; nullopt when a row's block would be longer than its 16-bit
// length field can say (stored rows of more than 65531 bytes).
std::optional<std::vector<uint8_t>> EncodeRowsLZRW1(const Bitmap& dib);

// The picture as one PackBits stream.
std::vector<uint8_t> EncodePackBits(const Bitmap& dib);

// The picture as stored rows (height x stored row bytes, top row first, padding bytes 0,
// multi-byte pixels big-endian): the uncompressed form both encoders start from.
std::vector<uint8_t> storedPicture(const Bitmap& dib);

// Sets the bitmap's bits from stored rows (as storedPicture makes them); `stored` must hold
// height x stored row bytes.
void loadStoredPicture(Bitmap& dib, const uint8_t* stored);

} // namespace cv
