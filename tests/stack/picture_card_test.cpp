// Card background pictures: decoding picture records, fill blocks, writing and re-encoding.
#include "stack/picture_card.h"

#include <gtest/gtest.h>

#include <random>

#include "core/byte_order.h"
#include "stack_test_support.h"
#include "stack/colour_table.h"
#include "stack/lzrw1.h"

using namespace cv;
using cvtest::expectSamePixels;

namespace {

using Bytes = std::vector<uint8_t>;

Bytes cardRecord(int w, int h, int depth, const Bytes& picture, uint16_t mode = 1) {
    Bytes card(96, 0);
    put16(card.data() + 6, mode);
    put16(card.data() + 18, uint16_t(depth));
    put16(card.data() + 20, uint16_t(w));
    put16(card.data() + 22, uint16_t(h));
    card.insert(card.end(), picture.begin(), picture.end());
    card.insert(card.end(), {0, 0, 0, 0, 0xFA, 0xCE});
    return card;
}

// A picture record put together by hand (lengths filled in).
Bytes pictureRecord(uint16_t format, const Bytes& table, const Bytes& fill, const Bytes& block, bool pad = false) {
    Bytes r(24, 0);
    put16(r.data() + 2, format);
    put16(r.data() + 10, pad ? 0x200 : 0);
    r.insert(r.end(), table.begin(), table.end());
    r.insert(r.end(), fill.begin(), fill.end());
    r.insert(r.end(), block.begin(), block.end());
    if (pad) r.push_back(0x99);
    put32(r.data() + 12, uint32_t(r.size()));
    put32(r.data() + 16, uint32_t(table.size()));
    return r;
}

Bitmap randomPicture(int w, int h, int depth, unsigned seed) {
    Bitmap b = *MakeDIB(w, h, depth);
    std::mt19937 rng(seed);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) b.setPixel(x, y, (x / 5 + y) % 3 ? uint32_t(x * 7 + y) : rng());
    for (auto& c : b.colours) c = 0xFF000000u | (rng() & 0xFFFFFF);
    return b;
}

} // namespace

TEST(CardPicture, WrittenRecordsDecodeToTheSamePicture) {
    unsigned seed = 0;
    for (int depth : {1, 4, 8, 16, 32})
        for (int w : {16, 33, 100}) {
            const Bitmap src = randomPicture(w, 9, depth, ++seed);
            auto rec = encodeCardPicture(src);
            ASSERT_TRUE(rec);
            EXPECT_EQ(rec->size() % 2, 0u);
            EXPECT_EQ(get32(rec->data() + 12), rec->size());
            EXPECT_EQ(get16(rec->data() + 2), kPictureFormatPlain);
            const Bytes card = cardRecord(w, 9, depth, *rec);
            DecodedPicture d = decodeCardBackground(card);
            ASSERT_TRUE(d.ok()) << depth << " " << w;
            expectSamePixels(d.bitmap, src);
            if (depth <= 8) EXPECT_EQ(d.bitmap.colours, src.colours);
            else EXPECT_TRUE(d.bitmap.colours.empty());
            DecodedPicture up = decodeCardBackground(card, {RowOrder::BottomUp, nullptr});
            ASSERT_TRUE(up.ok());
            EXPECT_EQ(up.bitmap.order, RowOrder::BottomUp);
            expectSamePixels(up.bitmap, src);
            EXPECT_EQ(cardColourTable(card).size(), 8u + 8 * (depth == 4 ? 16 : 256));
        }
}

TEST(CardPicture, ColourTableOrIdentity) {
    Bitmap src = *MakeDIB(16, 1, 8);
    src.setPixel(0, 0, 3);
    const Bytes block = encodeLzrw1(Bytes(16, 3));
    const Bytes noTable = pictureRecord(1, {}, {}, block, true);
    DecodedPicture d = decodeCardPicture(noTable, 16, 1, 8);
    ASSERT_TRUE(d.ok());
    EXPECT_EQ(d.bitmap.colours[3], paletteColour(LoadDefaultPalette()[3]));
    Palette mine(256, PaletteEntry{1, 2, 3, 0});
    d = decodeCardPicture(noTable, 16, 1, 8, {RowOrder::TopDown, &mine});
    EXPECT_EQ(d.bitmap.colours[200], 0xFF010203u);
    const Bytes table = makeColourTable(std::vector<uint32_t>{0xFFFFFF, 0x112233});
    d = decodeCardPicture(pictureRecord(1, table, {}, block), 16, 1, 8);
    ASSERT_TRUE(d.ok());
    EXPECT_EQ(d.bitmap.colours[1], 0xFF112233u);
    EXPECT_EQ(d.bitmap.colours[3], 0xFF000000u);
}

