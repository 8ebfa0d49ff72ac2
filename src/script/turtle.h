#pragma once
// The turtle: its state for one drawing window, and the geometry of moving, turning and
// showing it. The turtle primitives (prims_turtle.cpp) and the shape, colour and font
// primitives (prims_shapes.cpp) work through a TurtleSession, which binds the state of the
// run's drawing window and brackets the primitive's drawing.
//
// Positions are window pixels with y downward; the horizontal ones are kept before the
// SETSCRUNCH ratio is applied ("logical"), and `shownX` gives the pixel column. Turtle
// coordinates have their origin at the window's centre and y upward.
#include <cstdint>
#include <string>
#include <vector>

#include "script/node_memory.h"
#include "script/script_host.h"

namespace cv::script {

class Interpreter;
struct PrimCall;

struct Vec3 {
    double x = 0, y = 0, z = 0;
};

inline constexpr double kRadiansPerDegree = 0.017453292519943295;
inline constexpr double kDegreesPerRadian = 57.29577951308232;
// The eye of the perspective view stands this far in front of the z = 0 plane, and each eye of
// the stereo view this far to the side.
inline constexpr int64_t kEyeDistance = 1728;
inline constexpr int64_t kEyeOffset = 90;
// Positions stay where their turtle coordinates fit 32 bits, whatever a script asks for.
inline constexpr int64_t kPositionLimit = (int64_t(1) << 31) - (int64_t(1) << 24);

enum PenMode : uint8_t { kPenUp = 0, kPenDown = 1, kPenErase = 2, kPenReverse = 3 };
enum Boundary : uint8_t { kBoundaryWindow = 0, kBoundaryFence = 1, kBoundaryWrap = 2 };

// The eight colour numbers: black, white, red, green, blue, cyan, magenta, yellow.
uint32_t PaletteColour(int number);
// The palette number at the smallest distance (the lower number on a tie).
int NearestPaletteNumber(uint32_t rgb);
// Grey forms of the stereo views: the brightness 0..255 of a colour and its level 0..7.
int GreyValue(uint32_t rgb);
int GreyLevel(uint32_t rgb);
// A colour from three 16-bit components (each divided by 256, held to 0..255).
uint32_t ColourFromComponents(int64_t r, int64_t g, int64_t b);

// floor(v + 0.5), the rounding of headings and angles.
int64_t RoundHalfUp(double v);
// The heading of a direction vector: 90 - round(atan2(y, x) in degrees), plus 360 when negative.
int HeadingOf(double x, double y);
// Pitch and roll of an orientation as HEADING reports them in 3-D.
int PitchOf(const Vec3& h);
int RollOf(const Vec3& l, const Vec3& u);
// The orientation of heading, pitch and roll (degrees).
void OrientationFromAngles(double heading, double pitch, double roll, Vec3& h, Vec3& l, Vec3& u);
// Turns the pair (a, b) by `degrees`: a' = cos d a - sin d b, b' = sin d a + cos d b; only x
// and y unless `all3`.
void RotatePair(Vec3& a, Vec3& b, double degrees, bool all3);
// Perspective: where a coordinate `w` (relative to the origin) at depth `wz` is shown for an
// eye at `eye` pixels to the side; wz must be in front of the eye (wz > -kEyeDistance).
int64_t Project(int64_t w, int64_t wz, int64_t eye);

// One line of the turtle's triangle as drawn (exclusive-or, so drawing it again removes it).
struct DrawnLine {
    double x0, y0, x1, y1;
    uint32_t rgb;
};

struct TurtleState {
    int windowWidth = -1, windowHeight = -1;
    int64_t originX = 0, originY = 0, originZ = 0;
    int64_t x = 0, y = 0, z = 0;
    bool threeD = false;
    bool greyMode = false;
    uint32_t penColour = 0x000000;
    uint32_t background = 0xFFFFFF;
    uint32_t foreColour = 0x000000;
    uint32_t backColour = 0xFFFFFF;
    SurfaceFont font;
    int penWidth = 1, penHeight = 1;
    uint8_t penMode = kPenDown;
    uint8_t boundary = kBoundaryWindow;
    bool shown = true;
    // SETSCRUNCH: shown column = logical * num / den (1/1 and 2/1 are the exact modes).
    int64_t scrunchNum = 1, scrunchDen = 1;
    Vec3 h{0, 1, 0}, l{-1, 0, 0}, u{0, 0, 1};
    // The triangle as it is on the window now.
    std::vector<DrawnLine> triangle;
    bool triangleDrawn = false;
    uint64_t generation = 0;
    // Where TURTLEIO text goes next (window pixels); unplaced after every move.
    bool textPlaced = false;
    int64_t textX = 0, textY = 0;
    int sessionDepth = 0;
};

// A turtle primitive's hold on the turtle of the run's drawing window. Without a window it is
// false and the primitive does nothing. A session that draws (or reads pixels) takes the
// triangle off first and puts it back at the end.
class TurtleSession {
public:
    TurtleSession(Interpreter& in, bool draws);
    ~TurtleSession();
    TurtleSession(const TurtleSession&) = delete;
    TurtleSession& operator=(const TurtleSession&) = delete;

