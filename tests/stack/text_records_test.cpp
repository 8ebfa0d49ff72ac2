// Text sub-records: which one a card shows, style runs as stored, and storing edited text back
// into a card record (splicing, padding, per-card sub-records, Macintosh text, low memory).
#include <gtest/gtest.h>

#include <cstring>

#include "core/byte_order.h"
#include "core/handles.h"
#include "core/ui.h"
#include "resources/strings.h"
#include "stack/record_layout.h"
#include "stack/stack_document.h"
#include "stack/text_records.h"

using namespace cv;

namespace {

struct Sub {
    uint16_t card;
    std::string text;
    std::vector<StyleRun> runs{};
};

StyleRun run(uint32_t start, uint8_t style = 0, uint16_t size = 12, uint16_t font = 1000) {
    return {.start = start, .lineHeight = 15, .ascent = 11, .font = font, .style = style, .size = size,
            .red = 0x1234, .green = 0x8000, .blue = 0xFFFF};
}

// A text object in native form.
std::vector<uint8_t> textObject(uint16_t id, uint16_t flags, const std::vector<Sub>& subs) {
    std::vector<uint8_t> o(text::kSubrecords, 0);
    put16(o.data() + obj::kKind, obj::kText);
    put16(o.data() + obj::kId, id);
    for (const Sub& s : subs) {
        std::vector<uint8_t> sub(16, 0);
        sub.insert(sub.end(), s.text.begin(), s.text.end());
        if (!s.runs.empty()) {
            const auto runs = StyleRunBytes(s.runs);
            sub.insert(sub.end(), runs.begin(), runs.end());
        }
        const bool odd = sub.size() & 1;
        if (odd) sub.push_back(0);
        put16(sub.data() + text::kSubType, text::kSubTypeText);
        put16(sub.data() + text::kSubCardId, s.card);
        put32(sub.data() + text::kSubFlags, odd ? kSubFlagPadded : 0);
        put32(sub.data() + text::kSubTextLength, uint32_t(s.text.size()));
        put32(sub.data() + text::kSubLength, uint32_t(sub.size()));
        o.insert(o.end(), sub.begin(), sub.end());
    }
    put16(o.data() + obj::kFlags, flags);
    put32(o.data() + obj::kLength, uint32_t(o.size()));
    return o;
}

// A card record (native form, no picture) holding `objects`.
Handle cardWith(uint16_t cardId, const std::vector<std::vector<uint8_t>>& objects) {
    std::vector<uint8_t> c(card::kBody, 0);
    put16(c.data() + card::kId, cardId);
    for (const auto& o : objects) c.insert(c.end(), o.begin(), o.end());
    c.insert(c.end(), {0, 0, 0, 0});
    put16(c.data() + c.size() - 2, card::kTrailer);
    put32(c.data() + card::kLength, uint32_t(c.size()));
    return NewHandleFrom(c.data(), uint32_t(c.size()));
}

std::span<const uint8_t> objectSpan(const std::vector<uint8_t>& o) { return {o.data(), o.size()}; }

class TextRecordsTest : public ::testing::Test {
protected:
    void SetUp() override {
        DisposeStack();
        headlessUi().clearLog();
    }
    void TearDown() override {
        memRefs().setAllocationLimit(0);
        for (Handle h : cards) DisposeHandle(h);
        DisposeStack();
    }
    Handle keep(Handle h) {
        cards.push_back(h);
        return h;
    }
    std::vector<Handle> cards;
};

} // namespace

