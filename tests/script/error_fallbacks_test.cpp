// What an error does to the instruction it happens in. Under CATCH "ERROR the failing primitive
// gives back its fallback, the instruction that called it finishes with that value, and the
// throw takes effect after the instruction; uncaught, nothing more of the instruction runs.
#include "script_fixture.h"

namespace cv::script::test {
namespace {

using FallbackTest = ScriptTest;

struct Fallback {
    const char* expression;  // given to MAKE "R under CATCH "ERROR
    const char* shown;       // SHOW :R afterwards ("unset" when MAKE got no value)
    char kind;               // i integer, f float, w word, l list, - no value
    int error;               // what ERROR reports
};

// Every fallback the rules give a failing primitive, and representatives of the common one of
// numeric inputs (the first or second input, infix, prefix, a comparison, a missing input).
const Fallback kFallbacks[] = {
    // Division by 0 divides by 1.
    {"7 / 0", "7", 'f', 13},
    {"QUOTIENT 7 0", "7", 'f', 13},
    {"INTQUOTIENT 7 0", "7", 'i', 13},
    {"INTQUOTIENT -7 0.5", "-7", 'i', 13},  // 0.5 is 0 as an integer
    {"REMAINDER 7 0", "0", 'i', 13},
    // A negative square root is the root of the magnitude.
    {"SQRT -16", "4", 'f', 41},
    // RANDOM below 1 uses 1.
    {"RANDOM 0", "0", 'i', 41},
    // FORM: a bad width is 16, a bad precision 6.
    {"FORM 3.14159 200 2", "            3.14", 'w', 41},
    {"FORM 3.14159 0 2", "            3.14", 'w', 41},
    {"FORM 3.14159 8 9", "3.141590", 'w', 41},
    {"FORM 2.5 4 -1", "2.500000", 'w', 41},
    // NOT of anything but a truth value is TRUE; AND and OR count it as neither.
    {"NOT \"maybe", "TRUE", 'w', 41},
    {"NOT RERANDOM", "TRUE", 'w', 29},
    {"AND \"maybe \"TRUE", "TRUE", 'w', 41},
    {"OR \"maybe \"FALSE", "FALSE", 'w', 41},
    // A non-numeric input counts as 0; a missing one too, after error 29.
    {"SUM \"x 3", "3", 'f', 41},
    {"DIFFERENCE 5 RERANDOM", "5", 'f', 29},
    {"INT \"x", "0", 'i', 41},
    {"EXP \"x", "1", 'f', 41},
    {"ARCTAN2 1 \"x", "90", 'f', 41},
    {"\"x + 2", "2", 'f', 41},
    {"(- \"x)", "0", 'f', 41},
    {"\"x < 1", "TRUE", 'w', 41},
    // An expression that ends early takes 0 for the missing operand.
    {"3 +", "3", 'f', 19},
    // Words and lists.
    {"BUTFIRST \"", "", 'w', 41},  // the empty word is output unchanged
    {"ITEM 5 [a b]", "[]", 'l', 77},
    {"FPUT \"a \"b", "b", 'w', 41},
    {"FPUT RERANDOM [x]", "[x]", 'l', 41},
    {"CHAR \"x", "", 'w', 41},
    {"WORD \"a [b]", "a", 'w', 41},
    {"INSERT 5 \"x [a]", "[5 a]", 'l', 41},  // the index counts as 0
    {"(WORD \"a [b] \"c)", "ac", 'w', 41},
    {"AND \"TRUE RERANDOM", "TRUE", 'w', 29},
    // Predicates refuse with FALSE.
    {"BEFOREP [a] \"b", "FALSE", 'w', 41},
    {"MEMBERP \"a RERANDOM", "FALSE", 'w', 29},
    // Failures the rules give no value for: MAKE gets nothing and leaves R alone.
    {"FIRST []", "unset", '-', 41},
    {"BUTLAST []", "unset", '-', 41},
    {"ITEM 0 [a]", "unset", '-', 41},
    {"ITEM 5 \"ab", "unset", '-', 41},
    {"LPUT \"a \"b", "unset", '-', 41},
    {"INSERT \"x 5 [a]", "unset", '-', 77},
    {"REMOVE 3 \"ab", "unset", '-', 77},
    {"REPLACE \"xyz 2 \"ab", "unset", '-', 77},
    {"UPPERCASE [a]", "unset", '-', 41},
    {"PARSE [a]", "unset", '-', 41},
    {"THING \"nosuch", "unset", '-', 9},
    {"IF 3 [1] [2]", "unset", '-', 25},
    {"SAY \"hello", "unset", '-', 99},
};

TEST_F(FallbackTest, AFailingPrimitiveGivesItsFallbackToTheInstruction) {
    for (const Fallback& f : kFallbacks) {
        SCOPED_TRACE(f.expression);
        const std::string script =
            std::string("MAKE \"R \"unset CATCH \"ERROR [MAKE \"R ") + f.expression + "] SHOW :R SHOW ERROR";
        EXPECT_EQ(run(script), std::string(f.shown) + "\n[" + std::to_string(f.error) + "]\n");
        EXPECT_EQ(errorCount(), 0u) << lastError();
        const Ref r = in.FindBinding(in.WordFromText("R"));
        ASSERT_NE(r, kNone);
        const Ref v = in.first(in.rest(r));
        const char kind = in.isInteger(v) ? 'i' : in.isFloat(v) ? 'f' : in.isList(v) ? 'l' : 'w';
        EXPECT_EQ(f.kind == '-' ? 'w' : f.kind, kind);
    }
}

TEST_F(FallbackTest, TheInstructionFinishesBeforeTheThrowTakesEffect) {
    EXPECT_EQ(run("CATCH \"ERROR [MAKE \"A 5 / 0] PRINT :A PRINT ERROR"), "5\n13\n");
    // The rest of the expression is evaluated with the fallback value.
    EXPECT_EQ(run("CATCH \"ERROR [MAKE \"A (5 / 0) + 1 PRINT \"no] PRINT :A"), "6\n");
    EXPECT_EQ(run("CATCH \"ERROR [MAKE \"A DIFFERENCE QUOTIENT 8 0 2] PRINT :A"), "6\n");
    // A second error in the same instruction is not reported; its fallback is used too.
    EXPECT_EQ(run("CATCH \"ERROR [MAKE \"A (SQRT -9) + QUOTIENT 1 0] PRINT :A PRINT ERROR"), "4\n41\n");
    // The instruction prints what it took; the next one does not run; no value is left over.
    EXPECT_EQ(run("CATCH \"ERROR [PRINT 10 / 0 PRINT \"no] PRINT \"after"), "10\nafter\n");
    EXPECT_EQ(run("CATCH \"ERROR [1 / 0] PRINT \"after"), "after\n");
    // An input with no fallback gives nothing, and the call that wanted it is dropped.
    EXPECT_EQ(run("CATCH \"ERROR [(PRINT \"a :NOPE)] PRINT ERROR"), "9\n");
    // Lists and procedures met while the instruction finishes are not run; a call that gets
    // nothing from one gives nothing itself.
    run("TO NOISY\nPRINT \"entered\nOUTPUT 1\nEND");
    EXPECT_EQ(run("MAKE \"B 0 CATCH \"ERROR [MAKE \"B LIST 1 / 0 NOISY] SHOW :B"), "0\n");
    EXPECT_EQ(run("CATCH \"ERROR [MAKE \"B LIST NOISY 1 / 0] SHOW :B"), "entered\n[1 1]\n");
    EXPECT_EQ(run("CATCH \"ERROR [IF 1 / 0 = 1 [PRINT \"then]] PRINT \"ok"), "ok\n");
    EXPECT_EQ(errorCount(), 0u) << lastError();
}

TEST_F(FallbackTest, AnInstructionInAProcedureFinishesInItsOwnFrame) {
    // The catch is outside the procedure: MAKE still sets the procedure's own N, not a
    // global, and the procedure runs no further line.
    run("TO P :N\nMAKE \"N 10 / 0\nPRINT \"never\nEND\nTO Q :N\nCATCH \"ERROR [MAKE \"N 10 / 0]\nOUTPUT :N\nEND");
    EXPECT_EQ(run("MAKE \"N \"global CATCH \"ERROR [P 1] PRINT :N"), "global\n");
    // Caught inside, the procedure goes on with what the instruction took.
    EXPECT_EQ(run("PRINT Q 1 PRINT :N"), "10\nglobal\n");
    // A failing OUTPUT gives its fallback (4 / 1) to the caller, whose instruction finishes.
    run("TO HALF :N\nOUTPUT :N / 0\nPRINT \"never\nEND");
    EXPECT_EQ(run("CATCH \"ERROR [PRINT HALF 4] PRINT \"after"), "4\nafter\n");
    EXPECT_EQ(errorCount(), 0u) << lastError();
}

TEST_F(FallbackTest, ARunStartedWhileAnInstructionFinishesLeavesTheThrowGoingOn) {
    EXPECT_EQ(runReentrant("CATCH \"ERROR [PRINT 5 / 0 PRINT \"no] PRINT ERROR", "5\n", "PRINT \"inner\nPRINT \"inner2"),
              "5\ninner\ninner2\n13\n");
    EXPECT_EQ(errorCount(), 0u) << lastError();
}

TEST_F(FallbackTest, AnErrorThatEndsTheRunChangesNothingMore) {
    EXPECT_EQ(run("MAKE \"A 1 MAKE \"A 5 / 0"), "");
    EXPECT_EQ(lastMessage(), "Logo Error: Can't divide by 0");
    EXPECT_EQ(run("PRINT :A"), "1\n");
    // Nothing more of the instruction runs, prints or changes the workspace; the body of a
    // procedure whose input failed does not run.
    run("TO NOISY\nPRINT \"noisy\nOUTPUT 1\nEND\nTO BODY :A\nPRINT \"body\nEND");
    for (const char* text : {"PRINT 5 / 0", "(PRINT 1 2 / 0 3)", "PRINT :NOPE", "PRINT 1 / 0 + NOISY",
                             "IF 1 / 0 = 1 [PRINT \"then]", "REPEAT :NOPE [PRINT \"again]", "BODY 1 / 0",
                             "MAKE \"X 1 / 0 PRINT NAMEP \"X"})
        EXPECT_EQ(run(text), "") << text;
    EXPECT_EQ(run("TYPE \"a PRINT 1 / 0 PRINT \"b"), "a");
    EXPECT_EQ(run("PRINT NAMEP \"X"), "FALSE\n");
    // Only the first error of an instruction is shown.
    EXPECT_EQ(run("PRINT (SUM 1 / 0 :NOPE \"x)"), "");
    EXPECT_EQ(lastMessage(), "Logo Error: Can't divide by 0");
    EXPECT_EQ(errorCount(), 11u);
}

} // namespace
} // namespace cv::script::test
