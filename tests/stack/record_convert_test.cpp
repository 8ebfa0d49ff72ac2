// Record conversions between the stored (big-endian) and in-memory forms: every field of the
// stored layout with its width, the bytes that stay as they are, the words cleared on loading,
// and records whose lengths do not fit.
#include "stack/record_convert.h"

#include <gtest/gtest.h>

#include <set>

#include "core/byte_order.h"
#include "independent_writer.h"

using namespace cv;
using namespace cvtest;

namespace {

// A converted field: width 2 or 4, or 8 for a rectangle.
struct F {
    uint32_t off;
    int width;
};

// Checks that `native` holds `stored` with exactly these fields converted, from `base` on.
void expectFields(const uint8_t* stored, const uint8_t* native, uint32_t base, uint32_t size,
                  const std::vector<F>& fields, const char* what) {
    std::set<uint32_t> covered;
    for (const F& f : fields) {
        const uint8_t* s = stored + base + f.off;
        const uint8_t* n = native + base + f.off;
        if (f.width == 2) {
            EXPECT_EQ(get16(n), loadBE16(s)) << what << " u16 at " << f.off;
        } else if (f.width == 4) {
            EXPECT_EQ(get32(n), loadBE32(s)) << what << " u32 at " << f.off;
        } else { // stored top, left, bottom, right; in memory left, top, right, bottom
            EXPECT_EQ(get16(n), loadBE16(s + 2)) << what << " rect left at " << f.off;
            EXPECT_EQ(get16(n + 2), loadBE16(s)) << what << " rect top at " << f.off;
            EXPECT_EQ(get16(n + 4), loadBE16(s + 6)) << what << " rect right at " << f.off;
            EXPECT_EQ(get16(n + 6), loadBE16(s + 4)) << what << " rect bottom at " << f.off;
        }
        for (int i = 0; i < f.width; ++i) covered.insert(f.off + i);
    }
    for (uint32_t o = 0; o < size; ++o)
        if (!covered.count(o)) {
            EXPECT_EQ(native[base + o], stored[base + o]) << what << " byte " << o;
        }
}

// 16-bit fields at every even offset in [from, to), then `more`.
std::vector<F> words(uint32_t from, uint32_t to, std::vector<F> more = {}) {
    for (uint32_t o = from; o < to; o += 2) more.push_back({o, 2});
    return more;
}

const std::vector<F> kHeader = words(0, 28, words(48, 60, words(72, 80, {{60, 4}, {64, 4}, {68, 4}})));
const std::vector<F> kCard = words(16, 24, words(48, 58, {{0, 2}, {2, 4}, {6, 2}, {8, 2}, {10, 2}}));
// An object's own fields and those of the header every object has.
std::vector<F> object(std::vector<F> own) {
    own.insert(own.end(), {{0, 2}, {2, 2}, {4, 8}, {12, 4}, {22, 2}});
    return own;
}
const std::vector<F> kGraphic = object({{16, 2}, {18, 2}, {20, 2}, {24, 2}, {28, 2},
                                        {30, 8}, {54, 2}, {56, 2}, {58, 2}, {60, 4}});
const std::vector<F> kButton = object(words(60, 72, words(74, 82, {{16, 2}, {18, 2}, {20, 2}, {24, 2}, {26, 2}})));
const std::vector<F> kText = object(words(56, 72, words(24, 40, {{16, 4}, {20, 2}, {40, 4}, {44, 2}, {46, 4},
                                                                 {50, 2}, {52, 4}, {88, 2}, {102, 2}, {104, 2}})));
const std::vector<F> kSub = {{0, 2}, {2, 2}, {4, 4}, {8, 4}, {12, 4}};

std::vector<F> actionFields(uint16_t code) {
    std::vector<F> f = {{0, 2}, {12, 4}, {22, 2}};
    auto add = [&](std::initializer_list<F> more) { f.insert(f.end(), more); };
    switch (code) {
    case 51: add({{16, 2}}); break;
    case 56: add({{4, 8}}); break;
    case 59: add({{16, 2}, {18, 4}}); break;
    case 64: add({{4, 8}}); break;
    case 82: add({{4, 2}, {24, 2}}); break;
    case 83: add({{4, 2}, {16, 2}, {24, 2}}); break;
    case 89: add({{2, 2}, {4, 8}, {16, 4}, {20, 2}}); break;
    case 119: add({{4, 8}, {18, 2}, {20, 2}, {24, 2}}); break;
    case 130: add({{32, 2}, {34, 2}, {36, 2}, {38, 2}}); break;
    default: break;
    }
    return f;
}

// Checks a whole action list (button or 'Actn' record) at `base`.
void expectActionList(const Bytes& stored, const uint8_t* native, uint32_t base, uint32_t len) {
    expectFields(stored.data(), native, base, 136, kButton, "button");
    for (uint32_t off = 136; off < len;) {
        const uint32_t at = base + off;
        const uint16_t code = loadBE16(&stored[at]);
        const uint32_t alen = loadBE32(&stored[at + 12]);
        ASSERT_GE(alen, 32u);
        const uint32_t checked = code == 56 ? 32 : alen; // animation frames are checked apart
        expectFields(stored.data(), native, at, checked, actionFields(code), "action");
        if (code == 56) {
            const uint32_t desc = at + 32;
            EXPECT_EQ(get16(native + desc + 8), loadBE16(&stored[desc + 8]));
            for (uint32_t fr = desc + 18, i = 0; i < 3; ++i, fr += 20) {
                EXPECT_EQ(get16(native + fr), loadBE16(&stored[fr]));
                EXPECT_EQ(get32(native + fr + 8), 20u);
                EXPECT_EQ(native[fr + 2], stored[fr + 2]);
            }
        }
        off += alen;
    }
}

Bytes richCard(int index) { return richStack().cards.at(size_t(index)); }

} // namespace

