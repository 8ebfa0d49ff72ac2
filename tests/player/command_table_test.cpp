// The player command table as scripts and plug-ins reach it: its common rules, the object
// lookup, going to a card, transition names, alert texts, text objects, the references that
// stand for addresses, and the callbacks beyond the script commands (card records and moves,
// memory blocks, objects, text, the card area, scripts, menu commands and settings).
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <list>
#include <unistd.h>

#include "../media/sound_files.h"
#include "browse_fixture.h"
#include "core/byte_order.h"
#include "core/clock.h"
#include "core/references.h"
#include "core/settings.h"
#include "media/sound_manager.h"
#include "player/actions.h"
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

const char* kQuiz = R"({"card_width": 320, "card_height": 200, "cards": [
  {"id": 10, "name": "Start", "background": {"colour": "#FFFFFF"}, "objects": [
     {"kind": "button", "id": 1, "name": "Go", "rect": [10, 10, 90, 40]},
     {"kind": "button", "id": 2, "name": "Other", "rect": [100, 10, 180, 40]},
     {"kind": "text", "id": 3, "name": "Answer", "rect": [10, 60, 200, 100], "text": "Paris",
      "styles": [{"start": 0, "font": "Arial", "size": 14, "style": "bold"}]},
     {"kind": "graphic", "id": 4, "name": "Box", "rect": [220, 60, 260, 100], "colour": "#FF0000"}]},
  {"id": 20, "name": "Second", "background": {"colour": "#00FF00"}, "objects": [
     {"kind": "text", "id": 5, "name": "Note", "rect": [10, 10, 200, 50], "text": "old"},
     {"kind": "button", "id": 6, "name": "Far", "rect": [10, 60, 90, 90]}]},
  {"id": 30, "name": "Third", "objects": []}]})";

class CommandTableTest : public cv::test::BrowseTest {
protected:
    void SetUp() override {
        BrowseTest::SetUp();
        auto engine = player->transition;
        player->transition = [this, engine](QImage& s, const QImage& n, const QRect& r, int t, int sp) {
            transitions.push_back({t, sp});
            if (engine) engine(s, n, r, t, sp);
        };
    }
    void TearDown() override {
        for (Handle h : made) DisposeReference(h);
        BrowseTest::TearDown();
    }
    // Sends the command with the parameters as they stand.
    void send(int command) {
        block.setCommand(uint16_t(command));
        player->commands().NBACallback(block);
    }
    // Sends the command with p1 to p5 (the rest 0).
    void call(int command, std::initializer_list<uint32_t> v = {}) {
        int i = 1;
        for (uint32_t x : v) block.setParam(i++, x);
        for (; i <= 5; ++i) block.setParam(i, 0);
        send(command);
    }
    // The lookup's inputs: card selector, object id (0: by name), kind index.
    void object(uint16_t card, uint16_t id, int kind, const std::string& name = "", const std::string& cardText = "") {
        block.setParam(1, uint32_t(card) << 16 | id);
        block.setParam(2, uint32_t(kind));
        block.setParam(3, name.empty() ? 0 : str(name));
        block.setParam(4, cardText.empty() ? 0 : str(cardText));
    }
    // The same with p5, sent.
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
    uint16_t flagsOf(uint16_t cardId, uint16_t kind, uint16_t id) {
        Handle card = CardById(cardId);
        const uint32_t off = FindObject(card, kind, id);
        return off ? get16(memRefs().data(card) + off + obj::kFlags) : 0xFFFF;
    }
    std::array<int16_t, 4> rectOf(uint16_t id) {
        const Handle card = CardById(10);
        const uint8_t* o = memRefs().data(card) + FindObject(card, obj::kGraphic, id) + obj::kRect;
        return {int16_t(get16(o)), int16_t(get16(o + 2)), int16_t(get16(o + 4)), int16_t(get16(o + 6))};
    }
    std::vector<std::string> alerts() const {
        std::vector<std::string> out;
        for (const std::string& l : headlessUi().log())
            if (l.rfind("alert", 0) == 0) out.push_back(l);
        return out;
    }
    int32_t p(int i) const { return int32_t(block.param(i)); }
    std::string text(int i) { return CountedStringAt(Handle(p(i))).value_or("<none>"); }
    // The bytes of the new block in p`i`, disposed of.
    std::string taken(int i) {
        const std::string out = ReferenceBytes(Handle(p(i))).value_or("<none>");
        DisposeReference(Handle(p(i)));
        return out;
    }

