// Node memory: word layout, names, hashes, locks and the collector.
#include "script_fixture.h"

#include <new>

namespace cv::script::test {
namespace {

class NodeMemoryTest : public ScriptTest {
protected:
    void SetUp() override { ASSERT_TRUE(in.ensureInitialised()); }
};

TEST_F(NodeMemoryTest, WordsPackFourCharactersPerNodeAndAreBuiltCharacterByCharacter) {
    const Ref four = in.WordFromText("ABCD");
    EXPECT_EQ(uint32_t(in.at(four).next), kNone);
    EXPECT_EQ(in.at(four).flags, kWordBit | kLockBit);
    const Ref five = in.WordFromText("ABCDE");
    const Ref second = in.at(five).next;
    ASSERT_NE(second, kNone);
    EXPECT_EQ(uint32_t(in.at(second).next), kNone);
    EXPECT_EQ(uint32_t(in.at(second).item), uint32_t('E'));  // one character and three NULs
    EXPECT_EQ(in.TextFromWord(five), "ABCDE");

    const Ref empty = in.WordFromText("");
    EXPECT_EQ(uint32_t(in.at(empty).item), 0u);
    EXPECT_EQ(in.CompareNames(empty, kEmptyWord), 0);
    EXPECT_EQ(in.TextFromWord(kFalse), "FALSE");
    EXPECT_EQ(in.TextFromWord(kErrorWord), "ERROR");

    // The word builder and the character cursor.
    in.BeginWord();
    for (char c : std::string("HELLO, WORLD")) in.AppendChar(c);
    const Ref w = in.EndWord();
    EXPECT_EQ(in.TextFromWord(w), "HELLO, WORLD");
    in.StartChars(w);
    std::string back;
    while (char c = in.NextChar()) back.push_back(c);
    EXPECT_EQ(back, "HELLO, WORLD");
    in.BeginWord();
    EXPECT_EQ(in.TextFromWord(in.EndWord()), "");  // never none while memory lasts
    EXPECT_EQ(in.ButFirstChar(in.WordFromText("A")), Ref(kEmptyWord));
    EXPECT_EQ(in.TextFromWord(in.ButFirstChar(in.WordFromText(":ABCDE"))), "ABCDE");
}

TEST_F(NodeMemoryTest, NamesCompareIgnoringCaseAndLongerIsGreater) {
    const Ref foo = in.WordFromText("Foo"), FOO = in.WordFromText("FOO"), food = in.WordFromText("FOOD");
    EXPECT_EQ(in.CompareNames(foo, FOO), 0);
    EXPECT_EQ(in.CompareNames(FOO, food), -1);
    EXPECT_EQ(in.CompareNames(food, FOO), 1);
    EXPECT_EQ(in.CompareNamesSkip(in.WordFromText(":foo"), 1, FOO), 0);
    EXPECT_TRUE(in.IsTrue(in.WordFromText("true")));
    EXPECT_TRUE(in.IsFalse(in.WordFromText("False")));
    EXPECT_FALSE(in.IsTrue(in.WordFromText("TRUEX")));
}

TEST_F(NodeMemoryTest, HashesStayInRangeAndIgnoreCase) {
    for (const char* name : {"PRINT", "print", "SETHEADING3D", "A", "", "\xE9t\xE9"}) {
        const Ref w = in.WordFromText(name);
        EXPECT_GE(in.PrimitiveHash(w), 0);
        EXPECT_LT(in.PrimitiveHash(w), 361);
        EXPECT_GE(in.NameHash(w), 0);
        EXPECT_LT(in.NameHash(w), 7);
    }
    EXPECT_EQ(in.PrimitiveHash(in.WordFromText("print")), in.PrimitiveHash(in.WordFromText("PRINT")));
    EXPECT_EQ(in.NameHash(in.WordFromText("abc")), in.NameHash(in.WordFromText("ABC")));
    // Which chain a name is in shows in the listings' order (see the workspace tests).
}

TEST_F(NodeMemoryTest, LockedAndPinnedValuesSurviveCollectionAndOthersAreFreed) {
    in.CollectGarbage();
    const size_t before = in.CountFreeNodes();
    // A list of 100 words, built locked as native code builds it.
    Ref head = kNone, tail = kNone;
    for (int i = 0; i < 100; ++i) ASSERT_TRUE(in.AppendToList(head, tail, in.WordFromText("ITEM" + std::to_string(i))));
    in.UnlockValue(head);
    in.LockValue(head);  // only the head is locked now; the collector keeps what hangs below
    in.CollectGarbage();
    EXPECT_EQ(in.CountFreeNodes(), before - 300);
    EXPECT_EQ(in.TextFromWord(in.first(in.rest(head))), "ITEM1");
    in.UnlockValue(head);
    in.CollectGarbage();
    EXPECT_EQ(in.CountFreeNodes(), before);
    // A pin holds a value for as long as it lasts.
    const Ref w = in.WordFromText("PINNED WORD");
    in.UnlockValue(w);
    {
        NodeMemory::Pin pin(in, w);
        in.CollectGarbage();
        EXPECT_EQ(in.CountFreeNodes(), before - 3);
        EXPECT_EQ(in.TextFromWord(w), "PINNED WORD");
    }
    in.CollectGarbage();
    EXPECT_EQ(in.CountFreeNodes(), before);
}

TEST_F(NodeMemoryTest, SharedStructureIsMarkedOnce) {
    // Forty levels of a list holding its predecessor twice: 2^40 paths, 80 nodes.
    in.CollectGarbage();
    const size_t before = in.CountFreeNodes();
    Ref x = kEmptyList;
    for (int i = 0; i < 40; ++i) {
        const Ref second = in.NewList(x, kNone);
        x = in.NewList(x, second);
    }
    in.UnlockValue(x);
    in.LockValue(x);
    in.CollectGarbage();  // ends, having looked at each node once
    EXPECT_EQ(in.CountFreeNodes(), before - 80);
    in.UnlockValue(x);
    in.CollectGarbage();
    EXPECT_EQ(in.CountFreeNodes(), before);
}

TEST_F(NodeMemoryTest, RecycleThenNodesReportsTheFreeCount) {
    const std::string printed = run("RECYCLE NODES");
    const std::string expected = "There are " + std::to_string(in.CountFreeNodes()) + " free nodes.\n";
    EXPECT_EQ(printed, expected);
    // Keeping a definition alive lowers the count by its nodes.
    run("TO KEEP\nPRINT [A B C D E F G H]\nEND");
    const std::string after = run("RECYCLE NODES");
    EXPECT_NE(after, expected);
}

TEST_F(NodeMemoryTest, ThePoolHasALimitByDefault) {
    Interpreter fresh;
    EXPECT_GT(fresh.poolLimitBytes(), size_t(1) << 20);
    EXPECT_LE(fresh.poolLimitBytes(), size_t(1) << 30);
    EXPECT_EQ(fresh.poolLimitBytes(), fresh.maxBlocks() * (fresh.poolLimitBytes() / fresh.maxBlocks()));
    fresh.setPoolLimitBytes(1);
    EXPECT_EQ(fresh.maxBlocks(), 1u);
}

TEST_F(NodeMemoryTest, DoublingAListPastTheLimitEndsInOutOfSpaceAndLeavesAWorkingInterpreter) {
    in.setPoolLimitBytes(512 * 1024);
    const size_t limit = in.maxBlocks();
    EXPECT_EQ(run("MAKE \"L [a] REPEAT 40 [MAKE \"L SE :L :L] PRINT \"unreached"), "");
    EXPECT_EQ(lastMessage(), "Logo Error: Out of space");
    EXPECT_LE(in.blockCount(), limit);
    // The last list that could be made is kept; the interpreter goes on.
    const std::string count = run("PRINT COUNT :L");
    EXPECT_GE(std::stoi(count), 8192);
    EXPECT_EQ(run("ERN \"L RECYCLE SHOW SE [a] [b c] MAKE \"L [a] REPEAT 10 [MAKE \"L SE :L :L] PRINT COUNT :L"),
              "[a b c]\n1024\n");
}

// A text output that the platform refuses memory for.
class RefusingOutput final : public TextOutput {
public:
    void write(std::string_view bytes) override {
        if (bytes.find("boom") != std::string_view::npos) throw std::bad_alloc();
        text.append(bytes);
    }
    std::string text;
};

TEST_F(NodeMemoryTest, RefusedMemoryInTheMiddleOfALineIsOutOfSpace) {
    RefusingOutput refusing;
    auto runRefusing = [&](std::string_view text) {
        refusing.text.clear();
        in.RunScript(text.data(), text.size(), nullptr, &refusing);
        return refusing.text;
    };
    run("TO NEST\nCATCH \"ERROR [REPEAT 2 [PRINT (SE \"a \"boom)]]\nEND");
    EXPECT_EQ(runRefusing("PRINT 1 NEST PRINT 2\nPRINT 3"), "1\n");
    EXPECT_EQ(lastMessage(), "Logo Error: Out of space");
    EXPECT_EQ(in.catchChain, kNone);
    EXPECT_EQ(runRefusing("PRINT 4"), "4\n");
    // Nothing was lost from the workspace, and collections still work.
    EXPECT_EQ(runRefusing("RECYCLE PRINT DEFINEDP \"NEST"), "TRUE\n");
}

TEST_F(NodeMemoryTest, TheCollectorKeepsStructuresWiderThanItsStack) {
    // Far more elements waiting to be walked than the collector's stack holds: some are found
    // by its sweep instead. Everything reachable must survive, locked or rooted.
    constexpr int kWide = 150000;
    Ref keep = kNone, value = kNone, tail1 = kNone, tail2 = kNone;
    for (int i = 0; i < kWide; ++i) {
        ASSERT_TRUE(in.AppendToList(keep, tail1, in.NewInteger(i)));
        ASSERT_TRUE(in.AppendToList(value, tail2, in.NewInteger(-i)));
    }
    in.UnlockValue(keep);
    in.LockValue(keep);  // only its first node is locked
    const Ref name = in.WordFromText("wide");
    in.NewGlobalBinding(name, value, false);
    in.UnlockValue(name);
    in.UnlockValue(value);
    in.CollectGarbage();
    const size_t freeAfter = in.CountFreeNodes();
    // Make garbage over whatever was freed, then check every element.
    EXPECT_EQ(run("REPEAT 2000 [MAKE \"G (LIST 7 7 7 7 7)] ERN \"G"), "");
    in.CollectGarbage();
    int64_t sumLocked = 0, sumRooted = 0;
    int seen = 0;
    for (Ref a = keep, b = in.first(in.rest(in.FindGlobalBinding(name, false))); in.isList(a) && in.isList(b);
         a = in.rest(a), b = in.rest(b), ++seen) {
        ASSERT_TRUE(in.isInteger(in.first(a)));
        ASSERT_TRUE(in.isInteger(in.first(b)));
        sumLocked += in.intValue(in.first(a));
        sumRooted += in.intValue(in.first(b));
    }
    EXPECT_EQ(seen, kWide);
    EXPECT_EQ(sumLocked, int64_t(kWide) * (kWide - 1) / 2);
    EXPECT_EQ(sumRooted, -sumLocked);
    // Only the last line run stays (it is a root until the next line).
    EXPECT_GE(in.CountFreeNodes() + 64, freeAfter);
    in.UnlockValue(keep);
}

} // namespace
} // namespace cv::script::test
