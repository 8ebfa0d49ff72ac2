#include "player/card_picture.h"

#include "core/byte_order.h"
#include "resources/default_palette.h"
#include "stack/colour_table.h"
#include "stack/picture_card.h"
#include "stack/picture_convert.h"
#include "stack/record_layout.h"
#include "stack/stack_document.h"

namespace cv {

const QVector<QRgb>& defaultPaletteColours() {
    static const QVector<QRgb> colours = [] {
        QVector<QRgb> c;
        for (const PaletteEntry& e : LoadDefaultPalette()) c.append(qRgb(e.red, e.green, e.blue));
        while (c.size() < 256) c.append(qRgb(0, 0, 0));
        return c;
    }();
    return colours;
}

QImage imageFromBitmap(const Bitmap& bitmap) {
    if (bitmap.empty()) return {};
    QImage image(bitmap.width, bitmap.height, QImage::Format_RGB32);
    if (image.isNull()) return {};
    convertToRgb32(bitmap, reinterpret_cast<uint32_t*>(image.bits()), size_t(image.bytesPerLine() / 4));
    return image;
}

namespace {

// Decodes the picture `card` shows into `out`; true when it covers the whole image.
bool decodeInto(CardPicture& out, Handle card) {
    Handle background = CardById(BackgroundCardId(CardIdOf(card)));
    if (!background) background = card;
    const uint8_t* p = memRefs().data(background);
    if (!p || get16(p + card::kMode) != card::kModeOwn) return false;
    const std::span<const uint8_t> record(p, GetHandleSize(background));

    const std::span<const uint8_t> table = cardColourTable(record);
    out.colourTable.assign(table.begin(), table.end());
    const Palette pal = ColourTableToPalette(table);
    for (size_t i = 0; i < pal.size() && i < 256; ++i)
        out.palette[int(i)] = qRgb(pal[i].red, pal[i].green, pal[i].blue);

    const DecodedPicture decoded = decodeCardBackground(record);
    if (!decoded.ok()) {
        out.damaged = decoded.status == PictureStatus::Damaged || decoded.status == PictureStatus::TooLarge;
        return false;
    }
    const Bitmap& b = decoded.bitmap;
    if (b.width == out.image.width() && b.height == out.image.height()) {
        convertToRgb32(b, reinterpret_cast<uint32_t*>(out.image.bits()), size_t(out.image.bytesPerLine() / 4));
        return true;
    }
    // A background card of another size: its picture at the top left, white elsewhere.
    out.image.fill(Qt::white);
    const QImage pic = imageFromBitmap(b);
    for (int y = 0; y < std::min(pic.height(), out.image.height()); ++y)
        std::memcpy(out.image.scanLine(y), pic.constScanLine(y), size_t(std::min(pic.width(), out.image.width())) * 4);
    return true;
}

} // namespace

CardPicture decodeCardPicture(Handle card, int width, int height) {
    CardPicture out;
    out.image = QImage(std::max(width, 1), std::max(height, 1), QImage::Format_RGB32);
    out.palette = defaultPaletteColours();
    // White where there is no picture; a decoded picture covers the image itself.
    if (!decodeInto(out, card)) out.image.fill(Qt::white);
    return out;
}

} // namespace cv
