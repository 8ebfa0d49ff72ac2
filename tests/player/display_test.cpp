// Card display: the display list made from the stored objects, composing and repainting the
// card image, and the window title.
#include <gtest/gtest.h>

#include "browse_fixture.h"
#include "core/byte_order.h"
#include "stack/record_layout.h"
#include "stack/stack_document.h"

namespace cv::test {
namespace {

// Objects of every kind, some hidden, overlapping in stored order.
constexpr const char* kLayered = R"({"card_width": 200, "card_height": 100, "cards": [
 {"name": "Objects", "background": {"colour": "#FFFFFF"}, "objects": [
  {"kind": "graphic", "id": 1, "rect": [0, 0, 50, 50], "colour": "#FF0000"},
  {"kind": "button", "id": 2, "rect": [10, 10, 60, 40], "shape": 2, "hidden": true, "fill_colour": 256},
  {"kind": "text", "id": 3, "rect": [100, 0, 190, 40], "text": "T"},
  {"kind": "graphic", "id": 4, "rect": [20, 20, 70, 70], "colour": "#00FF00", "hidden": true},
  {"kind": "button", "id": 5, "name": "Press", "rect": [30, 30, 80, 60], "shape": 3, "fill_colour": 211,
   "name_colour": 36, "no_invert": true, "roll_over": true},
  {"kind": "text", "id": 6, "rect": [100, 50, 190, 90], "text": "H", "hidden": true},
  {"kind": "graphic", "id": 7, "rect": [140, 60, 180, 90], "colour": "#00FF00"}
 ]}]})";

std::vector<int> ids(const DisplayList& list) {
    std::vector<int> out;
    for (const DisplayRecord& r : list) out.push_back(r.id);
    return out;
}

QRgb rgb(const QImage& img, int x, int y) { return img.pixel(x, y) & 0xFFFFFFu; }

class DisplayTest : public BrowseTest {
protected:
    DisplayList rebuild(const RevealHidden& reveal = {}) {
        return buildDisplayList(player->currentCard(), player->cardPicture().colourTable, theStack().path, reveal);
    }
};

TEST_F(DisplayTest, DisplayListKeepsStoredOrderAndLeavesHiddenObjectsOut) {
    open(kLayered);
    const DisplayList& list = player->displayList();
    ASSERT_EQ(ids(list), (std::vector<int>{1, 3, 5, 7}));
    EXPECT_EQ(list[2].bounds, QRect(QPoint(30, 30), QPoint(79, 59)));

    EXPECT_EQ(ids(rebuild({true, true, true})), (std::vector<int>{1, 2, 3, 4, 5, 6, 7}));
    EXPECT_EQ(ids(rebuild({false, true, false})), (std::vector<int>{1, 2, 3, 5, 7}));
}

TEST_F(DisplayTest, ButtonRecordsTakeTheirStoredColoursOneBased) {
    open(kLayered);
    const DisplayRecord& b = player->displayList()[2];
    EXPECT_EQ(b.textColour, 35);
    EXPECT_EQ(b.fillColour, 210);
    EXPECT_EQ(b.name, "Press");
}

TEST_F(DisplayTest, GraphicWhosePictureFlagsAreExactly0x20GetsNoRecord) {
    open(kLayered);
    Handle card = player->currentCard();
    const uint32_t off = FindObject(card, obj::kGraphic, 7);
    ASSERT_NE(off, 0u);
    uint8_t* flags = memRefs().data(card) + off + graphic::kPictureFlags;
    put16(flags, 0x20);
    EXPECT_EQ(ids(rebuild()), (std::vector<int>{1, 3, 5}));
    put16(flags, 0x22);
    EXPECT_EQ(ids(rebuild()), (std::vector<int>{1, 3, 5, 7}));
}

