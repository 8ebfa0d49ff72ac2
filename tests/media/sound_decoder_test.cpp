#include "media/sound_decoder.h"

#include <gtest/gtest.h>

#include <cmath>

#include "core/ui.h"
#include "media_test_util.h"
#include "sound_files.h"

namespace cv {
namespace {

using namespace test;

class Decoding : public ::testing::Test {
protected:
    void SetUp() override { setUi(&ui); }
    void TearDown() override { setUi(nullptr); }
    bool alerted(int id) const {
        for (const std::string& l : ui.log())
            if (l.find("alert " + std::to_string(id)) != std::string::npos) return true;
        return false;
    }
    HeadlessUi ui;
    OutputFormat out{48000, 2};
};

double peak(const std::vector<int16_t>& s, int channels, int channel) {
    double m = 0;
    for (size_t i = size_t(channel); i < s.size(); i += size_t(channels)) m = std::max(m, std::fabs(double(s[i])));
    return m;
}

TEST_F(Decoding, EightBitStoredToneKeepsItsPitchAtTheDeviceRate) {
    // 440 Hz, 8-bit unsigned at 11,025 Hz, one second.
    std::vector<uint8_t> samples;
    for (int16_t v : tone(440, 11025, 1.0, 0.8)) samples.push_back(uint8_t(128 + v / 256));
    const auto snd = SndBuilder().form1(1, 1).standard(uint32_t(samples.size()), 0x2B110000).samples(samples).bytes();
    PcmBuffer pcm;
    ASSERT_EQ(DecodeStoredSound(snd, out, &pcm), 0);
    EXPECT_EQ(pcm.rate, 48000);
    EXPECT_NEAR(double(pcm.frames()), 48000, 100);
    EXPECT_NEAR(measureHz(pcm.samples, 2, 0, 48000, 1000), 440, 1);
    EXPECT_NEAR(measureHz(pcm.samples, 2, 1, 48000, 1000), 440, 1);
    EXPECT_GT(peak(pcm.samples, 2, 0), 20000);
    EXPECT_TRUE(ui.log().empty());
}

TEST_F(Decoding, SixteenBitStoredSamplesAreBigEndianAndInterleaved) {
    // Left: 1 kHz at 22,050 Hz; right: silence.
    const auto left = tone(1000, 22050, 0.5, 0.5);
    std::vector<uint8_t> samples;
    for (int16_t v : left) {
        samples.push_back(uint8_t(uint16_t(v) >> 8));
        samples.push_back(uint8_t(v));
        samples.push_back(0);
        samples.push_back(0);
    }
    const auto snd = SndBuilder().form2(1).extended(2, uint32_t(left.size()), 16, 0x56220000).samples(samples).bytes();
    PcmBuffer pcm;
    ASSERT_EQ(DecodeStoredSound(snd, out, &pcm), 0);
    EXPECT_NEAR(measureHz(pcm.samples, 2, 0, 48000, 500), 1000, 2);
    EXPECT_NEAR(peak(pcm.samples, 2, 0), 16384, 1200);
    EXPECT_LT(peak(pcm.samples, 2, 1), 50);
}

TEST_F(Decoding, MacePacketsGoThroughTheirDecoders) {
    for (int id : {3, 4}) {
        SCOPED_TRACE(id);
        const auto snd = SndBuilder().form2(1).compressed(1, 1000, int16_t(id), 8, 0x2B110000).bytes();
        PcmBuffer pcm;
        ASSERT_EQ(DecodeStoredSound(snd, OutputFormat{11025, 1}, &pcm), 0);
        // 6 samples a packet, at the sound's own rate.
        EXPECT_NEAR(double(pcm.frames()), 6000, 40);
    }
    PcmBuffer stereo;
    const auto snd = SndBuilder().form2(1).compressed(2, 500, 3, 8, 0x2B110000).bytes();
    ASSERT_EQ(DecodeStoredSound(snd, OutputFormat{11025, 2}, &stereo), 0);
    EXPECT_NEAR(double(stereo.frames()), 3000, 40);
}

TEST_F(Decoding, SoundFilesOpenFromDiskAndFromMemoryAlike) {
    const auto t = tone(440, 44100, 0.5, 0.5, 2);
    struct File {
        const char* name;
        std::vector<uint8_t> bytes;
    } files[] = {{"t.wav", wav(t, 44100, 2)}, {"t.aif", aiff(t, 44100, 2)}, {"t.au", au(t, 44100, 2)}};
    for (const File& f : files) {
        SCOPED_TRACE(f.name);
        PcmBuffer fromDisk, fromMemory;
        ASSERT_EQ(DecodeSoundFile(writeTemp(f.name, f.bytes), out, &fromDisk), 0);
        ASSERT_EQ(DecodeSoundImage(f.bytes, out, &fromMemory), 0);
        EXPECT_EQ(fromDisk.samples, fromMemory.samples);
        EXPECT_NEAR(double(fromDisk.frames()), 24000, 100);
        EXPECT_NEAR(measureHz(fromDisk.samples, 2, 1, 48000, 500), 440, 1);
    }
    EXPECT_TRUE(ui.log().empty());
}

TEST_F(Decoding, DamagedFilesAreRefusedWithTheirAlert) {
    const auto t = tone(440, 22050, 0.1);
    struct Bad {
        const char* name;
        std::vector<uint8_t> bytes;
    } bad[] = {
        {"aiff-infinite.aif", aiff(t, 22050, 1, true)},
        {"fmt-lies.wav", wav(t, 22050, 1, -1, 0xFFFFFF00)},
        {"garbage.wav", std::vector<uint8_t>(300, 0x5A)},
        {"empty.wav", {}},
        {"zero-rate.wav", wav(t, 0, 1)},
    };
    for (const Bad& b : bad) {
        SCOPED_TRACE(b.name);
        PcmBuffer pcm;
        ui.clearLog();
        EXPECT_EQ(DecodeSoundFile(writeTemp(b.name, b.bytes), out, &pcm), kSoundFileUnreadable);
        EXPECT_TRUE(alerted(2286));
        EXPECT_TRUE(pcm.samples.empty());
        ui.clearLog();
        EXPECT_EQ(DecodeSoundImage(b.bytes, out, &pcm), kSoundBadFormat);
        EXPECT_TRUE(alerted(2390));
    }
    PcmBuffer pcm;
    EXPECT_EQ(DecodeSoundFile("/nonexistent/bell.wav", out, &pcm), kSoundFileUnreadable);
}

TEST_F(Decoding, AWaveWhoseDataRunsPastTheEndPlaysWhatIsThere) {
    const auto t = tone(440, 22050, 0.2);
    PcmBuffer pcm;
    ASSERT_EQ(DecodeSoundImage(wav(t, 22050, 1, 0x7FFFFFF0), out, &pcm), 0);
    EXPECT_NEAR(double(pcm.frames()), 9600, 100);
    EXPECT_TRUE(ui.log().empty());
}

} // namespace
} // namespace cv
