// Start-up: the command line, the home-stack search, the choice of the first stack, the
// settings read at start, and fitting the window to the card.
#include "player/shell.h"
#include "player/stored_files.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "browse_fixture.h"
#include "core/alerts.h"
#include "core/settings.h"
#include "player/script_bridge.h"
#include "script/interpreter.h"
#include "stack/stack_document.h"

namespace fs = std::filesystem;
using namespace cv;

namespace {

const char* kTwoCards = R"({"card_width": 320, "card_height": 200, "cards": [
    {"name": "One", "background": {"colour": "#ff0000"}},
    {"name": "Two", "background": {"colour": "#00ff00"}}]})";

fs::path freshFolder(const std::string& tag) {
    static int counter = 0;
    const fs::path dir = fs::temp_directory_path() /
                         ("cv-shell-" + tag + "-" + std::to_string(::getpid()) + "-" + std::to_string(counter++));
    fs::remove_all(dir);
    fs::create_directories(dir);
    return dir;
}

void touch(const fs::path& p, const std::string& text = "x") { std::ofstream(p) << text; }

std::vector<std::string> logLines(const std::string& prefix) {
    std::vector<std::string> out;
    for (const std::string& l : headlessUi().log())
        if (l.rfind(prefix, 0) == 0) out.push_back(l);
    return out;
}

} // namespace

TEST(CommandLine, QuotesAreStrippedAndRelativeNamesMadeFull) {
    EXPECT_EQ(commandLineStackPath("", "/work"), "");
    EXPECT_EQ(commandLineStackPath("\"\"", "/work"), "");
    EXPECT_EQ(commandLineStackPath("\"/stacks/My Stack.stk\"", "/work"), "/stacks/My Stack.stk");
    EXPECT_EQ(commandLineStackPath("\"My Stack.stk\"", "/work"), "/work/My Stack.stk");
    EXPECT_EQ(commandLineStackPath("sub/../a.stk", "/work"), "/work/a.stk");
    // Drive and network names are full already.
    EXPECT_EQ(commandLineStackPath("C:\\Stacks\\a.stk", "/work"), "C:\\Stacks\\a.stk");
    EXPECT_EQ(commandLineStackPath("\\\\server\\a.stk", "/work"), "\\\\server\\a.stk");
    // A lone quote is a name, not a quoted empty path.
    EXPECT_EQ(commandLineStackPath("\"", "/work"), "/work/\"");
    // One quote at one end only is kept.
    EXPECT_EQ(commandLineStackPath("\"a.stk", "/work"), "/work/\"a.stk");

    const char* argv[] = {"corvella", "My", "Stack.stk"};
    EXPECT_EQ(joinArguments(3, argv), "My Stack.stk");
    EXPECT_EQ(fileNamePart("C:\\CV\\Home.stk"), "Home.stk");
    EXPECT_EQ(fileNamePart("/cv/stacks/Home.stk"), "Home.stk");
}

TEST(HomeStack, FirstNameOfTheListWinsAndCaseIsForgiven) {
    const fs::path dir = freshFolder("home");
    EXPECT_FALSE(findHomeStack(dir.string()));
    // A folder with a home stack's name is not a stack.
    fs::create_directories(dir / "Home.stk");
    EXPECT_FALSE(findHomeStack(dir.string()));
    touch(dir / "PilaIniziale.stk"); // the last name of the list
    EXPECT_EQ(findHomeStack(dir.string()), (dir / "PilaIniziale.stk").string());
    touch(dir / "home stack"); // "Home Stack", in another case
    EXPECT_EQ(findHomeStack(dir.string()), (dir / "home stack").string());
    touch(dir / "Home2.stk");
    EXPECT_EQ(findHomeStack(dir.string()), (dir / "Home2.stk").string());
    fs::remove_all(dir);
}

TEST(Settings, YesInAnyCaseAndTheExperiencedUser) {
    EXPECT_TRUE(settingIsYes("yES"));
    EXPECT_FALSE(settingIsYes("Yess"));
    EXPECT_FALSE(settingIsYes("1"));

    const fs::path dir = freshFolder("settings");
    touch(dir / "CVPREFS.INI", "[User]\nmultipleinstances = YES\nADVANCEDUSER=yes\n");
    setSettingsFile((dir / "CVPREFS.INI").string());
    EXPECT_TRUE(multipleInstancesAllowed());
    applyAdvancedUserSetting();
    EXPECT_TRUE(advancedUser());
    headlessUi().clearLog();
    EXPECT_EQ(showAlert(2223), kAnswerFirst);
    EXPECT_TRUE(headlessUi().log().empty()); // an unforced alert is not shown
    showAlert(2223, false, true);
    EXPECT_EQ(headlessUi().log().size(), 1u); // a forced one is

    touch(dir / "CVPREFS.INI", "[user]\nadvancedUser=No\n");
    setSettingsFile((dir / "CVPREFS.INI").string());
    EXPECT_FALSE(multipleInstancesAllowed());
    applyAdvancedUserSetting();
    EXPECT_FALSE(advancedUser());
    fs::remove_all(dir);
}

