#pragma once
// The plain bitmap every picture is decoded into: the device-independent bitmap of the original
// program, kept so that the player can wrap it without copying (rows 4-byte aligned; 8-bit
// pictures as indexed images, 16-bit as RGB555 and 32-bit as RGB32, both in native order).
#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

namespace cv {

enum class RowOrder : uint8_t { TopDown, BottomUp };

// The largest pixel buffer a picture may claim. Cards are screen-sized; a record asking for
// more than this is treated as damaged rather than allowed to exhaust memory.
constexpr size_t kMaxPictureBytes = size_t(64) << 20;
// The most pixels a picture may have: a largest card (4096 x 4096), whatever its depth, so
// that a 1-bit picture cannot become a screen image 32 times its stored size.
constexpr size_t kMaxPicturePixels = size_t(4096) * 4096;

// Depths a picture may have: 1, 2, 4, 8, 16 or 32 bits per pixel.
bool isPictureDepth(int depth);

// Bytes of one stored row: padded to a multiple of 16 pixels, as on the Macintosh.
inline size_t storedRowBytes(int width, int depth) {
    return (static_cast<size_t>(width) + 15) / 16 * 2 * static_cast<size_t>(depth);
}
// Bytes of one bitmap row: the Windows DIB stride, a multiple of 4.
inline size_t dibRowBytes(int width, int depth) {
    return (static_cast<size_t>(depth) * static_cast<size_t>(width) + 31) / 32 * 4;
}

struct Bitmap {
    int width = 0;
    int height = 0;
    int depth = 0;               // 1, 2, 4, 8, 16 or 32
    size_t stride = 0;           // dibRowBytes(width, depth)
    RowOrder order = RowOrder::TopDown;
    std::vector<uint8_t> bits;   // stride * height bytes; 16- and 32-bit pixels in native order
    std::vector<uint32_t> colours; // 0xFFRRGGBB, 2^depth entries for depths up to 8, else none

    bool empty() const { return width <= 0 || height <= 0; }
    size_t byteCount() const { return stride * static_cast<size_t>(height); }
    // Row y of the picture, 0 being the top, whatever the row order in memory.
    uint8_t* row(int y) {
        return bits.data() + stride * static_cast<size_t>(order == RowOrder::TopDown ? y : height - 1 - y);
    }
    const uint8_t* row(int y) const {
        return bits.data() + stride * static_cast<size_t>(order == RowOrder::TopDown ? y : height - 1 - y);
    }
    // The pixel value at (x, y): a colour index for depths up to 8, the native pixel above.
    uint32_t pixel(int x, int y) const;
    void setPixel(int x, int y, uint32_t value);
};

// A new bitmap with zeroed bits and, for depths up to 8, a colour table of 2^depth black
// entries; nullopt for a depth that is not a picture depth, a negative size, or a picture
// larger than kMaxPictureBytes or kMaxPicturePixels.
std::optional<Bitmap> MakeDIB(int width, int height, int depth, RowOrder order = RowOrder::TopDown);

// Exchanges rows top for bottom in memory and switches the row order, so the picture seen
// through row() is unchanged: this is how a top-down bitmap becomes a bottom-up one.
void FlipRows(Bitmap& bitmap);

// Swaps the bytes of every 16-bit pixel, or reverses those of every 32-bit pixel: between the
// stored (big-endian) and native order. Its own inverse; other depths are left alone.
void fixPixelByteOrder(Bitmap& bitmap);
void fixPixelByteOrder(uint8_t* data, size_t bytes, int depth);

// Copies rows of `from` bytes to rows of `to` bytes within one buffer holding `rows` rows,
// in place. Longer rows are padded with kRowPadByte. The buffer must hold rows * max(from, to).
void repackRows(uint8_t* data, size_t rows, size_t from, size_t to);

// Where a stored row is shorter than the bitmap row, the rest of the bitmap row is this byte:
// 0, white in the Macintosh colour tables that stored pictures use.
constexpr uint8_t kRowPadByte = 0;

// How a picture decoder ended.
enum class PictureStatus : uint8_t {
    Ok,
    NoPicture,  // the record holds no picture this decoder draws (a format it does not know)
    Damaged,    // the record or its compressed data is damaged; the caller shows white instead
    TooLarge,   // the picture would need more than kMaxPictureBytes
};

struct DecodedPicture {
    PictureStatus status = PictureStatus::Damaged;
    Bitmap bitmap;   // empty unless status is Ok
    bool ok() const { return status == PictureStatus::Ok; }
};

} // namespace cv
