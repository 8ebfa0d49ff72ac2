// Frame animations in the player: started by buttons, drawn outside the card's objects,
// stepped by timer 1 and by the wait for media, cleared when the card is left.
#include <gtest/gtest.h>

#include "browse_fixture.h"
#include "core/clock.h"
#include "core/handles.h"
#include "core/ui.h"
#include "player/actions.h"
#include "player/navigation.h"

namespace cv::test {

namespace {

// Two cards; button 1 animates a 20 x 20 square over the rectangle [40, 10, 60, 30] (red,
// then green), which button 2 half covers; `extra` goes into the animation action.
std::string animationStack(const std::string& extra, const std::string& go = "") {
    return R"({"card_width": 100, "card_height": 80, "cards": [
      {"name": "A", "background": {"colour": "#FFFFFF"}, "objects": [
        {"kind": "button", "id": 1, "name": "Go", "rect": [0, 50, 30, 70])" + go + R"(,
         "actions": [{"type": "animation", "rect": [40, 10, 60, 30], "delay": 100, "repeats": 1,
                      "frames": [{"colour": "#FF0000"}, {"colour": "#00FF00"}])" + extra + R"(}]},
        {"kind": "button", "id": 2, "name": "", "shape": 2, "rect": [50, 0, 90, 20]}]},
      {"name": "B", "background": {"colour": "#0000FF"}}]})";
}

class AnimationTest : public BrowseTest {
protected:
    void SetUp() override {
        // The player's timer starts counting from the clock it is made with.
        setClock(&vc);
        BrowseTest::SetUp();
    }
    void TearDown() override {
        BrowseTest::TearDown();
        setClock(nullptr);
    }
    QRgb at(int x, int y) const { return player->screen().pixel(x, y) & 0xFFFFFF; }
    VirtualClock vc{1000};
};

} // namespace

TEST_F(AnimationTest, FramesAreDrawnOutsideTheCardsObjectsUnlessToldOtherwise) {
    open(animationStack(""));
    click(10, 60);
    player->runUntil(vc.nowMs() + 60);
    EXPECT_EQ(at(45, 25), 0xFF0000u);
    EXPECT_NE(at(55, 15), 0xFF0000u);  // under button 2
    player->runUntil(vc.nowMs() + 110);
    EXPECT_EQ(at(45, 25), 0x00FF00u);
    // Without erasing, the last frame stays.
    player->runUntil(vc.nowMs() + 500);
    EXPECT_EQ(at(45, 25), 0x00FF00u);

    open(animationStack(R"(, "flags": 64)"));
    click(10, 60);
    player->runUntil(vc.nowMs() + 60);
    EXPECT_EQ(at(55, 15), 0xFF0000u);
}

TEST_F(AnimationTest, LeavingTheCardClearsItsAnimations) {
    open(animationStack(""));
    click(10, 60);
    player->runUntil(vc.nowMs() + 60);
    EXPECT_EQ(at(45, 25), 0xFF0000u);
    ASSERT_FALSE(player->media.animationDone(1));
    player->navigation().goNext();
    EXPECT_TRUE(player->media.animationDone(1));
    player->runUntil(vc.nowMs() + 500);
    EXPECT_EQ(at(45, 25), 0x0000FFu);  // card B, with nothing drawn over it
}

TEST_F(AnimationTest, NoMemoryForTheAnimationIsToldAndDamagedSpritesAreNotStarted) {
    open(animationStack(""));
    memRefs().setAllocationLimit(memRefs().bytesInUse() + 16);
    headlessUi().clearLog();
    click(10, 60);
    memRefs().setAllocationLimit(0);
    EXPECT_EQ(headlessUi().lastAlertText(), "Not enough memory available to complete this operation.");
    EXPECT_TRUE(player->media.animationDone(1));

    std::vector<uint8_t> sprite(32 + 600, 0);
    sprite[0] = 56;
    sprite[12] = uint8_t(sprite.size());
    sprite[13] = uint8_t(sprite.size() >> 8);
    const uint8_t type[] = {'S', 'p', 'r', 't'};
    std::copy(std::begin(type), std::end(type), sprite.begin() + 32);
    EXPECT_FALSE(player->media.startAnimation(sprite, 1));
    EXPECT_TRUE(player->media.animationDone(1));
}

