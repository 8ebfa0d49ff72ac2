// A card that asks to be shown without the menu bar removes it; the next card brings it back.
#include <gtest/gtest.h>

#include "browse_fixture.h"
#include "core/byte_order.h"
#include "player/menu_bar.h"
#include "stack/stack_document.h"

namespace cv::test {
namespace {

class MenuBarTest : public BrowseTest {};

TEST_F(MenuBarTest, CardsChooseWhetherTheMenuBarShows) {
    open(R"({"card_width": 100, "card_height": 80, "cards": [{"name": "A"}, {"name": "B"}]})");
    EXPECT_TRUE(host.menuBar);
    put16(memRefs().data(CardByNumber(2)) + kCardMenuBarOffset, kCardHidesMenuBar);
    command(kCmdNext);
    EXPECT_FALSE(host.menuBar);
    EXPECT_EQ(host.width, 100) << "the window is fitted to the card again";
    command(kCmdNext);
    EXPECT_TRUE(host.menuBar);
    toggleMenuBar(*player);
    EXPECT_FALSE(host.menuBar);
}

} // namespace
} // namespace cv::test
