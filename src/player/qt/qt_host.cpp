// The player's host in a Qt window.
#include "player/qt/qt_host.h"

#include <QApplication>
#include <QCursor>
#include <QImage>
#include <QPixmap>
#include <map>

#include "core/text_encoding.h"
#include "player/qt/end_screen.h"
#include "player/qt/main_window.h"
#include "resources/cursors.h"

namespace cv {

namespace {

// A custom cursor from its picture, made once.
QCursor customQtCursor(int id) {
    static std::map<int, QCursor> made;
    if (auto it = made.find(id); it != made.end()) return it->second;
    const CursorPicture* picture = customCursor(id);
    if (!picture) return QCursor(Qt::PointingHandCursor); // an id that names none: the browse hand
    QImage image(kCustomCursorSize, kCustomCursorSize, QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    for (int y = 0; y < kCustomCursorSize; ++y) {
        const char* row = picture->rows[static_cast<size_t>(y)];
        for (int x = 0; x < kCustomCursorSize && row[x]; ++x) {
            if (row[x] == '#') image.setPixel(x, y, qRgb(0, 0, 0));
            else if (row[x] == '.') image.setPixel(x, y, qRgb(255, 255, 255));
        }
    }
    return made.emplace(id, QCursor(QPixmap::fromImage(image), picture->hotX, picture->hotY)).first->second;
}

Qt::CursorShape qtCursor(CursorShape shape) {
    switch (shape) {
    case CursorShape::Arrow: return Qt::ArrowCursor;
    case CursorShape::Hand: return Qt::PointingHandCursor;
    case CursorShape::IBeam: return Qt::IBeamCursor;
    case CursorShape::Wait: return Qt::WaitCursor;
    case CursorShape::FlatHand: return Qt::OpenHandCursor;
    case CursorShape::GrabHand: return Qt::ClosedHandCursor;
    case CursorShape::Custom: break;
    }
    return Qt::ArrowCursor;
}

} // namespace

void QtHost::pump() {
    // Input that arrives becomes queued player messages (the window posts them).
    QCoreApplication::processEvents(QEventLoop::AllEvents);
}

void QtHost::present(const QRect& rect) {
    if (window_) window_->cardView()->update(rect);
    if (onPresent) onPresent();
}

void QtHost::setTitle(const std::string& title) {
    if (window_) window_->setWindowTitle(QString::fromStdString(cp1252ToUtf8(title)));
}

void QtHost::setCursor(CursorShape shape, int customId) {
    if (!window_ || (shape == shape_ && customId == customId_)) return;
    shape_ = shape;
    customId_ = customId;
    window_->cardView()->setCursor(shape == CursorShape::Custom ? customQtCursor(customId) : QCursor(qtCursor(shape)));
}

void QtHost::resizeToCard(int width, int height) {
    if (window_) window_->fitToCard(width, height);
}

void QtHost::setMenuBarVisible(bool visible) {
    if (window_) window_->setMenuBarShown(visible);
}

bool QtHost::menuBarVisible() const { return window_ ? window_->menuBarShown() : false; }

// Only the player's main window counts (there is no tool palette or turtle window of its own):
// a dialog or another program in front holds the timers.
bool QtHost::hasFocus() const {
    const QWidget* active = QApplication::activeWindow();
    return active && active == static_cast<const QWidget*>(window_);
}

bool QtHost::altKeyDown() const { return QGuiApplication::queryKeyboardModifiers() & Qt::AltModifier; }

QPoint QtHost::cardOnScreen() const {
    return window_ && window_->cardView() ? window_->cardView()->mapToGlobal(QPoint(0, 0)) : QPoint();
}

void QtHost::quit(int code) {
    if (quitRequested_) return;
    quitRequested_ = true;
    quitCode_ = code;
    if (window_) {
        window_->stopInput();
        window_->hide();
    }
    if (showEndScreenOnQuit) showEndScreen(nullptr);
    QCoreApplication::exit(code);
}

} // namespace cv
