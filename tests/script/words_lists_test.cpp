// Words and lists: selectors on words, numbers and lists, building and editing lists,
// membership and comparison, the kind predicates, errors with what they give back, and
// running out of nodes.
#include "script_fixture.h"

#include <algorithm>

namespace cv::script::test {
namespace {

class WordsListsTest : public ScriptTest {
protected:
    void SetUp() override { ASSERT_TRUE(in.ensureInitialised()); }

    // Calls a primitive's handler with values, as the evaluator does, and gives back what it
    // outputs even when it raised an error (what an "ERROR" catch would see).
    Ref call(const char* name, std::initializer_list<Ref> args) {
        in.stopRequested = in.throwInProgress = false;
        const int index = findPrimitive(name);
        Ref cursor = kNone;
        PrimCall c{in, index, {kNone, kNone, kNone, kNone}, &cursor, false};
        int i = 0;
        for (Ref a : args) c.args[i++] = a;
        return primitiveTable()[size_t(index)].handler(c);
    }
    Ref word(const char* text) { return in.WordFromText(text); }
    Ref list(const char* text) { return in.ParseText(text); }
    std::string shown(Ref v) { return v == kNone ? "none" : in.QuotedMessageText(v); }
};

TEST_F(WordsListsTest, SelectorsTreatNumbersAsTheirText) {
    // The programs words_basics and words_lists have the plain cases.
    EXPECT_EQ(run("SHOW FIRST -2.5 SHOW LAST 1.5 SHOW LAST [a [b c]] SHOW BF [a] SHOW BF 123"), "-\n5\n[b c]\n[]\n23\n");
    EXPECT_EQ(run("SHOW COUNT [] SHOW COUNT 2.5 SHOW COUNT -10"), "0\n3\n3\n");
    // The quote word alone (only ever inside a list) counts as nothing and has code 0.
    EXPECT_EQ(run("SHOW COUNT FIRST [\" x] SHOW ASCII FIRST [\" x] SHOW ASCII \"A SHOW ASCII 7 SHOW ASCII \""),
              "0\n0\n65\n55\n0\n");
    EXPECT_EQ(run("SHOW ITEM 2 3.75 SHOW ITEM 2.9 [x y z]"), ".\ny\n");
    EXPECT_EQ(errorCount(), 0u);
}

TEST_F(WordsListsTest, WordsAreMadeNodeByNodeAtAnyAlignment) {
    const std::string alphabet = "abcdefghijklm";
    for (size_t i = 0; i <= 9; ++i) {
        for (size_t j = 0; j <= 9; ++j) {
            const std::string a = alphabet.substr(0, i), b = alphabet.substr(3, j);
            const std::string text = run("SHOW (WORD \"" + a + " \"" + b + " 7)");
            EXPECT_EQ(text, a + b + "7\n") << i << " " << j;
        }
        const Ref word = in.WordFromText(alphabet.substr(0, i));
        const Ref bf = call("BF", {word}), bl = call("BL", {word});
        if (i == 0) continue;
        EXPECT_EQ(in.TextFromWord(bf), alphabet.substr(1, i - 1));
        EXPECT_EQ(in.TextFromWord(bl), alphabet.substr(0, i - 1));
        // A word whose length is a multiple of four fills its last node: no node of NULs.
        for (Ref out : {bf, bl}) {
            size_t nodes = 0;
            for (Ref r = out; r != kNone && in.isWord(r); r = in.at(r).next) ++nodes;
            EXPECT_EQ(nodes, std::max<size_t>(1, (i - 1 + 3) / 4)) << i;
        }
    }
    // ITEM walking a word goes on from where it was, and starts again after a collection.
    const Ref w = in.WordFromText(alphabet);
    std::string walked;
    for (int k = 1; k <= 13; ++k) {
        walked += in.TextFromWord(call("ITEM", {in.NewInteger(k), w}));
        if (k == 7) in.CollectGarbage();
    }
    EXPECT_EQ(walked, alphabet);
    EXPECT_EQ(in.TextFromWord(call("ITEM", {in.NewInteger(2), w})), "b");
    EXPECT_EQ(call("ITEM", {in.NewInteger(14), w}), kNone);
    EXPECT_EQ(lastMessage(), "Logo Error: ITEM doesn't like 14 as input");
}

TEST_F(WordsListsTest, ListOutputsShareWhatTheyAreAllowedTo) {
    const Ref l = list("a b c");
    EXPECT_EQ(call("BF", {l}), in.rest(l));
    EXPECT_EQ(call("FIRST", {l}), in.first(l));
    const Ref fput = call("FPUT", {word("z"), l});
    EXPECT_EQ(in.rest(fput), l);
    EXPECT_EQ(call("FPUT", {word("z"), kEmptyList}) != kNone, true);
    EXPECT_EQ(shown(call("FPUT", {word("z"), kEmptyList})), "[z]");
    // LPUT and BUTLAST copy the chain, keep the elements, and leave the input as it was.
    const Ref lput = call("LPUT", {word("d"), l});
    EXPECT_NE(lput, l);
    EXPECT_EQ(in.first(lput), in.first(l));
    EXPECT_EQ(shown(lput), "[a b c d]");
    EXPECT_EQ(shown(call("BL", {l})), "[a b]");
    EXPECT_EQ(shown(l), "[a b c]");
    // Edits copy up to the change and share the part after it.
    const Ref removed = call("REMOVE", {in.NewInteger(2), l});
    EXPECT_EQ(in.rest(removed), in.rest(in.rest(l)));
    const Ref replaced = call("REPLACE", {word("q"), in.NewInteger(1), l});
    EXPECT_EQ(in.rest(replaced), in.rest(l));
    const Ref inserted = call("INSERT", {word("q"), in.NewInteger(1), l});
    EXPECT_EQ(in.rest(in.rest(inserted)), in.rest(l));
    EXPECT_EQ(call("MEMBER", {word("b"), l}), in.rest(l));
    EXPECT_EQ(errorCount(), 0u);
}

TEST_F(WordsListsTest, BuildingListsAndWords) {
    EXPECT_EQ(run("SHOW LIST 1 [2] SHOW (LIST \"a) SHOW SE [] []"), "[1 [2]]\n[a]\n[]\n");
    EXPECT_EQ(run("SHOW WORD \"ab 12 SHOW (WORD \"a 2.5 \"b -3) SHOW (WORD) SHOW WORD \" \""), "ab12\na2.5b-3\n\n\n");
    EXPECT_EQ(run("SHOW LPUT 1 [] SHOW FPUT [x] [a]"), "[1]\n[[x] a]\n");
    EXPECT_EQ(run("SHOW INSERT \"x 0 [] SHOW INSERT \"x 2 [a b] SHOW INSERT \"XY 2 \"abcd SHOW INSERT 5 0 12"),
              "[x]\n[a b x]\nabXYcd\n512\n");
    EXPECT_EQ(run("SHOW REMOVE 1 [a] SHOW REMOVE 3 [a b c] SHOW REMOVE 1 \"a SHOW REMOVE 2 3.5"), "[]\n[a b]\n\n35\n");
    EXPECT_EQ(run("SHOW REPLACE [x] 2 [a b] SHOW REPLACE \"XY 3 \"abcd SHOW REPLACE 9 1 123 SHOW REPLACE [p q] 1 \"abcd"),
              "[a [x]]\nabXY\n923\np qd\n");
    EXPECT_EQ(run("SHOW UNPARSE [a [b [c]] [] 2.50 \"q] SHOW UNPARSE 007 SHOW UNPARSE \"w"), "a b c 2.5 \"q\n7\nw\n");
    EXPECT_EQ(run("SHOW UPPERCASE \"abC1\xe9 SHOW LOWERCASE \"ABc SHOW UPPERCASE 1e3 SHOW CHAR 97 SHOW CHAR 321 SHOW CHAR 256"),
              "ABC1\xe9\nabc\n1000\na\nA\n\n");
    EXPECT_EQ(errorCount(), 0u);
}

TEST_F(WordsListsTest, MembershipAndComparison) {
    EXPECT_EQ(run("SHOW MEMBER \"b [a b c] SHOW MEMBER [b] [a [b] c] SHOW MEMBER 2 [1 2.0 3] SHOW MEMBER \"z [a]"),
              "[b c]\n[[b] c]\n[2 3]\n[]\n");
    EXPECT_EQ(run("SHOW MEMBER \"cd \"abcdcd SHOW MEMBER \"C \"abc SHOW MEMBER 3 12345 SHOW MEMBER \" \"abc"),
              "cdcd\n\n345\nabc\n");
    EXPECT_EQ(run("SHOW MEMBER \"aab \"aaab SHOW MEMBER \"abac \"ababac SHOW MEMBER \"abc \"ababab"), "aab\nabac\n\n");
    EXPECT_EQ(run("SHOW MEMBERP \"c \"abc SHOW MEMBERP \"x \"abc SHOW MEMBERP [] [a []] SHOW MEMBERP \" \""),
              "TRUE\nFALSE\nTRUE\nFALSE\n");
    EXPECT_EQ(run("SHOW EQUALP 2 2.0 SHOW EQUALP \"2 2 SHOW EQUALP \"2.0 \"2"), "TRUE\nTRUE\nFALSE\n");
    EXPECT_EQ(run("SHOW BEFOREP \"abc \"abd SHOW BEFOREP \"ab \"abc SHOW BEFOREP \"abc \"abc SHOW BEFOREP \"B \"a"),
              "TRUE\nTRUE\nFALSE\nTRUE\n");
    // Bytes from 128 up are negative characters: they sort before the letters.
    EXPECT_EQ(run("SHOW BEFOREP \"\xe9 \"a SHOW BEFOREP 10 9"), "TRUE\nTRUE\n");
}

TEST_F(WordsListsTest, KindPredicates) {
    EXPECT_EQ(run("SHOW (LIST EMPTYP [] EMPTYP \" EMPTYP [a] EMPTYP 0 EMPTYP BF \"a)"), "[TRUE TRUE FALSE FALSE TRUE]\n");
    EXPECT_EQ(run("SHOW (LIST WORDP 3 WORDP 3.5 WORDP \"a WORDP [] LISTP [] LISTP \"a)"),
              "[TRUE TRUE TRUE FALSE TRUE FALSE]\n");
    EXPECT_EQ(run("SHOW (LIST NUMBERP 12 NUMBERP \"12 INTEGERP 12 INTEGERP 1.0 FLOATP 1.0 FLOATP 1 FLOATP \"1.5)"),
              "[TRUE FALSE TRUE FALSE TRUE FALSE FALSE]\n");
    EXPECT_EQ(call("EMPTYP", {kNone}), kFalse);
    EXPECT_EQ(errorCount(), 0u);
}

// One or two of each form of message; which error each primitive raises is in error_fallbacks_test.
TEST_F(WordsListsTest, ErrorsNameThePrimitiveAndTheInput) {
    const std::pair<const char*, const char*> cases[] = {
        {"SHOW FIRST []", "FIRST doesn't like [] as input"},
        {"SHOW ITEM 5 [a b]", "The index given is too big for [a b]"},
        {"SHOW ITEM 5 \"ab", "ITEM doesn't like 5 as input"},
        {"SHOW ITEM 0 [a]", "ITEM doesn't like 0 as input"},
        {"SHOW FPUT 1 \"a", "FPUT doesn't like \"a as input"},
        {"SHOW WORD \"a [b]", "WORD doesn't like [b] as input"},
        {"SHOW INSERT \"a -1 [b]", "INSERT doesn't like -1 as input"},
        {"SHOW INSERT \"a 3 \"bc", "The index given is too big for \"bc"},
        {"SHOW REMOVE 2 \"b", "The index given is too big for \"b"},
        {"SHOW REPLACE \"x 4 [a b c]", "The index given is too big for [a b c]"},
        {"SHOW ASCII [a]", "ASCII doesn't like [a] as input"},
        {"SHOW BEFOREP \"a [b]", "BEFOREP doesn't like [b] as input"},
        {"SHOW LIST 1 PRINT 2", "Not enough inputs to LIST"},
        {"SHOW COUNT", "Not enough inputs to COUNT"},
    };
    for (const auto& [text, message] : cases) {
        run(text);
        EXPECT_EQ(lastMessage(), std::string("Logo Error: ") + message) << text;
    }
    run("SHOW ITEM 3 [a b]");
    EXPECT_EQ(lastError(), "Logo Error: The index given is too big for [a b]\n\nAt: SHOW ITEM 3 [a b]");
}

TEST_F(WordsListsTest, WhatErrorsGiveBack) {
    // The empty word comes back from BUTFIRST and BUTLAST as it went in.
    EXPECT_EQ(call("BF", {kEmptyWord}), kEmptyWord);
    EXPECT_EQ(call("BL", {kEmptyWord}), kEmptyWord);
    const Ref a = word("a");
    EXPECT_EQ(call("FPUT", {kNone, kEmptyList}), kEmptyList);
    EXPECT_EQ(lastMessage(), "Logo Error: FPUT doesn't like [] as input");
    EXPECT_EQ(call("FPUT", {word("x"), a}), a);
    EXPECT_EQ(call("ITEM", {in.NewInteger(3), list("p q")}), kEmptyList);
    EXPECT_EQ(call("CHAR", {word("x")}), kEmptyWord);
    EXPECT_EQ(call("CHAR", {kNone}), kEmptyWord);
    EXPECT_EQ(lastMessage(), "Logo Error: Not enough inputs to CHAR");
    EXPECT_EQ(call("FIRST", {kEmptyList}), kNone);
    EXPECT_EQ(call("LPUT", {kNone, kEmptyList}), kNone);
    EXPECT_EQ(call("EQUALP", {kNone, kEmptyList}), kFalse);
    EXPECT_EQ(lastMessage(), "Logo Error: Not enough inputs to EQUALP");
}

TEST_F(WordsListsTest, RandomizeShufflesACopy) {
    const char* text = "MAKE \"L [1 2 3 4 5 6 7 8] SHOW RANDOMIZE :L SHOW RANDOMIZE \"abcdefgh SHOW :L";
    in.setRandomSeed(7);
    const std::string once = run(text);
    in.setRandomSeed(7);
    EXPECT_EQ(run(text), once);  // the same seed, the same order
    // Every element once, in another order, and the input as it was.
    std::string list = once.substr(1, once.find(']') - 1), word = once.substr(once.find('\n') + 1, 8);
    EXPECT_NE(list, "1 2 3 4 5 6 7 8");
    EXPECT_NE(word, "abcdefgh");
    std::sort(list.begin(), list.end());
    std::sort(word.begin(), word.end());
    EXPECT_EQ(list, "       12345678");
    EXPECT_EQ(word, "abcdefgh");
    EXPECT_EQ(once.substr(once.rfind('[')), "[1 2 3 4 5 6 7 8]\n");
    EXPECT_EQ(run("SHOW RANDOMIZE [] SHOW RANDOMIZE \" SHOW RANDOMIZE [x] SHOW COUNT RANDOMIZE 1234"), "[]\n\n[x]\n4\n");
}

TEST_F(WordsListsTest, LongWordsCopyWholeNodesAcrossBlocksAndCollections) {
    // Words longer than a block of nodes, with bytes above 127, copied at every alignment in a
    // pool small enough that copies run out of free nodes part way and collect.
    in.setMaxBlocks(8);
    std::string text;
    for (int i = 0; i < 5003; ++i) text.push_back(char(0x80 + (i * 7) % 120));
    auto setWord = [&](const char* name, const std::string& value) {
        const Ref n = in.WordFromText(name), v = in.WordFromText(value);
        in.SetVariable(n, v);
        in.UnlockValue(n);
        in.UnlockValue(v);
    };
    setWord("W", text);
    const Ref w = in.first(in.rest(in.FindGlobalBinding(in.WordFromText("W"), false)));
    const uint64_t collectionsBefore = in.collections();
    for (size_t i = 0; i < 8; ++i) {
        const Ref bf = call("BF", {w});
        EXPECT_EQ(in.TextFromWord(bf), text.substr(1));
        EXPECT_EQ(in.intValue(call("COUNT", {bf})), int32_t(text.size() - 1));
        in.UnlockValue(bf);
        const Ref bl = call("BL", {w});
        EXPECT_EQ(in.TextFromWord(bl), text.substr(0, text.size() - 1));
        EXPECT_EQ(in.TextFromWord(call("LAST", {bl})), text.substr(text.size() - 2, 1));
        in.UnlockValue(bl);
        // WORD puts the long word after a prefix of i characters: every shift of a node.
        setWord("P", std::string(i, 'x'));
        setWord("E", std::string(i, 'x') + text);
        EXPECT_EQ(run("PRINT EQUALP WORD :P :W :E PRINT COUNT WORD :W :P"), "TRUE\n" + std::to_string(text.size() + i) + "\n")
            << i;
    }
    EXPECT_GT(in.collections() - collectionsBefore, 8u);
    EXPECT_EQ(errorCount(), 0u);
}

TEST_F(WordsListsTest, RunningOutOfNodesEndsTheRunAndKeepsNothing) {
    in.setMaxBlocks(4);
    run("TO GROW :L\nGROW LPUT COUNT :L :L\nEND");
    in.CollectGarbage();
    const size_t before = in.CountFreeNodes();
    EXPECT_EQ(errorOf("GROW []"), "Logo Error: Out of space");
    // What the failed builds made was left to the collector.
    in.CollectGarbage();
    EXPECT_GE(in.CountFreeNodes() + 8, before);
    EXPECT_EQ(run("SHOW SE [a b] [c]"), "[a b c]\n");
}

TEST_F(WordsListsTest, BuildingALongListCollectsRarely) {
    // Each LPUT copies the list, so this makes 4.5 million nodes while 3000 stay alive:
    // a collection has to pay for many of them.
    const uint64_t before = in.collections();
    EXPECT_EQ(run("MAKE \"L [] REPEAT 3000 [MAKE \"L LPUT 1 :L] PRINT COUNT :L"), "3000\n");
    EXPECT_LT(in.collections() - before, 400u);
}

TEST_F(WordsListsTest, AListThatHoldsItselfHasNoText) {
    const Ref l = list("a b");
    in.at(in.rest(l)).item = l;  // [a [a [a ...]]]
    EXPECT_EQ(call("UNPARSE", {l}), kNone);
    EXPECT_EQ(lastMessage(), "Logo Error: Out of space");
    EXPECT_EQ(call("MATCH", {kEmptyList, word("a"), in.NewList(l, kNone)}), kNone);
    EXPECT_EQ(call("COUNT", {l}) != kNone, true);
}

} // namespace
} // namespace cv::script::test
