// The viewing tools (cvstack info, dump, resave, render, export, transitions) show a stack as
// it is stored and never run any of it: not its workspace, nor card or stack actions, scripts,
// timers or sounds.
#include <QGuiApplication>
#include <QImage>
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "browse_fixture.h"

namespace cv::test {
namespace {

namespace fs = std::filesystem;

// Card 1 is red; arriving at it (or at the stack) runs a script that paints the card and
// names no procedure, then goes on to card 2 (green, with a field that would be made active).
// The saved workspace names no procedure either: anything that runs shows an error.
std::string manifest(bool fieldInactive) {
    return std::string(R"({"card_width": 100, "card_height": 80, "stack_actions": {"arrive": 4},
      "cards": [
        {"name": "A", "background": {"colour": "#FF0000"}, "actions": {"arrive": 4}},
        {"name": "B", "background": {"colour": "#00FF00"}, "objects": [
          {"kind": "text", "id": 1, "rect": [10, 10, 90, 40], "text": "hi", "back_colour": 1,
           "styles": [{"start": 0, "font": "Arial", "size": 12}], "inactive": )") +
           (fieldInactive ? "true" : "false") + R"(}]}],
      "resources": [
        {"type": "Actn", "id": 4, "go": "next",
         "actions": [{"type": "script", "text": "SETBGRGB [0 0 255] CS RANOUTOFWORDS"}]},
        {"type": "WKSp", "text": "RANOUTOFWORDS"}]})";
}

struct ToolRun {
    int status = 0;
    std::string err;
};

ToolRun cvstack(const std::string& args, const fs::path& dir) {
    const fs::path err = dir / "stderr.txt";
    const std::string cmd = std::string(CV_BIN_DIR) + "/cvstack " + args + " 2>'" + err.string() + "' >/dev/null";
    ToolRun r;
    r.status = std::system(cmd.c_str());
    std::ifstream in(err);
    std::ostringstream text;
    text << in.rdbuf();
    r.err = text.str();
    return r;
}

QRgb pixel(const fs::path& png, int x, int y) { return QImage(QString::fromStdString(png.string())).pixel(x, y) & 0xFFFFFFu; }

class ViewingToolsTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (!QGuiApplication::instance()) {
            static int argc = 1;
            static char name[] = "test_player";
            static char* argv[] = {name, nullptr};
            static QGuiApplication app(argc, argv);
        }
        stack = buildStack(manifest(false));
        dir = fs::path(stack).parent_path();
    }
    std::string stack;
    fs::path dir;
};

TEST_F(ViewingToolsTest, RenderAndExportShowTheCardAsStored) {
    const fs::path out = dir / "card1.png";
    ToolRun r = cvstack("render '" + stack + "' --card 1 -o '" + out.string() + "'", dir);
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err.find("RANOUTOFWORDS"), std::string::npos) << "a script ran: " << r.err;
    EXPECT_EQ(pixel(out, 50, 60), 0xFF0000u) << "card 1's own picture, not painted over, not card 2";
    // No caret or selection: card 2 as it is when its field is never made active.
    const fs::path card2 = dir / "card2.png", plain = dir / "plain.png";
    ASSERT_EQ(cvstack("render '" + stack + "' --card 2 -o '" + card2.string() + "'", dir).status, 0);
    ASSERT_EQ(cvstack("render '" + buildStack(manifest(true)) + "' --card 2 -o '" + plain.string() + "'", dir).status, 0);
    EXPECT_TRUE(QImage(QString::fromStdString(card2.string())) == QImage(QString::fromStdString(plain.string())));

    r = cvstack("export '" + stack + "' -o '" + (dir / "all").string() + "'", dir);
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err.find("RANOUTOFWORDS"), std::string::npos) << r.err;
    EXPECT_EQ(pixel(dir / "all" / "card-001.png", 50, 60), 0xFF0000u);
    EXPECT_EQ(pixel(dir / "all" / "card-002.png", 50, 60), 0x00FF00u);
}

TEST_F(ViewingToolsTest, TransitionsRunBetweenTheCardsAsStored) {
    const ToolRun r = cvstack("transitions '" + stack + "' --from 1 --to 2 --number 1 -o '" + (dir / "t").string() + "'", dir);
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err.find("RANOUTOFWORDS"), std::string::npos) << r.err;
    // The strip's first frame (after a 6-pixel margin and the 18-pixel title) is card 1.
    EXPECT_EQ(pixel(dir / "t" / "transition-01.png", 6 + 50, 24 + 60), 0xFF0000u);
}

TEST_F(ViewingToolsTest, InfoDumpAndResaveRunNothing) {
    for (const std::string args : {"info '" + stack + "'", "dump '" + stack + "'",
                                   "resave '" + stack + "' '" + (dir / "again.stk").string() + "'"}) {
        const ToolRun r = cvstack(args, dir);
        EXPECT_EQ(r.status, 0) << args << ": " << r.err;
        EXPECT_EQ(r.err.find("RANOUTOFWORDS"), std::string::npos) << args << ": " << r.err;
    }
}

} // namespace
} // namespace cv::test
