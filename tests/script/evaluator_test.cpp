// Evaluation: precedence, inputs, procedures and scope, control, errors and catches.
#include "script_fixture.h"

#include <algorithm>

#include "core/clock.h"

namespace cv::script::test {
namespace {

using EvaluatorTest = ScriptTest;

TEST_F(EvaluatorTest, InfixPrecedenceAndGrouping) {
    EXPECT_EQ(run("PRINT 2 * 3 = 6 PRINT 1 + 1 < 3"), "TRUE\nTRUE\n");
    EXPECT_EQ(run("PRINT - 3 + 4 PRINT -(2 * 3) PRINT 3 - -2"), "1\n-6\n5\n");
    EXPECT_EQ(run("PRINT \"abc = \"ABC PRINT \"2 = 2.0"), "FALSE\nTRUE\n");
}

TEST_F(EvaluatorTest, VariableInputsAndParentheses) {
    EXPECT_EQ(run("PRINT (SUM) PRINT 1 + (SUM 2 3)"), "0\n6\n");
    // An error ends its instruction: nothing more of it runs or prints.
    EXPECT_EQ(run("PRINT"), "");
    EXPECT_EQ(lastMessage(), "Logo Error: Not enough inputs to PRINT");
    EXPECT_EQ(run("PRINT SQRT PRINT 2"), "2\n");
    EXPECT_EQ(lastMessage(), "Logo Error: Not enough inputs to SQRT");
}

TEST_F(EvaluatorTest, LeftOverValuesAreErrors) {
    EXPECT_EQ(run("PRINT 3 -4"), "3\n");
    EXPECT_EQ(lastError(), "Logo Error: You didn't say what to do with -4\n\nAt: PRINT 3 -4");
    run("\"abc");
    EXPECT_EQ(lastError(), "Logo Error: You didn't say what to do with \"abc\n\nAt: \"abc");
    EXPECT_EQ(errorOf("[1 2] 3"), "Logo Error: You didn't say what to do with [1 2]");
}

TEST_F(EvaluatorTest, ProceduresOutputAtTheEndOfTheLine) {
    run("TO P :N\nIF :N = 0 [OUTPUT 1] OUTPUT 2\nEND");
    EXPECT_EQ(run("PRINT P 0 PRINT P 5"), "2\n2\n");
    run("TO NOTHING\nEND");
    EXPECT_EQ(run("NOTHING PRINT \"ok"), "ok\n");
}

TEST_F(EvaluatorTest, ProceduresDoNotSeeTheirCallersLocals) {
    run("TO A :X\nB\nEND\nTO B\nPRINT :X\nEND");
    EXPECT_EQ(run("A 5"), "");
    EXPECT_EQ(lastError(), "Logo Error: \"X is undefined\n\nAt: PRINT :X");
}

TEST_F(EvaluatorTest, MissingProceduresAndInputs) {
    EXPECT_EQ(run("NOSUCH 1 2 PRINT 3"), "");
    EXPECT_EQ(lastError(), "Logo Error: I don't know how to NOSUCH\n\nAt: NOSUCH 1 2 PRINT 3");
    run("TO TWO :A :B\nOUTPUT :A + :B\nEND");
    EXPECT_EQ(run("PRINT TWO 1"), "");
    EXPECT_EQ(lastMessage(), "Logo Error: Not enough inputs to TWO");
    // The second input is the instruction PRINT 2, which outputs nothing.
    EXPECT_EQ(run("PRINT TWO 1 PRINT 2"), "2\n");
    EXPECT_EQ(lastMessage(), "Logo Error: Not enough inputs to TWO");
}

TEST_F(EvaluatorTest, RepeatIfWhileAndDoUntil) {
    EXPECT_EQ(run("REPEAT -1 [PRINT 1]"), "");
    EXPECT_EQ(lastError(), "Logo Error: REPEAT doesn't like -1 as input\n\nAt: REPEAT -1 [PRINT 1]");
    EXPECT_EQ(errorOf("IF 3 [PRINT 1]"), "Logo Error: 3 is not TRUE or FALSE");
    EXPECT_EQ(errorOf("IF \"TRUE PRINT 1"), "Logo Error: IF doesn't like [PRINT 1] as input");
    // STOP ends the procedure only when its line ends, so the loop must end by itself.
    run("TO W :N\nWHILE :N < 3 [TYPE :N W :N + 1 TOPLEVEL]\nEND");
    EXPECT_EQ(run("W 0"), "012");
    EXPECT_EQ(errorOf("WHILE \"TRUE"), "Logo Error: Not enough inputs to WHILE");
    EXPECT_EQ(errorOf("WHILE 5 [PRINT 1]"), "Logo Error: 5 is not TRUE or FALSE");
}

TEST_F(EvaluatorTest, LabelsAndOutputsOnlyInProcedures) {
    run("TO BADGO\nGO \"nowhere\nEND");
    EXPECT_EQ(run("BADGO"), "");
    EXPECT_EQ(lastMessage(), "Logo Error: Can't find the label \"nowhere");
    EXPECT_EQ(run("OUTPUT 1"), "");
    EXPECT_EQ(lastMessage(), "Logo Error: Can only do that in a procedure");
    EXPECT_EQ(run("STOP PRINT 1"), "");
    EXPECT_EQ(lastMessage(), "Logo Error: Can only do that in a procedure");
}

TEST_F(EvaluatorTest, CatchThrowAndTheErrorCatch) {
    EXPECT_EQ(run("CATCH \"X [PRINT 1 THROW \"x PRINT 2] PRINT 3"), "1\n3\n");
    EXPECT_EQ(run("CATCH \"ERROR [NOSUCH] SHOW ERROR"), "[35]\n");
    run("THROW \"NOPE");
    EXPECT_EQ(lastError(), "Logo Error: Can't find catch for \"NOPE\n\nAt: THROW \"NOPE");
    // Errors inside procedures under an error catch end only the catch.
    run("TO BAD\nPRINT FIRST\nPRINT \"never\nEND");
    EXPECT_EQ(run("CATCH \"ERROR [BAD] PRINT \"caught"), "caught\n");
}

TEST_F(EvaluatorTest, ErrorsStopTheRunAndShowTheInnermostLine) {
    run("TO INNER\nPRINT 1 / 0\nEND\nTO OUTER\nREPEAT 3 [INNER]\nEND");
    EXPECT_EQ(run("OUTER PRINT \"after"), "");
    EXPECT_EQ(lastError(), "Logo Error: Can't divide by 0\n\nAt: PRINT 1 / 0");
    EXPECT_EQ(ui.captions.back(), "Quillscript");
    EXPECT_EQ(run("TOPLEVEL PRINT 1"), "");
    EXPECT_EQ(run("PRINT \"still\\ here"), "still here\n");  // each run starts afresh
}

TEST_F(EvaluatorTest, DeepRecursionEndsWithOutOfStackSpace) {
    run("TO INF :N\nINF :N + 1\nEND");
    EXPECT_EQ(run("INF 1"), "");
    EXPECT_EQ(lastMessage(), "Logo Error: Out of stack space");
    std::string nested = "PRINT " + std::string(100000, '(') + "1";
    EXPECT_EQ(errorOf(nested), "Logo Error: Out of stack space");
}

TEST_F(EvaluatorTest, NamesAreCanonicalisedInTheLine) {
    run("TO RUNIT :L\nRUN :L\nEND");
    EXPECT_EQ(run("RUNIT [print \"x]"), "x\n");
    const std::string printed = run("TO SHOWBODY\nprint \"y\nEND\nSHOWBODY");
    EXPECT_EQ(printed, "y\n");
    const Ref def = in.FindProcedure(in.WordFromText("SHOWBODY"));
    EXPECT_EQ(in.ProcedureListing(def), "TO SHOWBODY\nPRINT \"y\nEND\n");
}

TEST_F(EvaluatorTest, ValuesHeldByTheEvaluatorSurviveCollection) {
    // The first input is a new word held only while the second is evaluated, which collects.
    run("TO COLLECT\nRECYCLE\nOUTPUT \"x\nEND");
    EXPECT_EQ(run("(PRINT FORM 3.14159 8 2 COLLECT FORM 2.5 4 1)"), "    3.14 x  2.5\n");
    run("TO KEEPS :A :B\nRECYCLE\nOUTPUT :A\nEND");
    EXPECT_EQ(run("PRINT KEEPS FORM 1.5 3 1 COLLECT"), "1.5\n");
}

TEST_F(EvaluatorTest, AThrowEndsTheInstructionItComesFromAndRunsNoBody) {
    run("TO F :A\nPRINT \"body\nEND\nTO TWO :A :B\nPRINT \"two\nEND\nTO H\nF THROW \"X\nPRINT \"h.rest\nEND");
    for (const char* text : {"F THROW \"X", "H", "TWO THROW \"X 2", "PRINT THROW \"X", "(PRINT \"a THROW \"X \"b)"})
        EXPECT_EQ(run("CATCH \"X [" + std::string(text) + "] PRINT \"ok"), "ok\n") << text;
    EXPECT_EQ(errorCount(), 0u) << lastError();
}

TEST_F(EvaluatorTest, AScriptRunFromInsideAScriptKeepsTheOuterState) {
    EXPECT_EQ(runReentrant("TO OUTER :X\nPRINT \"go\nPRINT :X + INNER 1\nEND\nOUTER 7\nPRINT \"end", "go\n",
                           "TO INNER :Y\nOUTPUT :Y * 10\nEND\nPRINT INNER 5\nRECYCLE"),
              "go\n50\n17\nend\n");
    EXPECT_EQ(errorCount(), 0u) << lastError();
}

TEST_F(EvaluatorTest, WaitUsesTheProcessClock) {
    VirtualClock vc(1000);
    setClock(&vc);
    run("WAIT 60");
    EXPECT_EQ(vc.nowMs(), 2000u);
    setClock(nullptr);
}

// A host that works as the player does: each pass of a wait lets at most one timer period go
// by. A wait that never looks for the interrupt is cut short after many passes (`fuse`).
struct SlicedHost final : ScriptHost {
    Interpreter* in = nullptr;
    int polls = 0, passes = 0;
    bool fuse = false;
    void waitIdle(uint64_t deadlineMs) override {
        clock().sleepUntilMs(std::min(deadlineMs, clock().nowMs() + 55));
        if (++passes > 10000) in->stopRequested = fuse = true;
    }
    bool interruptRequested() override { return ++polls >= 3; }
};

TEST_F(EvaluatorTest, WaitsAndTonesEndOnAnInterruptAsLoopsDo) {
    VirtualClock vc(1000);
    setClock(&vc);
    SlicedHost host;
    host.in = &in;
    in.setHost(&host);
    for (const char* waiting : {"WAIT 2147483647", "TOOT 440 2147483647", "REPEAT 3 [WAIT 36000]"}) {
        host.polls = host.passes = 0;
        host.fuse = false;
        const uint64_t start = vc.nowMs();
        EXPECT_EQ(run(std::string(waiting) + " PRINT \"after"), "") << waiting;
        EXPECT_FALSE(host.fuse) << waiting;
        EXPECT_EQ(host.polls, 3) << waiting;
        EXPECT_LE(vc.nowMs() - start, 3u * 55) << waiting;
    }
    in.setHost(nullptr);
    setClock(nullptr);
}

TEST_F(EvaluatorTest, OnTheRealClockAWaitSleepsInShortSlices) {
    // A clock that is not virtual: it records each sleep and lets the time pass at once.
    struct Recording final : Clock {
        uint64_t now = 0;
        std::vector<uint64_t> sleeps;
        uint64_t nowMs() const override { return now; }
        void sleepUntilMs(uint64_t deadline) override {
            sleeps.push_back(deadline - now);
            now = std::max(now, deadline);
        }
    } rc;
    setClock(&rc);
    struct Host final : ScriptHost {
        int polls = 0;
        bool interruptRequested() override { return ++polls == 4; }
    } host;
    in.setHost(&host);
    run("WAIT 600");
    EXPECT_EQ(rc.sleeps, (std::vector<uint64_t>{50, 50, 50, 50}));
    in.setHost(nullptr);
    // Uninterrupted, the slices add up to the whole wait.
    rc.sleeps.clear();
    run("WAIT 6");
    EXPECT_EQ(rc.sleeps, (std::vector<uint64_t>{50, 50}));
    setClock(nullptr);
}

TEST_F(EvaluatorTest, InterruptStopsLoopsWithinOnePass) {
    struct Host final : ScriptHost {
        int polls = 0;
        bool interruptRequested() override { return ++polls == 3; }
    } host;
    in.setHost(&host);
    EXPECT_EQ(run("REPEAT 100000 [TYPE 1]"), "111");
    in.setHost(nullptr);
}

TEST_F(EvaluatorTest, StepLimitEndsRunawayScripts) {
    in.setStepLimit(1000);
    run("TO F\nF\nEND");
    // The run ends quietly soon after the limit, and nothing after the runaway instruction runs.
    EXPECT_EQ(run("REPEAT 1000000000 [F] PRINT 1"), "");
    EXPECT_EQ(errorCount(), 0u);
    EXPECT_LT(in.steps(), 1100u);
    // The next run has a limit of its own.
    EXPECT_EQ(run("PRINT 2"), "2\n");
}

TEST_F(EvaluatorTest, TimeAndDate) {
    EXPECT_NE(run("SHOW TIME").find("M]"), std::string::npos);
    EXPECT_NE(run("SHOW DATE").find(", "), std::string::npos);
}

} // namespace
} // namespace cv::script::test
