#include "stack/picture_rows.h"

#include <algorithm>
#include <cstring>

#include "core/byte_order.h"
#include "stack/lzrw1.h"
#include "stack/packbits.h"

namespace cv {

namespace {

// Copies one stored row into a bitmap row: the first bitmap-row bytes of it, padded when the
// stored row is the shorter one.
inline void putRow(uint8_t* dst, size_t stride, const uint8_t* src, size_t storedRow) {
    const size_t n = std::min(stride, storedRow);
    if (n) std::memcpy(dst, src, n);
    if (stride > n) std::memset(dst + n, kRowPadByte, stride - n);
}

// Copies one bitmap row into a stored row, big-endian pixels, padding 0.
inline void getRow(uint8_t* dst, size_t storedRow, const uint8_t* src, size_t stride, int depth) {
    const size_t n = std::min(stride, storedRow);
    if (n) std::memcpy(dst, src, n);
    if (storedRow > n) std::memset(dst + n, 0, storedRow - n);
    fixPixelByteOrder(dst, n, depth);
}

} // namespace

namespace {
bool wellFormed(const Bitmap& dib) {
    return isPictureDepth(dib.depth) && dib.width >= 0 && dib.height >= 0 &&
           dib.stride == dibRowBytes(dib.width, dib.depth) && dib.bits.size() >= dib.byteCount();
}
} // namespace

bool DecodeRowsLZRW1(Bitmap& dib, std::span<const uint8_t> source, size_t* consumed) {
    if (!wellFormed(dib)) return false;
    const size_t storedRow = storedRowBytes(dib.width, dib.depth);
    // The row buffer has room for the decoder's unchecked path right up to the row's end.
    std::vector<uint8_t> rowBuf(storedRow + kLzrw1GroupRoom);
    size_t at = 0;
    for (int y = 0; y < dib.height; ++y) {
        const size_t left = source.size() - at;
        if (left < kLzrw1HeaderBytes) return false;
        const size_t len = loadBE16(source.data() + at + 2);
        if (len < kLzrw1HeaderBytes || len > left) return false;
        if (!decodeLzrw1Block(source.subspan(at, len), rowBuf.data(), 0, storedRow, kLzrw1GroupRoom))
            return false;
        putRow(dib.row(y), dib.stride, rowBuf.data(), storedRow);
        at += len;
    }
    fixPixelByteOrder(dib);
    if (consumed) *consumed = at;
    return true;
}

bool DecodePackBits(Bitmap& dib, std::span<const uint8_t> source, size_t* consumed) {
    if (!wellFormed(dib)) return false;
    const size_t storedRow = storedRowBytes(dib.width, dib.depth);
    const size_t total = storedRow * static_cast<size_t>(dib.height);
    if (storedRow == dib.stride && dib.order == RowOrder::TopDown) {
        if (!decodePackBitsStream(source, std::span<uint8_t>(dib.bits.data(), total), consumed))
            return false;
    } else {
        std::vector<uint8_t> stored(total);
        if (!decodePackBitsStream(source, stored, consumed)) return false;
        for (int y = 0; y < dib.height; ++y)
            putRow(dib.row(y), dib.stride, stored.data() + storedRow * static_cast<size_t>(y), storedRow);
    }
    fixPixelByteOrder(dib);
    return true;
}

bool couldFill(int width, int height, int depth, size_t compressedBytes, bool lzrw1Rows) {
    if (width < 0 || height < 0) return false;
    const size_t total = storedRowBytes(width, depth) * static_cast<size_t>(height);
    if (lzrw1Rows)
        return static_cast<size_t>(height) <= compressedBytes / kLzrw1HeaderBytes &&
               total <= maxLzrw1Output(compressedBytes);
    return total <= maxPackBitsOutput(compressedBytes);
}

std::vector<uint8_t> storedPicture(const Bitmap& dib) {
    const size_t storedRow = storedRowBytes(dib.width, dib.depth);
    std::vector<uint8_t> stored(storedRow * static_cast<size_t>(std::max(dib.height, 0)));
    for (int y = 0; y < dib.height; ++y)
        getRow(stored.data() + storedRow * static_cast<size_t>(y), storedRow, dib.row(y), dib.stride,
               dib.depth);
    return stored;
}

void loadStoredPicture(Bitmap& dib, const uint8_t* stored) {
    const size_t storedRow = storedRowBytes(dib.width, dib.depth);
    for (int y = 0; y < dib.height; ++y)
        putRow(dib.row(y), dib.stride, stored + storedRow * static_cast<size_t>(y), storedRow);
    fixPixelByteOrder(dib);
}

std::optional<std::vector<uint8_t>> EncodeRowsLZRW1(const Bitmap& dib) {
    const size_t storedRow = storedRowBytes(dib.width, dib.depth);
    if (dib.height > 0 && maxLzrw1BlockBytes(storedRow) > 0xFFFF) return std::nullopt;
    std::vector<uint8_t> rowBuf(storedRow);
    std::vector<uint8_t> out;
    out.reserve(storedRow * static_cast<size_t>(std::max(dib.height, 0)) / 4 + 64);
    Lzrw1Encoder encoder;
    for (int y = 0; y < dib.height; ++y) {
        getRow(rowBuf.data(), storedRow, dib.row(y), dib.stride, dib.depth);
        encoder.encode(rowBuf, out);
    }
    return out;
}

std::vector<uint8_t> EncodePackBits(const Bitmap& dib) {
    const std::vector<uint8_t> stored = storedPicture(dib);
    std::vector<uint8_t> out;
    out.reserve(stored.size() / 4 + 64);
    encodePackBitsStream(stored, out);
    return out;
}

} // namespace cv
