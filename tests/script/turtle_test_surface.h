#pragma once
// A drawing window for turtle tests without Qt: it keeps its pixels (lines drawn point by point
// without their last point, as the real window does) and counts what it was asked to draw.
#include <algorithm>
#include <cmath>
#include <string>
#include <cstdint>
#include <vector>

#include "script/script_host.h"

namespace cv::script::test {

class TestSurface final : public DrawingSurface {
public:
    TestSurface(int w, int h) : w_(w), h_(h), pixels_(size_t(w) * size_t(h), 0xFFFFFF) {}

    int width() const override { return w_; }
    int height() const override { return h_; }
    uint64_t generation() const override { return generationValue; }

    void drawLine(double x0, double y0, double x1, double y1, uint32_t rgb, PenOp op) override {
        lines.push_back({x0, y0, x1, y1, rgb, op});
        // Point by point, without the last; long lines only as far as a window can show.
        const double length = std::max(std::fabs(x1 - x0), std::fabs(y1 - y0));
        const int n = int(std::min(length, 4.0 * (w_ + h_)));
        for (int i = 0; i < n; ++i) {
            const double t = i / length;
            put(int64_t(std::floor(x0 + t * (x1 - x0) + 0.5)), int64_t(std::floor(y0 + t * (y1 - y0) + 0.5)), rgb, op);
        }
    }
    void drawPoint(int64_t x, int64_t y, uint32_t rgb, PenOp op) override { put(x, y, rgb, op); }
    void clear(uint32_t rgb) override { std::fill(pixels_.begin(), pixels_.end(), rgb); }
    void floodFill(int64_t x, int64_t y, uint32_t) override { fills.push_back({x, y}); }
    bool pixel(int64_t x, int64_t y, uint32_t& rgb) const override {
        if (x < 0 || y < 0 || x >= w_ || y >= h_) return false;
        rgb = pixels_[size_t(y) * size_t(w_) + size_t(x)];
        return true;
    }
    void drawShape(const SurfaceShape& s) override { shapes.push_back(s); }
    int drawText(int64_t, int64_t, std::string_view text, const SurfaceFont& font, uint32_t) override {
        texts.emplace_back(text);
        fonts.push_back(font);
        return int(text.size()) * 7;
    }
    SurfaceFontMetrics fontMetrics(const SurfaceFont&) override { return {10, 3, 1}; }
    int textWidth(std::string_view text, const SurfaceFont&) override { return int(text.size()) * 7; }

    uint32_t at(int x, int y) const {
        uint32_t rgb = 0;
        return pixel(x, y, rgb) ? rgb : 0xDEADBEEF;
    }
    size_t changedPixels() const {
        size_t n = 0;
        for (uint32_t p : pixels_) n += p != 0xFFFFFF;
        return n;
    }

    struct Line {
        double x0, y0, x1, y1;
        uint32_t rgb;
        PenOp op;
    };
    struct Point {
        int64_t x, y;
    };
    std::vector<Line> lines;
    std::vector<Point> fills;
    std::vector<SurfaceShape> shapes;
    std::vector<std::string> texts;
    std::vector<SurfaceFont> fonts;
    uint64_t generationValue = 1;

private:
    void put(int64_t x, int64_t y, uint32_t rgb, PenOp op) {
        if (x < 0 || y < 0 || x >= w_ || y >= h_) return;
        uint32_t& p = pixels_[size_t(y) * size_t(w_) + size_t(x)];
        p = op == PenOp::Copy ? rgb : op == PenOp::Xor ? (p ^ rgb) : (p | rgb);
    }
    int w_, h_;
    std::vector<uint32_t> pixels_;
};

} // namespace cv::script::test
