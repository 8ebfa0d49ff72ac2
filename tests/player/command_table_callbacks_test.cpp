// The plug-in callbacks of the command table beyond the script commands: card records and
// moves, memory blocks, objects, text, the card area, scripts, menu commands and settings.
#include <gtest/gtest.h>

#include <filesystem>
#include <unistd.h>

#include "browse_fixture.h"
#include "core/byte_order.h"
#include "core/clock.h"
#include "core/references.h"
#include "core/settings.h"
#include "player/command_table.h"
#include "player/navigation.h"
#include "player/text_fields.h"
#include "script/script_host.h"
#include "stack/record_layout.h"
#include "stack/stack_document.h"
#include "stack/text_engine/text_engine.h"
#include "stack/text_records.h"

using namespace cv;

namespace {

const char* kCards = R"({"card_width": 320, "card_height": 200, "cards": [
  {"id": 10, "name": "Start", "background": {"colour": "#FFFFFF"}, "objects": [
     {"kind": "button", "id": 1, "name": "Go", "rect": [10, 10, 90, 40]},
     {"kind": "button", "id": 2, "name": "Other", "rect": [100, 10, 180, 40]},
     {"kind": "text", "id": 3, "name": "Answer", "rect": [10, 60, 200, 100], "text": "Paris"},
     {"kind": "graphic", "id": 4, "name": "Box", "rect": [220, 60, 260, 100], "colour": "#FF0000"}]},
  {"id": 20, "name": "Second", "objects": [
     {"kind": "text", "id": 5, "name": "Note", "rect": [10, 10, 200, 50], "text": "old"},
     {"kind": "button", "id": 6, "name": "Far", "rect": [10, 60, 90, 90]}]},
  {"id": 30, "name": "Third", "objects": []}]})";

class CallbackTest : public cv::test::BrowseTest {
protected:
    // Pauses and flashes wait on a clock that jumps.
    void SetUp() override {
        setClock(&virtualClock);
        BrowseTest::SetUp();
        open(kCards);
        player->media.runScript = {};
    }
    void TearDown() override {
        for (Handle h : made) DisposeReference(h);
        BrowseTest::TearDown();
        setClock(nullptr);
    }
    // Sends the command with p1 to p5 (the rest 0).
    void call(int command, std::initializer_list<uint32_t> v = {}) {
        int i = 1;
        for (uint32_t x : v) block.setParam(i++, x);
        for (; i <= 5; ++i) block.setParam(i, 0);
        block.setCommand(uint16_t(command));
        player->commands().NBACallback(block);
    }
    // The object lookup's inputs (card selector, id, kind) with p5.
    void onObject(int command, uint16_t card, uint16_t id, uint32_t kind, uint32_t p5 = 0) {
        call(command, {uint32_t(card) << 16 | id, kind, 0, 0, p5});
    }
    uint32_t keep(Handle h) {
        made.push_back(h);
        return uint32_t(h);
    }
    uint32_t str(const std::string& s) { return keep(NewCountedStringReference(s)); }
    uint32_t bytes(const std::string& s) { return keep(NewReferenceFrom(s.data(), uint32_t(s.size()))); }
    uint32_t ints(std::initializer_list<int32_t> v) { return keep(NewReferenceFrom(std::data(v), uint32_t(v.size() * 4))); }
    std::array<int16_t, 4> rectOf(uint16_t id) {
        const Handle card = CardById(10);
        const uint8_t* o = memRefs().data(card) + FindObject(card, obj::kGraphic, id) + obj::kRect;
        return {int16_t(get16(o)), int16_t(get16(o + 2)), int16_t(get16(o + 4)), int16_t(get16(o + 6))};
    }
    int32_t p(int i) const { return int32_t(block.param(i)); }
    std::string text(int i) { return CountedStringAt(Handle(p(i))).value_or("<none>"); }
    // The bytes of the new block in p`i`, disposed of.
    std::string taken(int i) {
        const std::string out = ReferenceBytes(Handle(p(i))).value_or("<none>");
        DisposeReference(Handle(p(i)));
        return out;
    }

    VirtualClock virtualClock;
    script::NBAParamBlock block;
    std::vector<Handle> made;
};

} // namespace

