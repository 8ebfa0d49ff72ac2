// Opening stacks: the header checks and their alerts, the minimum card size question, damaged
// and truncated files, normalisation after loading, Macintosh names and paths, card lookups.
#include "stack/stack_io.h"

#include <gtest/gtest.h>

#include <functional>
#include <random>

#include "core/byte_order.h"
#include "core/pstring.h"
#include "core/ui.h"
#include "stack/chunk_file.h"
#include "stack/mac_path.h"
#include "stack/stack_document.h"
#include "stack_test_support.h"

using namespace cv;
using namespace cvtest;

namespace {

StackSpec threeCards() {
    StackSpec s;
    for (uint16_t id = 1; id <= 3; ++id)
        s.cards.push_back(cardRecord(
            {.id = id, .name = "Card " + std::to_string(id), .objects = {buttonRecord({.id = uint16_t(10 + id)})}}));
    return s;
}

std::string nameAt(const uint8_t* object, uint32_t offset) { return pstringField(object + offset, 32); }

class OpenTest : public StackTest {};

} // namespace

TEST_F(OpenTest, HeadersThatAreRefusedAndTheirAlerts) {
    struct Case {
        const char* what;
        std::function<void(StackSpec&)> change;
        int alert;
    };
    const Case cases[] = {
        {"version 0", [](StackSpec& s) { s.version = 0; }, 9000},
        {"version 256", [](StackSpec& s) { s.version = 256; }, 9000},
        {"version 3", [](StackSpec& s) { s.version = 3; }, 9003},
        {"version 6", [](StackSpec& s) { s.version = 6; }, 9002},
        {"no cards", [](StackSpec& s) { s.cardCount = 0; }, 9000},
        {"black and white", [](StackSpec& s) { s.depth = 1; }, 9001},
        {"depth 33", [](StackSpec& s) { s.depth = 33; }, 9000},
        {"field 6 above 255", [](StackSpec& s) { s.field6 = 256; }, 9000},
        {"width 0", [](StackSpec& s) { s.width = 0; }, 9000},
        {"height 0", [](StackSpec& s) { s.height = 0; }, 9000},
        {"too many chunks", [](StackSpec& s) { s.chunkCount = 65537; }, 9000},
        // Cards larger than any display of their time would claim gigabytes for the screen.
        {"width 4097", [](StackSpec& s) { s.width = 4097; }, 9000},
        {"height 4097", [](StackSpec& s) { s.height = 4097; }, 9000},
        {"65535 x 65535", [](StackSpec& s) { s.width = s.height = 65535; }, 9000},
    };
    for (const Case& c : cases) {
        headlessUi().clearLog();
        StackSpec s = threeCards();
        c.change(s);
        EXPECT_EQ(OpenStack(write("s.stk", stackFile(s))), -12) << c.what;
        EXPECT_EQ(alerts(), std::vector<int>{c.alert}) << c.what;
        EXPECT_FALSE(theStack().open()) << c.what;
        EXPECT_EQ(CurrentChunkFile(), 0u) << c.what;
    }
    headlessUi().clearLog();
    StackSpec largest = threeCards();
    largest.width = largest.height = 4096;
    EXPECT_EQ(OpenStack(write("l.stk", stackFile(largest))), 0);
    EXPECT_TRUE(alerts().empty());
    Bytes shortHeader = stackFile(threeCards());
    shortHeader.resize(100);
    EXPECT_EQ(OpenStack(write("h.stk", shortHeader)), -12);
    EXPECT_EQ(alerts(), std::vector<int>{9000});
    EXPECT_NE(OpenStack(path("missing.stk")), 0);
}

