// Stored-data helpers: byte order, counted strings and the Macintosh character set.
#include <gtest/gtest.h>

#include <cstring>

#include "core/byte_order.h"
#include "core/mac_charset.h"
#include "core/pstring.h"

using namespace cv;

namespace {
const uint8_t* ps(const char* s) { return reinterpret_cast<const uint8_t*>(s); }
} // namespace

TEST(ByteOrder, SwapRectReordersToLeftTopRightBottomAndBack) {
    uint8_t r[8] = {0x00, 0x0A, 0x00, 0x14, 0x00, 0x64, 0x00, 0xC8};
    SwapRect(r);
    EXPECT_EQ(get16(r), 20);
    EXPECT_EQ(get16(r + 2), 10);
    EXPECT_EQ(get16(r + 4), 200);
    EXPECT_EQ(get16(r + 6), 100);
    SwapRect(r);
    const uint8_t stored[8] = {0x00, 0x0A, 0x00, 0x14, 0x00, 0x64, 0x00, 0xC8};
    EXPECT_EQ(std::memcmp(r, stored, 8), 0);
}

TEST(CountedString, EqualityFoldsOnlyAsciiLetters) {
    EXPECT_EQ(PStringEqualNoCase(ps("\4Card"), ps("\4CARD")), 1);
    EXPECT_EQ(PStringEqualNoCase(ps("\4Card"), ps("\4Cart")), 0);
    EXPECT_EQ(PStringEqualNoCase(ps("\3Car"), ps("\4Card")), 0);
    EXPECT_EQ(PStringEqualNoCase(ps("\1\xE9"), ps("\1\xC9")), 0); // accented letters are not folded
    EXPECT_EQ(PStringEqualNoCase(ps("\0"), ps("\0")), 1);
    EXPECT_EQ(PStringEqualNoCase(ps("\1@"), ps("\1`")), 0);
}

TEST(CountedString, CopiesAndConversions) {
    uint8_t field[8];
    std::memset(field, 0x77, sizeof field);
    PStringCopyLimited(field, ps("\10too long"), sizeof field);
    EXPECT_EQ(field[0], 0x77); // not shorter than the field: nothing copied
    PStringCopyLimited(field, ps("\7fits ok"), sizeof field);
    EXPECT_EQ(pstringField(field, sizeof field), "fits ok");

    uint8_t lying[4] = {200, 'a', 'b', 'c'};
    EXPECT_EQ(pstringField(lying, sizeof lying), "abc"); // a length past the field is cut
    uint8_t out[6];
    setPStringField(out, sizeof out, "abcdefgh");
    EXPECT_EQ(out[0], 5);
    EXPECT_TRUE(equalNoCase("Samples.STK", "samples.stk"));
    EXPECT_FALSE(equalNoCase("abc", "abcd"));
}

TEST(MacCharset, BothWaysAndEveryByteSurvivesARoundTrip) {
    // Letters, punctuation, a byte kept as it is, and bytes that have no Windows counterpart.
    const std::pair<int, int> samples[] = {{0x8E, 0xE9}, {0x80, 0xC4}, {0xA5, 0x95}, {0xD2, 0x93}, {'A', 'A'},
                                           {0xAD, 0xAD}, {0xF0, 0xF0}, {0xB6, 0xF0}, {0xDB, 0xA4}, {0xFE, 0xB9}};
    for (auto [mac, windows] : samples) EXPECT_EQ(macToWindows(uint8_t(mac)), windows) << std::hex << mac;
    EXPECT_EQ(windowsToMac(uint8_t(0xE9)), 0x8E);
    EXPECT_EQ(windowsToMac(uint8_t(0xB0)), 0xA1); // degree sign comes before the kept 0xB0
    EXPECT_EQ(windowsToMac(uint8_t(0xB9)), 0xB9);
    // Whatever a Macintosh byte became, converting back and forth again gives the same text.
    for (int m = 0; m < 256; ++m) {
        const uint8_t w = macToWindows(uint8_t(m));
        EXPECT_EQ(macToWindows(windowsToMac(w)), w) << m;
    }
    EXPECT_EQ(windowsToMac(std::string("Caf\xE9")), "Caf\x8E");
    EXPECT_EQ(macToWindows(std::string("Caf\x8E")), "Caf\xE9");
}
