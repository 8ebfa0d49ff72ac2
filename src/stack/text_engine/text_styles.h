#pragma once
// Inside the text engine: stored style runs as Qt character formats and back, and stored
// characters as Qt text and back. Not for use outside this folder.
#include <QColor>
#include <QString>
#include <QTextCharFormat>
#include <string>
#include <string_view>

#include "stack/text_records.h"

namespace cv::engine {

// Windows-1252 bytes as the document's characters: '\r' ends a paragraph, '\n' breaks a line
// (right after '\r' it takes no room, so that "\r\n" reads as one line end). One character
// for each byte, so offsets are the same on both sides.
QString toDocumentText(std::string_view cp1252, bool afterReturn = false);
// The document's characters as Windows-1252 bytes ('?' for what that set lacks).
std::string fromDocumentText(const QString& text);
// One document character as a Windows-1252 byte.
char fromDocumentChar(QChar c);

// The character format a run shows with. The run itself is kept in the format, so that
// reading the text back gives the stored values (sizes, colours, font numbers) unchanged.
QTextCharFormat formatForRun(const StyleRun& run);
// The format of text that has no run: the default font at `size`, black, unnumbered.
QTextCharFormat defaultFormat(int size = 12);
// Shadowed text: drawn hollow like outlined text, over a copy offset down and to the right.
bool hasShadow(const QTextCharFormat& f);
// The shadow's colour and offset in pixels.
QColor shadowColour(const QTextCharFormat& f);
int shadowOffset(const QTextCharFormat& f);

// The run a format stands for. A format that carries no run (made by the engine) gets its
// font's number from the stack's font list and its values from the font it shows.
StyleRun runForFormat(const QTextCharFormat& f);

} // namespace cv::engine
