// Graphic object pictures, their masks and outlines, and 'PPak' records.
#include "stack/picture_object.h"
#include "stack/picture_mask.h"
#include "stack/ppak.h"

#include <gtest/gtest.h>

#include <random>

#include "core/byte_order.h"
#include "stack_test_support.h"
#include "core/ui.h"
#include "stack/colour_table.h"

using namespace cv;
using cvtest::expectSamePixels;

namespace {

using Bytes = std::vector<uint8_t>;

Bytes objectHeader(int w, int h, int depth, uint16_t pictureFlags) {
    Bytes o(80, 0);
    for (auto [at, v] : {std::pair<int, int>{0, 16}, {2, 7}, {28, pictureFlags}, {30, 10}, {32, 20}, {34, 10 + w},
                         {36, 20 + h}, {54, depth}})
        put16(o.data() + at, uint16_t(v));
    return o;
}

Bitmap picture(int w, int h, int depth, unsigned seed) {
    Bitmap b = *MakeDIB(w, h, depth);
    std::mt19937 rng(seed);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) b.setPixel(x, y, x < w / 2 ? uint32_t(y) : rng());
    return b;
}

// A filled disc of radius 6 in a 15 x 15 mask.
Bitmap ring() {
    Bitmap m = makeMask(15, 15);
    for (int y = 0; y < 15; ++y)
        for (int x = 0; x < 15; ++x)
            if ((x - 7) * (x - 7) + (y - 7) * (y - 7) <= 36) m.setPixel(x, y, 1);
    return m;
}

} // namespace

TEST(ObjectPicture, BothMethodsWithTheCardColourTable) {
    const Bytes table = makeColourTable(std::vector<uint32_t>(256, 0x00FF00));
    for (bool rows : {false, true})
        for (int depth : {1, 8, 16, 32}) {
            const Bitmap src = picture(21, 6, depth, depth);
            auto data = encodeObjectPicture(src, rows);
            ASSERT_TRUE(data);
            const Bytes obj = spliceObjectPicture(objectHeader(21, 6, depth, rows ? 0x10 : 0), *data, {});
            EXPECT_EQ(obj.size() % 2, 0u);
            EXPECT_EQ(get32(obj.data() + 12), obj.size());
            DecodedPicture d = decodeObjectPicture(obj, table);
            ASSERT_TRUE(d.ok()) << rows << " " << depth;
            expectSamePixels(d.bitmap, src);
            if (depth <= 8) {
                EXPECT_EQ(d.bitmap.colours[1], 0xFF00FF00u);
            }
        }
}

TEST(ObjectPicture, RecordFramingAndDamage) {
    const Bitmap src = picture(9, 3, 8, 1);
    const Bytes data = *encodeObjectPicture(src, false);
    Bytes trailing = {9, 0, 3, 0, 0, 0, 0, 0, 0xFF};
    Bytes obj = spliceObjectPicture(objectHeader(9, 3, 8, 0), data, trailing);
    auto parts = parseGraphicPicture(obj);
    ASSERT_TRUE(parts);
    EXPECT_EQ(parts->trailing.size(), trailing.size());
    EXPECT_EQ(parts->data.size(), data.size());
    EXPECT_TRUE(get16(obj.data() + 28) & kPictureTrailing);
    EXPECT_EQ((get16(obj.data() + 22) & 0x200) != 0, (data.size() + trailing.size()) % 2 == 1);
    EXPECT_TRUE(decodeObjectPicture(obj, {}).ok());
    // A picture named by file, or another kind of object: nothing to decode here.
    Bytes file = obj;
    put16(file.data() + 22, 0x40);
    EXPECT_EQ(decodeObjectPicture(file, {}).status, PictureStatus::NoPicture);
    Bytes button = obj;
    put16(button.data(), 48);
    EXPECT_EQ(decodeObjectPicture(button, {}).status, PictureStatus::NoPicture);
    for (size_t cut = 0; cut + 1 < obj.size(); ++cut)
        EXPECT_FALSE(decodeObjectPicture(std::span(obj).first(cut), {}).ok()) << cut;
    Bytes bad = obj;
    put32(bad.data() + 60, uint32_t(obj.size()));
    EXPECT_EQ(decodeObjectPicture(bad, {}).status, PictureStatus::Damaged);
    bad = obj;
    put16(bad.data() + 34, 5); // right before left
    EXPECT_EQ(decodeObjectPicture(bad, {}).status, PictureStatus::Damaged);
    bad = obj;
    put16(bad.data() + 54, 7);
    EXPECT_EQ(decodeObjectPicture(bad, {}).status, PictureStatus::Damaged);
}

