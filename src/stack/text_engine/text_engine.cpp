#include "stack/text_engine/text_engine.h"

#include <QAbstractTextDocumentLayout>
#include <QFontDatabase>
#include <QFontInfo>
#include <QGlyphRun>
#include <QPainter>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextLayout>
#include <algorithm>

#include "core/text_encoding.h"
#include "stack/font_list.h"
#include "stack/text_engine/text_styles.h"

namespace cv {

namespace {

constexpr uint64_t kCaretBlinkMs = 530;
bool g_started = false;

// The selection highlight of the active text object.
const QColor kHighlight(0, 0, 128);

} // namespace

void TextEngineStartup() {
    if (g_started) return;
    g_started = true;
    SetFontResolver(
        [](const std::string& face) { return QFontDatabase::hasFamily(QString::fromStdString(cp1252ToUtf8(face))); },
        [](const std::string& face) {
            // The face the system's font matching picks for a name it does not have.
            const QFont f(QString::fromStdString(cp1252ToUtf8(face)));
            return utf8ToCp1252(QFontInfo(f).family().toStdString());
        });
}

void TextEngineShutdown() {
    if (!g_started) return;
    g_started = false;
    SetFontResolver(nullptr, nullptr);
}

TextAlign alignmentFromStored(int16_t stored) {
    return stored == 1 ? TextAlign::Centre : stored == -1 ? TextAlign::Right : TextAlign::Left;
}

struct TextDocument::Impl {
    QTextDocument doc;
    QTextCursor cursor{&doc};
    QRect object;
    QRect view;
    int scroll = 0;
    bool modified = false;
    bool mayHaveShadow = false;  // a shadowed style was applied at some time
    uint64_t caretEpoch = 0;
    bool caretOn = true;

    QPointF toDoc(QPoint p) const { return QPointF(p.x() - view.left(), p.y() - view.top() + scroll); }
    size_t clampPos(size_t p) const { return std::min(p, size_t(std::max(0, doc.characterCount() - 1))); }

    // The caret's line: its top, height and x in document coordinates.
    QRectF caretLine() const {
        const int pos = cursor.position();
        const QTextBlock block = doc.findBlock(pos);
        if (!block.isValid()) return {};
        const QRectF br = doc.documentLayout()->blockBoundingRect(block);
        const QTextLayout* layout = block.layout();
        if (!layout || layout->lineCount() == 0) return QRectF(0, br.top(), 1, QFontMetrics(doc.defaultFont()).height());
        QTextLine line = layout->lineForTextPosition(pos - block.position());
        if (!line.isValid()) line = layout->lineAt(layout->lineCount() - 1);
        const qreal x = line.cursorToX(pos - block.position());
        return QRectF(br.left() + x, br.top() + line.y(), 1, line.height());
    }

    // The shadows of shadowed text inside `clip` (document coordinates), drawn before the text.
    void drawShadows(QPainter& p, const QRectF& clip) const {
        const QAbstractTextDocumentLayout* layout = doc.documentLayout();
        for (QTextBlock b = doc.begin(); b.isValid(); b = b.next()) {
            const QRectF br = layout->blockBoundingRect(b);
            if (br.bottom() < clip.top()) continue;
            if (br.top() > clip.bottom()) break;
            const QTextLayout* tl = b.layout();
            for (auto it = b.begin(); !it.atEnd(); ++it) {
                const QTextFragment fr = it.fragment();
                if (!fr.isValid() || !engine::hasShadow(fr.charFormat())) continue;
                const QTextCharFormat f = fr.charFormat();
                const int d = engine::shadowOffset(f);
                p.setPen(engine::shadowColour(f));
                for (const QGlyphRun& g : tl->glyphRuns(fr.position() - b.position(), fr.length()))
                    p.drawGlyphRun(tl->position() + QPointF(d, d), g);
            }
        }
    }