TEST(Display, OnlyEightBitsAndUp) {
    for (int depth : {1, 4, 15, 0}) EXPECT_FALSE(displayDepthAccepted(depth)) << depth;
    for (int depth : {8, 16, 24, 32}) EXPECT_TRUE(displayDepthAccepted(depth)) << depth;
}

TEST(Display, AWindowSystemIsNeededUnlessThePlatformDrawsWithoutOne) {
    EXPECT_FALSE(windowSystemReachable("", "", ""));
    EXPECT_TRUE(windowSystemReachable(":0", "", ""));
    EXPECT_TRUE(windowSystemReachable("", "wayland-0", ""));
    EXPECT_TRUE(windowSystemReachable("", "", "offscreen"));
    EXPECT_TRUE(windowSystemReachable("", "", "vnc:size=800x600"));
    EXPECT_FALSE(windowSystemReachable("", "wayland-0", "xcb"));
    EXPECT_FALSE(windowSystemReachable(":0", "", "wayland"));
    EXPECT_FALSE(windowSystemReachable("", "", "wayland-egl"));
    // A list is tried in order.
    EXPECT_TRUE(windowSystemReachable(":0", "", "wayland;xcb"));
    EXPECT_FALSE(windowSystemReachable("", "", "wayland;xcb"));
}

TEST(CommandLine, AStackThatCannotBeOpenedIsDescribed) {
    const fs::path dir = freshFolder("problem");
    touch(dir / "a.stk");
    EXPECT_EQ(commandLineStackProblem((dir / "a.stk").string()), "");
    EXPECT_EQ(commandLineStackProblem((dir / "b.stk").string()), "there is no such file");
    EXPECT_EQ(commandLineStackProblem(dir.string()), "it is a folder, not a stack file");
    fs::remove_all(dir);
}

TEST(WindowFit, KeepsLeftAndBottomUnlessTheCardIsTooTall) {
    const QRect screen(0, 0, 1024, 768);
    const QSize chrome(2, 24);
    // 512 x 342 card, 20-pixel menu bar: the window grows upwards from its bottom edge.
    QRect fit = fitWindowToCard(QRect(100, 300, 600, 400), chrome, 20, QSize(512, 342), screen);
    EXPECT_EQ(fit, QRect(100, 300 + 400 - (342 + 20 + 24), 514, 342 + 20 + 24));
    // Taller than the screen: at the top.
    fit = fitWindowToCard(QRect(100, 300, 600, 400), chrome, 20, QSize(640, 800), screen);
    EXPECT_EQ(fit.top(), 0);
    EXPECT_EQ(fit.height(), 800 + 20 + 24);
    // Growing above the screen's top would hide the caption: it stops at the top.
    fit = fitWindowToCard(QRect(0, 10, 600, 400), chrome, 0, QSize(640, 700), screen);
    EXPECT_EQ(fit.top(), 0);
    // Tiny cards get the smallest window; a hidden menu bar adds nothing.
    fit = fitWindowToCard(QRect(0, 0, 600, 400), QSize(0, 0), 0, QSize(10, 5), screen);
    EXPECT_EQ(fit.size(), QSize(kMinCardViewWidth, kMinCardViewHeight));
    EXPECT_EQ(fit.bottom(), 399);
}

TEST(FileLocations, FilesAStackNamesAreLookedForNearItThenWithTheProgram) {
    fileLocations() = FileLocations{};
    // The command-line tools: the stack's folder, then the working folder.
    EXPECT_EQ(storedFileFolders("/data/stacks/a.stk"), (std::vector<std::string>{"/data/stacks", "."}));
    EXPECT_EQ(storedFileFolders(""), std::vector<std::string>{"."});
    initFileLocations("/opt/cv/corvella");
    const FileLocations& l = fileLocations();
    EXPECT_EQ(storedFileFolders("/data/stacks/a.stk"),
              (std::vector<std::string>{"/data/stacks", "/opt/cv", l[kLocArt].path, l[kLocSounds].path,
                                        l[kLocMovies].path, l[kLocNBAs].path}));
    // A stack beside the program: its folder once.
    EXPECT_EQ(storedFileFolders("/opt/cv/home.stk").size(), 5u);
    fileLocations() = FileLocations{};
}

// ---- The first stack of a run ----

class FirstStackTest : public cv::test::BrowseTest {
protected:
    void SetUp() override {
        BrowseTest::SetUp();
        program = freshFolder("program");
        work = freshFolder("work");
        stack = cv::test::buildStack(kTwoCards);
        initFileLocations((program / "corvella").string());
    }
    void TearDown() override {
        BrowseTest::TearDown();
        fs::remove_all(program);
        fs::remove_all(work);
    }
    FirstStack start(const std::string& commandLine) {
        return openFirstStack(*player, program.string(), commandLine, work.string());
    }
    fs::path program, work;
    std::string stack;
};

