#pragma once
// The program's own pictures, drawn in code: "DOGGIE", the friendly dog of the alerts (a
// two-part bitmap, the picture on the left half and its mask on the right, black where the
// picture is), and "PLAYEREND", the end screen.
#include <QImage>
#include <QPoint>
#include <string_view>

namespace cv {

// The bitmap of that name, or a null image for a name the program has no bitmap for.
QImage loadBitmap(std::string_view name);

// Draws a two-part bitmap onto `dst` at `at` through its mask, as the alerts do: an
// exclusive-or of the picture, an and of the mask and a second exclusive-or of the picture.
// Where the mask is white `dst` is left as it was; where it is black the picture shows.
void drawTransparent(QImage& dst, const QImage& twoPart, QPoint at);

} // namespace cv