    script::NBAParamBlock block;
    std::vector<Handle> made;
    std::vector<std::pair<int, int>> transitions;
};

// The quiz stack open, scripts not run, pauses and flashes on a clock that jumps.
class CallbackTest : public CommandTableTest {
protected:
    void SetUp() override {
        setClock(&virtualClock);
        CommandTableTest::SetUp();
        open(kQuiz);
        player->media.runScript = {};
    }
    void TearDown() override {
        CommandTableTest::TearDown();
        setClock(nullptr);
    }
    VirtualClock virtualClock;
};

} // namespace

TEST_F(CommandTableTest, CommandsOutsideTheTableOrWithoutAnEntryLeaveTheBlockAlone) {
    open(kQuiz);
    for (int command : {179, 200, 0xFFFF, 0x8000, 0, 104, 120, 121, 129, 147, 164, 169, 9, 40, 151, 178}) {
        call(command, {1001, 1002, 1003, 1004, 1005});
        for (int i = 1; i <= 5; ++i) EXPECT_EQ(block.param(i), 1000u + uint32_t(i)) << "command " << command;
    }
    EXPECT_EQ(player->currentCardNumber(), 1);
}

TEST_F(CommandTableTest, TheLookupFindsObjectsByEveryCardSelector) {
    open(kQuiz);
    const Handle start = CardById(10), second = CardById(20);
    // The current card, by id and by name (case ignored).
    object(0, 3, 1);
    send(24);
    EXPECT_EQ(Handle(p(2)), start);
    EXPECT_EQ(uint32_t(p(1)), FindObject(start, obj::kText, 3));
    object(0, 0, 0, "oThEr");
    send(24);
    EXPECT_EQ(uint32_t(p(1)), FindObject(start, obj::kButton, 2));
    // A card id.
    object(20, 0, 1, "Note");
    send(24);
    EXPECT_EQ(Handle(p(2)), second);
    EXPECT_EQ(Handle(p(3)), second);
    // A card by name and by number.
    object(0xFFFE, 6, 0, "", "second");
    send(24);
    EXPECT_EQ(Handle(p(2)), second);
    object(0xFFFE, 0, 0, "Far", "2");
    send(24);
    EXPECT_EQ(Handle(p(2)), second);
    // Any card: the first card holding such an object.
    object(0xFFFF, 0, 1, "note");
    send(24);
    EXPECT_EQ(Handle(p(2)), second);
    EXPECT_EQ(Handle(p(3)), start);
    // The card itself.
    object(20, 0, 3);
    send(24);
    EXPECT_EQ(Handle(p(2)), second);
    // Not found: a wrong kind, an unknown name, a missing card, a kind index out of range.
    for (auto [card, id, kind, name] : {std::tuple<uint16_t, uint16_t, int, std::string>{0, 0, 2, "Go"},
                                        {0, 0, 0, "Nobody"}, {99, 0, 3, ""}, {0, 1, 7, ""}, {0, 1, -1, ""}}) {
        object(card, id, kind, name);
        block.setParam(3, name.empty() ? 77 : block.param(3));
        send(24);
        EXPECT_EQ(p(1), 0);
        EXPECT_EQ(p(2), 0);
        EXPECT_EQ(p(3), 0);
    }
    // Command 35 describes the object at an offset: the second button.
    const uint32_t off = FindObject(start, obj::kButton, 2);
    call(35, {uint32_t(start), off});
    EXPECT_EQ(std::make_pair(p(1), p(2)), std::make_pair(2, 2));
    EXPECT_EQ(uint32_t(p(3)), off + button::kName);
    EXPECT_EQ(uint32_t(p(4)), get32(memRefs().data(start) + off + obj::kLength));
    EXPECT_EQ(p(5) & 0x20, 0);
}