TEST_F(OpenTest, OlderVersionFourIsConvertedAndNormalised) {
    StackSpec s = threeCards();
    s.version = 4;
    s.field50 = 255;
    s.cards.push_back(cardRecord({.id = 4, .width = 100, .height = 90})); // every card takes the header's size
    ASSERT_EQ(OpenStack(write("v4.stk", stackFile(s))), 0);
    EXPECT_TRUE(theStack().converted);
    EXPECT_EQ(theStack().h16(8), 5);
    EXPECT_EQ(theStack().h16(50), 256);
    EXPECT_EQ(get16(card(4) + 20), 512);
    EXPECT_EQ(get16(card(4) + 22), 342);
    s.field50 = 0;
    s.version = 5;
    ASSERT_EQ(OpenStack(write("v5.stk", stackFile(s))), 0);
    EXPECT_FALSE(theStack().converted);
    EXPECT_EQ(theStack().h16(50), 1);
    EXPECT_TRUE(alerts().empty());
}

TEST_F(OpenTest, SmallCardsAskToBeConvertedToTheMinimumSize) {
    StackSpec s = threeCards();
    s.width = 30;
    const std::string p = write("small.stk", stackFile(s));
    headlessUi().queueAnswer(kAnswerSecond); // No
    EXPECT_EQ(OpenStack(p), -12);
    EXPECT_FALSE(theStack().open());
    ASSERT_EQ(alerts(), std::vector<int>{2295});
    EXPECT_NE(headlessUi().log().at(0).find("at least 40 wide and 40 high"), std::string::npos);

    ASSERT_EQ(OpenStack(p), 0); // the default answer is Yes
    EXPECT_EQ(theStack().cardWidth(), 40);
    EXPECT_EQ(theStack().cardHeight(), 342);
    for (int n = 1; n <= 3; ++n) EXPECT_EQ(get16(card(n) + 20), 40);
}

TEST_F(OpenTest, DamagedCardRecordsRefuseTheStack) {
    const Bytes good = stackFile(threeCards());
    const uint32_t first = rdBe32(good, 128 + 2);
    Bytes tooShort = good, pastRecord = good;
    be32(tooShort, 128 + 2, 60);
    be32(pastRecord, 128 + first + 96 + 12, 5000);
    Bytes button = buttonRecord({.actions = {stackSoundAction(1, false)}});
    be32(button, 136 + 12, 0); // an action that claims no length
    for (const Bytes& bad : {tooShort, pastRecord, stackFile({.cards = {cardRecord({.objects = {button}})}})}) {
        headlessUi().clearLog();
        EXPECT_EQ(OpenStack(write("d.stk", bad)), -12);
        EXPECT_EQ(alerts(), std::vector<int>{9000});
        EXPECT_FALSE(theStack().open());
    }
}

TEST_F(OpenTest, ATruncatedCardAreaKeepsTheCardsReadWhenThereAreNoChunks) {
    Bytes b = stackFile(threeCards());
    const uint32_t first = rdBe32(b, 128 + 2);
    b.resize(128 + first + 50);
    ASSERT_EQ(OpenStack(write("cut.stk", b)), 0);
    EXPECT_EQ(theStack().cardCount(), 1);
    EXPECT_EQ(alerts(), std::vector<int>{9011});

    // With a chunk area that cannot be read, no card is kept.
    StackSpec s = threeCards();
    s.chunks = {{fcc("Icon"), 1, 0, "", 0, {1}}};
    Bytes c = stackFile(s);
    c.resize(128 + first + 50);
    headlessUi().clearLog();
    EXPECT_NE(OpenStack(write("cut2.stk", c)), 0);
    EXPECT_FALSE(theStack().open());
    EXPECT_EQ(alerts(), (std::vector<int>{9011, 9004}));
}

