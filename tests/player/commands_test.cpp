// Menu commands as the window sends them: closing, opening, what the menus offer, and
// commands the player does not know.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <regex>

#include "browse_fixture.h"
#include "core/alerts.h"
#include "player/text_fields.h"
#include "player/navigation.h"
#include "player/shell.h"
#include "player/version.h"
#include "stack/stack_document.h"

using namespace cv;

namespace {

const char* kThreeCards = R"({"card_width": 240, "card_height": 160, "cards": [
    {"name": "A"}, {"name": "B"}, {"name": "C"}]})";

class CommandTest : public cv::test::BrowseTest {
protected:
    void send(MsgType type, int command = 0) { post({.type = type, .command = command}); }
    std::vector<std::string> lines(const std::string& prefix) const {
        std::vector<std::string> out;
        for (const std::string& l : headlessUi().log())
            if (l.rfind(prefix, 0) == 0) out.push_back(l);
        return out;
    }
};

} // namespace

TEST_F(CommandTest, ExitClosesAnUnchangedStackAtOnce) {
    open(kThreeCards);
    send(MsgType::Command, kCmdExit);
    EXPECT_TRUE(host.quitting);
    EXPECT_EQ(host.quitCode, 0);
    EXPECT_TRUE(lines("alert").empty());
}

// The close question's Cancel on closing: DontSaveClosesAChangedStackAndLeavesItsFileAlone.
TEST_F(CommandTest, AChangedStackStaysWhenAnotherStartHandsOverAStackAndTheQuestionIsCancelled) {
    open(kThreeCards);
    theStack().changed = true;
    headlessUi().queueAnswer(kAnswerSecond);
    const std::string before = theStack().path;
    EXPECT_FALSE(openRequestedStack(*player, cv::test::buildStack(kThreeCards, "other.stk")));
    EXPECT_EQ(theStack().path, before);
}

// The close question: Save (the default), Cancel, or Don't Save, which closes and leaves the
// file as it was.
TEST_F(CommandTest, DontSaveClosesAChangedStackAndLeavesItsFileAlone) {
    const char* typed = R"({"card_width": 240, "card_height": 160, "cards": [{"name": "A", "objects": [
        {"kind": "text", "id": 1, "rect": [0, 0, 240, 80], "text": "kept"}]}]})";
    const std::string path = cv::test::buildStack(typed);
    auto bytes = [](const std::string& file) {
        std::ifstream in(file, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    };
    const std::string before = bytes(path);
    auto openAndType = [&] {
        ASSERT_TRUE(player->openStack(path));
        post({.type = MsgType::Char, .ch = 'x'});
        ASSERT_TRUE(player->textFields().modified());
        headlessUi().clearLog();
    };
    openAndType();
    // Cancel keeps the player and the change.
    headlessUi().queueAnswer(kAnswerSecond);
    send(MsgType::Close);
    EXPECT_FALSE(host.quitting);
    EXPECT_TRUE(player->textFields().modified());
    EXPECT_EQ(lines("alert"), std::vector<std::string>{
        "alert 2213: This stack must be saved before continuing. [^Save|Cancel|Don't Save]"});
    // Don't Save before Open Stack: the other stack opens, and the file is untouched.
    headlessUi().queueAnswer(kAnswerThird);
    headlessUi().queueFile(cv::test::buildStack(kThreeCards, "other.stk"));
    send(MsgType::Command, kCmdOpenStack);
    EXPECT_EQ(std::filesystem::path(theStack().path).filename(), "other.stk");
    EXPECT_EQ(bytes(path), before);
    // Don't Save on closing: the player closes, and the file is untouched.
    openAndType();
    headlessUi().queueAnswer(kAnswerThird);
    send(MsgType::Close);
    EXPECT_TRUE(host.quitting);
    EXPECT_EQ(bytes(path), before);
}

