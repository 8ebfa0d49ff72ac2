// The script windows on a screen: the Run Box runs what is typed in it and gives a waiting
// script its line, the text window shows what is printed and reads with its own editor, and
// the read dialog takes a line; Escape ends a run started there.
#include <QApplication>
#include <QDialog>
#include <QLineEdit>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QSyntaxHighlighter>
#include <QTest>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextLayout>
#include <QTimer>
#include <gtest/gtest.h>

#include "core/ui.h"
#include "player/player.h"
#include "player/qt/main_window.h"
#include "player/qt/qt_host.h"
#include "player/qt/script_windows_qt.h"
#include "player/script_bridge.h"
#include "script/interpreter.h"
#include "test_application.h"

namespace cv::test {
namespace {

class ScriptWindowsQtTest : public ::testing::Test {
protected:
    void SetUp() override {
        ensureTestApplication();
        setUi(&ui);
        host.showEndScreenOnQuit = false;
        player = std::make_unique<Player>(host);
        window = std::make_unique<MainWindow>(*player, host);
        host.attach(window.get());
        windows = std::make_unique<QtScriptWindows>(*player, *window);
        player->scripts().windows().setView(windows.get());
        window->show();
    }
    void TearDown() override {
        player->scripts().windows().setView(nullptr);
        windows.reset();
        host.attach(nullptr);
        window.reset();
        player.reset();
        setUi(nullptr);
    }
    QPlainTextEdit* runEdit() { return windows->runBoxWidget()->findChild<QPlainTextEdit*>(); }
    QString shown() {
        QWidget* w = windows->textWindowWidget();
        auto* text = w ? w->findChild<QPlainTextEdit*>() : nullptr;
        return text ? text->toPlainText() : QString("<no text window>");
    }
    // Types into the Run Box and presses Enter, once the event loop runs.
    void typeLater(QWidget* w, const QString& text) {
        QTimer::singleShot(0, w, [w, text] {
            QTest::keyClicks(w, text);
            QTest::keyClick(w, Qt::Key_Return);
        });
    }

