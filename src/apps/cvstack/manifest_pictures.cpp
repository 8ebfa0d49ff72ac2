// Pictures of a manifest: card backgrounds and graphic objects, from image files or colours,
// at the stack's depth. 8-bit (and 4-bit) pictures are drawn in the default palette, which
// every picture record of a built stack carries as its colour table.
#include <QFile>
#include <QFileInfo>
#include <QImageReader>
#include <cstring>

#include "apps/cvstack/manifest.h"
#include "core/byte_order.h"
#include "resources/default_palette.h"
#include "stack/colour_table.h"
#include "stack/picture_card.h"
#include "stack/picture_mask.h"
#include "stack/picture_object.h"
#include "stack/record_layout.h"

namespace cv::tool {

namespace {

QList<QRgb> paletteColours(int depth) {
    const Palette& pal = LoadDefaultPalette();
    QList<QRgb> colours;
    const int n = depth >= 8 ? 256 : (1 << depth);
    for (int i = 0; i < n && i < int(pal.size()); ++i) colours.append(qRgb(pal[i].red, pal[i].green, pal[i].blue));
    if (depth < 8) {
        // Small depths: an even spread of the cube and greys, black last as on the Macintosh.
        colours.clear();
        for (int i = 0; i < n; ++i) {
            const int idx = i == n - 1 ? 255 : (i * 215) / (n - 1);
            colours.append(qRgb(pal[idx].red, pal[idx].green, pal[idx].blue));
        }
    }
    return colours;
}

Bitmap bitmapFromImage(const QImage& src, int depth) {
    auto made = MakeDIB(src.width(), src.height(), depth);
    if (!made) throw ManifestError("a picture of that size and depth cannot be made");
    Bitmap b = std::move(*made);
    if (depth == 32) {
        const QImage img = src.convertToFormat(QImage::Format_RGB32);
        for (int y = 0; y < img.height(); ++y) std::memcpy(b.row(y), img.constScanLine(y), size_t(img.width()) * 4);
    } else if (depth == 16) {
        const QImage img = src.convertToFormat(QImage::Format_RGB555);
        for (int y = 0; y < img.height(); ++y) std::memcpy(b.row(y), img.constScanLine(y), size_t(img.width()) * 2);
    } else {
        const QList<QRgb> colours = paletteColours(depth);
        const QImage img = src.convertToFormat(QImage::Format_Indexed8, colours, Qt::ThresholdDither | Qt::AvoidDither);
        for (int y = 0; y < img.height(); ++y)
            for (int x = 0; x < img.width(); ++x) b.setPixel(x, y, img.pixelIndex(x, y));
        b.colours.assign(colours.begin(), colours.end());
        for (auto& c : b.colours) c |= 0xFF000000u;
    }
    return b;
}

} // namespace

QString ManifestBuilder::path(const QString& file) const {
    const QFileInfo fi(file);
    return fi.isAbsolute() ? file : baseDir_ + "/" + file;
}

Bytes ManifestBuilder::fileBytes(const QString& file) const {
    QFile f(path(file));
    if (!f.open(QIODevice::ReadOnly)) throw ManifestError("cannot read " + path(file).toStdString());
    const QByteArray data = f.readAll();
    return Bytes(data.begin(), data.end());
}

QImage ManifestBuilder::loadImage(const QString& file) const {
    QImageReader reader(path(file));
    QImage img = reader.read();
    if (img.isNull())
        throw ManifestError("cannot read the picture " + path(file).toStdString() + ": " +
                            reader.errorString().toStdString());
    return img;
}

Bitmap ManifestBuilder::pictureFrom(const QJsonObject& o, int width, int height, int depth) {
    QImage img;
    if (o.contains("picture")) {
        img = loadImage(o["picture"].toString());
        if (img.width() != width || img.height() != height)
            img = img.scaled(width, height, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    } else {
        img = QImage(width, height, QImage::Format_RGB32);
        img.fill(QColor(QRgb(o.contains("colour") ? colourValue(o["colour"]) : 0xFFFFFF)));
    }
    return bitmapFromImage(img, depth);
}

Bytes ManifestBuilder::buildCardPicture(const QJsonObject& bg) {
    const Bitmap picture = pictureFrom(bg, width_, height_, depth_);
    auto record = depth_ <= 8 ? encodeCardPicture(picture, makeColourTable(picture.colours))
                              : encodeCardPicture(picture);
    if (!record) throw ManifestError("the card picture is too large");
    return *record;
}

Bytes ManifestBuilder::buildGraphicObject(const QJsonObject& o) {
    Bytes b(graphic::kData, 0);
    const QJsonArray rect = o["rect"].toArray();
    if (rect.size() != 4) throw ManifestError("a graphic object needs \"rect\": [left, top, right, bottom]");
    const int width = rect[2].toInt() - rect[0].toInt(), height = rect[3].toInt() - rect[1].toInt();
    if (width <= 0 || height <= 0) throw ManifestError("a graphic object's rectangle is empty");
    put16At(b, graphic::kFrameWidth, uint16_t(o["frame_width"].toInt(0)));
    put16At(b, graphic::kFrameColour, uint16_t(o["frame_colour"].toInt(0)));
    putRectAt(b, graphic::kPictureRect, rect);
    put16At(b, graphic::kAction, uint16_t(o["action"].toInt(0)));

    Bytes data, trailing;
    uint16_t pictureFlags = 0;
    uint16_t flags = 0;
    if (o.contains("file")) {
        // A picture kept in a file: the reference as a Windows path, NUL-terminated, padded.
        const std::string p = manifestBytes(o["file"].toString());
        data.assign(p.begin(), p.end());
        data.push_back(0);
        if (data.size() & 1) data.push_back(0);
        data.insert(data.end(), 6, 0);
        const std::string name = p.substr(p.find_last_of("\\/") == std::string::npos ? 0 : p.find_last_of("\\/") + 1);
        data.insert(data.end(), name.begin(), name.end());
        data.push_back(0);
        flags |= obj::kFlagFileRef;
    } else {
        const Bitmap picture = pictureFrom(o, width, height, depth_);
        const bool rows = o["method"].toString("lzrw1") != "packbits";
        auto encoded = encodeObjectPicture(picture, rows);
        if (!encoded) throw ManifestError("the graphic object's picture cannot be encoded");
        data = std::move(*encoded);
        if (rows) pictureFlags |= graphic::kPictureLZRW1Rows;
        put16At(b, graphic::kDepth, uint16_t(depth_));
    }
    if (o.contains("mask")) {
        QImage m = loadImage(o["mask"].toString()).scaled(width, height);
        Bitmap mask = makeMask(width, height);
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x)
                if (qGray(m.pixel(x, y)) < 128) mask.setPixel(x, y, 1);
        trailing = encodeMaskTrailer(mask);
        pictureFlags |= graphic::kPictureTrailing;
    }
    put16At(b, graphic::kPictureFlags, pictureFlags);
    put16At(b, obj::kFlags, flags);
    put16At(b, obj::kKind, obj::kGraphic);
    b = spliceObjectPicture(b, data, trailing);
    return b;
}

} // namespace cv::tool