TEST_F(TextRecordsTest, SubrecordLookupFollowsTheCardRules) {
    const auto shared = textObject(3, obj::kFlagPerCardText, {{5, "five"}, {7, "seven"}, {9, "nine"}});
    // Its own sub-record first; then the card that was current when the last card was added;
    // then the first.
    EXPECT_EQ(FindTextSubrecord(objectSpan(shared), 9, 7)->cardId, 9);
    EXPECT_EQ(FindTextSubrecord(objectSpan(shared), 4, 7)->cardId, 7);
    EXPECT_EQ(FindTextSubrecord(objectSpan(shared), 4, 8)->cardId, 5);
    EXPECT_EQ(FindTextSubrecord(objectSpan(shared), 4, 0)->cardId, 5);

    // Without per-card text the first sub-record is the text whatever the card.
    const auto single = textObject(3, 0, {{5, "five"}, {9, "nine"}});
    EXPECT_EQ(FindTextSubrecord(objectSpan(single), 9, 0)->cardId, 5);

    // The open stack's rule uses the card current when its last card was added.
    ASSERT_TRUE(NewStack(512, 342, 8));
    ASSERT_EQ(AddCard(1, false), 2);
    EXPECT_EQ(theStack().currentWhenLastAdded, 1);
    const auto fromOne = textObject(3, obj::kFlagPerCardText, {{5, "five"}, {1, "one"}});
    EXPECT_EQ(ReadStoredText(objectSpan(fromOne), *FindTextSubrecord(objectSpan(fromOne), 2)).text, "one");
}

TEST_F(TextRecordsTest, DamagedSubrecordsAndRunsAreCutAtTheRecord) {
    auto o = textObject(3, 0, {{1, "abc", {run(0), run(2, kStyleBold)}}});
    // A run count that claims more runs than the sub-record holds.
    const auto subs = TextSubrecords(objectSpan(o));
    ASSERT_EQ(subs.size(), 1u);
    storeBE16(o.data() + subs[0].runsOffset(), 900);
    StoredText t = ReadStoredText(objectSpan(o), subs[0]);
    EXPECT_TRUE(t.runsDamaged);
    EXPECT_EQ(t.runs.size(), 2u);

    // A text length beyond the sub-record, and a sub-record length beyond the object.
    put32(o.data() + text::kSubrecords + text::kSubTextLength, 100000);
    EXPECT_EQ(TextSubrecords(objectSpan(o))[0].textLength, subs[0].length - 16);
    put32(o.data() + text::kSubrecords + text::kSubLength, 100000);
    EXPECT_TRUE(TextSubrecords(objectSpan(o)).empty());
    EXPECT_FALSE(FindTextSubrecord(objectSpan(o), 1, 0).has_value());
    EXPECT_EQ(TextForCard(objectSpan(o), 1, false), "");

    // Style runs survive their stored form.
    const std::vector<StyleRun> runs = {run(0, kStyleBold | kStyleUnderline, 14), run(5, kStyleShadow, 9, 1001)};
    EXPECT_EQ(ParseStyleRuns(StyleRunBytes(runs)), runs);
    EXPECT_TRUE(ParseStyleRuns({}).empty());
}

TEST_F(TextRecordsTest, StoringThreeCharactersPadsTheSubrecord) {
    ASSERT_TRUE(NewStack(512, 342, 8));
    Handle card = keep(cardWith(1, {textObject(3, 0, {{1, "old text", {run(0)}}})}));
    const uint32_t before = GetHandleSize(card);
    ASSERT_EQ(StoreTextFromEngine(3, card, "abc", StyleRunBytes({run(0, kStyleBold)}), 1), 0);

    const std::span<const uint8_t> o = TextObjectIn(card, 3);
    const auto subs = TextSubrecords(o);
    ASSERT_EQ(subs.size(), 1u);
    EXPECT_EQ(subs[0].length, 16u + 3 + 22 + 1);
    EXPECT_EQ(subs[0].flags, kSubFlagPadded);
    EXPECT_EQ(subs[0].textLength, 3u);
    const StoredText t = ReadStoredText(o, subs[0]);
    EXPECT_EQ(t.text, "abc");
    EXPECT_EQ(t.runs, std::vector<StyleRun>{run(0, kStyleBold)});
    // The object and the card record grew by the difference; the list still ends.
    EXPECT_EQ(get32(o.data() + obj::kLength), o.size());
    EXPECT_EQ(o.size() % 2, 0u);
    EXPECT_EQ(GetHandleSize(card), before - (16 + 8 + 22) + 42);
    EXPECT_EQ(get32(memRefs().data(card) + card::kLength), GetHandleSize(card));
    EXPECT_EQ(get16(memRefs().data(card) + GetHandleSize(card) - 2), card::kTrailer);
    EXPECT_TRUE(theStack().changed);
}

