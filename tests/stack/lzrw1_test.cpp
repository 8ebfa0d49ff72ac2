#include "stack/lzrw1.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

using namespace cv;

namespace {

using Bytes = std::vector<uint8_t>;

Bytes block(uint8_t flag, const Bytes& data) {
    Bytes b = {flag, 0, 0, 0};
    b.insert(b.end(), data.begin(), data.end());
    b[2] = uint8_t(b.size() >> 8);
    b[3] = uint8_t(b.size());
    return b;
}

Bytes decodeTo(const Bytes& blk, size_t n, bool* ok) {
    Bytes out(n);
    *ok = decodeLzrw1(blk, out);
    return out;
}

// Inputs that stress the encoder: incompressible, runs, periods around the copy limits,
// matches just out of reach, and content typical of pictures.
std::vector<Bytes> sampleInputs() {
    std::mt19937 rng(7);
    std::vector<Bytes> v;
    for (size_t n : {0, 1, 2, 3, 17, 18, 19, 20, 33, 34, 35, 100}) {
        Bytes b(n);
        for (auto& c : b) c = uint8_t(rng() % 3);
        v.push_back(b);
    }
    Bytes noise(5000);
    for (auto& c : noise) c = uint8_t(rng());
    v.push_back(noise);
    v.push_back(Bytes(70000, 0xAB));
    for (size_t period : {1, 2, 3, 7, 8, 9, 17, 18, 19, 4095, 4096, 4097}) {
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

struct Item {
    bool copy;
    size_t at, offset, len;
};

// Walks a compressed block's items (for checking what the encoder chose).
std::vector<Item> items(const Bytes& blk) {
    std::vector<Item> out;
    size_t i = 4, at = 0;
    while (i < blk.size()) {
        unsigned control = blk[i] | (blk[i + 1] << 8);
        i += 2;
        for (int k = 0; k < 16 && i < blk.size(); ++k, control >>= 1) {
            if (control & 1) {
                const size_t offset = ((blk[i] & 0xF0) << 4) | blk[i + 1], len = (blk[i] & 15) + 3;
                out.push_back({true, at, offset, len});
                at += len;
                i += 2;
            } else {
                out.push_back({false, at, 0, 1});
                ++at;
                ++i;
            }
        }
    }
    return out;
}

} // namespace

TEST(Lzrw1, HandMadeBlocksFollowTheFraming) {
    bool ok;
    // Flag 1: the data is copied unchanged.
    EXPECT_EQ(decodeTo(block(1, {9, 8, 7}), 3, &ok), (Bytes{9, 8, 7}));
    EXPECT_TRUE(ok);
    // Literal 'a', then offset 1 length 18: the previous byte repeated 18 times.
    EXPECT_EQ(decodeTo(block(0, {0x02, 0x00, 'a', 0x0F, 0x01}), 19, &ok), Bytes(19, 'a'));
    EXPECT_TRUE(ok);
    // The control word is low byte first: bit 9 lies in its second byte.
    Bytes nine = {0x00, 0x02, 1, 2, 3, 4, 5, 6, 7, 8, 9, 0x00, 0x09};
    Bytes want = {1, 2, 3, 4, 5, 6, 7, 8, 9, 1, 2, 3};
    EXPECT_EQ(decodeTo(block(0, nine), 12, &ok), want);
    EXPECT_TRUE(ok);
    // An overlapping copy repeats a pattern; the high nibble of b0 is offset * 256.
    EXPECT_EQ(decodeTo(block(0, {0x08, 0x00, 'a', 'b', 'c', 0x07, 0x03}), 13, &ok),
              (Bytes{'a', 'b', 'c', 'a', 'b', 'c', 'a', 'b', 'c', 'a', 'b', 'c', 'a'}));
    Bytes far(300, 0);
    far[0] = 0x55;
    Bytes out(303);
    std::copy(far.begin(), far.end(), out.begin());
    EXPECT_TRUE(decodeLzrw1Block(block(0, {0x01, 0x00, 0x10, 0x2C}), out.data(), 300, 303));
    EXPECT_EQ(out[300], 0x55); // 0x12C = 300 bytes back: reaches out[0] before the start
}

TEST(Lzrw1, RoundTripsAndFastPathAgreesWithCarefulPath) {
    Lzrw1Encoder shared;
    for (const Bytes& in : sampleInputs()) {
        Bytes blk;
        const size_t len = shared.encode(in, blk);
        ASSERT_EQ(len, blk.size());
        EXPECT_EQ(blk[1], 0);
        EXPECT_EQ(size_t(blk[2] << 8 | blk[3]), len & 0xFFFF);
        EXPECT_LE(blk.size(), maxLzrw1BlockBytes(in.size()));
        EXPECT_EQ(blk, encodeLzrw1(in)) << "stale table entries changed the output";
        bool ok;
        EXPECT_EQ(decodeTo(blk, in.size(), &ok), in);
        EXPECT_TRUE(ok);
        Bytes roomy(in.size() + kLzrw1GroupRoom, 0xEE);
        ASSERT_TRUE(decodeLzrw1Block(blk, roomy.data(), 0, in.size(), kLzrw1GroupRoom));
        EXPECT_TRUE(std::equal(in.begin(), in.end(), roomy.begin()));
    }
}

TEST(Lzrw1, EncoderKeepsItsLimits) {
    for (const Bytes& in : sampleInputs()) {
        const Bytes blk = encodeLzrw1(in);
        if (blk[0] == kLzrw1FlagCopy) {
            EXPECT_EQ(blk.size(), in.size() + 4);
            continue;
        }
        EXPECT_LE(blk.size() - 4, in.size());
        for (const Item& it : items(blk)) {
            if (!it.copy) continue;
            EXPECT_GE(it.offset, 1u);
            EXPECT_LE(it.offset, 4095u);
            EXPECT_LE(it.len, 18u);
            EXPECT_LT(it.at + 18, in.size()) << "copy item in the last 18 bytes";
        }
    }
    std::mt19937 rng(3);
    Bytes noise(2000);
    for (auto& c : noise) c = uint8_t(rng());
    const Bytes blk = encodeLzrw1(noise);
    EXPECT_EQ(blk[0], kLzrw1FlagCopy);
    EXPECT_EQ(Bytes(blk.begin() + 4, blk.end()), noise);
    // A flat run compresses to copies of 18.
    const Bytes flat = encodeLzrw1(Bytes(1000, 7));
    EXPECT_EQ(flat[0], kLzrw1FlagCompressed);
    EXPECT_LT(flat.size(), 150u);
}

TEST(Lzrw1, DamagedBlocksAreRefused) {
    const Bytes in = sampleInputs().back();
    const Bytes good = encodeLzrw1(in);
    ASSERT_EQ(good[0], 0);
    Bytes out(in.size());
    // Cut anywhere: the output cannot be filled.
    for (size_t cut = 0; cut < good.size(); cut += 1 + cut / 50)
        EXPECT_FALSE(decodeLzrw1(Bytes(good.begin(), good.begin() + cut), out)) << cut;
    // One stray byte after the data, where a control word would start.
    Bytes longer = good;
    longer.push_back(0);
    EXPECT_FALSE(decodeLzrw1(longer, out));
    // Output too small or too large for the data.
    Bytes small(in.size() - 1), large(in.size() + 1);
    EXPECT_FALSE(decodeLzrw1(good, small));
    EXPECT_FALSE(decodeLzrw1(good, large));
    EXPECT_FALSE(decodeLzrw1(block(1, {1, 2}), small));
    // Copy items reaching before the output, or of offset 0.
    Bytes o(20);
    EXPECT_FALSE(decodeLzrw1(block(0, {0x02, 0x00, 'a', 0x0F, 0x02}), std::span(o).first(19)));
    EXPECT_FALSE(decodeLzrw1(block(0, {0x02, 0x00, 'a', 0x0F, 0x00}), std::span(o).first(19)));
    // Random corruption: never a crash, and success only when the output is filled.
    std::mt19937 rng(11);
    for (int t = 0; t < 400; ++t) {
        Bytes bad = good;
        for (int k = 0; k < 3; ++k) bad[4 + rng() % (bad.size() - 4)] = uint8_t(rng());
        Bytes dst(in.size() + kLzrw1GroupRoom);
        (void)decodeLzrw1Block(bad, dst.data(), 0, in.size(), rng() % 2 ? kLzrw1GroupRoom : 0);
    }
    EXPECT_FALSE(decodeLzrw1(Bytes{0, 0, 0}, std::span<uint8_t>()));
}
