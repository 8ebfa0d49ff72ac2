#pragma once
// PackBits, the run-length method of pictures stored as one stream. A count byte c, read as
// signed: 0 to 127 copies the next c + 1 bytes; -1 to -128 repeats the next byte 1 - c times.
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace cv {

// Decodes from `in` until out is exactly full. Returns the number of input bytes used, or
// nothing (false) when the input ends first or a run would go past the end of `out`.
bool decodePackBitsStream(std::span<const uint8_t> in, std::span<uint8_t> out,
                          size_t* consumed = nullptr);

// Appends the encoding of `in` to `out`: runs of 2 to 128 equal bytes as repeats, the other
// bytes as literal runs of up to 128.
void encodePackBitsStream(std::span<const uint8_t> in, std::vector<uint8_t>& out);

// Most output n stream bytes can decode to (two bytes make at most 129).
inline size_t maxPackBitsOutput(size_t n) { return n / 2 * 129 + (n & 1); }

// More than the largest encoding of n bytes (the worst, single literals between pairs of equal
// bytes, takes 4 bytes for every 3).
inline size_t maxPackBitsBytes(size_t n) { return n + n / 2 + 16; }

} // namespace cv
