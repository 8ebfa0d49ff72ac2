#pragma once
// A card's picture as the screen shows it: the background it owns or shares, decoded into a
// 32-bit image of the card's size, with the colours its objects are drawn in.
#include <QImage>
#include <QVector>
#include <cstdint>
#include <span>
#include <vector>

#include "core/handles.h"

namespace cv {

struct CardPicture {
    QImage image;                     // RGB32, the card's size; white where there is no picture
    QVector<QRgb> palette;            // 256 colours: the card's colour table, then the default palette
    std::vector<uint8_t> colourTable; // the stored colour table graphic objects are decoded with
    bool damaged = false;             // the stored picture could not be decoded
};

// The picture `card` shows (following its background chain) at width x height.
CardPicture decodeCardPicture(Handle card, int width, int height);

// The program's default palette as 256 colours.
const QVector<QRgb>& defaultPaletteColours();

// Colour `index` of a palette (black when out of range).
inline QRgb paletteColour(const QVector<QRgb>& palette, int index) {
    return index >= 0 && index < palette.size() ? palette[index] : qRgb(0, 0, 0);
}

// A decoded bitmap of the stack layer as a 32-bit image (an independent copy).
struct Bitmap;
QImage imageFromBitmap(const Bitmap& bitmap);

} // namespace cv