TEST_F(CommandTableTest, ReferencesThatNameNoBlockOfTheInterfaceAreRefused) {
    open(kQuiz);
    // A name given as a number that is no reference, or as a stack's own record.
    for (uint32_t bogus : {12345u, 0xFFFFFFFFu, uint32_t(CardById(10))}) {
        object(0, 0, 0);
        block.setParam(3, bogus);
        send(24);
        EXPECT_EQ(p(2), 0) << bogus;
    }
    // A counted string whose length byte claims more than its block holds.
    const Handle shortString = Handle(keep(NewReference(3)));
    memRefs().data(shortString)[0] = 40;
    object(0, 0, 0);
    block.setParam(3, uint32_t(shortString));
    send(24);
    EXPECT_EQ(p(2), 0);
    // A rectangle block too small for four values: nothing moves.
    object(0, 1, 0);
    block.setParam(5, ints({1, 2}));
    send(32);
    EXPECT_EQ(player->displayList()[0].bounds, QRect(QPoint(10, 10), QPoint(89, 39)));
    // Command 35 reads only the open stack's card records, at an object's start.
    call(35, {str("not a card"), 0});
    EXPECT_EQ(p(1), 0);
    call(35, {uint32_t(CardById(10)), FindObject(CardById(10), obj::kText, 3) + 2});
    EXPECT_EQ(p(1), 0);
    // A disposed reference is no longer followed.
    const Handle gone = NewCountedStringReference("Go");
    DisposeReference(gone);
    object(0, 0, 0);
    block.setParam(3, uint32_t(gone));
    send(24);
    EXPECT_EQ(p(2), 0);
}

TEST_F(CommandTableTest, GoingToACardCorrectsItsTransitionAsTheRulesSay) {
    open(kQuiz);
    call(5, {20, 40});  // transition 40: Fastest at speed 8
    EXPECT_EQ(player->currentCardNumber(), 2);
    ASSERT_FALSE(transitions.empty());
    EXPECT_EQ(transitions.back(), std::make_pair(3, 8));
    call(5, {0, 7, str("third")});  // Blocks at speed 0 is passed on
    EXPECT_EQ(player->currentCardNumber(), 3);
    EXPECT_EQ(transitions.back(), std::make_pair(7, 0));
    call(5, {0, 10u << 16 | 14, str("1")});  // speed 10: the pair becomes 3 and 8
    EXPECT_EQ(player->currentCardNumber(), 1);
    EXPECT_EQ(transitions.back(), std::make_pair(3, 8));
    // A card that does not exist: the alert, and the card stays.
    headlessUi().clearLog();
    call(5, {0, 10u << 16 | 14, str("Nowhere")});
    EXPECT_EQ(player->currentCardNumber(), 1);
    ASSERT_EQ(alerts().size(), 1u);
    EXPECT_EQ(alerts()[0].rfind("alert 2223", 0), 0u);
    // Navigation commands take transition and speed from the low halves of p1 and p2.
    call(4, {14, 16});
    EXPECT_EQ(player->currentCardNumber(), 2);
    EXPECT_EQ(transitions.back(), std::make_pair(14, 16));
    send(3);
    send(3);
    EXPECT_EQ(player->currentCardNumber(), 3);
    send(1);
    EXPECT_EQ(player->currentCardNumber(), 1);
    send(2);
    EXPECT_EQ(player->currentCardNumber(), 3);
}

TEST_F(CommandTableTest, TransitionNamesGoBothWays) {
    EXPECT_EQ(TransitionNumberOfName("IRIS OPEN"), 19);
    EXPECT_EQ(TransitionNumberOfName("Dissolves"), -1);
    EXPECT_EQ(TransitionNumberOfName(""), -1);
    call(148, {str("Diamond Dissolve"), 0});
    EXPECT_EQ(p(1), 26);
    const uint32_t name = str("");
    call(148, {14, 1, name});
    EXPECT_EQ(CountedStringAt(Handle(name)).value_or("?"), "Dissolve");
    call(148, {28, 1, name});  // the full-screen fade has no name
    EXPECT_EQ(p(1), -1);
    call(148, {14, 1, 999});  // nowhere to write: refused
    EXPECT_EQ(p(1), -1);
}

TEST_F(CommandTableTest, AlertTextsTurnBackslashesIntoButtons) {
    EXPECT_EQ(AlertTextFromScript("44Ready?\\Yes\\No"), "44Ready?~Yes~No");
    EXPECT_EQ(AlertTextFromScript("44C:\\\\DATA\\OK"), "44C:\\DATA~OK");
    EXPECT_EQ(AlertTextFromScript("\\"), "~");
    open(kQuiz);
    headlessUi().clearLog();
    headlessUi().queueAnswer(kAnswerSecond);
    call(68, {str("42Capital of France? a\\\\b\\Paris\\Rome")});
    EXPECT_EQ(p(1), kAnswerSecond);
    ASSERT_EQ(alerts().size(), 1u);
    EXPECT_NE(alerts()[0].find("Capital of France? a\\b"), std::string::npos) << alerts()[0];
    EXPECT_NE(alerts()[0].find("Paris"), std::string::npos);
    EXPECT_NE(alerts()[0].find("Rome"), std::string::npos);
}

