// The turtle through its primitives, on a drawing window that keeps its pixels: coordinates and
// headings, the boundary modes, pens and colours, the 3-D frame and its projection, SETSCRUNCH,
// the exclusive-or triangle, text, shapes, and what happens without a window.
#include <gtest/gtest.h>

#include "script/turtle.h"
#include "script_fixture.h"
#include "turtle_test_surface.h"

namespace cv::script::test {
namespace {

class TurtleTest : public ScriptTest {
protected:
    // Runs the text with `window` as the drawing window; returns what it printed.
    std::string draw(std::string_view text, DrawingSurface* window = nullptr) {
        out.text.clear();
        in.RunScript(text.data(), text.size(), nullptr, &out, window ? window : &surface);
        return out.text;
    }
    std::string drawError(std::string_view text) {
        const size_t before = errorCount();
        draw(text);
        return errorCount() == before ? std::string() : lastMessage();
    }
    size_t linesWith(PenOp op) const {
        size_t n = 0;
        for (const auto& l : surface.lines) n += l.op == op;
        return n;
    }
    TestSurface surface{400, 400};
};

TEST_F(TurtleTest, LinesRunBetweenWindowPixelsWithoutTheirLastPoint) {
    draw("HT SETPC 2 FD 100");
    ASSERT_EQ(surface.lines.size(), 1u);
    EXPECT_EQ(std::tuple(surface.lines[0].x0, surface.lines[0].y0, surface.lines[0].y1), std::tuple(200.0, 200.0, 100.0));
    EXPECT_EQ(surface.at(200, 101), 0xFF0000u);
    EXPECT_EQ(surface.at(200, 100), 0xFFFFFFu);
}

TEST_F(TurtleTest, PenModesDrawErasePassOrInvert) {
    draw("HT SETBG 3 PE FD 10 PX FD 10 PU FD 10 PD SETPC 4 FD 10 PRINT PEN");
    ASSERT_EQ(surface.lines.size(), 3u);
    EXPECT_TRUE(surface.lines[0].rgb == 0x00FF00u && surface.lines[0].op == PenOp::Copy);  // the background colour
    EXPECT_TRUE(surface.lines[1].rgb == 0xFFFFFFu && surface.lines[1].op == PenOp::Xor);
    EXPECT_EQ(surface.lines[2].rgb, 0x0000FFu);
    EXPECT_EQ(out.text, "PENDOWN\n");
}

TEST_F(TurtleTest, FenceRefusesToLeaveAndWrapComesBackOpposite) {
    EXPECT_EQ(draw("FENCE FD 150 FD 10000 PRINT POS"), "");
    EXPECT_EQ(lastMessage(), "Logo Error: Turtle out of bounds");
    EXPECT_EQ(draw("PRINT POS"), "0 150\n");
    // A turtle already outside goes home when a boundary is set.
    EXPECT_EQ(draw("WINDOW PU FD 1000 FENCE PRINT POS WINDOW FD 1000 WRAP PRINT POS"), "0 0\n0 0\n");

    TestSurface tall(300, 400);
    surface.lines.clear();
    EXPECT_EQ(draw("HT WRAP PD FD 1000 PRINT POS", &tall), "0 200\n");
    ASSERT_EQ(tall.lines.size(), 3u);
    // Vertical segments: out at the top, back in at the bottom.
    EXPECT_EQ(std::tuple(tall.lines[0].y0, tall.lines[0].y1, tall.lines[1].y0, tall.lines[2].y1),
              std::tuple(200.0, -1.0, 399.0, 0.0));
    for (int y = 1; y < 400; ++y) EXPECT_EQ(tall.at(150, y), 0u) << y;

    TestSurface slanted(300, 400);
    EXPECT_EQ(draw("HT WRAP PD HOME RT 30 FD 2000 (PRINT (ABS XCOR) < 151 (ABS YCOR) < 201)", &slanted),
              "TRUE TRUE\n");
    EXPECT_GT(slanted.lines.size(), 4u);
    double length = 0;
    for (const auto& l : slanted.lines) {
        EXPECT_TRUE(l.x0 >= -1 && l.x0 <= 300 && l.x1 >= -1 && l.x1 <= 300);
        EXPECT_TRUE(l.y0 >= -1 && l.y0 <= 400 && l.y1 >= -1 && l.y1 <= 400);
        length += std::hypot(l.x1 - l.x0, l.y1 - l.y0);
    }
    EXPECT_NEAR(length, 2000, 2);
}

TEST_F(TurtleTest, HostileDistancesEndQuicklyAndInside) {
    TestSurface tiny(1, 1);
    EXPECT_EQ(draw("WRAP RT 33 FD 2147483647 PRINT POS BK 2147483647 PRINT POS", &tiny), "0 0\n0 0\n");
    EXPECT_LT(tiny.lines.size(), 200u);

    TestSurface small(40, 30);
    EXPECT_EQ(draw("WRAP RT 1 FD 2147483647 (PRINT XCOR < 21 YCOR < 16)", &small), "TRUE TRUE\n");
    EXPECT_LT(small.lines.size(), 10000u);

    // Far outside the window the turtle stops where its coordinates still fit.
    const std::string far = draw("WINDOW HOME FD 2147483647 FD 2147483647 SETX -1E300 PRINT POS");
    EXPECT_EQ(far, "-" + std::to_string(kPositionLimit + 200) + " " + std::to_string(kPositionLimit + 200) + "\n");
    // At and behind the eye nothing is drawn and nothing breaks.
    draw("HOME SETZ -1728 FD 10 ST3D RI 90 FD 100000 DOT [0 0 -5000] SETZ -1727 FILL");
    EXPECT_EQ(errorCount(), 0u) << lastError();
}

TEST_F(TurtleTest, ColourNumbersAndComponents) {
    EXPECT_EQ(draw("SETBGRGB [0 0 -5] PRINT BACKGROUNDRGB PRINT BG SETBG 6 PRINT BG"), "0 0 0\n0\n6\n");
    // An input that is not a number leaves the colour as it was.
    EXPECT_EQ(draw("SETPC 2 CATCH \"ERROR [SETPC \"X] PRINT ERROR PRINT PC"), "41\n2\n");
    EXPECT_EQ(errorCount(), 0u) << lastError();
}

TEST_F(TurtleTest, CoordinateListsAreEvaluatedAndChecked) {
    EXPECT_EQ(draw("SETPOS [3 + 4 2 * 5] PRINT POS"), "7 10\n");
    EXPECT_EQ(drawError("DOT [1 X]"), "Logo Error: I don't know how to X");
    EXPECT_EQ(draw("PRINT POS"), "7 10\n");
}

TEST_F(TurtleTest, ClearScreenFillsWithTheBackgroundAndGoesHome) {
    EXPECT_EQ(draw("SETBG 2 FD 30 RT 40 CLEAN PRINT POS CS PRINT POS PRINT HEADING"), "0 30\n0 0\n0\n");
    EXPECT_EQ(surface.at(0, 0), 0xFF0000u);
    EXPECT_EQ(draw("CS3D PRINT BACKGROUNDRGB"), "0 0 0\n");
    EXPECT_EQ(surface.at(399, 399) & 0xFFFFFF, 0u);
}

TEST_F(TurtleTest, DotAndDotP) {
    EXPECT_EQ(draw("HT SETPC 4 DOT [10 20] PRINT DOTP [10 20] PRINT DOTP [11 20] PRINT DOTP [5000 0]"),
              "TRUE\nFALSE\nFALSE\n");
    EXPECT_EQ(surface.at(210, 180), 0x0000FFu);
    // The triangle is not taken for drawing.
    EXPECT_EQ(draw("ST HOME PRINT DOTP [0 0] PRINT DOTP [-3 0]"), "FALSE\nFALSE\n");
}

TEST_F(TurtleTest, FillStartsAtTheTurtleInThePenColour) {
    draw("HT SETPC 3 PU SETPOS [5 -7] FILL");
    ASSERT_EQ(surface.fills.size(), 1u);
    EXPECT_EQ(std::pair(surface.fills[0].x, surface.fills[0].y), std::pair(int64_t(205), int64_t(207)));
}

TEST_F(TurtleTest, TheTriangleIsDrawnTwiceToTakeItAway) {
    draw("PU ST RT 30 FD 10 LT 75 SETPOS [20 20] HT");
    EXPECT_EQ(surface.changedPixels(), 0u);
    EXPECT_EQ(linesWith(PenOp::Xor) % 6, 0u);
    // Tip 12 ahead, corners 6 to each side.
    surface.lines.clear();
    draw("HOME ST");
    ASSERT_EQ(surface.lines.size(), 3u);
    EXPECT_EQ(std::tuple(surface.lines[0].x0, surface.lines[0].y0, surface.lines[0].x1, surface.lines[1].x1),
              std::tuple(200.0, 188.0, 194.0, 206.0));
    // A window whose picture was replaced has lost the triangle: it is not erased again.
    surface.generationValue++;
    surface.lines.clear();
    draw("RT 10");
    EXPECT_EQ(surface.lines.size(), 3u);
    EXPECT_EQ(draw("PRINT SHOWNP HT PRINT SHOWNP"), "TRUE\nFALSE\n");
}

TEST_F(TurtleTest, ThreeDHeadingsReadBackAsSet) {
    // Angles outside the ranges read back normalised (the program turtle_colours has the rest).
    EXPECT_EQ(draw("SETH3D -30 60 -90 PRINT HEADING"), "330 60 270\n");
    // RIGHT turns about the turtle's own up: nose down 10, a right turn leaves it level, banked.
    EXPECT_EQ(draw("HOME RI 20 RO 30 RT 90 PRINT HEADING"), "90 0 350\n");
    // SHOWTURTLE stays in three dimensions off z = 0.
    EXPECT_EQ(draw("HOME SETZ 5 ST PRINT POS"), "0 0 5\n");
}

TEST(TurtleGeometry, OrientationAnglesRoundTripThroughTheFrame) {
    for (int h = 0; h < 360; h += 37)
        for (int p = -80; p <= 80; p += 20)
            for (int r = 0; r < 360; r += 45) {
                Vec3 H, L, U;
                OrientationFromAngles(h, p, r, H, L, U);
                EXPECT_EQ(HeadingOf(H.x, H.y), h);
                EXPECT_EQ(PitchOf(H), p);
                EXPECT_EQ(RollOf(L, U), r) << h << " " << p << " " << r;
            }
}

TEST(TurtleGeometry, PerspectiveAndStereoProjection) {
    EXPECT_EQ(Project(100, 0, 0), 100);
    EXPECT_EQ(Project(100, 1728, 0), 50);
    EXPECT_EQ(Project(-100, 1728, 0), -50);
    EXPECT_EQ(Project(7, 100, 0), 6);           // 12096 / 1828, truncated
    EXPECT_EQ(Project(0, 1728, 90), -45);      // the left eye sees depth shifted left
    EXPECT_EQ(Project(0, 1728, -90), 45);
    EXPECT_EQ(Project(100, -864, 0), 200);
}

TEST_F(TurtleTest, DepthShrinksTowardTheCentreAndStereoDrawsTwoViews) {
    draw("HT DOT [100 100 1728]");
    EXPECT_EQ(surface.at(250, 150), 0u);
    draw("CS3D HT ST3D HT SETPC 1 DOT [0 0 1728]");
    EXPECT_EQ(surface.at(155, 200), 0xFF0000u);  // left view, red
    EXPECT_EQ(surface.at(245, 200), 0x00FFFFu);  // right view, cyan
    EXPECT_EQ(draw("PRINT PC PRINT PENCOLORRGB SETPC 2 PRINT PC PRINT PENCOLORRGB"), "7\n255 255 255\n2\n76 76 76\n");
}

TEST_F(TurtleTest, ScrunchScalesColumnsAndKeepsTheTurtleWhereItIsShown) {
    EXPECT_EQ(draw("HT PU SETX 50 SETSCRUNCH 2 PRINT SCRUNCH PRINT POS PD SETX 50"), "2\n25 0\n");
    ASSERT_EQ(surface.lines.size(), 1u);
    EXPECT_EQ(std::pair(surface.lines[0].x0, surface.lines[0].x1), std::pair(250.0, 300.0));
    EXPECT_EQ(draw("SETSCRUNCH 1 PRINT XCOR"), "100\n");
}

TEST_F(TurtleTest, TextGoesToTheDrawingWindowUnderTurtleIO) {
    EXPECT_EQ(draw("TURTLEIO PRINT [HI THERE] TYPE \"A TEXTIO PRINT \"B"), "B\n");
    EXPECT_EQ(surface.texts, (std::vector<std::string>{"HI THERE", "A"}));
    EXPECT_EQ(draw("SETFONTFAMILY 3 PRINT GETFONTINFO SETSCRUNCH 2 PRINT TEXTWIDTH \"abc"), "10 3 1\n10\n");
    draw("TURTLEIO TYPE 1 SETFONTFAMILY \"ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789 SETFONTSIZE 0 SETFONTSTYLE 5 TYPE 2 "
         "SETFONTFAMILY 99 TYPE 3 TEXTIO");
    ASSERT_EQ(surface.fonts.size(), 5u);
    EXPECT_EQ(surface.fonts[2].name, "Geneva");
    EXPECT_EQ(std::tuple(surface.fonts[3].name, surface.fonts[3].size, surface.fonts[3].style),
              std::tuple("ABCDEFGHIJKLMNOPQRSTUVWXYZ012345", 1, 5));
    EXPECT_EQ(surface.fonts[4].name, "");
}

TEST_F(TurtleTest, ShapesTakeRectanglesInTurtleCoordinates) {
    draw("SETFORECOLOR 2 SETBACKCOLOR 11 SETPENSIZE 0 -5 FRAMERECT [-10 20 30 -40] ERASEOVAL [30 -40 -10 20] "
         "PAINTRRECT [0 0 10 10] 8 6 INVERTARC [0 0 10 10] 30 90 (PRINT GETFORECOLOR GETBACKCOLOR)");
    EXPECT_EQ(out.text, "2 3\n");
    ASSERT_EQ(surface.shapes.size(), 4u);
    const SurfaceShape &frame = surface.shapes[0], &oval = surface.shapes[1];
    EXPECT_TRUE(frame.kind == SurfaceShape::Rect && frame.verb == SurfaceShape::Frame);
    EXPECT_EQ(std::tuple(frame.left, frame.top, frame.right, frame.bottom), std::tuple(190, 180, 230, 240));
    EXPECT_EQ(std::tuple(frame.colour, frame.penWidth, frame.penHeight), std::tuple(0xFF0000u, 1, 1));
    // Corners given the other way round make the same rectangle.
    EXPECT_EQ(std::tuple(oval.left, oval.top, oval.right, oval.bottom, oval.colour), std::tuple(190, 180, 230, 240, 0x00FF00u));
    EXPECT_EQ(std::tuple(surface.shapes[2].cornerWidth, surface.shapes[3].startAngle, surface.shapes[3].arcAngle),
              std::tuple(8, 30, 90));
    EXPECT_EQ(drawError("FRAMEOVAL [1 2 3]"), "Logo Error: FRAMEOVAL doesn't like [1 2 3] as input");
}

TEST_F(TurtleTest, WithoutAWindowNothingIsDrawnAndReportersGiveNothing) {
    EXPECT_EQ(run("FD \"X SETPOS [1] SETPC 3 CS FILL PRINT POS PRINT HEADING PRINT PC PRINT SHOWNP PRINT DOTP [0 0] "
                  "PRINT PEN PRINT GETFONTINFO PRINT TEXTWIDTH \"ABC PRINT SCRUNCH"),
              "\n0\n0\nFALSE\nFALSE\n\n\n0\n0\n");
    EXPECT_EQ(errorCount(), 0u) << lastError();
    EXPECT_FALSE(surface.turtle);
}

} // namespace
} // namespace cv::script::test
