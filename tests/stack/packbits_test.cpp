#include "stack/packbits.h"

#include <gtest/gtest.h>

#include <random>
#include <vector>

using namespace cv;

namespace {
using Bytes = std::vector<uint8_t>;

Bytes unpack(const Bytes& in, size_t n, bool* ok, size_t* used = nullptr) {
    Bytes out(n);
    *ok = decodePackBitsStream(in, out, used);
    return out;
}

Bytes pack(const Bytes& in) {
    Bytes out;
    encodePackBitsStream(in, out);
    return out;
}
} // namespace

TEST(PackBits, CountBytes) {
    bool ok;
    EXPECT_EQ(unpack({0x81, 0x00}, 128, &ok), Bytes(128, 0));
    EXPECT_TRUE(ok);
    Bytes lit = {0x7F};
    for (int i = 0; i < 128; ++i) lit.push_back(uint8_t(i));
    Bytes want(lit.begin() + 1, lit.end());
    EXPECT_EQ(unpack(lit, 128, &ok), want);
    EXPECT_TRUE(ok);
    // -128 repeats 1 - (-128) = 129 times; 0xFF (-1) twice.
    EXPECT_EQ(unpack({0x80, 5, 0xFF, 6}, 131, &ok).back(), 6);
    EXPECT_TRUE(ok);
    // Decoding stops once the output is full: later bytes are left unread.
    size_t used = 0;
    unpack({0x00, 1, 0x00, 2, 0x00, 3}, 2, &ok, &used);
    EXPECT_TRUE(ok);
    EXPECT_EQ(used, 4u);
}

TEST(PackBits, EncoderRunsAndLiterals) {
    // Two equal bytes already make a repeat.
    EXPECT_EQ(pack({'a', 'a', 'b', 'c'}), (Bytes{0xFF, 'a', 0x01, 'b', 'c'}));
    EXPECT_EQ(pack(Bytes(130, 9)), (Bytes{0x81, 9, 0xFF, 9}));
    Bytes ramp(300);
    for (size_t i = 0; i < ramp.size(); ++i) ramp[i] = uint8_t(i);
    const Bytes p = pack(ramp);
    EXPECT_EQ(p[0], 0x7F);
    EXPECT_EQ(p[129], 0x7F);
    EXPECT_EQ(p.size(), 303u);
}

TEST(PackBits, RoundTripsWithinTheSizeBound) {
    std::mt19937 rng(5);
    std::vector<Bytes> inputs = {{}, {1}, {1, 1}, Bytes(129, 0), Bytes(257, 4)};
    Bytes worst;
    for (int i = 0; i < 333; ++i) worst.insert(worst.end(), {uint8_t(100 + i % 80), 0x5A, 0x5A});
    inputs.push_back(worst);
    for (int t = 0; t < 200; ++t) {
        Bytes b(rng() % 2000);
        const int alphabet = 1 + rng() % 4 * 80;
        for (auto& c : b) c = uint8_t(rng() % alphabet);
        inputs.push_back(b);
    }
    for (const Bytes& in : inputs) {
        const Bytes p = pack(in);
        EXPECT_LE(p.size(), maxPackBitsBytes(in.size()));
        bool ok;
        size_t used = 0;
        EXPECT_EQ(unpack(p, in.size(), &ok, &used), in);
        EXPECT_TRUE(ok);
        EXPECT_EQ(used, p.size());
    }
}

TEST(PackBits, DamagedStreamsAreRefused) {
    bool ok;
    unpack({0x81}, 128, &ok);
    EXPECT_FALSE(ok);           // repeat without its byte
    unpack({0x03, 1, 2}, 4, &ok);
    EXPECT_FALSE(ok);           // literal cut short
    unpack({0x81, 0}, 127, &ok);
    EXPECT_FALSE(ok);           // run past the end of the output
    unpack({0x03, 1, 2, 3, 4}, 3, &ok);
    EXPECT_FALSE(ok);
    unpack({}, 1, &ok);
    EXPECT_FALSE(ok);
    std::mt19937 rng(9);
    for (int t = 0; t < 2000; ++t) {
        Bytes b(rng() % 64);
        for (auto& c : b) c = uint8_t(rng());
        unpack(b, rng() % 300, &ok);
    }
}
