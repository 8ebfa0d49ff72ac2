// Turtle graphics: moving and turning in two and three dimensions, the pen and its colours,
// the boundary modes, the triangle and SETSCRUNCH. Without a drawing window every primitive
// does nothing and the reporters output 0, the empty list or FALSE.
#include <algorithm>
#include <cmath>

#include "script/interpreter.h"
#include "script/turtle.h"

namespace cv::script {

namespace {

Ref integerList(Interpreter& in, std::initializer_list<int64_t> values) {
    Ref head = kNone, tail = kNone;
    for (int64_t v : values) {
        const Ref n = in.NewInteger(int32_t(v));
        if (n == kNone || !in.AppendToList(head, tail, n)) return head == kNone ? Ref(kEmptyList) : head;
    }
    return head == kNone ? Ref(kEmptyList) : head;
}

Ref truth(bool b) { return b ? Ref(kTrue) : Ref(kFalse); }

// ---- moving ------------------------------------------------------------------------------

Ref move(PrimCall& c, int sign) {
    TurtleSession t(c.in, true);
    if (!t) return kNone;
    const int32_t d = c.in.ToInteger(c.args[0], c.index);
    if (c.in.stopRequested || c.in.throwInProgress) return kNone;
    t.forward(double(sign) * double(d));
    return kNone;
}

Ref primForward(PrimCall& c) { return move(c, 1); }
Ref primBack(PrimCall& c) { return move(c, -1); }

// SETPOS and DOT: a point [x y] or [x y z] in turtle units, given to `act` in window units; a
// third number puts the turtle into three dimensions.
template <typename Act>
Ref atPoint(PrimCall& c, Act act) {
    TurtleSession t(c.in, true);
    if (!t) return kNone;
    double v[3];
    const int n = ReadNumberList(c, c.args[0], v, 3);
    if (n < 0) return kNone;
    if (n < 2) {
        c.in.RaisePrimError(kErrDoesntLike, c.index, c.args[0]);
        return kNone;
    }
    TurtleState& s = t.state();
    if (n == 3) s.threeD = true;
    act(t, t.windowX(v[0]), t.windowY(v[1]), n == 3 ? t.windowZ(v[2]) : s.z);
    return kNone;
}

Ref primSetPos(PrimCall& c) {
    return atPoint(c, [](TurtleSession& t, int64_t x, int64_t y, int64_t z) { t.moveTo(x, y, z); });
}

Ref setAxis(PrimCall& c, int axis) {
    TurtleSession t(c.in, true);
    if (!t) return kNone;
    const double v = c.in.ToFloat(c.args[0], c.index);
    if (c.in.stopRequested || c.in.throwInProgress) return kNone;
    TurtleState& s = t.state();
    if (axis == 0) t.moveTo(t.windowX(v), s.y, s.z);
    else if (axis == 1) t.moveTo(s.x, t.windowY(v), s.z);
    else {
        s.threeD = true;
        t.moveTo(s.x, s.y, t.windowZ(v));
    }
    return kNone;
}

Ref primSetX(PrimCall& c) { return setAxis(c, 0); }
Ref primSetY(PrimCall& c) { return setAxis(c, 1); }
Ref primSetZ(PrimCall& c) { return setAxis(c, 2); }

Ref primHome(PrimCall& c) {
    TurtleSession t(c.in, true);
    if (!t) return kNone;
    const TurtleState& s = t.state();
    t.moveTo(s.originX, s.originY, s.originZ);
    t.homeOrientation();
    return kNone;
}

Ref primPos(PrimCall& c) {
    TurtleSession t(c.in, false);
    if (!t) return kEmptyList;
    if (t.state().threeD) return integerList(c.in, {t.turtleX(), t.turtleY(), t.turtleZ()});
    return integerList(c.in, {t.turtleX(), t.turtleY()});
}

Ref coordinate(PrimCall& c, int axis) {
    TurtleSession t(c.in, false);
    if (!t) return c.in.NewInteger(0);
    return c.in.NewInteger(int32_t(axis == 0 ? t.turtleX() : axis == 1 ? t.turtleY() : t.turtleZ()));
}

Ref primXcor(PrimCall& c) { return coordinate(c, 0); }
Ref primYcor(PrimCall& c) { return coordinate(c, 1); }
Ref primZcor(PrimCall& c) { return coordinate(c, 2); }

// ---- turning -----------------------------------------------------------------------------

enum class Turn { Yaw, Roll, Pitch };

Ref turn(PrimCall& c, Turn kind, double sign) {
    TurtleSession t(c.in, true);
    if (!t) return kNone;
    const double a = sign * c.in.ToFloat(c.args[0], c.index);
    if (c.in.stopRequested || c.in.throwInProgress) return kNone;
    TurtleState& s = t.state();
    switch (kind) {
    case Turn::Yaw: RotatePair(s.h, s.l, a, s.threeD); break;
    case Turn::Roll:
        s.threeD = true;
        RotatePair(s.u, s.l, a, true);
        break;
    case Turn::Pitch:
        s.threeD = true;
        RotatePair(s.u, s.h, a, true);
        break;
    }
    return kNone;
}

Ref primRight(PrimCall& c) { return turn(c, Turn::Yaw, 1); }
Ref primLeft(PrimCall& c) { return turn(c, Turn::Yaw, -1); }
Ref primRollRight(PrimCall& c) { return turn(c, Turn::Roll, 1); }
Ref primRollLeft(PrimCall& c) { return turn(c, Turn::Roll, -1); }
Ref primRotateIn(PrimCall& c) { return turn(c, Turn::Pitch, 1); }
Ref primRotateOut(PrimCall& c) { return turn(c, Turn::Pitch, -1); }

Ref primSetHeading(PrimCall& c) {
    TurtleSession t(c.in, true);
    if (!t) return kNone;
    const double h = c.in.ToFloat(c.args[0], c.index) * kRadiansPerDegree;
    if (c.in.stopRequested || c.in.throwInProgress) return kNone;
    TurtleState& s = t.state();
    s.h = {std::sin(h), std::cos(h), 0};
    s.l = {-std::cos(h), std::sin(h), 0};
    s.u = {0, 0, 1};
    return kNone;
}

Ref primSetHeading3D(PrimCall& c) {
    TurtleSession t(c.in, true);
    if (!t) return kNone;
    Interpreter& in = c.in;
    const int32_t h = in.ToInteger(c.args[0], c.index);
    const int32_t p = in.ToInteger(c.args[1], c.index);
    const int32_t r = in.ToInteger(c.args[2], c.index);
    if (in.stopRequested || in.throwInProgress) return kNone;
    TurtleState& s = t.state();
    s.threeD = true;
    OrientationFromAngles(h, p, r, s.h, s.l, s.u);
    return kNone;
}

Ref primHeading(PrimCall& c) {
    TurtleSession t(c.in, false);
    if (!t) return c.in.NewInteger(0);
    const TurtleState& s = t.state();
    const int heading = HeadingOf(s.h.x, s.h.y);
    if (!s.threeD) return c.in.NewInteger(heading);
    return integerList(c.in, {heading, PitchOf(s.h), RollOf(s.l, s.u)});
}

Ref primTowards(PrimCall& c) {
    TurtleSession t(c.in, false);
    if (!t) return c.in.NewInteger(0);
    double v[2];
    const int n = ReadNumberList(c, c.args[0], v, 2);
    if (n < 0) return c.in.NewInteger(0);
    if (n < 2) {
        c.in.RaisePrimError(kErrDoesntLike, c.index, c.args[0]);
        return c.in.NewInteger(0);
    }
    return c.in.NewInteger(HeadingOf(v[0] - double(t.turtleX()), v[1] - double(t.turtleY())));
}

// ---- the screen --------------------------------------------------------------------------

Ref clearScreen(PrimCall& c, bool home, bool black) {
    TurtleSession t(c.in, true);
    if (!t) return kNone;
    TurtleState& s = t.state();
    if (black) s.background = 0x000000;
    t.clearWindow();
    if (home) {
        t.place(s.originX, s.originY, s.originZ);
        t.homeOrientation();
    }
    return kNone;
}

Ref primClearScreen(PrimCall& c) { return clearScreen(c, true, false); }
Ref primClearScreen3D(PrimCall& c) { return clearScreen(c, true, true); }
Ref primClean(PrimCall& c) { return clearScreen(c, false, false); }

Ref primDot(PrimCall& c) {
    return atPoint(c, [](TurtleSession& t, int64_t x, int64_t y, int64_t z) { t.dot(x, y, z); });
}

Ref primDotP(PrimCall& c) {
    // The triangle comes off while the pixel is read, so only drawing is seen.
    TurtleSession t(c.in, true);
    if (!t) return kFalse;
    double v[2];
    const int n = ReadNumberList(c, c.args[0], v, 2);
    if (n < 0) return kFalse;
    if (n < 2) {
        c.in.RaisePrimError(kErrDoesntLike, c.index, c.args[0]);
        return kFalse;
    }
    uint32_t rgb = 0;
    // Outside the window nothing has been drawn.
    if (!t.surface().pixel(t.shownX(t.windowX(v[0])), t.windowY(v[1]), rgb)) return kFalse;
    return truth(rgb != t.state().background);
}

Ref primFill(PrimCall& c) {
    TurtleSession t(c.in, true);
    if (!t) return kNone;
    const TurtleState& s = t.state();
    int64_t x = s.x, y = s.y;
    if (s.threeD) {
        const int64_t wz = s.z - s.originZ;
        if (wz <= -kEyeDistance) return kNone;
        x = s.originX + Project(x - s.originX, wz, 0);
        y = s.originY + Project(y - s.originY, wz, 0);
    }
    t.surface().floodFill(t.shownX(x), y, t.shownPenColour());
    return kNone;
}

// ---- the pen -----------------------------------------------------------------------------

Ref setPenMode(PrimCall& c, uint8_t mode) {
    TurtleSession t(c.in, false);
    if (t) t.state().penMode = mode;
    return kNone;
}

Ref primPenDown(PrimCall& c) { return setPenMode(c, kPenDown); }
Ref primPenUp(PrimCall& c) { return setPenMode(c, kPenUp); }
Ref primPenErase(PrimCall& c) { return setPenMode(c, kPenErase); }
Ref primPenReverse(PrimCall& c) { return setPenMode(c, kPenReverse); }

Ref primPen(PrimCall& c) {
    TurtleSession t(c.in, false);
    if (!t) return kEmptyList;
    static constexpr const char* kNames[4] = {"PENUP", "PENDOWN", "PENERASE", "PENREVERSE"};
    return c.in.WordFromText(kNames[t.state().penMode & 3]);
}

// The colour number's remainder on division by 8; a negative remainder is black.
int colourNumber(PrimCall& c) {
    const int32_t r = c.in.ToInteger(c.args[0], c.index) % 8;
    return r < 0 ? 0 : r;
}

// A colour list: three components 0..65535.
bool colourList(PrimCall& c, uint32_t& rgb) {
    double v[3];
    const int n = ReadNumberList(c, c.args[0], v, 3);
    if (n < 0) return false;
    if (n < 3) {
        c.in.RaisePrimError(kErrTooFewItems, c.index, kNone);
        return false;
    }
    auto component = [](double d) { return std::isnan(d) ? int64_t(0) : int64_t(std::clamp(d, -1e9, 1e9)); };
    rgb = ColourFromComponents(component(v[0]), component(v[1]), component(v[2]));
    return true;
}

Ref rgbList(Interpreter& in, uint32_t rgb) {
    return integerList(in, {rgb >> 16 & 0xFF, rgb >> 8 & 0xFF, rgb & 0xFF});
}

// SETPC and SETBG: a colour number of the palette into the pen's or the background's colour.
Ref setPaletteColour(PrimCall& c, uint32_t TurtleState::*colour) {
    TurtleSession t(c.in, false);
    if (!t) return kNone;
    const int n = colourNumber(c);
    if (!c.in.stopRequested && !c.in.throwInProgress) t.state().*colour = PaletteColour(n);
    return kNone;
}

// SETPCRGB and SETBGRGB: a list of three components.
Ref setRgbColour(PrimCall& c, uint32_t TurtleState::*colour) {
    TurtleSession t(c.in, false);
    if (!t) return kNone;
    uint32_t rgb;
    if (colourList(c, rgb)) t.state().*colour = rgb;
    return kNone;
}

Ref primSetPC(PrimCall& c) { return setPaletteColour(c, &TurtleState::penColour); }
Ref primSetPCRGB(PrimCall& c) { return setRgbColour(c, &TurtleState::penColour); }

Ref primPenColor(PrimCall& c) {
    TurtleSession t(c.in, false);
    if (!t) return c.in.NewInteger(0);
    const TurtleState& s = t.state();
    return c.in.NewInteger(s.greyMode ? GreyLevel(s.penColour) : NearestPaletteNumber(s.penColour));
}

Ref primPenColorRGB(PrimCall& c) {
    TurtleSession t(c.in, false);
    if (!t) return kEmptyList;
    return rgbList(c.in, t.shownPenColour());
}

Ref primSetBG(PrimCall& c) { return setPaletteColour(c, &TurtleState::background); }
Ref primSetBGRGB(PrimCall& c) { return setRgbColour(c, &TurtleState::background); }

Ref primBackground(PrimCall& c) {
    TurtleSession t(c.in, false);
    if (!t) return c.in.NewInteger(0);
    return c.in.NewInteger(NearestPaletteNumber(t.state().background));
}

Ref primBackgroundRGB(PrimCall& c) {
    TurtleSession t(c.in, false);
    if (!t) return kEmptyList;
    return rgbList(c.in, t.state().background);
}

// ---- the triangle and the boundaries ------------------------------------------------------

bool flat(const TurtleState& s) {
    constexpr double kTiny = 1e-9;
    return std::fabs(s.h.z) < kTiny && std::fabs(s.l.z) < kTiny && s.u.z > 0;
}

Ref primShowTurtle(PrimCall& c) {
    TurtleSession t(c.in, true);
    if (!t) return kNone;
    TurtleState& s = t.state();
    s.shown = true;
    s.greyMode = false;
    if (s.z == s.originZ && flat(s)) s.threeD = false;
    return kNone;
}

Ref primShowTurtle3D(PrimCall& c) {
    TurtleSession t(c.in, true);
    if (!t) return kNone;
    TurtleState& s = t.state();
    s.shown = true;
    s.threeD = true;
    s.greyMode = true;
    return kNone;
}

Ref primHideTurtle(PrimCall& c) {
    TurtleSession t(c.in, true);
    if (t) t.state().shown = false;
    return kNone;
}

Ref primShownP(PrimCall& c) {
    TurtleSession t(c.in, false);
    return truth(t && t.state().shown);
}

Ref setBoundary(PrimCall& c, uint8_t boundary) {
    TurtleSession t(c.in, true);
    if (!t) return kNone;
    TurtleState& s = t.state();
    if (boundary != kBoundaryWindow && !t.inside(s.x, s.y, s.z)) {
        t.place(s.originX, s.originY, s.originZ);
        t.homeOrientation();
    }
    s.boundary = boundary;
    return kNone;
}

Ref primWindow(PrimCall& c) { return setBoundary(c, kBoundaryWindow); }
Ref primFence(PrimCall& c) { return setBoundary(c, kBoundaryFence); }
Ref primWrap(PrimCall& c) { return setBoundary(c, kBoundaryWrap); }

Ref primSetScrunch(PrimCall& c) {
    TurtleSession t(c.in, true);
    if (!t) return kNone;
    const double v = c.in.ToFloat(c.args[0], c.index);
    if (c.in.stopRequested || c.in.throwInProgress) return kNone;
    if (v == 1 || v == 2) {
        t.setScrunch(int64_t(v), 1);
        return kNone;
    }
    // A ratio that is not positive would fold the window onto one column.
    const double num = std::trunc(v * 100);
    if (!(num >= 1 && num <= 2147483647.0)) {
        c.in.RaisePrimError(kErrDoesntLike, c.index, c.args[0]);
        return kNone;
    }
    t.setScrunch(int64_t(num), 100);
    return kNone;
}

Ref primScrunch(PrimCall& c) {
    TurtleSession t(c.in, false);
    if (!t) return c.in.NewInteger(0);
    return c.in.NewFloat(double(t.state().scrunchNum) / double(t.state().scrunchDen));
}

void installTextHook(Interpreter& in) { in.turtleText = DrawTurtleText; }

const PrimitiveFamily kTurtle("turtle",
                              {
                                  {"FORWARD", primForward}, {"FD", primForward},
                                  {"BACK", primBack}, {"BK", primBack},
                                  {"RIGHT", primRight}, {"RT", primRight},
                                  {"LEFT", primLeft}, {"LT", primLeft},
                                  {"ROLLRIGHT", primRollRight}, {"RLR", primRollRight},
                                  {"ROLLLEFT", primRollLeft}, {"RLL", primRollLeft},
                                  {"ROTATEIN", primRotateIn}, {"RI", primRotateIn},
                                  {"ROTATEOUT", primRotateOut}, {"RO", primRotateOut},
                                  {"SETHEADING", primSetHeading}, {"SETH", primSetHeading},
                                  {"SETHEADING3D", primSetHeading3D}, {"SETH3D", primSetHeading3D},
                                  {"HEADING", primHeading},
                                  {"SETPOS", primSetPos},
                                  {"SETX", primSetX}, {"SETY", primSetY}, {"SETZ", primSetZ},
                                  {"POS", primPos},
                                  {"XCOR", primXcor}, {"YCOR", primYcor}, {"ZCOR", primZcor},
                                  {"HOME", primHome},
                                  {"TOWARDS", primTowards},
                                  {"CLEARSCREEN", primClearScreen}, {"CS", primClearScreen},
                                  {"CLEARSCREEN3D", primClearScreen3D}, {"CS3D", primClearScreen3D},
                                  {"CLEAN", primClean},
                                  {"PENDOWN", primPenDown}, {"PD", primPenDown},
                                  {"PENUP", primPenUp}, {"PU", primPenUp},
                                  {"PENERASE", primPenErase}, {"PE", primPenErase},
                                  {"PENREVERSE", primPenReverse}, {"PX", primPenReverse},
                                  {"PEN", primPen},
                                  {"SETPC", primSetPC}, {"SETPCRGB", primSetPCRGB},
                                  {"PENCOLOR", primPenColor}, {"PC", primPenColor},
                                  {"PENCOLORRGB", primPenColorRGB},
                                  {"SETBG", primSetBG}, {"SETBGRGB", primSetBGRGB},
                                  {"BACKGROUND", primBackground}, {"BG", primBackground},
                                  {"BACKGROUNDRGB", primBackgroundRGB},
                                  {"DOT", primDot}, {"DOTP", primDotP},
                                  {"FILL", primFill},
                                  {"SHOWTURTLE", primShowTurtle}, {"ST", primShowTurtle},
                                  {"HIDETURTLE", primHideTurtle}, {"HT", primHideTurtle},
                                  {"SHOWTURTLE3D", primShowTurtle3D}, {"ST3D", primShowTurtle3D},
                                  {"SHOWNP", primShownP},
                                  {"WINDOW", primWindow}, {"FENCE", primFence}, {"WRAP", primWrap},
                                  {"SETSCRUNCH", primSetScrunch}, {"SCRUNCH", primScrunch},
                              },
                              FamilyHooks{installTextHook, nullptr, nullptr, nullptr});

} // namespace

} // namespace cv::script