TEST(ObjectPicture, ReencodingKeepsTrailingDataAndAlwaysUsesRows) {
    Bitmap src = *MakeDIB(20, 4, 8);
    const Palette& def = LoadDefaultPalette();
    for (int i = 0; i < 256; ++i) src.colours[i] = paletteColour(def[i]);
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 20; ++x) src.setPixel(x, y, uint32_t(x * 11 % 236));
    const Bytes oldTable = PaletteToColourTable(nullptr, false, 8);
    const Bytes trailing = encodeMaskTrailer(ring());
    const Bytes obj = spliceObjectPicture(objectHeader(20, 4, 8, 0), *encodeObjectPicture(src, false), trailing);
    EncodedRecord r = reencodeObjectPicture(obj, oldTable, 32);
    ASSERT_EQ(r.status, PictureStatus::Ok);
    EXPECT_EQ(get16(r.record.data() + 54), 32);
    EXPECT_TRUE(get16(r.record.data() + 28) & kPictureLzrw1Rows);
    EXPECT_EQ(get32(r.record.data() + 12), r.record.size());
    DecodedPicture d = decodeObjectPicture(r.record, {});
    ASSERT_TRUE(d.ok());
    EXPECT_EQ(d.bitmap.pixel(1, 0) | 0xFF000000u, paletteColour(def[11]));
    auto parts = parseGraphicPicture(r.record);
    EXPECT_EQ(Bytes(parts->trailing.begin(), parts->trailing.end()), trailing);
    EncodedRecord back = reencodeObjectPicture(r.record, {}, 8, oldTable);
    ASSERT_EQ(back.status, PictureStatus::Ok);
    expectSamePixels(decodeObjectPicture(back.record, oldTable).bitmap, src);
    Bytes file = obj;
    put16(file.data() + 22, 0x40);
    EXPECT_EQ(reencodeObjectPicture(file, oldTable, 4).record, file);
}

TEST(ObjectMask, MasksFromTrailingDataAndOutlines) {
    const Bitmap mask = ring();
    const Bytes obj = spliceObjectPicture(objectHeader(15, 15, 8, 0), *encodeObjectPicture(picture(15, 15, 8, 3), false),
                                          encodeMaskTrailer(mask));
    DecodedPicture m = decodeObjectMask(obj);
    ASSERT_TRUE(m.ok());
    expectSamePixels(m.bitmap, mask);
    EXPECT_TRUE(maskHit(m.bitmap, 7, 7));
    EXPECT_FALSE(maskHit(m.bitmap, 0, 0));
    EXPECT_FALSE(maskHit(m.bitmap, -1, 7));
    EXPECT_FALSE(maskHit(m.bitmap, 15, 7));
    Bytes noTrail = objectHeader(15, 15, 8, 0);
    EXPECT_EQ(decodeObjectMask(spliceObjectPicture(noTrail, {}, {})).status, PictureStatus::NoPicture);
    Bytes zeroSize = encodeMaskTrailer(mask);
    put16(zeroSize.data(), 0);
    EXPECT_EQ(decodeMask(zeroSize).status, PictureStatus::NoPicture);
    Bytes shortMask = encodeMaskTrailer(mask);
    shortMask.pop_back();
    EXPECT_EQ(decodeMask(shortMask).status, PictureStatus::Damaged);

    const Bitmap disc = makeOutline(mask, 1);
    int inside = 0;
    for (int y = 0; y < 15; ++y)
        for (int x = 0; x < 15; ++x) {
            EXPECT_FALSE(maskHit(disc, x, y) && !maskHit(mask, x, y)) << "outline outside its mask";
            inside += maskHit(disc, x, y);
        }
    EXPECT_TRUE(maskHit(disc, 1, 7) && maskHit(disc, 7, 13));
    EXPECT_FALSE(maskHit(disc, 7, 7));
    EXPECT_GT(inside, 20);
    Bitmap box = makeMask(20, 20);
    for (int y = 2; y < 18; ++y)
        for (int x = 2; x < 18; ++x) box.setPixel(x, y, 1);
    const Bitmap one = makeOutline(box, 1), three = makeOutline(box, 3);
    EXPECT_TRUE(maskHit(one, 2, 4) && maskHit(one, 17, 17));
    EXPECT_FALSE(maskHit(one, 3, 4) || maskHit(one, 1, 4));
    EXPECT_TRUE(maskHit(three, 4, 9) && maskHit(three, 15, 9));
    EXPECT_FALSE(maskHit(three, 5, 5) || maskHit(three, 14, 9));
    // A full mask: the frame runs along the mask's edges.
    Bitmap full = makeMask(6, 4);
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 6; ++x) full.setPixel(x, y, 1);
    const Bitmap edge = makeOutline(full, 1);
    EXPECT_TRUE(maskHit(edge, 0, 0) && maskHit(edge, 5, 3) && maskHit(edge, 3, 0));
    EXPECT_FALSE(maskHit(edge, 2, 1) || maskHit(edge, 3, 2));
    EXPECT_TRUE(maskHit(makeOutline(full, 1000), 2, 2));
    EXPECT_TRUE(makeOutline(full, 0).empty());
}