TEST_F(CommandTableTest, HidingAndShowingChangeTheFlagAndTheShownCard) {
    open(kQuiz);
    object(0, 0, 2, "Box");
    const auto saved = block;
    send(26);
    EXPECT_EQ(flagsOf(10, obj::kGraphic, 4) & obj::kFlagHidden, obj::kFlagHidden);
    for (int i = 1; i <= 5; ++i) EXPECT_EQ(block.param(i), saved.param(i)) << i;  // restored
    EXPECT_EQ(player->screen().pixelColor(240, 80), QColor(Qt::white));
    EXPECT_FALSE(std::any_of(player->displayList().begin(), player->displayList().end(),
                             [](const DisplayRecord& r) { return r.id == 4; }));
    send(27);
    EXPECT_EQ(flagsOf(10, obj::kGraphic, 4) & obj::kFlagHidden, 0);
    // The state of a run, like its variables: the stack does not ask to be saved for it.
    EXPECT_FALSE(theStack().changed);
    EXPECT_EQ(player->screen().pixelColor(240, 80), QColor(Qt::red));
    // The display list keeps the stored order.
    std::vector<uint16_t> ids;
    for (const DisplayRecord& r : player->displayList()) ids.push_back(r.id);
    EXPECT_EQ(ids, (std::vector<uint16_t>{1, 2, 3, 4}));
    // A button that is not on the card: nothing changes.
    object(0, 0, 0, "Far");
    send(26);
    EXPECT_EQ(flagsOf(20, obj::kButton, 6) & obj::kFlagHidden, 0);
    // One on another card changes there, and nothing is drawn here.
    object(20, 0, 0, "Far");
    send(26);
    EXPECT_EQ(flagsOf(20, obj::kButton, 6) & obj::kFlagHidden, obj::kFlagHidden);
}

TEST_F(CommandTableTest, RectanglesAndPositionsAreReadAndMoved) {
    open(kQuiz);
    object(0, 4, 2);
    send(31);
    const uint8_t* r = ReferenceData(Handle(p(1)), 16);
    ASSERT_NE(r, nullptr);
    int32_t v[4];
    std::memcpy(v, r, 16);
    EXPECT_EQ(std::vector<int32_t>(v, v + 4), (std::vector<int32_t>{220, 60, 260, 100}));
    object(0, 4, 2);
    send(37);
    EXPECT_EQ(p(1), 240);
    EXPECT_EQ(p(2), 80);
    // Moved: the stored rectangle, the display list and the screen follow; a reversed
    // rectangle is put right and values beyond 16 bits are held to them.
    onObject(32, 0, 4, 2, ints({300, 150, 270, 120}));
    EXPECT_EQ(player->screen().pixelColor(240, 80), QColor(Qt::white));
    EXPECT_EQ(player->screen().pixelColor(285, 135), QColor(Qt::red));
    onObject(37, 0, 4, 2);
    EXPECT_EQ(p(1), 285);
    onObject(32, 0, 4, 2, ints({0, 0, 100000, 10}));
    EXPECT_EQ(rectOf(4)[2], 32767);
    // Missing: param1 is 0.
    for (int command : {31, 37}) {
        object(0, 0, 2, "Nothing");
        send(command);
        EXPECT_EQ(p(1), 0) << command;
    }
}

