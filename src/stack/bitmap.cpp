#include "stack/bitmap.h"

#include <algorithm>
#include <cstring>

namespace cv {

bool isPictureDepth(int depth) {
    return depth == 1 || depth == 2 || depth == 4 || depth == 8 || depth == 16 || depth == 32;
}

uint32_t Bitmap::pixel(int x, int y) const {
    const uint8_t* r = row(y);
    switch (depth) {
    case 1: return (r[x >> 3] >> (7 - (x & 7))) & 1;
    case 2: return (r[x >> 2] >> (6 - 2 * (x & 3))) & 3;
    case 4: return (r[x >> 1] >> ((x & 1) ? 0 : 4)) & 15;
    case 8: return r[x];
    case 16: { uint16_t v; std::memcpy(&v, r + 2 * x, 2); return v; }
    case 32: { uint32_t v; std::memcpy(&v, r + 4 * x, 4); return v; }
    default: return 0;
    }
}

void Bitmap::setPixel(int x, int y, uint32_t value) {
    uint8_t* r = row(y);
    auto setBits = [&](size_t byte, int shift, uint32_t mask) {
        r[byte] = static_cast<uint8_t>((r[byte] & ~(mask << shift)) | ((value & mask) << shift));
    };
    switch (depth) {
    case 1: setBits(x >> 3, 7 - (x & 7), 1); break;
    case 2: setBits(x >> 2, 6 - 2 * (x & 3), 3); break;
    case 4: setBits(x >> 1, (x & 1) ? 0 : 4, 15); break;
    case 8: r[x] = static_cast<uint8_t>(value); break;
    case 16: { uint16_t v = static_cast<uint16_t>(value); std::memcpy(r + 2 * x, &v, 2); break; }
    case 32: std::memcpy(r + 4 * x, &value, 4); break;
    default: break;
    }
}

std::optional<Bitmap> MakeDIB(int width, int height, int depth, RowOrder order) {
    if (!isPictureDepth(depth) || width < 0 || height < 0) return std::nullopt;
    const size_t stride = dibRowBytes(width, depth);
    // Decoders work in the stored row layout before repacking, so both must fit the cap.
    const size_t widest = std::max(stride, storedRowBytes(width, depth));
    if (height > 0 && widest > kMaxPictureBytes / static_cast<size_t>(height)) return std::nullopt;
    if (height > 0 && static_cast<size_t>(width) > kMaxPicturePixels / static_cast<size_t>(height)) return std::nullopt;
    Bitmap b;
    b.width = width;
    b.height = height;
    b.depth = depth;
    b.stride = stride;
    b.order = order;
    b.bits.assign(stride * static_cast<size_t>(height), 0);
    if (depth <= 8) b.colours.assign(size_t(1) << depth, 0xFF000000u);
    return b;
}

void FlipRows(Bitmap& b) {
    if (b.height > 1 && b.stride > 0) {
        std::vector<uint8_t> tmp(b.stride);
        uint8_t* top = b.bits.data();
        uint8_t* bottom = b.bits.data() + b.stride * static_cast<size_t>(b.height - 1);
        for (; top < bottom; top += b.stride, bottom -= b.stride) {
            std::memcpy(tmp.data(), top, b.stride);
            std::memcpy(top, bottom, b.stride);
            std::memcpy(bottom, tmp.data(), b.stride);
        }
    }
    b.order = b.order == RowOrder::TopDown ? RowOrder::BottomUp : RowOrder::TopDown;
}

void fixPixelByteOrder(uint8_t* data, size_t bytes, int depth) {
    if (depth == 16) {
        for (size_t i = 0; i + 2 <= bytes; i += 2) {
            uint16_t v;
            std::memcpy(&v, data + i, 2);
            v = __builtin_bswap16(v);
            std::memcpy(data + i, &v, 2);
        }
    } else if (depth == 32) {
        for (size_t i = 0; i + 4 <= bytes; i += 4) {
            uint32_t v;
            std::memcpy(&v, data + i, 4);
            v = __builtin_bswap32(v);
            std::memcpy(data + i, &v, 4);
        }
    }
}

void fixPixelByteOrder(Bitmap& b) { fixPixelByteOrder(b.bits.data(), b.bits.size(), b.depth); }

void repackRows(uint8_t* data, size_t rows, size_t from, size_t to) {
    if (from == to || rows == 0) return;
    if (to < from) {
        // Rows shrink: move forward, each row's target lies at or before its source.
        for (size_t y = 1; y < rows; ++y) std::memmove(data + y * to, data + y * from, to);
    } else {
        // Rows grow: move backward so no row is overwritten before it is moved.
        for (size_t y = rows; y-- > 0;) {
            std::memmove(data + y * to, data + y * from, from);
            std::memset(data + y * to + from, kRowPadByte, to - from);
        }
    }
}

} // namespace cv
