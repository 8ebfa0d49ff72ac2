#pragma once
// The drawing window of the turtle and the shape primitives on Qt images: the window's image
// and, when there is one, the copy a repaint is made from (the card's plain picture), which
// receives the same drawing so that it survives the repaint. `quill --canvas` draws on one
// image alone.
#include <QFont>
#include <QImage>
#include <QPainter>
#include <QRect>
#include <functional>
#include <memory>
#include <optional>

#include "script/script_host.h"

namespace cv {

class TurtleSurface final : public script::DrawingSurface {
public:
    using ImageSource = std::function<QImage*()>;
    // `window` gives the image drawn in, `backing` (may be empty, or give null) its copy, and
    // `changed` hears, after each primitive, which part of the window changed.
    explicit TurtleSurface(ImageSource window, ImageSource backing = {},
                           std::function<void(const QRect&)> changed = {});
    ~TurtleSurface() override;

    int width() const override;
    int height() const override;
    void beginDrawing() override;
    void endDrawing() override;
    uint64_t generation() const override;
    void drawLine(double x0, double y0, double x1, double y1, uint32_t rgb, script::PenOp op) override;
    void drawPoint(int64_t x, int64_t y, uint32_t rgb, script::PenOp op) override;
    void clear(uint32_t rgb) override;
    void floodFill(int64_t x, int64_t y, uint32_t rgb) override;
    bool pixel(int64_t x, int64_t y, uint32_t& rgb) const override;
    void drawShape(const script::SurfaceShape& shape) override;
    int drawText(int64_t x, int64_t y, std::string_view text, const script::SurfaceFont& font, uint32_t rgb) override;
    script::SurfaceFontMetrics fontMetrics(const script::SurfaceFont& font) override;
    int textWidth(std::string_view text, const script::SurfaceFont& font) override;

    // The face a font of the primitives is drawn in ("Times New Roman" when it names none;
    // classic Macintosh names become their Windows counterparts).
    static QFont qtFont(const script::SurfaceFont& font);

private:
    struct Target {
        QImage* image = nullptr;
        QPainter painter;
        bool open = false;
        int mode = -1;
        QRgb colour = 0;
    };
    // The images drawn on now: the window first, then its copy.
    int targets();
    QPainter& painterFor(int i, script::PenOp op, QRgb colour);
    void closePainters();
    void touch(const QRect& r);
    const QFont& font(const script::SurfaceFont& f);

    ImageSource windowSource_, backingSource_;
    std::function<void(const QRect&)> changed_;
    Target target_[2];
    int count_ = -1;  // the images of this primitive, once looked up
    QRect dirty_;
    std::optional<script::SurfaceFont> fontKey_;
    QFont font_;
};

} // namespace cv
