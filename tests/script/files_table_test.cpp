// The table of open files: opening and closing by name, the reader and writer, positions,
// and where printed text goes.
#include <sys/resource.h>

#include <csignal>

#include "files_fixture.h"

namespace cv::script::test {
namespace {

using FilesTableTest = FilesTest;

TEST_F(FilesTableTest, OpenCreatesOrKeepsAndCloseFindsTheNameInAnyCase) {
    put("old.txt", "kept text\n");
    EXPECT_EQ(run("OPEN \"new.txt OPEN \"old.txt SHOW ALLOPEN"), "[new.txt old.txt]\n");
    EXPECT_TRUE(exists("new.txt"));
    EXPECT_EQ(contents("old.txt"), "kept text\n");
    EXPECT_EQ(run("CLOSE \"OLD.TXT SHOW ALLOPEN CLOSE \"new.txt SHOW ALLOPEN"), "[new.txt]\n[]\n");
    EXPECT_EQ(errorCount(), 0u);

    run("CLOSE \"old.txt");
    EXPECT_EQ(lastError(), "Logo Error: old.txt is not open\n\nAt: CLOSE \"old.txt");
    EXPECT_EQ(errorOf("OPEN [a b]"), "Logo Error: OPEN doesn't like [a b] as input");
    std::filesystem::create_directory(at("sub"));
    EXPECT_EQ(errorOf("OPEN \"sub"), "Logo Error: Can't read from \"sub");
    EXPECT_EQ(run("SHOW ALLOPEN"), "[]\n");  // a failed OPEN leaves the table as it was
}

TEST_F(FilesTableTest, ANinthFileTakesAFreedPlace) {
    // The program files_table has the ninth refused; here the freed place is taken again.
    EXPECT_EQ(run("OPEN 1 OPEN 2 OPEN 3 OPEN 4 OPEN 5 OPEN 6 OPEN 7 OPEN 8 CLOSE 4 OPEN 9 SHOW ALLOPEN"),
              "[1 2 3 9 5 6 7 8]\n");
}

TEST_F(FilesTableTest, PrintingGoesToTheWriterAndOtherTextDoesNot) {
    const std::string shown = run(
        "OPEN \"out.txt SETWRITE \"out.txt SHOW WRITER\n"
        "PRINT [a [b c]] TYPE \"x SHOW [y] (PRINT \"car\\x0Dret 1.5) SHOW WRITEPOS\n"
        "NODES\n"
        "SETWRITE [] PRINT \"screen SHOW WRITER CLOSE \"out.txt");
    EXPECT_EQ(errorCount(), 0u);
    // The first SHOW already went to the file; NODES is not printing.
    EXPECT_EQ(contents("out.txt"), "out.txt\na [b c]\nx[y]\ncar\nret 1.5\n33\n");
    EXPECT_NE(shown.find("free nodes."), std::string::npos);
    EXPECT_EQ(shown.substr(shown.find('\n') + 1), "screen\n[]\n");
}

TEST_F(FilesTableTest, ReadingLinesWordsAndTheEnd) {
    put("in.txt", "first [list] 2\r\nsecond\rthird");
    EXPECT_EQ(run("OPEN \"in.txt SETREAD \"IN.TXT SHOW READER\n"
                  "SHOW READLIST SHOW READWORD SHOW READWORD SHOW KEYP SHOW READWORD SHOW KEYP SHOW READWORD"),
              "in.txt\n[first [list] 2]\n\nsecond\nTRUE\nthird\nFALSE\n\n");
    // Closing the reader's file lets go of it.
    EXPECT_EQ(run("CLOSE \"in.txt SHOW READER"), "[]\n");
    EXPECT_EQ(errorOf("SETREAD \"in.txt"), "Logo Error: in.txt is not open");
}

TEST_F(FilesTableTest, OneFileAsReaderAndWriterSharesItsPosition) {
    put("rw.txt", "0123456789\n");
    EXPECT_EQ(run("OPEN \"rw.txt SETREAD \"rw.txt SETWRITE \"rw.txt\n"
                  "SETWRITEPOS 4 TYPE \"ab SETWRITE [] SHOW READPOS SHOW READWORD SHOW READPOS\n"
                  "SETWRITE \"rw.txt PRINT \"end SETWRITE []\n"
                  "SETREADPOS 0 SHOW READWORD SHOW READWORD SHOW FILELEN \"rw.txt SHOW READPOS"),
              "6\n6789\n11\n0123ab6789\nend\n15\n15\n");
    EXPECT_EQ(errorCount(), 0u);
    run("CLOSE \"rw.txt");
    EXPECT_EQ(contents("rw.txt"), "0123ab6789\nend\n");
}

TEST_F(FilesTableTest, PositionsWantTheirFile) {
    run("READPOS");
    EXPECT_EQ(lastError(), "Logo Error: READPOS wants a reader file\n\nAt: READPOS");
    EXPECT_EQ(errorOf("SETREADPOS 3"), "Logo Error: SETREADPOS wants a reader file");
    EXPECT_EQ(errorOf("SHOW WRITEPOS"), "Logo Error: WRITEPOS wants a writer file");
    EXPECT_EQ(errorOf("SETWRITEPOS 0"), "Logo Error: SETWRITEPOS wants a writer file");
    EXPECT_EQ(errorOf("OPEN \"f SETREAD \"f SETREADPOS -1"), "Logo Error: Disk IO Error");
    EXPECT_EQ(errorOf("SETREADPOS \"x"), "Logo Error: SETREADPOS doesn't like \"x as input");
    EXPECT_EQ(errorOf("SHOW FILELEN \"g"), "Logo Error: g is not open");
    EXPECT_EQ(run("CATCH \"ERROR [SETWRITE \"nope] SHOW ERROR SHOW WRITER"), "[45]\n[]\n");
}

TEST_F(FilesTableTest, DataTheFileCannotTakeIsReportedAtClose) {
    // Files may not grow past 4 bytes: the writer's overflow must not pass in silence.
    struct rlimit saved {};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
    auto* oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    struct rlimit small = saved;
    small.rlim_cur = 4;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    run("OPEN \"big SETWRITE \"big PRINT \"abcdefghij CLOSE \"big");
    setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, oldHandler);
    EXPECT_EQ(lastMessage(), "Logo Error: Disk IO Error");
    EXPECT_EQ(run("SHOW ALLOPEN"), "[]\n");
}

TEST_F(FilesTableTest, FilesStayOpenFromRunToRunAndCloseWithTheInterpreter) {
    {
        Interpreter other;
        scriptFiles(other).setPrefix(dir.string());
        const std::string text = "OPEN \"keep SETWRITE \"keep PRINT \"one";
        other.RunScript(text.data(), text.size(), nullptr, &out);
        const std::string more = "PRINT \"two SHOW ALLOPEN";
        other.RunScript(more.data(), more.size(), nullptr, &out);
    }
    EXPECT_EQ(contents("keep"), "one\ntwo\n[keep]\n");
}

} // namespace
} // namespace cv::script::test
