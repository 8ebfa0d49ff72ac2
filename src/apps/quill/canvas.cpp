// quill --canvas: the turtle's drawing window on an image.
#include "apps/quill/canvas.h"

#include <QGuiApplication>
#include <QImage>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "player/turtle_surface.h"

namespace quill {

namespace {

// Cards are at most this big, and so is a canvas.
constexpr long kMaxSide = 8192;

bool parseSize(const char* text, int& width, int& height) {
    char* end = nullptr;
    const long w = std::strtol(text, &end, 10);
    if (end == text || (*end != 'x' && *end != 'X')) return false;
    const char* rest = end + 1;
    const long h = std::strtol(rest, &end, 10);
    if (end == rest || *end != '\0') return false;
    if (w < 1 || h < 1 || w > kMaxSide || h > kMaxSide) return false;
    width = int(w);
    height = int(h);
    return true;
}

// Qt's notes about the headless platform are not the scripts' output; only real failures show.
void qtMessage(QtMsgType type, const QMessageLogContext&, const QString& message) {
    if (type == QtCriticalMsg || type == QtFatalMsg) std::fprintf(stderr, "quill: %s\n", qPrintable(message));
}

} // namespace

int parseCanvasOption(int argc, char** argv, int i, CanvasOptions& options) {
    const bool canvas = std::strcmp(argv[i], "--canvas") == 0;
    const bool snapshot = std::strcmp(argv[i], "--snapshot") == 0;
    if (!canvas && !snapshot) return 0;
    if (i + 1 >= argc) return -1;
    if (canvas) return parseSize(argv[i + 1], options.width, options.height) ? 2 : -1;
    options.snapshot = argv[i + 1];
    return options.snapshot.empty() ? -1 : 2;
}

struct Canvas::Parts {
    explicit Parts(const CanvasOptions& o) : options(o) {}
    CanvasOptions options;
    std::unique_ptr<QGuiApplication> app;
    QImage image;
    std::unique_ptr<cv::TurtleSurface> surface;
};

Canvas::Canvas(const CanvasOptions& options) : parts_(std::make_unique<Parts>(options)) {
    if (!QGuiApplication::instance()) {
        // A command-line tool: no display is needed to draw.
        if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
        qInstallMessageHandler(qtMessage);
        static int argc = 1;
        static char name[] = "quill";
        static char* argv[] = {name, nullptr};
        parts_->app = std::make_unique<QGuiApplication>(argc, argv);
    }
    parts_->image = QImage(options.width, options.height, QImage::Format_RGB32);
    if (parts_->image.isNull()) return;
    parts_->image.fill(Qt::white);
    QImage* image = &parts_->image;
    parts_->surface = std::make_unique<cv::TurtleSurface>([image] { return image; });
}

Canvas::~Canvas() {
    parts_->surface.reset();
}

bool Canvas::ok() const { return parts_->surface != nullptr; }

cv::script::DrawingSurface* Canvas::surface() { return parts_->surface.get(); }

bool Canvas::finish() {
    const std::string& path = parts_->options.snapshot;
    if (path.empty() || !ok()) return true;
    const QString file = QString::fromLocal8Bit(path.c_str());
    // The format follows the file's suffix; a name without a known one gets PNG.
    if (parts_->image.save(file) || parts_->image.save(file, "PNG")) return true;
    std::fprintf(stderr, "quill: cannot write %s\n", path.c_str());
    return false;
}

} // namespace quill