TEST_F(OpenTest, EveryTruncationAndManyCorruptionsAreHandled) {
    const Bytes full = stackFile(richStack());
    for (size_t n = 0; n < full.size(); n += (n < 600 ? 1 : 37)) {
        const int r = OpenStack(write("t.stk", Bytes(full.begin(), full.begin() + n)));
        EXPECT_EQ(r == 0, theStack().open()) << n;
        if (r == 0) {
            EXPECT_GE(theStack().cardCount(), 1) << n;
        }
    }
    // What opens after damage saves and opens again.
    std::mt19937 rng(7);
    for (int i = 0; i < 150; ++i) {
        Bytes b = full;
        for (int k = 0; k < 4; ++k) b[rng() % b.size()] = uint8_t(rng());
        if (OpenStack(write("r.stk", b)) == 0) {
            EXPECT_EQ(SaveStack(path("r2.stk")), 0) << i;
            EXPECT_EQ(OpenStack(path("r2.stk")), 0) << i;
        }
    }
    headlessUi().clearLog();
}

TEST_F(OpenTest, OneCardIsReadFromAnotherStackByIdOrPosition) {
    ASSERT_EQ(OpenStack(write("open.stk", stackFile(threeCards()))), 0);
    StackSpec other = richStack();
    other.depth = 16;
    const std::string p = write("other.stk", stackFile(other));
    OtherCard c;
    ASSERT_EQ(ReadCardFromStack(p, true, 4, &c), 0);
    EXPECT_EQ(CardIdOf(c.record), 4);
    EXPECT_EQ(get16(memRefs().data(c.record) + 8), 3); // native form
    EXPECT_EQ(c.depth, 16);
    EXPECT_EQ(c.version, 5);
    EXPECT_EQ(c.chunkOffset, rdBe32(stackFile(other), 60));
    DisposeHandle(c.record);
    ASSERT_EQ(ReadCardFromStack(p, false, 2, &c), 0);
    EXPECT_EQ(CardName(c.record), "Pictured");
    DisposeHandle(c.record);
    EXPECT_EQ(ReadCardFromStack(p, true, 77, &c), 16);
    EXPECT_EQ(ReadCardFromStack(p, false, 6, &c), 16);
    other.version = 3;
    EXPECT_EQ(ReadCardFromStack(write("old.stk", stackFile(other)), true, 1, &c), 16);
    Bytes cut = stackFile(richStack());
    cut.resize(128 + 50);
    EXPECT_NE(ReadCardFromStack(write("cut.stk", cut), true, 1, &c), 0);
    EXPECT_EQ(theStack().cardCount(), 3); // the open stack is not touched
}

TEST_F(OpenTest, DamagedChunkAreaAsksToRepair) {
    StackSpec s = threeCards();
    s.chunks = {{fcc("Icon"), 1, 0, "", 0, {1}}, {fcc("Icon"), 2, 0, "", 0, {2}},
                {fcc("ZZZZ"), 3, 0, "", 0, {3}}};
    const std::string p = write("rep.stk", stackFile(s));
    headlessUi().queueAnswer(kAnswerSecond);
    EXPECT_EQ(OpenStack(p), -12);
    EXPECT_EQ(alerts(), (std::vector<int>{9005, 9004}));
    ASSERT_EQ(OpenStack(p), 0);
    SetCurrentChunkFile(theStack().chunkFile);
    EXPECT_EQ(CountChunks(fcc("Icon")), 1);
}

TEST_F(OpenTest, AChunkWhoseRecordsDoNotFitCostsNoOtherChunk) {
    // Sound headers, damaged contents: an action list whose length runs past its data, and a
    // link whose action record starts one byte early (as earlier builds of ours wrote them).
    Bytes badList = buttonRecord(ButtonSpec{});
    be32(badList, 12, 0xFFFF0000u);
    Bytes early = linkData(9, 0, "word", {}, buttonRecord(ButtonSpec{}));
    early.erase(early.begin() + 23 + 4); // no byte after the text
    StackSpec s = threeCards();
    s.flags = 0x01; // keep every resource, used or not
    s.chunks = {{fcc("Icon"), 1, 0, "", 0, {1}}, {fcc("Actn"), 2, 0, "", 0, badList},
                {fcc("Icon"), 3, 0, "", 0, {3}}, {fcc("Hlnk"), 9, 0, "", 0, early},
                {fcc("Icon"), 4, 0, "", 0, {4}}};
    const Bytes file = stackFile(s);
    const std::string p = write("bad.stk", file);
    ASSERT_EQ(OpenStack(p), 0);
    EXPECT_TRUE(alerts().empty()); // no repair question: nothing needs dropping
    SetCurrentChunkFile(theStack().chunkFile);
    EXPECT_EQ(CountChunks(fcc("Icon")), 3);
    EXPECT_EQ(GetHandleSize(GetChunk(fcc("Actn"), 2)), 0u); // there, but nothing to run
    EXPECT_EQ(GetHandleSize(GetChunk(fcc("Hlnk"), 9)), 0u);
    // Saved, the damaged chunks go back as they were read.
    ASSERT_EQ(SaveStack(path("out.stk")), 0);
    EXPECT_EQ(readFile(path("out.stk")), file);
}

