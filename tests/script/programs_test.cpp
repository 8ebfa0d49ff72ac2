// Small Quillscript programs run through the quill tool, compared with their exact output.
// programs/NAME.logo is run as `quill NAME.logo` in an empty working folder of its own, with
// NAME.in (when present) as its standard input; NAME.out holds the expected standard output
// and NAME.err, when present, the expected standard error (the exit status is then 1).
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

fs::path programsDir() { return fs::path(CV_TEST_DATA).parent_path() / "script" / "programs"; }

struct Result {
    std::string out, err;
    int status = -1;
};

Result runQuill(const fs::path& program) {
    const fs::path quill = fs::path(CV_BIN_DIR) / "quill";
    const fs::path errFile = fs::temp_directory_path() / ("quill_err_" + std::to_string(::getpid()) + ".txt");
    std::string work = (fs::temp_directory_path() / "quill_workXXXXXX").string();
    if (!::mkdtemp(work.data())) return {};
    fs::path input = program;
    input.replace_extension(".in");
    const std::string in = fs::exists(input) ? input.string() : "/dev/null";
    const std::string cmd = "cd '" + work + "' && '" + quill.string() + "' '" + program.string() + "' 2>'" +
                            errFile.string() + "' <'" + in + "'";
    Result r;
    FILE* p = ::popen(cmd.c_str(), "r");
    if (p) {
        char buf[4096];
        size_t n;
        while ((n = std::fread(buf, 1, sizeof buf, p)) > 0) r.out.append(buf, n);
        const int st = ::pclose(p);
        r.status = WIFEXITED(st) ? WEXITSTATUS(st) : -1;
    }
    r.err = readAll(errFile);
    fs::remove(errFile);
    std::error_code ec;
    fs::remove_all(work, ec);
    return r;
}

TEST(QuillPrograms, EveryProgramPrintsItsExpectedOutput) {
    ASSERT_TRUE(fs::exists(fs::path(CV_BIN_DIR) / "quill")) << "build the quill target first";
    int count = 0;
    for (const auto& entry : fs::directory_iterator(programsDir())) {
        if (entry.path().extension() != ".logo") continue;
        ++count;
        fs::path expectOut = entry.path(), expectErr = entry.path();
        expectOut.replace_extension(".out");
        expectErr.replace_extension(".err");
        const Result r = runQuill(entry.path());
        const std::string name = entry.path().filename().string();
        EXPECT_EQ(r.out, readAll(expectOut)) << name;
        const std::string err = fs::exists(expectErr) ? readAll(expectErr) : std::string();
        EXPECT_EQ(r.err, err) << name;
        EXPECT_EQ(r.status, err.empty() ? 0 : 1) << name;
    }
    EXPECT_GE(count, 5);
}

TEST(QuillPrograms, TextsRunInOrderInOneWorkspace) {
    const fs::path quill = fs::path(CV_BIN_DIR) / "quill";
    ASSERT_TRUE(fs::exists(quill));
    const std::string cmd = "'" + quill.string() +
                            "' -e 'TO TWICE :X' -e 'PRINT 1' -e 'PRINT 2' </dev/null 2>&1";
    FILE* p = ::popen(cmd.c_str(), "r");
    ASSERT_NE(p, nullptr);
    std::string out;
    char buf[1024];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
    const int st = ::pclose(p);
    // A definition cannot run past its own text: the first run ends in error 71.
    EXPECT_EQ(out, "Logo Error: You used a TO without an END\n\nAt: TO TWICE :X\n1\n2\n");
    EXPECT_EQ(WEXITSTATUS(st), 1);
}

TEST(QuillPrograms, TerminalTextIsUtf8) {
    const fs::path quill = fs::path(CV_BIN_DIR) / "quill";
    ASSERT_TRUE(fs::exists(quill));
    const std::string cmd = "'" + quill.string() + "' -e 'PRINT \"caf\xC3\xA9' </dev/null 2>/dev/null";
    FILE* p = ::popen(cmd.c_str(), "r");
    ASSERT_NE(p, nullptr);
    std::string out;
    char buf[256];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
    ::pclose(p);
    EXPECT_EQ(out.substr(0, 6), "caf\xC3\xA9\n");
}

} // namespace