TEST_F(TextRecordsTest, PerCardTextGetsANewSubrecordInFrontOfTheOneShown) {
    ASSERT_TRUE(NewStack(512, 342, 8));
    Handle card = keep(cardWith(4, {textObject(3, obj::kFlagPerCardText, {{1, "one"}, {2, "two"}})}));
    ASSERT_EQ(StoreTextFromEngine(3, card, "four", StyleRunBytes({run(0)}), 4), 0);
    auto subs = TextSubrecords(TextObjectIn(card, 3));
    ASSERT_EQ(subs.size(), 3u);
    EXPECT_EQ(subs[0].cardId, 4);
    EXPECT_EQ(ReadStoredText(TextObjectIn(card, 3), subs[0]).text, "four");
    EXPECT_EQ(subs[1].cardId, 1);
    EXPECT_EQ(subs[2].cardId, 2);

    // Storing again replaces that card's own sub-record.
    ASSERT_EQ(StoreTextFromEngine(3, card, "FOUR!", StyleRunBytes({run(0)}), 4), 0);
    subs = TextSubrecords(TextObjectIn(card, 3));
    ASSERT_EQ(subs.size(), 3u);
    EXPECT_EQ(ReadStoredText(TextObjectIn(card, 3), subs[0]).text, "FOUR!");
    EXPECT_EQ(ReadStoredText(TextObjectIn(card, 3), subs[2]).text, "two");
}

TEST_F(TextRecordsTest, AnEmptyObjectTakesTheTextForThisCard) {
    ASSERT_TRUE(NewStack(512, 342, 8));
    // 144 bytes: one empty sub-record, which becomes this card's.
    auto empty = textObject(3, obj::kFlagPerCardText, {{0, ""}});
    ASSERT_EQ(empty.size(), 144u);
    // No sub-record at all, and an object with a pad byte after its sub-records.
    auto none = textObject(5, 0, {});
    auto padded = textObject(6, 0, {{0, "ab"}});
    padded.push_back(0);
    put16(padded.data() + obj::kFlags, obj::kFlagPadded);
    put32(padded.data() + obj::kLength, uint32_t(padded.size()));
    Handle card = keep(cardWith(8, {empty, none, padded}));

    ASSERT_EQ(StoreTextFromEngine(3, card, "x", {}, 8), 0);
    ASSERT_EQ(StoreTextFromEngine(5, card, "yy", {}, 8), 0);
    ASSERT_EQ(StoreTextFromEngine(6, card, "zzz", {}, 8), 0);

    const auto subs3 = TextSubrecords(TextObjectIn(card, 3));
    ASSERT_EQ(subs3.size(), 1u);
    EXPECT_EQ(subs3[0].cardId, 8);
    EXPECT_EQ(TextForCard(TextObjectIn(card, 3), 8, false), "x");
    EXPECT_EQ(TextForCard(TextObjectIn(card, 5), 8, false), "yy");
    EXPECT_EQ(TextForCard(TextObjectIn(card, 6), 8, false), "zzz");
    for (uint16_t id : {3, 5, 6}) EXPECT_EQ(TextObjectIn(card, id).size() % 2, 0u) << id;
}

TEST_F(TextRecordsTest, MacintoshTextIsStoredInTheMacintoshSet) {
    ASSERT_TRUE(NewStack(512, 342, 8));
    theStack().macText = true;
    Handle card = keep(cardWith(1, {textObject(3, 0, {{1, "caf\x8E"}})}));
    // Shown in the Windows set, stored back in the Macintosh one.
    EXPECT_EQ(TextForCard(TextObjectIn(card, 3), 1, true), "caf\xE9");
    ASSERT_EQ(StoreTextFromEngine(3, card, "d\xE9j\xE0", {}, 1), 0);
    const auto o = TextObjectIn(card, 3);
    EXPECT_EQ(ReadStoredText(o, TextSubrecords(o)[0]).text, "d\x8Ej\x88");
}

