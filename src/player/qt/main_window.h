#pragma once
// The player's main window: the menu bar "CV" over a view of the card. It holds no card logic:
// mouse, keys, focus, menu commands, the close box and timer 1 become player messages, and the
// view paints the player's screen image.
#include <QMainWindow>
#include <QTimer>
#include <QWidget>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "player/message.h"

class QMenu;

namespace cv {

class Player;
class QtHost;
class BackgroundWindow;

// The card, drawn at 1x from the top-left corner; what lies beyond the card is grey.
class CardView : public QWidget {
public:
    CardView(Player& player, QWidget* parent);
    // Called once, at the first paint after start-up has shown its card.
    std::function<void()> onFirstCardPainted;
    bool startupDone = false;
    // A key of the window becomes the player's key-down (and the characters it typed) / key-up.
    void takeKeyPress(QKeyEvent* e);
    void takeKeyRelease(QKeyEvent* e);

protected:
    void paintEvent(QPaintEvent* e) override;
    void mousePressEvent(QMouseEvent* e) override;
    void mouseReleaseEvent(QMouseEvent* e) override;
    void mouseDoubleClickEvent(QMouseEvent* e) override;
    void mouseMoveEvent(QMouseEvent* e) override;
    void keyPressEvent(QKeyEvent* e) override;
    void keyReleaseEvent(QKeyEvent* e) override;
    // Tab belongs to the card (text fields), not to moving the focus.
    bool focusNextPrevChild(bool) override { return false; }

private:
    void post(const Message& m);
    Player& player_;
};

class MainWindow : public QMainWindow {
public:
    MainWindow(Player& player, QtHost& host);
    ~MainWindow() override;

    CardView* cardView() const { return view_; }
    // Gives the window the size of the card (and keeps it there when the menu bar changes).
    void fitToCard(int width, int height);
    void refit() { fitToCard(cardWidth_, cardHeight_); }
    void setMenuBarShown(bool shown);
    bool menuBarShown() const { return menuBarShown_; }
    // Centres the window on its screen.
    void centreOnScreen();
    // Another start of the player asked this one to come forward (and open a stack).
    void comeForward();
    void openRequested(const std::string& path);
    // Posts a message to the player and lets it handle the queue unless it is busy.
    void post(const Message& m);
    // Runs work of the player that is not a message (start-up, a stack handed over by another
    // start) as if it were one: input arriving meanwhile waits in the queue.
    void runHeld(const std::function<void()>& work);
    // The window is closing for good: input is no longer passed on.
    void stopInput() { inputStopped_ = true; timer1_.stop(); }
    bool inputStopped() const { return inputStopped_; }

protected:
    void closeEvent(QCloseEvent* e) override;
    void changeEvent(QEvent* e) override;
    // Keys that another widget of the window left alone (the menu bar, which keeps the focus
    // after a menu is closed with Escape) are the player's too.
    void keyPressEvent(QKeyEvent* e) override;
    void keyReleaseEvent(QKeyEvent* e) override;

private:
    void buildMenus();
    void updateMenu(int index);
    void runMenuItem(int id);
    void tick();
    void openPendingStack();

    Player& player_;
    QtHost& host_;
    CardView* view_ = nullptr;
    std::vector<QMenu*> menus_;
    QTimer timer1_;
    int cardWidth_ = 0, cardHeight_ = 0;
    bool menuBarShown_ = true;
    bool inputStopped_ = false;
    int held_ = 0;
    std::vector<std::string> pendingOpens_;
    std::unique_ptr<BackgroundWindow> background_; // round the card in presentation mode
};

// Shows the player's help page, CVHELP.HTML from the program's folder, in a window of its own
// (command 652).
void showPlayerHelp(QWidget* parent);

} // namespace cv
