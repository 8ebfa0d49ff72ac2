// The mixer: summing, stopping, the limiter, streamed sounds, and the sinks that pull it.
#include "media/mixer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <fstream>
#include <iterator>

#include "core/byte_order.h"
#include "core/clock.h"

namespace cv {
namespace {

std::shared_ptr<PcmBuffer> constant(int16_t value, size_t frames, OutputFormat f = {}) {
    auto p = std::make_shared<PcmBuffer>();
    p->rate = f.rate;
    p->channels = f.channels;
    p->samples.assign(frames * size_t(f.channels), value);
    return p;
}

TEST(Mixer, SumsSoundsStopsThemAndForgetsThoseThatEnded) {
    Mixer m;
    const auto a = m.play(constant(8192, 100), 1.0f);
    const auto b = m.play(constant(4096, 50), 0.5f);
    std::vector<float> out(2 * 200);
    m.render(out.data(), 200);
    EXPECT_NEAR(out[0], 0.25f + 0.0625f, 1e-4);
    EXPECT_NEAR(out[2 * 49 + 1], 0.25f + 0.0625f, 1e-4);
    EXPECT_NEAR(out[2 * 50], 0.25f, 1e-3);
    EXPECT_NEAR(out[2 * 150], 0.0f, 1e-6);
    EXPECT_TRUE(m.finished(a));
    EXPECT_TRUE(m.finished(b));
    EXPECT_EQ(m.voiceCount(), 0u);
    // One voice stopped, another silenced, then all stopped.
    const auto c = m.play(constant(8192, 1000), 1.0f);
    const auto d = m.play(constant(8192, 1000), 1.0f);
    m.stop(c);
    EXPECT_TRUE(m.finished(c));
    EXPECT_FALSE(m.finished(d));
    m.setGain(d, 0.0f);
    m.render(out.data(), 10);
    EXPECT_EQ(out[0], 0.0f);
    m.stopAll();
    EXPECT_TRUE(m.finished(d));
}

TEST(Mixer, TheLimiterHoldsLoudSumsUnderFullScaleAndLetsGoAfter) {
    Mixer m;
    for (int i = 0; i < 4; ++i) m.play(constant(30000, 4800), 1.0f);
    std::vector<float> out(2 * 48000);
    m.render(out.data(), 48000);
    float top = 0;
    for (float v : out) top = std::max(top, std::fabs(v));
    EXPECT_LE(top, 1.0f);
    EXPECT_GT(top, 0.99f);
    // After the loud part, a quiet sound comes through at its own level again.
    m.play(constant(3277, 4800), 1.0f);
    m.render(out.data(), 4800);
    EXPECT_NEAR(out[2 * 4000], 0.1f, 1e-3);
}

// Counts frames, 0, 1, 2... (the same in every channel), up to `total`.
class Counter final : public SoundSource {
public:
    explicit Counter(size_t total) : total_(total) {}
    size_t read(int16_t* out, size_t frames) override {
        const size_t n = std::min(frames, total_ - next_);
        for (size_t i = 0; i < n; ++i) out[2 * i] = out[2 * i + 1] = int16_t((next_ + i) % 30000);
        next_ += n;
        asked += n;
        return n;
    }
    size_t asked = 0;

private:
    size_t total_, next_ = 0;
};

TEST(Mixer, AStreamedSoundPlaysWhatWasFedAndWaitsWhenNotFed) {
    Mixer m;
    auto counter = std::make_unique<Counter>(200000);
    Counter& c = *counter;
    const auto id = m.playStream(std::move(counter), 1.0f);
    EXPECT_EQ(c.asked, 4800u); // its first 100 ms
    EXPECT_EQ(m.buffered(id), 4800u);
    std::vector<int16_t> out(2 * 7000);
    size_t expect = 0;
    auto heard = [&](size_t frames) {
        for (size_t i = 0; i < frames; ++i)
            if (out[2 * i] != int16_t(expect++ % 30000)) return false;
        return true;
    };
    // Unfed, it plays what it has and then is silent, keeping its place.
    m.render(out.data(), 7000);
    EXPECT_TRUE(heard(4800));
    EXPECT_EQ(out[2 * 4800], 0);
    EXPECT_FALSE(m.finished(id));
    // Fed in uneven blocks, it plays on without a gap across the ring's wrap until the end.
    for (size_t block = 1000; !m.finished(id); block = block % 6997 + 1237) {
        m.feed(block, block);
        std::fill(out.begin(), out.end(), int16_t(-1));
        const size_t n = std::min(block, size_t(7000));
        m.render(out.data(), n);
        ASSERT_TRUE(heard(std::min(n, 200000 - expect))) << expect;
        if (expect % 3 == 0) m.feed();
    }
    EXPECT_EQ(expect, 200000u);
}

TEST(CaptureSink, WritesWhatWasHeardOnThePlayersClock) {
    VirtualClock vc(1000);
    setClock(&vc);
    const std::string path = std::string(::testing::TempDir()) + "capture.wav";
    {
        Mixer m;
        CaptureSink sink(path);
        ASSERT_TRUE(sink.ok());
        sink.start(m);
        vc.advance(100);
        sink.catchUp();
        m.play(constant(16384, 2400), 1.0f);
        vc.advance(200);
        sink.stop();
        EXPECT_EQ(sink.framesRendered(), 14400u);
    }
    setClock(nullptr);
    std::ifstream in(path, std::ios::binary);
    const std::vector<uint8_t> bytes{std::istreambuf_iterator<char>(in), {}};
    ASSERT_EQ(bytes.size(), 44u + 14400u * 4);
    EXPECT_EQ(loadLE32(&bytes[40]), 14400u * 4);
    auto sample = [&](size_t frame) { return int16_t(loadLE16(&bytes[44 + frame * 4])); };
    EXPECT_EQ(sample(4799), 0);
    EXPECT_NEAR(sample(4800), 16383, 1);
    EXPECT_NEAR(sample(4800 + 2399), 16383, 1);
    EXPECT_EQ(sample(4800 + 2400), 0);
}

TEST(NullSink, SoundsEndInThePlayersTimeWithoutBeingMixed) {
    VirtualClock vc(0);
    setClock(&vc);
    Mixer m;
    NullSink sink;
    sink.start(m);
    const auto a = m.play(constant(1000, 4800), 1.0f);
    vc.advance(99);
    sink.catchUp();
    EXPECT_FALSE(m.finished(a));
    vc.advance(1);
    sink.catchUp();
    EXPECT_TRUE(m.finished(a));
    // An hour passes at once.
    vc.advance(3600 * 1000);
    sink.catchUp();
    EXPECT_EQ(sink.framesRendered(), 48000ull * 3600 + 4800);
    sink.stop();
    setClock(nullptr);
}

} // namespace
} // namespace cv
