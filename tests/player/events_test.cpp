// Clicks on the card: which object is hit, button presses, roll-overs, drags and the
// click actions of the card and the stack.
#include <gtest/gtest.h>

#include "browse_fixture.h"
#include "core/byte_order.h"
#include "player/actions.h"
#include "player/events.h"
#include "player/navigation.h"
#include "stack/record_layout.h"
#include "stack/stack_document.h"

namespace cv::test {
namespace {

// Buttons run a script naming themselves, so the log shows which one fired.
const char* kButtons = R"({
  "depth": 8, "card_width": 200, "card_height": 150,
  "cards": [{"name": "One", "background": {"colour": "#ffffff"}, "objects": [
    {"kind": "button", "id": 1, "name": "Under", "rect": [10, 10, 90, 50], "shape": 2,
     "actions": [{"type": "script", "text": "under"}]},
    {"kind": "button", "id": 2, "name": "Over", "rect": [50, 30, 130, 70], "shape": 2,
     "actions": [{"type": "script", "text": "over"}]},
    {"kind": "button", "id": 3, "name": "Clear", "rect": [140, 10, 190, 40], "shape": 4,
     "actions": [{"type": "script", "text": "clear"}]},
    {"kind": "button", "id": 4, "name": "Hidden", "rect": [140, 100, 190, 140], "shape": 2, "hidden": true,
     "actions": [{"type": "script", "text": "hidden"}]},
    {"kind": "button", "id": 5, "name": "Roll", "rect": [10, 100, 50, 140], "shape": 2, "roll_over": true,
     "actions": [{"type": "script", "text": "roll5"}]},
    {"kind": "button", "id": 6, "name": "Roll2", "rect": [50, 100, 90, 140], "shape": 2, "roll_over": true,
     "actions": [{"type": "script", "text": "roll6"}]}
  ]}]
})";

class EventsTest : public BrowseTest {};

TEST_F(EventsTest, TheTopmostObjectTakesTheClickTransparentButtonsAnywhereHiddenOnesNever) {
    open(kButtons);
    click(60, 40);   // inside both: the later one is on top
    click(20, 20);   // only the first
    click(141, 11);  // the transparent one's corner
    click(160, 120); // the hidden one
    EXPECT_EQ(log, (std::vector<std::string>{"script over", "script under", "script clear"}));
    EXPECT_EQ(player->events().hitTest(QPoint(160, 120)), -1);
}

TEST_F(EventsTest, ReleasingOutsideThePressedButtonRunsNothingAndRestoresItReenteringRunsIt) {
    open(kButtons);
    const QImage before = player->screen().copy();
    down(20, 20);
    EXPECT_TRUE(player->events().pressTracking());
    EXPECT_NE(player->screen(), before) << "the pressed button shows inverted";
    move(100, 90); // outside: the highlight goes
    EXPECT_FALSE(player->events().pressInside());
    EXPECT_EQ(player->screen(), before);
    up(100, 90);
    EXPECT_TRUE(log.empty());
    EXPECT_EQ(player->screen(), before);
    EXPECT_FALSE(player->events().pressTracking());
    // Back inside before the release, it runs.
    down(20, 20);
    move(100, 90);
    move(25, 25);
    EXPECT_TRUE(player->events().pressInside());
    up(25, 25);
    EXPECT_EQ(log, (std::vector<std::string>{"script under"}));
}

TEST_F(EventsTest, RollOverButtonsFireOnEachEntry) {
    open(kButtons);
    move(20, 110); // enter 5
    move(25, 115); // still in 5: nothing more
    move(60, 110); // straight into 6
    move(100, 20); // empty card area... (over button 2? no: 100,20 is outside both)
    move(20, 110); // 5 again
    EXPECT_EQ(log, (std::vector<std::string>{"script roll5", "script roll6", "script roll5"}));
}

TEST_F(EventsTest, ClickActionsRunOnlyOnEmptyCardAreaTheCardsBeforeTheStacks) {
    open(R"({"card_width": 200, "card_height": 150,
      "cards": [{"name": "A", "actions": {"click": 7}, "objects": [
        {"kind": "button", "id": 1, "name": "B", "rect": [0, 0, 50, 50], "shape": 2,
         "actions": [{"type": "script", "text": "button"}]}]}, {"name": "Plain"}],
      "stack_actions": {"click": 8},
      "resources": [{"type": "Actn", "id": 7, "actions": [{"type": "script", "text": "card click"}]},
                    {"type": "Actn", "id": 8, "actions": [{"type": "script", "text": "stack click"}]}]})");
    click(100, 100);
    click(10, 10);
    EXPECT_EQ(log, (std::vector<std::string>{"script card click", "script button"}));
    player->navigation().goNext(); // a card without one: the stack's runs
    click(100, 100);
    EXPECT_EQ(log.back(), "script stack click");
}

TEST_F(EventsTest, DraggedGraphicIsStoredAtItsNewPlaceAndDropsOnTargets) {
    open(R"({"card_width": 200, "card_height": 150, "cards": [{"name": "A", "objects": [
        {"kind": "button", "id": 1, "name": "Bin", "rect": [120, 100, 190, 140], "shape": 2, "drop_target": true,
         "actions": [{"type": "script", "text": "dropped"}]},
        {"kind": "graphic", "id": 2, "name": "Box", "rect": [10, 10, 40, 40], "colour": "#ff0000", "draggable": true}
      ]}]})");
    down(20, 20); // the drop target is never press-tracked, the graphic starts dragging
    EXPECT_TRUE(player->events().dragging());
    move(140, 120);
    up(140, 120);
    EXPECT_FALSE(player->events().dragging());
    EXPECT_EQ(log, (std::vector<std::string>{"script dropped"}));
    const uint8_t* p = memRefs().data(player->currentCard());
    const uint32_t off = FindObject(player->currentCard(), obj::kGraphic, 2);
    ASSERT_NE(off, 0u);
    EXPECT_EQ(geti16(p + off + 4), 130);
    EXPECT_EQ(geti16(p + off + 6), 110);
    EXPECT_EQ(geti16(p + off + 8), 160);
    EXPECT_EQ(geti16(p + off + 10), 140);
    EXPECT_TRUE(theStack().changed);
    // The screen shows the box at its new place.
    EXPECT_EQ(player->screen().pixel(145, 125) & 0xFFFFFF, 0xFF0000u);
}

TEST_F(EventsTest, CursorComesFromTheObjectThenTheCardThenTheBrowseHand) {
    open(kButtons);
    EXPECT_EQ(player->events().chooseCursor(QPoint(100, 90)).shape, CursorShape::Hand);
    // A custom cursor id stored on the card applies where no object names one.
    put16(memRefs().data(player->currentCard()) + kCardCursorOffset, 28032);
    const CursorChoice c = player->events().chooseCursor(QPoint(100, 90));
    EXPECT_EQ(c.shape, CursorShape::Custom);
    EXPECT_EQ(c.customId, 28032);
    // Ids outside the custom range mean nothing.
    put16(memRefs().data(player->currentCard()) + kCardCursorOffset, 28033);
    EXPECT_EQ(player->events().chooseCursor(QPoint(100, 90)).shape, CursorShape::Hand);
}

} // namespace
} // namespace cv::test
