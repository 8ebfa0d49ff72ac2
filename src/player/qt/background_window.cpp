// The presentation background behind the player's window.
#include "player/qt/background_window.h"

#include <QEvent>
#include <QGuiApplication>
#include <QPainter>
#include <QPointer>
#include <QScreen>
#include <QWindowStateChangeEvent>

#include "player/card_picture.h"
#include "player/player.h"

namespace cv {

BackgroundWindow::BackgroundWindow(Player& player, QWidget* mainWindow)
    : QWidget(nullptr, Qt::Window | Qt::FramelessWindowHint | Qt::WindowStaysOnBottomHint |
                           Qt::WindowDoesNotAcceptFocus),
      player_(player), main_(mainWindow) {
    setAttribute(Qt::WA_OpaquePaintEvent);
    setAttribute(Qt::WA_ShowWithoutActivating);
    setFocusPolicy(Qt::NoFocus);
    setEnabled(false); // clicks round the card do nothing
    setWindowTitle(QString());
    if (main_) main_->installEventFilter(this);
    QPointer<BackgroundWindow> self(this);
    setPresentationHandler([self](const PreferenceCopies& c) {
        if (self) self->apply(c);
    });
    // A new card is a new picture to show round it.
    auto arrive = std::move(player_.onArrive);
    player_.onArrive = [self, arrive](bool arriveAtStack) {
        if (arrive) arrive(arriveAtStack);
        if (self && self->isVisible() && self->showsPicture()) self->update();
    };
}

BackgroundWindow::~BackgroundWindow() { setPresentationHandler(nullptr); }

void BackgroundWindow::apply(const PreferenceCopies& settings) {
    settings_ = settings;
    if (settings_.presentationOn() && main_ && main_->isVisible() && !main_->isMinimized()) {
        showBehind();
        // The person goes on with the card, not with the background.
        main_->raise();
        main_->activateWindow();
    } else {
        hide();
    }
}

void BackgroundWindow::showBehind() {
    const QScreen* s = main_ && main_->screen() ? main_->screen() : QGuiApplication::primaryScreen();
    if (s) setGeometry(s->geometry());
    show();
    lower();
    update();
}

QColor BackgroundWindow::fillColour() const {
    // A 1-based index into the program's palette: 1 white, 256 black.
    return QColor(paletteColour(defaultPaletteColours(), int(settings_.presentationColour) - 1));
}

void BackgroundWindow::paintEvent(QPaintEvent*) {
    QPainter p(this);
    const QImage& picture = player_.cardPicture().image;
    if (showsPicture() && !picture.isNull()) {
        // The card's picture, filling the screen from its centre.
        const QSize size = picture.size().scaled(this->size(), Qt::KeepAspectRatioByExpanding);
        QRect target(QPoint(), size);
        target.moveCenter(rect().center());
        p.drawImage(target, picture);
        return;
    }
    p.fillRect(rect(), fillColour());
}

bool BackgroundWindow::eventFilter(QObject* watched, QEvent* e) {
    if (watched == main_ && settings_.presentationOn()) {
        switch (e->type()) {
        case QEvent::WindowStateChange:
            if (main_->isMinimized()) {
                hide();
            } else {
                showBehind();
                main_->raise();
            }
            break;
        case QEvent::WindowActivate:
            if (main_->isVisible() && !main_->isMinimized()) {
                showBehind();
                main_->raise();
            }
            break;
        case QEvent::Hide: hide(); break;
        default: break;
        }
    }
    return QWidget::eventFilter(watched, e);
}

} // namespace cv
