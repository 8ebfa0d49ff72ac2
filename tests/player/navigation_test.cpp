// Moving between cards and stacks, the Back history, marked cards, the jump dialog, text
// links, and the order in which an action list does its work.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <thread>
#include <unistd.h>

#include "browse_fixture.h"
#include "core/clock.h"
#include "core/ui.h"
#include "player/actions.h"
#include "player/navigation.h"
#include "player/qt/launcher.h"
#include "stack/stack_document.h"

namespace cv::test {
namespace {

std::string cards(int n, const std::string& extraCard1 = "") {
    std::string s = R"({"card_width": 100, "card_height": 80, "cards": [)";
    for (int i = 1; i <= n; ++i) {
        if (i > 1) s += ",";
        s += R"({"name": "C)" + std::to_string(i) + "\"";
        if (i == 1 && !extraCard1.empty()) s += "," + extraCard1;
        s += "}";
    }
    return s + "]}";
}

class NavigationTest : public BrowseTest {
protected:
    Navigation& nav() { return player->navigation(); }
    int current() const { return player->currentCardNumber(); }
};

TEST_F(NavigationTest, BackRetracesVisitsKeepsTheLastEntryAndTheSeventeenMostRecent) {
    open(cards(25));
    // Visit 1, 2, 3, then 4: Back returns 3, 2, 1, and 1 again.
    for (int i = 0; i < 3; ++i) nav().goNext();
    for (int expected : {3, 2, 1, 1}) {
        nav().goBack();
        EXPECT_EQ(current(), expected);
    }
    EXPECT_EQ(nav().history().size(), 1u);
    for (int i = 0; i < 20; ++i) nav().goNext();
    ASSERT_EQ(nav().history().size(), kHistoryLimit);
    EXPECT_EQ(nav().history().front().cardId, 20); // the card left last
    EXPECT_EQ(nav().history().back().cardId, 4);
}

TEST_F(NavigationTest, JumpTargetsNumbersThenNames) {
    open(R"({"cards": [{"name": "First"}, {"name": "12"}, {"name": "Third"}]})");
    EXPECT_EQ(Navigation::jumpTarget("3"), std::optional<uint16_t>(3));
    EXPECT_EQ(Navigation::jumpTarget("12"), std::optional<uint16_t>(2)) << "out of range: looked up as a name";
    EXPECT_EQ(Navigation::jumpTarget("third"), std::optional<uint16_t>(3));
    EXPECT_EQ(Navigation::jumpTarget(" \t"), std::optional<uint16_t>(0));
    EXPECT_EQ(Navigation::jumpTarget("nowhere"), std::nullopt);
    // Through the dialog: a wrong name keeps it open, the next answer goes there.
    headlessUi().queueText("nowhere");
    headlessUi().queueText("Third");
    nav().jumpToCardDialog();
    EXPECT_EQ(current(), 3);
    EXPECT_EQ(headlessUi().lastAlertText(), "Sorry, I can't find that card.");
}

TEST_F(NavigationTest, LinkMatchesMustCoverTheClick) {
    const std::string text = "see the big red barn";
    // Locked field: the click lies strictly inside the match.
    EXPECT_EQ(matchTextLink(text, 10, "big red", true, 0, 0), std::optional<size_t>(8));
    EXPECT_EQ(matchTextLink(text, 8, "big red", true, 0, 0), std::nullopt);
    EXPECT_EQ(matchTextLink(text, 3, "big red", true, 0, 0), std::nullopt);
    // Unlocked field: the selection lies within it.
    EXPECT_EQ(matchTextLink(text, 9, "big red", false, 9, 11), std::optional<size_t>(8));
    EXPECT_EQ(matchTextLink(text, 9, "big red", false, 9, 17), std::nullopt);
}

TEST_F(NavigationTest, FieldLinksComeBeforeLinksForAnyField) {
    open(R"({"cards": [{"name": "A"}, {"name": "B"}, {"name": "C"}],
      "resources": [
        {"type": "Hlnk", "id": 1, "text": "red", "text_object": 0, "go": "B"},
        {"type": "Hlnk", "id": 2, "text": "red", "text_object": 5, "go": "C"}]})");
    EXPECT_TRUE(nav().followTextLink(5, "a red door", 3, true, 0, 0));
    EXPECT_EQ(current(), 3);
    EXPECT_TRUE(nav().followTextLink(6, "a red door", 3, true, 0, 0));
    EXPECT_EQ(current(), 2);
    EXPECT_FALSE(nav().followTextLink(6, "a blue door", 3, true, 0, 0));
}