TEST(PPak, RecordsRoundTripAndAreChecked) {
    Bitmap src = picture(23, 7, 8, 4);
    for (int i = 0; i < 256; ++i) src.colours[i] = 0xFF000000u | uint32_t(i * 0x010203);
    for (int type : {kPixPakRowsLZRW1, kPixPakPackBits}) {
        auto rec = encodePPak(src, type, 77);
        ASSERT_TRUE(rec);
        auto h = parsePPak(*rec, uint32_t(rec->size()));
        ASSERT_TRUE(h);
        EXPECT_EQ(h->version, 100);
        EXPECT_EQ(h->type, type);
        EXPECT_EQ(h->setting, 77u);
        DecodedPicture d = decodePPak(*rec, uint32_t(rec->size()));
        ASSERT_TRUE(d.ok());
        EXPECT_EQ(d.bitmap.depth, 32);
        for (int x = 0; x < 23; ++x) EXPECT_EQ(d.bitmap.pixel(x, 6), src.colours[src.pixel(x, 6)]);
        EXPECT_FALSE(parsePPak(*rec, uint32_t(rec->size() + 1)));
        for (size_t cut = 0; cut < rec->size(); cut += 7)
            EXPECT_FALSE(decodePPak(std::span(*rec).first(cut), uint32_t(rec->size())).ok());
        Bytes bad = *rec;
        storeBE32(bad.data() + 30, uint32_t(rec->size()));
        EXPECT_FALSE(parsePPak(bad, uint32_t(bad.size())));
    }
    EXPECT_FALSE(encodePPak(src, 5));
}

TEST(PPak, PixPakDecompress) {
    headlessUi().clearLog();
    PixImage image;
    image.width = 16;
    image.height = 2;
    image.depth = 1;
    EXPECT_EQ(PixPak_Decompress(image, Bytes{0x00, 0x00}, 5), -1);
    ASSERT_FALSE(headlessUi().log().empty());
    EXPECT_EQ(headlessUi().log().back(), "message PixPak_Decompress: Unknown PixPak_Decompress type");
    EXPECT_FALSE(image.bitmap);
    // Depth 1: entry 0 black, entry 1 white, whatever the palette says.
    image.palette = Palette(2, PaletteEntry{9, 9, 9, 0});
    ASSERT_EQ(PixPak_Decompress(image, Bytes{0x00, 0x80, 0x00, 0x00, 0xFF, 0xFF}, kPixPakPackBits), 0);
    ASSERT_TRUE(image.bitmap);
    EXPECT_EQ(image.bitmap->pixel(0, 0), 0xFFFFFFFFu);
    EXPECT_EQ(image.bitmap->pixel(1, 0), 0xFF000000u);
    EXPECT_EQ(image.bitmap->pixel(0, 1), 0xFFFFFFFFu);
    // A second picture goes into the bitmap the image has.
    const uint32_t* before = reinterpret_cast<const uint32_t*>(image.bitmap->bits.data());
    ASSERT_EQ(PixPak_Decompress(image, Bytes{0xFD, 0x00}, kPixPakPackBits), 0);
    EXPECT_EQ(reinterpret_cast<const uint32_t*>(image.bitmap->bits.data()), before);
    EXPECT_EQ(image.bitmap->pixel(0, 0), 0xFF000000u);
    EXPECT_EQ(PixPak_Decompress(image, Bytes{0xFD}, kPixPakPackBits), -1);
    image.depth = 3;
    EXPECT_EQ(PixPak_Decompress(image, Bytes{0xFD, 0x00}, kPixPakPackBits), -1);
}
