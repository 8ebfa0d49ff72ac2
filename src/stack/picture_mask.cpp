#include "stack/picture_mask.h"

#include <algorithm>

#include "core/byte_order.h"
#include "stack/packbits.h"
#include "stack/picture_object.h"
#include "stack/picture_rows.h"

namespace cv {

Bitmap makeMask(int width, int height) {
    auto made = MakeDIB(std::max(width, 0), std::max(height, 0), 1);
    if (!made) return {};
    made->colours = {0xFFFFFFFFu, 0xFF000000u};
    return std::move(*made);
}

bool maskHit(const Bitmap& mask, int x, int y) {
    if (mask.depth != 1 || x < 0 || y < 0 || x >= mask.width || y >= mask.height) return false;
    return mask.pixel(x, y) != 0;
}

DecodedPicture decodeMask(std::span<const uint8_t> trailing) {
    DecodedPicture result;
    if (trailing.size() <= kTrailerHeaderBytes) {
        result.status = PictureStatus::NoPicture;
        return result;
    }
    const int width = get16(trailing.data()), height = get16(trailing.data() + 2);
    if (width == 0 || height == 0) {
        result.status = PictureStatus::NoPicture;
        return result;
    }
    const auto data = trailing.subspan(kTrailerHeaderBytes);
    if (!couldFill(width, height, 1, data.size(), false)) return result;
    auto made = MakeDIB(width, height, 1);
    if (!made) {
        result.status = PictureStatus::TooLarge;
        return result;
    }
    made->colours = {0xFFFFFFFFu, 0xFF000000u};
    if (!DecodePackBits(*made, data)) return result;
    result.status = PictureStatus::Ok;
    result.bitmap = std::move(*made);
    return result;
}

DecodedPicture decodeObjectMask(std::span<const uint8_t> object) {
    auto parts = parseGraphicPicture(object);
    if (!parts) return {};
    if (!(parts->pictureFlags & kPictureTrailing) || parts->trailing.empty()) {
        DecodedPicture none;
        none.status = PictureStatus::NoPicture;
        return none;
    }
    return decodeMask(parts->trailing);
}

std::vector<uint8_t> encodeMaskTrailer(const Bitmap& mask) {
    std::vector<uint8_t> t(kTrailerHeaderBytes, 0);
    put16(t.data(), static_cast<uint16_t>(mask.width));
    put16(t.data() + 2, static_cast<uint16_t>(mask.height));
    const std::vector<uint8_t> data = EncodePackBits(mask);
    t.insert(t.end(), data.begin(), data.end());
    return t;
}

Bitmap makeOutline(const Bitmap& mask, int frameWidth) {
    if (frameWidth <= 0 || mask.depth != 1 || mask.empty()) return {};
    const int w = mask.width, h = mask.height;
    const int r = std::min(frameWidth, std::max(w, h));
    std::vector<uint8_t> in(static_cast<size_t>(w) * h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) in[static_cast<size_t>(y) * w + x] = static_cast<uint8_t>(mask.pixel(x, y));

    // Erosion by a square of radius r, one direction at a time: a pixel survives a pass when
    // the run of set pixels through it reaches r further on both sides.
    auto erode = [r](const uint8_t* src, uint8_t* dst, int n, size_t step) {
        std::vector<int> before(static_cast<size_t>(n));
        int run = 0;
        for (int i = 0; i < n; ++i) {
            run = src[i * step] ? run + 1 : 0;
            before[i] = run;
        }
        run = 0;
        for (int i = n - 1; i >= 0; --i) {
            run = src[i * step] ? run + 1 : 0;
            dst[i * step] = before[i] > r && run > r;
        }
    };
    std::vector<uint8_t> across(in.size()), eroded(in.size());
    for (int y = 0; y < h; ++y) erode(&in[static_cast<size_t>(y) * w], &across[static_cast<size_t>(y) * w], w, 1);
    for (int x = 0; x < w; ++x) erode(&across[x], &eroded[x], h, static_cast<size_t>(w));

    Bitmap outline = makeMask(w, h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const size_t i = static_cast<size_t>(y) * w + x;
            if (in[i] && !eroded[i]) outline.setPixel(x, y, 1);
        }
    return outline;
}

} // namespace cv