TEST_F(NavigationTest, BackToAnUntitledStackIsBackToAnotherStack) {
    const std::string other = buildStack(cards(3), "other.stk");
    const std::string third = buildStack(R"({"cards": [{"name": "T1"}, {"name": "T2"}]})", "third.stk");
    player->newUntitledStack();
    nav().setHome(other, 2);
    nav().goHome(); // the history holds the untitled stack's card, without a path
    ASSERT_EQ(current(), 2);
    ASSERT_TRUE(nav().history().front().path.empty());
    // That stack is gone: it is asked for, and cancelling stays here rather than taking its
    // card id for a card of this stack.
    nav().goBack();
    EXPECT_EQ(std::filesystem::path(theStack().path).filename(), "other.stk");
    EXPECT_EQ(current(), 2);
    EXPECT_EQ(headlessUi().log().back(), "file: Please find the stack named: Untitled");
    // A stack chosen instead opens (at its first card when it lacks that id).
    headlessUi().queueFile(third);
    nav().goBack();
    EXPECT_EQ(std::filesystem::path(theStack().path).filename(), "third.stk");
}

TEST_F(NavigationTest, ActionStepsRunInTheirFixedOrderAndThenTheCardChanges) {
    open(R"({"cards": [{"name": "A", "objects": [
        {"kind": "button", "id": 1, "name": "Go", "rect": [0, 0, 50, 50], "shape": 2, "go": "next",
         "actions": [{"type": "script", "text": "second"}, {"type": "sound", "id": 9}]}]},
        {"name": "B", "actions": {"arrive": 4}}],
      "resources": [{"type": "Actn", "id": 4, "actions": [{"type": "script", "text": "arrived"}]}]})");
    click(10, 10);
    EXPECT_EQ(log, (std::vector<std::string>{"stop sound", "sound 9", "script second", "script arrived"}));
    EXPECT_EQ(current(), 2);
}

TEST_F(NavigationTest, ListIsAbandonedWhenItsButtonDisappears) {
    open(R"({"cards": [{"name": "A", "objects": [
        {"kind": "button", "id": 1, "name": "Go", "rect": [0, 0, 50, 50], "shape": 2, "go": "next",
         "actions": [{"type": "script", "text": "leave"}]}]}, {"name": "B"}, {"name": "C"}]})");
    // The script moves to another card: the button is gone, so the list does not go on.
    player->media.runScript = [this](const std::string&) { player->navigation().goLast(); };
    click(10, 10);
    EXPECT_EQ(current(), 3);
}

TEST_F(NavigationTest, TestAnswersStayWithTheirStack) {
    const std::string other = buildStack(R"({"cards": [{"name": "X1"}]})", "other.stk");
    open(R"({"cards": [{"name": "A", "objects": [
        {"kind": "button", "id": 1, "name": "Right", "rect": [0, 0, 50, 50], "shape": 2, "test_answer": 1},
        {"kind": "button", "id": 2, "name": "Wrong", "rect": [50, 0, 99, 50], "shape": 2, "test_answer": 2}]},
        {"name": "B"}]})");
    // One answer a card: the last one given.
    click(10, 10);
    click(60, 10);
    ASSERT_EQ(player->actions().answers().size(), 1u);
    EXPECT_FALSE(player->actions().answers().begin()->second.right);
    EXPECT_EQ(player->actions().answers().begin()->second.name, "Wrong");
    nav().goNext(); // other cards of the same stack keep them
    // A missing stack is asked for; cancelling keeps the card and its answers.
    EXPECT_FALSE(nav().goToOtherStack("/nowhere/Gone.stk", -6, 3, 8, true));
    EXPECT_EQ(current(), 2);
    EXPECT_EQ(headlessUi().log().back(), "file: Please find the stack named: Gone.stk");
    EXPECT_EQ(player->actions().answers().size(), 1u);
    // Card 1 of another stack is another card: its answers start afresh.
    ASSERT_TRUE(nav().goToOtherStack(other, -6, 3, 8, true));
    EXPECT_TRUE(player->actions().answers().empty());
    nav().goBack();
    nav().goFirst();
    click(10, 10);
    ASSERT_EQ(player->actions().answers().size(), 1u);
    ASSERT_TRUE(player->openStack(other));
    EXPECT_TRUE(player->actions().answers().empty());
}