TEST_F(CallbackTest, CardRecordsAreWalkedAndDescribed) {
    const Handle one = CardById(10), two = CardById(20), three = CardById(30);
    const struct {
        int command;
        uint32_t p1;
        Handle card;
        int number;
    } cases[] = {
        {20, 0, one, 1}, {21, uint32_t(one), two, 2}, {21, uint32_t(three), 0, 0}, {22, uint32_t(two), one, 1},
        {22, uint32_t(one), 0, 0}, {23, 3, three, 3}, {23, 4, 0, 0},
        // A Handle that is no card of the stack (a block of the interface, a stray number) is refused.
        {21, str("x"), 0, 0}, {22, 77777, 0, 0},
    };
    for (const auto& c : cases) {
        call(c.command, {c.p1, 99});
        EXPECT_EQ(p(1), c.card) << c.command << " " << c.p1;
        EXPECT_EQ(p(2), c.number) << c.command << " " << c.p1;
    }
    call(19);
    EXPECT_EQ(p(1), one);
    call(12);
    EXPECT_EQ(p(1), 5);
    call(14);
    EXPECT_EQ(p(1), 3);
    call(25, {uint32_t(two)});
    EXPECT_EQ(p(1), 20);
    EXPECT_EQ(p(2), 2);
    EXPECT_EQ(text(3), "Second");
    call(25, {str("y")});
    EXPECT_EQ(p(1), 0);
    call(48, {0, 0, str("third")});
    EXPECT_EQ(p(1), 30);
    EXPECT_EQ(p(2), 3);
}

TEST_F(CallbackTest, MovesByNumberAndBack) {
    call(13, {3, 40});  // transition 40 is put right, as for command 5
    EXPECT_EQ(player->currentCardId(), 30);
    call(13, {9});
    EXPECT_EQ(player->currentCardId(), 30);
    EXPECT_FALSE(headlessUi().log().empty());  // the card-not-found alert
    call(7);
    EXPECT_EQ(player->currentCardId(), 10);
}

TEST_F(CallbackTest, BlocksAreMadeLockedAndDisposedThroughReferencesOnly) {
    call(15, {16});
    const Handle h = Handle(p(1));
    ASSERT_TRUE(IsReference(h));
    EXPECT_EQ(ReferenceSize(h), 16u);
    call(16, {uint32_t(h)});
    EXPECT_EQ(p(1), h);
    EXPECT_EQ(memRefs().lockCount(h), 1);
    call(17, {uint32_t(h)});
    EXPECT_EQ(memRefs().lockCount(h), 0);
    call(18, {uint32_t(h)});
    EXPECT_FALSE(IsReference(h));
    // A stack record is no block of the interface: not locked, not disposed.
    const Handle card = CardById(10);
    call(16, {uint32_t(card)});
    EXPECT_EQ(p(1), 0);
    call(18, {uint32_t(card)});
    EXPECT_TRUE(IsHandleValid(card));
    // Too big a block is refused; the player's own answer blocks are not disposed.
    call(15, {0xFFFFFFF0u});
    EXPECT_EQ(p(1), 0);
    call(174);
    const Handle title = Handle(p(1));
    call(18, {uint32_t(title)});
    EXPECT_TRUE(IsReference(title));
}

TEST_F(CallbackTest, ObjectsAreNamedCountedNumberedMovedAndFound) {
    onObject(28, 0, 2, 0);
    EXPECT_EQ(p(1), 2);
    EXPECT_EQ(p(2), 2);
    EXPECT_EQ(text(3), "Other");
    onObject(29, 0, 2, 0, str("Renamed"));
    EXPECT_EQ(p(1), 2);  // the parameters are put back
    call(24, {0, 0, str("renamed")});
    EXPECT_NE(p(2), 0);
    // Counting and numbering, on one card and over all of them.
    const struct {
        uint16_t card;
        uint32_t kind;
        int count;
    } counts[] = {{0, 0, 2}, {0, 1, 1}, {0xFFFF, 0, 3}, {20, 1, 1}, {30, 2, 0}, {0, 7, 0}};
    for (const auto& c : counts) {
        onObject(30, c.card, 0, c.kind);
        EXPECT_EQ(p(1), c.count) << c.card << " " << c.kind;
    }
    onObject(34, 0xFFFF, 3, 0);
    EXPECT_EQ(p(1), 6);
    EXPECT_EQ(p(2), CardById(20));
    onObject(34, 0, 3, 0);
    EXPECT_EQ(p(1), 0);
    // Moving: the centre to a point, then by an offset; the size stays, within 16 bits.
    onObject(33, 0, 4, 2, ints({100, 150}));
    EXPECT_EQ(rectOf(4), (std::array<int16_t, 4>{80, 130, 120, 170}));
    onObject(39, 0, 4, 2, ints({-5, 10}));
    EXPECT_EQ(rectOf(4), (std::array<int16_t, 4>{75, 140, 115, 180}));
    onObject(39, 0, 4, 2, ints({40000, 0}));
    EXPECT_EQ(rectOf(4)[2] - rectOf(4)[0], 40);
    // What lies under a point of the shown card.
    call(36, {0, 0, 0, 0, ints({20, 20})});
    EXPECT_EQ(p(1), 1);
    EXPECT_EQ(p(2), 0);
    call(36, {0, 0, 0, 0, ints({310, 190})});
    EXPECT_EQ(p(1), 0);
    EXPECT_EQ(p(2), -1);
}

