// The program's pictures, drawn once on first use.
#include "player/qt/art.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>

namespace cv {

namespace {

constexpr int kDogSize = 48;
// Edges of the dog are blended with a light dialog face, where it is drawn.
const QColor kDogBlend(240, 240, 240);

void drawDogFace(QPainter& p) {
    p.setRenderHint(QPainter::Antialiasing);
    const QColor outline(70, 40, 20), ear(120, 72, 38), fur(214, 164, 102), muzzle(250, 236, 210);
    p.setPen(QPen(outline, 1.5));

    // Floppy ears behind the head.
    p.setBrush(ear);
    QPainterPath left;
    left.moveTo(13, 10);
    left.cubicTo(2, 10, 0, 26, 4, 34);
    left.cubicTo(7, 39, 12, 36, 13, 30);
    left.closeSubpath();
    p.drawPath(left);
    QPainterPath right;
    right.moveTo(35, 10);
    right.cubicTo(46, 10, 48, 26, 44, 34);
    right.cubicTo(41, 39, 36, 36, 35, 30);
    right.closeSubpath();
    p.drawPath(right);

    // Head, with a patch over one eye.
    p.setBrush(fur);
    p.drawEllipse(QRectF(9, 7, 30, 32));
    p.setPen(Qt::NoPen);
    p.setBrush(ear);
    p.drawEllipse(QRectF(26, 14, 10, 10));

    // Muzzle, nose and a smiling mouth with its tongue out.
    p.setPen(QPen(outline, 1.2));
    p.setBrush(muzzle);
    p.drawEllipse(QRectF(14.5, 25, 19, 14));
    p.setBrush(QColor(235, 110, 130));
    p.drawChord(QRectF(20.5, 33.5, 7, 9), 180 * 16, 180 * 16);
    p.setBrush(Qt::NoBrush);
    QPainterPath mouth;
    mouth.moveTo(18.5, 33);
    mouth.quadTo(21.5, 36, 24, 32.5);
    mouth.quadTo(26.5, 36, 29.5, 33);
    p.drawPath(mouth);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(30, 20, 20));
    p.drawEllipse(QRectF(20, 27, 8, 5.5));
    p.setBrush(QColor(255, 255, 255, 200));
    p.drawEllipse(QRectF(21.5, 27.8, 2.5, 1.6));

    // Eyes with a glint.
    p.setBrush(QColor(25, 20, 20));
    p.drawEllipse(QRectF(16, 18, 5, 5.5));
    p.drawEllipse(QRectF(28, 18, 5, 5.5));
    p.setBrush(Qt::white);
    p.drawEllipse(QRectF(17.2, 19, 1.8, 1.8));
    p.drawEllipse(QRectF(29.2, 19, 1.8, 1.8));
}

QImage makeDoggie() {
    QImage art(kDogSize, kDogSize, QImage::Format_ARGB32_Premultiplied);
    art.fill(Qt::transparent);
    {
        QPainter p(&art);
        drawDogFace(p);
    }
    QImage twoPart(kDogSize * 2, kDogSize, QImage::Format_RGB32);
    for (int y = 0; y < kDogSize; ++y) {
        for (int x = 0; x < kDogSize; ++x) {
            const QColor c = QColor::fromRgba(art.pixel(x, y));
            const bool inside = c.alpha() >= 128;
            const double a = c.alphaF();
            // The picture half: the drawing over the blend colour; the mask half: black inside.
            const QColor shown = QColor::fromRgbF(c.redF() * a + kDogBlend.redF() * (1 - a),
                                                  c.greenF() * a + kDogBlend.greenF() * (1 - a),
                                                  c.blueF() * a + kDogBlend.blueF() * (1 - a));
            twoPart.setPixel(x, y, inside ? shown.rgb() : qRgb(0, 0, 0));
            twoPart.setPixel(kDogSize + x, y, inside ? qRgb(0, 0, 0) : qRgb(255, 255, 255));
        }
    }
    return twoPart;
}

QImage makePlayerEnd() {
    const int w = 400, h = 240;
    QImage img(w, h, QImage::Format_RGB32);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);
    QLinearGradient sky(0, 0, 0, h);
    sky.setColorAt(0, QColor(18, 32, 84));
    sky.setColorAt(1, QColor(76, 44, 120));
    p.fillRect(img.rect(), sky);