TEST_F(NavigationTest, LaunchingAProgramAsksFirst) {
    open(R"({"cards": [{"name": "A", "objects": [
        {"kind": "button", "id": 1, "name": "Run", "rect": [0, 0, 50, 50], "shape": 2,
         "actions": [{"type": "launch", "program": "/bin/true"}]}]}]})");
    bool launched = false;
    player->media.launch = [&](const std::string&, const std::string&) { return launched = true; };
    click(10, 10); // the default answer is not to start it
    EXPECT_FALSE(launched);
    EXPECT_NE(headlessUi().lastAlertText().find("/bin/true"), std::string::npos);
    headlessUi().queueAnswer(kAnswerFirst);
    click(10, 10);
    EXPECT_TRUE(launched);
}

// Whether a request to close the player waits in the queue.
bool closeRequested(Player& player) {
    return std::any_of(player.queue().begin(), player.queue().end(),
                       [](const Message& m) { return m.type == MsgType::Close; });
}

TEST_F(NavigationTest, QuitAfterLaunchingFollowsOnlyAStartedProgram) {
    open(R"({"cards": [{"name": "A", "objects": [
        {"kind": "button", "id": 1, "name": "Run", "rect": [0, 0, 50, 50], "shape": 2,
         "actions": [{"type": "launch", "program": "/bin/true", "quit": true}]}]}]})");
    bool starts = false;
    int calls = 0;
    player->media.launch = [&](const std::string&, const std::string&) { return ++calls, starts; };
    // Start, but the program does not start: the failure is told and the player stays open.
    headlessUi().queueAnswer(kAnswerFirst);
    click(10, 10);
    EXPECT_EQ(calls, 1);
    EXPECT_EQ(headlessUi().lastAlertText(), "Sorry, that program could not be started.");
    EXPECT_FALSE(closeRequested(*player));
    // Without a way to start programs at all, the same.
    player->media.launch = nullptr;
    headlessUi().queueAnswer(kAnswerFirst);
    click(10, 10);
    EXPECT_FALSE(closeRequested(*player));
    // Started: now the player closes.
    player->media.launch = [&](const std::string&, const std::string&) { return true; };
    headlessUi().queueAnswer(kAnswerFirst);
    click(10, 10);
    EXPECT_TRUE(closeRequested(*player));
}

TEST_F(NavigationTest, LaunchQuestionKeepsItsButtonsWhateverThePath) {
    // A Windows path with a short name, found beside the stack under another case.
    open(R"({"cards": [{"name": "A", "objects": [
        {"kind": "button", "id": 1, "name": "Run", "rect": [0, 0, 50, 50], "shape": 2,
         "actions": [{"type": "launch", "program": "C:\\PROGRA~1\\Café.exe"}]}]}]})");
    const auto folder = std::filesystem::path(theStack().path).parent_path() / "progra~1";
    std::filesystem::create_directories(folder);
    const std::string tool = (folder / "Caf\u00e9.EXE").string();
    std::ofstream(tool) << "x";
    std::string started;
    player->media.launch = [&](const std::string& program, const std::string&) {
        started = program;
        return true;
    };
    headlessUi().queueAnswer(kAnswerFirst);
    click(10, 10);
    const std::string asked = headlessUi().log().back();
    EXPECT_TRUE(asked.ends_with("Do you want to start it? [Start|^Don't Start]")) << asked;
    EXPECT_NE(asked.find("\x98" "1/Caf\xE9.EXE\""), std::string::npos) << "shown in the alert's own character set";
    EXPECT_EQ(started, tool) << "the first button starts the program, with its real path";
}

