// The turtle on Qt images: the pixels of lines and pens, the exclusive-or triangle, flood fill,
// shapes and text, drawing on the window and its copy alike, and scripts run by the player
// drawing on the card.
#include <gtest/gtest.h>

#include <QImage>

#include "core/ui.h"
#include "player/headless_host.h"
#include "player/player.h"
#include "player/script_bridge.h"
#include "player/turtle_surface.h"
#include "script/interpreter.h"
#include "test_application.h"

namespace cv::test {
namespace {

constexpr QRgb kWhite = 0xFFFFFFFF, kBlack = 0xFF000000, kRed = 0xFFFF0000, kGreen = 0xFF00FF00,
               kBlue = 0xFF0000FF;

int count(const QImage& image, QRgb colour) {
    int n = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) n += image.pixel(x, y) == colour;
    return n;
}
bool allWhite(const QImage& image) { return count(image, kWhite) == image.width() * image.height(); }

class TurtleSurfaceTest : public ::testing::Test {
protected:
    TurtleSurfaceTest() {
        ensureTestApplication();
        window.fill(Qt::white);
        backing.fill(Qt::white);
        in.setUi(&ui);
    }
    void draw(std::string_view text) { in.RunScript(text.data(), text.size(), nullptr, nullptr, &surface); }

