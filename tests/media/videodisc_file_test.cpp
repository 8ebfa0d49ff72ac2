// A disc played from a video file: frames, times and chapters as positions, playing at a
// speed on the clock, still frames, the door, the picture and its index display.
#include "media/videodisc_file.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "core/clock.h"
#include "media/mixer.h"
#include "media/videodisc.h"
#include "movie_maker.h"

namespace cv {
namespace {

namespace fs = std::filesystem;

class VideodiscFile : public ::testing::Test {
protected:
    void SetUp() override {
        setClock(&vc);
        dir = fs::temp_directory_path() / ("cv_videodisc_" + std::to_string(::getpid()));
        fs::remove_all(dir);
        fs::create_directories(dir);
        makeDisc("disc.mov");
        std::ofstream(dir / "disc.chapters") << "# where the chapters start\n40\n\n20\nnot a number\n20\n";
    }
    void TearDown() override {
        setClock(nullptr);
        fs::remove_all(dir);
    }
    // A silent disc of 64 frames at 30 a second, unless told otherwise.
    void makeDisc(const char* name, bool tone = false, std::vector<int64_t> chaptersMs = {}) {
        test::TestMovie disc;
        disc.frames = 64;
        disc.fps = 30;
        disc.tone = tone;
        disc.chaptersMs = std::move(chaptersMs);
        std::string error;
        ASSERT_TRUE(test::makeTestMovie((dir / name).string(), disc, &error)) << error;
    }
    void openDisc(bool linear = false) {
        device = OpenVideodiscDevice((dir / "disc.mov").string(), linear);
        screen = dynamic_cast<VideodiscScreen*>(device.get());
        ASSERT_NE(screen, nullptr);
        ASSERT_EQ(device->open(), 0);
    }
    // The frame number the picture shows, read from its pixels; -1 without a picture.
    int shown() {
        screen->advance(vc.nowMs());
        const VideodiscPicture* p = screen->picture();
        if (!p) return -1;
        EXPECT_EQ(p->frame, uint32_t(test::readFrameNumber(p->width, p->height, [&](int x, int y) {
                      return p->argb[size_t(y * p->width + x)] & 0xFFFFFF;
                  })));
        return int(p->frame);
    }
    uint16_t mode() {
        uint16_t m = 0;
        bool present = false;
        char type = 0;
        EXPECT_EQ(device->status(m, present, type), 0);
        return m;
    }

