#include "stack/ppak.h"

#include <algorithm>
#include <cstring>

#include "core/byte_order.h"
#include "core/ui.h"
#include "stack/colour_table.h"
#include "stack/picture_convert.h"
#include "stack/picture_rows.h"

namespace cv {

std::optional<PPakHeader> parsePPak(std::span<const uint8_t> record, uint32_t expectedLength) {
    BeReader r(record);
    if (r.u32() != kPPakType) return std::nullopt;
    PPakHeader h;
    h.length = r.u32();
    h.version = r.u16();
    h.width = r.u16();
    h.height = r.u16();
    h.depth = r.u16();
    r.u32();
    h.setting = r.u32();
    h.type = r.u16();
    const uint32_t tableLength = r.u32();
    const uint32_t dataLength = r.u32();
    r.skip(24);
    if (!r.ok() || h.length != expectedLength || h.length > record.size()) return std::nullopt;
    BeReader body(record.first(h.length));
    body.seek(kPPakHeaderBytes);
    h.colourTable = body.bytes(tableLength);
    h.data = body.bytes(dataLength);
    if (!body.ok()) return std::nullopt;
    return h;
}

int PixPak_Decompress(PixImage& image, std::span<const uint8_t> data, int type) {
    if (type != kPixPakRowsLZRW1 && type != kPixPakPackBits) {
        ui().messageBox("PixPak_Decompress", "Unknown PixPak_Decompress type");
        return -1;
    }
    if (!couldFill(image.width, image.height, image.depth, data.size(), type == kPixPakRowsLZRW1)) return -1;
    auto dib = MakeDIB(image.width, image.height, image.depth);
    if (!dib) return -1;
    if (image.depth == 1) {
        dib->colours = {0xFF000000u, 0xFFFFFFFFu};
    } else if (image.depth <= 8) {
        const size_t n = std::min(dib->colours.size(), image.palette.size());
        for (size_t i = 0; i < n; ++i) dib->colours[i] = paletteColour(image.palette[i]);
    }
    const bool ok = type == kPixPakRowsLZRW1 ? DecodeRowsLZRW1(*dib, data) : DecodePackBits(*dib, data);
    if (!ok) return -1;
    if (!image.bitmap || image.bitmap->depth != 32) {
        image.bitmap = toRgb32(*dib);
        return 0;
    }
    // An image that has its bitmap already gets the picture over it, as far as both reach.
    Bitmap& target = *image.bitmap;
    const Bitmap screen = toRgb32(*dib);
    const int w = std::min(target.width, screen.width), h = std::min(target.height, screen.height);
    if (w > 0)
        for (int y = 0; y < h; ++y) std::memcpy(target.row(y), screen.row(y), static_cast<size_t>(w) * 4);
    return 0;
}

DecodedPicture decodePPak(std::span<const uint8_t> record, uint32_t expectedLength, const Palette* palette) {
    DecodedPicture result;
    auto h = parsePPak(record, expectedLength);
    if (!h || !isPictureDepth(h->depth)) return result;
    PixImage image;
    image.width = h->width;
    image.height = h->height;
    image.depth = h->depth;
    if (colourTableEntryCount(h->colourTable) > 0)
        image.palette = ColourTableToPalette(h->colourTable);
    else
        image.palette = palette ? *palette : LoadDefaultPalette();
    if (size_t(h->width) * h->height * h->depth / 8 > kMaxPictureBytes) {
        result.status = PictureStatus::TooLarge;
        return result;
    }
    if (PixPak_Decompress(image, h->data, h->type) != 0) {
        result.status = h->type == kPixPakRowsLZRW1 || h->type == kPixPakPackBits ? PictureStatus::Damaged
                                                                                 : PictureStatus::NoPicture;
        return result;
    }
    result.status = PictureStatus::Ok;
    result.bitmap = std::move(*image.bitmap);
    return result;
}

std::optional<std::vector<uint8_t>> encodePPak(const Bitmap& picture, int type, uint32_t setting) {
    if (!isPictureDepth(picture.depth) || picture.width > 0xFFFF || picture.height > 0xFFFF) return std::nullopt;
    std::optional<std::vector<uint8_t>> data;
    if (type == kPixPakRowsLZRW1)
        data = EncodeRowsLZRW1(picture);
    else if (type == kPixPakPackBits)
        data = EncodePackBits(picture);
    if (!data) return std::nullopt;
    const std::vector<uint8_t> table = picture.depth <= 8 ? makeColourTable(picture.colours) : std::vector<uint8_t>{};
    const size_t total = kPPakHeaderBytes + table.size() + data->size();
    if (total > 0xFFFFFFFFu) return std::nullopt;
    std::vector<uint8_t> rec(kPPakHeaderBytes, 0);
    uint8_t* p = rec.data();
    storeBE32(p, kPPakType);
    storeBE32(p + 4, static_cast<uint32_t>(total));
    storeBE16(p + 8, kPPakVersion);
    storeBE16(p + 10, static_cast<uint16_t>(picture.width));
    storeBE16(p + 12, static_cast<uint16_t>(picture.height));
    storeBE16(p + 14, static_cast<uint16_t>(picture.depth));
    storeBE32(p + 20, setting);
    storeBE16(p + 24, static_cast<uint16_t>(type));
    storeBE32(p + 26, static_cast<uint32_t>(table.size()));
    storeBE32(p + 30, static_cast<uint32_t>(data->size()));
    rec.insert(rec.end(), table.begin(), table.end());
    rec.insert(rec.end(), data->begin(), data->end());
    return rec;
}

} // namespace cv
