#pragma once
// The display list of the shown card: one record per object, in the card's stored order
// (first is bottom-most), made from the stored object records when a card is shown.
#include <QImage>
#include <QRect>
#include <QRegion>
#include <QVector>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "core/handles.h"

namespace cv {

enum class ButtonShape : int16_t {
    Rounded = 0, Default = 1, Rectangle = 2, Shadowed = 3, Transparent = 4,
    Picture5 = 5, Picture6 = 6, Picture7 = 7,
};

struct DisplayRecord {
    uint16_t kind = 0;       // 16 graphic object, 48 button, 96 text field
    uint16_t id = 0;
    QRect bounds;            // card coordinates
    QRegion hitRegion;
    uint16_t flags = 0;      // the stored object flags
    uint16_t actionId = 0;   // graphic objects and text fields: their 'Actn' list
    std::string name;        // Windows bytes

    // Buttons.
    int shape = 0;
    int textColour = 0;
    int fillColour = 0;
    bool showName = false;
    bool highlight = true;
    bool hasIcon = false;
    QImage icon;
    QImage shapeMask;        // shapes 5-7: set pixels are the button (Format_Mono)
    QImage shapeBitmap;      // shapes 5-7: the outline shown when buttons are revealed
    bool hidden = false;

    // Graphic objects.
    QImage picture;
    QImage mask;             // transparent pictures: set pixels are the picture
    QImage outline;          // the frame drawn round a masked picture
    QImage maskedPicture;    // the picture made transparent outside its mask, ready to draw
    int frameColour = 0;
    int frameWidth = 0;
    bool draggable() const { return kind == 16 && (flags & 0x80); }

    // Text fields.
    uint16_t secondFlags = 0;
    int textColourIndex = 0;

    bool isButton() const { return kind == 48; }
    bool isGraphic() const { return kind == 16; }
    bool isText() const { return kind == 96; }
    bool isPictureShaped() const { return isButton() && shape >= 5 && shape <= 7; }
};

using DisplayList = std::vector<DisplayRecord>;

struct RevealHidden {
    bool graphics = false, buttons = false, texts = false;
};

// The most pixels the pictures, icons and masks (a 1-bit pixel counting as a 32nd) of one
// card's objects may hold together: four of the largest cards. Objects past it are shown
// without them, so that a card record of small, well-compressed pictures cannot claim memory
// without end.
constexpr int64_t kCardObjectPixels = int64_t(4) * 4096 * 4096;

// Builds the display list of a card record. `cardColourTable` is the colour table graphic
// object pictures are decoded with; `stackFolder` finds the picture files objects name.
DisplayList buildDisplayList(Handle card, std::span<const uint8_t> cardColourTable,
                             const std::string& stackPath, const RevealHidden& reveal = {});

// One display record made from one stored object (kind 16, 48 or 96).
DisplayRecord makeDisplayRecord(const uint8_t* object, uint32_t length,
                                std::span<const uint8_t> cardColourTable, const std::string& stackPath);

// Whether `p` (card coordinates) lies on the record's object, by its shape (mask, bounds or
// hit region).
bool recordContains(const DisplayRecord& r, const QPoint& p);

} // namespace cv
