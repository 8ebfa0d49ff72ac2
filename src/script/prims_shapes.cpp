// Card drawing: rectangles, ovals, rounded rectangles and arcs (framed, painted, erased or
// inverted), the fore and back colours, the pen size, fonts and text measures, and the choice
// between the text window and the drawing window for text.
#include <algorithm>
#include <cmath>

#include "script/interpreter.h"
#include "script/turtle.h"

namespace cv::script {

namespace {

// A conversion that raised an error leaves the setting as it was.
bool failed(const Interpreter& in) { return in.stopRequested || in.throwInProgress; }

constexpr int kMaxPenSize = 32767;
constexpr int kMaxFontSize = 1000;
constexpr size_t kMaxFontName = 32;

// A rectangle list (left top right bottom, turtle coordinates) as window pixels.
bool readRect(PrimCall& c, TurtleSession& t, SurfaceShape& shape) {
    double v[4];
    const int n = ReadNumberList(c, c.args[0], v, 4);
    if (n < 0) return false;
    if (n < 4) {
        c.in.RaisePrimError(kErrDoesntLike, c.index, c.args[0]);
        return false;
    }
    int64_t left = t.shownX(t.windowX(v[0])), right = t.shownX(t.windowX(v[2]));
    int64_t top = t.windowY(v[1]), bottom = t.windowY(v[3]);
    if (left > right) std::swap(left, right);
    if (top > bottom) std::swap(top, bottom);
    shape.left = left;
    shape.top = top;
    shape.right = right;
    shape.bottom = bottom;
    return true;
}

Ref drawShape(PrimCall& c, SurfaceShape::Kind kind, SurfaceShape::Verb verb) {
    TurtleSession t(c.in, true);
    if (!t) return kNone;
    Interpreter& in = c.in;
    SurfaceShape shape;
    shape.kind = kind;
    shape.verb = verb;
    if (kind == SurfaceShape::RoundRect) {
        shape.cornerWidth = std::clamp(in.ToInteger(c.args[1], c.index), 0, 65535);
        shape.cornerHeight = std::clamp(in.ToInteger(c.args[2], c.index), 0, 65535);
    } else if (kind == SurfaceShape::Arc) {
        shape.startAngle = in.ToFloat(c.args[1], c.index);
        shape.arcAngle = in.ToFloat(c.args[2], c.index);
        if (!std::isfinite(shape.startAngle) || !std::isfinite(shape.arcAngle)) shape.startAngle = shape.arcAngle = 0;
    }
    if (failed(in)) return kNone;
    if (!readRect(c, t, shape)) return kNone;
    const TurtleState& s = t.state();
    shape.colour = verb == SurfaceShape::Erase ? s.backColour : s.foreColour;
    shape.penWidth = s.penWidth;
    shape.penHeight = s.penHeight;
    t.surface().drawShape(shape);
    return kNone;
}

#define SHAPE_PRIM(NAME, KIND, VERB) \
    Ref NAME(PrimCall& c) { return drawShape(c, SurfaceShape::KIND, SurfaceShape::VERB); }

SHAPE_PRIM(primFrameRect, Rect, Frame)
SHAPE_PRIM(primPaintRect, Rect, Paint)
SHAPE_PRIM(primEraseRect, Rect, Erase)
SHAPE_PRIM(primInvertRect, Rect, Invert)
SHAPE_PRIM(primFrameOval, Oval, Frame)
SHAPE_PRIM(primPaintOval, Oval, Paint)
SHAPE_PRIM(primEraseOval, Oval, Erase)
SHAPE_PRIM(primInvertOval, Oval, Invert)
SHAPE_PRIM(primFrameRRect, RoundRect, Frame)
SHAPE_PRIM(primPaintRRect, RoundRect, Paint)
SHAPE_PRIM(primEraseRRect, RoundRect, Erase)
SHAPE_PRIM(primInvertRRect, RoundRect, Invert)
SHAPE_PRIM(primFrameArc, Arc, Frame)
SHAPE_PRIM(primPaintArc, Arc, Paint)
SHAPE_PRIM(primEraseArc, Arc, Erase)
SHAPE_PRIM(primInvertArc, Arc, Invert)

#undef SHAPE_PRIM

// ---- colours and pen size ----------------------------------------------------------------

Ref setShapeColour(PrimCall& c, bool fore) {
    TurtleSession t(c.in, false);
    if (!t) return kNone;
    int32_t n = c.in.ToInteger(c.args[0], c.index) % 8;
    if (failed(c.in)) return kNone;
    if (n < 0) n = 0;
    (fore ? t.state().foreColour : t.state().backColour) = PaletteColour(n);
    return kNone;
}

Ref getShapeColour(PrimCall& c, bool fore) {
    TurtleSession t(c.in, false);
    if (!t) return c.in.NewInteger(0);
    return c.in.NewInteger(NearestPaletteNumber(fore ? t.state().foreColour : t.state().backColour));
}

Ref primSetForeColor(PrimCall& c) { return setShapeColour(c, true); }
Ref primSetBackColor(PrimCall& c) { return setShapeColour(c, false); }
Ref primGetForeColor(PrimCall& c) { return getShapeColour(c, true); }
Ref primGetBackColor(PrimCall& c) { return getShapeColour(c, false); }

Ref primSetPenSize(PrimCall& c) {
    TurtleSession t(c.in, false);
    if (!t) return kNone;
    const int32_t w = c.in.ToInteger(c.args[0], c.index);
    const int32_t h = c.in.ToInteger(c.args[1], c.index);
    if (failed(c.in)) return kNone;
    t.state().penWidth = std::clamp(w, 1, kMaxPenSize);
    t.state().penHeight = std::clamp(h, 1, kMaxPenSize);
    return kNone;
}

// ---- fonts and text ----------------------------------------------------------------------

// The classic Macintosh font numbers.
const char* macFontName(int32_t number) {
    switch (number) {
    case 2: return "New York";
    case 3: return "Geneva";
    case 4: return "Monaco";
    case 5: return "Venice";
    case 6: return "London";
    case 7: return "Athens";
    case 9: return "Toronto";
    case 11: return "Cairo";
    case 20: return "Times";
    case 21: return "Helvetica";
    case 22: return "Courier";
    case 23: return "Symbol";
    default: return "";
    }
}

Ref primSetFontFamily(PrimCall& c) {
    TurtleSession t(c.in, false);
    if (!t) return kNone;
    Interpreter& in = c.in;
    const Ref v = c.args[0];
    if (!in.CheckWord(v, c.index)) return kNone;
    if (in.IsNumeric(v, kReportSilent)) {
        t.state().font.name = macFontName(in.ToInteger(v, c.index));
        return kNone;
    }
    std::string name = in.TextOf(v);
    if (name.size() > kMaxFontName) name.resize(kMaxFontName);
    t.state().font.name = std::move(name);
    return kNone;
}

Ref primSetFontSize(PrimCall& c) {
    TurtleSession t(c.in, false);
    if (!t) return kNone;
    const int32_t size = c.in.ToInteger(c.args[0], c.index);
    if (!failed(c.in)) t.state().font.size = std::clamp(size, 1, kMaxFontSize);
    return kNone;
}

Ref primSetFontStyle(PrimCall& c) {
    TurtleSession t(c.in, false);
    if (!t) return kNone;
    const int32_t style = c.in.ToInteger(c.args[0], c.index);
    if (!failed(c.in)) t.state().font.style = style & 0xFF;
    return kNone;
}

Ref primGetFontInfo(PrimCall& c) {
    TurtleSession t(c.in, false);
    if (!t) return kEmptyList;
    const SurfaceFontMetrics m = t.surface().fontMetrics(t.state().font);
    Interpreter& in = c.in;
    Ref head = kNone, tail = kNone;
    for (int v : {m.ascent, m.descent, m.leading}) {
        const Ref n = in.NewInteger(std::abs(v));
        if (n == kNone || !in.AppendToList(head, tail, n)) break;
    }
    return head == kNone ? Ref(kEmptyList) : head;
}

Ref primTextWidth(PrimCall& c) {
    TurtleSession t(c.in, false);
    if (!t) return c.in.NewInteger(0);
    Interpreter& in = c.in;
    if (!in.CheckWord(c.args[0], c.index)) return in.NewInteger(0);
    const int width = t.surface().textWidth(in.TextOf(c.args[0]), t.state().font);
    return in.NewInteger(int32_t(t.logicalX(width)));
}

Ref primTextIO(PrimCall& c) {
    c.in.turtleIO = false;
    return kNone;
}

Ref primTurtleIO(PrimCall& c) {
    c.in.turtleIO = true;
    return kNone;
}

const PrimitiveFamily kShapes("card drawing", {
    {"FRAMERECT", primFrameRect}, {"PAINTRECT", primPaintRect},
    {"ERASERECT", primEraseRect}, {"INVERTRECT", primInvertRect},
    {"FRAMEOVAL", primFrameOval}, {"PAINTOVAL", primPaintOval},
    {"ERASEOVAL", primEraseOval}, {"INVERTOVAL", primInvertOval},
    {"FRAMERRECT", primFrameRRect}, {"PAINTRRECT", primPaintRRect},
    {"ERASERRECT", primEraseRRect}, {"INVERTRRECT", primInvertRRect},
    {"FRAMEARC", primFrameArc}, {"PAINTARC", primPaintArc},
    {"ERASEARC", primEraseArc}, {"INVERTARC", primInvertArc},
    {"SETFORECOLOR", primSetForeColor}, {"SETBACKCOLOR", primSetBackColor},
    {"GETFORECOLOR", primGetForeColor}, {"GETBACKCOLOR", primGetBackColor},
    {"SETPENSIZE", primSetPenSize},
    {"SETFONTFAMILY", primSetFontFamily}, {"SETFONTSIZE", primSetFontSize},
    {"SETFONTSTYLE", primSetFontStyle}, {"GETFONTINFO", primGetFontInfo},
    {"TEXTWIDTH", primTextWidth},
    {"TEXTIO", primTextIO}, {"TURTLEIO", primTurtleIO},
});

} // namespace

} // namespace cv::script
