// The sound list: starting stored sounds and files, the keep bit, the stop-all sounds,
// reaping ended sounds and volume.
#include "media/sound_manager.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>

#include "core/byte_order.h"
#include "core/clock.h"
#include "media_test_util.h"
#include "sound_files.h"
#include "stack/stack_io.h"
#include "stack_test_support.h"

namespace cv {
namespace {

using namespace cvtest;
const uint32_t kSndType = 0x536E6420;

std::vector<uint8_t> storedTone(double seconds) {
    std::vector<uint8_t> s;
    for (int16_t v : test::tone(440, 11025, seconds, 0.5)) s.push_back(uint8_t(128 + v / 256));
    return test::SndBuilder().form1(1, 1).standard(uint32_t(s.size()), 0x2B110000).samples(s).bytes();
}

class Sounds : public StackTest {
protected:
    void SetUp() override {
        StackTest::SetUp();
        setClock(&vc);
        StackSpec s;
        s.cards = {cardRecord(CardSpec{})};
        s.chunks = {{kSndType, 1, 0, "Beep", 0, storedTone(0.5)},
                    {kSndType, 2, 0, "stop all sounds", 0, storedTone(0.5)},
                    {kSndType, 3, 0, "Broken", 0, {0, 9, 0, 0}},
                    {kSndType, 4, 0, "Image", 0, test::wav(test::tone(440, 22050, 0.25), 22050, 1)},
                    {kSndType, 5, 0, "Long", 0, storedTone(2.0)},
                    {kSndType, 6, 0, "Stop", 0, storedTone(0.1)}};
        s.lastChunkId = 6;
        ASSERT_EQ(OpenStack(write("s.stk", stackFile(s))), 0);
    }
    void TearDown() override {
        setClock(nullptr);
        StackTest::TearDown();
    }
    VirtualClock vc{0};
};

TEST_F(Sounds, ANewSoundStopsThoseNotMarkedToKeepPlaying) {
    SoundManager m;
    m.PlayStoredSound(5, kSoundKeepPlaying, 256);
    m.PlayStoredSound(1, 0, 256);
    ASSERT_EQ(m.sounds().size(), 2u);
    EXPECT_TRUE(m.sounds().front().keep);
    m.PlayStoredSound(1, 0, 256);
    EXPECT_EQ(m.sounds().size(), 2u); // the first "Beep" was cut off, the kept one plays on
    m.StopSounds(false);
    ASSERT_EQ(m.sounds().size(), 1u);
    EXPECT_EQ(m.mixer().voiceCount(), 1u);
    m.StopSounds(true);
    EXPECT_TRUE(m.sounds().empty());
    EXPECT_EQ(m.mixer().voiceCount(), 0u);
}

TEST_F(Sounds, StopAllSoundsStopsTheMarkedOnesTooAndPlaysNothing) {
    SoundManager m;
    m.PlayStoredSound(5, kSoundKeepPlaying, 256);
    m.PlayStoredSound(2, kSoundKeepPlaying, 256);
    EXPECT_TRUE(m.sounds().empty());
    EXPECT_EQ(m.mixer().voiceCount(), 0u);
    // A file of that name does the same.
    m.PlayStoredSound(5, kSoundKeepPlaying, 256);
    m.PlaySoundFile(path("STOPSNDS.WAV"), 0, 256);
    EXPECT_TRUE(m.sounds().empty());
    // Only the whole name counts: "Stop" plays.
    m.PlayStoredSound(6, 0, 256);
    EXPECT_EQ(m.sounds().size(), 1u);
}

TEST_F(Sounds, NegativeOptionsOnlyStopAndMissingOrBrokenSoundsPlayNothing) {
    SoundManager m;
    m.PlayStoredSound(1, 0, 256);
    m.PlayStoredSound(1, int16_t(0x8000), 256);
    EXPECT_TRUE(m.sounds().empty());
    m.PlayStoredSound(77, 0, 256);
    EXPECT_TRUE(m.sounds().empty());
    EXPECT_FALSE(alerted(2390));
    m.PlayStoredSound(3, 0, 256);
    EXPECT_TRUE(m.sounds().empty());
    EXPECT_TRUE(alerted(2390));
    m.PlaySoundFile(path("missing.wav"), 0, 256);
    EXPECT_TRUE(m.sounds().empty());
    EXPECT_TRUE(alerted(2286));
}

TEST_F(Sounds, FileImagesAndFilesPlayAndEndedSoundsAreReapedOneAtATime) {
    SoundManager m;
    const std::string file = write("ding.wav", test::wav(test::tone(880, 22050, 0.25), 22050, 1));
    m.PlaySoundFile(file, kSoundKeepPlaying, 256);
    ASSERT_EQ(m.sounds().size(), 1u);
    EXPECT_EQ(m.sounds().back().path, file);
    EXPECT_EQ(m.sounds().back().kind, 2);
    m.StopSounds(true);
    m.PlayStoredSound(1, kSoundKeepPlaying, 256);
    m.PlayStoredSound(4, kSoundFileImage | kSoundKeepPlaying, 256);
    ASSERT_EQ(m.sounds().size(), 2u);
    EXPECT_EQ(m.sounds().back().kind, 6);
    EXPECT_TRUE(m.IsSoundPlaying());
    vc.advance(300); // the quarter-second image has ended, the half-second tone has not
    EXPECT_TRUE(m.IsSoundPlaying());
    EXPECT_EQ(m.sounds().size(), 1u);
    vc.advance(300);
    m.MediaIdle();
    EXPECT_EQ(m.sounds().front().status & kSoundAtEnd, kSoundAtEnd);
    EXPECT_FALSE(m.IsSoundPlaying());
    EXPECT_TRUE(m.sounds().empty());
}

TEST_F(Sounds, AFiveMinuteFileStartsAtOnceAndIsHeardSampleForSample) {
    // Noise, so that every sample counts, at the output's own rate and channel count.
    const int rate = 8000;
    std::vector<int16_t> noise(size_t(rate) * 300);
    uint32_t x = 1;
    for (int16_t& v : noise) v = int16_t((x = x * 1664525u + 1013904223u) >> 16);
    const std::string file = write("long.wav", test::wav(noise, rate, 1));
    const std::string heard = path("heard.wav");
    SoundManager m(std::make_unique<CaptureSink>(heard, OutputFormat{rate, 1}));
    m.PlaySoundFile(file, 0, 256);
    ASSERT_EQ(m.sounds().size(), 1u);
    const auto voice = m.sounds().front().voice;
    EXPECT_LE(m.mixer().buffered(voice), size_t(rate / 10)); // only its first moments are decoded
    // The clock moves in uneven steps, some longer than what is decoded ahead; the idle calls
    // come only now and then.
    for (int i = 0; i < 400 && m.IsSoundPlaying(); ++i) {
        vc.advance(uint64_t(37 + (i % 7) * 431));
        if (i % 3) m.sink().catchUp();
        else m.MediaIdle();
    }
    EXPECT_TRUE(m.sounds().empty());
    m.setSink(std::make_unique<NullSink>(OutputFormat{rate, 1})); // the capture is complete
    std::ifstream in(heard, std::ios::binary);
    const std::vector<uint8_t> bytes{std::istreambuf_iterator<char>(in), {}};
    ASSERT_GE(bytes.size(), 44 + noise.size() * 2);
    size_t wrong = 0;
    for (size_t i = 0; i < noise.size(); ++i) wrong += int16_t(loadLE16(&bytes[44 + 2 * i])) != noise[i];
    EXPECT_EQ(wrong, 0u);
    for (size_t at = 44 + noise.size() * 2; at + 1 < bytes.size(); at += 2) ASSERT_EQ(loadLE16(&bytes[at]), 0);
}

TEST_F(Sounds, TheLevelIsScaledAgainstTheSystemVolume) {
    EXPECT_EQ(SoundManager::scaledVolume(256, std::nullopt), 256u);
    EXPECT_EQ(SoundManager::scaledVolume(256, 0), 256u);
    EXPECT_EQ(SoundManager::scaledVolume(100, 65535), 100u);
    EXPECT_EQ(SoundManager::scaledVolume(100, 40000), 100u);
    EXPECT_EQ(SoundManager::scaledVolume(100, 20000), 300u);
    EXPECT_EQ(SoundManager::scaledVolume(0xFFFF, 1), 65535u * 65535u); // no wrap in the sum

    // Half volume plays at half the amplitude; SetSoundVolume changes sounds already playing.
    // The test pulls as a device would, the idle calls decoding ahead.
    SoundManager m;
    m.PlayStoredSound(5, 0, 128);
    std::vector<float> out(2 * 4800);
    m.MediaIdle();
    m.mixer().render(out.data(), 4800);
    float top = 0;
    for (float v : out) top = std::max(top, std::fabs(v));
    EXPECT_NEAR(top, 0.25f, 0.02f);
    m.SetSoundVolume(0);
    m.MediaIdle();
    m.mixer().render(out.data(), 4800);
    for (float v : out) EXPECT_EQ(v, 0.0f);
    m.systemVolume = [] { return std::optional<uint16_t>(20000); };
    m.SetSoundVolume(64); // tripled: 192
    m.MediaIdle();
    m.mixer().render(out.data(), 4800);
    top = 0;
    for (float v : out) top = std::max(top, std::fabs(v));
    EXPECT_NEAR(top, 0.375f, 0.03f);
}

} // namespace
} // namespace cv
