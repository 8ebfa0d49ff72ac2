#pragma once
// quill's drawing window: `--canvas WIDTHxHEIGHT` gives the scripts a white image of that size
// to draw in, and `--snapshot OUT.png` writes it when the last script has run. Without a canvas
// there is no drawing window and the turtle does nothing.
#include <functional>
#include <memory>
#include <string>

namespace cv::script {
class DrawingSurface;
}

namespace quill {

struct CanvasOptions {
    int width = 0, height = 0;  // 0: no canvas
    std::string snapshot;       // empty: none written
    bool window = false;        // shown on the screen as it is drawn (the interactive prompt)
};

// True when a window can be shown: there is a display, or QT_QPA_PLATFORM names a platform.
bool displayAvailable();

// Reads the option at argv[i]: the number of arguments it takes, 0 when argv[i] is not a canvas
// option, -1 when its value is missing or malformed.
int parseCanvasOption(int argc, char** argv, int i, CanvasOptions& options);

class Canvas {
public:
    // Makes the Qt application that drawing text needs (headless) when there is none yet.
    // Check ok() before use: an image of the size asked for may not be had.
    explicit Canvas(const CanvasOptions& options);
    ~Canvas();
    Canvas(const Canvas&) = delete;
    Canvas& operator=(const Canvas&) = delete;

    bool ok() const;
    cv::script::DrawingSurface* surface();
    // Writes the snapshot when one was asked for; false (after a message) when it cannot be.
    bool finish();

    // The shown window (options.window): shows it and runs it on this thread until
    // quitWindow() is called or the person closes it; true when they closed it. `escape` is
    // called (on this thread) when Escape is pressed in the window.
    bool runWindow(const std::function<void()>& escape);
    // Ends runWindow(); may be called from any thread, before or while it runs.
    void quitWindow();

private:
    struct Parts;
    std::unique_ptr<Parts> parts_;
};

} // namespace quill