TEST_F(DisplayTest, LaterObjectsCoverEarlierOnesAndHiddenOnesAreNotDrawn) {
    open(kLayered);
    const QImage& s = player->screen();
    EXPECT_EQ(rgb(s, 5, 5), 0xFF0000u);    // graphic 1
    EXPECT_EQ(rgb(s, 33, 35), 0x0000FFu);  // button 5 over graphic 1
    EXPECT_EQ(rgb(s, 15, 15), 0xFF0000u);  // the hidden button would be black here
    EXPECT_EQ(rgb(s, 65, 65), 0xFFFFFFu);  // the hidden graphic would be green here
    EXPECT_EQ(rgb(s, 160, 75), 0x00FF00u); // graphic 7
}

TEST_F(DisplayTest, RepaintingCopiesThePictureAndRedrawsOnlyObjectsInTheRectangle) {
    open(kLayered);
    int textDraws = 0;
    player->drawContext().drawText = [&](QPainter&, const DisplayRecord&) { ++textDraws; };
    QImage& s = player->screen();
    const QRgb magenta = qRgb(255, 0, 255);

    // An area touching no object: the picture's pixels come back there and nowhere else.
    s.fill(magenta);
    const int presents = host.presents;
    player->paintCardRect(QRect(60, 70, 30, 20));
    EXPECT_EQ(textDraws, 0);
    EXPECT_EQ(host.presents, presents + 1);
    EXPECT_EQ(rgb(s, 60, 70), 0xFFFFFFu);
    EXPECT_EQ(rgb(s, 89, 89), 0xFFFFFFu);
    EXPECT_EQ(rgb(s, 59, 70), magenta & 0xFFFFFFu);
    EXPECT_EQ(rgb(s, 90, 89), magenta & 0xFFFFFFu);

    // Part of a button: drawn again inside the rectangle only.
    s.fill(magenta);
    player->paintCardRect(QRect(40, 35, 10, 10));
    EXPECT_EQ(rgb(s, 45, 40), 0x0000FFu);
    EXPECT_EQ(rgb(s, 35, 40), magenta & 0xFFFFFFu);
    EXPECT_EQ(textDraws, 0);

    player->paintCardRect(QRect(150, 10, 5, 5));
    EXPECT_EQ(textDraws, 1);
    // Outside the card: nothing to do.
    player->paintCardRect(QRect(300, 300, 10, 10));
    EXPECT_EQ(host.presents, presents + 3);
}

TEST_F(DisplayTest, ObjectsTooShortForTheirKindAreLeftOut) {
    // A card whose graphic object and button claim less than their fixed parts; the button
    // ends the record, so reading its fields would leave the record.
    std::vector<uint8_t> rec(card::kBody, 0);
    auto object = [&](uint16_t kind, uint16_t id, uint32_t length) {
        const size_t at = rec.size();
        rec.resize(at + length);
        put16(rec.data() + at + obj::kKind, kind);
        put16(rec.data() + at + obj::kId, id);
        put32(rec.data() + at + obj::kLength, length);
    };
    object(obj::kGraphic, 1, 40);
    object(obj::kButton, 2, 24);
    rec.insert(rec.end(), {0, 0, 0xFA, 0xCE});
    put32(rec.data() + card::kLength, uint32_t(rec.size()));
    Handle card = NewHandleFrom(rec.data(), uint32_t(rec.size()));
    EXPECT_TRUE(buildDisplayList(card, {}, "").empty());
    const uint8_t* button = memRefs().data(card) + card::kBody + 40;
    EXPECT_EQ(makeDisplayRecord(button, 24, {}, "").kind, 0);
    DisposeHandle(card);
}

// The card number in the title is checked by the navigation session.
TEST_F(DisplayTest, WindowTitleNamesTheStack) {
    player->newUntitledStack();
    EXPECT_EQ(host.title, "Untitled");
    open(R"({"card_width": 100, "card_height": 60, "settings": {"show_card_number": 0}, "cards": [{"name": "A"}]})");
    EXPECT_EQ(host.title, "fixture.stk");
}

} // namespace
} // namespace cv::test
