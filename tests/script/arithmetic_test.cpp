// Numbers: the numeric test, conversions, printing, and the arithmetic and logic primitives.
#include "script_fixture.h"

namespace cv::script::test {
namespace {

class ArithmeticTest : public ScriptTest {
protected:
    void SetUp() override { ASSERT_TRUE(in.ensureInitialised()); }
    bool numeric(const char* text) { return in.IsNumeric(in.WordFromText(text), kReportSilent); }
};

// The program arithmetic prints the forms near the switch to exponents.
TEST_F(ArithmeticTest, NumberText) {
    EXPECT_EQ(Interpreter::NumberText(3.0), "3");
    EXPECT_EQ(Interpreter::NumberText(0.1), "0.1");
    EXPECT_EQ(Interpreter::NumberText(0.0), "0");
    EXPECT_EQ(Interpreter::NumberText(-0.25), "-0.25");
    EXPECT_EQ(in.NumberText(in.NewInteger(-42)), "-42");
}

TEST_F(ArithmeticTest, NumericWords) {
    for (const char* yes : {"12", "-3.5", ".5", "1E3", "1e-3", "\"7", "5.", "1.5E+10"}) EXPECT_TRUE(numeric(yes)) << yes;
    for (const char* no : {"12abc", "1E", "1E3x", "-", "abc", "", "1.2.3", "--1", "+1"}) EXPECT_FALSE(numeric(no)) << no;
    EXPECT_FALSE(in.IsNumeric(kEmptyList, kReportSilent));
    EXPECT_EQ(in.ToInteger(in.WordFromText("2.9"), kReportSilent), 2);
    EXPECT_EQ(in.ToInteger(in.WordFromText("-17"), kReportSilent), -17);
    EXPECT_EQ(in.ToInteger(in.NewFloat(-2.9), kReportSilent), -2);
    EXPECT_EQ(in.ToInteger(in.NewFloat(1e12), kReportSilent), INT32_MIN);
    EXPECT_DOUBLE_EQ(in.ToFloat(in.WordFromText("\"1.5E2"), kReportSilent), 150.0);
    EXPECT_EQ(in.ToInteger(in.WordFromText("abc"), kReportSilent), 0);
    EXPECT_EQ(errorCount(), 0u);
    in.IsNumeric(in.WordFromText("abc"), kReportMath);
    EXPECT_EQ(lastMessage(), "Logo Error: Math operations don't like abc as input");
}

TEST_F(ArithmeticTest, IntegersStayIntegers) {
    EXPECT_EQ(run("SHOW SUM 2 3 SHOW SUM 2 3.0"), "5\n5\n");
    EXPECT_EQ(run("PRINT (SUM 2147483647 1) PRINT (SUM 1 2 3.5) PRINT (PRODUCT 2 3 4)"), "-2147483648\n6.5\n24\n");
    EXPECT_EQ(run("PRINT DIFFERENCE 2 5 PRINT DIFFERENCE 2.5 5"), "-3\n-2.5\n");
    EXPECT_EQ(run("PRINT QUOTIENT 7 2 PRINT REMAINDER 7 -3"), "3.5\n1\n");
    EXPECT_EQ(run("PRINT ABS -2.5 PRINT INT 3.7 PRINT ROUND -2.5"), "2.5\n3\n-2\n");
    EXPECT_EQ(run("PRINT FLOAT 3 PRINT SQRT 16 PRINT POWER 2 10 PRINT EXP 0 PRINT LN 1"), "3\n4\n1024\n1\n0\n");
    EXPECT_EQ(run("PRINT SIN 30 PRINT COS 60 PRINT TAN 45 PRINT ARCTAN 1 PRINT ARCSIN 1 PRINT ARCCOS 0"),
              "0.5\n0.5\n1\n45\n90\n90\n");
    EXPECT_EQ(run("PRINT ARCTAN2 0 1 PRINT ARCTAN2 1 0 PRINT ARCTAN2 -1 0 PRINT ARCTAN2 0 -1"), "360\n90\n270\n180\n");  // the conversion factor is a little over 180 / pi
}

// What failing primitives give back is in error_fallbacks_test.cpp; here, what they say.
TEST_F(ArithmeticTest, DivisionByZeroAndBadInputs) {
    EXPECT_EQ(run("PRINT INTQUOTIENT -2147483648 -1 PRINT REMAINDER -2147483648 -1"), "-2147483648\n0\n");
    run("PRINT 1 / 0");
    EXPECT_EQ(lastError(), "Logo Error: Can't divide by 0\n\nAt: PRINT 1 / 0");
    EXPECT_EQ(errorOf("PRINT SQRT \"abc"), "Logo Error: SQRT doesn't like \"abc as input");
    EXPECT_EQ(errorOf("PRINT \"abc + 1"), "Logo Error: + doesn't like \"abc as input");
    EXPECT_EQ(errorOf("PRINT 3 +"), "Logo Error: Too few items in expression");
    EXPECT_EQ(errorOf("PRINT RANDOM 0"), "Logo Error: RANDOM doesn't like 0 as input");
}

TEST_F(ArithmeticTest, ComparisonsAndLogic) {
    EXPECT_EQ(run("PRINT 2 < 3 PRINT 2.5 > 3 PRINT \"10 > 9"), "TRUE\nFALSE\nTRUE\n");
    EXPECT_EQ(run("PRINT NOT \"true PRINT AND \"TRUE \"FALSE PRINT (AND) PRINT (OR \"FALSE \"FALSE \"TRUE)"),
              "FALSE\nFALSE\nTRUE\nTRUE\n");
    EXPECT_EQ(errorOf("PRINT NOT 3"), "Logo Error: NOT doesn't like 3 as input");
    EXPECT_EQ(errorOf("PRINT AND \"TRUE 7"), "Logo Error: AND doesn't like 7 as input");
}

TEST_F(ArithmeticTest, FormRandomAndRerandom) {
    EXPECT_EQ(run("SHOW FORM 1234567 1 1"), "1.2E+06\n");
    const std::string first = run("REPEAT 5 [TYPE RANDOM 10] RERANDOM REPEAT 5 [TYPE RANDOM 10]");
    ASSERT_EQ(first.size(), 10u);
    EXPECT_EQ(first.substr(0, 5), first.substr(5));
    for (char c : first) EXPECT_TRUE(c >= '0' && c <= '9');
}

} // namespace
} // namespace cv::script::test