TEST(Launcher, StartsTheProgramWithTheDocumentAsItsOneArgument) {
    const auto dir = std::filesystem::temp_directory_path() / ("cv-launch-" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    const auto program = dir / "record args";
    const auto out = dir / "args.txt";
    std::ofstream(program) << "#!/bin/sh\nprintf '%s|' \"$#\" \"$@\" > '" << out.string() << "'\n";
    std::filesystem::permissions(program, std::filesystem::perms::owner_all);
    const auto document = dir / "my notes.txt";
    std::ofstream(document) << "notes";

    ASSERT_TRUE(launchProgram(program.string(), document.string()));
    // The program runs on its own; give it a moment to write.
    std::string args;
    for (int i = 0; i < 500 && args.empty(); ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
        std::ifstream in(out);
        std::getline(in, args);
    }
    EXPECT_EQ(args, "1|" + document.string() + "|");

    // Failures are reported, never passed off as a start.
    EXPECT_FALSE(launchProgram((dir / "missing").string(), document.string()));
    EXPECT_FALSE(launchProgram(document.string(), "")) << "not a program";
    EXPECT_FALSE(launchProgram("", (dir / "missing.txt").string()));
    EXPECT_FALSE(launchProgram("", ""));
    std::filesystem::remove_all(dir);
}

TEST_F(NavigationTest, SlideShowShowsEveryCardOnceThenReturnsAndCancelledStaysOnTheCard) {
    open(cards(4));
    headlessUi().queueCancel();
    command(kCmdSlideShow);
    EXPECT_EQ(current(), 1);
    EXPECT_TRUE(nav().history().empty());
    nav().goNext(); // start on card 2
    VirtualClock vc(1000);
    setClock(&vc);
    std::vector<int> shown;
    player->onArrive = [&](bool) { shown.push_back(current()); };
    headlessUi().queueText("all 2");
    const uint64_t start = vc.nowMs();
    command(kCmdSlideShow);
    setClock(nullptr);
    EXPECT_EQ(shown, (std::vector<int>{1, 2, 3, 4, 2}));
    // Four pauses of two seconds, and the full-screen fades between the cards.
    EXPECT_GE(vc.nowMs() - start, 4 * 2000u);
}

TEST_F(NavigationTest, CloseAndCommandsThatComeWhileAMovieIsWaitedForAreKeptForAfter) {
    VirtualClock vc(1000);
    setClock(&vc);
    const auto movieFile = std::filesystem::temp_directory_path() / ("cv-clip-" + std::to_string(::getpid()) + ".mov");
    std::ofstream(movieFile) << "movie";
    open(cards(2, R"("objects": [{"kind": "button", "id": 1, "rect": [0, 0, 40, 40], "go": "next", "actions": [{"type": "movie", "path": ")" +
                      movieFile.string() + R"("}]}])"));
    int polls = 0;
    player->media.startMovie = [](std::span<const uint8_t>, const std::string&, uint16_t) { return true; };
    player->media.movieDone = [&polls](uint16_t) { return ++polls > 5; };
    player->media.step = [this, &polls] {
        if (polls != 1) return;
        player->post({.type = MsgType::MouseMove});
        player->post({.type = MsgType::Close});
        player->post({.type = MsgType::Command, .command = kCmdLast});
    };
    down(10, 10);
    up(10, 10);
    EXPECT_GT(polls, 5);
    EXPECT_EQ(current(), 2); // the card changed once the movie was done
    // What the wait took from the queue: the close and the command are back, in order; the
    // pointer's move is not.
    std::vector<MsgType> kept;
    for (const Message& m : player->queue()) kept.push_back(m.type);
    EXPECT_EQ(kept, (std::vector<MsgType>{MsgType::Close, MsgType::Command}));
    std::filesystem::remove(movieFile);
    setClock(nullptr);
}

// Moves that card work asks for. Without their order, each of these nested one move inside
// another until the native stack ran out.
constexpr const char* kLeavingGoesNext = R"({"card_width": 100, "card_height": 80, "cards": [
    {"name": "A", "actions": {"leave": 4}}, {"name": "B", "actions": {"leave": 4}}, {"name": "C", "actions": {"leave": 4}}],
    "resources": [{"type": "Actn", "id": 4, "go": "next"}]})";

TEST_F(NavigationTest, AMoveAskedForWhileLeavingGivesWayToTheMoveUnderWay) {
    open(kLeavingGoesNext);
    nav().goNext();
    EXPECT_EQ(current(), 2);
    nav().goBack(); // the leave action's Next does not take the place of Back
    EXPECT_EQ(current(), 1);
    command(kCmdLast);
    EXPECT_EQ(current(), 3);
    EXPECT_FALSE(nav().movePending());
    EXPECT_TRUE(player->queue().empty());
}

// Runs the player on a virtual clock for the test's lifetime.
class ClockedNavigationTest : public NavigationTest {
protected:
    void SetUp() override {
        setClock(&vc);
        NavigationTest::SetUp();
    }
    void TearDown() override {
        NavigationTest::TearDown();
        setClock(nullptr);
    }
    void ticks(int n) { player->runUntil(vc.nowMs() + uint64_t(n) * kTimerPeriodMs); }
    VirtualClock vc{1000};
};

