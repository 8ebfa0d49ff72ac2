// Saving a stack at another depth encodes its pictures again: what the cards show stays the
// same (exactly at 32 bits, within the five bits per colour of 16-bit pixels).
#include <gtest/gtest.h>

#include <filesystem>

#include "browse_fixture.h"
#include "stack/stack_document.h"
#include "stack/stack_io.h"

namespace cv::test {
namespace {

const char* kStack = R"({"depth": 8, "card_width": 160, "card_height": 100,
  "cards": [
    {"name": "A", "background": {"colour": "#336699"}, "objects": [
      {"kind": "graphic", "id": 1, "rect": [10, 10, 60, 50], "colour": "#ff6600", "frame_width": 2, "frame_colour": 5},
      {"kind": "graphic", "id": 2, "rect": [70, 10, 120, 60], "colour": "#00cc00", "method": "packbits"}]},
    {"name": "B", "background_card": "A", "objects": [
      {"kind": "graphic", "id": 3, "rect": [20, 20, 90, 80], "colour": "#ffff00"}]}]})";

class DepthChangeTest : public BrowseTest {
protected:
    QImage cardImage(int number) {
        player->showCardNumber(number, 3, 8, false);
        return player->screen().copy();
    }
};

TEST_F(DepthChangeTest, CardsLookTheSameAtTheirNewDepth) {
    open(kStack);
    const QImage a8 = cardImage(1), b8 = cardImage(2);
    const std::string dir = std::filesystem::path(theStack().path).parent_path().string();

    for (uint16_t depth : {uint16_t(32), uint16_t(16)}) {
        const std::string out = dir + "/depth" + std::to_string(depth) + ".stk";
        SaveOptions options;
        options.newDepth = depth;
        ASSERT_EQ(SaveStack(out, options), 0);
        EXPECT_EQ(theStack().depth(), depth);
        ASSERT_TRUE(player->openStack(out));
        EXPECT_EQ(theStack().depth(), depth) << "the file records the new depth";
        const int tolerance = depth == 32 ? 0 : 8;
        for (int n : {1, 2}) {
            const QImage before = n == 1 ? a8 : b8, after = cardImage(n);
            int worst = 0;
            for (int y = 0; y < before.height(); ++y)
                for (int x = 0; x < before.width(); ++x) {
                    const QRgb p = before.pixel(x, y), q = after.pixel(x, y);
                    worst = std::max({worst, std::abs(qRed(p) - qRed(q)), std::abs(qGreen(p) - qGreen(q)),
                                      std::abs(qBlue(p) - qBlue(q))});
                }
            EXPECT_LE(worst, tolerance) << "card " << n << " at " << depth << " bits";
        }
    }
}

TEST_F(DepthChangeTest, FewerThanEightBitsAreRefusedAndTheStackStaysAsItWas) {
    open(kStack);
    const QImage a8 = cardImage(1);
    const std::string dir = std::filesystem::path(theStack().path).parent_path().string();
    for (uint16_t depth : {uint16_t(1), uint16_t(2), uint16_t(4), uint16_t(24)}) {
        SaveOptions options;
        options.newDepth = depth;
        EXPECT_NE(SaveStack(dir + "/refused.stk", options), 0) << depth;
        EXPECT_EQ(theStack().depth(), 8);
    }
    EXPECT_EQ(cardImage(1), a8);
    // Its own depth is no change.
    SaveOptions same;
    same.newDepth = 8;
    ASSERT_EQ(SaveStack(dir + "/same.stk", same), 0);
    EXPECT_FALSE(theStack().changed);
}

} // namespace
} // namespace cv::test