TEST_F(OpenTest, MacintoshNamesAreConvertedWhenFlaggedOrDetected) {
    auto build = [](uint16_t flags, uint16_t firstRed, uint16_t secondRed) {
        auto card = [](uint16_t id, uint16_t red) {
            return cardRecord({.id = id, .mode = 1, .name = "Caf\x8E",
                               .picture = PictureSpec{.colourTable = colourTable(2, red, 0xFFFF, 0xFFFF)},
                               .objects = {buttonRecord({.name = "Caf\x8E"})}});
        };
        return stackFile({.flags = flags, .arrive = 5, .cards = {card(1, firstRed), card(2, secondRed)},
                          .chunks = {{fcc("Actn"), 5, 0, "", 0, buttonRecord({.id = 5, .name = "\x8E"})}}});
    };
    struct Case {
        const char* what;
        Bytes file;
        bool mac;
    };
    const Case cases[] = {
        {"flag", build(0x10, 0, 0), true},
        {"white table", build(0, 0xFFFF, 0), true},
        {"white table on the second picture only", build(0, 0, 0xFFFF), false},
        {"neither", build(0, 0, 0), false},
    };
    for (const Case& c : cases) {
        const std::string p = write("m.stk", c.file);
        ASSERT_EQ(OpenStack(p), 0) << c.what;
        const std::string expected = c.mac ? "Caf\xE9" : "Caf\x8E";
        EXPECT_EQ(nameAt(object(1, 48, 1), 28), expected) << c.what;
        EXPECT_EQ(CardName(CardByNumber(1)), "Caf\x8E") << c.what; // card names stay as stored
        EXPECT_EQ(nameAt(chunkData(fcc("Actn"), 5), 28), c.mac ? "\xE9" : "\x8E") << c.what;
        // Saved and opened again, every name reads the same; the detected stack is now flagged.
        ASSERT_EQ(SaveStack(path("m2.stk")), 0);
        EXPECT_EQ(rdBe16(readFile(path("m2.stk")), 14) & 0x10, c.mac ? 0x10 : 0) << c.what;
        ASSERT_EQ(OpenStack(path("m2.stk")), 0);
        EXPECT_EQ(nameAt(object(1, 48, 1), 28), expected) << c.what;
        EXPECT_EQ(nameAt(chunkData(fcc("Actn"), 5), 28), c.mac ? "\xE9" : "\x8E") << c.what;
        EXPECT_EQ(theStack().macText, c.mac);
    }
}

