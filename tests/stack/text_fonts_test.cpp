// The font list: logical fonts for font numbers (Macintosh names, the default face, sizes at
// our screen's resolution, substitutes for faces that are not installed), and new entries.
#include <gtest/gtest.h>

#include <cstring>

#include "core/byte_order.h"
#include "core/pstring.h"
#include "stack/font_list.h"
#include "stack/record_layout.h"
#include "stack/stack_document.h"
#include "stack/stack_resources.h"

using namespace cv;

namespace {

std::vector<uint8_t> entry(const std::string& name, uint16_t number, bool mac = false, uint16_t width = 0,
                           uint16_t weight = 400) {
    std::vector<uint8_t> e(fntl::kEntrySize, 0);
    setPStringField(e.data(), fntl::kNameSize, name);
    storeBE16(e.data() + fntl::kNumber, number);
    storeBE16(e.data() + fntl::kMacName, mac ? 1 : 0);
    storeBE16(e.data() + fntl::kPitchFamily, 0x22);
    storeBE32(e.data() + fntl::kCharSet, 0x1FF);
    storeBE16(e.data() + fntl::kWidth, width);
    storeBE16(e.data() + fntl::kWeight, weight);
    return e;
}

std::vector<uint8_t> list(std::initializer_list<std::vector<uint8_t>> entries, bool terminated = true) {
    std::vector<uint8_t> l;
    for (const auto& e : entries) l.insert(l.end(), e.begin(), e.end());
    if (terminated) l.resize(l.size() + fntl::kEntrySize, 0);
    return l;
}

class FontListTest : public ::testing::Test {
protected:
    void SetUp() override {
        DisposeStack();
        ResetFontState();
        SetFontResolver(nullptr, nullptr);
    }
    void TearDown() override {
        SetFontResolver(nullptr, nullptr);
        ResetFontState();
        DisposeStack();
    }
};

} // namespace

TEST_F(FontListTest, NumbersGiveTheirEntriesFaces) {
    const auto l = list({entry("Geneva", 3, true), entry("Monaco", 4, true), entry("Helvetica", 5, true),
                         entry("Geneva", 6, false, 7, 700)});
    EXPECT_EQ(FontForNumber(3, 9, l).faceName, "arial");
    EXPECT_EQ(FontForNumber(4, 9, l).faceName, "courier new");
    EXPECT_EQ(FontForNumber(5, 9, l).faceName, "ms sans serif");
    // Not flagged Macintosh: the name stays, and the entry's fields fill the logical font.
    const FontDescription f = FontForNumber(6, 9, l);
    EXPECT_EQ(f.faceName, "Geneva");
    EXPECT_EQ(f.width, 7);
    EXPECT_EQ(f.weight, 700);
    EXPECT_EQ(f.pitchAndFamily, 0x22);
    EXPECT_EQ(f.charSet, 0xFF);
    EXPECT_FALSE(f.italic || f.underline || f.strikeOut);
    // A number not in the list, or past the entry numbered 0, takes the default face.
    EXPECT_EQ(FontForNumber(9, 9, l).faceName, "Times New Roman");
    auto afterEnd = list({entry("Arial", 1)});
    const auto more = entry("Courier New", 2);
    afterEnd.insert(afterEnd.end(), more.begin(), more.end());
    EXPECT_EQ(FontForNumber(2, 9, afterEnd).faceName, "Times New Roman");
    // A list cut inside an entry is read up to its last whole entry.
    auto damaged = list({entry("Arial", 1), entry("Courier New", 2)}, false);
    damaged.resize(damaged.size() - 10);
    EXPECT_EQ(ParseFontList(damaged).size(), 1u);
    EXPECT_EQ(FontForNumber(2, 9, damaged).faceName, "Times New Roman");
}

TEST_F(FontListTest, SizesAreConvertedForA96DotScreen) {
    EXPECT_EQ(PointsForSize(12), 9);
    EXPECT_EQ(PointsForSize(14), 11);   // 10.5 rounds up
    EXPECT_EQ(PointsForSize(24), 18);
    EXPECT_EQ(PixelHeightForPoints(9), 12);
    EXPECT_EQ(FontForNumber(1, 9, {}).height, -12);
    EXPECT_EQ(FontForNumber(1, 18, {}).height, -24);
}

TEST_F(FontListTest, MissingFacesAreResolvedOncePerName) {
    int asked = 0;
    SetFontResolver([](const std::string& face) { return face == "Arial"; },
                    [&](const std::string& face) {
                        ++asked;
                        return face == "courier new" ? std::string("Liberation Mono") : std::string("Fallback Sans");
                    });
    const auto l = list({entry("Arial", 1), entry("Monaco", 2, true), entry("Nowhere", 3)});
    EXPECT_EQ(FontForNumber(1, 9, l).faceName, "Arial");
    EXPECT_EQ(FontForNumber(2, 9, l).faceName, "Liberation Mono");
    EXPECT_EQ(FontForNumber(2, 12, l).faceName, "Liberation Mono");
    EXPECT_EQ(FontForNumber(3, 9, l).faceName, "Fallback Sans");
    EXPECT_EQ(asked, 2);
}

