// The script windows' rules: which window a printed text ends in, and which window gives the
// line a script reads, for each way a run starts.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "core/ui.h"
#include "player/headless_host.h"
#include "player/player.h"
#include "player/script_bridge.h"
#include "player/script_windows.h"
#include "script/interpreter.h"
#include "script/script_files.h"
#include "test_application.h"

namespace cv::test {
namespace {

using Start = ScriptBridge::Start;

class ScriptWindowsTest : public ::testing::Test {
protected:
    ScriptWindowsTest() {
        ensureTestApplication();
        setUi(&ui);
        player = std::make_unique<Player>(host);
        player->scripts().windows().setView(&windows);
    }
    ~ScriptWindowsTest() override {
        player.reset();
        setUi(nullptr);
    }
    void run(const std::string& text, Start start) { player->scripts().run(text, start); }
    script::Interpreter& in() { return player->scripts().interpreter(); }

    HeadlessUi ui;
    HeadlessHost host;
    HeadlessScriptWindows windows;
    std::unique_ptr<Player> player;
};

TEST(LineSourceChoice, TheReadDialogOnlyWhileDrawingWithTheRunBoxClosed) {
    for (RunOrigin o : {RunOrigin::Other, RunOrigin::ActionList, RunOrigin::RunBox, RunOrigin::TextWindow}) {
        EXPECT_EQ(chooseLineSource(o, true, false), LineSourceKind::ReadDialog);
        const LineSourceKind open = o == RunOrigin::TextWindow ? LineSourceKind::TextWindowEditor : LineSourceKind::RunBox;
        EXPECT_EQ(chooseLineSource(o, true, true), open);
        EXPECT_EQ(chooseLineSource(o, false, true), open);
        const LineSourceKind closed =
            o == RunOrigin::TextWindow ? LineSourceKind::TextWindowEditor : LineSourceKind::EmptyLine;
        EXPECT_EQ(chooseLineSource(o, false, false), closed);
    }
}

TEST_F(ScriptWindowsTest, AButtonReadsTheLineTypedInTheOpenRunBoxWithoutItsPromptCharacter) {
    player->runCommand(kCmdRunBox);  // the Window menu's item opens it, and closes it again
    EXPECT_TRUE(windows.runBoxOpen());
    windows.queueRunBoxLine("?hello world");
    // A button's run draws its text (TURTLEIO), yet with the Run Box open it reads from there.
    run("MAKE \"L READLIST TEXTIO PRINT :L PRINT \"after", Start::ActionList);
    EXPECT_EQ(windows.text(), "hello world\nafter\n");
    EXPECT_FALSE(player->scripts().windows().readPending());
    EXPECT_TRUE(ui.log().empty());
    player->runCommand(kCmdRunBox);
    EXPECT_FALSE(windows.runBoxOpen());
}

TEST_F(ScriptWindowsTest, WithTheRunBoxClosedADrawingButtonAsksTheReadDialogAtItsPromptAndPlace) {
    ui.queueText(">typed");
    run("SETRWPROMPT \"Name? SETRWRECT [-10 20 30 -40] TEXTIO TURTLEIO MAKE \"A READWORD TEXTIO PRINT :A",
        Start::ActionList);
    EXPECT_EQ(windows.text(), "typed\n");
    EXPECT_EQ(windows.lastReadPrompt, "Name?");
    ASSERT_TRUE(windows.lastReadRect.has_value());
    const int cx = player->screen().width() / 2, cy = player->screen().height() / 2;
    EXPECT_EQ(*windows.lastReadRect, (std::array<int, 4>{cx - 10, cy - 20, cx + 30, cy + 40}));
}

TEST_F(ScriptWindowsTest, WithNoWindowToTypeInAButtonReadsAnEmptyLine) {
    run("TEXTIO PRINT READLIST PRINT \"end", Start::ActionList);
    EXPECT_EQ(windows.text(), "\nend\n");
    windows.setRunBoxOpen(true);  // open, but nobody types: it is closed while waiting
    run("TEXTIO PRINT LIST READWORD 1", Start::ActionList);
    EXPECT_EQ(windows.takeNewText(), "\nend\n 1\n");
}

TEST_F(ScriptWindowsTest, TheTextWindowsRunsPrintThereAndReadItsLineEditor) {
    in().turtleIO = true;  // left set by a button; the text window clears it
    windows.queueTextWindowLine(std::string(300, 'x'));
    run("MAKE \"A READWORD PRINT COUNT :A", Start::TextWindow);
    EXPECT_EQ(windows.text(), "?" + std::string(255, 'x') + "\n255\n");
    // Escape while it waits ends the run.
    run("MAKE \"B READWORD PRINT \"never", Start::TextWindow);
    EXPECT_EQ(windows.text().find("never"), std::string::npos);
}

TEST_F(ScriptWindowsTest, ADefinitionEnteredInTheRunBoxTakesItsLinesFromTheRunBox) {
    windows.setRunBoxOpen(true);
    windows.queueRunBoxLine(">OUTPUT :X * :X");
    windows.queueRunBoxLine("END");
    run("TO SQUARE :X", Start::RunBox);
    run("PRINT SQUARE 7", Start::RunBox);
    EXPECT_EQ(windows.text(), "49\n");
    // Without lines to give, a definition ends with its error instead of waiting for ever.
    run("TO CUBE :X", Start::RunBox);
    EXPECT_NE(ui.lastAlertText().find("END"), std::string::npos) << ui.lastAlertText();
}

TEST_F(ScriptWindowsTest, PrintedTextGoesToTheCaptureTheWriterTheTurtleOrElseTheTextWindow) {
    const std::filesystem::path dir = std::filesystem::temp_directory_path() / ("cvsw" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    // Where printed text goes, not where files go: the file is the test's own, outside any
    // stack's world.
    script::scriptFiles(in()).setWorld(std::nullopt);
    run("SETPREFIX \"" + dir.string() + "", Start::RunBox);
    run("OPEN \"OUT.TXT SETWRITE \"OUT.TXT PRINT \"tofile MAKE \"V 1 PONS SETWRITE [] CLOSE \"OUT.TXT", Start::RunBox);
    std::ifstream f(dir / "OUT.TXT");
    std::stringstream content;
    content << f.rdbuf();
    EXPECT_EQ(content.str(), "tofile\n");
    EXPECT_EQ(windows.takeNewText(), "MAKE \"V 1\n");  // not printing: past the writer

    std::string captured;
    in().outputCapture = &captured;
    run("PRINT \"caught", Start::RunBox);
    in().outputCapture = nullptr;
    EXPECT_EQ(captured, "caught\n");

    run("TURTLEIO PRINT \"drawn TEXTIO PRINT \"shown", Start::RunBox);
    EXPECT_EQ(windows.takeNewText(), "shown\n");
    std::filesystem::remove_all(dir);
}

TEST_F(ScriptWindowsTest, TheEditorShowsTheListingsAndDefinesWhatItGivesBackKeepingRefusedText) {
    run("TO SQ :X\rOUTPUT :X * :X\rEND", Start::RunBox);
    // A refused text (a primitive's name) shows its error and stays; the next is defined.
    windows.queueEdit("TO PRINT\nEND\n");
    windows.queueEdit("TO SQ :X\nOUTPUT :X * :X * 2\nEND\nTO HALF :X\nOUTPUT :X / 2\nEND\n");
    run("EDIT [SQ NEW] PRINT SQ 3 PRINT HALF 9", Start::RunBox);
    ASSERT_EQ(windows.editorTexts.size(), 2u);
    EXPECT_EQ(windows.editorTexts[0], "TO SQ :X\nOUTPUT :X \\* :X\nEND\nTO NEW\nEND\n");
    EXPECT_EQ(windows.editorTexts[1], "TO PRINT\nEND\n");
    EXPECT_NE(ui.lastAlertText().find("PRINT"), std::string::npos) << ui.lastAlertText();
    EXPECT_EQ(windows.takeNewText(), "18\n4.5\n");  // the run that called EDIT goes on

    windows.editorTexts.clear();
    run("EDITS", Start::RunBox);
    ASSERT_EQ(windows.editorTexts.size(), 1u);
    EXPECT_NE(windows.editorTexts[0].find("TO HALF :X\n"), std::string::npos);
    EXPECT_NE(windows.editorTexts[0].find("TO SQ :X\n"), std::string::npos);

    // Without an editor, EDIT says it does not know how.
    player->scripts().windows().setView(nullptr);
    ui.clearLog();
    run("EDIT \"SQ", Start::RunBox);
    EXPECT_NE(ui.lastAlertText().find("EDIT"), std::string::npos);
}

} // namespace
} // namespace cv::test
