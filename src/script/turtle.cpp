// The turtle's state, coordinates, movement with its three boundary modes, the perspective and
// stereo views, and the exclusive-or triangle.
#include "script/turtle.h"

#include <algorithm>
#include <cmath>
#include <memory>

#include "script/interpreter.h"

namespace cv::script {

namespace {

constexpr uint32_t kPalette[8] = {0x000000, 0xFFFFFF, 0xFF0000, 0x00FF00,
                                  0x0000FF, 0x00FFFF, 0xFF00FF, 0xFFFF00};
// The stereo views: the left eye is seen through red, the right one through cyan.
constexpr uint32_t kLeftTint = 0xFF0000;
constexpr uint32_t kRightTint = 0x00FFFF;
// Depths nearer than this are at or behind the eye and are not shown.
constexpr int64_t kNearZ = 1 - kEyeDistance;
// A wrapped line stops drawing after this many window areas of length (by then every pixel it
// could reach has been drawn); the turtle still ends where the whole distance takes it.
constexpr double kWrapAreas = 4.0;
// Escape is looked for this often while a long line wraps.
constexpr int kWrapPollSegments = 1024;

int64_t clampPosition(double v) {
    if (std::isnan(v)) return 0;
    return int64_t(std::clamp(v, double(-kPositionLimit), double(kPositionLimit)));
}

int64_t floorMod(int64_t a, int64_t m) {
    const int64_t r = a % m;
    return r < 0 ? r + m : r;
}

} // namespace

uint32_t PaletteColour(int number) { return kPalette[number & 7]; }

int NearestPaletteNumber(uint32_t rgb) {
    const int r = int(rgb >> 16 & 0xFF), g = int(rgb >> 8 & 0xFF), b = int(rgb & 0xFF);
    int best = 0;
    int64_t bestDistance = INT64_MAX;
    for (int i = 0; i < 8; ++i) {
        const int dr = r - int(kPalette[i] >> 16 & 0xFF), dg = g - int(kPalette[i] >> 8 & 0xFF),
                  db = b - int(kPalette[i] & 0xFF);
        const int64_t d = int64_t(dr) * dr + int64_t(dg) * dg + int64_t(db) * db;
        if (d < bestDistance) {
            bestDistance = d;
            best = i;
        }
    }
    return best;
}

int GreyValue(uint32_t rgb) {
    const int r = int(rgb >> 16 & 0xFF), g = int(rgb >> 8 & 0xFF), b = int(rgb & 0xFF);
    return (299 * r + 587 * g + 114 * b + 500) / 1000;
}

int GreyLevel(uint32_t rgb) { return int(RoundHalfUp(GreyValue(rgb) * 7.0 / 255.0)); }

uint32_t ColourFromComponents(int64_t r, int64_t g, int64_t b) {
    auto c = [](int64_t v) { return uint32_t(std::clamp<int64_t>(v / 256, 0, 255)); };
    return c(r) << 16 | c(g) << 8 | c(b);
}

int64_t RoundHalfUp(double v) {
    const double f = std::floor(v + 0.5);
    if (std::isnan(f)) return 0;
    return int64_t(std::clamp(f, -9.0e18, 9.0e18));
}

int HeadingOf(double x, double y) {
    int64_t h = 90 - RoundHalfUp(std::atan2(y, x) * kDegreesPerRadian);
    if (h < 0) h += 360;
    return int(h);
}

int PitchOf(const Vec3& h) {
    const double norm = h.x * h.x + h.y * h.y + h.z * h.z;
    const double q = norm > 0 ? std::clamp(h.z / norm, -1.0, 1.0) : 0.0;
    return int(90 - RoundHalfUp(std::acos(q) * kDegreesPerRadian));
}

// Measured the way SETHEADING3D takes it, so that the three angles read back as they were set.
int RollOf(const Vec3& l, const Vec3& u) {
    int64_t r = RoundHalfUp(std::atan2(l.z, u.z) * kDegreesPerRadian);
    if (r < 0) r += 360;
    return int(r);
}

void OrientationFromAngles(double heading, double pitch, double roll, Vec3& h, Vec3& l, Vec3& u) {
    const double t = (90 - heading) * kRadiansPerDegree;
    const double p = pitch * kRadiansPerDegree;
    const double r = roll * kRadiansPerDegree;
    const double ct = std::cos(t), st = std::sin(t), cp = std::cos(p), sp = std::sin(p);
    const double cr = std::cos(r), sr = std::sin(r);
    h = {cp * ct, cp * st, sp};
    l = {-cr * st - sr * sp * ct, cr * ct - sr * sp * st, sr * cp};
    u = {sr * st - cr * sp * ct, -sr * ct - cr * sp * st, cr * cp};
}

void RotatePair(Vec3& a, Vec3& b, double degrees, bool all3) {
    const double r = degrees * kRadiansPerDegree;
    const double c = std::cos(r), s = std::sin(r);
    const Vec3 a0 = a, b0 = b;
    a.x = c * a0.x - s * b0.x;
    a.y = c * a0.y - s * b0.y;
    b.x = s * a0.x + c * b0.x;
    b.y = s * a0.y + c * b0.y;
    if (all3) {
        a.z = c * a0.z - s * b0.z;
        b.z = s * a0.z + c * b0.z;
    }
}

int64_t Project(int64_t w, int64_t wz, int64_t eye) {
    return (w + eye) * kEyeDistance / (wz + kEyeDistance) - eye;
}

// ---- the session -------------------------------------------------------------------------

TurtleSession::TurtleSession(Interpreter& in, bool draws) : in_(in), draws_(draws) {
    surface_ = in.drawingWindow;
    if (!surface_) return;
    if (!surface_->turtle) surface_->turtle = std::make_shared<TurtleState>();
    state_ = static_cast<TurtleState*>(surface_->turtle.get());
    outer_ = state_->sessionDepth++ == 0;
    if (!outer_) return;
    // A window whose picture was replaced no longer shows the triangle.
    if (state_->generation != surface_->generation()) state_->triangleDrawn = false;
    fitWindow();
    surface_->beginDrawing();
    if (draws_) eraseTriangle();
}

TurtleSession::~TurtleSession() {
    if (!state_) return;
    if (outer_) {
        if (draws_ && state_->shown && !state_->triangleDrawn) drawTriangle();
        surface_->endDrawing();
        state_->generation = surface_->generation();
    }
    --state_->sessionDepth;
}

void TurtleSession::fitWindow() {
    TurtleState& s = *state_;
    const int w = surface_->width(), h = surface_->height();
    if (w == s.windowWidth && h == s.windowHeight) return;
    const int64_t ox = logicalX(w / 2), oy = h / 2;
    if (s.windowWidth < 0) {
        s.x = ox;
        s.y = oy;
        s.z = s.originZ;
    } else {
        // A resized window keeps the turtle's coordinates.
        s.x += ox - s.originX;
        s.y += oy - s.originY;
    }
    s.originX = ox;
    s.originY = oy;
    s.windowWidth = w;
    s.windowHeight = h;
}

int64_t TurtleSession::shownX(int64_t logical) const {
    const __int128 v = __int128(logical) * state_->scrunchNum / state_->scrunchDen;
    const __int128 limit = __int128(1) << 62;
    return int64_t(std::clamp(v, -limit, limit));
}

int64_t TurtleSession::logicalX(int64_t shown) const {
    const __int128 v = __int128(shown) * state_->scrunchDen / state_->scrunchNum;
    return int64_t(std::clamp<__int128>(v, -kPositionLimit, kPositionLimit));
}

int64_t TurtleSession::windowX(double tx) const { return clampPosition(double(state_->originX) + std::trunc(tx)); }
int64_t TurtleSession::windowY(double ty) const { return clampPosition(double(state_->originY) - std::trunc(ty)); }
int64_t TurtleSession::windowZ(double tz) const { return clampPosition(double(state_->originZ) + std::trunc(tz)); }

bool TurtleSession::inside(int64_t x, int64_t y, int64_t z) const {
    const TurtleState& s = *state_;
    const int64_t w = s.windowWidth, h = s.windowHeight;
    if (s.threeD) {
        const int64_t wz = z - s.originZ;
        if (wz < kNearZ) return false;
        x = s.originX + Project(x - s.originX, wz, 0);
        y = s.originY + Project(y - s.originY, wz, 0);
    }
    const int64_t sx = shownX(x);
    return sx >= 0 && sx < w && y >= 0 && y < h;
}

void TurtleSession::homeOrientation() {
    state_->h = {0, 1, 0};
    state_->l = {-1, 0, 0};
    state_->u = {0, 0, 1};
}

void TurtleSession::place(int64_t x, int64_t y, int64_t z) {
    state_->x = x;
    state_->y = y;
    state_->z = z;
    state_->textPlaced = false;
}

bool TurtleSession::forward(double distance) {
    const TurtleState& s = *state_;
    const double nx = double(s.x) + std::trunc(distance * s.h.x);
    const double ny = double(s.y) - std::trunc(distance * s.h.y);
    const double nz = s.threeD ? double(s.z) + std::trunc(distance * s.h.z) : double(s.z);
    return moveTo(clampPosition(nx), clampPosition(ny), clampPosition(nz));
}

bool TurtleSession::moveTo(int64_t x, int64_t y, int64_t z) {
    TurtleState& s = *state_;
    x = std::clamp(x, -kPositionLimit, kPositionLimit);
    y = std::clamp(y, -kPositionLimit, kPositionLimit);
    z = std::clamp(z, -kPositionLimit, kPositionLimit);
    if (s.boundary == kBoundaryFence && !inside(x, y, z)) {
        in_.RaiseError(kErrTurtleBounds, kNone, kNone);
        return false;
    }
    s.textPlaced = false;
    if (s.boundary == kBoundaryWrap && !s.threeD) {
        wrapTo(x, y);
        return true;
    }
    if (s.penMode != kPenUp) drawSegment(s.x, s.y, s.z, x, y, z);
    s.x = x;
    s.y = y;
    s.z = z;
    return true;
}

uint32_t TurtleSession::shownPenColour() const {
    const TurtleState& s = *state_;
    if (!s.greyMode) return s.penColour;
    const uint32_t g = uint32_t(GreyValue(s.penColour));
    return g << 16 | g << 8 | g;
}

// The pen on a flat window.
void TurtleSession::drawShown(double x0, double y0, double x1, double y1) {
    const TurtleState& s = *state_;
    switch (s.penMode) {
    case kPenDown: surface_->drawLine(x0, y0, x1, y1, shownPenColour(), PenOp::Copy); break;
    case kPenErase: surface_->drawLine(x0, y0, x1, y1, s.background, PenOp::Copy); break;
    case kPenReverse: surface_->drawLine(x0, y0, x1, y1, 0xFFFFFF, PenOp::Xor); break;
    default: break;
    }
}

template <class F>
void TurtleSession::forEachView(int64_t x0, int64_t y0, int64_t z0, int64_t x1, int64_t y1, int64_t z1, F&& draw) {
    const TurtleState& s = *state_;
    int64_t ax = x0 - s.originX, ay = y0 - s.originY, az = z0 - s.originZ;
    int64_t bx = x1 - s.originX, by = y1 - s.originY, bz = z1 - s.originZ;
    if (az < kNearZ && bz < kNearZ) return;
    // The part behind the eye is cut off where the line comes in front of it.
    auto clip = [](int64_t& px, int64_t& py, int64_t& pz, int64_t qx, int64_t qy, int64_t qz) {
        const double t = double(kNearZ - pz) / double(qz - pz);
        px = int64_t(std::llround(double(px) + t * double(qx - px)));
        py = int64_t(std::llround(double(py) + t * double(qy - py)));
        pz = kNearZ;
    };
    if (az < kNearZ) clip(ax, ay, az, bx, by, bz);
    else if (bz < kNearZ) clip(bx, by, bz, ax, ay, az);
    const int views = s.greyMode ? 2 : 1;
    for (int v = 0; v < views; ++v) {
        const int64_t eye = views == 1 ? 0 : (v == 0 ? kEyeOffset : -kEyeOffset);
        const double sx0 = double(shownX(s.originX + Project(ax, az, eye)));
        const double sy0 = double(s.originY + Project(ay, az, 0));
        const double sx1 = double(shownX(s.originX + Project(bx, bz, eye)));
        const double sy1 = double(s.originY + Project(by, bz, 0));
        draw(sx0, sy0, sx1, sy1, views == 1 ? 0 : v + 1);
    }
}

void TurtleSession::drawSegment(int64_t x0, int64_t y0, int64_t z0, int64_t x1, int64_t y1, int64_t z1) {
    const TurtleState& s = *state_;
    if (!s.threeD) {
        drawShown(double(shownX(x0)), double(y0), double(shownX(x1)), double(y1));
        return;
    }
    forEachView(x0, y0, z0, x1, y1, z1, [&](double a, double b, double c, double d, int view) {
        if (view == 0) {
            drawShown(a, b, c, d);
            return;
        }
        // The two views of the stereo pair, each in its own tint.
        const uint32_t tint = view == 1 ? kLeftTint : kRightTint;
        const uint32_t g = uint32_t(GreyValue(s.penColour));
        switch (s.penMode) {
        case kPenDown: surface_->drawLine(a, b, c, d, (g << 16 | g << 8 | g) & tint, PenOp::Or); break;
        case kPenErase: surface_->drawLine(a, b, c, d, s.background, PenOp::Copy); break;
        case kPenReverse: surface_->drawLine(a, b, c, d, tint, PenOp::Xor); break;
        default: break;
        }
    });
}

// The line leaves the window and comes back at the opposite edge, segment by segment. The
// edges lie one pixel outside the window, so that a line leaving at column W - 1 comes back
// at column 0 and the other way round.
void TurtleSession::wrapTo(int64_t x, int64_t y) {
    TurtleState& s = *state_;
    const int64_t w = s.windowWidth, h = s.windowHeight;
    double cx = double(shownX(s.x)), cy = double(s.y);
    int64_t tx = shownX(x), ty = y;
    auto outside = [&](int64_t px, int64_t py) { return px < 0 || px >= w || py < 0 || py >= h; };
    if (!outside(tx, ty)) {
        if (s.penMode != kPenUp) drawShown(cx, cy, double(tx), double(ty));
        s.x = x;
        s.y = y;
        return;
    }
    const double budget = kWrapAreas * double(w) * double(h) + 4.0 * double(w + h);
    double drawn = 0;
    int segments = 0;
    bool finished = false;
    while (outside(tx, ty)) {
        if (drawn > budget || in_.stopRequested) break;
        if (++segments % kWrapPollSegments == 0) {
            in_.PollInterrupt();
            if (in_.stopRequested) break;
        }
        const double dx = double(tx) - cx, dy = double(ty) - cy;
        double ex, ey;
        int64_t shiftX = 0, shiftY = 0;
        bool acrossY = false;
        if (ty < 0 || ty >= h) {
            const double edge = ty < 0 ? -1.0 : double(h);
            const double xAt = dy != 0 ? cx + (edge - cy) / dy * dx : cx;
            if (xAt >= -1.0 && xAt <= double(w)) {
                acrossY = true;
                ex = xAt;
                ey = edge;
                shiftY = ty < 0 ? h : -h;
            }
        }
        if (!acrossY) {
            if (dx == 0) break;
            const double edge = tx < 0 ? -1.0 : double(w);
            ex = edge;
            ey = cy + (edge - cx) / dx * dy;
            shiftX = tx < 0 ? w : -w;
        }
        if (s.penMode != kPenUp) drawShown(cx, cy, ex, ey);
        drawn += std::hypot(ex - cx, ey - cy);
        cx = ex + double(shiftX);
        cy = ey + double(shiftY);
        tx += shiftX;
        ty += shiftY;
        finished = !outside(tx, ty);
    }
    if (finished) {
        if (s.penMode != kPenUp) drawShown(cx, cy, double(tx), double(ty));
    } else {
        tx = floorMod(tx, w);
        ty = floorMod(ty, h);
    }
    s.x = logicalX(tx);
    s.y = ty;
}

void TurtleSession::dot(int64_t x, int64_t y, int64_t z) {
    const TurtleState& s = *state_;
    if (!s.threeD) {
        surface_->drawPoint(shownX(x), y, shownPenColour(), PenOp::Copy);
        return;
    }
    forEachView(x, y, z, x, y, z, [&](double a, double b, double, double, int view) {
        const int64_t px = int64_t(a), py = int64_t(b);
        if (view == 0) {
            surface_->drawPoint(px, py, shownPenColour(), PenOp::Copy);
            return;
        }
        const uint32_t g = uint32_t(GreyValue(s.penColour));
        surface_->drawPoint(px, py, (g << 16 | g << 8 | g) & (view == 1 ? kLeftTint : kRightTint), PenOp::Or);
    });
}

void TurtleSession::clearWindow() {
    surface_->clear(state_->background);
    state_->triangleDrawn = false;
}

// The turtle stays on the column where it is shown. The origin is taken from the window's
// centre again rather than converted, so that changing the ratio back and forth cannot move it.
void TurtleSession::setScrunch(int64_t num, int64_t den) {
    TurtleState& s = *state_;
    const int64_t turtleShown = shownX(s.x);
    s.scrunchNum = num;
    s.scrunchDen = den;
    s.originX = logicalX(s.windowWidth / 2);
    s.x = logicalX(turtleShown);
}

void TurtleSession::drawTriangle() {
    TurtleState& s = *state_;
    s.triangle.clear();
    if (!s.shown) return;
    s.triangleDrawn = true;
    struct P {
        int64_t x, y, z;
    };
    auto vertex = [&](double ax, double ay, double az) {
        return P{RoundHalfUp(double(s.x) + ax), RoundHalfUp(double(s.y) - ay), RoundHalfUp(double(s.z) + az)};
    };
    const P tip = vertex(12 * s.h.x, 12 * s.h.y, 12 * s.h.z);
    const P left = vertex(6 * s.l.x, 6 * s.l.y, 6 * s.l.z);
    const P right = vertex(-6 * s.l.x, -6 * s.l.y, -6 * s.l.z);
    const P corners[4] = {tip, left, right, tip};
    for (int i = 0; i < 3; ++i) {
        const P& a = corners[i];
        const P& b = corners[i + 1];
        if (!s.threeD) {
            s.triangle.push_back({double(shownX(a.x)), double(a.y), double(shownX(b.x)), double(b.y), 0xFFFFFF});
            continue;
        }
        forEachView(a.x, a.y, a.z, b.x, b.y, b.z, [&](double x0, double y0, double x1, double y1, int view) {
            const uint32_t rgb = view == 0 ? 0xFFFFFF : view == 1 ? kLeftTint : kRightTint;
            s.triangle.push_back({x0, y0, x1, y1, rgb});
        });
    }
    for (const DrawnLine& d : s.triangle) surface_->drawLine(d.x0, d.y0, d.x1, d.y1, d.rgb, PenOp::Xor);
}

void TurtleSession::eraseTriangle() {
    TurtleState& s = *state_;
    if (!s.triangleDrawn) return;
    for (const DrawnLine& d : s.triangle) surface_->drawLine(d.x0, d.y0, d.x1, d.y1, d.rgb, PenOp::Xor);
    s.triangle.clear();
    s.triangleDrawn = false;
}

// ---- inputs and text ---------------------------------------------------------------------

int ReadNumberList(PrimCall& c, Ref list, double* out, int max) {
    Interpreter& in = c.in;
    if (list == kNone) {
        in.RaisePrimError(kErrNotEnoughInputs, c.index, kNone);
        return -1;
    }
    if (!in.isList(list)) {
        in.RaisePrimError(kErrDoesntLike, c.index, list);
        return -1;
    }
    int n = 0;
    Ref cursor = in.IsEmptyList(list) ? kNone : list;
    while (in.isList(cursor)) {
        if (n == max) {
            in.RaisePrimError(kErrTooManyInputs, c.index, kNone);
            return -1;
        }
        const Ref before = cursor;
        const Ref v = in.EvalExpression(cursor, false);
        if (in.stopRequested || in.throwInProgress) {
            in.UnlockValue(v);
            return -1;
        }
        if (v == kNone || cursor == before) {
            in.UnlockValue(v);
            in.RaisePrimError(kErrDoesntLike, c.index, list);
            return -1;
        }
        const bool numeric = in.IsNumeric(v, c.index);
        out[n] = numeric ? in.ToFloat(v, c.index) : 0.0;
        in.UnlockValue(v);
        if (!numeric) return -1;
        ++n;
    }
    return n;
}

void DrawTurtleText(Interpreter& in, std::string_view bytes) {
    TurtleSession t(in, true);
    if (!t) return;
    TurtleState& s = t.state();
    DrawingSurface& surface = t.surface();
    if (!s.textPlaced) {
        s.textX = t.shownX(s.x);
        s.textY = s.y;
        s.textPlaced = true;
    }
    size_t i = 0;
    while (i < bytes.size()) {
        size_t j = i;
        while (j < bytes.size() && bytes[j] != '\r' && bytes[j] != '\n') ++j;
        if (j > i) s.textX += surface.drawText(s.textX, s.textY, bytes.substr(i, j - i), s.font, t.shownPenColour());
        if (j == bytes.size()) break;
        // A line break starts a new line below, under the turtle.
        const SurfaceFontMetrics m = surface.fontMetrics(s.font);
        s.textX = t.shownX(s.x);
        s.textY += std::max(1, m.ascent + m.descent + m.leading);
        i = j + 1;
        if (bytes[j] == '\r' && i < bytes.size() && bytes[i] == '\n') ++i;
    }
}

} // namespace cv::script
