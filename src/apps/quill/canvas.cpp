// quill --canvas: the turtle's drawing window on an image.
#include "apps/quill/canvas.h"

#include <QGuiApplication>
#include <QImage>
#include <QKeyEvent>
#include <QPainter>
#include <QRasterWindow>
#include <QTimer>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>

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

// The turtle's surface behind a lock: the scripts draw on their own thread while the window
// copies the picture on the GUI thread.
class LockedSurface final : public cv::script::DrawingSurface {
public:
    LockedSurface(cv::script::DrawingSurface& inner, std::mutex& lock, std::atomic<bool>& changed)
        : inner_(inner), lock_(lock), changed_(changed) {}

    int width() const override { return inner_.width(); }
    int height() const override { return inner_.height(); }
    void beginDrawing() override { held()->beginDrawing(); }
    void endDrawing() override {
        held()->endDrawing();
        changed_.store(true);
    }
    uint64_t generation() const override { return inner_.generation(); }
    void drawLine(double x0, double y0, double x1, double y1, uint32_t rgb, cv::script::PenOp op) override {
        held()->drawLine(x0, y0, x1, y1, rgb, op);
        changed_.store(true);
    }
    void drawPoint(int64_t x, int64_t y, uint32_t rgb, cv::script::PenOp op) override {
        held()->drawPoint(x, y, rgb, op);
        changed_.store(true);
    }
    void clear(uint32_t rgb) override {
        held()->clear(rgb);
        changed_.store(true);
    }
    void floodFill(int64_t x, int64_t y, uint32_t rgb) override {
        held()->floodFill(x, y, rgb);
        changed_.store(true);
    }
    bool pixel(int64_t x, int64_t y, uint32_t& rgb) const override {
        std::lock_guard<std::mutex> hold(lock_);
        return inner_.pixel(x, y, rgb);
    }
    void drawShape(const cv::script::SurfaceShape& shape) override {
        held()->drawShape(shape);
        changed_.store(true);
    }
    int drawText(int64_t x, int64_t y, std::string_view text, const cv::script::SurfaceFont& font, uint32_t rgb) override {
        std::lock_guard<std::mutex> hold(lock_);
        const int advance = inner_.drawText(x, y, text, font, rgb);
        changed_.store(true);
        return advance;
    }
    cv::script::SurfaceFontMetrics fontMetrics(const cv::script::SurfaceFont& font) override {
        std::lock_guard<std::mutex> hold(lock_);
        return inner_.fontMetrics(font);
    }
    int textWidth(std::string_view text, const cv::script::SurfaceFont& font) override {
        std::lock_guard<std::mutex> hold(lock_);
        return inner_.textWidth(text, font);
    }

private:
    // The inner surface, with the lock held until the end of the calling statement.
    struct Held {
        explicit Held(LockedSurface& s) : guard(s.lock_), inner(s.inner_) {}
        std::lock_guard<std::mutex> guard;
        cv::script::DrawingSurface& inner;
        cv::script::DrawingSurface* operator->() { return &inner; }
    };
    Held held() { return Held(*this); }

    cv::script::DrawingSurface& inner_;
    std::mutex& lock_;
    std::atomic<bool>& changed_;
};

// The window on the screen: repaints from a copy of the picture taken under the lock whenever
// the scripts have drawn since the last look.
class CanvasWindow final : public QRasterWindow {
public:
    CanvasWindow(const QImage& image, std::mutex& lock, std::atomic<bool>& changed, std::function<void()> escape)
        : image_(image), lock_(lock), changed_(changed), escape_(std::move(escape)) {
        setTitle(QStringLiteral("quill"));
        resize(image.size());
        setMinimumSize(image.size());
        setMaximumSize(image.size());
        takeCopy();
        QObject::connect(&timer_, &QTimer::timeout, this, [this] {
            if (changed_.exchange(false)) {
                takeCopy();
                update();
            }
        });
        timer_.start(30);
    }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        p.drawImage(QRect(QPoint(0, 0), shown_.size()), shown_);
    }
    void keyPressEvent(QKeyEvent* e) override {
        if (e->key() == Qt::Key_Escape && escape_) escape_();
        else QRasterWindow::keyPressEvent(e);
    }

private:
    void takeCopy() {
        std::lock_guard<std::mutex> hold(lock_);
        shown_ = image_.copy();
    }

    const QImage& image_;
    std::mutex& lock_;
    std::atomic<bool>& changed_;
    std::function<void()> escape_;
    QImage shown_;
    QTimer timer_;
};

} // namespace

bool displayAvailable() {
    return !qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") || !qEnvironmentVariableIsEmpty("DISPLAY") ||
           !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY");
}

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
    std::unique_ptr<cv::TurtleSurface> turtle;
    std::unique_ptr<LockedSurface> surface;
    std::mutex lock;
    std::atomic<bool> changed{false};
    std::atomic<bool> quitting{false};
};

Canvas::Canvas(const CanvasOptions& options) : parts_(std::make_unique<Parts>(options)) {
    if (!QGuiApplication::instance()) {
        // A command-line tool: no display is needed to draw, unless the drawing is shown.
        if (!options.window && qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
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
    parts_->turtle = std::make_unique<cv::TurtleSurface>([image] { return image; });
    parts_->surface = std::make_unique<LockedSurface>(*parts_->turtle, parts_->lock, parts_->changed);
}

Canvas::~Canvas() {
    parts_->surface.reset();
    parts_->turtle.reset();
}

bool Canvas::runWindow(const std::function<void()>& escape) {
    if (!ok() || parts_->quitting.load()) return false;
    CanvasWindow window(parts_->image, parts_->lock, parts_->changed, escape);
    window.show();
    QGuiApplication::exec();
    return !parts_->quitting.load();
}

void Canvas::quitWindow() {
    parts_->quitting.store(true);
    QMetaObject::invokeMethod(qApp, [] { QCoreApplication::quit(); }, Qt::QueuedConnection);
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