TEST_F(CommandTableTest, FieldTextIsReadAndReplacedOnTheShownAndOnAnotherCard) {
    open(kQuiz);
    object(0, 0, 1, "Answer");
    send(58);
    EXPECT_TRUE(IsReference(Handle(p(2))));  // its style runs
    DisposeReference(Handle(p(2)));
    EXPECT_EQ(taken(1), "Paris");
    // Replaced on the shown card: the first character's style carries over.
    const uint32_t london = bytes("London");
    object(0, 0, 1, "Answer");
    block.setParam(2, london);
    block.setParam(5, 0);
    send(59);
    TextDocument* doc = player->textFields().document(3);
    ASSERT_NE(doc, nullptr);
    EXPECT_EQ(doc->text(), "London");
    EXPECT_EQ(doc->styleRuns().front().style & kStyleBold, kStyleBold);
    EXPECT_EQ(TextForCard(TextObjectIn(CardById(10), 3), 10, false), "London");
    // Replaced on another card: its record. A text reference that is no block of the
    // interface changes nothing.
    for (uint32_t text : {london, 4242u}) {
        object(0xFFFE, 0, 1, "Note", "Second");
        block.setParam(2, text);
        block.setParam(5, 0);
        send(59);
        EXPECT_EQ(TextForCard(TextObjectIn(CardById(20), 5), 20, false), "London");
    }
    EXPECT_TRUE(theStack().changed);
}

TEST_F(CommandTableTest, PressingAButtonRunsItsListAndRemembersItsName) {
    open(R"({"cards": [{"name": "A", "objects": [
        {"kind": "button", "id": 1, "name": "Hello", "rect": [10, 10, 90, 40],
         "actions": [{"type": "script", "text": "PRINT 1"}]}]}, {"name": "B"}]})");
    object(0, 0, 0, "hello");
    send(43);
    EXPECT_EQ(log, (std::vector<std::string>{"script PRINT 1"}));
    send(71);
    EXPECT_EQ(text(1), "Hello");
    EXPECT_EQ(text(2), "");
    // A button of another card is not pressed.
    log.clear();
    object(0xFFFE, 1, 0, "", "B");
    send(43);
    EXPECT_TRUE(log.empty());
}

TEST_F(CommandTableTest, MenuCommandsAreFoundByTitleAndItem) {
    EXPECT_EQ(MenuCommandFor("move", "Next Card"), kCmdNext);
    EXPECT_EQ(MenuCommandFor("Move", "Next"), kCmdNext);
    EXPECT_EQ(MenuCommandFor("Move", "Back..."), kCmdBack);
    EXPECT_EQ(MenuCommandFor("Card", "207"), 206);  // the fourth menu goes by number
    EXPECT_EQ(MenuCommandFor("Card", "Jump"), 0);
    EXPECT_EQ(MenuCommandFor("Nope", "Next"), 0);
    EXPECT_EQ(MenuCommandFor("Move", "Nex"), 0);
    open(kQuiz);
    call(10, {0, 0, str("MOVE"), str("next.")});
    EXPECT_EQ(player->currentCardNumber(), 2);
}

TEST_F(CommandTableTest, TheScoreCountsAnsweredCards) {
    open(R"({"cards": [
        {"name": "Q1", "objects": [{"kind": "button", "id": 1, "name": "Right", "rect": [0, 0, 50, 30], "test_answer": 1}]},
        {"name": "Q2", "objects": [{"kind": "button", "id": 1, "name": "Wrong", "rect": [0, 0, 50, 30], "test_answer": 2}]},
        {"name": "End"}]})");
    click(10, 10);
    player->navigation().goNext();
    click(10, 10);
    call(49);
    EXPECT_EQ(p(1), 2);
    EXPECT_EQ(p(2), 1);
    EXPECT_TRUE(CountedStringAt(Handle(p(3))).has_value());
}

TEST_F(CommandTableTest, MediaStatusAsksTheMediaLayer) {
    open(kQuiz);
    call(89, {0, 0, 0, 99});
    EXPECT_EQ(p(1) | p(2) | p(3) | p(4), 0);
    player->media.anySoundPlaying = [] { return true; };
    send(89);
    EXPECT_EQ(p(2), 1);
    EXPECT_EQ(p(1), 0);
}

