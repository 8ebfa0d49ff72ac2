// Variables: setting and reading them, scope, erasing, listing and burying.
#include "script_fixture.h"

namespace cv::script::test {
namespace {

using VariablesTest = ScriptTest;

TEST_F(VariablesTest, MakeNameAndThingShareOneCaseInsensitiveBinding) {
    EXPECT_EQ(run("NAME [a b] \"size SHOW :SIZE"), "[a b]\n");
    EXPECT_EQ(run("MAKE 7 \"seven PRINT THING 7"), "seven\n");  // a number names by its text
    EXPECT_EQ(run("PRINT NAMEP \"size PRINT NAMEP \":size PRINT NAMEP \"other"), "TRUE\nTRUE\nFALSE\n");
}

TEST_F(VariablesTest, BadNamesAndMissingValues) {
    EXPECT_EQ(run("PRINT THING \"NOPE PRINT 2"), "");
    EXPECT_EQ(lastError(), "Logo Error: \"NOPE is undefined\n\nAt: PRINT THING \"NOPE PRINT 2");
    EXPECT_EQ(errorOf("MAKE [X] 1"), "Logo Error: MAKE doesn't like [X] as input");
    // The value is an instruction that outputs nothing.
    EXPECT_EQ(run("MAKE \"X PRINT 1"), "1\n");
    EXPECT_EQ(lastMessage(), "Logo Error: Not enough inputs to MAKE");
    EXPECT_EQ(errorOf("NAME 1 [X]"), "Logo Error: NAME doesn't like [X] as input");
    EXPECT_EQ(errorOf("PRINT NAMEP [X]"), "Logo Error: NAMEP doesn't like [X] as input");
    EXPECT_EQ(run("PRINT NAMEP \"X"), "FALSE\n");
}

TEST_F(VariablesTest, LocalsBelongToTheirOwnProcedureOnly) {
    run("MAKE \"X \"global\n"
        "TO OUTERP\nLOCAL \"X\nMAKE \"X \"outer\nINNERP\nPRINT :X\nEND\n"
        "TO INNERP\nPRINT :X\nMAKE \"X \"changed\nEND");
    // INNERP sees the global, not its caller's local, and MAKE there changes the global.
    EXPECT_EQ(run("OUTERP PRINT :X"), "global\nouter\nchanged\n");
    // A local with no value is a binding, but THING finds no value in it.
    run("TO HOLLOW\nLOCAL \"Y\nPRINT NAMEP \"Y\nPRINT :Y\nEND");
    EXPECT_EQ(run("HOLLOW"), "TRUE\n");
    EXPECT_EQ(lastMessage(), "Logo Error: \"Y is undefined");
    // LOCAL twice keeps the first binding and its value.
    run("TO TWICE\nLOCAL \"Z\nMAKE \"Z 1\nLOCAL \"Z\nPRINT :Z\nEND");
    EXPECT_EQ(run("TWICE PRINT NAMEP \"Z"), "1\nFALSE\n");
    EXPECT_EQ(errorOf("LOCAL \"X"), "Logo Error: Can only do that in a procedure");
    // A procedure's input is a local too.
    run("TO SHADOW :X\nMAKE \"X :X + 1\nOUTPUT :X\nEND");
    EXPECT_EQ(run("PRINT SHADOW 1 PRINT :X"), "2\nchanged\n");
}

TEST_F(VariablesTest, ErasingVariables) {
    run("MAKE \"A 1 MAKE \"B 2 MAKE \"C 3");
    EXPECT_EQ(run("ERN \"a PRINT NAMEP \"A ERN [B :C] PRINT NAMEP \"B PRINT NAMEP \"C"), "FALSE\nFALSE\nFALSE\n");
    EXPECT_EQ(run("ERN \"A PRINT 1"), "");
    EXPECT_EQ(lastMessage(), "Logo Error: \"A is undefined");
    // A list stops at its first bad element; the ones before it are gone.
    EXPECT_EQ(errorOf("MAKE \"D 4 MAKE \"E 5 ERN [D [E]]"), "Logo Error: ERN doesn't like [E] as input");
    EXPECT_EQ(run("PRINT NAMEP \"D PRINT NAMEP \"E"), "FALSE\nTRUE\n");
    run("MAKE \"F 6 BURYNAME \"F ERNS");
    EXPECT_EQ(run("PRINT NAMEP \"E PRINT :F"), "FALSE\n6\n");
    // ERN reaches a buried variable when no global one has the name.
    EXPECT_EQ(run("ERN \"F PRINT NAMEP \"F"), "FALSE\n");
}

TEST_F(VariablesTest, ListingsOfVariables) {
    run("MAKE \"N 2.5 MAKE \"W \"12 MAKE \"L [a [b] c] MAKE \"Q \"\\\" MAKE \"E \"");
    EXPECT_EQ(run("PON [n w]"), "MAKE \"N 2.5\nMAKE \"W \"\\12\n");
    EXPECT_EQ(run("PON \"L PON \"Q PON \"E"), "MAKE \"L [a [b] c]\nMAKE \"Q \"\"\nMAKE \"E \"\n");
    // Bucket by bucket (N 1, W 3, Q 4, E and L 6), each from its newest entry.
    const std::string all = run("PONS");
    EXPECT_EQ(all, "MAKE \"N 2.5\nMAKE \"W \"\\12\nMAKE \"Q \"\"\nMAKE \"E \"\nMAKE \"L [a [b] c]\n");
    // It reads back to the same values (made again in listing order, E and L change places).
    run("ERNS");
    EXPECT_EQ(run("PONS"), "");
    run(all);
    EXPECT_EQ(run("PONS"), "MAKE \"N 2.5\nMAKE \"W \"\\12\nMAKE \"Q \"\"\nMAKE \"L [a [b] c]\nMAKE \"E \"\n");
    EXPECT_EQ(run("TYPE :W + 1 TYPE \"| TYPE :E TYPE \"| SHOW :L"), "13||[a [b] c]\n");
    EXPECT_EQ(errorOf("PON \"NOPE"), "Logo Error: \"NOPE is undefined");
    // Buried variables are listed by name, never by PONS.
    EXPECT_EQ(run("BURYNAME \"N PONS"), "MAKE \"W \"\\12\nMAKE \"Q \"\"\nMAKE \"L [a [b] c]\nMAKE \"E \"\n");
    EXPECT_EQ(run("PON \"N"), "MAKE \"N 2.5\n");
}

TEST_F(VariablesTest, BuryingAndUnburyingNames) {
    run("MAKE \"KEEP 1 MAKE \"LOSE 2 BURYNAME [KEEP] ERNS");
    EXPECT_EQ(run("PRINT :KEEP PRINT NAMEP \"LOSE"), "1\nFALSE\n");
    EXPECT_EQ(run("MAKE \"KEEP 5 BURYNAME \"KEEP PRINT :KEEP PONS"), "5\n");  // still buried, still set
    EXPECT_EQ(run("UNBURYNAME \"KEEP PONS"), "MAKE \"KEEP 5\n");
    EXPECT_EQ(errorOf("UNBURYNAME \"KEEP"), "Logo Error: \"KEEP is undefined");
    EXPECT_EQ(errorOf("BURYNAME \"NOBODY"), "Logo Error: \"NOBODY is undefined");
}

TEST_F(VariablesTest, MakeLeavesBuriedNamesAloneOnlyWhileProtected) {
    run("MAKE \"B 1 BURYNAME \"B");
    in.makeProtectsBuried = true;
    EXPECT_EQ(run("MAKE \"B 2 MAKE \"NEW 3 PRINT :B PONS"), "1\nMAKE \"NEW 3\n");
    // A local of that name is not buried: MAKE sets it.
    run("TO SETLOCAL\nLOCAL \"B\nMAKE \"B 9\nPRINT :B\nEND");
    EXPECT_EQ(run("SETLOCAL"), "9\n");
    in.makeProtectsBuried = false;
    EXPECT_EQ(run("MAKE \"B 2 PRINT :B PONS"), "2\nMAKE \"NEW 3\n");
}

} // namespace
} // namespace cv::script::test