TEST_F(CallbackTest, TextIsActivatedSelectedTypedAppendedAndLocked) {
    onObject(61, 0, 3, 1);
    EXPECT_EQ(p(1), 1);
    call(72, {3, 1});
    call(64);
    EXPECT_EQ(p(1), 3);
    EXPECT_EQ(p(2), 1);
    EXPECT_EQ(p(3), 3);
    EXPECT_EQ(taken(4), "ar");
    call(73, {bytes("ol")});
    EXPECT_EQ(player->textFields().document(3)->text(), "Polis");
    // Appending: to the shown text object, and to one of another card.
    call(62, {3, bytes("!"), 0, 0, 0});
    EXPECT_EQ(player->textFields().document(3)->text(), "Polis!");
    EXPECT_EQ(TextForCard(TextObjectIn(CardById(10), 3), 10, false), "Polis!");
    call(62, {20u << 16 | 5, bytes(" news")});
    EXPECT_EQ(TextForCard(TextObjectIn(CardById(20), 5), 20, false), "old news");
    // Locking against typing, and unlocking.
    onObject(125, 0, 3, 1, 1);
    EXPECT_TRUE(player->textFields().locked(3));
    onObject(61, 0, 3, 1);
    EXPECT_EQ(p(1), 0);  // a locked field takes no caret
    onObject(125, 0, 3, 1, 0);
    EXPECT_FALSE(player->textFields().locked(3));
}

TEST_F(CallbackTest, TheCardAreaIsDescribedPaintedAndDrawnOn) {
    call(82);
    EXPECT_EQ(p(1), 320);
    EXPECT_EQ(p(2), 200);
    EXPECT_EQ(p(3), kBrowseTool);
    call(146, {0xFF00FF, 1, 0, 0, ints({280, 150, 300, 170})});
    // Drawn on the card's picture: a repaint keeps it.
    call(81, {0, 0, 0, 0, ints({0, 0, 320, 200})});
    const struct {
        int32_t x, y, colour;
    } pixels[] = {{290, 160, 0xFF00FF}, {279, 160, 0xFFFFFF}, {400, 10, -1}};
    for (const auto& c : pixels) {
        call(131, {0, 0, 0, 0, ints({c.x, c.y})});
        EXPECT_EQ(p(1), c.colour) << c.x;
    }
    call(170);
    call(173);
    EXPECT_EQ(p(1), 1);
    call(171);
    call(173);
    EXPECT_EQ(p(1), 0);
    call(91, {1});
    EXPECT_TRUE(player->buttonsRevealed());
    call(175, {0, 1});
    EXPECT_EQ(p(1), 1);
    EXPECT_TRUE(theStack().changed);
}

TEST_F(CallbackTest, ScriptsRunFromBlocksAndAnswerWhatTheyPrinted) {
    call(152, {bytes("PRINT 6 * 7")});
    EXPECT_EQ(taken(1), "42\n");
    call(117, {bytes("PRINT \"again")});
    call(149);
    EXPECT_EQ(taken(1), "42\nagain\n");
    call(150);
    EXPECT_EQ(p(1), 0);
    // A script that asks for the current card's number through the interface.
    call(152, {bytes("CBSETCMD 20 CALLBACK PRINT CBGETPARAMINT 2")});
    EXPECT_EQ(taken(1), "1\n");
}

TEST_F(CallbackTest, MenuCommandsRunByIdWhenEnabled) {
    call(163, {kCmdNext});
    EXPECT_EQ(p(1), 1);
    call(162, {kCmdNext});
    EXPECT_EQ(p(1), 1);
    EXPECT_EQ(player->currentCardId(), 20);
    call(162, {kCmdNewStack});
    EXPECT_EQ(p(1), 0);
    EXPECT_EQ(player->currentCardId(), 20);
}

TEST_F(CallbackTest, PluginSettingsStayInTheirOwnSection) {
    const std::string previous = settings().path();
    const auto ini = std::filesystem::temp_directory_path() / ("cv-callbacks-" + std::to_string(::getpid()) + ".ini");
    setSettingsFile(ini.string());
    call(160, {str("Colour"), str("blue")});
    EXPECT_EQ(p(1), 1);
    call(159, {str("colour")});
    EXPECT_EQ(text(1), "blue");
    for (const char* key : {"", "a=b", "[NBAIDs]"}) {
        call(160, {str(key), str("x")});
        EXPECT_EQ(p(1), 0) << key;
    }
    EXPECT_EQ(settings().get("PluginData", "Colour"), "blue");
    setSettingsFile(previous);
    std::filesystem::remove(ini);
}

TEST_F(CallbackTest, EveryCodeSurvivesParametersThatNameNothing) {
    for (uint32_t junk : {0u, 0x7FFF1234u, 0xFFFFFFFFu}) {
        for (int command = 0; command <= 178; ++command)
            if (command != 57) call(command, {junk, junk, junk, junk, junk});  // 57 closes the window
    }
    EXPECT_EQ(theStack().cardCount(), 3);
    EXPECT_NE(player->currentCard(), 0);
    // And without a stack.
    player->navigation().closeStack();
    for (int command = 0; command <= 178; ++command)
        if (command != 57) call(command, {1, 1, 1, 1, 1});
}
