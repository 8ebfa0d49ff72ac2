#include "media/sound_description.h"

#include <gtest/gtest.h>

#include <vector>

#include "core/ui.h"
#include "media_test_util.h"

namespace cv {
namespace {

using test::SndBuilder;

struct Described {
    int status;
    StoredSoundLayout layout;
    std::vector<std::string> alerts;
};

Described describe(const std::vector<uint8_t>& bytes) {
    HeadlessUi u;
    setUi(&u);
    Described d{};
    d.status = DescribeStoredSound(bytes, &d.layout);
    d.alerts = u.log();
    setUi(nullptr);
    return d;
}

struct Good {
    const char* name;
    std::vector<uint8_t> bytes;
    uint32_t format;
    uint16_t channels, sampleSize;
    uint32_t rate, dataOffset, samples, byteCount;
};

TEST(StoredSound, DescribesEveryHeaderAndPreamble) {
    const uint32_t r11k = 0x2B110000;
    const Good cases[] = {
        {"form 1, one format, two commands: header at 28", SndBuilder().form1(1, 2).standard(11025, r11k).bytes(),
         kSoundRaw, 1, 8, r11k, 28 + 22, 11025, 11025},
        {"form 1, one format, one command: header at 20", SndBuilder().form1(1, 1).standard(100, r11k).bytes(),
         kSoundRaw, 1, 8, r11k, 20 + 22, 100, 100},
        {"format word stored little-endian", SndBuilder().form1(1, 1, 0x0100).standard(10, r11k).bytes(),
         kSoundRaw, 1, 8, r11k, 42, 10, 10},
        {"form 2, three commands", SndBuilder().form2(3).standard(50, r11k).bytes(), kSoundRaw, 1, 8, r11k,
         6 + 24 + 22, 50, 50},
        {"MACE 3:1 stereo, 1000 packets", SndBuilder().form2(1).compressed(2, 1000, 3, 8, r11k).bytes(),
         kSoundMace3, 2, 8, r11k, 14 + 64, 6000, 4000},
        {"MACE 6:1 stereo, 1000 packets", SndBuilder().form2(1).compressed(2, 1000, 4, 8, r11k).bytes(),
         kSoundMace6, 2, 8, r11k, 14 + 64, 6000, 2000},
        {"compressed header, no compression", SndBuilder().form2(1).compressed(1, 300, 0, 16, r11k).bytes(),
         kSoundRaw, 1, 16, r11k, 78, 300, 600},
        {"extended header, 16-bit stereo, 500 frames", SndBuilder().form2(1).extended(2, 500, 16, 0xAC440000).bytes(),
         kSoundRaw, 2, 16, 0xAC440000, 78, 500, 2000},
    };
    for (const Good& c : cases) {
        SCOPED_TRACE(c.name);
        const Described d = describe(c.bytes);
        ASSERT_EQ(d.status, 0);
        EXPECT_TRUE(d.alerts.empty());
        const StoredSoundLayout& l = d.layout;
        EXPECT_EQ(l.desc.descSize, 36u);
        EXPECT_EQ(l.desc.dataRefIndex, 1u);
        EXPECT_EQ(l.desc.dataFormat, c.format);
        EXPECT_EQ(l.desc.numChannels, c.channels);
        EXPECT_EQ(l.desc.sampleSize, c.sampleSize);
        EXPECT_EQ(l.desc.sampleRate, c.rate);
        EXPECT_EQ(l.dataOffset, c.dataOffset);
        EXPECT_EQ(l.sampleCount, c.samples);
        EXPECT_EQ(l.byteCount, c.byteCount);
    }
}

TEST(StoredSound, RefusesDamageWithTheAlertAndReadsNothingOutside) {
    const uint32_t r = 0x2B110000;
    struct Bad {
        const char* name;
        std::vector<uint8_t> bytes;
        int status;
    };
    std::vector<uint8_t> truncated = SndBuilder().form1(1, 1).standard(100, r).bytes();
    truncated.resize(truncated.size() - 1);
    std::vector<uint8_t> headerCut = SndBuilder().form2(1).extended(1, 0, 8, r).bytes();
    headerCut.resize(14 + 40);
    const Bad cases[] = {
        {"empty", {}, kSoundBadFormat},
        {"one byte", {0}, kSoundBadFormat},
        {"format 3", SndBuilder().form2(0, 3).standard(1, r).bytes(), kSoundBadFormat},
        {"samples run past the end", truncated, kSoundBadFormat},
        {"long header cut short", headerCut, kSoundBadFormat},
        {"command count past the end", SndBuilder().form2(0x7FFF).bytes(), kSoundBadFormat},
        {"negative format count", SndBuilder().form1(-1, 0).standard(1, r).bytes(), kSoundBadFormat},
        {"frame count times channels past the end",
         SndBuilder().form2(1).extended(2, 0xFFFFFFFF, 16, r).bytes(), kSoundBadFormat},
        {"rate 0", SndBuilder().form2(1).standard(4, 0).bytes(), kSoundBadFormat},
        {"rate 0xFFFF0000", SndBuilder().form2(1).standard(4, 0xFFFF0000).bytes(), kSoundBadFormat},
        {"200 channels", SndBuilder().form2(1).extended(200, 1, 8, r).bytes(), kSoundBadFormat},
        {"no channels", SndBuilder().form2(1).extended(0, 1, 8, r).bytes(), kSoundBadFormat},
        {"12-bit samples", SndBuilder().form2(1).extended(1, 4, 12, r).bytes(), kSoundBadFormat},
        {"MACE with four channels", SndBuilder().form2(1).compressed(4, 10, 3, 8, r).bytes(), kSoundBadFormat},
        {"unknown compression id", SndBuilder().form2(1).compressed(1, 10, 7, 8, r).bytes(), kSoundBadCompression},
        {"encoding 1", SndBuilder().form2(1).standard(4, r, 1).bytes(), kSoundBadFormat},
        {"encoding 0xFD", SndBuilder().form2(1).standard(4, r, 0xFD).bytes(), kSoundBadFormat},
    };
    for (const Bad& c : cases) {
        SCOPED_TRACE(c.name);
        // An exact-size copy, so that AddressSanitizer catches any read past the resource.
        const std::vector<uint8_t> exact(c.bytes.begin(), c.bytes.end());
        const Described d = describe(exact);
        EXPECT_EQ(d.status, c.status);
        ASSERT_EQ(d.alerts.size(), 1u);
        EXPECT_NE(d.alerts[0].find("alert 2390"), std::string::npos) << d.alerts[0];
    }
}

TEST(SoundFileKinds, KnowsTheExtensionsInAnyCase) {
    const std::pair<const char*, int> kinds[] = {{"C:\\SOUNDS\\BELL.WAV", 10}, {"a.b.Aif", 18}, {"x.au", 19},
                                                 {"noextension", -1}, {"endsinadot.", -1}, {"x.mp3", -1}};
    for (const auto& [name, kind] : kinds) EXPECT_EQ(SoundFileKind(name), kind) << name;
    EXPECT_TRUE(IsSoundFileKind(SoundFileKind("x.AU")));
    EXPECT_FALSE(IsSoundFileKind(SoundFileKind("x.mov")));
}

} // namespace
} // namespace cv
