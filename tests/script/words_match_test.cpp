// Pattern matching: the options, the wild characters, whole and partial matches, and what
// MATCH gives back from words and lists.
#include "script_fixture.h"

namespace cv::script::test {
namespace {

using MatchTest = ScriptTest;

TEST_F(MatchTest, WildCharactersOnEitherSide) {
    EXPECT_EQ(run("SHOW MATCH [] \"b?d \"abcde SHOW MATCH [] \"abc \"x?bc SHOW MATCH [] \"zz \"abc"), "bcde\n?bc\n\n");
    EXPECT_EQ(run("SHOW MATCHP [] \"a%b 'a b' SHOW MATCHP [] \"a%b \"axb SHOW SIMILARP [] 'a\tb' \"a%b"),
              "TRUE\nFALSE\nTRUE\n");
    // A partial match needs only the pattern's length; a whole match needs both to end together.
    EXPECT_EQ(run("SHOW MATCHP [] \"abc \"ab SHOW SIMILARP [] \"ab \"abc SHOW SIMILARP [] \"a?c \"abc"),
              "FALSE\nFALSE\nTRUE\n");
    EXPECT_EQ(run("SHOW MATCH [] \" \"abc SHOW MATCHP [] \" \"abc SHOW MATCHP [] \" \" SHOW MATCH [] 1 3.125"),
              "abc\nTRUE\nFALSE\n125\n");
}

TEST_F(MatchTest, OptionsChangeBothTextsInOrder) {
    EXPECT_EQ(run("SHOW SIMILARP [U] \"Hello \"hELLO SHOW SIMILARP [] \"Hello \"hELLO"), "TRUE\nFALSE\n");
    EXPECT_EQ(run("SHOW SIMILARP [W] '  a \t  b  ' 'a b' SHOW SIMILARP [W] 'ab' 'a b'"), "TRUE\nFALSE\n");
    EXPECT_EQ(run("SHOW SIMILARP [R _ x] \"a_b \"axb SHOW SIMILARP [D _] \"a_b_c \"abc"), "TRUE\nTRUE\n");
    EXPECT_EQ(run("SHOW SIMILARP [U D A] \"abc \"BC SHOW SIMILARP [D A U] \"abc \"BC"), "TRUE\nFALSE\n");
    EXPECT_EQ(run("SHOW SIMILARP [uppercase delete X whitespace replace 1 2] 'a x  B1' 'A B2'"), "TRUE\n");
    // Numbers and lists take part through their text.
    EXPECT_EQ(run("SHOW SIMILARP [] [a [b]] 'a b' SHOW SIMILARP [D \\.] 2.5 25"), "TRUE\nTRUE\n");
}

TEST_F(MatchTest, MatchGivesBackTheTargetsOwnText) {
    EXPECT_EQ(run("SHOW MATCH [U] \"LO \"hello SHOW MATCH [D x] \"bc \"axxbxcd"), "lo\nbxcd\n");
    EXPECT_EQ(run("SHOW MATCH [W] 'b c' 'a  b    c  d'"), "b    c  d\n");
}

TEST_F(MatchTest, ListTargetsGiveTheTailFromTheWholeMatch) {
    EXPECT_EQ(run("SHOW MATCH [U] \"B?D [abc xbyd bcd e] SHOW MATCH [] \"b [abc]"), "[bcd e]\n[]\n");
    EXPECT_EQ(run("SHOW MATCHP [] 2 [1 2.0 3] SHOW MATCHP [] \"x [] SHOW MATCH [] \"? [ab c d]"), "TRUE\nFALSE\n[c d]\n");
}

TEST_F(MatchTest, BadOptionsNameThePrimitive) {
    const std::pair<const char*, const char*> cases[] = {
        {"SHOW MATCH [D] \"a \"b", "MATCH doesn't like [D] as input"},
        {"SHOW MATCHP [D ab] \"a \"b", "MATCHP doesn't like [D ab] as input"},
        {"SHOW SIMILARP [R a] \"a \"b", "SIMILARP doesn't like [R a] as input"},
        {"SHOW SIMILARP [R a [b]] \"a \"b", "SIMILARP doesn't like [R a [b]] as input"},
        {"SHOW MATCH [X] \"a \"b", "MATCH doesn't like [X] as input"},
        {"SHOW MATCH \"U \"a \"b", "MATCH doesn't like \"U as input"},
        {"SHOW MATCH [] \"a PRINT 1", "Not enough inputs to MATCH"},
    };
    for (const auto& [text, message] : cases) {
        run(text);
        EXPECT_EQ(lastMessage(), std::string("Logo Error: ") + message) << text;
    }
}

// Escape, as the person would press it while a long match runs.
class EscapeHost final : public ScriptHost {
public:
    bool interruptRequested() override { return pressed; }
    bool pressed = false;
};

TEST_F(MatchTest, EscapeStopsALongMatch) {
    EscapeHost host;
    in.setHost(&host);
    run("MAKE \"A \"a REPEAT 17 [MAKE \"A WORD :A :A] MAKE \"P WORD :A \"b MAKE \"T WORD :A :A");
    EXPECT_EQ(run("PRINT COUNT :P PRINT COUNT :T"), "131073\n262144\n");
    // Tried at each of 131072 places, the pattern would take billions of comparisons.
    host.pressed = true;
    EXPECT_EQ(run("PRINT MATCHP [] :P :T PRINT \"after"), "");
    EXPECT_TRUE(in.stopRequested);
}

} // namespace
} // namespace cv::script::test
