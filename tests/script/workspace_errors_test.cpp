// What an error does to the instruction it happens in: nothing more of the instruction runs,
// prints or changes the workspace, whether the error ends the run or is caught.
#include "script_fixture.h"

namespace cv::script::test {
namespace {

using ErrorInstructionTest = ScriptTest;

TEST_F(ErrorInstructionTest, AnUncaughtErrorPrintsNothingMore) {
    EXPECT_EQ(run("TYPE \"a PRINT 1 / 0 PRINT \"b"), "a");
    EXPECT_EQ(errorCount(), 1u);
    EXPECT_EQ(run("(PRINT 1 2 / 0 3)"), "");
    EXPECT_EQ(run("PRINT :NOPE"), "");
    // Only the first error of an instruction is shown.
    EXPECT_EQ(run("PRINT (SUM 1 / 0 :NOPE \"x)"), "");
    EXPECT_EQ(errorCount(), 4u);
    EXPECT_EQ(lastMessage(), "Logo Error: Can't divide by 0");
}

TEST_F(ErrorInstructionTest, NothingAfterTheErrorRuns) {
    run("TO NOISY\nPRINT \"noisy\nOUTPUT 1\nEND");
    EXPECT_EQ(run("PRINT 1 / 0 + NOISY"), "");
    EXPECT_EQ(run("IF 1 / 0 = 1 [PRINT \"then]"), "");
    EXPECT_EQ(run("REPEAT :NOPE [PRINT \"again]"), "");
    // The body of a procedure whose input failed does not run.
    run("TO BODY :A\nPRINT \"body\nEND");
    EXPECT_EQ(run("BODY 1 / 0"), "");
    EXPECT_EQ(run("MAKE \"X 1 / 0 PRINT NAMEP \"X"), "");
    EXPECT_EQ(run("PRINT NAMEP \"X"), "FALSE\n");
}

TEST_F(ErrorInstructionTest, UnderTheErrorCatchTheInstructionFinishesWithTheFallback) {
    EXPECT_EQ(run("CATCH \"ERROR [PRINT 1 / 0 PRINT \"no] PRINT ERROR"), "1\n13\n");
    EXPECT_EQ(run("CATCH \"ERROR [MAKE \"X 1 / 0] PRINT :X"), "1\n");
    // An input with no fallback gives nothing, and the call that wanted it is dropped.
    EXPECT_EQ(run("CATCH \"ERROR [(PRINT \"a :NOPE)] PRINT ERROR"), "9\n");
    // No value is left over from the cut instruction.
    EXPECT_EQ(run("CATCH \"ERROR [1 / 0] PRINT \"after"), "after\n");
    // The procedure's failing instruction took 4 / 1; the caller's instruction finishes too.
    run("TO HALF :N\nOUTPUT :N / 0\nPRINT \"never\nEND");
    EXPECT_EQ(run("CATCH \"ERROR [PRINT HALF 4] PRINT \"after"), "4\nafter\n");
    EXPECT_EQ(errorCount(), 0u) << lastError();
}

TEST_F(ErrorInstructionTest, AThrowEndsTheInstructionItComesFrom) {
    EXPECT_EQ(run("CATCH \"OUT [PRINT THROW \"OUT] PRINT \"after"), "after\n");
    EXPECT_EQ(run("CATCH \"OUT [(PRINT \"a THROW \"OUT \"b)] PRINT \"after"), "after\n");
    run("TO TWO :A :B\nPRINT \"two\nEND");
    EXPECT_EQ(run("CATCH \"OUT [TWO THROW \"OUT 2] PRINT \"after"), "after\n");
    EXPECT_EQ(errorCount(), 0u) << lastError();
}

} // namespace
} // namespace cv::script::test