TEST_F(FirstStackTest, TheCommandLineStackOpensAtCardOne) {
    fs::copy_file(stack, work / "My Stack.stk");
    EXPECT_EQ(start("\"My Stack.stk\""), FirstStack::CommandLine);
    EXPECT_EQ(theStack().path, (work / "My Stack.stk").string());
    EXPECT_EQ(player->currentCardNumber(), 1);
    EXPECT_EQ(player->cardWidth(), 320);
    EXPECT_EQ(fileLocations()[kLocCurrentStack].fileName, "My Stack.stk");
    EXPECT_TRUE(logLines("file:").empty());
}

TEST_F(FirstStackTest, AMissingOrDamagedCommandLineStackFallsBackToTheHomeStack) {
    fs::copy_file(stack, program / "Home.stk");
    EXPECT_EQ(start("missing.stk"), FirstStack::Home);
    EXPECT_EQ(theStack().path, (program / "Home.stk").string());
    EXPECT_TRUE(player->isHomeStack());
    EXPECT_FALSE(player->commandEnabled(kCmdHome)); // Home is where we are
    EXPECT_EQ(fileLocations()[kLocHomeStack].path, (program / "Home.stk").string());
    EXPECT_TRUE(headlessUi().log().empty());
    // A damaged one is reported first.
    touch(work / "broken.stk", std::string(300, '\x7f'));
    EXPECT_EQ(start((work / "broken.stk").string()), FirstStack::Home);
    EXPECT_FALSE(logLines("alert").empty());
    EXPECT_EQ(theStack().path, (program / "Home.stk").string());
}

TEST_F(FirstStackTest, WithoutAHomeStackThePersonIsAskedAndCancellingLeavesAnUntitledStack) {
    EXPECT_EQ(start(""), FirstStack::Untitled);
    EXPECT_EQ(logLines("file:"), std::vector<std::string>{"file: Open Stack"});
    EXPECT_TRUE(theStack().open());
    EXPECT_TRUE(theStack().path.empty());
    EXPECT_EQ(player->currentCardNumber(), 1);
    EXPECT_FALSE(player->commandEnabled(kCmdHome)); // no home stack is known
    // A stack chosen instead opens.
    headlessUi().queueFile(stack);
    EXPECT_EQ(start(""), FirstStack::Chosen);
    EXPECT_EQ(theStack().path, stack);
    EXPECT_EQ(player->currentCardNumber(), 1);
}

TEST_F(FirstStackTest, ADamagedHomeStackGivesAnUntitledStackWithoutAskingAgain) {
    touch(program / "Home.stk", std::string(200, '\x01'));
    EXPECT_EQ(start(""), FirstStack::Untitled);
    EXPECT_FALSE(logLines("alert").empty());
    EXPECT_TRUE(logLines("file:").empty());
    EXPECT_TRUE(theStack().path.empty());
}

TEST_F(FirstStackTest, AStackHandedOverByAnotherStartReplacesTheOpenOne) {
    fs::copy_file(stack, program / "Home.stk");
    ASSERT_EQ(start(""), FirstStack::Home);
    const std::string other = (work / "other.stk").string();
    fs::copy_file(stack, other);
    EXPECT_TRUE(openRequestedStack(*player, other));
    EXPECT_EQ(theStack().path, other);
    EXPECT_TRUE(player->commandEnabled(kCmdHome)); // the home stack is known, and not open
    // A file that is not a stack: reported, and an untitled stack takes its place.
    touch(work / "junk.stk", "junk");
    EXPECT_TRUE(openRequestedStack(*player, (work / "junk.stk").string()));
    EXPECT_TRUE(theStack().path.empty());
}

namespace {

class ScriptMemorySetting : public cv::test::BrowseTest {};

TEST_F(ScriptMemorySetting, TheLimitOfScriptMemoryIsReadWhenThePlayerStarts) {
    const fs::path dir = freshFolder("script-memory");
    const size_t defaultLimit = player->scripts().interpreter().poolLimitBytes();
    touch(dir / "CVPREFS.INI", "[user]\nScriptMemoryMB=3\n");
    setSettingsFile((dir / "CVPREFS.INI").string());
    {
        Player limited(host);
        const size_t limit = limited.scripts().interpreter().poolLimitBytes();
        EXPECT_LE(limit, size_t(3) << 20);
        EXPECT_GT(limit, (size_t(3) << 20) - 10000);  // whole blocks of nodes
    }
    // Anything but a number of MiB leaves the default.
    for (const char* bad : {"lots", "0", "-5", ""}) {
        touch(dir / "CVPREFS.INI", std::string("[user]\nScriptMemoryMB=") + bad + "\n");
        setSettingsFile((dir / "CVPREFS.INI").string());
        Player other(host);
        EXPECT_EQ(other.scripts().interpreter().poolLimitBytes(), defaultLimit) << bad;
    }
    touch(dir / "CVPREFS.INI", "");
    setSettingsFile((dir / "CVPREFS.INI").string());
    fs::remove_all(dir);
}

} // namespace
