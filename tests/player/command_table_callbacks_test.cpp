// The plug-in callbacks of the command table beyond the script commands: card records and
// moves, memory blocks, objects, text, the card area, sounds, scripts and settings.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <unistd.h>

#include "browse_fixture.h"
#include "core/byte_order.h"
#include "core/clock.h"
#include "core/settings.h"
#include "core/references.h"
#include "media/sound_manager.h"
#include "player/command_table.h"
#include "player/navigation.h"
#include "player/script_bridge.h"
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
    }
    void TearDown() override {
        for (Handle h : made) DisposeReference(h);
        BrowseTest::TearDown();
        setClock(nullptr);
    }
    void send(int command) {
        block.setCommand(uint16_t(command));
        player->commands().NBACallback(block);
    }
    void params(std::initializer_list<uint32_t> v) {
        int i = 1;
        for (uint32_t x : v) block.setParam(i++, x);
        for (; i <= 5; ++i) block.setParam(i, 0);
    }
    uint32_t keep(Handle h) {
        made.push_back(h);
        return uint32_t(h);
    }
    uint32_t str(const std::string& s) { return keep(NewCountedStringReference(s)); }
    uint32_t bytes(const std::string& s) { return keep(NewReferenceFrom(s.data(), uint32_t(s.size()))); }
    uint32_t ints(std::initializer_list<int32_t> v) {
        return keep(NewReferenceFrom(std::data(v), uint32_t(v.size() * 4)));  // little-endian host
    }
    // The lookup's inputs: p1 card selector and object id, p2 kind, p3 name.
    void object(uint16_t card, uint16_t id, uint32_t kind, const std::string& name = "") {
        params({uint32_t(card) << 16 | id, kind, name.empty() ? 0 : str(name), 0, 0});
    }
    std::array<int16_t, 4> rectOf(uint16_t cardId, uint16_t kind, uint16_t id) {
        const Handle card = CardById(cardId);
        const uint8_t* o = memRefs().data(card) + FindObject(card, kind, id) + obj::kRect;
        return {int16_t(get16(o)), int16_t(get16(o + 2)), int16_t(get16(o + 4)), int16_t(get16(o + 6))};
    }
    int32_t p(int i) const { return int32_t(block.param(i)); }
    std::string text(int i) { return CountedStringAt(Handle(p(i))).value_or("<none>"); }

    VirtualClock virtualClock;
    script::NBAParamBlock block;
    std::vector<Handle> made;
};

} // namespace

TEST_F(CallbackTest, CardRecordsAreWalkedAndDescribed) {
    open(kCards);
    const Handle one = CardById(10), two = CardById(20), three = CardById(30);
    struct Case {
        int command;
        uint32_t p1;
        Handle card;
        int number;
    } cases[] = {
        {19, 0, one, 0},      {20, 0, one, 1},     {21, uint32_t(one), two, 2}, {21, uint32_t(three), 0, 0},
        {22, uint32_t(two), one, 1}, {22, uint32_t(one), 0, 0}, {23, 3, three, 3}, {23, 4, 0, 0},
        // A Handle that is no card of the stack (here a block of the interface) is refused.
        {21, str("x"), 0, 0}, {22, 77777, 0, 0},
    };
    for (const Case& c : cases) {
        params({c.p1, 99});
        send(c.command);
        EXPECT_EQ(p(1), c.card) << c.command << " " << c.p1;
        if (c.command != 19) {
            EXPECT_EQ(p(2), c.number) << c.command << " " << c.p1;
        }
    }
    params({});
    send(12);
    EXPECT_EQ(p(1), 5);
    send(14);
    EXPECT_EQ(p(1), 3);
    params({uint32_t(two)});
    send(25);
    EXPECT_EQ(p(1), 20);
    EXPECT_EQ(p(2), 2);
    EXPECT_EQ(text(3), "Second");
    params({0, 0, str("third")});
    send(48);
    EXPECT_EQ(p(1), 30);
    EXPECT_EQ(p(2), 3);
    params({uint32_t(str("y"))});
    send(25);
    EXPECT_EQ(p(1), 0);
}

TEST_F(CallbackTest, MovesByNumberBackAndToTheLastMarkedCard) {
    open(kCards);
    params({3, 40});  // transition 40 is put right, as for command 5
    send(13);
    EXPECT_EQ(player->currentCardId(), 30);
    params({9});
    send(13);
    EXPECT_EQ(player->currentCardId(), 30);
    EXPECT_FALSE(headlessUi().log().empty());  // the card-not-found alert
    params({});
    send(7);
    EXPECT_EQ(player->currentCardId(), 10);
}

