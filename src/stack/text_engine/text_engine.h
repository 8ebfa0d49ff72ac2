#pragma once
// The text engine: lays out, draws and edits the styled text of one shown text object. Text
// goes in and out as Windows-1252 bytes, one character per byte, so that character offsets
// here are offsets into the stored text ('\r' ends a paragraph, '\n' breaks a line). Styles
// are the stored style runs; what a run looks like on screen is decided here.
#include <QPoint>
#include <QRect>
#include <cstddef>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "stack/text_records.h"

class QPainter;

namespace cv {

// Start and stop: the engine is usable between them. Starting installs the font resolver
// (installed faces and the system's substitutes) of the stack's font list.
void TextEngineStartup();
void TextEngineShutdown();

// The text area keeps this far inside its object's rectangle.
constexpr int kTextInset = 3;

// Alignment as the engine takes it.
enum class TextAlign { Left = 0, Centre = 1, Right = 2 };
// The engine's alignment for a stored one: 0 left, 1 centred, -1 right.
TextAlign alignmentFromStored(int16_t stored);

// Arrow characters (the engine's, sent for the arrow keys), and the other moves of the
// insertion point that desktop text fields make: Home and End to the ends of the shown line,
// Control with Left and Right by words, Control with Home and End to the ends of the text.
enum class TextArrow { Left, Right, Up, Down, LineStart, LineEnd, WordLeft, WordRight, TextStart, TextEnd };

class TextDocument {
public:
    // A document for a text object whose rectangle (card coordinates) is `objectRect`.
    explicit TextDocument(const QRect& objectRect);
    ~TextDocument();
    TextDocument(const TextDocument&) = delete;
    TextDocument& operator=(const TextDocument&) = delete;

    QRect objectRect() const;
    // The text area: the object's rectangle inset by kTextInset.
    QRect viewRect() const;
    void setAlignment(TextAlign a);

    // ---- Text and styles ----
    // Inserts at the insertion point (replacing the selection) in the insertion point's style.
    void insert(std::string_view cp1252);
    // Inserts `text` at the insertion point with `runs` over it (run starts relative to the
    // inserted text); the way stored text is loaded.
    void insertStyled(std::string_view cp1252, const std::vector<StyleRun>& runs);
    // Sets the style of characters [start, end).
    void setStyle(size_t start, size_t end, const StyleRun& style);
    // The style runs of the whole text (adjacent equal runs merged; at least one run). Fonts
    // that no run named by number get one from the stack's font list.
    std::vector<StyleRun> styleRuns() const;
    std::string text() const;
    size_t textSize() const;

    // ---- Selection ----
    // Selection from `anchor` to `position` (the insertion point when equal).
    void setSelection(size_t anchor, size_t position);
    // Start and end, in order.
    std::pair<size_t, size_t> selection() const;
    size_t insertionPoint() const;
    bool hasSelection() const;
    std::string selectedText() const;
    // Deletes the selection, or the character after the insertion point.
    void deleteForward();
    // Deletes the selection, or the character before the insertion point.
    void deleteBackward();

    // ---- Input ----
    // The character offset nearest to `p` (card coordinates).
    size_t pointToChar(QPoint p) const;
    bool pointInView(QPoint p) const;
    // A click: places the insertion point (with `extend`, moves the selection's end).
    void click(QPoint p, bool extend);
    // A double-click: selects the word at `p`.
    void doubleClick(QPoint p);
    // The pointer moved while the button is held: the selection follows it, and the text
    // scrolls when the pointer is above or below the text area.
    void dragTo(QPoint p);
    // One typed character: printable characters and tab are inserted, 13 starts a new line,
    // 8 deletes backwards. False when the character means nothing to the engine.
    bool typeChar(uint8_t ch);
    // Moves the insertion point (with `extend`, the selection's end).
    void arrow(TextArrow a, bool extend);

    // ---- Display ----
    struct DrawOptions {
        bool showSelection = false;   // the active text object shows its highlight
        bool showCaret = false;
    };
    // Draws the text, clipped to the text area. Nothing is painted behind it.
    void draw(QPainter& p, const DrawOptions& o) const;
    // Scrolling: the first pixel row of the text shown at the top of the text area.
    int scrollValue() const;
    void setScrollValue(int y);
    void scrollBy(int dy);
    // The text's full height.
    int contentHeight() const;
    // Scrolls so that the insertion point shows.
    void ensureCaretVisible();
    // Where the caret is drawn (card coordinates), 1 pixel wide and a line high.
    QRect caretRect() const;
    // The area a change of selection or caret needs redrawn (the text area).
    QRect dirtyRect() const { return viewRect(); }

    // Whether the text or its styles changed since the last setModified(false).
    bool modified() const;
    void setModified(bool m);

    // The periodic turn of the active document: the caret blinks. True when what is drawn
    // changed (the caret's visibility).
    bool idle(uint64_t nowMs);
    bool caretShown() const;
    // Input happened: the caret shows at once and starts blinking again.
    void restartCaret(uint64_t nowMs);

private:
    struct Impl;
    std::unique_ptr<Impl> d_;
};

} // namespace cv
