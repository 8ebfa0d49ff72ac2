#pragma once
// Drawing the objects of the display list onto the card image.
#include <QFont>
#include <QPainter>
#include <QVector>
#include <functional>

#include "player/display_list.h"

namespace cv {

struct DrawContext {
    const QVector<QRgb>* palette = nullptr;   // the card's 256 colours
    bool revealing = false;                   // buttons are being revealed on the window
    // Draws a text field (the text engine's part); none until one is installed.
    std::function<void(QPainter&, const DisplayRecord&)> drawText;
};

// The font button names are drawn in.
const QFont& buttonFont();

void drawButton(QPainter& p, const DisplayRecord& r, const DrawContext& ctx);
void drawGraphic(QPainter& p, const DisplayRecord& r, const DrawContext& ctx);

// Draws every record whose bounds meet `rect`, in list order. With a pivot index, only the
// records before it (below) or after it (!below); the pivot itself is never drawn.
void drawObjects(QPainter& p, const DisplayList& list, const QRect& rect, const DrawContext& ctx,
                 int pivot = -1, bool below = false);

// The outlines of the card's buttons, as revealed with Control+Shift: drawing them twice with
// exclusive-or restores the image.
void drawButtonOutlines(QImage& screen, const DisplayList& list, const QRect& clip = QRect());

} // namespace cv
