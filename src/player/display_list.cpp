#include "player/display_list.h"

#include <QImageReader>
#include <QPainterPath>
#include <cstring>
#include <filesystem>

#include "core/byte_order.h"
#include "core/host_path.h"
#include "core/pstring.h"
#include "player/card_picture.h"
#include "player/stored_files.h"
#include "stack/chunk_file.h"
#include "stack/mac_path.h"
#include "stack/picture_mask.h"
#include "stack/picture_object.h"
#include "stack/ppak.h"
#include "stack/record_convert.h"
#include "stack/record_layout.h"
#include "stack/stack_document.h"
#include "stack/stack_resources.h"

namespace cv {

namespace {

// A 1-bit bitmap of the stack layer as a mono image whose set pixels are colour 1. Both keep
// their rows most significant bit first, so the rows are copied whole.
QImage monoFromBitmap(const Bitmap& b) {
    if (b.empty() || b.depth != 1) return {};
    QImage img(b.width, b.height, QImage::Format_Mono);
    if (img.isNull()) return {};
    img.setColorTable({qRgb(255, 255, 255), qRgb(0, 0, 0)});
    const size_t bytes = std::min(b.stride, size_t(img.bytesPerLine()));
    for (int y = 0; y < b.height; ++y) std::memcpy(img.scanLine(y), b.row(y), bytes);
    return img;
}

// The picture with every pixel outside the mask transparent, so that drawing it is one copy.
QImage maskedImage(const QImage& picture, const QImage& mask) {
    const QImage src = picture.convertToFormat(QImage::Format_RGB32);
    QImage out(src.size(), QImage::Format_ARGB32_Premultiplied);
    if (out.isNull()) return {};
    const int width = src.width(), height = src.height();
    const int maskWidth = std::min(width, mask.width()), maskHeight = mask.height();
    for (int y = 0; y < height; ++y) {
        const auto* in = reinterpret_cast<const QRgb*>(src.constScanLine(y));
        auto* line = reinterpret_cast<QRgb*>(out.scanLine(y));
        std::memset(line, 0, size_t(width) * sizeof(QRgb));
        if (y >= maskHeight) continue;
        const uchar* bits = mask.constScanLine(y);
        for (int x = 0; x < maskWidth; ++x)
            if ((bits[x >> 3] >> (7 - (x & 7))) & 1) line[x] = in[x] | 0xFF000000u;
    }
    return out;
}

// The button's shape mask, from its action of code 130 (a mask laid out as trailing data).
QImage buttonShapeMask(const uint8_t* o, uint32_t len) {
    uint32_t off = button::kActions;
    while (off < len && len - off >= action::kPayload) {
        const uint32_t alen = get32(o + off + action::kLength);
        if (alen < action::kPayload || alen > len - off) break;
        if (get16(o + off + action::kCode) == action::kButtonShape) {
            const uint32_t pad = (get16(o + off + action::kFlags) & action::kFlagPadded) ? 1 : 0;
            const DecodedPicture mask = decodeMask({o + off + 32, alen - 32 - std::min(pad, alen - 32)});
            return mask.ok() ? monoFromBitmap(mask.bitmap) : QImage();
        }
        off += alen;
    }
    return {};
}

// The icon as every resource the player asks for: through a request, so that data purged
// meanwhile is read again and the stack's own copy is never touched.
QImage iconImage(uint16_t iconId) {
    if (!iconId) return {};
    ResourceRequest req;
    if (GetStackResource(req, chunk::kIcon, iconId) != 0) return {};
    QImage image;
    if (const uint8_t* d = memRefs().data(req.data)) {
        const uint32_t size = GetHandleSize(req.data);
        const DecodedPicture pic = decodePPak({d, size}, size);
        if (pic.ok()) image = imageFromBitmap(pic.bitmap);
    }
    DisposeHandle(req.data);
    return image;
}


QImage pictureFile(const uint8_t* o, uint32_t len, const std::string& stackPath) {
    if (len <= graphic::kData) return {};
    const std::string stored = objectRefPath(o + graphic::kData, len - graphic::kData);
    const auto found = resolveHostPath(stored, storedFileFolders(stackPath));
    if (!found) return {};
    QImageReader reader(QString::fromStdString(*found));
    return reader.read().convertToFormat(QImage::Format_RGB32);
}

QRegion roundedRegion(const QRect& r, int corner) {
    QPainterPath path;
    path.addRoundedRect(QRectF(r), corner / 2.0, corner / 2.0);
    return QRegion(path.toFillPolygon().toPolygon());
}

// The fixed part of each kind of object: a record shorter than that is damaged.
uint32_t fixedLength(uint16_t kind) {
    switch (kind) {
    case obj::kGraphic: return graphic::kData;
    case obj::kButton: return button::kActions;
    case obj::kText: return text::kSubrecords;
    default: return obj::kFlags + 2;
    }
}

} // namespace

DisplayRecord makeDisplayRecord(const uint8_t* o, uint32_t len, std::span<const uint8_t> cardColourTable,
                                const std::string& stackPath) {
    DisplayRecord r;
    // Only the fields the record holds are read; a damaged one gives an empty record.
    if (!o || len < obj::kFlags + 2 || len < fixedLength(get16(o + obj::kKind))) return r;
    r.kind = get16(o + obj::kKind);
    r.id = get16(o + obj::kId);
    r.bounds = QRect(QPoint(geti16(o + 4), geti16(o + 6)), QPoint(geti16(o + 8) - 1, geti16(o + 10) - 1));
    r.flags = get16(o + obj::kFlags);
    r.hitRegion = QRegion(r.bounds);

    if (r.isButton()) {
        r.shape = get16(o + button::kShape);
        r.textColour = int(get16(o + button::kNameColour)) - 1;
        r.fillColour = int(get16(o + button::kFillColour)) - 1;
        const uint16_t bf = get16(o + button::kButtonFlags);
        r.showName = (bf & 0x08) != 0;
        r.highlight = (bf & 0x04) == 0;
        r.name = pstringField(o + button::kName, button::kNameSize);
        if (bf & 0x10) {
            r.icon = iconImage(get16(o + button::kIconId));
            r.hasIcon = !r.icon.isNull();
        }
        if (r.isPictureShaped()) {
            r.shapeMask = buttonShapeMask(o, len);
            r.shapeBitmap = r.shapeMask;
        }
        if (r.shape == 0 || r.shape == 1) r.hitRegion = roundedRegion(r.bounds, 16);
        else if (r.shape == 4) r.hitRegion = QRegion();
    } else if (r.isGraphic()) {
        r.frameColour = int(get16(o + graphic::kFrameColour)) - 1;
        r.frameWidth = get16(o + graphic::kFrameWidth);
        r.actionId = get16(o + graphic::kAction);
        r.name = pstringField(o + graphic::kName, graphic::kNameSize);
        const std::span<const uint8_t> object(o, len);
        if (r.flags & obj::kFlagFileRef) {
            r.picture = pictureFile(o, len, stackPath);
        } else {
            const DecodedPicture pic = decodeObjectPicture(object, cardColourTable);
            if (pic.ok()) r.picture = imageFromBitmap(pic.bitmap);
        }
        if (get16(o + graphic::kPictureFlags) & graphic::kPictureTrailing) {
            const DecodedPicture mask = decodeObjectMask(object);
            if (mask.ok()) {
                r.mask = monoFromBitmap(mask.bitmap);
                if (r.frameWidth > 0) r.outline = monoFromBitmap(makeOutline(mask.bitmap, r.frameWidth));
                if (!r.picture.isNull() && !r.mask.isNull()) r.maskedPicture = maskedImage(r.picture, r.mask);
            }
        }
    } else if (r.isText()) {
        r.secondFlags = get16(o + text::kSecondFlags);
        r.actionId = get16(o + text::kAction);
        r.textColourIndex = int(get16(o + text::kBackColour)) - 1;
        r.name = pstringField(o + text::kName, text::kNameSize);
    }
    return r;
}

DisplayList buildDisplayList(Handle card, std::span<const uint8_t> cardColourTable, const std::string& stackPath,
                             const RevealHidden& reveal) {
    DisplayList list;
    const uint8_t* p = memRefs().data(card);
    if (!p) return list;
    int64_t budget = kCardObjectPixels;
    auto area = [](const QImage& i) { return int64_t(i.width()) * i.height(); };
    forEachObject(p, GetHandleSize(card), [&](uint32_t off, uint16_t kind) {
        const uint8_t* o = p + off;
        const uint32_t len = get32(o + obj::kLength);
        if (kind != obj::kGraphic && kind != obj::kButton && kind != obj::kText) return;
        if (len < fixedLength(kind)) return;
        if (get16(o + obj::kFlags) & obj::kFlagHidden) {
            const bool show = kind == obj::kGraphic ? reveal.graphics : kind == obj::kButton ? reveal.buttons : reveal.texts;
            if (!show) return;
        }
        if (kind == obj::kGraphic && len > graphic::kPictureFlags + 1 && get16(o + graphic::kPictureFlags) == 0x20) return;
        DisplayRecord r = makeDisplayRecord(o, len, cardColourTable, stackPath);
        // 1-bit masks cost a 32nd of a screen pixel.
        const int64_t pixels = area(r.picture) + area(r.maskedPicture) + area(r.icon) +
                               (area(r.mask) + area(r.outline) + area(r.shapeMask) + area(r.shapeBitmap)) / 32;
        if (pixels > budget) {
            r.picture = r.maskedPicture = r.icon = r.mask = r.outline = r.shapeMask = r.shapeBitmap = QImage();
            r.hasIcon = false;
        } else {
            budget -= pixels;
        }
        list.push_back(std::move(r));
    });
    return list;
}

bool recordContains(const DisplayRecord& r, const QPoint& p) {
    if (r.isGraphic() && !r.mask.isNull()) {
        const QPoint q = p - r.bounds.topLeft();
        return r.mask.valid(q) && r.mask.pixelIndex(q) == 1;
    }
    if (r.isButton()) {
        if (r.shape == int(ButtonShape::Transparent)) return r.bounds.contains(p);
        if (r.isPictureShaped()) {
            const QPoint q = p - r.bounds.topLeft();
            return !r.shapeMask.isNull() && r.shapeMask.valid(q) && r.shapeMask.pixelIndex(q) == 1;
        }
    }
    return r.hitRegion.contains(p);
}

} // namespace cv