    void clampScroll() {
        const int maxScroll = std::max(0, int(doc.size().height()) - view.height());
        scroll = std::clamp(scroll, 0, maxScroll);
    }
};

TextDocument::TextDocument(const QRect& objectRect) : d_(std::make_unique<Impl>()) {
    TextEngineStartup();
    d_->object = objectRect;
    d_->view = objectRect.adjusted(kTextInset, kTextInset, -kTextInset, -kTextInset);
    d_->doc.setUndoRedoEnabled(false);
    d_->doc.setDocumentMargin(0);
    d_->doc.setTextWidth(std::max(1, d_->view.width()));
    QTextOption option = d_->doc.defaultTextOption();
    option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    d_->doc.setDefaultTextOption(option);
    d_->cursor.setCharFormat(engine::defaultFormat());
    d_->cursor.setBlockCharFormat(engine::defaultFormat());
}

TextDocument::~TextDocument() = default;

QRect TextDocument::objectRect() const { return d_->object; }
QRect TextDocument::viewRect() const { return d_->view; }

void TextDocument::setAlignment(TextAlign a) {
    QTextOption option = d_->doc.defaultTextOption();
    option.setAlignment(a == TextAlign::Centre ? Qt::AlignHCenter : a == TextAlign::Right ? Qt::AlignRight : Qt::AlignLeft);
    d_->doc.setDefaultTextOption(option);
}

void TextDocument::insert(std::string_view bytes) {
    if (bytes.empty() && !d_->cursor.hasSelection()) return;
    const int pos = d_->cursor.selectionStart();
    const bool afterReturn = pos > 0 && d_->doc.characterAt(pos - 1) == QChar(0x2029);
    d_->cursor.insertText(engine::toDocumentText(bytes, afterReturn));
    d_->modified = true;
}

void TextDocument::insertStyled(std::string_view bytes, const std::vector<StyleRun>& runs) {
    if (d_->cursor.hasSelection()) d_->cursor.removeSelectedText();
    const int pos = d_->cursor.position();
    const QString text = engine::toDocumentText(bytes, pos > 0 && d_->doc.characterAt(pos - 1) == QChar(0x2029));
    const qsizetype n = text.size();
    if (runs.empty()) {
        d_->cursor.insertText(text, engine::defaultFormat());
    } else {
        // Each run up to the next one's start; text before the first run takes the first run's
        // style. Starts that go backwards (a damaged record) give their run no text, so every
        // character goes in once.
        qsizetype from = 0;
        for (size_t i = 0; i < runs.size(); ++i) {
            qsizetype to = n;
            if (i + 1 < runs.size()) to = std::max(from, qsizetype(std::min<uint64_t>(runs[i + 1].start, uint64_t(n))));
            const QTextCharFormat fmt = engine::formatForRun(runs[i]);
            if (runs[i].style & kStyleShadow) d_->mayHaveShadow = true;
            if (to > from) d_->cursor.insertText(text.mid(from, to - from), fmt);
            from = to;
            // The insertion point keeps the style of the last run, for text typed after it.
            if (i + 1 == runs.size() || n == 0) d_->cursor.setCharFormat(fmt);
            if (n == 0 && i == 0) d_->cursor.setBlockCharFormat(fmt);
        }
    }
    d_->modified = true;
}

void TextDocument::setStyle(size_t start, size_t end, const StyleRun& style) {
    start = d_->clampPos(start);
    end = d_->clampPos(end);
    if (end <= start) return;
    QTextCursor c(&d_->doc);
    c.setPosition(int(start));
    c.setPosition(int(end), QTextCursor::KeepAnchor);
    c.setCharFormat(engine::formatForRun(style));
    if (style.style & kStyleShadow) d_->mayHaveShadow = true;
    d_->modified = true;
}

std::vector<StyleRun> TextDocument::styleRuns() const {
    std::vector<StyleRun> runs;
    auto add = [&](int pos, const QTextCharFormat& f) {
        StyleRun r = engine::runForFormat(f);
        r.start = uint32_t(pos);
        if (!runs.empty() && runs.back().sameStyle(r)) return;
        runs.push_back(r);
    };
    for (QTextBlock b = d_->doc.begin(); b.isValid(); b = b.next()) {
        // The paragraph mark that ends the previous block has the block's character format.
        if (b != d_->doc.begin()) add(b.position() - 1, b.charFormat());
        for (auto it = b.begin(); !it.atEnd(); ++it) {
            const QTextFragment fr = it.fragment();
            if (fr.isValid() && fr.length() > 0) add(fr.position(), fr.charFormat());
        }
    }
    if (runs.empty()) add(0, d_->cursor.charFormat());
    return runs;
}

std::string TextDocument::text() const {
    QString all;
    all.reserve(d_->doc.characterCount());
    for (QTextBlock b = d_->doc.begin(); b.isValid(); b = b.next()) {
        if (b != d_->doc.begin()) all += QChar(0x2029);
        all += b.text();
    }
    return engine::fromDocumentText(all);
}

size_t TextDocument::textSize() const { return size_t(std::max(0, d_->doc.characterCount() - 1)); }

void TextDocument::setSelection(size_t anchor, size_t position) {
    d_->cursor.setPosition(int(d_->clampPos(anchor)));
    d_->cursor.setPosition(int(d_->clampPos(position)), QTextCursor::KeepAnchor);
}

std::pair<size_t, size_t> TextDocument::selection() const {
    return {size_t(d_->cursor.selectionStart()), size_t(d_->cursor.selectionEnd())};
}

size_t TextDocument::insertionPoint() const { return size_t(d_->cursor.position()); }
bool TextDocument::hasSelection() const { return d_->cursor.hasSelection(); }

std::string TextDocument::selectedText() const {
    if (!d_->cursor.hasSelection()) return {};
    return engine::fromDocumentText(d_->cursor.selectedText());
}

void TextDocument::deleteForward() {
    if (!d_->cursor.hasSelection() && d_->cursor.atEnd()) return;
    d_->cursor.deleteChar();
    d_->modified = true;
}

void TextDocument::deleteBackward() {
    if (!d_->cursor.hasSelection() && d_->cursor.atStart()) return;
    d_->cursor.deletePreviousChar();
    d_->modified = true;
}

size_t TextDocument::pointToChar(QPoint p) const {
    const int pos = d_->doc.documentLayout()->hitTest(d_->toDoc(p), Qt::FuzzyHit);
    return pos < 0 ? textSize() : d_->clampPos(size_t(pos));
}

bool TextDocument::pointInView(QPoint p) const { return d_->view.contains(p); }

void TextDocument::click(QPoint p, bool extend) {
    d_->cursor.setPosition(int(pointToChar(p)), extend ? QTextCursor::KeepAnchor : QTextCursor::MoveAnchor);
}

void TextDocument::doubleClick(QPoint p) {
    d_->cursor.setPosition(int(pointToChar(p)));
    d_->cursor.select(QTextCursor::WordUnderCursor);
}

void TextDocument::dragTo(QPoint p) {
    // Above or below the text area the text scrolls by a line towards the pointer.
    const int line = QFontMetrics(d_->cursor.charFormat().font()).height();
    if (p.y() < d_->view.top()) scrollBy(-line);
    else if (p.y() > d_->view.bottom()) scrollBy(line);
    const QPoint inside(std::clamp(p.x(), d_->view.left(), d_->view.right()),
                        std::clamp(p.y(), d_->view.top(), d_->view.bottom()));
    d_->cursor.setPosition(int(pointToChar(inside)), QTextCursor::KeepAnchor);
}

bool TextDocument::typeChar(uint8_t ch) {
    if (ch == 8) {
        deleteBackward();
    } else if (ch == '\r') {
        d_->cursor.insertText(QString(QChar(0x2029)));
    } else if (ch == '\t' || ch >= 32) {
        if (ch == 127) return false;
        const char c = char(ch);
        d_->cursor.insertText(engine::toDocumentText(std::string_view(&c, 1)));
    } else {
        return false;
    }
    d_->modified = true;
    ensureCaretVisible();
    return true;
}

void TextDocument::arrow(TextArrow a, bool extend) {
    QTextCursor& c = d_->cursor;
    if (!extend && c.hasSelection() && (a == TextArrow::Left || a == TextArrow::Right)) {
        c.setPosition(a == TextArrow::Left ? c.selectionStart() : c.selectionEnd());
    } else {
        const auto mode = extend ? QTextCursor::KeepAnchor : QTextCursor::MoveAnchor;
        switch (a) {
        case TextArrow::Left: c.movePosition(QTextCursor::Left, mode); break;
        case TextArrow::Right: c.movePosition(QTextCursor::Right, mode); break;
        case TextArrow::Up: c.movePosition(QTextCursor::Up, mode); break;
        case TextArrow::Down: c.movePosition(QTextCursor::Down, mode); break;
        case TextArrow::LineStart: c.movePosition(QTextCursor::StartOfLine, mode); break;
        case TextArrow::LineEnd: c.movePosition(QTextCursor::EndOfLine, mode); break;
        case TextArrow::WordLeft: c.movePosition(QTextCursor::WordLeft, mode); break;
        case TextArrow::WordRight: c.movePosition(QTextCursor::WordRight, mode); break;
        case TextArrow::TextStart: c.movePosition(QTextCursor::Start, mode); break;
        case TextArrow::TextEnd: c.movePosition(QTextCursor::End, mode); break;
        }
    }
    ensureCaretVisible();
}

void TextDocument::draw(QPainter& p, const DrawOptions& o) const {
    p.save();
    p.setClipRect(d_->view, p.hasClipping() ? Qt::IntersectClip : Qt::ReplaceClip);
    p.translate(d_->view.left(), d_->view.top() - d_->scroll);
    QAbstractTextDocumentLayout::PaintContext ctx;
    ctx.clip = QRectF(0, d_->scroll, d_->view.width(), d_->view.height());
    ctx.palette.setColor(QPalette::Text, Qt::black);
    const bool selection = o.showSelection && d_->cursor.hasSelection();
    ctx.cursorPosition = o.showCaret && !selection ? d_->cursor.position() : -1;
    if (selection) {
        QAbstractTextDocumentLayout::Selection s;
        s.cursor = d_->cursor;
        s.format.setBackground(kHighlight);
        s.format.setForeground(QColor(Qt::white));
        ctx.selections.append(s);
    }
    if (d_->mayHaveShadow) d_->drawShadows(p, ctx.clip);
    d_->doc.documentLayout()->draw(&p, ctx);
    p.restore();
}

int TextDocument::scrollValue() const { return d_->scroll; }

void TextDocument::setScrollValue(int y) {
    d_->scroll = y;
    d_->clampScroll();
}

void TextDocument::scrollBy(int dy) { setScrollValue(d_->scroll + dy); }

int TextDocument::contentHeight() const { return int(d_->doc.size().height()); }

void TextDocument::ensureCaretVisible() {
    const QRectF line = d_->caretLine();
    if (line.isNull()) return;
    if (line.top() < d_->scroll) d_->scroll = int(line.top());
    else if (line.bottom() > d_->scroll + d_->view.height()) d_->scroll = int(std::ceil(line.bottom())) - d_->view.height();
    d_->clampScroll();
}

QRect TextDocument::caretRect() const {
    const QRectF line = d_->caretLine();
    return QRect(d_->view.left() + int(line.left()), d_->view.top() + int(line.top()) - d_->scroll, 1,
                 std::max(1, int(std::ceil(line.height()))));
}

bool TextDocument::modified() const { return d_->modified; }
void TextDocument::setModified(bool m) { d_->modified = m; }

bool TextDocument::idle(uint64_t nowMs) {
    const bool on = nowMs < d_->caretEpoch || ((nowMs - d_->caretEpoch) / kCaretBlinkMs) % 2 == 0;
    if (on == d_->caretOn) return false;
    d_->caretOn = on;
    return true;
}

bool TextDocument::caretShown() const { return d_->caretOn; }

void TextDocument::restartCaret(uint64_t nowMs) {
    d_->caretEpoch = nowMs;
    d_->caretOn = true;
}

} // namespace cv
