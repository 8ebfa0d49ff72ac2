#pragma once
// Where everything goes in an alert dialog: its size from the size class and the buttons, the
// picture, the text and the buttons laid from the right along the bottom. Pure arithmetic on
// a parsed alert string, so that the dialog of any platform (and the tests) use the same numbers.
#include <QRect>
#include <QSize>
#include <functional>
#include <string>
#include <vector>

#include "core/ui.h"

namespace cv {

// The sizes the alert dialog is built from. The template button is 50 dialog units wide in a
// font whose average character is 6 pixels (one dialog unit = 6 / 4 pixels): 75 pixels. The
// horizontal dialog base unit, by which a label's characters are counted, is 8 pixels, the
// width of an average character of the system font.
struct AlertMetrics {
    int templateButtonWidth = 75;
    int buttonHeight = 23;
    int baseUnitX = 8;
    int frame = 3;        // dialog frame, each side
    int border = 1;       // window border, each side
    int caption = 19;     // caption bar
    int margin = 4;       // buttons and picture from the client edges
    int buttonGap = 15;   // between neighbouring buttons
    int textTop = 12;
    int textGap = 4;      // between the text and the buttons
};

enum class AlertPicture { None, Stop, Exclamation, Dog };

// The picture a second digit asks for (none when `showIcon` is false).
AlertPicture alertPicture(int digit, bool showIcon);

// Minimum outer width and height of a size class (0-9; others count as 0).
int alertClassWidth(int sizeClass);
int alertClassHeight(int sizeClass);

// The width of a button with that label.
int alertButtonWidth(const std::string& label, const AlertMetrics& m = {});

struct AlertLayout {
    QSize window;                 // outer size, with frame, border and caption
    QSize client;                 // inside the frame and caption
    AlertPicture picture = AlertPicture::None;
    QRect pictureRect;            // client coordinates; empty without a picture
    QRect textRect;
    std::vector<QRect> buttons;   // one per label, in label order (the first is rightmost)
    int defaultButton = 0;        // index into `buttons`
    int cancelButton = -1;        // the button labelled Cancel, which Escape presses; -1 when none
};

// Lays out an alert. `pictureSize` is the size of the picture the digit asks for (the dog
// picture, or an icon). `textHeight`, when given, measures the message at a width; a message
// taller than its size class allows makes the dialog taller instead of being cut off.
AlertLayout layoutAlert(const AlertText& alert, bool showIcon, QSize pictureSize,
                        const std::function<int(int width)>& textHeight = {}, const AlertMetrics& m = {});

// Whether a label is the Cancel button's ("Cancel", in any case, mnemonic marks ignored).
bool isCancelLabel(const std::string& label);

} // namespace cv
