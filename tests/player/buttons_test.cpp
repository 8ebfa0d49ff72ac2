// Buttons: where each shape is hit, how the framed shapes and names are drawn, and revealing
// the outlines of buttons that draw none.
#include <gtest/gtest.h>

#include "browse_fixture.h"
#include "player/card_picture.h"
#include "test_application.h"

namespace cv::test {
namespace {

std::string repeated(const std::string& s, int n) {
    std::string out;
    for (int i = 0; i < n; ++i) out += s;
    return out;
}

// A 32 x 32 shape whose left half is set, and the same shape with its rows cut short, as a
// stack file stores them: the size big-endian, then the mask rows packed.
const std::string kHalfMask = "0020 0020 0000 0000 " + repeated("FFFF FF00 ", 32);
const std::string kCutMask = "0020 0020 0000 0000 FFFF";

std::string buttonsManifest() {
    return R"({"card_width": 300, "card_height": 100, "cards": [
 {"name": "Buttons", "background": {"colour": "#FFFFFF"}, "objects": [
  {"kind": "button", "id": 1, "rect": [10, 10, 110, 50], "shape": 0, "show_name": false},
  {"kind": "button", "id": 2, "rect": [120, 10, 220, 50], "shape": 4, "show_name": false},
  {"kind": "button", "id": 3, "rect": [230, 10, 262, 42], "shape": 5, "show_name": false,
   "actions": [{"type": "shape", "payload": ")" + kHalfMask + R"("}]},
  {"kind": "button", "id": 4, "rect": [230, 50, 262, 82], "shape": 6, "show_name": false,
   "actions": [{"type": "shape", "payload": ")" + kCutMask + R"("}]}
 ]}]})";
}

class ButtonsTest : public BrowseTest {
protected:
    const DisplayRecord& button(int index) { return player->displayList().at(size_t(index)); }
};

TEST_F(ButtonsTest, EachShapeIsHitWhereItLies) {
    open(buttonsManifest());
    const DisplayRecord& rounded = button(0);
    EXPECT_TRUE(recordContains(rounded, {60, 30}));
    EXPECT_TRUE(recordContains(rounded, {109, 30}));
    EXPECT_FALSE(recordContains(rounded, {10, 10}));  // outside the rounded corner
    EXPECT_FALSE(recordContains(rounded, {110, 30}));

    // Transparent: the whole rectangle, corners included, though it has no region of its own.
    const DisplayRecord& transparent = button(1);
    EXPECT_TRUE(recordContains(transparent, {120, 10}));
    EXPECT_TRUE(recordContains(transparent, {219, 49}));
    EXPECT_FALSE(recordContains(transparent, {220, 49}));
    EXPECT_FALSE(recordContains(transparent, {119, 30}));

    // Picture-shaped: only where its mask is set.
    const DisplayRecord& shaped = button(2);
    EXPECT_TRUE(recordContains(shaped, {230, 10}));
    EXPECT_TRUE(recordContains(shaped, {245, 41}));
    EXPECT_FALSE(recordContains(shaped, {246, 20}));
    EXPECT_FALSE(recordContains(shaped, {229, 20}));
    EXPECT_FALSE(recordContains(shaped, {232, 42}));
}

TEST_F(ButtonsTest, DamagedShapeMaskMakesAButtonThatIsNeverHit) {
    open(buttonsManifest());
    const DisplayRecord& damaged = button(3);
    EXPECT_TRUE(damaged.shapeMask.isNull());
    for (int y = 45; y < 90; y += 3)
        for (int x = 225; x < 270; x += 3) EXPECT_FALSE(recordContains(damaged, {x, y}));
    player->revealButtons(true);  // nothing to outline, and nothing breaks
    player->revealButtons(false);
}

