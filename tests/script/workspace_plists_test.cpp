// Property lists: putting, getting and removing properties, whole lists, listing, burying,
// and lists that hold themselves.
#include "script_fixture.h"

namespace cv::script::test {
namespace {

using PlistsTest = ScriptTest;

TEST_F(PlistsTest, PutGetAndRemoveProperties) {
    EXPECT_EQ(run("PPROP \"Dog \"legs 4 PPROP \"DOG \"sound \"woof SHOW PLIST \"dog"), "[legs 4 sound woof]\n");
    // Replacing keeps the place; names and properties ignore case.
    EXPECT_EQ(run("PPROP \"dog \"LEGS 3 SHOW PLIST \"DOG PRINT GPROP \"DOG \"Legs"), "[legs 3 sound woof]\n3\n");
    EXPECT_EQ(run("SHOW GPROP \"DOG \"tail SHOW GPROP \"CAT \"legs SHOW PLIST \"CAT"), "[]\n[]\n[]\n");
    EXPECT_EQ(run("PPROP \"N 1 \"one PPROP \"N 2 [two] SHOW PLIST \"N SHOW GPROP \"N 2"), "[1 one 2 [two]]\n[two]\n");
    EXPECT_EQ(run("REMPROP \"DOG \"legs SHOW PLIST \"DOG"), "[sound woof]\n");
    EXPECT_EQ(errorOf("REMPROP \"DOG \"legs"), "Logo Error: \"legs is undefined");
    EXPECT_EQ(errorOf("REMPROP \"CAT \"legs"), "Logo Error: \"CAT is undefined");
    // Removing the last pair removes the list.
    EXPECT_EQ(run("REMPROP \"DOG \"sound PPS"), "SETPLIST \"N [1 one 2 [two]]\n");
    EXPECT_EQ(errorOf("PPROP \"X \"p"), "Logo Error: Not enough inputs to PPROP");
    EXPECT_EQ(errorOf("PPROP \"X \"p PRINT 1"), "Logo Error: Not enough inputs to PPROP");
    EXPECT_EQ(errorOf("GPROP [X] \"p"), "Logo Error: GPROP doesn't like [X] as input");
}

TEST_F(PlistsTest, SetPlistChecksAndCopiesItsList) {
    EXPECT_EQ(run("SETPLIST \"A [a 1 b 2] PRINT GPROP \"A \"b SHOW GPROP \"A \"c"), "2\n[]\n");
    EXPECT_EQ(errorOf("SETPLIST \"A [x]"), "Logo Error: Property lists must have an even number of elements");
    EXPECT_EQ(errorOf("SETPLIST \"A []"), "Logo Error: Not enough inputs to SETPLIST");
    EXPECT_EQ(errorOf("SETPLIST \"A [a 1 [b] 2]"), "Logo Error: SETPLIST doesn't like [a 1 [b] 2] as input");
    EXPECT_EQ(errorOf("SETPLIST \"A \"a"), "Logo Error: SETPLIST doesn't like \"a as input");
    EXPECT_EQ(run("SHOW PLIST \"A"), "[a 1 b 2]\n");  // failed attempts changed nothing
    // Changing the property list leaves the list it was set from alone.
    EXPECT_EQ(run("MAKE \"L [k 1] SETPLIST \"B :L PPROP \"B \"j 2 SHOW :L SHOW PLIST \"B"), "[k 1]\n[k 1 j 2]\n");
    run("TO SETUP\nSETPLIST \"C [n 0]\nPPROP \"C \"m 1\nEND");
    EXPECT_EQ(run("SETUP SETUP PO \"SETUP SHOW PLIST \"C"), "TO SETUP\nSETPLIST \"C [n 0]\nPPROP \"C \"m 1\nEND\n[n 0 m 1]\n");
    // PLIST gives the list itself: later changes show through it.
    EXPECT_EQ(run("MAKE \"P PLIST \"B PPROP \"B \"k 5 SHOW :P"), "[k 5 j 2]\n");
}

TEST_F(PlistsTest, ListingAndErasingPropertyLists) {
    run("PPROP \"A \"x [1 [2]] PPROP \"B \"y \"a\\ b PPROP \"C \"z 2.5");
    const std::string listing = run("PPS");
    EXPECT_EQ(listing, "SETPLIST \"C [z 2.5]\nSETPLIST \"B [y a\\ b]\nSETPLIST \"A [x [1 [2]]]\n");
    run("BURYPLIST \"B ERPROPS");
    EXPECT_EQ(run("PPS SHOW PLIST \"A SHOW PLIST \"B"), "[]\n[y a b]\n");
    run(listing);
    EXPECT_EQ(run("PPS"), "SETPLIST \"A [x [1 [2]]]\nSETPLIST \"C [z 2.5]\n");
    EXPECT_EQ(run("PRINT GPROP \"B \"y"), "a b\n");  // SETPLIST reached the buried list
    EXPECT_EQ(run("UNBURYPLIST [B] PPS"), "SETPLIST \"B [y a\\ b]\nSETPLIST \"A [x [1 [2]]]\nSETPLIST \"C [z 2.5]\n");
    EXPECT_EQ(errorOf("UNBURYPLIST \"B"), "Logo Error: \"B is undefined");
    EXPECT_EQ(errorOf("BURYPLIST \"NONE"), "Logo Error: \"NONE is undefined");
}

TEST_F(PlistsTest, AListThatHoldsItselfPrintsComparesAndIsCollected) {
    run("PPROP \"LOOP \"me 0 PPROP \"LOOP \"me PLIST \"LOOP PPROP \"TWIN \"me 0 PPROP \"TWIN \"me PLIST \"TWIN");
    EXPECT_EQ(run("SHOW PLIST \"LOOP PPS"), "[me [...]]\nSETPLIST \"TWIN [me [...]]\nSETPLIST \"LOOP [me [...]]\n");
    EXPECT_EQ(run("MAKE \"A PLIST \"LOOP MAKE \"B PLIST \"TWIN PRINT :A = :A PRINT :A = :B"), "TRUE\nTRUE\n");
    EXPECT_EQ(run("PPROP \"TWIN \"extra 1 PRINT :A = :B"), "FALSE\n");
    // A ring of 41 lists, deeper than the printer looks through one by one.
    run("MAKE \"N 0 REPEAT 41 [PPROP :N \"v 0 MAKE \"N :N + 1] MAKE \"N 0\n"
        "REPEAT 40 [PPROP :N \"v PLIST :N + 1 MAKE \"N :N + 1] PPROP 40 \"v PLIST 0");
    std::string ring;
    for (int i = 0; i < 41; ++i) ring += "[v ";
    EXPECT_EQ(run("SHOW PLIST 7 MAKE \"R PLIST 0 MAKE \"S PLIST 20 PRINT :R = :S"), ring + "[...]" + std::string(41, ']') + "\nTRUE\n");
    EXPECT_EQ(errorOf("PRINT SUM :A 1"), "Logo Error: SUM doesn't like [me [...]] as input");
    // Once nothing refers to them, the collector frees them like any other nodes.
    run("RECYCLE");
    const size_t held = in.CountFreeNodes();
    run("ERPROPS ERNS RECYCLE");
    EXPECT_GT(in.CountFreeNodes(), held);
}

} // namespace
} // namespace cv::script::test
