#pragma once
// Masks of graphic objects (transparent pictures) and the outlines made from them.
//
// The mask lives in the object's trailing data: u16 width, u16 height (native in memory;
// both set from the object's rectangle on load when either is 0), two u16 cleared on load,
// then the mask: a 1-bit picture of that size as one PackBits stream of stored rows (each row
// padded to 16 pixels), a set bit marking a pixel of the picture.
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "stack/bitmap.h"

namespace cv {

constexpr size_t kTrailerHeaderBytes = 8;

// Decodes a mask from trailing data. NoPicture when the trailing data holds no mask bytes or
// a size of 0; Damaged when the stream does not make a whole mask.
DecodedPicture decodeMask(std::span<const uint8_t> trailing);

// The mask of a graphic object record (picture flag 0x02 and trailing data present).
DecodedPicture decodeObjectMask(std::span<const uint8_t> object);

// Trailing data holding `mask` (a 1-bit bitmap, set bits inside).
std::vector<uint8_t> encodeMaskTrailer(const Bitmap& mask);

// A new, empty 1-bit mask (colour 0 white, 1 black, so a mask shows as its shape in black).
Bitmap makeMask(int width, int height);

// Whether the mask has the pixel at (x, y) set; false outside it.
bool maskHit(const Bitmap& mask, int x, int y);

// The outline of a mask: its pixels that lie within `frameWidth` pixels (horizontally,
// vertically or diagonally) of a pixel outside it, the edges of the mask counting as outside.
// A 1-bit bitmap of the mask's size; empty for a frame width of 0 or less.
Bitmap makeOutline(const Bitmap& mask, int frameWidth);

} // namespace cv
