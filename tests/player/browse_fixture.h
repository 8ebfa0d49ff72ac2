#pragma once
// A stack built from a manifest with cvstack build, opened in a headless player whose media
// and script hooks record what they were asked to do.
#include <QGuiApplication>
#include <gtest/gtest.h>
#include <string>
#include <vector>

#include "core/ui.h"
#include "player/headless_host.h"
#include "player/player.h"

namespace cv::test {

// Builds `manifestJson` into a stack file in a fresh temporary folder; returns its path.
std::string buildStack(const std::string& manifestJson, const std::string& name = "fixture.stk");

class BrowseTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;
    // Opens the stack of the manifest and shows its first card.
    void open(const std::string& manifestJson);
    void click(int x, int y);
    void down(int x, int y);
    void move(int x, int y);
    void up(int x, int y);
    void command(int id);
    // Posts the message and lets the player handle its queue.
    void post(const Message& m);

    HeadlessHost host;
    std::unique_ptr<Player> player;
    std::vector<std::string> log; // "script TEXT", "sound N", ...
};

} // namespace cv::test