TEST_F(ClockedNavigationTest, ArriveActionsThatMoveOnMakeASlideShowThatEscapeStops) {
    open(R"({"card_width": 100, "card_height": 80, "cards": [
        {"name": "A", "actions": {"arrive": 4}}, {"name": "B", "actions": {"arrive": 4}},
        {"name": "C", "actions": {"arrive": 4}}, {"name": "D", "actions": {"arrive": 4}}],
        "resources": [{"type": "Actn", "id": 4, "go": "next"}]})");
    // Card 1's arrive action asked for the next card: it waits for the work to end.
    EXPECT_EQ(current(), 1);
    EXPECT_TRUE(nav().movePending());
    std::vector<int> shown;
    std::vector<uintptr_t> frames;
    std::vector<uint32_t> handlesOnCard1;
    player->onArrive = [&](bool) {
        shown.push_back(current());
        frames.push_back(reinterpret_cast<uintptr_t>(__builtin_frame_address(0)));
        if (current() == 1) handlesOnCard1.push_back(memRefs().inUse());
    };
    size_t longestQueue = 0;
    for (int i = 0; i < 60; ++i) {
        ticks(1);
        longestQueue = std::max(longestQueue, player->queue().size());
    }
    ASSERT_GE(shown.size(), 20u) << "one card a tick or so";
    for (size_t i = 1; i < shown.size(); ++i) EXPECT_EQ(shown[i], shown[i - 1] % 4 + 1) << i;
    // Flat: the native stack, the handles, the queue and the history stay as they were.
    EXPECT_EQ(*std::max_element(frames.begin(), frames.end()), *std::min_element(frames.begin(), frames.end()));
    ASSERT_GE(handlesOnCard1.size(), 3u);
    EXPECT_EQ(handlesOnCard1.front(), handlesOnCard1.back());
    EXPECT_LE(longestQueue, 2u);
    EXPECT_EQ(nav().history().size(), kHistoryLimit);
    // Escape ends it where it is.
    post({.type = MsgType::KeyDown, .key = kKeyEscape});
    const int stopped = current();
    ticks(40);
    EXPECT_EQ(current(), stopped);
    EXPECT_FALSE(nav().movePending());
}

TEST_F(ClockedNavigationTest, OfTheMovesArriveWorkAsksForTheLastWins) {
    open(R"({"card_width": 100, "card_height": 80, "cards": [
        {"name": "A", "actions": {"arrive": 4}}, {"name": "B"}, {"name": "C"}, {"name": "D"}],
        "resources": [{"type": "Actn", "id": 4, "go": "C", "actions": [{"type": "script", "text": "MOVENEXT"}]}]})");
    // The script goes through the navigation calls, as the command table does; the list's own
    // destination comes after it.
    int scripts = 0;
    player->media.runScript = [&](const std::string&) {
        ++scripts;
        nav().goNext();
        nav().goLast();
    };
    command(kCmdFirst);
    EXPECT_EQ(scripts, 1);
    EXPECT_EQ(current(), 1);
    ticks(2);
    EXPECT_EQ(current(), 3);
    EXPECT_EQ(scripts, 1);
    EXPECT_FALSE(nav().movePending());

    // A move the person makes first drops the waiting one.
    command(kCmdFirst);
    ASSERT_TRUE(nav().movePending());
    command(kCmdPrevious);
    ticks(4);
    EXPECT_EQ(current(), 4);

    // So does closing the player.
    command(kCmdFirst);
    ASSERT_TRUE(nav().movePending());
    post({.type = MsgType::Close});
    EXPECT_TRUE(host.quitting);
    EXPECT_FALSE(nav().movePending());
}

TEST_F(ClockedNavigationTest, StacksOpenedByArriveWorkOpenAfterIt) {
    // Two stacks whose first cards open each other: each opens once the other's card is shown.
    const std::string first = buildStack(R"({"cards": [{"name": "A", "actions": {"arrive": 4}}],
        "resources": [{"type": "Actn", "id": 4, "actions": [{"type": "script", "text": "open"}]}]})", "first.stk");
    const std::string second = buildStack(R"({"cards": [{"name": "B", "actions": {"arrive": 4}}],
        "resources": [{"type": "Actn", "id": 4, "actions": [{"type": "script", "text": "open"}]}]})", "second.stk");
    int opened = 0;
    player->media.runScript = [&](const std::string&) {
        ++opened;
        const bool inFirst = std::filesystem::path(theStack().path).filename() == "first.stk";
        EXPECT_TRUE(player->replaceStack(inFirst ? second : first)) << "it waits";
    };
    ASSERT_TRUE(player->openStack(first));
    EXPECT_EQ(opened, 1);
    ticks(10);
    EXPECT_GE(opened, 5);
    EXPECT_LE(opened, 12);
}

} // namespace
} // namespace cv::test