    QImage window{200, 100, QImage::Format_RGB32};
    QImage backing{200, 100, QImage::Format_RGB32};
    QRect changed;
    TurtleSurface surface{[this] { return &window; }, [this] { return &backing; },
                          [this](const QRect& r) { changed = changed.united(r); }};
    HeadlessUi ui;
    script::Interpreter in;
};

TEST_F(TurtleSurfaceTest, LinesReachTheWindowAndItsCopyWithoutTheirLastPoint) {
    draw("HT SETPC 2 FD 30");
    for (int y = 21; y <= 50; ++y) EXPECT_EQ(window.pixel(100, y), kRed) << y;
    EXPECT_EQ(window.pixel(100, 20), kWhite);
    EXPECT_EQ(count(window, kRed), 30);
    EXPECT_EQ(window, backing);
    EXPECT_TRUE(changed.contains(QPoint(100, 21)) && changed.contains(QPoint(100, 50)));
}

TEST_F(TurtleSurfaceTest, EraseAndReversePens) {
    draw("HT REPEAT 4 [FD 20 RT 90]");
    EXPECT_EQ(count(window, kBlack), 80);
    draw("PX REPEAT 4 [FD 20 RT 90]");
    EXPECT_TRUE(allWhite(window));
    draw("PD SETPC 2 FD 20 SETBG 4 PE BK 20");
    EXPECT_EQ(count(window, kBlue), 20);
    EXPECT_EQ(count(window, kRed), 1);  // the erasing line stops short of its own last point
    EXPECT_EQ(window, backing);
}

TEST_F(TurtleSurfaceTest, TheTriangleLeavesNoTrace) {
    draw("PU ST RT 17 FD 13 LT 100 SETPOS [-99 49] SETH 200 HOME");
    EXPECT_FALSE(allWhite(window));
    EXPECT_EQ(window, backing);
    draw("HT");
    EXPECT_TRUE(allWhite(window));
    EXPECT_TRUE(allWhite(backing));
    // An inverted triangle over drawing comes off the same way.
    draw("ST SETFORECOLOR 4 PAINTRECT [-20 20 20 -20] RT 45 HT");
    EXPECT_EQ(count(window, kBlue), 1600);
}

TEST_F(TurtleSurfaceTest, FillStaysInsideItsBoundary) {
    draw("HT PU SETPOS [-10 -10] PD REPEAT 4 [FD 20 RT 90] PU SETPOS [0 0] SETPC 3 FILL");
    EXPECT_EQ(window.pixel(100, 50), kGreen);
    EXPECT_EQ(window.pixel(91, 41), kGreen);
    EXPECT_EQ(window.pixel(90, 50), kBlack);
    EXPECT_EQ(window.pixel(89, 50), kWhite);
    EXPECT_EQ(count(window, kGreen), 19 * 19);
    EXPECT_EQ(window, backing);
    // Filling a region with its own colour changes nothing; outside, the square stays whole.
    draw("FILL SETPOS [50 30] SETPC 2 FILL");
    EXPECT_EQ(count(window, kGreen), 19 * 19);
    EXPECT_EQ(count(window, kBlack), 80);
    EXPECT_EQ(count(window, kRed), 200 * 100 - 80 - 19 * 19);
    EXPECT_EQ(window, backing);
}

TEST_F(TurtleSurfaceTest, ShapesFrameFillEraseAndInvert) {
    draw("HT PAINTRECT [-10 10 10 -10]");
    EXPECT_EQ(window.pixel(90, 40), kBlack);
    EXPECT_EQ(window.pixel(109, 59), kBlack);
    EXPECT_EQ(window.pixel(110, 50), kWhite);
    EXPECT_EQ(count(window, kBlack), 400);
    draw("INVERTRECT [-10 10 10 -10]");
    EXPECT_TRUE(allWhite(window));

    // The frame lies inside the rectangle, the pen's width across and its height down.
    draw("SETFORECOLOR 2 SETPENSIZE 3 2 FRAMERECT [-50 40 50 -40]");
    EXPECT_EQ(window.pixel(50, 50), kRed);
    EXPECT_EQ(window.pixel(52, 50), kRed);
    EXPECT_EQ(window.pixel(53, 50), kWhite);
    EXPECT_EQ(window.pixel(100, 11), kRed);
    EXPECT_EQ(window.pixel(100, 12), kWhite);
    EXPECT_EQ(window.pixel(149, 89), kRed);
    EXPECT_EQ(window.pixel(150, 89), kWhite);

    draw("SETBACKCOLOR 4 ERASEOVAL [-50 40 50 -40]");
    EXPECT_EQ(window.pixel(100, 50), kBlue);
    EXPECT_EQ(window.pixel(50, 10), kRed);  // the corner is outside the oval
    // A wedge from straight up a quarter turn clockwise.
    draw("SETFORECOLOR 3 PAINTARC [-50 40 50 -40] 0 90");
    EXPECT_EQ(window.pixel(120, 30), kGreen);
    EXPECT_EQ(window.pixel(80, 30), kBlue);
    EXPECT_EQ(window.pixel(120, 70), kBlue);
    EXPECT_EQ(window, backing);
}

TEST_F(TurtleSurfaceTest, FarShapesAndLinesAreCutToTheWindow) {
    draw("HT PAINTOVAL [-1E9 1E9 1E9 -1E9] SETPC 2 PU SETPOS [-2000000000 5] PD SETX 2000000000");
    EXPECT_EQ(window.pixel(0, 0), kBlack);
    EXPECT_EQ(count(window, kRed), 200);
    EXPECT_EQ(window, backing);
}

TEST_F(TurtleSurfaceTest, TextIsDrawnAndMeasuredInTheFont) {
    draw("HT SETFONTFAMILY 3 SETFONTSIZE 14 TURTLEIO PU SETPOS [-90 40] PRINT \"Hello TEXTIO");
    EXPECT_FALSE(allWhite(window));
    EXPECT_EQ(window, backing);
    const script::SurfaceFont font{"Geneva", 14, 0};
    EXPECT_EQ(TurtleSurface::qtFont(font).family(), "arial");
    EXPECT_EQ(TurtleSurface::qtFont({}).family(), "Times New Roman");
    EXPECT_GT(surface.textWidth("Hello", font), surface.textWidth("Hi", font));
    EXPECT_GT(surface.fontMetrics(font).ascent, 0);
}

TEST(PlayerTurtle, AScriptDrawsOnTheCardAndItsPicture) {
    ensureTestApplication();
    HeadlessHost host;
    Player player(host);
    const int presents = host.presents;
    player.scripts().run("HT FD 50");
    const QImage& screen = player.screen();
    EXPECT_EQ(screen.pixel(screen.width() / 2, screen.height() / 2 - 50 + 1), kBlack);
    EXPECT_GT(host.presents, presents);
    // A repaint comes from the picture, which holds the drawing too.
    player.paintCardRect(screen.rect());
    EXPECT_EQ(player.screen().pixel(screen.width() / 2, screen.height() / 2 - 10), kBlack);

    // The turtle is kept with the window between scripts. Another card (its picture new, drawn
    // into the same window image as a transition does) has lost the triangle.
    player.scripts().run("PU ST");
    player.screen().fill(Qt::white);
    player.cardPicture().image = player.screen().copy();
    player.scripts().run("RT 90 HT PRINT POS");
    EXPECT_TRUE(allWhite(player.screen()));
    EXPECT_NE(player.scripts().printed().find("0 50"), std::string::npos);
}

TEST(PlayerTurtle, ActionListScriptsPrintInTheDrawingWindowUntilTextIoIsChosen) {
    ensureTestApplication();
    HeadlessHost host;
    Player player(host);
    player.screen().fill(Qt::white);
    player.cardPicture().image = player.screen().copy();
    // Other runs (the stack's saved workspace, a typed line) print as text.
    player.scripts().run("HT PRINT \"plain");
    EXPECT_NE(player.scripts().printed().find("plain"), std::string::npos);
    EXPECT_TRUE(allWhite(player.screen()));
    // A button's script draws what it prints on the card, until it asks for TEXTIO.
    player.media.runScript("HT PRINT \"drawn TEXTIO PRINT \"typed");
    EXPECT_FALSE(allWhite(player.screen()));
    EXPECT_EQ(player.scripts().printed().find("drawn"), std::string::npos);
    EXPECT_NE(player.scripts().printed().find("typed"), std::string::npos);
}

} // namespace
} // namespace cv::test
