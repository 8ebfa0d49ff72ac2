#include "stack/packbits.h"

#include <gtest/gtest.h>

#include <random>
#include <vector>

using namespace cv;

namespace {
using Bytes = std::vector<uint8_t>;

bool unpack(const Bytes& in, Bytes& out, size_t* used = nullptr) { return decodePackBitsStream(in, out, used); }

Bytes pack(const Bytes& in) {
    Bytes out;
    encodePackBitsStream(in, out);
    return out;
}
} // namespace

TEST(PackBits, CountBytes) {
    Bytes out(128);
    EXPECT_TRUE(unpack({0x81, 0x00}, out));                 // -127: 128 repeats
    EXPECT_EQ(out, Bytes(128, 0));
    Bytes lit = {0x7F};
    for (int i = 0; i < 128; ++i) lit.push_back(uint8_t(i + 1));
    EXPECT_TRUE(unpack(lit, out));                          // 127: 128 literals
    EXPECT_EQ(out, Bytes(lit.begin() + 1, lit.end()));
    Bytes run(131);
    EXPECT_TRUE(unpack({0x80, 5, 0xFF, 6}, run));           // -128: 129 repeats
    EXPECT_EQ(run[128], 5);
    EXPECT_EQ(run[130], 6);
    Bytes two(2);
    size_t used = 0;                                        // stops once the output is full
    EXPECT_TRUE(unpack({0x00, 1, 0x00, 2, 0x00, 3}, two, &used));
    EXPECT_EQ(used, 4u);
}

TEST(PackBits, EncoderRoundTripsWithinTheSizeBound) {
    EXPECT_EQ(pack({'a', 'a', 'b', 'c'}), (Bytes{0xFF, 'a', 0x01, 'b', 'c'})); // pairs repeat
    EXPECT_EQ(pack(Bytes(130, 9)), (Bytes{0x81, 9, 0xFF, 9}));
    std::mt19937 rng(5);
    std::vector<Bytes> inputs = {{}, {1}, Bytes(257, 4)};
    Bytes worst, ramp(300);
    for (int i = 0; i < 333; ++i) worst.insert(worst.end(), {uint8_t(100 + i % 80), 0x5A, 0x5A});
    for (size_t i = 0; i < ramp.size(); ++i) ramp[i] = uint8_t(i);
    inputs.push_back(worst);
    inputs.push_back(ramp);
    for (int t = 0; t < 200; ++t) {
        Bytes b(rng() % 2000);
        const int alphabet = 1 + rng() % 4 * 80;
        for (auto& c : b) c = uint8_t(rng() % alphabet);
        inputs.push_back(b);
    }
    for (const Bytes& in : inputs) {
        const Bytes p = pack(in);
        EXPECT_LE(p.size(), maxPackBitsBytes(in.size()));
        Bytes out(in.size());
        size_t used = 0;
        EXPECT_TRUE(unpack(p, out, &used));
        EXPECT_EQ(out, in);
        EXPECT_EQ(used, p.size());
    }
    EXPECT_EQ(pack(ramp).size(), 303u);
}

TEST(PackBits, DamagedStreamsAreRefused) {
    Bytes out128(128), out127(127), out4(4), out3(3);
    EXPECT_FALSE(unpack({0x81}, out128));                   // repeat without its byte
    EXPECT_FALSE(unpack({0x03, 1, 2}, out4));               // literal cut short
    EXPECT_FALSE(unpack({0x81, 0}, out127));                // run past the output
    EXPECT_FALSE(unpack({0x03, 1, 2, 3, 4}, out3));
    EXPECT_FALSE(unpack({}, out3));
}