TEST_F(CallbackTest, BlocksAreMadeLockedAndDisposedThroughReferencesOnly) {
    open(kCards);
    params({16});
    send(15);
    const Handle h = Handle(p(1));
    ASSERT_TRUE(IsReference(h));
    EXPECT_EQ(ReferenceSize(h), 16u);
    send(16);
    EXPECT_EQ(p(1), h);
    EXPECT_EQ(memRefs().lockCount(h), 1);
    send(17);
    EXPECT_EQ(memRefs().lockCount(h), 0);
    send(18);
    EXPECT_FALSE(IsReference(h));
    // A stack record is no block of the interface: not locked, not disposed.
    const Handle card = CardById(10);
    params({uint32_t(card)});
    send(16);
    EXPECT_EQ(p(1), 0);
    params({uint32_t(card)});
    send(18);
    EXPECT_TRUE(IsHandleValid(card));
    // Too big a block is refused; the player's own answer blocks are not disposed.
    params({0xFFFFFFF0u});
    send(15);
    EXPECT_EQ(p(1), 0);
    params({});
    send(174);
    const Handle title = Handle(p(1));
    send(18);
    EXPECT_TRUE(IsReference(title));
}

TEST_F(CallbackTest, ObjectsAreNamedCountedNumberedMovedAndFound) {
    open(kCards);
    object(0, 2, 0);
    send(28);
    EXPECT_EQ(p(1), 2);
    EXPECT_EQ(p(2), 2);
    EXPECT_EQ(text(3), "Other");
    object(0, 2, 0);
    block.setParam(5, str("Renamed"));
    send(29);
    EXPECT_EQ(p(1), 2);  // the parameters are put back
    object(0, 0, 0, "renamed");
    send(24);
    EXPECT_NE(p(2), 0);
    // Counting and numbering, on one card and over all of them.
    const struct {
        uint16_t card;
        uint32_t kind;
        int count;
    } counts[] = {{0, 0, 2}, {0, 1, 1}, {0xFFFF, 0, 3}, {20, 1, 1}, {30, 2, 0}, {0, 7, 0}};
    for (const auto& c : counts) {
        object(c.card, 0, c.kind);
        send(30);
        EXPECT_EQ(p(1), c.count) << c.card << " " << c.kind;
    }
    object(0xFFFF, 3, 0);
    send(34);
    EXPECT_EQ(p(1), 6);
    EXPECT_EQ(p(2), CardById(20));
    object(0, 3, 0);
    send(34);
    EXPECT_EQ(p(1), 0);
    // Moving: the centre to a point, then by an offset; the size stays.
    object(0, 4, 2);
    block.setParam(5, ints({100, 150}));
    send(33);
    EXPECT_EQ(rectOf(10, obj::kGraphic, 4), (std::array<int16_t, 4>{80, 130, 120, 170}));
    object(0, 4, 2);
    block.setParam(5, ints({-5, 10}));
    send(39);
    EXPECT_EQ(rectOf(10, obj::kGraphic, 4), (std::array<int16_t, 4>{75, 140, 115, 180}));
    object(0, 4, 2);
    block.setParam(5, ints({40000, 0}));
    send(39);
    EXPECT_EQ(rectOf(10, obj::kGraphic, 4)[2] - rectOf(10, obj::kGraphic, 4)[0], 40);
    // What lies under a point of the shown card.
    params({0, 0, 0, 0, ints({20, 20})});
    send(36);
    EXPECT_EQ(p(1), 1);
    EXPECT_EQ(p(2), 0);
    params({0, 0, 0, 0, ints({310, 190})});
    send(36);
    EXPECT_EQ(p(1), 0);
    EXPECT_EQ(p(2), -1);
}

TEST_F(CallbackTest, TextIsActivatedSelectedTypedAppendedAndLocked) {
    open(kCards);
    object(0, 3, 1);
    send(61);
    EXPECT_EQ(p(1), 1);
    params({1, 3});
    send(72);
    params({});
    send(64);
    EXPECT_EQ(p(1), 3);
    EXPECT_EQ(p(2), 1);
    EXPECT_EQ(p(3), 3);
    EXPECT_EQ(ReferenceBytes(Handle(p(4))).value_or("?"), "ar");
    DisposeReference(Handle(p(4)));
    params({bytes("ol")});
    send(73);
    EXPECT_EQ(player->textFields().document(3)->text(), "Polis");
    // Appending: to the shown text object, and to one of another card.
    object(0, 3, 1);
    block.setParam(2, bytes("!"));
    send(62);
    EXPECT_EQ(player->textFields().document(3)->text(), "Polis!");
    EXPECT_EQ(TextForCard(TextObjectIn(CardById(10), 3), 10, false), "Polis!");
    object(20, 5, 1);
    block.setParam(2, bytes(" news"));
    send(62);
    EXPECT_EQ(TextForCard(TextObjectIn(CardById(20), 5), 20, false), "old news");
    // Locking against typing.
    object(0, 3, 1);
    block.setParam(5, 1);
    send(125);
    EXPECT_TRUE(player->textFields().locked(3));
    object(0, 3, 1);
    send(125);
    EXPECT_FALSE(player->textFields().locked(3));
}

