// The turtle's drawing on Qt images. Lines are set pixel by pixel here: a line covers its first
// point and not its last whichever way it runs, which joined lines drawn with an exclusive-or
// pen need (Qt's own lines leave out an end that depends on their direction), and a line from
// far outside the window costs only its visible pixels. Shapes and text are drawn with QPainter,
// cut to the window first when they reach far out.
#include "player/turtle_surface.h"

#include <QFontMetrics>
#include <QPainterPath>
#include <algorithm>
#include <cmath>
#include <vector>

#include "core/text_encoding.h"
#include "stack/font_list.h"

namespace cv {

using script::PenOp;
using script::SurfaceShape;

namespace {

constexpr const char* kDefaultFace = "Times New Roman";
// Shapes farther out than this are cut to the window before they are filled.
constexpr double kShapeLimit = 1 << 20;

QPainter::CompositionMode compositionFor(PenOp op) {
    switch (op) {
    case PenOp::Xor: return QPainter::RasterOp_SourceXorDestination;
    case PenOp::Or: return QPainter::RasterOp_SourceOrDestination;
    case PenOp::Copy: break;
    }
    return QPainter::CompositionMode_Source;
}

bool is32Bit(const QImage& image) {
    const QImage::Format f = image.format();
    return f == QImage::Format_RGB32 || f == QImage::Format_ARGB32 || f == QImage::Format_ARGB32_Premultiplied;
}

// One pixel of a 32-bit image changed the pen's way.
inline void apply(QRgb& p, QRgb colour, PenOp op) {
    switch (op) {
    case PenOp::Copy: p = colour; break;
    case PenOp::Xor: p = (p ^ colour) | 0xFF000000u; break;
    case PenOp::Or: p |= colour; break;
    }
}

void plot(QImage& image, int x, int y, QRgb colour, PenOp op) {
    if (is32Bit(image)) {
        apply(reinterpret_cast<QRgb*>(image.scanLine(y))[x], colour, op);
        return;
    }
    QRgb p = image.pixel(x, y);
    apply(p, colour, op);
    image.setPixel(x, y, p);
}

int64_t roundToPixel(double v) {
    constexpr double kFar = 4.0e18;
    return int64_t(std::floor(std::clamp(v, -kFar, kFar) + 0.5));
}

// The last i in [lo, hi] for which `ok` holds, where ok holds up to some point and not after;
// lo - 1 when it never does.
template <class F>
int64_t lastWhere(int64_t lo, int64_t hi, F&& ok) {
    int64_t a = lo - 1, b = hi;
    while (a < b) {
        const int64_t m = a + (b - a + 1) / 2;
        if (ok(m)) a = m;
        else b = m - 1;
    }
    return a;
}

// The points of the line from (x0, y0) towards (x1, y1): point i of n lies i steps along the
// longer axis and round(i * d / n) along the other. Only the points inside the image are
// visited; the return value is their bounding rectangle.
QRect rasterLine(QImage& image, int64_t x0, int64_t y0, int64_t x1, int64_t y1, QRgb colour, PenOp op) {
    const int64_t w = image.width(), h = image.height();
    const int64_t dx = x1 - x0, dy = y1 - y0;
    const bool alongX = (dx < 0 ? -dx : dx) >= (dy < 0 ? -dy : dy);
    const int64_t n = alongX ? (dx < 0 ? -dx : dx) : (dy < 0 ? -dy : dy);
    if (n == 0) return {};
    const int64_t major0 = alongX ? x0 : y0, minor0 = alongX ? y0 : x0;
    const int64_t majorStep = (alongX ? dx : dy) < 0 ? -1 : 1;
    const int64_t minorDelta = alongX ? dy : dx;
    const int64_t minorStep = minorDelta < 0 ? -1 : 1;
    const __int128 d = minorDelta < 0 ? -__int128(minorDelta) : __int128(minorDelta);
    const int64_t majorSize = alongX ? w : h, minorSize = alongX ? h : w;
    auto offset = [&](int64_t i) { return int64_t((2 * __int128(i) * d + n) / (2 * __int128(n))); };
    // Steps whose major coordinate is inside the image.
    int64_t lo = 0, hi = n - 1;
    if (majorStep > 0) {
        lo = std::max(lo, -major0);
        hi = std::min(hi, majorSize - 1 - major0);
    } else {
        lo = std::max(lo, major0 - (majorSize - 1));
        hi = std::min(hi, major0);
    }
    if (lo > hi) return {};
    // Of those, the ones whose minor coordinate is inside too (the offset only grows).
    const int64_t least = minorStep > 0 ? -minor0 : minor0 - (minorSize - 1);
    const int64_t most = minorStep > 0 ? minorSize - 1 - minor0 : minor0;
    const int64_t first = lastWhere(lo, hi, [&](int64_t i) { return offset(i) < least; }) + 1;
    const int64_t last = lastWhere(lo, hi, [&](int64_t i) { return offset(i) <= most; });
    if (first > last) return {};
    for (int64_t i = first; i <= last; ++i) {
        const int64_t major = major0 + i * majorStep, minor = minor0 + offset(i) * minorStep;
        if (alongX) plot(image, int(major), int(minor), colour, op);
        else plot(image, int(minor), int(major), colour, op);
    }
    const int64_t a0 = major0 + first * majorStep, a1 = major0 + last * majorStep;
    const int64_t b0 = minor0 + offset(first) * minorStep, b1 = minor0 + offset(last) * minorStep;
    const int64_t xa = alongX ? a0 : b0, xb = alongX ? a1 : b1, ya = alongX ? b0 : a0, yb = alongX ? b1 : a1;
    return QRect(QPoint(int(std::min(xa, xb)), int(std::min(ya, yb))), QPoint(int(std::max(xa, xb)), int(std::max(ya, yb))));
}

QString textFromBytes(std::string_view bytes) {
    QString s;
    s.reserve(qsizetype(bytes.size()));
    for (unsigned char b : bytes) s.append(QChar(char16_t(cp1252ToUnicode(b))));
    return s;
}

// The outline of a shape, in window pixels.
QPainterPath outlinePath(const SurfaceShape& s, const QRectF& r) {
    QPainterPath p;
    switch (s.kind) {
    case SurfaceShape::Rect: p.addRect(r); break;
    case SurfaceShape::Oval: p.addEllipse(r); break;
    case SurfaceShape::RoundRect: p.addRoundedRect(r, s.cornerWidth / 2.0, s.cornerHeight / 2.0); break;
    case SurfaceShape::Arc:
        // A wedge of the inscribed ellipse; angles turn clockwise from straight up.
        p.moveTo(r.center());
        p.arcTo(r, 90.0 - s.startAngle, -s.arcAngle);
        p.closeSubpath();
        break;
    }
    return p;
}

QPainterPath shapePath(const SurfaceShape& s) {
    const QRectF outer(double(s.left), double(s.top), double(s.right - s.left), double(s.bottom - s.top));
    if (s.verb != SurfaceShape::Frame) return outlinePath(s, outer);
    // The frame lies inside the shape: the shape less the shape inset by the pen.
    const QRectF inner = outer.adjusted(s.penWidth, s.penHeight, -s.penWidth, -s.penHeight);
    const bool hollow = inner.width() > 0 && inner.height() > 0;
    if (s.kind == SurfaceShape::Arc) {
        QPainterPath ring;
        ring.addEllipse(outer);
        if (hollow) {
            QPainterPath hole;
            hole.addEllipse(inner);
            ring = ring.subtracted(hole);
        }
        QPainterPath wedge;
        const double reach = std::max(outer.width(), outer.height()) * 2 + 4;
        const QRectF around(outer.center().x() - reach, outer.center().y() - reach, 2 * reach, 2 * reach);
        wedge.moveTo(outer.center());
        wedge.arcTo(around, 90.0 - s.startAngle, -s.arcAngle);
        wedge.closeSubpath();
        return ring.intersected(wedge);
    }
    QPainterPath p = outlinePath(s, outer);
    if (!hollow) return p;
    SurfaceShape in = s;
    in.cornerWidth = std::max(0, s.cornerWidth - 2 * s.penWidth);
    in.cornerHeight = std::max(0, s.cornerHeight - 2 * s.penHeight);
    p.addPath(outlinePath(in, inner));
    p.setFillRule(Qt::OddEvenFill);
    return p;
}

} // namespace

TurtleSurface::TurtleSurface(ImageSource window, ImageSource backing, std::function<void(const QRect&)> changed)
    : windowSource_(std::move(window)), backingSource_(std::move(backing)), changed_(std::move(changed)) {}

TurtleSurface::~TurtleSurface() { closePainters(); }

int TurtleSurface::width() const {
    const QImage* image = windowSource_ ? windowSource_() : nullptr;
    return image ? image->width() : 0;
}

int TurtleSurface::height() const {
    const QImage* image = windowSource_ ? windowSource_() : nullptr;
    return image ? image->height() : 0;
}

void TurtleSurface::beginDrawing() { count_ = -1; }

void TurtleSurface::endDrawing() {
    closePainters();
    count_ = -1;
    if (!dirty_.isEmpty() && changed_) changed_(dirty_);
    dirty_ = QRect();
}

uint64_t TurtleSurface::generation() const {
    // An image's serial number changes only when the image is replaced, not when drawn on. A
    // new card replaces the picture even when a transition draws it into the same window image.
    auto serial = [](const ImageSource& source) {
        const QImage* image = source ? source() : nullptr;
        return image ? uint64_t(image->cacheKey()) >> 32 : 0;
    };
    return serial(windowSource_) << 32 ^ serial(backingSource_);
}

int TurtleSurface::targets() {
    if (count_ >= 0) return count_;
    count_ = 0;
    QImage* window = windowSource_ ? windowSource_() : nullptr;
    if (!window || window->isNull()) return count_;
    target_[count_++].image = window;
    QImage* backing = backingSource_ ? backingSource_() : nullptr;
    if (backing && backing != window && !backing->isNull()) target_[count_++].image = backing;
    return count_;
}

QPainter& TurtleSurface::painterFor(int i, PenOp op, QRgb colour) {
    Target& t = target_[i];
    if (!t.open) {
        t.painter.begin(t.image);
        t.open = true;
        t.mode = -1;
    }
    const int mode = int(compositionFor(op));
    if (t.mode != mode) {
        t.painter.setCompositionMode(QPainter::CompositionMode(mode));
        t.mode = mode;
        t.colour = ~colour;
    }
    if (t.colour != colour) {
        QPen pen{QColor::fromRgb(colour)};
        pen.setWidth(0);
        pen.setCapStyle(Qt::FlatCap);
        t.painter.setPen(pen);
        t.colour = colour;
    }
    return t.painter;
}

void TurtleSurface::closePainters() {
    for (Target& t : target_) {
        if (t.open) t.painter.end();
        t.open = false;
        t.mode = -1;
    }
}

void TurtleSurface::touch(const QRect& r) { dirty_ = dirty_.united(r); }

void TurtleSurface::drawLine(double x0, double y0, double x1, double y1, uint32_t rgb, PenOp op) {
    if (!std::isfinite(x0) || !std::isfinite(y0) || !std::isfinite(x1) || !std::isfinite(y1)) return;
    const int64_t ax = roundToPixel(x0), ay = roundToPixel(y0), bx = roundToPixel(x1), by = roundToPixel(y1);
    closePainters();
    const QRgb colour = 0xFF000000u | rgb;
    for (int i = 0; i < targets(); ++i) {
        const QRect r = rasterLine(*target_[i].image, ax, ay, bx, by, colour, op);
        if (i == 0 && !r.isEmpty()) touch(r);
    }
}

void TurtleSurface::drawPoint(int64_t x, int64_t y, uint32_t rgb, PenOp op) {
    closePainters();
    const QRgb colour = 0xFF000000u | rgb;
    for (int i = 0; i < targets(); ++i) {
        QImage& image = *target_[i].image;
        if (x < 0 || y < 0 || x >= image.width() || y >= image.height()) continue;
        plot(image, int(x), int(y), colour, op);
        if (i == 0) touch(QRect(int(x), int(y), 1, 1));
    }
}

void TurtleSurface::clear(uint32_t rgb) {
    const QRgb colour = 0xFF000000u | rgb;
    for (int i = 0; i < targets(); ++i) {
        const QRect r = target_[i].image->rect();
        painterFor(i, PenOp::Copy, colour).fillRect(r, QColor::fromRgb(colour));
        if (i == 0) touch(r);
    }
}

bool TurtleSurface::pixel(int64_t x, int64_t y, uint32_t& rgb) const {
    const QImage* image = windowSource_ ? windowSource_() : nullptr;
    if (!image || x < 0 || y < 0 || x >= image->width() || y >= image->height()) return false;
    rgb = image->pixel(int(x), int(y)) & 0xFFFFFFu;
    return true;
}

// A scan-line fill: the region is found on the window, as the person sees it, and the same
// pixels are filled on its copy.
void TurtleSurface::floodFill(int64_t x, int64_t y, uint32_t rgb) {
    if (targets() == 0) return;
    closePainters();
    QImage& window = *target_[0].image;
    const int w = window.width(), h = window.height();
    if (x < 0 || y < 0 || x >= w || y >= h) return;
    QImage* copy = count_ > 1 ? target_[1].image : nullptr;
    const QRgb fill = 0xFF000000u | rgb;
    const QRgb old = window.pixel(int(x), int(y)) & 0xFFFFFFu;
    if (old == (fill & 0xFFFFFFu)) return;
    if (!is32Bit(window)) window = window.convertToFormat(QImage::Format_RGB32);
    if (copy && !is32Bit(*copy)) *copy = copy->convertToFormat(QImage::Format_RGB32);

    auto row = [&](int yy) { return reinterpret_cast<QRgb*>(window.scanLine(yy)); };
    auto matches = [&](const QRgb* line, int xx) { return (line[xx] & 0xFFFFFFu) == old; };
    std::vector<std::pair<int, int>> seeds{{int(x), int(y)}};
    int top = h, bottom = -1, left = w, right = -1;
    while (!seeds.empty()) {
        const auto [sx, sy] = seeds.back();
        seeds.pop_back();
        QRgb* line = row(sy);
        if (!matches(line, sx)) continue;
        int a = sx, b = sx;
        while (a > 0 && matches(line, a - 1)) --a;
        while (b < w - 1 && matches(line, b + 1)) ++b;
        std::fill(line + a, line + b + 1, fill);
        if (copy && sy < copy->height() && a < copy->width()) {
            QRgb* c = reinterpret_cast<QRgb*>(copy->scanLine(sy));
            std::fill(c + a, c + std::min(b + 1, copy->width()), fill);
        }
        top = std::min(top, sy);
        bottom = std::max(bottom, sy);
        left = std::min(left, a);
        right = std::max(right, b);
        for (int ny : {sy - 1, sy + 1}) {
            if (ny < 0 || ny >= h) continue;
            const QRgb* next = row(ny);
            for (int i = a; i <= b; ++i) {
                if (!matches(next, i)) continue;
                seeds.emplace_back(i, ny);
                while (i <= b && matches(next, i)) ++i;
            }
        }
    }
    if (bottom >= 0) touch(QRect(QPoint(left, top), QPoint(right, bottom)));
}

void TurtleSurface::drawShape(const SurfaceShape& shape) {
    if (shape.right <= shape.left || shape.bottom <= shape.top) return;
    QPainterPath path = shapePath(shape);
    const PenOp op = shape.verb == SurfaceShape::Invert ? PenOp::Xor : PenOp::Copy;
    const QRgb colour = 0xFF000000u | (shape.verb == SurfaceShape::Invert ? 0xFFFFFFu : shape.colour);
    for (int i = 0; i < targets(); ++i) {
        const QImage& image = *target_[i].image;
        QPainterPath p = path;
        const QRectF bounds = p.controlPointRect();
        if (bounds.left() < -kShapeLimit || bounds.top() < -kShapeLimit || bounds.right() > kShapeLimit ||
            bounds.bottom() > kShapeLimit) {
            QPainterPath view;
            view.addRect(QRectF(-4, -4, image.width() + 8, image.height() + 8));
            p = p.intersected(view);
        }
        QPainter& painter = painterFor(i, op, colour);
        painter.fillPath(p, QColor::fromRgb(colour));
        if (i == 0) touch(p.boundingRect().toAlignedRect().intersected(image.rect()));
    }
}

QFont TurtleSurface::qtFont(const script::SurfaceFont& f) {
    QFont q(f.name.empty() ? QString::fromLatin1(kDefaultFace)
                           : QString::fromStdString(cp1252ToUtf8(MapMacFontName(f.name))));
    q.setPixelSize(std::max(1, PixelHeightForPoints(f.size)));
    q.setBold(f.style & 1);
    q.setItalic(f.style & 2);
    q.setUnderline(f.style & 4);
    return q;
}

const QFont& TurtleSurface::font(const script::SurfaceFont& f) {
    if (!fontKey_ || !(*fontKey_ == f)) {
        font_ = qtFont(f);
        fontKey_ = f;
    }
    return font_;
}

int TurtleSurface::drawText(int64_t x, int64_t y, std::string_view text, const script::SurfaceFont& f, uint32_t rgb) {
    const QFont& q = font(f);
    const QString s = textFromBytes(text);
    const QFontMetrics metrics(q);
    const int advance = metrics.horizontalAdvance(s);
    constexpr int64_t kFar = 1 << 24;
    if (x < -kFar || x > kFar || y < -kFar || y > kFar) return advance;
    const QRgb colour = 0xFF000000u | rgb;
    for (int i = 0; i < targets(); ++i) {
        QPainter& painter = painterFor(i, PenOp::Copy, colour);
        painter.setCompositionMode(QPainter::CompositionMode_SourceOver);
        target_[i].mode = -1;
        painter.setFont(q);
        painter.drawText(QPointF(double(x), double(y + metrics.ascent())), s);
        if (i == 0) {
            touch(QRect(int(x), int(y), advance + metrics.maxWidth(), metrics.height())
                      .intersected(target_[i].image->rect()));
        }
    }
    return advance;
}

script::SurfaceFontMetrics TurtleSurface::fontMetrics(const script::SurfaceFont& f) {
    const QFontMetrics m(font(f));
    return {m.ascent(), m.descent(), m.leading()};
}

int TurtleSurface::textWidth(std::string_view text, const script::SurfaceFont& f) {
    return QFontMetrics(font(f)).horizontalAdvance(textFromBytes(text));
}

} // namespace cv
