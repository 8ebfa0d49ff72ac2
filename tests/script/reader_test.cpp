// The reader and the printed forms.
#include "script_fixture.h"

namespace cv::script::test {
namespace {

class ReaderTest : public ScriptTest {
protected:
    void SetUp() override { ASSERT_TRUE(in.ensureInitialised()); }
    Ref parse(std::string_view text) { return in.ParseText(text); }
    // SHOW form of a parse, with each element's kind: w word, i integer, f float, l list.
    std::string kinds(Ref list) {
        std::string k;
        for (Ref n = in.IsEmptyList(list) ? kNone : list; in.isList(n); n = in.rest(n)) {
            const Ref e = in.first(n);
            k += in.isList(e) ? 'l' : in.isInteger(e) ? 'i' : in.isFloat(e) ? 'f' : 'w';
        }
        return k;
    }
    std::string shown(Ref v) { return in.QuotedMessageText(v); }
};

TEST_F(ReaderTest, CommentsBracketsAndNesting) {
    const Ref l = parse("print [a b] ; note");
    EXPECT_EQ(shown(l), "[print [a b]]");
    EXPECT_EQ(kinds(l), "wl");
    EXPECT_EQ(parse("; only a comment"), Ref(kEmptyList));
    EXPECT_EQ(parse("   "), Ref(kEmptyList));
    EXPECT_EQ(shown(parse("a ] b c")), "[a]");            // a surplus ] ends the line
    EXPECT_EQ(shown(parse("a [b [c")), "[a [b [c]]]");    // a missing ] closes at the end
    EXPECT_EQ(shown(parse("[[;x] y")), "[[[]]]");         // a comment ends the whole text
    EXPECT_EQ(shown(parse("a[b]c")), "[a [b] c]");
    std::string deep(200000, '[');
    EXPECT_TRUE(in.isList(parse(deep)));  // nesting costs no native stack
}

TEST_F(ReaderTest, OperatorsMinusAndNumbers) {
    EXPECT_EQ(kinds(parse("3-4")), "iwi");
    EXPECT_EQ(kinds(parse("3 -4")), "ii");
    EXPECT_EQ(shown(parse(":A-1")), "[:A - 1]");
    EXPECT_EQ(kinds(parse("3abc")), "iw");
    EXPECT_EQ(kinds(parse("\"3")), "w");
    EXPECT_EQ(shown(parse("a/b / c")), "[a/b / c]");
    EXPECT_EQ(shown(parse("1<2>=3*4+5")), "[1 < 2 > = 3 * 4 + 5]");

    const Ref n = parse("007 1.50 2E3 4294967296 2147483647 .5 -.5 1e-3 0.0");
    EXPECT_EQ(kinds(n), "ifffiffff");
    EXPECT_EQ(shown(n), "[7 1.5 2000 4.294967296000000e+09 2147483647 0.5 -0.5 1.000000000000000e-03 0]");
    EXPECT_EQ(kinds(parse("12345678901234567890123")), "fi");  // at most 19 digits per number
    EXPECT_EQ(shown(parse("1E005 2e+0003")), "[100000 2000]");
}

TEST_F(ReaderTest, QuotesApostrophesAndBackslashes) {
    auto word = [&](std::string_view text) { return in.TextFromWord(in.first(parse(text))); };
    EXPECT_EQ(word("a\\ b"), "a b");
    EXPECT_EQ(word("\"\\x41"), "\"A");
    EXPECT_EQ(word("\"\\xZ"), "\"xZ");
    EXPECT_EQ(word("\"\\x4g"), "\"\x04g");
    EXPECT_EQ(word("'two words [x]'"), "\"two words [x]");
    EXPECT_EQ(word("'it\\'s'"), "\"it's");
    EXPECT_EQ(word("\"a(b"), "\"a");
    EXPECT_EQ(word("\" x"), "\"");
    EXPECT_EQ(word("\"[x]"), "\"");
    EXPECT_EQ(word("a;b:c#"), "a;b:c#");
    EXPECT_EQ(word("\\3abc"), "3abc");
    // In an ordinary word x after a backslash is the letter; only quoted words and
    // apostrophe text read \x and hexadecimal digits.
    EXPECT_EQ(word("\\x41"), "x41");
    EXPECT_EQ(word("caf\\xE9"), "cafxE9");
    EXPECT_EQ(word("'\\x41\\x'"), "\"Ax");
    EXPECT_EQ(run("PRINT [\\x41] PRINT \"\\x41"), "x41\nA\n");
    EXPECT_EQ(word("\"abc\\"), "\"abc");      // a backslash at the end is dropped
}

TEST_F(ReaderTest, PrintedForms) {
    const Ref l = parse("a [b c] \"");
    // The quote word: its element is the word of the quote character alone.
    const Ref quoteWord = in.ButFirstChar(in.WordFromText("x\""));
    in.at(in.rest(in.rest(l))).item = quoteWord;
    EXPECT_EQ(in.FormText(l, false, false), "a [b c] ");
    EXPECT_EQ(in.FormText(l, false, true), "a [b c] ''");
    EXPECT_EQ(in.MessageText(l), "a [b c] ");
    EXPECT_EQ(in.MessageText(kNone), "[]");
    EXPECT_EQ(in.QuotedMessageText(in.WordFromText("X")), "\"X");
    EXPECT_EQ(in.LineText(parse("PRINT \"a\\ b 3 - 4 [x y] (1)")), "PRINT \"a\\ b 3 - 4 [x y] ( 1 )");
    EXPECT_EQ(in.LineText(parse(std::string(600, 'x'))).size(), 255u);
}

TEST_F(ReaderTest, EscapedFormReadsBackToTheSameWords) {
    const char* words[] = {"plain", "two words", "3abc", ".5x", "[x]", "a(b)c", "semi;colon", "back\\slash",
                           "-", "+", "caf\xE9", "tab\there", "\"", "x*y=z", " lead", "\x01\x7F\xFF",
                           "x41", "back\\x41", "'apostrophe", "\"qu\xE9", "\"\\x41"};
    Ref head = kNone, tail = kNone;
    for (const char* w : words) ASSERT_TRUE(in.AppendToList(head, tail, in.WordFromText(w)));
    const Ref nested = in.NewList(head, kNone);
    const std::string text = in.FormText(head, false, true) + " " + in.FormText(nested, false, true);
    const Ref back = parse(text);
    Ref p = back;
    for (const char* w : words) {
        ASSERT_TRUE(in.isList(p)) << text;
        EXPECT_EQ(in.TextFromWord(in.first(p)), w) << text;
        p = in.rest(p);
    }
    ASSERT_TRUE(in.isList(p));
    EXPECT_TRUE(in.EqualP(in.first(p), head)) << text;
}

TEST_F(ReaderTest, AListingOfWordsOutsideAsciiReadsBack) {
    // An ordinary word reads \x as the letter x, so a listing writes such bytes as they are
    // (a quoted word keeps the \x form).
    run("TO CAFE\nPRINT [caf\xE9 \\x41 na\\\tme] PRINT \"caf\xE9\nEND");
    const Ref def = in.FindProcedure(in.WordFromText("CAFE"));
    ASSERT_NE(def, kNone);
    const std::string listing = in.ProcedureListing(def);
    EXPECT_EQ(listing, "TO CAFE\nPRINT [caf\xE9 x41 na\\\tme] PRINT \"caf\\xE9\nEND\n");
    const std::string before = run("CAFE");
    EXPECT_EQ(before, "caf\xE9 x41 na\tme\ncaf\xE9\n");
    run("ERALL\n" + listing);
    EXPECT_EQ(run("CAFE"), before);
}

TEST_F(ReaderTest, DefinitionsFromLines) {
    EXPECT_EQ(run("TO FOO :A B\nPRINT 1\nEND\nPRINT 2"), "");
    EXPECT_EQ(lastMessage(), "Logo Error: TO doesn't like \"B as input");
    EXPECT_EQ(in.FindProcedure(in.WordFromText("FOO")), kNone);

    EXPECT_EQ(run("TO PRINT\nEND"), "");
    EXPECT_EQ(lastMessage(), "Logo Error: \"PRINT is a primitive");
    EXPECT_EQ(run("TO :X\nEND"), "");
    EXPECT_EQ(lastMessage(), "Logo Error: TO doesn't like \":X as input");

    // CR LF ends give an empty line after each line; it runs as if absent.
    EXPECT_EQ(run("TO TWICE\r\nPRINT 1\r\nPRINT 2\r\nend\r\nTWICE\r\n"), "1\n2\n");
    const Ref def = in.FindProcedure(in.WordFromText("TWICE"));
    EXPECT_EQ(in.ListLength(def), 2u + 5u);  // name, params, two lines and three empty ones

    const size_t errors = errorCount();
    EXPECT_EQ(run("TO NOEND\nPRINT 1"), "");
    EXPECT_EQ(errorCount(), errors + 1);
    EXPECT_EQ(lastMessage(), "Logo Error: You used a TO without an END");
}

} // namespace
} // namespace cv::script::test