    VirtualClock vc{5000};
    fs::path dir;
    std::unique_ptr<VideodiscDevice> device;
    VideodiscScreen* screen = nullptr;
};

TEST_F(VideodiscFile, PlaysFramesAtItsSpeedAndHoldsTheLast) {
    openDisc();
    ASSERT_EQ(device->seek(10), 0);
    EXPECT_EQ(shown(), 10);
    EXPECT_EQ(mode(), vdstate::kPaused);
    ASSERT_EQ(device->play(50, false, 30), 0);
    vc.advance(500);
    EXPECT_EQ(shown(), 25);
    EXPECT_EQ(mode(), vdstate::kPlaying);
    EXPECT_GT(screen->nextDueMs(), vc.nowMs());
    vc.advance(2000);
    EXPECT_EQ(shown(), 50);
    EXPECT_EQ(mode(), vdstate::kPaused) << "a play that reached its end holds the frame";
    EXPECT_EQ(screen->nextDueMs(), 0u);
    // Backwards, and a step from where it stopped.
    ASSERT_EQ(device->play(40, true, 30), 0);
    vc.advance(100);
    EXPECT_EQ(shown(), 47);
    ASSERT_EQ(device->step(-5), 0);
    EXPECT_EQ(shown(), 42);
    EXPECT_EQ(device->seek(64), kVideodiscOutOfRange);
}

TEST_F(VideodiscFile, ChaptersComeFromTheSideFileAndTimesFromTheFile) {
    EXPECT_EQ(ParseChapterList("# c\n40\n\n20\nx\n20\n"), (std::vector<uint32_t>{20, 40}));
    openDisc();
    EXPECT_EQ(device->setFormat(VideodiscFormat::Hms), kVideodiscBadFormat) << "a CAV disc counts frames";
    ASSERT_EQ(device->setFormat(VideodiscFormat::Chapters), 0);
    ASSERT_EQ(device->seek(2), 0);
    EXPECT_EQ(shown(), 20);
    uint32_t v = 0;
    ASSERT_EQ(device->chapter(v), 0);
    EXPECT_EQ(v, 2u);
    ASSERT_EQ(device->position(v), 0);
    EXPECT_EQ(v, 2u);
    EXPECT_EQ(device->seek(4), kVideodiscOutOfRange) << "chapter 1 at 0, then 20 and 40";

    // Without a side file, the video's own chapter marks.
    makeDisc("marked.mov", false, {0, 1000, 1500});
    device = OpenVideodiscDevice((dir / "marked.mov").string());
    screen = dynamic_cast<VideodiscScreen*>(device.get());
    ASSERT_EQ(device->open(), 0);
    ASSERT_EQ(device->setFormat(VideodiscFormat::Chapters), 0);
    ASSERT_EQ(device->seek(3), 0);
    EXPECT_EQ(shown(), 45);

    openDisc(true);
    ASSERT_EQ(device->setFormat(VideodiscFormat::Hms), 0);
    ASSERT_EQ(device->seek(PackDiscTime(1)), 0);
    EXPECT_EQ(shown(), 30);
    ASSERT_EQ(device->position(v), 0);
    EXPECT_EQ(UnpackDiscTime(v), 1u);
}

TEST_F(VideodiscFile, ThePictureFollowsVideoIndexAndTheDoor) {
    openDisc();
    ASSERT_EQ(device->seek(3), 0);
    ASSERT_EQ(device->index(true), 0);
    EXPECT_EQ(shown(), 3);
    EXPECT_TRUE(screen->picture()->index);
    ASSERT_EQ(device->video(false), 0);
    EXPECT_TRUE(screen->advance(vc.nowMs())) << "turning the video off changes the picture";
    EXPECT_EQ(screen->picture(), nullptr);
    ASSERT_EQ(device->video(true), 0);
    ASSERT_EQ(device->eject(), 0);
    EXPECT_EQ(device->seek(5), kVideodiscNotReady);
    EXPECT_EQ(mode(), vdstate::kUnknown);
    ASSERT_EQ(device->spinUp(), 0);
    ASSERT_EQ(device->seek(5), 0);
    EXPECT_EQ(shown(), 5);

    // No file, or one that holds no pictures: no player is connected.
    EXPECT_EQ(OpenVideodiscDevice((dir / "none.mov").string())->open(), kVideodiscNoDevice);
    EXPECT_EQ(OpenVideodiscDevice((dir / "disc.chapters").string())->open(), kVideodiscNoDevice);
    EXPECT_EQ(OpenVideodiscDevice("")->open(), kVideodiscNoDevice);
}

TEST_F(VideodiscFile, TheSoundPlaysWithItsChannelsWhileTheDiscPlaysForwards) {
    makeDisc("sound.mov", true);
    Mixer mixer;
    device = OpenVideodiscDevice((dir / "sound.mov").string(), false, &mixer);
    ASSERT_EQ(device->open(), 0);
    ASSERT_EQ(device->setAudio(false, true), 0);
    ASSERT_EQ(device->seek(10), 0);
    ASSERT_EQ(device->play(50, false, 30), 0);
    ASSERT_EQ(mixer.voiceCount(), 1u);
    mixer.feed();
    std::vector<int16_t> out(size_t(mixer.format().rate / 10) * 2);
    mixer.render(out.data(), out.size() / 2);
    int64_t left = 0, right = 0;
    for (size_t i = 0; i < out.size(); i += 2) {
        left += std::abs(out[i]);
        right += std::abs(out[i + 1]);
    }
    EXPECT_EQ(left, 0) << "the audio setting '1' plays the right channel only";
    EXPECT_GT(right, int64_t(out.size()) * 100);
    ASSERT_EQ(device->pause(), 0);
    EXPECT_EQ(mixer.voiceCount(), 0u);
    // Faster, slower or backwards, the disc is silent.
    for (auto [reverse, fps] : {std::pair{false, 60u}, std::pair{false, 15u}, std::pair{true, 30u}}) {
        ASSERT_EQ(device->play(reverse ? 0 : 60, reverse, fps), 0);
        EXPECT_EQ(mixer.voiceCount(), 0u) << fps;
    }
}

} // namespace
} // namespace cv