TEST_F(CommandTest, TheCloseQuestionIsAskedOfExperiencedUsersToo) {
    open(kThreeCards);
    theStack().changed = true;
    setAdvancedUser(true);
    headlessUi().queueAnswer(kAnswerSecond);
    send(MsgType::Close);
    setAdvancedUser(false);
    EXPECT_FALSE(host.quitting) << "not saved and closed without asking";
    EXPECT_EQ(lines("alert").size(), 1u);
}

TEST_F(CommandTest, OpenStackCancelledKeepsTheStackAndCard) {
    open(kThreeCards);
    const std::string path = theStack().path;
    send(MsgType::Command, kCmdLast);
    ASSERT_EQ(player->currentCardNumber(), 3);
    send(MsgType::Command, kCmdOpenStack);
    EXPECT_EQ(lines("file:"), std::vector<std::string>{"file: Open Stack"});
    EXPECT_EQ(theStack().path, path);
    EXPECT_EQ(player->currentCardNumber(), 3);
}

TEST_F(CommandTest, OpenStackOfAFileThatIsNoStackLeavesAnUntitledStack) {
    open(kThreeCards);
    const std::string junk = (std::filesystem::path(theStack().path).parent_path() / "junk.stk").string();
    std::ofstream(junk) << std::string(256, 'j');
    headlessUi().queueFile(junk);
    send(MsgType::Command, kCmdOpenStack);
    EXPECT_FALSE(lines("alert").empty());
    EXPECT_TRUE(theStack().open());
    EXPECT_TRUE(theStack().path.empty());
    EXPECT_EQ(player->currentCardNumber(), 1);
}

TEST_F(CommandTest, WhatTheMenusOffer) {
    open(kThreeCards);
    EXPECT_FALSE(player->commandEnabled(kCmdNewStack));
    EXPECT_FALSE(player->commandEnabled(kCmdUndo));
    EXPECT_FALSE(player->commandEnabled(kCmdPrint));
    EXPECT_TRUE(player->commandEnabled(kCmdOpenStack));
    EXPECT_FALSE(player->commandEnabled(kCmdHome)); // no home stack known

    const std::string home = theStack().path;
    player->setHomeStack(home);
    player->navigation().setHome(home);
    EXPECT_TRUE(player->commandEnabled(kCmdHome));   // known, not open as such yet
    ASSERT_TRUE(player->openStack(home));
    EXPECT_FALSE(player->commandEnabled(kCmdHome));  // the home stack is open
    ASSERT_TRUE(player->openStack(cv::test::buildStack(kThreeCards, "elsewhere.stk")));
    EXPECT_TRUE(player->commandEnabled(kCmdHome));
    send(MsgType::Command, kCmdHome);
    EXPECT_EQ(theStack().path, home);
}

TEST_F(CommandTest, UnknownCommandsGoToTheWindowOrDoNothing) {
    open(kThreeCards);
    std::vector<int> seen;
    player->commandHandler = [&](int id) {
        if (id >= 0) seen.push_back(id);
        return id == kCmdHelp;
    };
    send(MsgType::Command, kCmdHelp);
    send(MsgType::Command, 9999);
    send(MsgType::Command, -5);
    EXPECT_EQ(seen, (std::vector<int>{kCmdHelp, 9999}));
    EXPECT_EQ(player->currentCardNumber(), 1);
    EXPECT_FALSE(host.quitting);
}

TEST_F(CommandTest, AboutNamesTheVersionTheBuildGives) {
    open(kThreeCards);
    send(MsgType::Command, kCmdAbout);
    const auto about = lines("message About Corvella Player: ");
    ASSERT_EQ(about.size(), 1u);
    EXPECT_TRUE(std::regex_match(playerVersion(), std::regex("[0-9]+\\.[0-9]+(\\.[0-9]+)*"))) << playerVersion();
    EXPECT_NE(about[0].find(std::string("Version ") + playerVersion() + "\n"), std::string::npos) << about[0];
}
