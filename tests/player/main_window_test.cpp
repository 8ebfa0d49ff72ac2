// The player's window with a person at the keyboard and the mouse: shortcuts after the menus
// were used, the menus' letters, the slide show dialog and the help window.
#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QRadioButton>
#include <QTest>
#include <QTextBrowser>
#include <gtest/gtest.h>

#include "browse_fixture.h"
#include "player/player.h"
#include "player/qt/main_window.h"
#include "player/qt/qt_host.h"
#include "player/qt/slide_show_dialog.h"
#include "player/shell.h"
#include "player/version.h"
#include "stack/stack_document.h"
#include "test_application.h"

using namespace cv;

namespace {

const char* kFourCards = R"({"card_width": 200, "card_height": 120, "cards": [
    {"name": "A"}, {"name": "B"}, {"name": "C"}, {"name": "D"}]})";

class MainWindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        test::ensureTestApplication();
        host.showEndScreenOnQuit = false;
        player = std::make_unique<Player>(host);
        window = std::make_unique<MainWindow>(*player, host);
        host.attach(window.get());
        ASSERT_TRUE(player->openStack(test::buildStack(kFourCards)));
        window->fitToCard(player->cardWidth(), player->cardHeight());
        window->show();
        window->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
    }
    void TearDown() override {
        host.attach(nullptr);
        window.reset();
        player.reset();
        DisposeStack();
    }
    // A key pressed on the keyboard: it goes where the window system sends it, to the widget
    // of the window that has the focus.
    void press(Qt::Key key, Qt::KeyboardModifiers mods = Qt::NoModifier) {
        QTest::keyClick(window->windowHandle(), key, mods);
    }
    QMenu* menu(int index) { return window->menuBar()->actions().at(index)->menu(); }
    QRect titleRect(int index) { return window->menuBar()->actionGeometry(window->menuBar()->actions().at(index)); }

    QtHost host;
    std::unique_ptr<Player> player;
    std::unique_ptr<MainWindow> window;
};

} // namespace

TEST_F(MainWindowTest, ShortcutsWorkAfterAMenuWasOpenedWithTheMouseAndClosedWithEscape) {
    press(Qt::Key_Period, Qt::ControlModifier);
    EXPECT_EQ(player->currentCardNumber(), 2);

    // The Move menu, opened with a click on its title and closed with Escape: the menu bar
    // keeps the keyboard (its title stays lit, as on every desktop) ...
    QTest::mouseClick(window->menuBar(), Qt::LeftButton, {}, titleRect(2).center());
    QWidget* popup = QApplication::activePopupWidget();
    ASSERT_EQ(popup, menu(2));
    QTest::keyClick(popup, Qt::Key_Escape);
    ASSERT_EQ(QApplication::activePopupWidget(), nullptr);
    // ... and the shortcuts still go to the player.
    press(Qt::Key_Period, Qt::ControlModifier);
    EXPECT_EQ(player->currentCardNumber(), 3);
    // The card has the keyboard again: the next key goes straight to it.
    EXPECT_EQ(window->focusWidget(), window->cardView());
    press(Qt::Key_1, Qt::ControlModifier);
    EXPECT_EQ(player->currentCardNumber(), 1);

    // The same after the menu was closed by a second click on its title.
    QTest::mouseClick(window->menuBar(), Qt::LeftButton, {}, titleRect(0).center());
    ASSERT_NE(QApplication::activePopupWidget(), nullptr);
    QTest::keyClick(QApplication::activePopupWidget(), Qt::Key_Escape);
    press(Qt::Key_9, Qt::ControlModifier);
    EXPECT_EQ(player->currentCardNumber(), 4);
}

TEST_F(MainWindowTest, MenusOpenWithAltAndTheirLetters) {
    EXPECT_EQ(window->menuBar()->actions().at(0)->text(), "&File");
    EXPECT_EQ(window->menuBar()->actions().at(7)->text(), "E&xtras"); // E is Edit's
    // Alt+M, then N: Next Card.
    press(Qt::Key_M, Qt::AltModifier);
    ASSERT_EQ(QApplication::activePopupWidget(), menu(2));
    QTest::keyClick(QApplication::activePopupWidget(), Qt::Key_N);
    EXPECT_EQ(QApplication::activePopupWidget(), nullptr);
    EXPECT_EQ(player->currentCardNumber(), 2);
    // Alt+F, then X: Exit.
    press(Qt::Key_F, Qt::AltModifier);
    ASSERT_EQ(QApplication::activePopupWidget(), menu(0));
    QTest::keyClick(QApplication::activePopupWidget(), Qt::Key_X);
    EXPECT_TRUE(host.quitRequested());
}

TEST(SlideShowDialog, ThePauseIsLabelledAndGoesWithTheAutomaticShow) {
    test::ensureTestApplication();
    SlideShowView dialog(nullptr, SlideShowChoice{true, 5});
    dialog.show();
    ASSERT_NE(dialog.pauseWord(), nullptr);
    EXPECT_EQ(dialog.pauseWord()->text().remove('&'), "Pause");
    EXPECT_EQ(dialog.pauseWord()->buddy(), dialog.pauseField());
    EXPECT_TRUE(dialog.pauseWord()->isVisible());
    EXPECT_EQ(dialog.pauseUnit()->text(), "seconds between cards");
    EXPECT_EQ(dialog.pauseField()->text(), "5");
    dialog.untilEscape()->setChecked(true);
    EXPECT_FALSE(dialog.pauseWord()->isVisible());
    EXPECT_FALSE(dialog.pauseField()->isVisible());
    EXPECT_FALSE(dialog.pauseUnit()->isVisible());
}

TEST_F(MainWindowTest, HelpShowsThePlayersOwnPage) {
    // The page is built beside the programs, where the player looks for it.
    showPlayerHelp(window.get());
    QTextBrowser* help = nullptr;
    for (QWidget* w : QApplication::topLevelWidgets())
        if (w->objectName() == "CorvellaHelp" && w->isVisible()) help = qobject_cast<QTextBrowser*>(w);
    ASSERT_NE(help, nullptr) << "no help window";
    const QString text = help->toPlainText();
    EXPECT_TRUE(text.contains(QString("Corvella Player ") + playerVersion())) << text.left(200).toStdString();
    // Every menu item and its shortcut are on it.
    for (const MenuDef& m : mainMenu()) {
        for (const MenuItemDef& item : m.items) {
            if (item.id == 0) continue;
            const size_t tab = item.text.find('\t');
            const QString name = QString::fromStdString(item.text.substr(0, tab));
            EXPECT_TRUE(text.contains(name)) << item.text;
            if (tab != std::string::npos) {
                EXPECT_TRUE(text.contains(QString::fromStdString(item.text.substr(tab + 1)))) << item.text;
            }
        }
    }
    for (const char* words : {"Alt+F", "cvstack export", "CVPREFS.INI", "Home.stk", "Ctrl+Left", "Home"})
        EXPECT_TRUE(text.contains(words)) << words;
    help->close();
}
