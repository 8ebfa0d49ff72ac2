// The window's sound output: without an audio device the player says so once and its sounds
// still play, silently, in the player's time.
#include <gtest/gtest.h>

#include <QAudioDevice>
#include <QMediaDevices>

#include "media/sound_manager.h"
#include "player/headless_host.h"
#include "player/player.h"
#include "player/qt/audio_output.h"
#include "test_application.h"

namespace cv::test {
namespace {

TEST(AudioOutput, WithoutADeviceThePlayerSaysOnceThatItPlaysSilently) {
    ensureTestApplication();
    if (!QMediaDevices::defaultAudioOutput().isNull()) GTEST_SKIP() << "this machine has an audio device";
    HeadlessHost host;
    Player first(host), second(host);
    testing::internal::CaptureStderr();
    installAudioOutput(first);
    installAudioOutput(second);
    const std::string said = testing::internal::GetCapturedStderr();
    size_t times = 0;
    for (size_t at = 0; (at = said.find("sounds play silently", at)) != std::string::npos; ++at) ++times;
    EXPECT_EQ(times, 1u) << said;
    EXPECT_NE(dynamic_cast<NullSink*>(&first.sounds().sink()), nullptr);
}

} // namespace
} // namespace cv::test