TEST_F(TextRecordsTest, LowMemoryKeepsTheOldTextAndSaysSo) {
    ASSERT_TRUE(NewStack(512, 342, 8));
    Handle card = keep(cardWith(1, {textObject(3, 0, {{1, "old"}})}));
    const std::vector<uint8_t> before(memRefs().data(card), memRefs().data(card) + GetHandleSize(card));
    memRefs().setAllocationLimit(memRefs().bytesInUse() + 8);
    EXPECT_NE(StoreTextFromEngine(3, card, std::string(4000, 'x'), {}, 1), 0);
    memRefs().setAllocationLimit(0);
    EXPECT_EQ(std::vector<uint8_t>(memRefs().data(card), memRefs().data(card) + GetHandleSize(card)), before);
    EXPECT_NE(headlessUi().lastAlertText().find("running very low on memory"), std::string::npos);
}

TEST_F(TextRecordsTest, AFileTextObjectKeepsItsPath) {
    ASSERT_TRUE(NewStack(512, 342, 8));
    std::string ref = "\x0E" "C:\\Notes\\a.txt";
    ref += '\0';
    ref.append(6, '\0');
    ref += "\x05" "a.txt";
    Handle card = keep(cardWith(1, {textObject(3, obj::kFlagFileRef, {{1, ref}}), textObject(4, 0, {{1, "x"}})}));
    EXPECT_EQ(TextFileReference(TextObjectIn(card, 3)).value_or(""), "C:\\Notes\\a.txt");
    EXPECT_FALSE(TextFileReference(TextObjectIn(card, 4)).has_value());
    // Its text is the file's: storing text there would overwrite the reference.
    EXPECT_NE(StoreTextFromEngine(3, card, "typed", {}, 1), 0);
    EXPECT_EQ(TextFileReference(TextObjectIn(card, 3)).value_or(""), "C:\\Notes\\a.txt");
    EXPECT_NE(StoreTextFromEngine(99, card, "no such object", {}, 1), 0);
}

TEST_F(TextRecordsTest, DamagedObjectsNeverLeadOutsideTheirRecord) {
    ASSERT_TRUE(NewStack(512, 342, 8));
    const auto base = textObject(3, obj::kFlagPerCardText,
                                 {{1, "first text", {run(0), run(4, kStyleBold)}}, {2, "second", {run(0)}}});
    uint32_t seed = 12345;
    auto next = [&]() { return seed = seed * 1103515245u + 12345u; };
    for (int i = 0; i < 3000; ++i) {
        auto o = base;
        // Damage a few bytes among the lengths, flags and runs.
        for (int k = 0, n = 1 + int(next() % 4); k < n; ++k) {
            const size_t at = (next() % 3 == 0) ? obj::kFlags + next() % 2 : text::kSubrecords + next() % (o.size() - text::kSubrecords);
            o[at] = uint8_t(next() >> 8);
        }
        const std::span<const uint8_t> span = objectSpan(o);
        for (const TextSubrecord& s : TextSubrecords(span)) {
            ASSERT_LE(uint64_t(s.offset) + s.length, o.size());
            ASSERT_LE(uint64_t(s.runsOffset()) + s.runsLength(), o.size());
            ReadStoredText(span, s);
        }
        TextForCard(span, uint16_t(next() % 3), true);
        TextFileReference(span);
        Handle card = keep(cardWith(1, {o}));
        StoreTextFromEngine(3, card, "stored", StyleRunBytes({run(0)}), uint16_t(1 + next() % 3));
        const std::span<const uint8_t> after = TextObjectIn(card, 3);
        EXPECT_TRUE(after.empty() || get32(after.data() + obj::kLength) == after.size());
        EXPECT_EQ(get32(memRefs().data(card) + card::kLength), GetHandleSize(card));
        DisposeHandle(card);
        cards.pop_back();
    }
}