TEST_F(CommandTableTest, SoundsArePlayedFromFilesAndFromTheStackByIdOrName) {
    const std::string wav =
        test::writeTemp("cv-chime-" + std::to_string(::getpid()) + ".wav", test::wav(test::tone(440, 11025, 0.5), 11025, 1));
    open(R"({"card_width": 320, "card_height": 200, "cards": [{"id": 10, "name": "One", "objects": []}],
             "resources": [{"type": "Snd ", "id": 7, "name": "Chime", "wav": ")" + wav + R"("}]})");
    const std::list<SoundChannel>& sounds = player->sounds().sounds();
    call(55, {7, 0x10000 | 200});
    ASSERT_EQ(sounds.size(), 1u);
    EXPECT_EQ(sounds.front().level, 200);
    EXPECT_TRUE(sounds.front().path.empty());
    // By name (case ignored) when the id is 0: the new sound cuts off the old one. An unknown
    // name plays nothing and leaves the playing sound alone.
    for (const char* name : {"CHIME", "Gong"}) {
        call(55, {0x70000, 90, str(name)});
        ASSERT_EQ(sounds.size(), 1u);
        EXPECT_EQ(sounds.front().level, 90);
    }
    // A file through its location block: the path, ended by a NUL.
    call(54, {bytes(wav + std::string(1, '\0') + "junk"), 64});
    ASSERT_EQ(sounds.size(), 1u);
    EXPECT_EQ(sounds.front().path, wav);
    EXPECT_EQ(sounds.front().level, 64);
    // A reference that names no block plays nothing and stops nothing.
    call(54, {12345, 64});
    EXPECT_EQ(sounds.size(), 1u);
    std::filesystem::remove(wav);
}

TEST_F(CommandTableTest, FindTextSelectsTheMatchInTheShownField) {
    open(kQuiz);
    call(8, {str("RIS"), 0});
    EXPECT_EQ(p(2), 2);
    EXPECT_EQ(player->textFields().document(3)->selectedText(), "ris");
    call(8, {str("RIS"), 3});
    EXPECT_EQ(p(2), -1);
}

TEST_F(CommandTableTest, InvertingAndRepaintingWorkOnTheScreenAlone) {
    open(kQuiz);
    object(0, 0, 2, "Box");
    send(122);
    EXPECT_EQ(player->screen().pixelColor(240, 80), QColor(Qt::cyan));
    EXPECT_EQ(player->cardPicture().image.pixelColor(240, 80), QColor(Qt::white));
    // Command 70 paints the card again from its picture and objects.
    send(70);
    EXPECT_EQ(player->screen().pixelColor(240, 80), QColor(Qt::red));
}

TEST_F(CommandTableTest, AFieldHiddenByAScriptKeepsWhatWasTyped) {
    open(kQuiz);
    ASSERT_TRUE(player->textFields().activate(3));
    post({.type = MsgType::Char, .ch = '!'});
    onObject(26, 0, 3, 1);
    EXPECT_EQ(player->textFields().document(3), nullptr);
    EXPECT_NE(TextForCard(TextObjectIn(CardById(10), 3), 10, false).find('!'), std::string::npos);
}

TEST_F(CommandTableTest, TheHostTableWorksOnReferencesOnly) {
    open(kQuiz);
    const NBAHostTable& host = player->commands().hostTable(block);
    EXPECT_EQ(host.size, sizeof(NBAHostTable));
    const NBARef ref = host.newHandle(4);
    ASSERT_NE(ref, 0);
    EXPECT_EQ(host.handleSize(ref), 4u);
    EXPECT_NE(host.lockHandle(ref), nullptr);
    host.unlockHandle(ref);
    // A stack's own record is not reachable through it.
    EXPECT_EQ(host.lockHandle(CardById(10)), nullptr);
    EXPECT_EQ(host.handleSize(CardById(10)), 0u);
    host.disposeHandle(CardById(10));
    EXPECT_TRUE(IsHandleValid(CardById(10)));
    host.disposeHandle(ref);
    EXPECT_FALSE(IsReference(ref));
    // The callback runs the command in the block.
    block.setCommand(4);
    block.setParam(1, 3);
    block.setParam(2, 8);
    host.callback();
    EXPECT_EQ(player->currentCardNumber(), 2);
}

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
    // Moving by number (transition 40 put right, as for command 5), then back.
    call(13, {3, 40});
    EXPECT_EQ(player->currentCardId(), 30);
    call(13, {9});
    EXPECT_EQ(player->currentCardId(), 30);
    EXPECT_FALSE(headlessUi().log().empty()); // the card-not-found alert
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
    // Command 172 runs script text only with p3 zero and a length within its block.
    const size_t before = player->scripts().printed().size();
    const uint32_t script = bytes("PRINT 42");
    call(172, {script, 8, 1});
    call(172, {script, 100});
    EXPECT_EQ(player->scripts().printed().size(), before);
    call(172, {script, 8});
    EXPECT_EQ(player->scripts().printed().substr(before), "42\n");
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
