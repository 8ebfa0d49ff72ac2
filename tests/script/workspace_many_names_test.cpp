// Workspaces with many names: lookups through the name index agree with the chains through
// erasing, burying, locals and collections, and listings keep the chains' order.
#include "script_fixture.h"

namespace cv::script::test {
namespace {

using ManyNamesTest = ScriptTest;

// Makes variables V0 .. V<n-1> holding their numbers.
std::string makeMany(int n) {
    return "MAKE \"I 0 REPEAT " + std::to_string(n) + " [MAKE WORD \"v :I :I MAKE \"I :I + 1]\n";
}

TEST_F(ManyNamesTest, VariablesStayFoundThroughErasingAndBurying) {
    run(makeMany(200));
    EXPECT_EQ(errorCount(), 0u);
    EXPECT_EQ(run("PRINT :V0 PRINT :v199 PRINT THING \"V150 PRINT NAMEP \"V200"), "0\n199\n150\nFALSE\n");
    // Setting one again changes it in place.
    EXPECT_EQ(run("MAKE \"V7 \"seven PRINT :v7"), "seven\n");
    run("ERN [V10 V11 v12]");
    EXPECT_EQ(run("PRINT NAMEP \"V10 PRINT NAMEP \"V12 PRINT :V13"), "FALSE\nFALSE\n13\n");
    // A buried one is still read, leaves the listing, and survives ERNS.
    run("BURYNAME [V20 V21]");
    EXPECT_EQ(run("PRINT :V20"), "20\n");
    EXPECT_EQ(run("PON \"V21"), "MAKE \"v21 21\n");
    EXPECT_EQ(run("PONS").find("\"v20 "), std::string::npos);
    run("ERNS");
    EXPECT_EQ(run("PRINT NAMEP \"V30 PRINT :V20 PRINT :V21"), "FALSE\n20\n21\n");
    run("UNBURYNAME \"V20");
    EXPECT_EQ(run("PONS"), "MAKE \"v20 20\n");
}

TEST_F(ManyNamesTest, TwoBindingsOfOneNameShowTheNewerUntilItIsErased) {
    run(makeMany(30));
    const Ref name = in.WordFromText("dup");
    for (int v : {1, 2}) {
        const Ref value = in.NewInteger(v);
        in.NewGlobalBinding(name, value, false);
        in.UnlockValue(value);
    }
    in.UnlockValue(name);
    EXPECT_EQ(run("PRINT :DUP ERN \"DUP PRINT :DUP ERN \"DUP PRINT NAMEP \"DUP"), "2\n1\nFALSE\n");
    EXPECT_EQ(run("PRINT :V29"), "29\n");
}

TEST_F(ManyNamesTest, ListingsKeepTheOrderOfTheChains) {
    run(makeMany(40));
    // Bucket 0 to 6 by the name's hash, newest first within a bucket.
    std::vector<std::vector<int>> buckets(7);
    for (int i = 0; i < 40; ++i) {
        const Ref w = in.WordFromText("v" + std::to_string(i));
        buckets[size_t(in.NameHash(w))].insert(buckets[size_t(in.NameHash(w))].begin(), i);
        in.UnlockValue(w);
    }
    // I was made first: it is the last of its chain.
    const Ref i = in.WordFromText("I");
    buckets[size_t(in.NameHash(i))].push_back(-1);
    in.UnlockValue(i);
    std::string expected;
    for (const auto& b : buckets)
        for (int v : b) expected += v < 0 ? "MAKE \"I 40\n" : "MAKE \"v" + std::to_string(v) + " " + std::to_string(v) + "\n";
    EXPECT_EQ(run("PONS"), expected);
    // Burying all turns each chain round (entries move one at a time to the front), and
    // bringing all back turns it round again.
    run("BURYALL UNBURYALL BURYALL UNBURYALL");
    EXPECT_EQ(run("PONS"), expected);
    EXPECT_EQ(run("PRINT :V33"), "33\n");
    run("ERALL");
    EXPECT_EQ(run("PONS PRINT NAMEP \"V33"), "FALSE\n");
}

TEST_F(ManyNamesTest, ProceduresStayFoundThroughEraseAndBury) {
    std::string defs;
    for (int i = 0; i < 60; ++i) defs += "TO P" + std::to_string(i) + "\nOUTPUT " + std::to_string(i) + "\nEND\n";
    run(defs);
    EXPECT_EQ(run("PRINT P0 + p59 PRINT DEFINEDP \"p30"), "59\nTRUE\n");
    run("ERASE [P1 P2] BURY \"P3");
    EXPECT_EQ(run("PRINT DEFINEDP \"P1 PRINT P3"), "FALSE\n3\n");
    run("ERPS");
    EXPECT_EQ(run("PRINT DEFINEDP \"P4 PRINT P3"), "FALSE\n3\n");
    run("UNBURY \"P3 ERASE \"P3");
    EXPECT_EQ(run("PRINT DEFINEDP \"P3"), "FALSE\n");
    // Defining again after erasing.
    run(defs);
    EXPECT_EQ(run("PRINT P45"), "45\n");
}

TEST_F(ManyNamesTest, ManyLocalsInOneProcedureAndAcrossCollections) {
    run("MAKE \"V5 \"global\n"
        "TO MANY :N\nMAKE \"I 0\nREPEAT :N [LOCAL WORD \"v :I MAKE WORD \"v :I :I * 2 MAKE \"I :I + 1]\n"
        "RECYCLE\nLOCAL \"V7\nOUTPUT (LIST :V5 :v99 :V7 INNER)\nEND\n"
        "TO INNER\nOUTPUT :V5\nEND");
    // The procedure's locals hide the global; the procedure it calls sees the global.
    EXPECT_EQ(run("SHOW MANY 100 PRINT :V5 PRINT NAMEP \"V6"), "[10 198 14 global]\n"
                                                                "global\nFALSE\n");
    // Recursion: each call has its own locals, looked up after collections in between.
    run("TO DEEP :D\nIF :D = 0 [OUTPUT 0]\nMAKE \"I 0\nREPEAT 40 [LOCAL WORD \"w :I MAKE WORD \"w :I :D MAKE \"I :I + 1]\n"
        "MAKE \"R DEEP :D - 1\nRECYCLE\nOUTPUT :R + :W39\nEND");
    EXPECT_EQ(run("PRINT DEEP 5 PRINT NAMEP \"W1"), "15\nFALSE\n");
}

TEST_F(ManyNamesTest, PropertyListsWithManyNamesAndManyProperties) {
    run("MAKE \"I 0 REPEAT 100 [PPROP WORD \"p :I \"K :I MAKE \"I :I + 1]");
    EXPECT_EQ(run("PRINT GPROP \"P42 \"k SHOW PLIST \"p99"), "42\n[K 99]\n");
    run("REMPROP \"P42 \"K BURYPLIST \"P43 ERPROPS");
    EXPECT_EQ(run("SHOW PLIST \"P42 SHOW PLIST \"P44 PRINT GPROP \"P43 \"K"), "[]\n[]\n43\n");
    // One list of many properties, number properties among them, kept in the order given.
    run("MAKE \"I 0 REPEAT 60 [PPROP \"Q :I :I * 10 MAKE \"I :I + 1] PPROP \"Q \"Name \"x PPROP \"Q 2.5 \"half");
    EXPECT_EQ(run("PRINT GPROP \"Q 7 PRINT GPROP \"Q \"59 PRINT GPROP \"Q \"NAME PRINT GPROP \"Q \"2.5"),
              "70\n590\nx\nhalf\n");
    EXPECT_EQ(run("PPROP \"Q 3 \"three PRINT GPROP \"Q 3 PRINT COUNT PLIST \"Q"), "three\n124\n");
    EXPECT_EQ(run("PRINT ITEM 7 PLIST \"Q PRINT LAST PLIST \"Q"), "3\nhalf\n");
    // Taking pairs out at the front, the middle and the end.
    run("REMPROP \"Q 0 REMPROP \"Q 30 REMPROP \"Q 2.5");
    EXPECT_EQ(run("SHOW (LIST GPROP \"Q 0 GPROP \"Q 30 GPROP \"Q 2.5 GPROP \"Q 31 COUNT PLIST \"Q)"),
              "[[] [] [] 310 118]\n");
    EXPECT_EQ(run("PPROP \"Q \"last 1 PRINT LAST PLIST \"Q PRINT FIRST PLIST \"Q"), "1\n1\n");
    // A list set whole: the first of two equal properties is the one found.
    run("MAKE \"L [] MAKE \"I 0 REPEAT 30 [MAKE \"L SE :L (LIST :I :I) MAKE \"I :I + 1]\n"
        "SETPLIST \"Q SE :L [a first A second]");
    EXPECT_EQ(run("PRINT GPROP \"Q \"A PRINT GPROP \"Q 29 PRINT GPROP \"Q 31"), "first\n29\n\n");
    // Collections in between.
    run("PPROP \"Q \"new 1 RECYCLE PPROP \"Q \"after 2 RECYCLE");
    EXPECT_EQ(run("PRINT GPROP \"Q \"after PRINT GPROP \"Q \"new"), "2\n1\n");
}

} // namespace
} // namespace cv::script::test
