#include "browse_fixture.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <unistd.h>

#include "stack/stack_document.h"
#include "test_application.h"

namespace cv::test {

std::string buildStack(const std::string& manifestJson, const std::string& name) {
    static int counter = 0;
    const auto dir = std::filesystem::temp_directory_path() /
                     ("cv-browse-" + std::to_string(::getpid()) + "-" + std::to_string(counter++));
    std::filesystem::remove_all(dir);  // left by an earlier run whose process had the same number
    std::filesystem::create_directories(dir);
    const auto manifest = dir / "manifest.json";
    std::ofstream(manifest) << manifestJson;
    const auto out = dir / name;
    const std::string cmd = std::string(CV_BIN_DIR) + "/cvstack build '" + manifest.string() + "' -o '" +
                            out.string() + "' 2>&1";
    const int rc = std::system(cmd.c_str());
    EXPECT_EQ(rc, 0) << "cvstack build failed for " << manifest;
    return out.string();
}

void BrowseTest::SetUp() {
    ensureTestApplication();
    // Answers an earlier test queued but never used must not answer this one's questions.
    headlessUi().clearLog();
    headlessUi().clearAnswers();
    player = std::make_unique<Player>(host);
    MediaHooks& m = player->media;
    m.runScript = [this](const std::string& s) { log.push_back("script " + s); };
    m.playStackSound = [this](uint16_t id, uint16_t, uint16_t) {
        log.push_back("sound " + std::to_string(id));
        return true;
    };
    m.stopSound = [this] { log.push_back("stop sound"); };
}

void BrowseTest::TearDown() {
    player.reset();
    DisposeStack();
}

void BrowseTest::open(const std::string& manifestJson) {
    ASSERT_TRUE(player->openStack(buildStack(manifestJson)));
}

void BrowseTest::down(int x, int y) { player->dispatch({.type = MsgType::MouseDown, .x = x, .y = y}); }
void BrowseTest::move(int x, int y) { player->dispatch({.type = MsgType::MouseMove, .x = x, .y = y}); }
void BrowseTest::up(int x, int y) { player->dispatch({.type = MsgType::MouseUp, .x = x, .y = y}); }
void BrowseTest::click(int x, int y) {
    down(x, y);
    up(x, y);
}
void BrowseTest::command(int id) { player->dispatch({.type = MsgType::Command, .command = id}); }
void BrowseTest::post(const Message& m) {
    player->post(m);
    player->processQueue();
}

} // namespace cv::test