TEST_F(CallbackTest, TheCardAreaIsDescribedPaintedAndDrawnOn) {
    open(kCards);
    params({});
    send(82);
    EXPECT_EQ(p(1), 320);
    EXPECT_EQ(p(2), 200);
    EXPECT_EQ(p(3), kBrowseTool);
    params({0xFF00FF, 1, 0, 0, ints({280, 150, 300, 170})});
    send(146);
    params({0, 0, 0, 0, ints({290, 160})});
    send(131);
    EXPECT_EQ(p(1), 0xFF00FF);
    // It is drawn on the card's picture: a repaint keeps it.
    params({0, 0, 0, 0, ints({0, 0, 320, 200})});
    send(81);
    params({0, 0, 0, 0, ints({290, 160})});
    send(131);
    EXPECT_EQ(p(1), 0xFF00FF);
    params({0, 0, 0, 0, ints({400, 10})});
    send(131);
    EXPECT_EQ(p(1), -1);
    send(170);
    send(173);
    EXPECT_EQ(p(1), 1);
    send(171);
    send(173);
    EXPECT_EQ(p(1), 0);
    params({1});
    send(91);
    EXPECT_TRUE(player->buttonsRevealed());
    params({0, 1});
    send(175);
    EXPECT_EQ(p(1), 1);
    EXPECT_TRUE(theStack().changed);
}

TEST_F(CallbackTest, ScriptsRunFromBlocksAndAnswerWhatTheyPrinted) {
    open(kCards);
    player->media.runScript = {};
    params({bytes("PRINT 6 * 7")});
    send(152);
    EXPECT_EQ(ReferenceBytes(Handle(p(1))).value_or("?"), "42\n");
    DisposeReference(Handle(p(1)));
    params({bytes("PRINT \"again")});
    send(117);
    params({});
    send(149);
    EXPECT_EQ(ReferenceBytes(Handle(p(1))).value_or("?"), "42\nagain\n");
    DisposeReference(Handle(p(1)));
    send(150);
    EXPECT_EQ(p(1), 0);
    // A script that asks for the current card's number through the interface.
    params({bytes("CBSETCMD 20 CALLBACK PRINT CBGETPARAMINT 2")});
    send(152);
    EXPECT_EQ(ReferenceBytes(Handle(p(1))).value_or("?"), "1\n");
    DisposeReference(Handle(p(1)));
}

TEST_F(CallbackTest, MenuCommandsRunByIdWhenEnabled) {
    open(kCards);
    params({kCmdNext});
    send(163);
    EXPECT_EQ(p(1), 1);
    params({kCmdNext});
    send(162);
    EXPECT_EQ(p(1), 1);
    EXPECT_EQ(player->currentCardId(), 20);
    params({kCmdNewStack});
    send(162);
    EXPECT_EQ(p(1), 0);
    EXPECT_EQ(player->currentCardId(), 20);
}

TEST_F(CallbackTest, PluginSettingsStayInTheirOwnSection) {
    open(kCards);
    const std::string previous = settings().path();
    const auto ini = std::filesystem::temp_directory_path() / ("cv-callbacks-" + std::to_string(::getpid()) + ".ini");
    setSettingsFile(ini.string());
    params({str("Colour"), str("blue")});
    send(160);
    EXPECT_EQ(p(1), 1);
    params({str("colour")});
    send(159);
    EXPECT_EQ(text(1), "blue");
    for (const char* key : {"", "a=b", "[NBAIDs]"}) {
        params({str(key), str("x")});
        send(160);
        EXPECT_EQ(p(1), 0) << key;
    }
    EXPECT_EQ(settings().get("PluginData", "Colour"), "blue");
    setSettingsFile(previous);
    std::filesystem::remove(ini);
}

TEST_F(CallbackTest, EveryCodeSurvivesParametersThatNameNothing) {
    // Without a stack, then with one.
    for (int command = 0; command <= 178; ++command) {
        params({1, 1, 1, 1, 1});
        if (command != 57) send(command);
    }
    open(kCards);
    player->media.runScript = {};
    for (uint32_t junk : {0u, 0x7FFF1234u, 0xFFFFFFFFu}) {
        for (int command = 0; command <= 178; ++command) {
            if (command == 57) continue;  // closes the window
            params({junk, junk, junk, junk, junk});
            send(command);
        }
    }
    EXPECT_EQ(theStack().cardCount(), 3);
    EXPECT_NE(player->currentCard(), 0);
}