    // A fan of cards, the shape of a stack, on the right.
    const QPointF pivot(w - 95, h - 22);
    for (int i = 0; i < 7; ++i) {
        p.save();
        p.translate(pivot);
        p.rotate(-36 + i * 12);
        const int shade = 120 + i * 18;
        p.setPen(QPen(QColor(255, 255, 255, 90), 1));
        p.setBrush(QColor(shade, 150 + i * 10, 255 - i * 12, 150));
        p.drawRoundedRect(QRectF(-26, -150, 52, 74), 6, 6);
        p.restore();
    }
    // A glow behind the name.
    QRadialGradient glow(QPointF(150, 100), 170);
    glow.setColorAt(0, QColor(255, 220, 140, 90));
    glow.setColorAt(1, QColor(255, 220, 140, 0));
    p.fillRect(img.rect(), glow);

    QFont name("Liberation Serif");
    name.setStyleHint(QFont::Serif);
    name.setPixelSize(46);
    name.setBold(true);
    name.setItalic(true);
    p.setFont(name);
    p.setPen(QColor(0, 0, 0, 120));
    p.drawText(QRect(25, 58, w, 60), Qt::AlignLeft | Qt::AlignVCenter, "Corvella");
    p.setPen(QColor(255, 232, 170));
    p.drawText(QRect(22, 55, w, 60), Qt::AlignLeft | Qt::AlignVCenter, "Corvella");

    QFont sub("Liberation Sans");
    sub.setStyleHint(QFont::SansSerif);
    sub.setPixelSize(22);
    sub.setLetterSpacing(QFont::AbsoluteSpacing, 6);
    p.setFont(sub);
    p.setPen(QColor(220, 226, 255));
    p.drawText(QRect(26, 116, w, 30), Qt::AlignLeft | Qt::AlignVCenter, "PLAYER");
    p.setPen(QPen(QColor(255, 232, 170), 2));
    p.drawLine(QPointF(26, 152), QPointF(200, 152));
    p.end();
    return img;
}

} // namespace

QImage loadBitmap(std::string_view name) {
    if (name == "DOGGIE") {
        static const QImage dog = makeDoggie();
        return dog;
    }
    if (name == "PLAYEREND") {
        static const QImage end = makePlayerEnd();
        return end;
    }
    return QImage();
}

void drawTransparent(QImage& dst, const QImage& twoPart, QPoint at) {
    if (twoPart.isNull() || dst.isNull()) return;
    if (dst.format() != QImage::Format_RGB32 && dst.format() != QImage::Format_ARGB32)
        dst = dst.convertToFormat(QImage::Format_RGB32);
    const QImage src = twoPart.convertToFormat(QImage::Format_RGB32);
    const int w = src.width() / 2, h = src.height();
    for (int y = 0; y < h; ++y) {
        const int dy = at.y() + y;
        if (dy < 0 || dy >= dst.height()) continue;
        const QRgb* picture = reinterpret_cast<const QRgb*>(src.constScanLine(y));
        const QRgb* mask = picture + w;
        QRgb* row = reinterpret_cast<QRgb*>(dst.scanLine(dy));
        for (int x = 0; x < w; ++x) {
            const int dx = at.x() + x;
            if (dx < 0 || dx >= dst.width()) continue;
            const QRgb pic = picture[x] & 0xFFFFFF, m = mask[x] & 0xFFFFFF;
            row[dx] = 0xFF000000u | (((row[dx] ^ pic) & m) ^ pic);
        }
    }
}

} // namespace cv