TEST(RecordConvert, StackHeaderFieldsAndBack) {
    const Bytes file = stackFile(richStack());
    Bytes h(file.begin(), file.begin() + 128);
    convertStackHeader(h.data(), Convert::ToNative);
    expectFields(file.data(), h.data(), 0, 128, kHeader, "header");
    EXPECT_EQ(get16(h.data() + 56), 512);
    EXPECT_EQ(get32(h.data() + 68), 520u);
    convertStackHeader(h.data(), Convert::ToStored);
    EXPECT_EQ(h, Bytes(file.begin(), file.begin() + 128));
}

TEST(RecordConvert, CardWithEveryObjectKindAndActionCodeAndBack) {
    const Bytes stored = richCard(0);
    Bytes n = stored;
    ASSERT_TRUE(convertCardRecord(n.data(), uint32_t(n.size()), Convert::ToNative));
    expectFields(stored.data(), n.data(), 0, 96, kCard, "card");

    uint32_t off = 96;
    const uint32_t blen = loadBE32(&stored[off + 12]);
    expectActionList(stored, n.data(), off, blen);
    off += blen;
    const uint32_t glen = loadBE32(&stored[off + 12]);
    expectFields(stored.data(), n.data(), off, glen - 12, kGraphic, "graphic");
    const uint8_t* trailing = n.data() + off + glen - 12;
    EXPECT_EQ(get16(trailing), 64);
    EXPECT_EQ(get16(trailing + 2), 32);
    off += glen;
    const uint32_t tlen = loadBE32(&stored[off + 12]);
    expectFields(stored.data(), n.data(), off, 128, kText, "text");
    const uint32_t sub1 = off + 128, sub1len = loadBE32(&stored[sub1 + 12]);
    expectFields(stored.data(), n.data(), sub1, sub1len, kSub, "sub-record 1");
    expectFields(stored.data(), n.data(), sub1 + sub1len, tlen - 128 - sub1len, kSub, "sub-record 2");
    EXPECT_EQ(geti16(n.data() + off + 66), -1);
    off += tlen;
    EXPECT_EQ(off + 4, stored.size());

    ASSERT_TRUE(convertCardRecord(n.data(), uint32_t(n.size()), Convert::ToStored));
    EXPECT_EQ(n, stored);
}

