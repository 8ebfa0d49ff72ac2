// Bitmaps, stored rows, both picture encodings, colour tables, palettes and conversions.
#include "stack/bitmap.h"
#include "stack/colour_table.h"
#include "stack/lzrw1.h"
#include "stack/packbits.h"
#include "stack/picture_convert.h"
#include "stack/picture_rows.h"

#include <gtest/gtest.h>

#include <random>

#include "core/byte_order.h"
#include "core/clock.h"
#include "stack_test_support.h"

using namespace cv;
using cvtest::expectSamePixels;

namespace {

Bitmap randomBitmap(int w, int h, int depth, unsigned seed, RowOrder order = RowOrder::TopDown) {
    Bitmap b = *MakeDIB(w, h, depth, order);
    std::mt19937 rng(seed);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) b.setPixel(x, y, rng() % 4 == 0 ? 0 : rng());
    return b;
}

} // namespace

TEST(PictureGeometry, StoredAndBitmapRows) {
    EXPECT_EQ(storedRowBytes(100, 8), 112u);
    EXPECT_EQ(dibRowBytes(100, 8), 100u);
    EXPECT_EQ(storedRowBytes(16, 1), 2u);   // the bitmap row is the longer one here
    EXPECT_EQ(dibRowBytes(16, 1), 4u);
    EXPECT_EQ(storedRowBytes(17, 32), 128u);
    EXPECT_EQ(dibRowBytes(17, 32), 68u);
    EXPECT_FALSE(MakeDIB(4, 4, 3));
    EXPECT_FALSE(MakeDIB(-1, 4, 8));
    EXPECT_FALSE(MakeDIB(60000, 60000, 32));
    // Few bytes but many pixels: 8 MB of 1-bit picture would be 256 MB on the screen.
    EXPECT_FALSE(MakeDIB(8192, 8192, 1));
    EXPECT_FALSE(MakeDIB(4097, 4096, 1));
    EXPECT_TRUE(MakeDIB(4096, 4096, 1));
    EXPECT_TRUE(MakeDIB(6400, 480, 8)); // a wide strip of frames is no larger than a card
    // Flipping swaps the rows in memory and the order with them: the picture stays.
    Bitmap b = randomBitmap(7, 5, 8, 1);
    const Bitmap before = b;
    FlipRows(b);
    EXPECT_EQ(b.order, RowOrder::BottomUp);
    EXPECT_TRUE(std::equal(before.row(4), before.row(4) + 7, b.bits.begin()));
    expectSamePixels(b, before);
}

TEST(PictureRows, RoundTripEveryDepthAndAwkwardWidths) {
    unsigned seed = 0;
    for (int depth : {1, 2, 4, 8, 16, 32})
        for (int w : {1, 15, 16, 17, 33, 48, 100})
            for (RowOrder order : {RowOrder::TopDown, RowOrder::BottomUp}) {
                const Bitmap src = randomBitmap(w, 6, depth, ++seed, order);
                auto rows = EncodeRowsLZRW1(src);
                ASSERT_TRUE(rows);
                Bitmap a = *MakeDIB(w, 6, depth, order), b = *MakeDIB(w, 6, depth);
                size_t used = 0;
                ASSERT_TRUE(DecodeRowsLZRW1(a, *rows, &used)) << depth << " " << w;
                EXPECT_EQ(used, rows->size());
                expectSamePixels(a, src);
                ASSERT_TRUE(DecodePackBits(b, EncodePackBits(src))) << depth << " " << w;
                expectSamePixels(b, src);
            }
}