TEST(CardPicture, FillBlocksSurroundTheCompressedRows) {
    // 16 x 4 at 8 bits: 64 bytes; 6 filled at the top, 7 at the bottom.
    Bytes fill = {1, 2, 3, 4, 0, 0, 0, 0, 5, 6, 7, 8, 0, 0, 0, 0};
    put32(fill.data() + 4, 6);
    put32(fill.data() + 12, 7);
    // The middle 51 bytes: a copy reaching 6 back (into the top fill), then 48 literals.
    Bytes data = {0x01, 0x00, 0x00, 0x06};
    for (int i = 0; i < 15; ++i) data.push_back(uint8_t(100 + i));
    for (int g = 0; g < 3; ++g) {
        data.insert(data.end(), {0, 0});
        for (int i = 0; i < 16 && 15 + g * 16 + i < 48; ++i) data.push_back(uint8_t(115 + g * 16 + i));
    }
    Bytes block = {0, 0, 0, 0};
    block.insert(block.end(), data.begin(), data.end());
    const Bytes rec = pictureRecord(2, {}, fill, block);
    DecodedPicture d = decodeCardPicture(rec, 16, 4, 8);
    ASSERT_TRUE(d.ok());
    auto at = [&](int i) { return d.bitmap.pixel(i % 16, i / 16); };
    EXPECT_EQ(at(0), 1u);
    EXPECT_EQ(at(5), 2u);
    EXPECT_EQ(at(6), 1u);
    EXPECT_EQ(at(8), 3u);
    EXPECT_EQ(at(9), 100u);
    EXPECT_EQ(at(56), 147u);
    // The bottom fill is aligned to the end: 6 7 8 5 6 7 8.
    EXPECT_EQ(at(57), 6u);
    EXPECT_EQ(at(60), 5u);
    EXPECT_EQ(at(63), 8u);
    // The same with the rows asked for bottom-up: the fills stay at the picture's ends.
    DecodedPicture up = decodeCardPicture(rec, 16, 4, 8, {RowOrder::BottomUp, nullptr});
    ASSERT_TRUE(up.ok());
    expectSamePixels(up.bitmap, d.bitmap);
    // Counts that overlap or pass the picture are damage.
    Bytes over = fill;
    put32(over.data() + 12, 59);
    EXPECT_EQ(decodeCardPicture(pictureRecord(2, {}, over, block), 16, 4, 8).status, PictureStatus::Damaged);
    // All filled: no compressed data needed.
    Bytes all = fill;
    put32(all.data() + 4, 64);
    put32(all.data() + 12, 0);
    EXPECT_TRUE(decodeCardPicture(pictureRecord(2, {}, all, {}), 16, 4, 8).ok());
    // Narrower than its stored rows: the picture is repacked after the fills.
    DecodedPicture narrow = decodeCardPicture(rec, 8, 4, 8);
    ASSERT_TRUE(narrow.ok());
    EXPECT_EQ(narrow.bitmap.pixel(1, 1), 108u);
}

TEST(CardPicture, OtherFormatsAndModesDrawNothing) {
    const Bytes block = encodeLzrw1(Bytes(16, 0));
    EXPECT_EQ(decodeCardPicture(pictureRecord(3, {}, {}, block), 16, 1, 8).status, PictureStatus::NoPicture);
    const Bytes card = cardRecord(16, 1, 8, pictureRecord(1, {}, {}, block), 3);
    EXPECT_EQ(decodeCardBackground(card).status, PictureStatus::NoPicture);
    EXPECT_TRUE(cardPictureRecord(card).empty());
}

