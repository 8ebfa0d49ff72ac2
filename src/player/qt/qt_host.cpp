// The player's host in a Qt window.
#include "player/qt/qt_host.h"

#include <QApplication>
#include <QCursor>
#include <QMenuBar>

#include "core/text_encoding.h"
#include "player/qt/end_screen.h"
#include "player/qt/main_window.h"

namespace cv {

namespace {

// Stand-ins for the program's 22 custom cursors (ids 28016-28352 in steps of 16): distinct
// shapes of the platform, none of them invisible.
constexpr Qt::CursorShape kCustomCursors[22] = {
    Qt::ArrowCursor,     Qt::UpArrowCursor,     Qt::CrossCursor,      Qt::WaitCursor,
    Qt::IBeamCursor,     Qt::SizeVerCursor,     Qt::SizeHorCursor,    Qt::SizeBDiagCursor,
    Qt::SizeFDiagCursor, Qt::SizeAllCursor,     Qt::PointingHandCursor, Qt::SplitVCursor,
    Qt::SplitHCursor,    Qt::PointingHandCursor, Qt::ForbiddenCursor, Qt::WhatsThisCursor,
    Qt::BusyCursor,      Qt::OpenHandCursor,    Qt::ClosedHandCursor, Qt::DragCopyCursor,
    Qt::DragMoveCursor,  Qt::DragLinkCursor,
};

Qt::CursorShape qtCursor(CursorShape shape, int customId) {
    switch (shape) {
    case CursorShape::Arrow: return Qt::ArrowCursor;
    case CursorShape::Hand: return Qt::PointingHandCursor;
    case CursorShape::IBeam: return Qt::IBeamCursor;
    case CursorShape::Wait: return Qt::WaitCursor;
    case CursorShape::FlatHand: return Qt::OpenHandCursor;
    case CursorShape::GrabHand: return Qt::ClosedHandCursor;
    case CursorShape::Custom: {
        const int slot = (customId - 28000) / 16 - 1;
        if (slot >= 0 && slot < 22 && customId % 16 == 0) return kCustomCursors[slot];
        return Qt::PointingHandCursor;
    }
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
    window_->cardView()->setCursor(QCursor(qtCursor(shape, customId)));
}

void QtHost::resizeToCard(int width, int height) {
    if (window_) window_->fitToCard(width, height);
}

void QtHost::setMenuBarVisible(bool visible) {
    if (window_) window_->setMenuBarShown(visible);
}

bool QtHost::menuBarVisible() const { return window_ ? window_->menuBarShown() : false; }

bool QtHost::hasFocus() const { return QApplication::activeWindow() != nullptr; }

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