TEST(PictureRows, StoredPaddingNeverReachesTheBitmapAndShortRowsArePadded) {
    // 100 pixels at 8 bits: stored rows of 112 bytes, 12 of them padding.
    std::vector<uint8_t> stored(112 * 2, 0xEE);
    for (int i = 0; i < 100; ++i) stored[i] = stored[112 + i] = uint8_t(i);
    Bitmap b = *MakeDIB(100, 2, 8);
    std::vector<uint8_t> packed;
    encodePackBitsStream(stored, packed);
    ASSERT_TRUE(DecodePackBits(b, packed));
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 100; ++x) EXPECT_EQ(b.pixel(x, y), uint32_t(x));
    // The encoders write padding as 0.
    const std::vector<uint8_t> again = storedPicture(b);
    EXPECT_EQ(again[100], 0);
    EXPECT_EQ(again[111], 0);
    // 16 pixels at 1 bit: stored rows of 2 bytes fill half of a 4-byte bitmap row.
    Bitmap mono = *MakeDIB(16, 1, 1);
    mono.bits.assign(4, 0x77);
    const std::vector<uint8_t> block = encodeLzrw1(std::vector<uint8_t>{0xA5, 0x5A});
    ASSERT_TRUE(DecodeRowsLZRW1(mono, block));
    EXPECT_EQ(mono.bits, (std::vector<uint8_t>{0xA5, 0x5A, kRowPadByte, kRowPadByte}));
}

TEST(PictureRows, MultiBytePixelsAreNativeInBitmapsAndBigEndianStored) {
    Bitmap b16 = *MakeDIB(1, 1, 16);
    ASSERT_TRUE(DecodePackBits(b16, std::vector<uint8_t>{0x00, 0x7C, 0xE2, 0x00}));
    EXPECT_EQ(b16.pixel(0, 0), 0x7C00u);
    EXPECT_EQ(storedPicture(b16)[0], 0x7C);
    Bitmap b32 = *MakeDIB(1, 1, 32);
    std::vector<uint8_t> s32(64, 0);
    s32[1] = 0x11; s32[2] = 0x22; s32[3] = 0x33;
    std::vector<uint8_t> packed;
    encodePackBitsStream(s32, packed);
    ASSERT_TRUE(DecodePackBits(b32, packed));
    EXPECT_EQ(b32.pixel(0, 0), 0x00112233u);
    EXPECT_EQ(toRgb32(b32).pixel(0, 0), 0xFF112233u);
}

TEST(PictureRows, DamagedRowsAreRefused) {
    const Bitmap src = randomBitmap(40, 8, 8, 99);
    const std::vector<uint8_t> rows = *EncodeRowsLZRW1(src);
    Bitmap dst = *MakeDIB(40, 8, 8);
    for (size_t cut = 0; cut < rows.size(); ++cut)
        EXPECT_FALSE(DecodeRowsLZRW1(dst, std::span(rows).first(cut)));
    std::vector<uint8_t> bad = rows;
    bad[3] = 3;                               // block length below its header
    EXPECT_FALSE(DecodeRowsLZRW1(dst, bad));
    bad = rows;
    bad[2] = 0xFF;                            // block length past the data
    EXPECT_FALSE(DecodeRowsLZRW1(dst, bad));
    // A row block of the wrong row length.
    Bitmap wider = *MakeDIB(41, 8, 8);
    EXPECT_TRUE(DecodeRowsLZRW1(wider, rows)); // 41 pixels still store 48 bytes
    Bitmap much = *MakeDIB(49, 8, 8);
    EXPECT_FALSE(DecodeRowsLZRW1(much, rows));
    // LZRW1 rows hold at most 65531 stored bytes a row.
    EXPECT_FALSE(EncodeRowsLZRW1(*MakeDIB(16400, 1, 32)));
    const std::vector<uint8_t> packed = EncodePackBits(src);
    for (size_t cut = 0; cut < packed.size(); ++cut)
        EXPECT_FALSE(DecodePackBits(dst, std::span(packed).first(cut)));
}

