// Stacks whose scripts drive the player through its commands, run by the player's own
// interpreter: re-entry that would never end, Escape, drawing off screen, and the current
// object's name.
#include <gtest/gtest.h>

#include "browse_fixture.h"
#include "core/clock.h"
#include "core/references.h"
#include "player/navigation.h"
#include "player/script_bridge.h"
#include "stack/stack_document.h"

using namespace cv;

namespace {

class ScriptCommandsTest : public cv::test::BrowseTest {
protected:
    void SetUp() override {
        BrowseTest::SetUp();
        player->media.runScript = [this](const std::string& s) {
            player->scripts().run(s, ScriptBridge::Start::ActionList);
        };
    }
    std::vector<std::string> boxes() const {
        std::vector<std::string> out;
        for (const std::string& l : headlessUi().log())
            if (l.find("Logo Error") != std::string::npos) out.push_back(l);
        return out;
    }
    void runScript(const std::string& text) { player->scripts().run("TEXTIO " + text); }
};

} // namespace

TEST_F(ScriptCommandsTest, AButtonThatPressesItselfStopsWithOutOfStackSpace) {
    open(R"({"cards": [{"name": "A", "objects": [
        {"kind": "button", "id": 1, "name": "Self", "rect": [10, 10, 90, 40],
         "actions": [{"type": "script", "text": "MAKE \"N :N + 1 DOBUTTON [] \"Self"}]}]}]})");
    runScript("MAKE \"N 0");
    click(20, 20);
    ASSERT_EQ(boxes().size(), 1u);
    EXPECT_NE(boxes()[0].find("Out of stack space"), std::string::npos);
    runScript("PRINT :N");
    EXPECT_NE(player->scripts().printed().find("33\n"), std::string::npos) << player->scripts().printed();
    // The click ran it once and each of the 32 nested presses once more. The player goes on:
    // the next press runs again, as deep.
    click(20, 20);
    EXPECT_EQ(boxes().size(), 2u);
}

TEST_F(ScriptCommandsTest, ACardWhoseArrivalGoesToItselfStops) {
    open(R"({"resources": [{"type": "Actn", "id": 20, "name": "Again",
                            "actions": [{"type": "script", "text": "MOVETOCARD \"Loop"}]}],
             "cards": [{"name": "Start"}, {"name": "Loop", "actions": {"arrive": 20}}]})");
    runScript("MOVETOCARD \"Loop");
    EXPECT_EQ(player->currentCardNumber(), 2);
    // Either the move asked for by the arrival waits for the player's next turn, or the nesting
    // is stopped by the command bound: never more than one message, and no crash.
    ASSERT_LE(boxes().size(), 1u);
    if (!boxes().empty()) {
        EXPECT_NE(boxes()[0].find("Out of stack space"), std::string::npos);
    }
}

TEST_F(ScriptCommandsTest, EscapeEndsALoopOfCommands) {
    open(R"({"cards": [{"name": "A", "objects": [{"kind": "button", "id": 1, "name": "B", "rect": [0, 0, 20, 20]}]}]})");
    player->post({.type = MsgType::KeyDown, .key = kKeyEscape});
    runScript("MAKE \"N 0 REPEAT 100000 [MAKE \"N :N + 1 MAKE \"P GETITEMPOS [] \"B 0]");
    runScript("PRINT :N < 100000");
    EXPECT_NE(player->scripts().printed().find("TRUE"), std::string::npos) << player->scripts().printed();
}

TEST_F(ScriptCommandsTest, DrawingOffScreenShowsOnlyWhenDrawingComesBack) {
    open(R"({"depth": 32, "card_width": 200, "card_height": 100, "cards": [{"name": "A", "background": {"colour": "#FFFFFF"}}]})");
    runScript("DRAWTOOFFSCREEN SETPC 2 PU SETPOS [-50 0] PD SETPOS [50 0] MAKE \"SEEN 1");
    // The run ended: drawing went back to the screen, and what was drawn shows.
    EXPECT_EQ(player->screen().pixelColor(120, 50), QColor(Qt::red));
    EXPECT_FALSE(player->scripts().drawingOffscreen);
}

TEST_F(ScriptCommandsTest, MeNamesTheButtonThatRuns) {
    open(R"({"cards": [{"name": "A", "objects": [
        {"kind": "button", "id": 1, "name": "Vanish", "rect": [10, 10, 90, 40],
         "actions": [{"type": "script", "text": "HIDEITEM [] \"ME \"BUTTON"}]},
        {"kind": "button", "id": 2, "name": "Stay", "rect": [100, 10, 190, 40]}]}]})");
    click(20, 20);
    ASSERT_EQ(player->displayList().size(), 1u);
    EXPECT_EQ(player->displayList()[0].name, "Stay");
    runScript("PRINT VISIBLEP [] \"Vanish 0 PRINT VISIBLEP [] \"Stay \"button PRINT GETBUTTONNAME");
    EXPECT_NE(player->scripts().printed().find("FALSE\nTRUE\nVanish\n"), std::string::npos)
        << player->scripts().printed();
}

