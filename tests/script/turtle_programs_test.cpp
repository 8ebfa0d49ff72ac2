// Turtle programs run through `quill --canvas`, compared with their exact output. Each
// programs/canvas/NAME.logo begins with the line "; canvas WIDTHxHEIGHT"; NAME.out holds the
// expected standard output and NAME.err, when present, the expected standard error.
#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

namespace {

namespace fs = std::filesystem;

std::string readAll(const fs::path& p) {
    std::ifstream f(p, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
}

const fs::path& quill() {
    static const fs::path q = fs::path(CV_BIN_DIR) / "quill";
    return q;
}

struct Result {
    std::string out, err;
    int status = -1;
};

// Runs quill with `arguments` (already quoted for the shell) and `input` on standard input.
Result runQuill(const std::string& arguments, const std::string& input = "", const std::string& env = "") {
    const fs::path errFile = fs::temp_directory_path() / ("quill_turtle_err_" + std::to_string(::getpid()));
    const fs::path inFile = fs::temp_directory_path() / ("quill_turtle_in_" + std::to_string(::getpid()));
    std::ofstream(inFile, std::ios::binary) << input;
    const std::string cmd = env + " '" + quill().string() + "' " + arguments + " 2>'" + errFile.string() + "' <'" +
                            inFile.string() + "'";
    Result r;
    if (FILE* p = ::popen(cmd.c_str(), "r")) {
        char buf[4096];
        size_t n;
        while ((n = std::fread(buf, 1, sizeof buf, p)) > 0) r.out.append(buf, n);
        const int st = ::pclose(p);
        r.status = WIFEXITED(st) ? WEXITSTATUS(st) : -1;
    }
    r.err = readAll(errFile);
    fs::remove(errFile);
    fs::remove(inFile);
    return r;
}

TEST(TurtlePrograms, EveryProgramDrawsToItsExpectedOutput) {
    ASSERT_TRUE(fs::exists(quill())) << "build the quill target first";
    const fs::path dir = fs::path(CV_TEST_DATA).parent_path() / "script" / "programs" / "canvas";
    int count = 0;
    for (const auto& entry : fs::directory_iterator(dir)) {
        if (entry.path().extension() != ".logo") continue;
        ++count;
        const std::string text = readAll(entry.path());
        const std::string marker = "; canvas ";
        ASSERT_EQ(text.rfind(marker, 0), 0u) << entry.path();
        const std::string size = text.substr(marker.size(), text.find('\n') - marker.size());
        fs::path expectOut = entry.path(), expectErr = entry.path();
        expectOut.replace_extension(".out");
        expectErr.replace_extension(".err");
        const Result r = runQuill("--canvas " + size + " '" + entry.path().string() + "'");
        const std::string name = entry.path().filename().string();
        EXPECT_EQ(r.out, readAll(expectOut)) << name;
        const std::string err = fs::exists(expectErr) ? readAll(expectErr) : std::string();
        EXPECT_EQ(r.err, err) << name;
        EXPECT_EQ(r.status, err.empty() ? 0 : 1) << name;
    }
    EXPECT_GE(count, 3);
}

TEST(TurtlePrograms, TheCanvasIsWrittenAsASnapshot) {
    const fs::path png = fs::temp_directory_path() / ("quill_turtle_" + std::to_string(::getpid()) + ".png");
    const Result r = runQuill("--canvas 50x40 --snapshot '" + png.string() + "' -e 'FD 10 PRINT POS'");
    EXPECT_EQ(r.out, "0 10\n");
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.status, 0);
    const std::string data = readAll(png);
    fs::remove(png);
    ASSERT_GE(data.size(), 24u);
    EXPECT_EQ(data.substr(1, 3), "PNG");
    auto be32 = [&](size_t at) {
        return (unsigned(uint8_t(data[at])) << 24) | (unsigned(uint8_t(data[at + 1])) << 16) |
               (unsigned(uint8_t(data[at + 2])) << 8) | unsigned(uint8_t(data[at + 3]));
    };
    EXPECT_EQ(be32(16), 50u);
    EXPECT_EQ(be32(20), 40u);
}

// The prompt with a canvas shows a window (here on the headless platform) drawn as the lines are
// typed, and ends with the input; its picture is the one a script run draws.
TEST(TurtlePrograms, ThePromptWithACanvasShowsTheDrawingAndEndsWithTheInput) {
    const std::string tag = std::to_string(::getpid());
    const fs::path shown = fs::temp_directory_path() / ("quill_shown_" + tag + ".png");
    const fs::path run = fs::temp_directory_path() / ("quill_run_" + tag + ".png");
    const fs::path blank = fs::temp_directory_path() / ("quill_blank_" + tag + ".png");
    const Result r = runQuill("--canvas 200x150 --snapshot '" + shown.string() + "'", "FD 50\nPRINT POS\n",
                              "QT_QPA_PLATFORM=offscreen");
    EXPECT_EQ(r.out, "0 50\n");
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(runQuill("--canvas 200x150 --snapshot '" + run.string() + "' -e 'FD 50'").status, 0);
    EXPECT_EQ(runQuill("--canvas 200x150 --snapshot '" + blank.string() + "'", "", "QT_QPA_PLATFORM=offscreen").status, 0);
    const std::string drawn = readAll(shown), expected = readAll(run), empty = readAll(blank);
    for (const fs::path& p : {shown, run, blank}) fs::remove(p);
    ASSERT_GE(drawn.size(), 24u);
    EXPECT_EQ(drawn, expected);
    EXPECT_NE(drawn, empty);

    // Without a display there is no window: one line says so and the prompt runs all the same.
    const Result plain = runQuill("--canvas 200x150", "PRINT 1\n", "env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM");
    EXPECT_EQ(plain.out, "1\n");
    EXPECT_EQ(plain.err, "quill: no display; the drawing is not shown\n");
    EXPECT_EQ(plain.status, 0);
}

TEST(TurtlePrograms, WithoutACanvasTheTurtleDoesNothing) {
    const Result r = runQuill("-e 'FD 10 PRINT POS PRINT HEADING'");
    EXPECT_EQ(r.out, "\n0\n");
    EXPECT_EQ(r.status, 0);
    for (const char* bad : {"--canvas 0x10", "--canvas 10", "--canvas 10x10x", "--snapshot x.png -e 'FD 1'", "--canvas"}) {
        const Result b = runQuill(bad);
        EXPECT_EQ(b.status, 2) << bad;
        EXPECT_NE(b.err.find("usage"), std::string::npos) << bad;
    }
}

} // namespace