namespace {

// Button 1 walks a red 4 x 4 sprite from (40, 10) to (60, 40), 100 ms on each point.
std::string spriteStack(const std::string& go) {
    return R"({"card_width": 100, "card_height": 80, "cards": [
      {"name": "A", "background": {"colour": "#FFFFFF"}, "objects": [
        {"kind": "button", "id": 1, "name": "Go", "rect": [0, 50, 30, 70])" + go + R"(,
         "actions": [{"type": "animation", "sprite": {"frames": [{"colour": "#FF0000", "size": [4, 4]}],
                      "path": [[40, 10, 100], [60, 40, 100]]}}]}]},
      {"name": "B", "background": {"colour": "#0000FF"}}]})";
}

} // namespace

TEST_F(AnimationTest, SpritesWalkTheirPathAndAWaitingButtonGoesOnOnlyAfterThem) {
    open(spriteStack(""));
    click(10, 60);
    player->runUntil(vc.nowMs() + 60);
    EXPECT_EQ(at(41, 11), 0xFF0000u);
    EXPECT_FALSE(player->media.animationDone(1));
    EXPECT_TRUE(player->media.anyAnimationPlaying());
    player->runUntil(vc.nowMs() + 100);
    EXPECT_EQ(at(41, 11), 0xFFFFFFu);
    EXPECT_EQ(at(61, 41), 0xFF0000u);
    player->runUntil(vc.nowMs() + 200);
    EXPECT_TRUE(player->media.animationDone(1));
    EXPECT_FALSE(player->media.anyAnimationPlaying());
    EXPECT_EQ(at(61, 41), 0xFFFFFFu);

    // Resetting the card's media ends it and shows the card again; so does leaving the card.
    click(10, 60);
    player->runUntil(vc.nowMs() + 60);
    ASSERT_EQ(at(41, 11), 0xFF0000u);
    player->actions().stopCardMedia();
    EXPECT_EQ(at(41, 11), 0xFFFFFFu);
    EXPECT_TRUE(player->media.animationDone(1));
    click(10, 60);
    player->runUntil(vc.nowMs() + 60);
    player->navigation().goNext();
    EXPECT_TRUE(player->media.animationDone(1));
    player->runUntil(vc.nowMs() + 300);
    EXPECT_EQ(at(61, 41), 0x0000FFu);

    open(spriteStack(R"(, "go": "next")"));
    const uint64_t start = vc.nowMs();
    click(10, 60);
    EXPECT_EQ(player->currentCardNumber(), 2);
    EXPECT_GE(vc.nowMs(), start + 200);
    EXPECT_LT(vc.nowMs(), start + 260);

    open(spriteStack(""));
    memRefs().setAllocationLimit(memRefs().bytesInUse() + 16);
    headlessUi().clearLog();
    click(10, 60);
    memRefs().setAllocationLimit(0);
    EXPECT_EQ(headlessUi().lastAlertText(), "Not enough memory available to complete this operation.");
    EXPECT_TRUE(player->media.animationDone(1));
}

TEST_F(AnimationTest, AnAnimationThatAsksForItShowsItsFirstFrameWhenTheCardIsShown) {
    open(animationStack(R"(, "flags": 2)"));
    EXPECT_EQ(at(45, 25), 0xFF0000u);
    EXPECT_NE(at(55, 15), 0xFF0000u);  // clipped by button 2
    // It is on the shown card only: a repaint shows the plain picture.
    player->paintCardRect(player->screen().rect());
    EXPECT_EQ(at(45, 25), 0xFFFFFFu);

    open(animationStack(R"(, "flags": 66)"));
    EXPECT_EQ(at(55, 15), 0xFF0000u);
    open(animationStack(""));
    EXPECT_EQ(at(45, 25), 0xFFFFFFu);
}

} // namespace cv::test