TEST_F(FontListTest, NewFontsAreNumberedFrom1000AtTheFront) {
    Handle l = NewHandleFrom(list({entry("Arial", 1000), entry("Courier New", 1002)}).data(), 3 * fntl::kEntrySize);
    FontDescription f;
    f.faceName = "arial";
    EXPECT_EQ(AddFontToList(l, f, 0, 0), 1000);   // the same name, in other case
    EXPECT_EQ(GetHandleSize(l), 3 * fntl::kEntrySize);

    f.faceName = "Verdana";
    f.pitchAndFamily = 0x12;
    f.charSet = 2;
    EXPECT_EQ(AddFontToList(l, f, 0x00050000, 0x000C0000), 1001);  // 1000 is taken
    f.faceName = "Georgia";
    EXPECT_EQ(AddFontToList(l, f, 0, 0), 1003);   // 1002 too
    const auto entries = ParseFontList({memRefs().data(l), GetHandleSize(l)});
    ASSERT_EQ(entries.size(), 4u);
    EXPECT_EQ(entries[0].name, "Georgia");
    EXPECT_EQ(entries[1].name, "Verdana");
    EXPECT_EQ(entries[1].number, 1001);
    EXPECT_EQ(entries[1].width, 5);
    EXPECT_EQ(entries[1].height, 12);
    EXPECT_EQ(entries[1].weight, 400);
    EXPECT_EQ(entries[1].charSet, 2u);
    EXPECT_EQ(entries[2].name, "Arial");
    DisposeHandle(l);

    // No list yet: one is made, ended by an entry numbered 0.
    Handle none = 0;
    f.faceName = "Tahoma";
    EXPECT_EQ(AddFontToList(none, f, 0, 0), 1004);
    ASSERT_NE(none, 0);
    EXPECT_EQ(GetHandleSize(none), 2 * fntl::kEntrySize);
    EXPECT_EQ(ParseFontList({memRefs().data(none), GetHandleSize(none)}).size(), 1u);
    DisposeHandle(none);

    // The counter wraps after 65000: 64999, 65000, then back to 1000, which is in use: 1001.
    l = NewHandleFrom(list({entry("Arial", 1000)}).data(), 2 * fntl::kEntrySize);
    ResetFontState(64999);
    for (const char* name : {"A", "B", "C"}) {
        f.faceName = name;
        AddFontToList(l, f, 0, 0);
    }
    std::vector<uint16_t> numbers;
    for (const auto& e : ParseFontList({memRefs().data(l), GetHandleSize(l)})) numbers.push_back(e.number);
    EXPECT_EQ(numbers, (std::vector<uint16_t>{1001, 65000, 64999, 1000}));
    DisposeHandle(l);
}

TEST_F(FontListTest, AListHoldingEveryNumberTakesNoNewFontAndStillEnds) {
    std::vector<uint8_t> full;
    for (uint32_t n = fntl::kFirstNumber; n <= fntl::kLastNumber; ++n) {
        const auto e = entry("F" + std::to_string(n), uint16_t(n));
        full.insert(full.end(), e.begin(), e.end());
    }
    full.resize(full.size() + fntl::kEntrySize, 0);
    Handle l = NewHandleFrom(full.data(), uint32_t(full.size()));
    FontDescription f;
    f.faceName = "Brand New";
    EXPECT_EQ(AddFontToList(l, f, 0, 0), 0);
    EXPECT_EQ(GetHandleSize(l), full.size());
    f.faceName = "F4242"; // a name it holds still gives its number
    EXPECT_EQ(AddFontToList(l, f, 0, 0), 4242);
    DisposeHandle(l);
}

TEST_F(FontListTest, TheOpenStacksNewFontIsKeptInItsChunks) {
    ASSERT_TRUE(NewStack(512, 342, 8));
    FontDescription f;
    f.faceName = "Times New Roman";
    const uint16_t n = AddFontToList(f, 0, 0);
    EXPECT_EQ(n, 1000);
    EXPECT_EQ(AddFontToList(f, 0, 0), n);
    ResourceRequest r;
    ASSERT_EQ(GetStackResource(r, chunk::kFntL, 128), 0);
    const auto entries = ParseFontList({memRefs().data(r.data), GetHandleSize(r.data)});
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0].name, "Times New Roman");
    EXPECT_EQ(FontForNumber(n, 9).faceName, "Times New Roman");
    DisposeHandle(r.data);
}
