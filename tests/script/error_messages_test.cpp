// Error messages quote their data in a bounded form, built without walking more of a value
// than the text shows.
#include "script_fixture.h"

#include "script/printer_limits.h"

namespace cv::script::test {
namespace {

class ErrorMessageTest : public ScriptTest {
protected:
    uint64_t& visited() { return in.family<FormWalkCount>().elements; }
};

// A list that shares itself 40 times: 2^40 leaves in 41 list nodes.
constexpr const char* kShared = "MAKE \"L [A]\nREPEAT 40 [MAKE \"L LIST :L :L]\n";

TEST_F(ErrorMessageTest, AHugeSharedDatumIsQuotedShortly) {
    run(kShared);
    ASSERT_EQ(errorCount(), 0u) << lastError();
    visited() = 0;
    run("SQRT :L");
    const std::string box = lastError();
    EXPECT_EQ(box.rfind("Logo Error: SQRT doesn't like [[[[[", 0), 0u) << box.substr(0, 80);
    const std::string message = lastMessage();
    EXPECT_EQ(message.substr(message.size() - 12), "... as input");
    EXPECT_LT(box.size(), 2 * kMessageTextLimit + 100);
    // The quoted form and the plain one each looked at about as many elements as they show.
    EXPECT_LT(visited(), 4 * kMessageTextLimit);

    // The "At:" line of a list as long is cut too, and so is the value left over.
    visited() = 0;
    run("RUN :L");
    const std::string left = lastError();
    EXPECT_EQ(left.rfind("Logo Error: You didn't say what to do with [[", 0), 0u) << left.substr(0, 80);
    const size_t at = left.find("\n\nAt: ");
    ASSERT_NE(at, std::string::npos);
    EXPECT_LE(left.size() - at - 6, kLineTextLimit);
    EXPECT_LT(left.size(), 3 * kMessageTextLimit + 100);
    EXPECT_LT(visited(), 6 * kMessageTextLimit);
}

TEST_F(ErrorMessageTest, LongWordsAndNamesAreCutWithAnEllipsis) {
    const std::string longWord(5000, 'w');
    run("SQRT \"" + longWord);
    const std::string box = lastMessage();
    EXPECT_EQ(box, "Logo Error: SQRT doesn't like \"" + std::string(kMessageTextLimit, 'w') + "... as input");
    const std::string longName(5000, 'n');
    EXPECT_EQ(errorOf(longName), "Logo Error: I don't know how to " + std::string(kMessageTextLimit, 'n') + "...");
    // Short data are quoted whole, as before.
    EXPECT_EQ(errorOf("SQRT [1 [2 3]]"), "Logo Error: SQRT doesn't like [1 [2 3]] as input");
}

TEST_F(ErrorMessageTest, PrintingSharedAndSelfHoldingListsEnds) {
    // A property list made to hold itself prints its repeat as [...].
    EXPECT_EQ(run("PPROP \"P \"K [1] PPROP \"P \"SELF PLIST \"P SHOW PLIST \"P"), "[K [1] SELF [...]]\n");
    // A shared list prints whole when it is of a printable size.
    EXPECT_EQ(run("MAKE \"S [A] REPEAT 3 [MAKE \"S LIST :S :S] SHOW :S"),
              "[[[[A] [A]] [[A] [A]]] [[[A] [A]] [[A] [A]]]]\n");
}

} // namespace
} // namespace cv::script::test