TEST(PictureConvert, ScreenFormatFromEveryDepth) {
    Bitmap b1 = *MakeDIB(10, 1, 1);
    b1.colours = {0xFFFFFFFF, 0xFF000000};
    b1.setPixel(9, 0, 1);
    const Bitmap s1 = toRgb32(b1);
    EXPECT_EQ(s1.pixel(0, 0), 0xFFFFFFFFu);
    EXPECT_EQ(s1.pixel(9, 0), 0xFF000000u);
    Bitmap b4 = *MakeDIB(3, 2, 4, RowOrder::BottomUp);
    b4.colours[5] = 0xFF123456;
    b4.setPixel(2, 0, 5);
    EXPECT_EQ(toRgb32(b4).pixel(2, 0), 0xFF123456u);
    EXPECT_EQ(toRgb32(b4).order, RowOrder::TopDown);
    Bitmap b2 = *MakeDIB(5, 1, 2);
    b2.colours[3] = 0xFF00FF00;
    b2.setPixel(4, 0, 3);
    EXPECT_EQ(toRgb32(b2).pixel(4, 0), 0xFF00FF00u);
    Bitmap b16 = *MakeDIB(1, 1, 16);
    b16.setPixel(0, 0, 0x7C1F);               // red 31, green 0, blue 31
    EXPECT_EQ(toRgb32(b16).pixel(0, 0), 0xFFFF00FFu);
    Bitmap b8 = *MakeDIB(2, 1, 8);
    b8.colours.resize(4);                     // indices without an entry show black
    b8.setPixel(1, 0, 200);
    EXPECT_EQ(toRgb32(b8).pixel(1, 0), 0xFF000000u);
}

TEST(PictureConvert, DepthChangesMatchTheNearestColour) {
    Bitmap b8 = *MakeDIB(3, 1, 8);
    b8.colours[0] = 0xFFFF0000;
    b8.colours[1] = 0xFF10F010;
    b8.colours[2] = 0xFFFFFFFF;
    for (int x = 0; x < 3; ++x) b8.setPixel(x, 0, x);
    const std::vector<uint32_t> four = {0xFF000000, 0xFFEE0000, 0xFF00FF00, 0xFFFFFFFF};
    auto b2 = convertDepth(b8, 2, four);
    ASSERT_TRUE(b2);
    EXPECT_EQ(b2->pixel(0, 0), 1u);
    EXPECT_EQ(b2->pixel(1, 0), 2u);
    EXPECT_EQ(b2->pixel(2, 0), 3u);
    auto b16 = convertDepth(b8, 16, {});
    EXPECT_EQ(b16->pixel(0, 0), 0x7C00u);
    auto back = convertDepth(*b16, 8, std::vector<uint32_t>(b8.colours.begin(), b8.colours.begin() + 3));
    EXPECT_EQ(back->pixel(1, 0), 1u);
    EXPECT_EQ(convertDepth(b8, 32, {})->pixel(1, 0), 0xFF10F010u);
    EXPECT_FALSE(convertDepth(b8, 4, {}));
}

TEST(ColourTables, StoredTablesAndPalettes) {
    // A Macintosh table: two entries, white and a 16-bit red whose high byte is taken.
    std::vector<uint8_t> mac(8 + 16, 0);
    storeBE16(mac.data() + 6, 1);
    for (int i = 2; i < 8; ++i) mac[8 + i] = 0xFF;
    storeBE16(mac.data() + 16 + 2, 0xCC01);
    Palette p = ColourTableToPalette(mac);
    ASSERT_EQ(p.size(), 2u);
    EXPECT_EQ(p[0], (PaletteEntry{0xFF, 0xFF, 0xFF, kPcNoCollapse}));
    EXPECT_EQ(p[1], (PaletteEntry{0xCC, 0, 0, kPcNoCollapse}));
    // A count larger than the table holds is cut to its entries; a stub table has none.
    storeBE16(mac.data() + 6, 255);
    EXPECT_EQ(colourTableEntryCount(mac), 2u);
    EXPECT_EQ(colourTableEntryCount(std::span(mac).first(7)), 0u);
    std::vector<uint32_t> cols = pictureColours(mac, 2);
    EXPECT_EQ(cols, (std::vector<uint32_t>{0xFFFFFFFF, 0xFFCC0000, 0xFF000000, 0xFF000000}));
    // Without a table: the identity table, the first entries of the palette shown with.
    cols = pictureColours({}, 1);
    EXPECT_EQ(cols, (std::vector<uint32_t>{0xFFFFFFFF, 0xFFFFFFCC}));
    EXPECT_TRUE(pictureColours(mac, 16).empty());
}

