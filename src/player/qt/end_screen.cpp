// The end screen shown when the player closes.
#include "player/qt/end_screen.h"

#include <QDialog>
#include <QGuiApplication>
#include <QPainter>
#include <QScreen>
#include <QTimer>

#include "player/qt/art.h"

namespace cv {

namespace {

// Border and dialog frame, drawn by the dialog itself since it has no window frame.
constexpr int kBorder = 1;
constexpr int kFrame = 3;

class EndScreen : public QDialog {
public:
    EndScreen(QWidget* owner, QImage picture) : QDialog(owner, Qt::Dialog | Qt::FramelessWindowHint), picture_(std::move(picture)) {
        setObjectName("CV_PLAYER_SPLASH");
        setModal(true);
        const int edge = 2 * (kBorder + kFrame);
        setFixedSize(picture_.width() + edge, picture_.height() + edge);
        const QScreen* s = owner && owner->screen() ? owner->screen() : QGuiApplication::primaryScreen();
        if (s) {
            QRect r(QPoint(), size());
            r.moveCenter(s->availableGeometry().center());
            move(r.topLeft());
        }
    }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        p.fillRect(rect(), QColor(64, 64, 64));
        p.fillRect(rect().adjusted(kBorder, kBorder, -kBorder, -kBorder), QColor(212, 208, 200));
        p.drawImage(kBorder + kFrame, kBorder + kFrame, picture_);
    }

private:
    QImage picture_;
};

} // namespace

void showEndScreen(QWidget* owner, int durationMs) {
    QImage picture = loadBitmap("PLAYEREND");
    if (picture.isNull()) return;
    EndScreen screen(owner, std::move(picture));
    QTimer close;
    close.setSingleShot(true);
    QObject::connect(&close, &QTimer::timeout, &screen, [&screen] { screen.accept(); });
    close.start(std::max(durationMs, 0));
    screen.exec();
}

} // namespace cv
