#include "stack/lzrw1.h"

#include <gtest/gtest.h>

#include <random>
#include <vector>

using namespace cv;

namespace {

using Bytes = std::vector<uint8_t>;

Bytes block(uint8_t flag, const Bytes& data) {
    Bytes b = {flag, 0, 0, uint8_t(data.size() + 4)};
    b.insert(b.end(), data.begin(), data.end());
    return b;
}

Bytes decodeTo(const Bytes& blk, size_t n, bool* ok) {
    Bytes out(n);
    *ok = decodeLzrw1(blk, out);
    return out;
}

// Inputs that stress the encoder: sizes around the group and copy limits, noise, long runs,
// periods around the copy lengths and the window size, and picture-like mixtures.
std::vector<Bytes> sampleInputs() {
    std::mt19937 rng(7);
    std::vector<Bytes> v;
    for (size_t n : {0, 1, 3, 18, 19, 34, 35, 100, 5000}) {
        Bytes b(n);
        for (auto& c : b) c = uint8_t(n == 5000 ? rng() : rng() % 3);
        v.push_back(b);
    }
    v.push_back(Bytes(70000, 0xAB));
    for (size_t period : {2, 7, 8, 9, 18, 19, 4095, 4096}) {
        Bytes b(period * 3 + 50);
        for (auto& c : b) c = uint8_t(rng());
        for (size_t i = period; i < b.size(); ++i) b[i] = b[i - period];
        v.push_back(b);
    }
    Bytes mixed;
    for (int k = 0; k < 300; ++k) {
        const int kind = rng() % 3, len = 1 + rng() % 400;
        for (int i = 0; i < len; ++i)
            mixed.push_back(kind == 0 ? uint8_t(k) : kind == 1 ? uint8_t(i / 9) : uint8_t(rng()));
    }
    v.push_back(mixed);
    return v;
}

} // namespace

TEST(Lzrw1, HandMadeBlocksFollowTheFraming) {
    bool ok;
    EXPECT_EQ(decodeTo(block(1, {9, 8, 7}), 3, &ok), (Bytes{9, 8, 7})); // flag 1: copied unchanged
    EXPECT_TRUE(ok);
    // Literal 'a', then offset 1 length 18: the previous byte repeated 18 times.
    EXPECT_EQ(decodeTo(block(0, {0x02, 0x00, 'a', 0x0F, 0x01}), 19, &ok), Bytes(19, 'a'));
    EXPECT_TRUE(ok);
    // The control word is low byte first: bit 9 lies in its second byte.
    EXPECT_EQ(decodeTo(block(0, {0x00, 0x02, 1, 2, 3, 4, 5, 6, 7, 8, 9, 0x00, 0x09}), 12, &ok),
              (Bytes{1, 2, 3, 4, 5, 6, 7, 8, 9, 1, 2, 3}));
    EXPECT_TRUE(ok);
    // Overlapping copies repeat a pattern.
    EXPECT_EQ(decodeTo(block(0, {0x04, 0x00, 'a', 'b', 0x07, 0x02}), 12, &ok),
              (Bytes{'a', 'b', 'a', 'b', 'a', 'b', 'a', 'b', 'a', 'b', 'a', 'b'}));
    // The high nibble of b0 counts 256s; copies may reach back before the start, to out[0].
    Bytes out(303, 0);
    out[0] = 0x55;
    EXPECT_TRUE(decodeLzrw1Block(block(0, {0x01, 0x00, 0x10, 0x2C}), out.data(), 300, 303));
    EXPECT_EQ(out[300], 0x55);
}

TEST(Lzrw1, EncoderRoundTripsWithinItsLimits) {
    Lzrw1Encoder shared;
    for (const Bytes& in : sampleInputs()) {
        Bytes blk;
        const size_t len = shared.encode(in, blk);
        ASSERT_EQ(len, blk.size());
        EXPECT_EQ(size_t(blk[2] << 8 | blk[3]), len & 0xFFFF);
        EXPECT_LE(blk.size(), maxLzrw1BlockBytes(in.size()));
        EXPECT_EQ(blk, encodeLzrw1(in)) << "stale table entries changed the output";
        bool ok;
        EXPECT_EQ(decodeTo(blk, in.size(), &ok), in);
        EXPECT_TRUE(ok);
        // The unchecked path, given room to run to the end, makes the same.
        Bytes roomy(in.size() + kLzrw1GroupRoom);
        ASSERT_TRUE(decodeLzrw1Block(blk, roomy.data(), 0, in.size(), kLzrw1GroupRoom));
        EXPECT_TRUE(std::equal(in.begin(), in.end(), roomy.begin()));
        if (blk[0] == kLzrw1FlagCopy) continue;
        // Copy items stay within 1-4095 bytes back, 18 long, and out of the last 18 bytes.
        for (size_t i = 4, at = 0; i < blk.size();) {
            unsigned control = blk[i] | (blk[i + 1] << 8);
            i += 2;
            for (int k = 0; k < 16 && i < blk.size(); ++k, control >>= 1) {
                if (!(control & 1)) { ++at; ++i; continue; }
                const size_t offset = ((blk[i] & 0xF0) << 4) | blk[i + 1];
                ASSERT_TRUE(offset >= 1 && offset <= 4095);
                ASSERT_LT(at + 18, in.size());
                at += (blk[i] & 15) + 3;
                i += 2;
            }
        }
    }
    Bytes noise(2000);
    std::mt19937 rng(3);
    for (auto& c : noise) c = uint8_t(rng());
    const Bytes raw = encodeLzrw1(noise);
    EXPECT_EQ(raw[0], kLzrw1FlagCopy);
    EXPECT_EQ(raw.size(), noise.size() + 4);
    EXPECT_LT(encodeLzrw1(Bytes(1000, 7)).size(), 150u);
}

TEST(Lzrw1, DamagedBlocksAreRefused) {
    const Bytes in = sampleInputs().back();
    const Bytes good = encodeLzrw1(in);
    ASSERT_EQ(good[0], 0);
    Bytes out(in.size());
    for (size_t cut = 0; cut < good.size(); cut += 1 + cut / 50)
        EXPECT_FALSE(decodeLzrw1(Bytes(good.begin(), good.begin() + cut), out)) << cut;
    Bytes longer = good;
    longer.push_back(0); // a stray byte where a control word would start
    EXPECT_FALSE(decodeLzrw1(longer, out));
    Bytes small(in.size() - 1), large(in.size() + 1);
    EXPECT_FALSE(decodeLzrw1(good, small));
    EXPECT_FALSE(decodeLzrw1(good, large));
    EXPECT_FALSE(decodeLzrw1(block(1, {1, 2}), small));
    Bytes o(19);
    EXPECT_FALSE(decodeLzrw1(block(0, {0x02, 0x00, 'a', 0x0F, 0x02}), o)); // before the output
    EXPECT_FALSE(decodeLzrw1(block(0, {0x02, 0x00, 'a', 0x0F, 0x00}), o)); // offset 0
    EXPECT_FALSE(decodeLzrw1(Bytes{0, 0, 0}, std::span<uint8_t>()));
}
