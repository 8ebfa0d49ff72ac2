#include "stack/text_engine/text_styles.h"

#include <QFont>
#include <QFontMetrics>
#include <QPen>
#include <algorithm>
#include <array>

#include "core/text_encoding.h"
#include "stack/font_list.h"

namespace cv::engine {

namespace {

constexpr char16_t kParagraph = 0x2029;
constexpr char16_t kLineBreak = 0x2028;
constexpr char16_t kZeroWidthBreak = 0x200B;

// The stored run, packed into two properties of the format.
constexpr int kRunLow = QTextFormat::UserProperty + 0x631;
constexpr int kRunHigh = QTextFormat::UserProperty + 0x632;
// The face a run asked for, before the system's substitution.
constexpr int kFaceAsked = QTextFormat::UserProperty + 0x633;
constexpr int kShadow = QTextFormat::UserProperty + 0x634;

// Unicode -> Windows-1252 for the characters at 0x80-0x9F and beyond U+00FF.
struct HighTable {
    std::array<char16_t, 32> unicode{};
    HighTable() {
        for (int i = 0; i < 32; ++i) unicode[size_t(i)] = char16_t(cp1252ToUnicode(static_cast<unsigned char>(0x80 + i)));
    }
};
const HighTable& high() {
    static const HighTable t;
    return t;
}

QString faceQString(const std::string& cp1252) { return QString::fromStdString(cp1252ToUtf8(cp1252)); }

qulonglong packLow(const StyleRun& r) {
    return qulonglong(r.lineHeight) | qulonglong(r.ascent) << 16 | qulonglong(r.font) << 32 |
           qulonglong(r.style) << 48 | qulonglong(r.pad) << 56;
}
qulonglong packHigh(const StyleRun& r) {
    return qulonglong(r.size) | qulonglong(r.red) << 16 | qulonglong(r.green) << 32 | qulonglong(r.blue) << 48;
}

void applyLook(QTextCharFormat& fmt, const QFont& base, uint8_t style, const QColor& colour) {
    QFont f = base;
    if (style & kStyleBold) f.setWeight(QFont::Bold);
    f.setItalic(style & kStyleItalic);
    f.setUnderline(style & kStyleUnderline);
    // Condensed and extended text moves each character one pixel closer or further.
    const int spacing = ((style & kStyleExtended) ? 1 : 0) - ((style & kStyleCondensed) ? 1 : 0);
    if (spacing) f.setLetterSpacing(QFont::AbsoluteSpacing, spacing);
    fmt.setFont(f, QTextCharFormat::FontPropertiesAll);
    if (style & (kStyleOutline | kStyleShadow)) {
        // Hollow letters drawn in the run's colour.
        fmt.setTextOutline(QPen(colour, 1.0));
        fmt.setForeground(QColor(Qt::white));
    } else {
        fmt.setForeground(colour);
    }
    if (style & kStyleShadow) fmt.setProperty(kShadow, true);
}

} // namespace

QString toDocumentText(std::string_view bytes, bool afterReturn) {
    QString out;
    out.resize(qsizetype(bytes.size()));
    QChar* q = out.data();
    bool prevReturn = afterReturn;
    for (size_t i = 0; i < bytes.size(); ++i) {
        const unsigned char b = static_cast<unsigned char>(bytes[i]);
        if (b == '\r') q[i] = QChar(kParagraph);
        else if (b == '\n') q[i] = QChar(prevReturn ? kZeroWidthBreak : kLineBreak);
        else if (b < 0x80 || b >= 0xA0) q[i] = QChar(char16_t(b));
        else q[i] = QChar(high().unicode[b - 0x80]);
        prevReturn = b == '\r';
    }
    return out;
}

char fromDocumentChar(QChar c) {
    const char16_t u = c.unicode();
    if (u == kParagraph) return '\r';
    if (u == kLineBreak || u == kZeroWidthBreak) return '\n';
    if (u < 0x80 || (u >= 0xA0 && u <= 0xFF)) return char(u);
    for (int i = 0; i < 32; ++i)
        if (high().unicode[size_t(i)] == u) return char(0x80 + i);
    return '?';
}

std::string fromDocumentText(const QString& text) {
    std::string out(size_t(text.size()), '\0');
    const QChar* q = text.constData();
    for (qsizetype i = 0; i < text.size(); ++i) out[size_t(i)] = fromDocumentChar(q[i]);
    return out;
}

// A stored width asks for characters of that average width: the face is stretched from its own.
static void applyStoredWidth(QFont& font, int width) {
    if (width <= 0) return;
    const int natural = QFontMetrics(font).averageCharWidth();
    if (natural <= 0) return;
    font.setStretch(std::clamp((width * 100 + natural / 2) / natural, 1, 4000));
}

QTextCharFormat formatForRun(const StyleRun& run) {
    const int points = PointsForSize(run.size);
    const FontDescription fd = FontForNumber(run.font, points);
    QFont font(faceQString(fd.faceName));
    font.setPixelSize(std::max(1, -fd.height));
    if (fd.weight > 0) font.setWeight(QFont::Weight(std::clamp(fd.weight, 1, 1000)));
    applyStoredWidth(font, fd.width);
    QTextCharFormat fmt;
    applyLook(fmt, font, run.style, QColor(run.red >> 8, run.green >> 8, run.blue >> 8));
    fmt.setProperty(kRunLow, packLow(run));
    fmt.setProperty(kRunHigh, packHigh(run));
    return fmt;
}

QTextCharFormat defaultFormat(int size) {
    const FontDescription fd = FontForNumber(0, PointsForSize(size));
    QFont font(faceQString(fd.faceName));
    font.setPixelSize(std::max(1, -fd.height));
    QTextCharFormat fmt;
    applyLook(fmt, font, 0, QColor(Qt::black));
    fmt.setProperty(kFaceAsked, QString::fromLatin1(kDefaultFontName.data(), qsizetype(kDefaultFontName.size())));
    return fmt;
}

bool hasShadow(const QTextCharFormat& f) { return f.boolProperty(kShadow); }

QColor shadowColour(const QTextCharFormat& f) { return f.textOutline().color(); }

int shadowOffset(const QTextCharFormat& f) { return std::max(1, f.font().pixelSize() / 12); }

StyleRun runForFormat(const QTextCharFormat& f) {
    StyleRun r;
    if (f.hasProperty(kRunLow) && f.hasProperty(kRunHigh)) {
        const qulonglong lo = f.property(kRunLow).toULongLong(), hi = f.property(kRunHigh).toULongLong();
        r.lineHeight = uint16_t(lo);
        r.ascent = uint16_t(lo >> 16);
        r.font = uint16_t(lo >> 32);
        r.style = uint8_t(lo >> 48);
        r.pad = uint8_t(lo >> 56);
        r.size = uint16_t(hi);
        r.red = uint16_t(hi >> 16);
        r.green = uint16_t(hi >> 32);
        r.blue = uint16_t(hi >> 48);
        return r;
    }
    const QFont font = f.font();
    if (font.bold()) r.style |= kStyleBold;
    if (font.italic()) r.style |= kStyleItalic;
    if (font.underline()) r.style |= kStyleUnderline;
    if (hasShadow(f)) r.style |= kStyleShadow;
    else if (f.textOutline().style() != Qt::NoPen) r.style |= kStyleOutline;
    const QColor c = r.style & kStyleOutline ? f.textOutline().color() : f.foreground().color();
    r.red = uint16_t(c.red() * 0x101);
    r.green = uint16_t(c.green() * 0x101);
    r.blue = uint16_t(c.blue() * 0x101);
    const int pixels = font.pixelSize() > 0 ? font.pixelSize() : 12;
    r.size = uint16_t(pixels);
    const QFontMetrics m(font);
    r.lineHeight = uint16_t(m.height());
    r.ascent = uint16_t(m.ascent());
    FontDescription fd;
    fd.faceName = f.hasProperty(kFaceAsked) ? utf8ToCp1252(f.property(kFaceAsked).toString().toStdString())
                                            : utf8ToCp1252(font.family().toStdString());
    fd.height = -pixels;
    fd.weight = 400;
    r.font = AddFontToList(fd, 0, 0);
    return r;
}

} // namespace cv::engine