TEST(RecordConvert, PictureHeaderAndFillBlock) {
    for (int index : {1, 2}) { // format 1, and format 2 with a fill block and a pad byte
        const Bytes stored = richCard(index);
        Bytes n = stored;
        ASSERT_TRUE(convertCardRecord(n.data(), uint32_t(n.size()), Convert::ToNative));
        const uint32_t plen = loadBE32(&stored[96 + 12]), ctab = loadBE32(&stored[96 + 16]);
        std::vector<F> p = {{0, 2}, {2, 2}, {10, 2}, {12, 4}, {16, 4}};
        if (index == 2) p.insert(p.end(), {{24 + ctab + 4, 4}, {24 + ctab + 12, 4}});
        expectFields(stored.data(), n.data(), 96, plen, p, "picture");
        ASSERT_TRUE(convertCardRecord(n.data(), uint32_t(n.size()), Convert::ToStored));
        EXPECT_EQ(n, stored);
    }
}

TEST(RecordConvert, LoadingClearsRunTimeWordsAndFillsEmptySizes) {
    // The graphic's pad byte comes after the trailing data.
    const GraphicSpec g{.rect = {10, 20, 74, 52}, .objectFlags = 0x200,
                        .trailing = graphicTrailing(0, 7, 0x1111, 0x2222, Bytes{5, 6})};
    Bytes n = cardRecord({.objects = {graphicRecord(g), buttonRecord({.id = 2, .actions = {shapeAction(Bytes{1, 2}, 0x3333)}})}});
    ASSERT_TRUE(convertCardRecord(n.data(), uint32_t(n.size()), Convert::ToNative));
    const uint32_t glen = get32(n.data() + 96 + 12);
    const uint8_t* t = n.data() + 96 + glen - 1 - 10;
    EXPECT_EQ(get16(t), 64);      // width from the rectangle: a 0 was stored
    EXPECT_EQ(get16(t + 2), 32);  // and the height with it
    EXPECT_EQ(get32(t + 4), 0u);  // run-time words cleared
    EXPECT_EQ(t[8], 5);
    EXPECT_EQ(t[9], 6);
    EXPECT_EQ(t[10], 0xEE);       // the pad byte
    EXPECT_EQ(t[-1], 6);          // the picture data before it is untouched
    const uint8_t* shape = n.data() + 96 + glen + 136;
    EXPECT_EQ(get16(shape + 32), pat16(32));
    EXPECT_EQ(get32(shape + 36), 0u);
}

TEST(RecordConvert, LinkTextMovesOneByteAndItsActionListIsConverted) {
    const Bytes actions = buttonRecord({.id = 0, .summary = 0x0004, .actions = {stackSoundAction(77, false)}});
    // As other programs write it: the text at 23, a 0 byte, the data after the text at 28 and
    // the action record at 24 + 4 + 3.
    const Bytes stored = linkData(12, 3, "word", Bytes{9, 8, 7}, actions);
    std::vector<uint8_t> d = stored;
    ASSERT_TRUE(convertLinkToNative(d));
    ASSERT_EQ(d.size(), stored.size()); // converted in place
    EXPECT_EQ(get16(d.data()), 12);
    EXPECT_EQ(get16(d.data() + 2), 3);
    EXPECT_EQ(get16(d.data() + 4), 3);
    EXPECT_EQ(get16(d.data() + 6), 4);
    EXPECT_EQ(std::string(d.begin() + 24, d.begin() + 28), "word");
    EXPECT_EQ(d[28], 9); // the data after the text stays where it was
    const uint8_t* list = d.data() + 24 + 4 + 3;
    EXPECT_EQ(get32(list + 12), 136u + 32u);
    EXPECT_EQ(get16(list + 136 + 16), 77);
    ASSERT_TRUE(convertLinkToStored(d));
    EXPECT_EQ(d, stored);

    // Whatever the byte after the text holds comes back as it was.
    Bytes odd = stored;
    odd[27] = 0x55;
    d = odd;
    ASSERT_TRUE(convertLinkToNative(d));
    EXPECT_EQ(std::string(d.begin() + 24, d.begin() + 28), "word");
    ASSERT_TRUE(convertLinkToStored(d));
    EXPECT_EQ(d, odd);

    std::vector<uint8_t> shortText = linkData(1, 0, "abc", {}, std::nullopt);
    be16(shortText, 6, 200); // text runs past the data
    EXPECT_FALSE(convertLinkToNative(shortText));
    std::vector<uint8_t> noRoom = linkData(1, 0, "abc", {}, std::nullopt);
    noRoom.pop_back(); // no byte after the text
    EXPECT_FALSE(convertLinkToNative(noRoom));
}

