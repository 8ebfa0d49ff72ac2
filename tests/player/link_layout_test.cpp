// A text link as other programs write it, with data after its text and an action record:
// the stack opens without any question, the link is followed, and a save gives the file back.
#include <gtest/gtest.h>

#include <filesystem>
#include <unistd.h>

#include "../stack/independent_writer.h"
#include "browse_fixture.h"
#include "core/ui.h"
#include "player/headless_host.h"
#include "player/navigation.h"
#include "player/player.h"
#include "stack/stack_document.h"
#include "stack/stack_io.h"
#include "test_application.h"

namespace cv {
namespace {

using cvtest::Bytes;
using cvtest::be16;
using cvtest::be32;

// The link, byte by byte: number 40, text object 5, 3 bytes after the text, text "red", an
// action record. The text is at 23 and the byte after it is 0; the 3 bytes follow at
// 24 + 3 and the action record at 24 + 3 + 3.
Bytes linkBytes(const Bytes& actionRecord) {
    Bytes d(23, 0);
    for (size_t i = 10; i < 23; ++i) d[i] = uint8_t(0xC0 + i); // never converted
    be16(d, 0, 40);
    be16(d, 2, 5);
    be16(d, 4, 3);
    be16(d, 6, 3);
    be16(d, 8, 1);
    d.insert(d.end(), {'r', 'e', 'd', 0, 0xA1, 0xA2, 0xA3});
    d.insert(d.end(), actionRecord.begin(), actionRecord.end());
    return d;
}

TEST(LinkLayout, ALinkWrittenByAnotherProgramOpensFollowsAndSavesBack) {
    test::ensureTestApplication();
    headlessUi().clearLog();
    const auto dir = std::filesystem::temp_directory_path() / ("cv-link-" + std::to_string(getpid()));
    std::filesystem::create_directories(dir);

    cvtest::ButtonSpec goTwo; // an action list that goes to card 2
    goTwo.id = 40;
    goTwo.summary = 0x0020;
    Bytes list = cvtest::buttonRecord(goTwo);
    be16(list, 16, 2);  // destination: card id 2
    be16(list, 18, 3);  // transition 3
    be16(list, 76, 8);  // speed 8

    cvtest::TextSpec field;
    field.id = 5;
    field.objectFlags = 0;
    field.subs = {{0, 0, Bytes{'a', ' ', 'r', 'e', 'd', ' ', 'd', 'o', 'o', 'r'}, cvtest::styleRuns(1, 12)}};
    cvtest::CardSpec one, two;
    one.id = 1;
    one.objects = {cvtest::textRecord(field)};
    two.id = 2;
    cvtest::StackSpec s;
    s.cards = {cvtest::cardRecord(one), cvtest::cardRecord(two)};
    s.nextCardId = 3;
    s.flags = 0x01; // keeps every resource: the save changes nothing
    s.chunks = {{cvtest::fcc("Hlnk"), 40, 0, "", 0, linkBytes(list)},
                {cvtest::fcc("Actn"), 41, 0, "", 0, cvtest::buttonRecord(goTwo)}};
    const Bytes file = cvtest::stackFile(s);
    const std::string path = (dir / "link.stk").string();
    ASSERT_TRUE(cvtest::writeFile(path, file));

    {
        HeadlessHost host;
        Player player(host);
        ASSERT_TRUE(player.openStack(path));
        EXPECT_TRUE(headlessUi().log().empty()) << headlessUi().log().front(); // no repair question
        EXPECT_EQ(player.currentCardNumber(), 1);
        EXPECT_TRUE(player.navigation().followTextLink(5, "a red door", 3, true, 0, 0));
        EXPECT_EQ(player.currentCardNumber(), 2);

        const std::string out = (dir / "out.stk").string();
        ASSERT_EQ(SaveStack(out), 0);
        EXPECT_EQ(cvtest::readFile(out), file);
    }
    DisposeStack();
    std::filesystem::remove_all(dir);
}

TEST(LinkLayout, TheStackToolWritesLinksAsOtherProgramsReadThem) {
    const std::string path = test::buildStack(R"({"cards": [{"name": "A"}, {"name": "B"}],
      "resources": [{"type": "Hlnk", "id": 7, "text": "door", "text_object": 0, "go": "B"}]})");
    const Bytes file = cvtest::readFile(path);
    // The chunk area: 68-byte headers, each followed by its slot.
    size_t at = cvtest::rdBe32(file, cvtest::kHeaderChunkOffset);
    bool found = false;
    for (uint32_t n = cvtest::rdBe32(file, cvtest::kHeaderChunkCount); n > 0 && at + 68 <= file.size(); --n) {
        const uint32_t length = cvtest::rdBe32(file, at + 44), slot = cvtest::rdBe32(file, at + 48);
        if (cvtest::rdBe32(file, at) == cvtest::fcc("Hlnk")) {
            const Bytes d(file.begin() + long(at + 68), file.begin() + long(at + 68 + length));
            ASSERT_GE(d.size(), 24u + 4 + 136);
            EXPECT_EQ(cvtest::rdBe16(d, 6), 4);
            EXPECT_EQ(std::string(d.begin() + 23, d.begin() + 27), "door");
            EXPECT_EQ(d[27], 0);
            EXPECT_EQ(cvtest::rdBe16(d, 4), 0);
            EXPECT_EQ(cvtest::rdBe32(d, 28 + 12), d.size() - 28); // the action record's length
            EXPECT_EQ(cvtest::rdBe16(d, 28 + 2), 7);
            found = true;
        }
        at += 68 + slot;
    }
    EXPECT_TRUE(found);
    std::filesystem::remove_all(std::filesystem::path(path).parent_path());
}

} // namespace
} // namespace cv
