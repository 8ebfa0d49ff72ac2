#include "stack/picture_convert.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <vector>

namespace cv {

namespace {

inline uint32_t expand555(uint32_t v) {
    uint32_t r = (v >> 10) & 31, g = (v >> 5) & 31, b = v & 31;
    r = (r << 3) | (r >> 2);
    g = (g << 3) | (g >> 2);
    b = (b << 3) | (b >> 2);
    return 0xFF000000u | (r << 16) | (g << 8) | b;
}

// One 256-entry lookup for indexed pictures, whatever the size of their colour table.
std::array<uint32_t, 256> colourLookup(const Bitmap& src) {
    std::array<uint32_t, 256> lut;
    lut.fill(0xFF000000u);
    const size_t n = std::min<size_t>(src.colours.size(), 256);
    for (size_t i = 0; i < n; ++i) lut[i] = src.colours[i] | 0xFF000000u;
    return lut;
}

// Expands a row of 1-, 2- or 4-bit pixels, most significant bits first.
template <int Depth>
void expandPacked(const uint8_t* row, int width, const uint32_t* lut, uint32_t* dst) {
    constexpr int perByte = 8 / Depth;
    constexpr unsigned mask = (1u << Depth) - 1;
    const int whole = width / perByte;
    for (int i = 0; i < whole; ++i) {
        const unsigned b = row[i];
        for (int k = 0; k < perByte; ++k) dst[k] = lut[(b >> (8 - Depth * (k + 1))) & mask];
        dst += perByte;
    }
    const int rest = width - whole * perByte;
    if (rest) {
        const unsigned b = row[whole];
        for (int k = 0; k < rest; ++k) dst[k] = lut[(b >> (8 - Depth * (k + 1))) & mask];
    }
}

void rowToRgb32(const Bitmap& src, const uint8_t* row, const uint32_t* lut, uint32_t* dst) {
    const int w = src.width;
    switch (src.depth) {
    case 1: expandPacked<1>(row, w, lut, dst); break;
    case 2: expandPacked<2>(row, w, lut, dst); break;
    case 4: expandPacked<4>(row, w, lut, dst); break;
    case 8:
        for (int x = 0; x < w; ++x) dst[x] = lut[row[x]];
        break;
    case 16:
        for (int x = 0; x < w; ++x) {
            uint16_t v;
            std::memcpy(&v, row + 2 * x, 2);
            dst[x] = expand555(v);
        }
        break;
    case 32:
        for (int x = 0; x < w; ++x) {
            uint32_t v;
            std::memcpy(&v, row + 4 * x, 4);
            dst[x] = v | 0xFF000000u;
        }
        break;
    default:
        std::fill(dst, dst + w, 0xFF000000u);
        break;
    }
}

// Nearest-colour search with a small direct-mapped cache: pictures hold few distinct colours.
class NearestColour {
public:
    explicit NearestColour(std::span<const uint32_t> colours) : colours_(colours) {
        keys_.fill(0);
    }
    uint8_t operator()(uint32_t rgb) {
        rgb &= 0xFFFFFFu;
        const uint32_t slot = ((rgb * 2654435761u) >> 20) & 4095u;
        if (keys_[slot] == rgb + 1) return values_[slot];
        const int r = (rgb >> 16) & 0xFF, g = (rgb >> 8) & 0xFF, b = rgb & 0xFF;
        uint32_t best = 0, bestDistance = UINT32_MAX;
        for (size_t i = 0; i < colours_.size(); ++i) {
            const uint32_t c = colours_[i];
            const int dr = int((c >> 16) & 0xFF) - r, dg = int((c >> 8) & 0xFF) - g, db = int(c & 0xFF) - b;
            const uint32_t d = uint32_t(dr * dr + dg * dg + db * db);
            if (d < bestDistance) {
                bestDistance = d;
                best = static_cast<uint32_t>(i);
                if (d == 0) break;
            }
        }
        keys_[slot] = rgb + 1;
        values_[slot] = static_cast<uint8_t>(best);
        return values_[slot];
    }

private:
    std::span<const uint32_t> colours_;
    std::array<uint32_t, 4096> keys_;
    std::array<uint8_t, 4096> values_{};
};

} // namespace

void convertToRgb32(const Bitmap& src, uint32_t* dst, size_t dstStridePixels) {
    const auto lut = colourLookup(src);
    for (int y = 0; y < src.height; ++y)
        rowToRgb32(src, src.row(y), lut.data(), dst + dstStridePixels * static_cast<size_t>(y));
}

Bitmap toRgb32(const Bitmap& src) {
    Bitmap out;
    out.width = std::max(src.width, 0);
    out.height = std::max(src.height, 0);
    out.depth = 32;
    out.stride = dibRowBytes(out.width, 32);
    out.bits.resize(out.byteCount());
    if (!src.empty())
        convertToRgb32(src, reinterpret_cast<uint32_t*>(out.bits.data()), static_cast<size_t>(out.width));
    return out;
}

std::optional<Bitmap> convertDepth(const Bitmap& src, int depth, std::span<const uint32_t> colours) {
    auto made = MakeDIB(src.width, src.height, depth);
    if (!made) return std::nullopt;
    Bitmap& dst = *made;
    std::span<const uint32_t> candidates;
    if (depth <= 8) {
        candidates = colours.first(std::min(colours.size(), dst.colours.size()));
        if (candidates.empty()) return std::nullopt;
        for (size_t i = 0; i < candidates.size(); ++i) dst.colours[i] = candidates[i] | 0xFF000000u;
    }
    const auto lut = colourLookup(src);
    std::vector<uint32_t> rgb(static_cast<size_t>(src.width));
    NearestColour nearest(candidates);
    for (int y = 0; y < src.height; ++y) {
        rowToRgb32(src, src.row(y), lut.data(), rgb.data());
        uint8_t* row = dst.row(y);
        switch (depth) {
        case 8:
            for (int x = 0; x < src.width; ++x) row[x] = nearest(rgb[x]);
            break;
        case 16:
            for (int x = 0; x < src.width; ++x) {
                const uint32_t c = rgb[x];
                const uint16_t v = static_cast<uint16_t>(((c >> 19) & 31) << 10 | ((c >> 11) & 31) << 5 | ((c >> 3) & 31));
                std::memcpy(row + 2 * x, &v, 2);
            }
            break;
        case 32:
            if (!rgb.empty()) std::memcpy(row, rgb.data(), rgb.size() * 4);
            break;
        default:
            for (int x = 0; x < src.width; ++x) dst.setPixel(x, y, nearest(rgb[x]));
            break;
        }
    }
    return dst;
}

} // namespace cv