TEST(CardPicture, DamagedRecordsNeverDecode) {
    const Bitmap src = randomPicture(40, 10, 8, 5);
    const Bytes rec = *encodeCardPicture(src);
    const Bytes card = cardRecord(40, 10, 8, rec);
    ASSERT_TRUE(decodeCardBackground(card).ok());
    for (size_t cut = 0; cut < card.size() - 6; cut += 3)
        EXPECT_FALSE(decodeCardBackground(std::span(card).first(cut)).ok()) << cut;
    // Stream too short or too long for the card.
    EXPECT_EQ(decodeCardPicture(rec, 40, 11, 8).status, PictureStatus::Damaged);
    EXPECT_EQ(decodeCardPicture(rec, 40, 9, 8).status, PictureStatus::Damaged);
    EXPECT_EQ(decodeCardPicture(rec, 40, 10, 3).status, PictureStatus::Damaged);
    EXPECT_EQ(decodeCardPicture(rec, 30000, 30000, 32).status, PictureStatus::Damaged);
    Bytes huge(16, 0);
    put32(huge.data() + 4, 120000u * 30000u);  // all filled: plausible, but too large to hold
    EXPECT_EQ(decodeCardPicture(pictureRecord(2, {}, huge, {}), 30000, 30000, 32).status, PictureStatus::TooLarge);
    Bytes bad = rec;
    put32(bad.data() + 16, uint32_t(rec.size()));
    EXPECT_EQ(decodeCardPicture(bad, 40, 10, 8).status, PictureStatus::Damaged);
    bad = rec;
    put32(bad.data() + 12, 24);
    put16(bad.data() + 10, 0x200);   // a pad byte where there is no room for one
    EXPECT_EQ(decodeCardPicture(bad, 40, 10, 8).status, PictureStatus::Damaged);
    bad = rec;
    put32(bad.data() + 12, 23);
    EXPECT_EQ(decodeCardPicture(bad, 40, 10, 8).status, PictureStatus::Damaged);
}

TEST(CardPicture, ReencodingAtAnotherDepth) {
    Bitmap src = *MakeDIB(37, 5, 8);
    const Palette& def = LoadDefaultPalette();
    for (int i = 0; i < 256; ++i) src.colours[i] = paletteColour(def[i]);
    for (int y = 0; y < 5; ++y)
        for (int x = 0; x < 37; ++x) src.setPixel(x, y, uint32_t((x * 37 + y * 11) % 236));
    Bytes rec = *encodeCardPicture(src, PaletteToColourTable(nullptr, false, 8), 0x1234);
    rec[20] = 0xAB; // bytes kept as they are
    EncodedRecord deep = reencodeCardPicture(rec, 37, 5, 8, 16);
    ASSERT_EQ(deep.status, PictureStatus::Ok);
    EXPECT_EQ(get16(deep.record.data()), 0x1234);
    EXPECT_EQ(deep.record[20], 0xAB);
    DecodedPicture d16 = decodeCardPicture(deep.record, 37, 5, 16);
    ASSERT_TRUE(d16.ok());
    EXPECT_EQ(d16.bitmap.pixel(0, 0), 0x7FFFu); // white
    EncodedRecord back = reencodeCardPicture(deep.record, 37, 5, 16, 8);
    ASSERT_EQ(back.status, PictureStatus::Ok);
    DecodedPicture d8 = decodeCardPicture(back.record, 37, 5, 8);
    ASSERT_TRUE(d8.ok());
    expectSamePixels(d8.bitmap, src);
    EncodedRecord four = reencodeCardPicture(rec, 37, 5, 8, 4);
    ASSERT_EQ(four.status, PictureStatus::Ok);
    EXPECT_EQ(colourTableEntryCount(std::span(four.record).subspan(24, get32(four.record.data() + 16))), 16u);
    DecodedPicture d4 = decodeCardPicture(four.record, 37, 5, 4);
    ASSERT_TRUE(d4.ok());
    EXPECT_EQ(d4.bitmap.pixel(0, 0), 0u);
    EXPECT_EQ(reencodeCardPicture(std::span(rec).first(30), 37, 5, 8, 4).status, PictureStatus::Damaged);
}
