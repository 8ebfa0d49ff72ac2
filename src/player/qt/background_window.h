#pragma once
// The presentation background: a window filling the screen behind the player's window, which
// paints the area round the card with the stack's colour (presentation mode 2) or with the
// card's picture (mode 3). It never takes the focus; it shows while the open stack's
// presentation mode is on and the player's window is shown.
#include <QWidget>

#include "player/preferences.h"

namespace cv {

class Player;

class BackgroundWindow : public QWidget {
public:
    // `mainWindow` is the window it stays behind.
    BackgroundWindow(Player& player, QWidget* mainWindow);
    ~BackgroundWindow() override;

    // The presentation settings changed.
    void apply(const PreferenceCopies& settings);
    // What it paints for those settings: the colour, or the card's picture filling the screen.
    QColor fillColour() const;
    bool showsPicture() const { return settings_.presentationMode == 3; }

protected:
    void paintEvent(QPaintEvent* e) override;
    bool eventFilter(QObject* watched, QEvent* e) override;

private:
    // Fills the screen of the main window, below it.
    void showBehind();

    Player& player_;
    QWidget* main_;
    PreferenceCopies settings_;
};

} // namespace cv
