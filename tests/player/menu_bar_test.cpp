// A card that asks to be shown without the menu bar removes it; the next card brings it back.
#include <gtest/gtest.h>

#include "browse_fixture.h"
#include "core/byte_order.h"
#include "player/menu_bar.h"
#include "stack/record_layout.h"
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

TEST_F(MenuBarTest, AltBringsTheBarBackWhileAButtonsScriptRunsInAnUnlockedStack) {
    open(R"({"card_width": 100, "card_height": 80, "cards": [{"name": "A", "objects": [
        {"kind": "button", "id": 1, "rect": [0, 0, 40, 40], "actions": [{"type": "script", "text": "run"}]}]}]})");
    toggleMenuBar(*player);
    std::vector<bool> barDuringScript;
    player->media.runScript = [&](const std::string&) { barDuringScript.push_back(host.menuBar); };
    click(10, 10);             // without Alt
    host.altDown = true;
    click(10, 10);             // with Alt: shown for the script, hidden again after
    EXPECT_FALSE(host.menuBar);
    theStack().setH16(hdr::kLocked, 1);
    click(10, 10);             // a locked stack keeps it hidden
    EXPECT_EQ(barDuringScript, (std::vector<bool>{false, true, false}));
    EXPECT_FALSE(host.menuBar);
}

} // namespace
} // namespace cv::test