    explicit operator bool() const { return state_ != nullptr; }
    TurtleState& state() { return *state_; }
    DrawingSurface& surface() { return *surface_; }
    Interpreter& interpreter() { return in_; }

    // Logical horizontal positions and pixel columns.
    int64_t shownX(int64_t logical) const;
    int64_t logicalX(int64_t shown) const;
    // Turtle coordinates of the position.
    int64_t turtleX() const { return state_->x - state_->originX; }
    int64_t turtleY() const { return state_->originY - state_->y; }
    int64_t turtleZ() const { return state_->z - state_->originZ; }
    // Window position of a turtle point.
    int64_t windowX(double tx) const;
    int64_t windowY(double ty) const;
    int64_t windowZ(double tz) const;

    // Moves to a window position with the boundary mode and pen; false (after error 34) when
    // the fence keeps the turtle where it is.
    bool moveTo(int64_t x, int64_t y, int64_t z);
    // FORWARD by a distance along the heading vector.
    bool forward(double distance);
    // Places the turtle without drawing (home after CLEARSCREEN, boundary changes).
    void place(int64_t x, int64_t y, int64_t z);
    void homeOrientation();
    // Whether a window position is inside the window (projected in 3-D).
    bool inside(int64_t x, int64_t y, int64_t z) const;

    // A point in the pen colour (two in the stereo views).
    void dot(int64_t x, int64_t y, int64_t z);
    // Fills the client area with the background colour.
    void clearWindow();
    // Changes SETSCRUNCH, keeping origin and turtle where they are shown.
    void setScrunch(int64_t num, int64_t den);

    // The colour the pen shows (its grey in the stereo views).
    uint32_t shownPenColour() const;

private:
    void drawSegment(int64_t x0, int64_t y0, int64_t z0, int64_t x1, int64_t y1, int64_t z1);
    void drawShown(double x0, double y0, double x1, double y1);
    void wrapTo(int64_t x, int64_t y);
    // Projected lines of a 3-D segment for each eye of the view.
    template <class F>
    void forEachView(int64_t x0, int64_t y0, int64_t z0, int64_t x1, int64_t y1, int64_t z1, F&& draw);
    void drawTriangle();
    void eraseTriangle();
    void fitWindow();

    Interpreter& in_;
    DrawingSurface* surface_ = nullptr;
    TurtleState* state_ = nullptr;
    bool draws_ = false;
    bool outer_ = false;
};

// Reads a coordinate or colour list whose elements are evaluated as expressions: up to `max`
// numbers into `out`. Returns how many, or -1 after an error (41 when `list` is not a list or
// an element is not a number, 30 for more than `max`).
int ReadNumberList(PrimCall& c, Ref list, double* out, int max);

// Draws TURTLEIO text at the turtle's text position (the interpreter's turtleText hook).
void DrawTurtleText(Interpreter& in, std::string_view bytes);

} // namespace cv::script