TEST_F(OpenTest, MacintoshPathsBecomeWindowsPathsOnce) {
    const CardSpec c{.objects = {
        graphicRecord({.id = 1, .objectFlags = 0x40, .data = objectFileRef("Disk:Pictures:sky.pict", "sky.pict"),
                       .trailing = graphicTrailing(32, 16, 0, 0, Bytes{1, 2, 3})}),
        textRecord({.id = 2, .objectFlags = 0x40,
                    .subs = {{1, 0, objectFileRef("D::Texts:poem", "poem"), styleRuns(1, 12)}}}),
        buttonRecord({.id = 3, .summary = 0x0001 | 0x0020,
                      .actions = {soundFileAction(actionPath("Disk:Snd:bell", "bell")),
                                  otherStackAction(actionPath("Next.stk", "Next.stk"))}})}};
    ASSERT_EQ(OpenStack(write("p.stk", stackFile({.cards = {cardRecord(c)}}))), 0);

    auto check = [&](const char* when) {
        const uint8_t* go = object(1, 16, 1);
        ASSERT_NE(go, nullptr) << when;
        const std::string pic = "C:\\Pictures\\sky.pict";
        EXPECT_EQ(std::string(reinterpret_cast<const char*>(go + 80)), pic) << when;
        const uint32_t end = get32(go + 12) - ((get16(go + 22) & 0x200) ? 1 : 0);
        EXPECT_EQ(Bytes(go + end - 11, go + end), (Bytes{32, 0, 16, 0, 0, 0, 0, 0, 1, 2, 3}))
            << when; // the trailing data is still at the end
        const uint8_t* to = object(1, 96, 2);
        ASSERT_NE(to, nullptr) << when;
        EXPECT_EQ(std::string(reinterpret_cast<const char*>(to + 144)), "D:\\Texts\\poem") << when;
        const uint32_t refLen = get32(to + 128 + 8), subLen = get32(to + 128 + 12);
        EXPECT_EQ(subLen, 16 + refLen + 22) << when;
        EXPECT_EQ(loadBE16(to + 144 + refLen), 1) << when; // the style runs follow the new path
        const uint8_t* bo = object(1, 48, 3);
        ASSERT_NE(bo, nullptr) << when;
        const uint8_t* a = bo + 136;
        EXPECT_EQ(pstringField(a + 32, 256), "C:\\Snd\\bell") << when;
        EXPECT_EQ(pstringField(a + 32 + 12 + 6, 256), "bell") << when;
        const uint32_t alen = get32(a + 12);
        EXPECT_EQ(alen, 32u + 12 + 6 + 5 + 1) << when; // odd: padded and flagged
        EXPECT_EQ(get16(a + 22) & 0x200, 0x200) << when;
        EXPECT_EQ(get32(bo + 12), 136 + alen + get32(a + alen + 12)) << when;
        EXPECT_EQ(pstringField(a + alen + 32, 256), "Next.stk") << when; // a bare name stays
        EXPECT_EQ(get32(card(1) + 2), cardSize(1)) << when;
    };
    check("opened");
    ASSERT_EQ(SaveStack(path("p2.stk")), 0);
    ASSERT_EQ(OpenStack(path("p2.stk")), 0);
    check("opened again");
}

TEST_F(OpenTest, ActionListsReadAgainGetTheSameLoadTimeChanges) {
    const Bytes a = buttonRecord(
        {.id = 5, .name = "\x87!", .summary = 0x0001, .actions = {soundFileAction(actionPath("Disk:Snd:bell", "bell"))}});
    const StackSpec s{.flags = 0x10, .arrive = 5, .cards = {cardRecord({})}, .chunks = {{fcc("Actn"), 5, 0, "", 0, a}}};
    ASSERT_EQ(OpenStack(write("a.stk", stackFile(s))), 0);
    SetCurrentChunkFile(theStack().chunkFile);
    const std::string loaded = bytesOf(GetChunk(fcc("Actn"), 5));
    EXPECT_EQ(loaded.substr(28, 3), "\2\xE1!");
    DisposeHandle(GetChunk(fcc("Actn"), 5)); // purged: the next lookup reads it again
    EXPECT_EQ(bytesOf(GetChunk(fcc("Actn"), 5)), loaded);
    DisposeHandle(GetChunk(fcc("Actn"), 5));
    ASSERT_EQ(SaveStack(path("b.stk")), 0);
    ASSERT_EQ(OpenStack(path("b.stk")), 0);
    SetCurrentChunkFile(theStack().chunkFile);
    EXPECT_EQ(bytesOf(GetChunk(fcc("Actn"), 5)), loaded);
}

