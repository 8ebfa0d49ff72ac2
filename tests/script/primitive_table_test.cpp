// The vocabulary: every name known, with its inputs, found through the hash index.
#include "script_fixture.h"

#include <set>

namespace cv::script::test {
namespace {

using PrimitiveTableTest = ScriptTest;

TEST_F(PrimitiveTableTest, TableHoldsEveryNameOnceAndFamiliesAreConsistent) {
    const auto& table = primitiveTable();
    std::set<std::string> names;
    int variable = 0;
    for (int i = 0; i < kTableSize; ++i) {
        names.insert(table[size_t(i)].name);
        if (i < kPrimitiveCount) {
            EXPECT_NE(table[size_t(i)].handler, nullptr) << table[size_t(i)].name;
            EXPECT_GE(table[size_t(i)].inputs, -1);
            EXPECT_LE(table[size_t(i)].inputs, 4);
            if (table[size_t(i)].inputs < 0) ++variable;
        }
    }
    EXPECT_EQ(names.size(), size_t(kTableSize));
    EXPECT_EQ(std::string(table[kOpPlus].name), "+");
    EXPECT_EQ(std::string(table[kOpDivide].name), "/");
    EXPECT_EQ(variable, 20);
    EXPECT_TRUE(registrationProblems().empty()) << registrationProblems().front();
    EXPECT_EQ(table[size_t(findPrimitive("setheading3d"))].inputs, 3);
    EXPECT_EQ(table[size_t(findPrimitive("DOALERT"))].inputs, 4);
}

TEST_F(PrimitiveTableTest, EveryPrimitiveIsFoundByItsNameInAnyCase) {
    ASSERT_TRUE(in.ensureInitialised());
    const auto& table = primitiveTable();
    for (int i = 0; i < kPrimitiveCount; ++i) {
        std::string lower = table[size_t(i)].name;
        for (char& c : lower) c = char(std::tolower(uint8_t(c)));
        EXPECT_EQ(in.LookupPrimitive(in.WordFromText(lower)), i) << lower;
    }
    for (const char* op : {"+", "-", "<", ">", "*", "/"}) EXPECT_EQ(in.LookupPrimitive(in.WordFromText(op)), -1);
    EXPECT_EQ(in.LookupPrimitive(in.WordFromText("NOTAPRIMITIVE")), -1);
}

TEST_F(PrimitiveTableTest, ReservedNamesAndMissingSubsystems) {
    run("SAY \"hello");
    EXPECT_EQ(lastMessage(), "Logo Error: SAY is a reserved primitive for future expansion");
    run("(ADDFRAME)");
    EXPECT_EQ(lastMessage(), "Logo Error: ADDFRAME is a reserved primitive for future expansion");
    // Without a player and a drawing window these do nothing.
    const size_t boxes = errorCount();
    EXPECT_EQ(run("MOVENEXT FD 10 RT 90 DOBUTTON [] \"OK PRINT \"done"), "done\n");
    EXPECT_EQ(errorCount(), boxes);
}

TEST_F(PrimitiveTableTest, OperatorsAreNotProcedures) {
    run("+ 1 2");
    EXPECT_EQ(lastMessage(), "Logo Error: I don't know how to +");
}

} // namespace
} // namespace cv::script::test
