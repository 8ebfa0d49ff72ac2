#pragma once
// LZRW1 blocks, the compression of card pictures and of pictures stored as rows.
//
// A block: byte 0 a flag (1: the data follows uncompressed; otherwise compressed), byte 1 zero,
// bytes 2-3 the block's length big-endian (read only for picture rows), then the data from
// byte 4. Compressed data is a run of groups: a 16-bit control word, low byte first, then up to
// 16 items from its lowest bit up; a clear bit is a literal byte, a set bit a two-byte copy item
// b0 b1 of (b0 & 0x0F) + 3 bytes from (b0 >> 4) * 256 + b1 bytes back in the output.
#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace cv {

constexpr size_t kLzrw1HeaderBytes = 4;
constexpr uint8_t kLzrw1FlagCompressed = 0;
constexpr uint8_t kLzrw1FlagCopy = 1;

// Output room the decoder's unchecked path needs ahead of it: a full group of 16 longest copy
// items, plus the few bytes its word-sized copies may write past an item.
constexpr size_t kLzrw1GroupRoom = 16 * 18 + 8;

// Decodes one block into out[start, end); copy items may reach back to out[0]. The block must
// fill that range exactly: data that ends early or would run past `end`, a copy item reaching
// before out[0] or of offset 0, or a block shorter than its header is damage (false).
// `slack` bytes after `end` are scratch the decoder may scribble on (pass the room available
// up to kLzrw1GroupRoom to keep the fast path running up to the end of the output).
bool decodeLzrw1Block(std::span<const uint8_t> block, uint8_t* out, size_t start, size_t end,
                      size_t slack = 0);

// Decodes one block so that it fills `out` exactly.
inline bool decodeLzrw1(std::span<const uint8_t> block, std::span<uint8_t> out) {
    return decodeLzrw1Block(block, out.data(), 0, out.size());
}

// Most output a block of this many bytes can decode to (a two-byte copy item makes at most
// 18 bytes): lets callers refuse a picture its data cannot fill before allocating it.
inline size_t maxLzrw1Output(size_t blockBytes) {
    return blockBytes < kLzrw1HeaderBytes ? 0 : (blockBytes - kLzrw1HeaderBytes) * 9;
}

// Largest block the encoder makes for n input bytes.
inline size_t maxLzrw1BlockBytes(size_t n) { return kLzrw1HeaderBytes + n; }

// The encoder keeps its 4096-entry hash table between blocks; entries left by an earlier block
// are never taken as matches, so each block comes out as from a fresh encoder.
class Lzrw1Encoder {
public:
    Lzrw1Encoder() { table_.fill(0); }
    // Appends one block holding `in` to `out` and returns the block's length. Bytes 2-3 hold
    // the low 16 bits of that length.
    size_t encode(std::span<const uint8_t> in, std::vector<uint8_t>& out);

private:
    std::array<uint32_t, 4096> table_;
    uint32_t base_ = 1; // table entries below this belong to earlier blocks
};

// One block for `in`, from a fresh encoder.
std::vector<uint8_t> encodeLzrw1(std::span<const uint8_t> in);

} // namespace cv
