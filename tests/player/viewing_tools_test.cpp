// The viewing tools (cvstack info, dump, resave, render, export, transitions) show a stack as
// it is stored and never run any of it: not its workspace, nor card or stack actions, scripts,
// timers or sounds.
#include <QImage>
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "browse_fixture.h"
#include "test_application.h"

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
        ensureTestApplication();
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
    for (const std::string& args : {"info '" + stack + "'", "dump '" + stack + "'",
                                   "resave '" + stack + "' '" + (dir / "again.stk").string() + "'"}) {
        const ToolRun r = cvstack(args, dir);
        EXPECT_EQ(r.status, 0) << args << ": " << r.err;
        EXPECT_EQ(r.err.find("RANOUTOFWORDS"), std::string::npos) << args << ": " << r.err;
    }
}

TEST_F(ViewingToolsTest, RenderWritesTheFormatItsNameEndsIn) {
    auto head = [](const fs::path& file, size_t n) {
        std::ifstream in(file, std::ios::binary);
        std::string bytes(n, '\0');
        in.read(bytes.data(), std::streamsize(n));
        return bytes;
    };
    const std::pair<const char*, std::string> kinds[] = {
        {"c.png", "\x89PNG"}, {"c.PPM", "P6"}, {"c.jpg", "\xFF\xD8\xFF"}, {"c.Jpeg", "\xFF\xD8\xFF"}, {"c.bmp", "BM"}};
    for (const auto& [name, magic] : kinds) {
        const ToolRun r = cvstack("render '" + stack + "' --card 2 -o '" + (dir / name).string() + "'", dir);
        EXPECT_EQ(r.status, 0) << name << ": " << r.err;
        EXPECT_EQ(head(dir / name, magic.size()), magic) << name;
    }
    // Any other name is refused, with the reason, and nothing is written.
    const ToolRun r = cvstack("render '" + stack + "' -o '" + (dir / "c.gif").string() + "'", dir);
    EXPECT_NE(r.status, 0);
    EXPECT_NE(r.err.find("c.gif"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find(".png, .ppm, .jpg, .jpeg or .bmp"), std::string::npos) << r.err;
    EXPECT_FALSE(fs::exists(dir / "c.gif"));
}

TEST_F(ViewingToolsTest, ExportShowsABarOnATerminalAndLinesElsewhere) {
    const ToolRun lines = cvstack("export '" + stack + "' -o '" + (dir / "a").string() + "'", dir);
    ASSERT_EQ(lines.status, 0) << lines.err;
    EXPECT_NE(lines.err.find("exporting card 1 of 2\nexporting card 2 of 2\n"), std::string::npos) << lines.err;
    EXPECT_EQ(lines.err.find('\r'), std::string::npos);
    // On a terminal (util-linux's script gives it one): one bar, redrawn.
    if (std::system("command -v script >/dev/null 2>&1") != 0) GTEST_SKIP() << "no script(1) to give a terminal";
    const fs::path typescript = dir / "terminal.txt";
    const std::string cmd = "script -qec \"'" + std::string(CV_BIN_DIR) + "/cvstack' export '" + stack + "' -o '" +
                            (dir / "b").string() + "'\" /dev/null >'" + typescript.string() + "' 2>&1";
    ASSERT_EQ(std::system(cmd.c_str()), 0);
    std::ifstream in(typescript, std::ios::binary);
    const std::string shown((std::istreambuf_iterator<char>(in)), {});
    EXPECT_NE(shown.find("\rexporting [###############---------------] 1 of 2 cards"), std::string::npos) << shown;
    EXPECT_NE(shown.find("\rexporting [##############################] 2 of 2 cards"), std::string::npos) << shown;
    EXPECT_EQ(shown.find("exporting card"), std::string::npos) << shown;
}

} // namespace
} // namespace cv::test
