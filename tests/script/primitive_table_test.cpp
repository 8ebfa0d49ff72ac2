// The vocabulary: every name known, with its inputs, found through the hash index.
#include "script_fixture.h"

#include <set>

namespace cv::script::test {
namespace {

using PrimitiveTableTest = ScriptTest;

TEST_F(PrimitiveTableTest, TableHoldsEveryNameOnceAndFamiliesAreConsistent) {
    const auto& table = primitiveTable();
    std::set<std::string> names;
    for (int i = 0; i < kTableSize; ++i) {
        names.insert(table[size_t(i)].name);
        if (i >= kPrimitiveCount) continue;
        EXPECT_NE(table[size_t(i)].handler, nullptr) << table[size_t(i)].name;
        EXPECT_TRUE(table[size_t(i)].inputs >= -1 && table[size_t(i)].inputs <= 4) << table[size_t(i)].name;
    }
    EXPECT_EQ(names.size(), size_t(kTableSize));
    EXPECT_TRUE(registrationProblems().empty()) << registrationProblems().front();
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
    EXPECT_EQ(errorOf("SAY \"hello"), "Logo Error: SAY is a reserved primitive for future expansion");
    EXPECT_EQ(errorOf("(ADDFRAME)"), "Logo Error: ADDFRAME is a reserved primitive for future expansion");
    // Without a player and a drawing window these do nothing.
    const size_t boxes = errorCount();
    EXPECT_EQ(run("MOVENEXT FD 10 RT 90 DOBUTTON [] \"OK PRINT \"done"), "done\n");
    EXPECT_EQ(errorCount(), boxes);
    EXPECT_EQ(errorOf("+ 1 2"), "Logo Error: I don't know how to +");  // operators are no procedures
}

} // namespace
} // namespace cv::script::test
