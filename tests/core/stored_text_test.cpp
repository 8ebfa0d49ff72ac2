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

TEST(MacCharset, TableFollowsTheMacintoshRomanSetWithTheListedExceptions) {
    EXPECT_EQ(macToWindows(uint8_t(0x8E)), 0xE9); // e acute
    EXPECT_EQ(macToWindows(uint8_t(0x80)), 0xC4);
    EXPECT_EQ(macToWindows(uint8_t(0xA5)), 0x95);
    EXPECT_EQ(macToWindows(uint8_t(0xD2)), 0x93);
    EXPECT_EQ(macToWindows(uint8_t('A')), 'A');
    for (int kept : {0xAD, 0xB0, 0xB2, 0xB3, 0xB7, 0xB8, 0xB9, 0xBA, 0xBB, 0xBC, 0xBD, 0xC3, 0xC5,
                     0xC6, 0xCA, 0xD7, 0xDA, 0xDE, 0xDF, 0xF0, 0xF9, 0xFA, 0xFD, 0xFF})
        EXPECT_EQ(macToWindows(uint8_t(kept)), kept) << std::hex << kept;
    EXPECT_EQ(macToWindows(uint8_t(0xB6)), 0xF0);
    EXPECT_EQ(macToWindows(uint8_t(0xDB)), 0xA4);
    EXPECT_EQ(macToWindows(uint8_t(0xF5)), 0xB9);
    EXPECT_EQ(macToWindows(uint8_t(0xFB)), 0xB0);
    EXPECT_EQ(macToWindows(uint8_t(0xFE)), 0xB9);
}

TEST(MacCharset, ReverseTakesTheFirstPositionAndNamesSurviveARoundTrip) {
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