TEST_F(OpenTest, AFileReferenceHoldingOnlyAFileNameStaysReadable) {
    const Bytes g = graphicRecord({.objectFlags = 0x40, .data = objectFileRef("sky.pict", "sky.pict")});
    ASSERT_EQ(OpenStack(write("bare.stk", stackFile({.cards = {cardRecord({.objects = {g}})}}))), 0);
    for (const char* p : {"bare2.stk", "bare3.stk"}) { // as opened, and opened again after a save
        const uint8_t* go = object(1, 16, 1);
        EXPECT_EQ(objectRefPath(go + 80, get32(go + 12) - 80), "sky.pict");
        ASSERT_EQ(SaveStack(path(p)), 0);
        ASSERT_EQ(OpenStack(path(p)), 0);
    }
}

TEST_F(OpenTest, CardsObjectsAndBackgroundChains) {
    ASSERT_EQ(OpenStack(write("rich.stk", stackFile(richStack()))), 0);
    EXPECT_EQ(theStack().cardCount(), 5);
    EXPECT_EQ(CardIdOf(CardByNumber(2)), 2);
    EXPECT_EQ(CardNumberOfId(4), 4);
    EXPECT_EQ(CardById(99), 0);
    EXPECT_EQ(CardByNumber(6), 0);
    EXPECT_EQ(CardByName(reinterpret_cast<const uint8_t*>("\10pictured")), CardByNumber(2));
    EXPECT_EQ(BackgroundCardId(5), 3);
    EXPECT_EQ(BackgroundCardId(2), 2);
    EXPECT_TRUE(IsBackgroundCard(3));
    EXPECT_FALSE(IsBackgroundCard(2));
    EXPECT_EQ(FindObject(CardByNumber(1), 16, 2), 96 + get32(card(1) + 96 + 12));
    EXPECT_EQ(FindObject(CardByNumber(1), 48, 2), 0u);
    ASSERT_NE(theStack().fontList, 0); // the font list is detached, its chunk stays
    EXPECT_EQ(GetHandleSize(theStack().fontList), 184u);
    EXPECT_NE(chunkData(fcc("FntL"), 128), memRefs().data(theStack().fontList));

    // A damaged chain that loops ends; one that reaches a missing card yields the missing id.
    uint8_t* c4 = memRefs().data(CardByNumber(4));
    put16(c4 + 8, 5);
    EXPECT_TRUE(BackgroundCardId(5) == 4 || BackgroundCardId(5) == 5);
    put16(c4 + 8, 77);
    EXPECT_EQ(BackgroundCardId(5), 77);

    // A card name whose length byte runs past its field compares without leaving the record.
    ASSERT_EQ(cardSize(5), 100u);
    memRefs().data(CardByNumber(5))[32] = 250;
    std::string longName(251, 'x');
    longName[0] = char(250);
    EXPECT_EQ(CardByName(reinterpret_cast<const uint8_t*>(longName.data())), 0);
}

TEST_F(OpenTest, NewCardsGoAfterTheCurrentOneWithTheNextId) {
    ASSERT_EQ(OpenStack(write("rich.stk", stackFile(richStack()))), 0);
    EXPECT_EQ(AddCard(4, true), 5);
    EXPECT_EQ(CardIdOf(CardByNumber(5)), 9);
    EXPECT_EQ(get16(card(5) + 6), 3);
    EXPECT_EQ(get16(card(5) + 8), 3); // the chain of card 4 ends at card 3
    EXPECT_EQ(theStack().h16(10), 10);
    EXPECT_EQ(AddCard(1, false), 2);
    EXPECT_EQ(get16(card(2) + 6), 0);
    EXPECT_EQ(cardSize(2), 100u);
    EXPECT_EQ(theStack().currentWhenLastAdded, 1);
    EXPECT_EQ(theStack().cardCount(), 7);
}