TEST_F(ButtonsTest, RevealingOutlinesTwiceRestoresTheScreenAndRepaintsKeepThem) {
    open(buttonsManifest());
    const QImage plain = player->screen().copy();
    auto rgb = [&](int x, int y) { return player->screen().pixel(x, y) & 0xFFFFFFu; };

    player->revealButtons(true);
    EXPECT_EQ(rgb(120, 10), 0x000000u);  // the transparent button's rectangle
    EXPECT_EQ(rgb(170, 49), 0x000000u);
    EXPECT_EQ(rgb(170, 30), 0xFFFFFFu);
    EXPECT_EQ(rgb(240, 20), 0x000000u);  // the set half of the shape
    EXPECT_EQ(rgb(250, 20), 0xFFFFFFu);

    // A repaint while revealed brings the outlines back where it painted, once.
    player->paintCardRect(QRect(100, 0, 60, 30));
    EXPECT_EQ(rgb(120, 10), 0x000000u);
    EXPECT_EQ(rgb(140, 10), 0x000000u);

    player->revealButtons(false);
    EXPECT_EQ(player->screen(), plain);

    // Shift and Control held together reveal them; letting one go hides them.
    player->dispatch({.type = MsgType::KeyDown, .key = kKeyShift});
    player->dispatch({.type = MsgType::KeyDown, .key = kKeyControl});
    EXPECT_TRUE(player->buttonsRevealed());
    player->dispatch({.type = MsgType::KeyUp, .key = kKeyControl});
    EXPECT_FALSE(player->buttonsRevealed());
    EXPECT_EQ(player->screen(), plain);
}

// Drawing one button record on a white image.
QImage drawn(const DisplayRecord& r) {
    QImage img(120, 70, QImage::Format_RGB32);
    img.fill(Qt::white);
    QPainter p(&img);
    DrawContext ctx;
    ctx.palette = &defaultPaletteColours();
    drawButton(p, r, ctx);
    return img;
}

DisplayRecord buttonRecord(int shape, QRect bounds) {
    DisplayRecord r;
    r.kind = 48;
    r.shape = shape;
    r.bounds = bounds;
    r.fillColour = 35;  // red
    r.textColour = 35;
    return r;
}

TEST(ButtonDrawing, DefaultShapeHasAFourPixelFrameTwoInsideAndTheRoundedShapeSixInside) {
    ensureTestApplication();
    const QRect bounds(QPoint(10, 10), QPoint(99, 59));
    const QImage img = drawn(buttonRecord(1, bounds));
    auto rgb = [&](int x, int y) { return img.pixel(x, y) & 0xFFFFFFu; };
    for (int d = 0; d < 2; ++d) {
        EXPECT_EQ(rgb(10 + d, 35), 0xFFFFFFu) << d;
        EXPECT_EQ(rgb(55, 10 + d), 0xFFFFFFu) << d;
    }
    for (int d = 2; d < 7; ++d) {
        EXPECT_EQ(rgb(10 + d, 35), 0x000000u) << d;
        EXPECT_EQ(rgb(55, 10 + d), 0x000000u) << d;
    }
    EXPECT_EQ(rgb(17, 35), 0xFF0000u);
    EXPECT_EQ(rgb(55, 17), 0xFF0000u);

    const QImage rounded = drawn(buttonRecord(0, bounds));
    EXPECT_EQ(rounded.pixel(10, 35) & 0xFFFFFFu, 0x000000u);
    EXPECT_EQ(rounded.pixel(11, 35) & 0xFFFFFFu, 0xFF0000u);
    EXPECT_EQ(rounded.pixel(55, 59) & 0xFFFFFFu, 0x000000u);
    EXPECT_EQ(rounded.pixel(10, 10) & 0xFFFFFFu, 0xFFFFFFu);

    DisplayRecord hidden = buttonRecord(2, bounds);
    hidden.hidden = true;
    QImage white(120, 70, QImage::Format_RGB32);
    white.fill(Qt::white);
    EXPECT_EQ(drawn(hidden), white);
}

TEST(ButtonDrawing, FramedShapesClipTheirNamesTwoPixelsInside) {
    ensureTestApplication();
    for (int shape : {0, 1, 2, 3, 4}) {
        DisplayRecord r = buttonRecord(shape, QRect(QPoint(40, 20), QPoint(79, 49)));
        r.fillColour = 0;  // white: only the name is red
        r.showName = true;
        r.name = "WWWWWWWWWWWWWWWW";
        const QImage img = drawn(r);
        int inside = 0, outside = 0;
        for (int y = 0; y < img.height(); ++y)
            for (int x = 0; x < img.width(); ++x)
                if ((img.pixel(x, y) & 0xFFFFFFu) == 0xFF0000u) ++(x >= 42 && x <= 77 ? inside : outside);
        EXPECT_GT(inside, 0) << shape;
        if (shape == 4) EXPECT_GT(outside, 0) << "a transparent button's name is not clipped";
        else EXPECT_EQ(outside, 0) << shape;
    }
}

} // namespace
} // namespace cv::test
