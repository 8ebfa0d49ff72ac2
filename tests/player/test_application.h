#pragma once
// The Qt application that fonts and drawing need, for tests that make no player fixture.
#include <QGuiApplication>

namespace cv::test {

inline void ensureTestApplication() {
    if (QGuiApplication::instance()) return;
    static int argc = 1;
    static char name[] = "test_player";
    static char* argv[] = {name, nullptr};
    static QGuiApplication app(argc, argv);
}

} // namespace cv::test
