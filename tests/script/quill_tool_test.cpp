// The quill tool as a person runs it: small programs compared with their exact output, texts
// given with -e, the drawing canvas and its snapshot, and the sandbox. programs/NAME.logo (and
// programs/canvas/NAME.logo, whose first line is "; canvas WIDTHxHEIGHT") runs in an empty
// working folder of its own with NAME.in, when present, as its standard input; NAME.out holds the
// expected standard output and NAME.err, when present, the expected standard error (the exit
// status is then 1).
#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "script/file_world.h"

namespace {

namespace fs = std::filesystem;
using cv::script::FileWorld;

// The file's bytes; "" when there is no such file.
std::string readAll(const fs::path& p) {
    std::ifstream f(p, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
}

fs::path tempFolder(const char* stem) {
    std::string t = (fs::temp_directory_path() / (std::string(stem) + "XXXXXX")).string();
    return ::mkdtemp(t.data()) ? fs::path(t) : fs::path();
}

struct Result {
    std::string out, err;
    int status = -1;
};

// Runs `PREFIX quill ARGUMENTS` (quoted for the shell) with `input` on standard input.
Result quill(const std::string& arguments, const std::string& input = "", const std::string& prefix = "") {
    const std::string io = (fs::temp_directory_path() / ("quill_io_" + std::to_string(::getpid()))).string();
    std::ofstream(io + ".in", std::ios::binary) << input;
    const std::string cmd = prefix + " '" + (fs::path(CV_BIN_DIR) / "quill").string() + "' " + arguments + " 2>'" +
                            io + ".err' <'" + io + ".in'";
    Result r;
    if (FILE* p = ::popen(cmd.c_str(), "r")) {
        char buf[4096];
        size_t n;
        while ((n = std::fread(buf, 1, sizeof buf, p)) > 0) r.out.append(buf, n);
        const int st = ::pclose(p);
        r.status = WIFEXITED(st) ? WEXITSTATUS(st) : -1;
    }
    r.err = readAll(io + ".err");
    fs::remove(io + ".err");
    fs::remove(io + ".in");
    return r;
}

TEST(QuillPrograms, EveryProgramPrintsItsExpectedOutput) {
    ASSERT_TRUE(fs::exists(fs::path(CV_BIN_DIR) / "quill")) << "build the quill target first";
    const fs::path programs = fs::path(CV_TEST_DATA).parent_path() / "script" / "programs";
    int count = 0;
    for (const fs::path& dir : {programs, programs / "canvas"}) {
        for (const auto& entry : fs::directory_iterator(dir)) {
            const fs::path& logo = entry.path();
            if (logo.extension() != ".logo") continue;
            ++count;
            auto sibling = [&](const char* ext) { return fs::path(logo).replace_extension(ext); };
            const std::string text = readAll(logo), marker = "; canvas ";
            const std::string canvas =
                text.rfind(marker, 0) == 0 ? "--canvas " + text.substr(marker.size(), text.find('\n') - marker.size()) : "";
            const fs::path work = tempFolder("quill_work");
            const Result r = quill(canvas + " '" + logo.string() + "'", readAll(sibling(".in")), "cd '" + work.string() + "' &&");
            std::error_code ec;
            fs::remove_all(work, ec);
            const std::string err = readAll(sibling(".err"));
            EXPECT_EQ(r.out, readAll(sibling(".out"))) << logo.filename();
            EXPECT_EQ(r.err, err) << logo.filename();
            EXPECT_EQ(r.status, err.empty() ? 0 : 1) << logo.filename();
        }
    }
    EXPECT_GE(count, 8);
}

TEST(QuillPrograms, TextsRunInOrderAndTerminalTextIsUtf8) {
    // A definition cannot run past its own text: the first run ends in error 71, the others run.
    const Result r = quill("-e 'TO TWICE :X' -e 'PRINT 1' -e 'PRINT \"caf\xC3\xA9'");
    EXPECT_EQ(r.out, "1\ncaf\xC3\xA9\n");
    EXPECT_EQ(r.err, "Logo Error: You used a TO without an END\n\nAt: TO TWICE :X\n");
    EXPECT_EQ(r.status, 1);
}

// The prompt with a canvas shows a window (here on the headless platform) drawn as the lines are
// typed, and ends with the input; its picture is the one a script run draws.
TEST(TurtlePrograms, ThePromptWithACanvasShowsTheDrawingAndEndsWithTheInput) {
    const std::string tag = std::to_string(::getpid());
    const fs::path shown = fs::temp_directory_path() / ("quill_shown_" + tag + ".png");
    const fs::path run = fs::temp_directory_path() / ("quill_run_" + tag + ".png");
    const fs::path blank = fs::temp_directory_path() / ("quill_blank_" + tag + ".png");
    const Result r = quill("--canvas 200x150 --snapshot '" + shown.string() + "'", "FD 50\nPRINT POS\n",
                           "QT_QPA_PLATFORM=offscreen");
    EXPECT_EQ(r.out, "0 50\n");
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(quill("--canvas 200x150 --snapshot '" + run.string() + "' -e 'FD 50 PRINT POS'").out, "0 50\n");
    EXPECT_EQ(quill("--canvas 200x150 --snapshot '" + blank.string() + "'", "", "QT_QPA_PLATFORM=offscreen").status, 0);
    const std::string drawn = readAll(shown), expected = readAll(run), empty = readAll(blank);
    for (const fs::path& p : {shown, run, blank}) fs::remove(p);
    // A PNG of the canvas's size.
    ASSERT_GE(expected.size(), 24u);
    EXPECT_EQ(expected.substr(1, 3), "PNG");
    EXPECT_EQ(expected.substr(16, 8), std::string("\0\0\0\xC8\0\0\0\x96", 8));
    EXPECT_EQ(drawn, expected);
    EXPECT_NE(drawn, empty);

    // Without a display there is no window: one line says so and the prompt runs all the same.
    const Result plain = quill("--canvas 200x150", "PRINT 1\n", "env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM");
    EXPECT_EQ(plain.out, "1\n");
    EXPECT_EQ(plain.err, "quill: no display; the drawing is not shown\n");
    EXPECT_EQ(plain.status, 0);
}

TEST(TurtlePrograms, WithoutACanvasTheTurtleDoesNothing) {
    const Result r = quill("-e 'FD 10 PRINT POS PRINT HEADING'");
    EXPECT_EQ(r.out, "\n0\n");
    EXPECT_EQ(r.status, 0);
    for (const char* bad : {"--canvas 0x10", "--canvas 10", "--canvas 10x10x", "--snapshot x.png -e 'FD 1'", "--canvas"}) {
        const Result b = quill(bad);
        EXPECT_EQ(b.status, 2) << bad;
        EXPECT_NE(b.err.find("usage"), std::string::npos) << bad;
    }
}

TEST(QuillSandbox, TheFolderPlaysTheStacksFolderAndWritesGoToItsDataFolder) {
    const fs::path root = tempFolder("cvquillbox");
    fs::create_directories(root / "box");
    std::ofstream(root / "box/in.txt") << "inside\n";
    std::ofstream(root / "secret.txt") << "secret\n";
    const std::string data = "XDG_DATA_HOME='" + (root / "data").string() + "'";
    const Result boxed = quill("--sandbox '" + (root / "box").string() +
                                   "' -e 'POFILE \"IN.TXT SAVE \"C:\\\\OUT.LGO' -e 'POFILE \"../secret.txt'",
                               "", data);
    EXPECT_EQ(boxed.out, "inside\n");
    EXPECT_EQ(boxed.err, "Logo Error: Can't read from \"../secret.txt\n\nAt: POFILE \"../secret.txt\n");
    EXPECT_TRUE(fs::exists(
        fs::path(FileWorld::DataFolderFor((root / "data/corvella/stacks").string(), (root / "box").string())) / "OUT.LGO"));
    EXPECT_FALSE(fs::exists(root / "box/OUT.LGO"));
    // Without it, the scripts are the person's own.
    EXPECT_EQ(quill("-e 'POFILE \"" + (root / "secret.txt").string() + "'", "", data).out, "secret\n");
    EXPECT_EQ(quill("--sandbox '" + (root / "none").string() + "' -e 'PRINT 1'", "", data).err.substr(0, 7), "quill: ");
    std::error_code ec;
    fs::remove_all(root, ec);
}

} // namespace
