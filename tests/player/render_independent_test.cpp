// Card pictures written by a program of their own (the independent stack writer, with its own
// small LZRW1 encoder below) are shown pixel for pixel as they were written; a card whose
// objects hold many large, well-compressed pictures keeps within a fixed number of pixels.
#include <gtest/gtest.h>

#include <filesystem>
#include <unistd.h>

#include "../stack/independent_writer.h"
#include "player/display_list.h"
#include "player/headless_host.h"
#include "player/player.h"
#include "stack/stack_document.h"
#include "stack/stack_io.h"
#include "test_application.h"

namespace cv {
namespace {

using cvtest::Bytes;

// LZRW1 written from its framing alone: a group is a 16-bit control word (low byte first)
// and 16 items; a run of a repeated byte becomes copy items at offset 1, the rest literals.
Bytes lzrw1Block(const Bytes& in) {
    Bytes out = {0, 0, 0, 0};
    size_t i = 0;
    while (i < in.size()) {
        const size_t controlAt = out.size();
        out.push_back(0);
        out.push_back(0);
        uint16_t control = 0;
        for (int item = 0; item < 16 && i < in.size(); ++item) {
            size_t run = 0;
            while (i > 0 && i + run < in.size() && run < 18 && in[i + run] == in[i - 1]) ++run;
            if (run >= 3) {
                control |= uint16_t(1u << item);
                out.push_back(uint8_t(run - 3)); // offset 1: high nibble 0
                out.push_back(1);
                i += run;
            } else {
                out.push_back(in[i++]);
            }
        }
        out[controlAt] = uint8_t(control);
        out[controlAt + 1] = uint8_t(control >> 8);
    }
    return out;
}

QRgb tableColour(int i) { return qRgb(i, 255 - i, (i * 7) & 255); }

Bytes colourTable256() {
    Bytes t(8 + 256 * 8);
    cvtest::be16(t, 6, 255);
    for (int i = 0; i < 256; ++i) {
        const QRgb c = tableColour(i);
        cvtest::be16(t, 8 + 8 * i, uint16_t(i));
        cvtest::be16(t, 10 + 8 * i, uint16_t(qRed(c) << 8 | qRed(c)));
        cvtest::be16(t, 12 + 8 * i, uint16_t(qGreen(c) << 8 | qGreen(c)));
        cvtest::be16(t, 14 + 8 * i, uint16_t(qBlue(c) << 8 | qBlue(c)));
    }
    return t;
}

class RenderIndependentTest : public ::testing::Test {
protected:
    void SetUp() override { test::ensureTestApplication(); }
    void TearDown() override {
        player.reset();
        DisposeStack();
    }
    // Writes a one-card stack with this picture, opens it and shows the card.
    void show(const cvtest::PictureSpec& picture, uint16_t width, uint16_t height) {
        cvtest::CardSpec card;
        card.mode = 1;
        card.width = width;
        card.height = height;
        card.picture = picture;
        cvtest::StackSpec stack;
        stack.width = width;
        stack.height = height;
        stack.field50 = 1;
        stack.cards = {cvtest::cardRecord(card)};
        const std::string path = (std::filesystem::temp_directory_path() /
                                  ("cv-render-" + std::to_string(::getpid()) + ".stk")).string();
        ASSERT_TRUE(cvtest::writeFile(path, cvtest::stackFile(stack)));
        player = std::make_unique<Player>(host);
        ASSERT_TRUE(player->openStack(path));
        std::filesystem::remove(path);
    }
    HeadlessHost host;
    std::unique_ptr<Player> player;
};

TEST_F(RenderIndependentTest, CompressedPictureShowsEveryPixelInItsColour) {
    constexpr int W = 100, H = 48; // 100 is not a multiple of 16: stored rows are 112 bytes
    const size_t stored = (W + 15) / 16 * 2 * 8;
    Bytes pixels(stored * H, 0x55); // the padding of each row must never show
    for (int y = 0; y < H; ++y)
        for (int x = 0; x < W; ++x) pixels[size_t(y) * stored + size_t(x)] = uint8_t((x / 8 + 3 * y) & 255);
    cvtest::PictureSpec pic;
    pic.colourTable = colourTable256();
    pic.data = lzrw1Block(pixels);
    ASSERT_LT(pic.data.size(), pixels.size()) << "the test's encoder should compress";
    show(pic, W, H);
    const QImage& screen = player->screen();
    ASSERT_EQ(screen.size(), QSize(W, H));
    int wrong = 0;
    for (int y = 0; y < H; ++y)
        for (int x = 0; x < W; ++x)
            wrong += (screen.pixel(x, y) & 0xFFFFFF) != (tableColour((x / 8 + 3 * y) & 255) & 0xFFFFFF);
    EXPECT_EQ(wrong, 0);
}

TEST_F(RenderIndependentTest, FillBlocksPaintTheTopAndBottomRows) {
    constexpr int W = 64, H = 40; // stored and bitmap rows are both 64 bytes
    cvtest::PictureSpec pic;
    pic.format = 2;
    pic.colourTable = colourTable256();
    pic.topPattern = 0x01020304;
    pic.topCount = 2 * W;     // two rows
    pic.bottomPattern = 0x0A0B0C0D;
    pic.bottomCount = 3 * W;  // three rows
    Bytes middle(size_t(W) * (H - 5));
    for (size_t i = 0; i < middle.size(); ++i) middle[i] = uint8_t(100 + (i / W) % 50);
    Bytes block = {1, 0, 0, 0}; // stored uncompressed
    block.insert(block.end(), middle.begin(), middle.end());
    pic.data = block;
    show(pic, W, H);
    const QImage& screen = player->screen();
    auto at = [&](int x, int y) { return screen.pixel(x, y) & 0xFFFFFF; };
    for (int x = 0; x < W; ++x) {
        EXPECT_EQ(at(x, 0), tableColour(1 + x % 4) & 0xFFFFFF) << x;
        EXPECT_EQ(at(x, 1), tableColour(1 + x % 4) & 0xFFFFFF) << x;
        EXPECT_EQ(at(x, H - 1), tableColour(0x0A + x % 4) & 0xFFFFFF) << x;
        EXPECT_EQ(at(x, H - 3), tableColour(0x0A + x % 4) & 0xFFFFFF) << x;
    }
    EXPECT_EQ(at(5, 2), tableColour(100) & 0xFFFFFF);
    EXPECT_EQ(at(5, H - 4), tableColour(100 + (H - 6) % 50) & 0xFFFFFF);
}

TEST_F(RenderIndependentTest, DamagedPictureShowsWhite) {
    cvtest::PictureSpec pic;
    pic.colourTable = colourTable256();
    pic.data = {0, 0, 0, 0, 0xFF, 0xFF, 7}; // copy items with nothing before them
    show(pic, 64, 40);
    EXPECT_EQ(player->screen().pixel(10, 10) & 0xFFFFFF, 0xFFFFFFu);
}

TEST(MemoryLimits, TheObjectsOfACardHoldAtMostAFixedNumberOfPixels) {
    // Five 1-bit pictures of 4096 x 4096 (16M pixels each), 32 KB of PackBits apiece.
    cvtest::Bytes packed;
    for (int i = 0; i < 4096 * 512 / 128; ++i) packed.insert(packed.end(), {0x81, 0x00});
    cvtest::CardSpec card;
    for (uint16_t id = 1; id <= 5; ++id) {
        cvtest::GraphicSpec g;
        g.id = id;
        g.rect = {0, 0, 4096, 4096};
        g.pictureRect = {0, 0, 4096, 4096};
        g.pictureFlags = 0; // one PackBits stream
        g.depth = 1;
        g.data = packed;
        card.objects.push_back(cvtest::graphicRecord(g));
    }
    cvtest::StackSpec s;
    s.width = s.height = 640;
    s.cards = {cvtest::cardRecord(card)};
    const auto dir = std::filesystem::temp_directory_path() / ("cv-limits-" + std::to_string(getpid()));
    std::filesystem::create_directories(dir);
    const std::string path = (dir / "big.stk").string();
    ASSERT_TRUE(cvtest::writeFile(path, cvtest::stackFile(s)));
    ASSERT_EQ(OpenStack(path), 0);

    const DisplayList list = buildDisplayList(CardByNumber(1), {}, path);
    ASSERT_EQ(list.size(), 5u);
    int64_t pixels = 0;
    for (const DisplayRecord& r : list) pixels += int64_t(r.picture.width()) * r.picture.height();
    EXPECT_LE(pixels, kCardObjectPixels);
    for (int i = 0; i < 4; ++i) EXPECT_EQ(list[size_t(i)].picture.size(), QSize(4096, 4096)) << i;
    EXPECT_TRUE(list[4].picture.isNull()); // past the budget: shown without its picture
    DisposeStack();
    std::filesystem::remove_all(dir);
}

} // namespace
} // namespace cv