TEST(ColourTables, TablesThePlayerMakes) {
    VirtualClock vc(17 * 1234);
    setClock(&vc);
    const std::vector<uint8_t> t16 = PaletteToColourTable(nullptr, false, 4);
    const std::vector<uint8_t> t256 = PaletteToColourTable(nullptr, false, 8);
    setClock(nullptr);
    EXPECT_EQ(loadBE32(t16.data()), 1234u);
    EXPECT_EQ(t16.size(), 8u + 16 * 8);
    EXPECT_EQ(t256.size(), 8u + 256 * 8);
    EXPECT_EQ(loadBE16(t256.data() + 6), 255);
    EXPECT_EQ(loadBE16(t256.data() + 8 + 8 * 7), 7);
    // Components are the 8-bit colour as a native 16-bit value: white is FF 00, not FF FF,
    // which keeps player-made tables from passing for Macintosh ones.
    EXPECT_EQ(t256[8 + 2], 0xFF);
    EXPECT_EQ(t256[8 + 3], 0x00);
    EXPECT_EQ(ColourTableToPalette(t256)[255], (PaletteEntry{0, 0, 0, kPcNoCollapse}));
    Palette given(3, PaletteEntry{1, 2, 3, 0});
    const Palette fromGiven = ColourTableToPalette(PaletteToColourTable(&given, false, 8));
    EXPECT_EQ(fromGiven[2], (PaletteEntry{1, 2, 3, kPcNoCollapse}));
    EXPECT_EQ(fromGiven[3], (PaletteEntry{0, 0, 0, kPcNoCollapse}));
    // With remapping on a display of 8 bits: the system palette back in logical order.
    Palette system(256);
    for (int i = 0; i < 256; ++i) system[i] = {uint8_t(i), 0, 0, 0};
    const Palette remapped = ColourTableToPalette(PaletteToColourTable(nullptr, true, 8, 8, &system));
    EXPECT_EQ(remapped[0].red, 10);
    EXPECT_EQ(remapped[236].red, 255);
    EXPECT_EQ(remapped[255].red, 0);
    EXPECT_EQ(ColourTableToPalette(PaletteToColourTable(nullptr, true, 8, 32, &system))[0].red, 0xFF);
}

TEST(ColourTables, DefaultPalette) {
    const auto res = defaultPaletteResource();
    ASSERT_EQ(res.size(), 1u + 236 * 3);
    const Palette& p = LoadDefaultPalette();
    ASSERT_EQ(p.size(), 256u);
    // The 236 colours of the resource, reserved; then the system colours from 255 down to 0.
    EXPECT_EQ(p[0], (PaletteEntry{0xFF, 0xFF, 0xFF, kPcReserved}));
    EXPECT_EQ(p[225], (PaletteEntry{0x00, 0xEE, 0x00, kPcReserved}));
    EXPECT_EQ(p[235], (PaletteEntry{0x00, 0x00, 0xEE, kPcReserved}));
    EXPECT_EQ(p[236], (PaletteEntry{0xFF, 0xFF, 0xFF, 0}));   // system 255
    EXPECT_EQ(p[246], (PaletteEntry{0xA6, 0xCA, 0xF0, 0}));   // system 9
    EXPECT_EQ(p[255], (PaletteEntry{0x00, 0x00, 0x00, 0}));   // system 0
    EXPECT_EQ(res[1 + 3 * 215], 0xEE);
}

TEST(PictureRows, EmptyPicturesPassThroughEverything) {
    for (auto [w, h] : {std::pair{0, 3}, std::pair{5, 0}, std::pair{0, 0}}) {
        Bitmap b = *MakeDIB(w, h, 32);
        FlipRows(b);
        EXPECT_EQ(toRgb32(b).bits.size(), 0u);
        EXPECT_TRUE(convertDepth(b, 8, std::vector<uint32_t>{0xFFFFFFFF}));
        auto rows = EncodeRowsLZRW1(b);
        ASSERT_TRUE(rows);
        EXPECT_EQ(rows->size(), size_t(h) * 4);
        EXPECT_TRUE(DecodeRowsLZRW1(b, *rows));
        EXPECT_TRUE(DecodePackBits(b, EncodePackBits(b)));
    }
}
