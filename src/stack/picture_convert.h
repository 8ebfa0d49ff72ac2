#pragma once
// Converting bitmaps: to the 32-bit screen format, and between depths (when a stack's depth
// changes and its pictures are written again).
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

#include "stack/bitmap.h"

namespace cv {

// Writes the picture as 0xFFRRGGBB pixels, top row first, into `dst` (rows of
// `dstStridePixels` pixels, at least the picture's width). Colour indices without an entry
// in the bitmap's colour table are black.
void convertToRgb32(const Bitmap& src, uint32_t* dst, size_t dstStridePixels);

// The picture in the screen format: a top-down 32-bit bitmap of 0xFFRRGGBB pixels.
Bitmap toRgb32(const Bitmap& src);

// The picture at another depth. For depths up to 8 each pixel takes the nearest (in RGB
// distance, the lowest index on a tie) of `colours`, which become the new colour table; 16-bit
// pixels keep the top 5 bits of each component; 32-bit pixels are 0xFFRRGGBB. nullopt for a
// depth that is not a picture depth, or no colours for an indexed depth.
std::optional<Bitmap> convertDepth(const Bitmap& src, int depth, std::span<const uint32_t> colours);

} // namespace cv