    HeadlessUi ui;
    QtHost host;
    std::unique_ptr<Player> player;
    std::unique_ptr<MainWindow> window;
    std::unique_ptr<QtScriptWindows> windows;
};

TEST_F(ScriptWindowsQtTest, TheRunBoxOpensUnderThePlayerAndRunsTheLineTypedInIt) {
    player->runCommand(kCmdRunBox);
    QWidget* box = windows->runBoxWidget();
    ASSERT_TRUE(box && box->isVisible());
    EXPECT_EQ(box->y(), window->frameGeometry().bottom() + 1);
    EXPECT_EQ(box->width(), window->width());
    EXPECT_EQ(runEdit()->textCursor().selectedText(), "Enter a Quillscript command and press the Enter key.");
    runEdit()->insertPlainText("PRINT [caf\u00e9 3] PRINT 3 + 4");  // replaces the greeting
    QTest::keyClick(runEdit(), Qt::Key_Return);
    EXPECT_EQ(shown(), "caf\u00e9 3\n7\n");
    EXPECT_EQ(runEdit()->textCursor().selectedText(), "PRINT [caf\u00e9 3] PRINT 3 + 4");

    // Closed and opened again, it comes back where it was left.
    box->move(box->x() + 17, box->y());
    const QPoint left = box->pos();
    player->runCommand(kCmdRunBox);
    EXPECT_FALSE(box->isVisible());
    player->runCommand(kCmdRunBox);
    EXPECT_EQ(box->pos(), left);

    // Its Help menu item shows the help alert.
    QMenuBar* bar = box->findChild<QMenuBar*>();
    ASSERT_TRUE(bar);
    bar->actions().last()->menu()->actions().first()->trigger();
    EXPECT_EQ(ui.lastAlertText(), "Quillscript Run Box\r\rType a command and press Enter.");
}

TEST_F(ScriptWindowsQtTest, AButtonsReadlistTakesTheLineTypedInTheRunBoxAfterItsPrompt) {
    player->runCommand(kCmdRunBox);
    typeLater(runEdit(), "one two");
    player->scripts().run("MAKE \"L READLIST TEXTIO PRINT COUNT :L PRINT :L", ScriptBridge::Start::ActionList);
    EXPECT_EQ(shown(), "2\none two\n");
    EXPECT_FALSE(player->scripts().windows().readPending());
    // Closing the Run Box while it waits gives an empty line.
    QTimer::singleShot(0, windows->runBoxWidget(), [this] { windows->runBoxWidget()->close(); });
    player->scripts().run("MAKE \"W READWORD TEXTIO PRINT EMPTYP :W", ScriptBridge::Start::ActionList);
    EXPECT_TRUE(shown().endsWith("TRUE\n"));
}

TEST_F(ScriptWindowsQtTest, TheTextWindowRunsItsLineAndReadsWithItsOwnEditor) {
    windows->showTextWindow();
    QPlainTextEdit* edit = windows->textWindowWidget()->findChild<QPlainTextEdit*>();
    QTest::keyClicks(edit, "PRINT READWORD");
    // The line editor: typed characters echo, backspace takes the last one back.
    QTimer::singleShot(0, edit, [edit] {
        QTest::keyClicks(edit, "abx");
        QTest::keyClick(edit, Qt::Key_Backspace);
        QTest::keyClicks(edit, "c");
        QTest::keyClick(edit, Qt::Key_Return);
    });
    QTest::keyClick(edit, Qt::Key_Return);
    EXPECT_EQ(shown(), "PRINT READWORD\n?abc\nabc\n\n");
    // Escape while it waits ends the run.
    QTimer::singleShot(0, edit, [edit] { QTest::keyClick(edit, Qt::Key_Escape); });
    player->scripts().run("MAKE \"A READWORD PRINT \"never", ScriptBridge::Start::TextWindow);
    EXPECT_FALSE(shown().contains("never"));
}

TEST_F(ScriptWindowsQtTest, TheReadDialogShowsThePromptAndGivesItsLine) {
    QTimer::singleShot(0, [] {
        auto* d = qobject_cast<QDialog*>(QApplication::activeModalWidget());
        ASSERT_TRUE(d);
        EXPECT_EQ(d->objectName(), "READ");
        QTest::keyClicks(d->findChild<QLineEdit*>(), "42");
        d->accept();
    });
    player->scripts().run("SETRWPROMPT \"Age? MAKE \"A READWORD TEXTIO PRINT :A + 1", ScriptBridge::Start::ActionList);
    EXPECT_EQ(shown(), "43\n");
}

TEST_F(ScriptWindowsQtTest, TheEditorKeepsARefusedTextOpenAndDefinesOnClosing) {
    player->scripts().run("TO SQ :X\rOUTPUT :X * :X\rEND", ScriptBridge::Start::RunBox);
    bool stayedOpen = false;
    QString shownText;
    QTimer::singleShot(0, [&] {
        auto* d = qobject_cast<QDialog*>(QApplication::activeModalWidget());
        ASSERT_TRUE(d);
        EXPECT_EQ(d->objectName(), "LogoEdit");
        auto* edit = d->findChild<QPlainTextEdit*>();
        shownText = edit->toPlainText();
        // A primitive's name is refused: the error box, and the editor stays with the text.
        edit->setPlainText("TO PRINT\nEND");
        d->done(QDialog::Accepted);
        stayedOpen = d->isVisible() && edit->toPlainText() == "TO PRINT\nEND";
        edit->setPlainText("TO SQ :X ; twice the square\nOUTPUT 2 * :X * :X\nEND");
        d->close();  // closing defines
    });
    player->scripts().run("EDIT \"SQ TEXTIO PRINT SQ 3", ScriptBridge::Start::RunBox);
    EXPECT_EQ(shownText, "TO SQ :X\nOUTPUT :X \\* :X\nEND\n");
    EXPECT_TRUE(stayedOpen);
    EXPECT_NE(ui.log().front().find("PRINT"), std::string::npos) << ui.log().front();
    EXPECT_EQ(shown(), "18\n");
}

TEST(QuillscriptHighlighter, ColoursPrimitivesNumbersQuotedWordsAndComments) {
    ensureTestApplication();
    QTextDocument doc("print \"word 12.5 myproc ; note");
    highlightQuillscript(&doc)->rehighlight();
    const auto formats = doc.firstBlock().layout()->formats();
    const auto at = [&](int pos) {
        for (const auto& r : formats)
            if (pos >= r.start && pos < r.start + r.length) return r.format;
        return QTextCharFormat();
    };
    EXPECT_EQ(at(0).fontWeight(), QFont::Bold);             // PRINT, in any case
    EXPECT_NE(at(6).foreground(), at(0).foreground());      // "word
    EXPECT_NE(at(12).foreground(), QBrush());               // 12.5
    EXPECT_EQ(at(18).foreground(), QBrush());               // a procedure's name is plain
    EXPECT_TRUE(at(27).fontItalic());                       // the comment
}

} // namespace
} // namespace cv::test