TEST_F(ScriptCommandsTest, ScriptsLeaveNoBlocksBehind) {
    open(R"({"cards": [{"name": "A", "objects": [
        {"kind": "text", "id": 1, "name": "T", "rect": [10, 10, 190, 40], "text": "abc"},
        {"kind": "button", "id": 2, "name": "B", "rect": [10, 50, 90, 80]}]}, {"name": "B"}]})");
    const std::string body = "MAKE \"X GETFIELDTEXT [] \"T SETFIELDTEXT [] \"T :X SETITEMPOS [] \"B 0 [1 2] "
                             "MAKE \"P GETITEMPOS [] \"B 0 MAKE \"S GETCURRENTSCORE MAKE \"R GETITEMRECT [] \"B 0";
    // The blocks the player and each slot keep are made once.
    runScript(body);
    const size_t before = LiveReferences();
    runScript("REPEAT 50 [" + body + "]");
    EXPECT_EQ(LiveReferences(), before);
}

TEST_F(ScriptCommandsTest, CallNbaFindsNoPlugInYet) {
    open(R"({"cards": [{"name": "A"}]})");
    const size_t before = LiveReferences();
    runScript("PRINT CALLNBA \"Anything [some data] \"RUN");
    EXPECT_NE(player->scripts().printed().find("some data\n"), std::string::npos) << player->scripts().printed();
    EXPECT_LE(LiveReferences(), before + 1);  // at most the slot's name string
}

TEST_F(ScriptCommandsTest, AnAlertFromATimerInsideAWaitingScriptComesBackToIt) {
    open(R"({"settings": {"timers_and_links": 1}, "cards": [{"name": "A", "objects": [
        {"kind": "button", "id": 1, "name": "Tick", "rect": [10, 10, 90, 40],
         "timer": {"seconds": 1, "repeat": true},
         "actions": [{"type": "script", "text": "MAKE \"T :T + 1 MAKE \"A DOALERT 1 0 [Tick] \"OK"}]}]}]})");
    // The timer's script (an action list's) leaves text going to the drawing window.
    runScript("MAKE \"T 0 WAIT 200 TEXTIO PRINT :T > 0");
    EXPECT_NE(player->scripts().printed().find("TRUE\n"), std::string::npos) << player->scripts().printed();
    EXPECT_TRUE(boxes().empty());
    size_t ticks = 0;
    for (const std::string& l : headlessUi().log())
        if (l.find("Tick") != std::string::npos) ++ticks;
    EXPECT_GE(ticks, 1u);
    EXPECT_LE(ticks, 4u);
}

TEST_F(ScriptCommandsTest, EscapeThatStopsAnArriveScriptStopsTheCardsItAskedFor) {
    VirtualClock vc{1000};
    setClock(&vc);
    open(R"({"resources": [{"type": "Actn", "id": 20, "name": "OnAndWait",
                            "actions": [{"type": "script", "text": "MOVENEXT WAIT 6000"}]}],
             "cards": [{"name": "A"}, {"name": "B", "actions": {"arrive": 20}},
                       {"name": "C", "actions": {"arrive": 20}}]})");
    // Arriving at B asks for C, then waits; the person presses Escape during the wait.
    bool pressed = false;
    auto timerWork = player->timerHandler;
    player->timerHandler = [&] {
        if (timerWork) timerWork();
        if (!pressed && player->navigation().movePending() && player->scripts().running()) {
            pressed = true;
            player->post({.type = MsgType::KeyDown, .key = kKeyEscape});
        }
    };
    player->navigation().goNext();
    EXPECT_TRUE(pressed);
    player->runUntil(vc.nowMs() + 20 * kTimerPeriodMs);
    EXPECT_EQ(player->currentCardNumber(), 2) << "the move B's script asked for went with the script";
    EXPECT_FALSE(player->navigation().movePending());
    setClock(nullptr);
}
