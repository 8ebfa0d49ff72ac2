#include "player/object_drawing.h"

#include <QFontMetrics>

#include "core/text_encoding.h"
#include "player/card_picture.h"

namespace cv {

namespace {

QColor colourAt(const DrawContext& ctx, int index) {
    return QColor(ctx.palette ? paletteColour(*ctx.palette, index) : qRgb(0, 0, 0));
}

// A pixel-exact frame of `w` pixels whose bands are centred on the edges of the inclusive
// rectangle (x0, y0) - (x1, y1), as a wide pen draws it.
void frameBands(QPainter& p, int x0, int y0, int x1, int y1, int w, const QColor& c) {
    if (w <= 0) return;
    const int a = w / 2;
    const int left = x0 - a, top = y0 - a, right = x1 - a + w - 1, bottom = y1 - a + w - 1;
    p.fillRect(QRect(QPoint(left, top), QPoint(right, top + w - 1)), c);
    p.fillRect(QRect(QPoint(left, bottom - w + 1), QPoint(right, bottom)), c);
    p.fillRect(QRect(QPoint(left, top), QPoint(left + w - 1, bottom)), c);
    p.fillRect(QRect(QPoint(right - w + 1, top), QPoint(right, bottom)), c);
}

// A rounded rectangle filled with `fill` and framed in black, covering the pixels
// left..right-1, top..bottom-1 (exclusive right and bottom, as card rectangles are).
void roundRect(QPainter& p, int left, int top, int right, int bottom, int corner, const QColor& fill,
               const QPen& pen) {
    p.setPen(pen);
    p.setBrush(fill);
    const qreal inset = pen.widthF() / 2.0;
    p.drawRoundedRect(QRectF(left + inset, top + inset, right - left - 2 * inset, bottom - top - 2 * inset),
                      corner / 2.0, corner / 2.0);
}

void line(QPainter& p, int x0, int y0, int x1, int y1) {
    // A line that leaves out its end point, drawn pixel by pixel along one axis.
    if (y0 == y1) {
        if (x1 > x0) p.fillRect(QRect(x0, y0, x1 - x0, 1), p.pen().color());
    } else if (x0 == x1) {
        if (y1 > y0) p.fillRect(QRect(x0, y0, 1, y1 - y0), p.pen().color());
    } else {
        p.drawLine(x0, y0, x1, y1);
    }
}

void drawRoundedShape(QPainter& p, int l, int t, int r, int b, int h, const QColor& fill) {
    roundRect(p, l, t, r, b, h, fill, QPen(Qt::black, 1));
    p.setPen(QPen(Qt::black, 1));
    line(p, l + h / 2 - 1, b - 1, r - h / 2 + 1, b - 1);
    line(p, r - 1, t + h / 2 - 1, r - 1, b - h / 2 + 1);
}

// A mono image drawn with its set pixels in `colour` and the others left as they are.
QImage maskInColour(const QImage& mono, QRgb colour) {
    QImage img = mono.format() == QImage::Format_Mono ? mono : mono.convertToFormat(QImage::Format_Mono);
    img.setColorTable({0u, colour | 0xFF000000u});
    return img;
}

const QFontMetrics& buttonMetrics() {
    static const QFontMetrics metrics(buttonFont());
    return metrics;
}

// Inverts the colour of one pixel of a 32-bit image.
inline void invert(QRgb* line, int x) { line[x] ^= 0x00FFFFFFu; }

void invertRect(QImage& screen, const QRect& r) {
    const QRect area = r & screen.rect();
    for (int y = area.top(); y <= area.bottom(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(screen.scanLine(y));
        for (int x = area.left(); x <= area.right(); ++x) invert(line, x);
    }
}

} // namespace

const QFont& buttonFont() {
    static const QFont font = [] {
        QFont f("Arial");
        f.setPixelSize(12);
        f.setBold(true);
        f.setStyleStrategy(QFont::NoAntialias);
        return f;
    }();
    return font;
}

void drawButton(QPainter& p, const DisplayRecord& r, const DrawContext& ctx) {
    if (r.hidden) return;
    p.save();
    p.setRenderHint(QPainter::Antialiasing, false);
    p.setFont(buttonFont());
    const QFontMetrics& metrics = buttonMetrics();
    const int h = metrics.height();
    const QColor fill = colourAt(ctx, r.fillColour);
    const int l = r.bounds.left(), t = r.bounds.top();
    const int rr = r.bounds.left() + r.bounds.width(), bb = r.bounds.top() + r.bounds.height();

    switch (r.shape) {
    case 0: drawRoundedShape(p, l, t, rr, bb, h, fill); break;
    case 1:
        roundRect(p, l + 2, t + 2, rr - 2, bb - 2, h, Qt::transparent, QPen(Qt::black, 4));
        drawRoundedShape(p, l + 6, t + 6, rr - 6, bb - 6, h, fill);
        break;
    case 2:
        p.fillRect(r.bounds, fill);
        frameBands(p, l, t, rr - 1, bb - 1, 1, Qt::black);
        break;
    case 3:
        p.fillRect(QRect(QPoint(l, t), QPoint(rr - 3, bb - 3)), fill);
        frameBands(p, l, t, rr - 3, bb - 3, 1, Qt::black);
        p.setPen(QPen(Qt::black, 1));
        for (int i = 0; i < 2; ++i) {
            line(p, l + 2, bb - i - 1, rr, bb - i - 1);
            line(p, rr - i - 1, t + 2, rr - i - 1, bb - 1);
        }
        break;
    case 4:
        if (ctx.revealing) frameBands(p, l, t, rr - 1, bb - 1, 1, Qt::black);
        break;
    default:
        // Destination AND NOT source: the shape's set pixels turn black.
        if (ctx.revealing && !r.shapeBitmap.isNull()) p.drawImage(l, t, maskInColour(r.shapeBitmap, qRgb(0, 0, 0)));
        break;
    }

    const int cx = l + r.bounds.width() / 2;
    int nameTop = t + (r.bounds.height() - h) / 2;
    if (r.hasIcon) {
        const int groupHeight = r.icon.height() + (r.showName ? h : 0);
        const int iconTop = t + (r.bounds.height() - groupHeight) / 2;
        p.drawImage(cx - r.icon.width() / 2, iconTop, r.icon);
        nameTop = iconTop + r.icon.height();
    }
    if (r.showName && !r.name.empty()) {
        if (r.shape <= 3) p.setClipRect(QRect(QPoint(l + 2, t), QPoint(rr - 3, bb - 1)), Qt::IntersectClip);
        p.setPen(colourAt(ctx, r.textColour));
        const QString name = QString::fromStdString(cp1252ToUtf8(r.name));
        const int w = metrics.horizontalAdvance(name);
        p.drawText(cx - w / 2, nameTop + metrics.ascent(), name);
    }
    p.restore();
}

void drawGraphic(QPainter& p, const DisplayRecord& r, const DrawContext& ctx) {
    const QColor frame = colourAt(ctx, r.frameColour);
    if (!r.mask.isNull()) {
        if (!r.maskedPicture.isNull()) {
            p.drawImage(r.bounds.topLeft(), r.maskedPicture);
        } else if (!r.picture.isNull()) {
            QImage masked = r.picture.convertToFormat(QImage::Format_ARGB32);
            for (int y = 0; y < masked.height(); ++y) {
                auto* line = reinterpret_cast<QRgb*>(masked.scanLine(y));
                for (int x = 0; x < masked.width(); ++x)
                    if (!r.mask.valid(x, y) || r.mask.pixelIndex(x, y) == 0) line[x] = 0;
            }
            p.drawImage(r.bounds.topLeft(), masked);
        }
        if (!r.outline.isNull()) p.drawImage(r.bounds.topLeft(), maskInColour(r.outline, frame.rgb()));
        return;
    }
    if (!r.picture.isNull()) {
        if (r.picture.size() == r.bounds.size()) p.drawImage(r.bounds.topLeft(), r.picture);
        else p.drawImage(r.bounds, r.picture);
    }
    if (r.frameWidth > 0) {
        const int w = r.frameWidth, a = w / 2;
        const int l = r.bounds.left() + a, t = r.bounds.top() + a;
        const int rr = r.bounds.left() + r.bounds.width() + 1 - a, bb = r.bounds.top() + r.bounds.height() + 1 - a;
        frameBands(p, l, t, rr - 1, bb - 1, w, frame);
    }
}

void drawObjects(QPainter& p, const DisplayList& list, const QRect& rect, const DrawContext& ctx, int pivot,
                 bool below) {
    for (int i = 0; i < int(list.size()); ++i) {
        if (pivot >= 0) {
            if (i == pivot) continue;
            if (below && i > pivot) break;
            if (!below && i < pivot) continue;
        }
        const DisplayRecord& r = list[size_t(i)];
        if (!r.bounds.intersects(rect)) continue;
        if (r.isButton()) drawButton(p, r, ctx);
        else if (r.isGraphic()) drawGraphic(p, r, ctx);
        else if (r.isText() && ctx.drawText) ctx.drawText(p, r);
    }
}

void drawButtonOutlines(QImage& screen, const DisplayList& list, const QRect& clip) {
    // Exclusive-or straight on the pixels: drawing the outlines twice restores the image.
    if (screen.depth() != 32) return;
    const QRect area = clip.isNull() ? screen.rect() : (clip & screen.rect());
    for (const DisplayRecord& r : list) {
        if (!r.isButton()) continue;
        if (r.isPictureShaped() && !r.shapeBitmap.isNull()) {
            const QImage shape = r.shapeBitmap.format() == QImage::Format_Mono
                                     ? r.shapeBitmap
                                     : r.shapeBitmap.convertToFormat(QImage::Format_Mono);
            const QRect on = QRect(r.bounds.topLeft(), shape.size()) & area;
            for (int y = on.top(); y <= on.bottom(); ++y) {
                const uchar* bits = shape.constScanLine(y - r.bounds.top());
                auto* line = reinterpret_cast<QRgb*>(screen.scanLine(y));
                for (int x = on.left(); x <= on.right(); ++x) {
                    const int sx = x - r.bounds.left();
                    if ((bits[sx >> 3] >> (7 - (sx & 7))) & 1) invert(line, x);
                }
            }
        } else if (r.shape == int(ButtonShape::Transparent) && !r.bounds.isEmpty()) {
            const QRect b = r.bounds;
            invertRect(screen, QRect(b.left(), b.top(), b.width(), 1) & area);
            if (b.height() > 1) invertRect(screen, QRect(b.left(), b.bottom(), b.width(), 1) & area);
            if (b.height() > 2) {
                invertRect(screen, QRect(b.left(), b.top() + 1, 1, b.height() - 2) & area);
                if (b.width() > 1) invertRect(screen, QRect(b.right(), b.top() + 1, 1, b.height() - 2) & area);
            }
        }
    }
}

} // namespace cv