TEST(RecordConvert, LengthsThatDoNotFitTheirRecordAreDamage) {
    const Bytes good = richCard(0);
    const uint32_t button = 96, blen = loadBE32(&good[96 + 12]);
    const uint32_t graphic = button + blen, glen = loadBE32(&good[graphic + 12]);
    const uint32_t text = graphic + glen;
    struct Damage {
        const char* what;
        uint32_t at;
        uint32_t value;
        int width;
    };
    const Damage cases[] = {
        {"record length", 2, 5000, 4},
        {"object past the record", button + 12, 100000, 4},
        {"button shorter than its header", button + 12, 100, 4},
        {"action of length 0", button + 136 + 12, 0, 4},
        {"action past its list", button + 136 + 12, blen, 4},
        {"trailing data past the object", graphic + 60, glen, 4},
        {"sub-record past its object", text + 128 + 12, 5000, 4},
        {"sub-record shorter than its header", text + 128 + 12, 3, 4},
    };
    for (const Damage& d : cases) {
        Bytes b = good;
        if (d.width == 4) be32(b, d.at, d.value);
        EXPECT_FALSE(convertCardRecord(b.data(), uint32_t(b.size()), Convert::ToNative)) << d.what;
    }
    const Bytes pict = richCard(2);
    const uint32_t plen = loadBE32(&pict[96 + 12]);
    for (auto [at, value] : {std::pair<uint32_t, uint32_t>{96 + 12, uint32_t(pict.size())},
                             {96 + 12, 10},
                             {96 + 16, plen},
                             {96 + 16, plen - 24 - 8}}) { // no room left for the fill block
        Bytes b = pict;
        be32(b, at, value);
        EXPECT_FALSE(convertCardRecord(b.data(), uint32_t(b.size()), Convert::ToNative)) << at << "=" << value;
    }
    Bytes tiny(99, 0);
    EXPECT_FALSE(convertCardRecord(tiny.data(), uint32_t(tiny.size()), Convert::ToNative));
}

TEST(RecordConvert, NoDamagedByteMakesTheConversionLeaveItsRecord) {
    // Under the address sanitizer: any byte of any card set to 0x00 or 0xFF.
    for (int index = 0; index < 5; ++index) {
        const Bytes good = richCard(index);
        for (size_t i = 0; i < good.size(); ++i) {
            for (uint8_t v : {uint8_t(0x00), uint8_t(0xFF), uint8_t(0x80)}) {
                Bytes b = good;
                b[i] = v;
                // What could be read can be written back.
                if (convertCardRecord(b.data(), uint32_t(b.size()), Convert::ToNative)) {
                    EXPECT_TRUE(convertCardRecord(b.data(), uint32_t(b.size()), Convert::ToStored))
                        << "card " << index << " byte " << i << " = " << int(v);
                }
            }
        }
    }
}
