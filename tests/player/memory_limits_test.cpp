// A card whose objects hold many large, well-compressed pictures: the player keeps the
// pictures of one card within a fixed number of pixels, whatever the record asks for.
#include <QGuiApplication>
#include <gtest/gtest.h>

#include <filesystem>
#include <unistd.h>

#include "../stack/independent_writer.h"
#include "player/display_list.h"
#include "stack/stack_document.h"
#include "stack/stack_io.h"

namespace cv {
namespace {

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
