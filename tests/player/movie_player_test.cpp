// Movies in the player on the real clock: the decode thread and the player's own pacing show
// the frames while the player is idle, and the movie ends on its own.
#include <QCoreApplication>
#include <chrono>
#include <filesystem>
#include <thread>

#include "browse_fixture.h"
#include "core/clock.h"
#include "media/movie_writer.h"

namespace cv {
namespace {

using namespace test;

TEST_F(BrowseTest, OnTheRealClockAMoviePlaysThroughItsThreadAndEnds) {
    const std::string stack = buildStack(R"({"version": 5, "depth": 8, "cards": [{"name": "One", "objects": [
        {"kind": "button", "id": 1, "name": "Play", "rect": [0, 200, 60, 230],
         "actions": [{"type": "movie", "path": "clip.mov", "rect": [10, 10, 90, 70]}]}]}]})");
    // Ten frames at 10 fps, each a grey one step lighter, with a tone.
    MovieToWrite movie;
    movie.draw = [&movie](int n, uint8_t* rgb) {
        std::fill(rgb, rgb + size_t(movie.width) * size_t(movie.height) * 3, uint8_t(n * 25));
    };
    std::string error;
    ASSERT_TRUE(WriteMovie((std::filesystem::path(stack).parent_path() / "clip.mov").string(), movie, &error)) << error;
    ASSERT_TRUE(player->openStack(stack));

    click(30, 215);
    ASSERT_TRUE(player->media.anyMoviePlaying());
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    int greys = 0, lastGrey = -1;
    while (player->media.anyMoviePlaying() && std::chrono::steady_clock::now() < deadline) {
        QCoreApplication::processEvents();
        const int grey = int(player->screen().pixel(50, 40) & 0xFF);
        if (grey != lastGrey && !(lastGrey < 0 && grey == 255)) { // the white card until the first frame
            EXPECT_GT(grey, lastGrey); // frames only go forward
            lastGrey = grey;
            ++greys;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    EXPECT_FALSE(player->media.anyMoviePlaying());
    EXPECT_EQ(lastGrey, 225); // the last frame stays
    EXPECT_GE(greys, 5);      // shown as it played, not only at the end
}

// The right button on a movie pauses it (the controller's menu did); the play bar's button
// plays it on from there, and a click on the picture itself goes to the card.
TEST_F(BrowseTest, TheRightButtonPausesAMovieAndThePlayBarPlaysItOn) {
    VirtualClock vc{1000};
    setClock(&vc);
    struct RealClockAfter {
        ~RealClockAfter() { setClock(nullptr); }
    } restore;
    const std::string stack = buildStack(R"({"version": 5, "depth": 8, "cards": [{"name": "One", "objects": [
        {"kind": "button", "id": 1, "name": "Play", "rect": [0, 200, 60, 230],
         "actions": [{"type": "movie", "path": "clip.mov", "rect": [10, 10, 170, 130], "value2": 1}]}]}]})");
    MovieToWrite movie;
    std::string error;
    ASSERT_TRUE(WriteMovie((std::filesystem::path(stack).parent_path() / "clip.mov").string(), movie, &error)) << error;
    ASSERT_TRUE(player->openStack(stack));
    click(30, 215);
    vc.advance(300);
    player->dispatch({.type = MsgType::RightDown, .x = 50, .y = 50});
    EXPECT_FALSE(player->media.anyMoviePlaying());
    click(50, 50); // the picture: nothing of the movie's
    EXPECT_FALSE(player->media.anyMoviePlaying());
    click(18, 138); // the bar's play button, under the movie
    EXPECT_TRUE(player->media.anyMoviePlaying());
    vc.advance(800);
    EXPECT_FALSE(player->media.anyMoviePlaying()); // 300 ms played, 700 left
}

} // namespace
} // namespace cv
