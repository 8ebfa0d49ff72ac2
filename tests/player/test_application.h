#pragma once
// The Qt application that fonts and drawing need, for tests that make no player fixture. It is
// a widget application, so that the window's own tests can run in the same program.
#include <QApplication>

namespace cv::test {

inline void ensureTestApplication() {
    if (QGuiApplication::instance()) return;
    static int argc = 1;
    static char name[] = "test_player";
    static char* argv[] = {name, nullptr};
    // Never destroyed: the input devices that Qt registers for it outlive their registry.
    static QApplication* app = new QApplication(argc, argv);
    (void)app;
}

} // namespace cv::test
