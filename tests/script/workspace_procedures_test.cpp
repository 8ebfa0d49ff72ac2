// Procedures as values: DEFINE and TEXT, copying, erasing, burying and listing them.
#include "script_fixture.h"

namespace cv::script::test {
namespace {

using ProceduresTest = ScriptTest;

TEST_F(ProceduresTest, DefineAndTextShareOneList) {
    run("DEFINE \"SQ [[N] [OUTPUT :N * :N]]");
    // A definition made by TO has an empty parameter list when it takes no inputs.
    EXPECT_EQ(run("TO HI\nPRINT \"hi\nEND\nSHOW TEXT \"HI"), "[[] [PRINT \"hi]]\n");
    EXPECT_EQ(run("DEFINE \"NOTHING [] NOTHING SHOW TEXT \"NOTHING PO \"NOTHING"), "[]\nTO NOTHING\nEND\n");
    // The text of one procedure defines another; defining again replaces.
    EXPECT_EQ(run("MAKE \"T TEXT \"SQ DEFINE \"SQ2 :T PRINT SQ2 3 DEFINE \"SQ2 [[] [OUTPUT 0]] PRINT SQ2"), "9\n0\n");
    // Operators have table entries for messages only.
    EXPECT_EQ(run("PRINT DEFINEDP \"FD PRINT PRIMITIVEP \"\\+"), "FALSE\nFALSE\n");
}

TEST_F(ProceduresTest, DefineChecksItsNameAndText) {
    EXPECT_EQ(errorOf("DEFINE \"FORWARD [[] [PRINT 1]]"), "Logo Error: \"FORWARD is a primitive");
    EXPECT_EQ(errorOf("DEFINE \":X [[]]"), "Logo Error: DEFINE doesn't like \":X as input");
    EXPECT_EQ(errorOf("DEFINE [X] [[]]"), "Logo Error: DEFINE doesn't like [X] as input");
    // Names that a listing's title line could not give back: empty, numbers, several words.
    for (const char* bad : {"DEFINE \" [[]]", "DEFINE 12 [[]]", "DEFINE \"two\\ words [[]]", "DEFINE \"a\\[b [[]]"}) {
        const size_t before = errorCount();
        run(bad);
        EXPECT_EQ(errorCount(), before + 1) << bad;
        EXPECT_NE(lastMessage().find("DEFINE doesn't like"), std::string::npos) << bad;
    }
    EXPECT_EQ(errorOf("DEFINE \"X [[] [PRINT 1] 3 [PRINT 2]]"), "Logo Error: DEFINE doesn't like 3 as input");
    EXPECT_EQ(errorOf("DEFINE \"X \"abc"), "Logo Error: DEFINE doesn't like \"abc as input");
    EXPECT_EQ(run("POTS"), "");
}

TEST_F(ProceduresTest, CopyDefMakesATwinThatOutlivesTheOriginal) {
    run("TO DOUBLE :N\nOUTPUT :N * 2\nEND");
    EXPECT_EQ(run("COPYDEF \"DOUBLE \"TWICE ERASE \"DOUBLE PO \"TWICE"), "TO TWICE :N\nOUTPUT :N \\* 2\nEND\n");
    EXPECT_EQ(errorOf("COPYDEF \"NOPE \"X"), "Logo Error: \"NOPE is undefined");
    // A copy under a primitive's name could never be called, and its listing would stop a
    // saved workspace from loading.
    EXPECT_EQ(errorOf("COPYDEF \"TWICE \"PRINT"), "Logo Error: \"PRINT is a primitive");
}

TEST_F(ProceduresTest, ErasingProcedures) {
    run("TO A\nEND\nTO B\nEND\nTO C\nEND");
    EXPECT_EQ(run("ERASE [a b] PRINT DEFINEDP \"A PRINT DEFINEDP \"C"), "FALSE\nTRUE\n");
    EXPECT_EQ(errorOf("ERASE \"A"), "Logo Error: \"A is undefined");
    EXPECT_EQ(errorOf("ERASE \"FD"), "Logo Error: \"FD is undefined");
    run("TO D\nEND\nBURY \"D ERPS");
    EXPECT_EQ(run("PRINT DEFINEDP \"C PRINT DEFINEDP \"D"), "FALSE\nTRUE\n");
    // A procedure that erases itself still finishes its run.
    run("TO SELFISH\nERASE \"SELFISH\nPRINT \"gone\nEND");
    EXPECT_EQ(run("SELFISH PRINT DEFINEDP \"SELFISH"), "gone\nFALSE\n");
}

TEST_F(ProceduresTest, BuriedProceduresRunButAreNotListed) {
    run("TO P1\nPRINT 1\nEND\nTO P2\nPRINT 2\nEND");
    EXPECT_EQ(run("BURY [P1] POTS P1"), "TO P2\n1\n");
    EXPECT_EQ(run("BURY \"P1 PO \"P1 POT \"P1"), "TO P1\nPRINT 1\nEND\nTO P1\n");  // by name they are
    EXPECT_EQ(run("UNBURY \"P1 POTS"), "TO P1\nTO P2\n");  // P1 is in bucket 0, P2 in 3
    EXPECT_EQ(errorOf("UNBURY \"P1"), "Logo Error: \"P1 is undefined");
    EXPECT_EQ(errorOf("BURY \"P9"), "Logo Error: \"P9 is undefined");
}

TEST_F(ProceduresTest, ListingsReadBackToTheSameDefinitions) {
    run("TO STAR :SIZE :ODD\nREPEAT 5 [FD :SIZE RT 144]\n\nPRINT (SUM 1 -2 3)\nPRINT \"a\\ b\nEND\n"
        "TO EMPTY\nEND");
    const std::string listing = run("POPS");
    // STAR is in bucket 0, EMPTY in bucket 6; one empty line between procedures.
    EXPECT_EQ(listing,
              "TO STAR :SIZE :ODD\nREPEAT 5 [FD :SIZE RT 144]\n\nPRINT \\( SUM 1 -2 3 \\)\nPRINT \"a\\ b\nEND\n"
              "\nTO EMPTY\nEND\n");
    EXPECT_EQ(run("POTS"), "TO STAR :SIZE :ODD\nTO EMPTY\n");
    run("ERPS");
    EXPECT_EQ(run(listing + "POPS"), listing);
    EXPECT_EQ(errorCount(), 0u) << lastError();
    EXPECT_EQ(errorOf("PO [STAR NOPE]"), "Logo Error: \"NOPE is undefined");
}

} // namespace
} // namespace cv::script::test
