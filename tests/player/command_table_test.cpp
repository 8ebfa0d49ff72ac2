// The player command table as scripts and plug-ins reach it: its common rules, the object
// lookup, going to a card, transition names, alert texts, text objects, and the references
// that stand for addresses.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <list>
#include <unistd.h>

#include "browse_fixture.h"
#include "core/byte_order.h"
#include "core/references.h"
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

// A mono 16-bit WAV file of a sine tone; returns its path.
std::string toneWav(const std::string& name, double hz, double seconds) {
    const int rate = 11025;
    const uint32_t frames = uint32_t(rate * seconds);
    std::vector<int16_t> samples(frames);
    for (uint32_t i = 0; i < frames; ++i) samples[i] = int16_t(12000 * std::sin(2 * M_PI * hz * i / rate));
    auto le = [](std::ofstream& f, uint32_t v, int bytes) {
        for (int i = 0; i < bytes; ++i) f.put(char(v >> (8 * i)));
    };
    const auto path = std::filesystem::temp_directory_path() / (std::to_string(::getpid()) + "-" + name);
    std::ofstream f(path, std::ios::binary);
    f << "RIFF";
    le(f, 36 + frames * 2, 4);
    f << "WAVEfmt ";
    le(f, 16, 4); le(f, 1, 2); le(f, 1, 2); le(f, rate, 4); le(f, rate * 2, 4); le(f, 2, 2); le(f, 16, 2);
    f << "data";
    le(f, frames * 2, 4);
    f.write(reinterpret_cast<const char*>(samples.data()), std::streamsize(frames * 2));
    return path.string();
}

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
    void send(int command) {
        block.setCommand(uint16_t(command));
        player->commands().NBACallback(block);
    }
    Handle str(const std::string& s) {
        const Handle h = NewCountedStringReference(s);
        made.push_back(h);
        return h;
    }
    Handle rect(int32_t l, int32_t t, int32_t r, int32_t b) {
        const int32_t v[4] = {l, t, r, b};
        const Handle h = NewReferenceFrom(v, 16);  // little-endian host
        made.push_back(h);
        return h;
    }
    // The lookup's inputs: card selector, object id (0: by name), kind index.
    void object(uint16_t card, uint16_t id, int kind, const std::string& name = "", const std::string& cardText = "") {
        block.setParam(1, uint32_t(card) << 16 | id);
        block.setParam(2, uint32_t(kind));
        block.setParam(3, name.empty() ? 0 : uint32_t(str(name)));
        block.setParam(4, cardText.empty() ? 0 : uint32_t(str(cardText)));
    }
    uint16_t flagsOf(uint16_t cardId, uint16_t kind, uint16_t id) {
        Handle card = CardById(cardId);
        const uint32_t off = FindObject(card, kind, id);
        return off ? get16(memRefs().data(card) + off + obj::kFlags) : 0xFFFF;
    }
    std::vector<std::string> alerts() const {
        std::vector<std::string> out;
        for (const std::string& l : headlessUi().log())
            if (l.rfind("alert", 0) == 0) out.push_back(l);
        return out;
    }
    int32_t p(int i) const { return int32_t(block.param(i)); }

    script::NBAParamBlock block;
    std::vector<Handle> made;
    std::vector<std::pair<int, int>> transitions;
};

} // namespace

TEST_F(CommandTableTest, CommandsOutsideTheTableOrWithoutAnEntryLeaveTheBlockAlone) {
    open(kQuiz);
    for (int i = 1; i <= 5; ++i) block.setParam(i, 1000u + uint32_t(i));
    for (int command : {179, 200, 0xFFFF, 0x8000, 0, 104, 120, 121, 129, 147, 164, 169, 9, 40, 151, 178}) {
        send(command);
        for (int i = 1; i <= 5; ++i) EXPECT_EQ(block.param(i), 1000u + uint32_t(i)) << "command " << command;
    }
    EXPECT_EQ(player->currentCardNumber(), 1);
    // The accepted codes have entries; the empty ones have none.
    for (int c : {8, 9, 40, 41, 45, 99, 102, 103, 105, 113, 116, 119, 123, 126, 151, 176, 177, 178})
        EXPECT_TRUE(CommandTable::hasEntry(c)) << c;
    for (int c : {-1, 0, 104, 120, 121, 129, 130, 132, 145, 147, 153, 158, 164, 169, 179})
        EXPECT_FALSE(CommandTable::hasEntry(c)) << c;
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
    const Handle shortString = NewReference(3);
    made.push_back(shortString);
    memRefs().data(shortString)[0] = 40;
    object(0, 0, 0);
    block.setParam(3, uint32_t(shortString));
    send(24);
    EXPECT_EQ(p(2), 0);
    // A rectangle block too small for four values: nothing moves.
    const int32_t two[2] = {1, 2};
    const Handle small = NewReferenceFrom(two, 8);
    made.push_back(small);
    object(0, 1, 0);
    block.setParam(5, uint32_t(small));
    send(32);
    EXPECT_EQ(player->displayList()[0].bounds, QRect(QPoint(10, 10), QPoint(89, 39)));
    // Command 35 reads only the open stack's card records, at an object's start.
    block.setParam(1, uint32_t(str("not a card")));
    block.setParam(2, 0);
    send(35);
    EXPECT_EQ(p(1), 0);
    block.setParam(1, uint32_t(CardById(10)));
    block.setParam(2, FindObject(CardById(10), obj::kText, 3) + 2);
    send(35);
    EXPECT_EQ(p(1), 0);
    // A disposed reference is no longer followed.
    const Handle gone = NewCountedStringReference("Go");
    DisposeReference(gone);
    object(0, 0, 0);
    block.setParam(3, uint32_t(gone));
    send(24);
    EXPECT_EQ(p(2), 0);
}

TEST_F(CommandTableTest, ObjectInfoDescribesTheObjectAtAnOffset) {
    open(kQuiz);
    const Handle start = CardById(10);
    const uint32_t off = FindObject(start, obj::kButton, 2);
    block.setParam(1, uint32_t(start));
    block.setParam(2, off);
    send(35);
    EXPECT_EQ(p(1), 2);
    EXPECT_EQ(p(2), 2);  // the second button
    EXPECT_EQ(uint32_t(p(3)), off + button::kName);
    EXPECT_EQ(uint32_t(p(4)), get32(memRefs().data(start) + off + obj::kLength));
    EXPECT_EQ(p(5) & 0x20, 0);
}

TEST_F(CommandTableTest, GoingToACardCorrectsItsTransitionAsTheRulesSay) {
    open(kQuiz);
    transitions.clear();
    block.setParam(1, 20);
    block.setParam(2, 40);  // transition 40: Fastest at speed 8
    send(5);
    EXPECT_EQ(player->currentCardNumber(), 2);
    ASSERT_FALSE(transitions.empty());
    EXPECT_EQ(transitions.back(), std::make_pair(3, 8));
    block.setParam(1, 0);
    block.setParam(2, 7);  // Blocks at speed 0 is passed on
    block.setParam(3, uint32_t(str("third")));
    send(5);
    EXPECT_EQ(player->currentCardNumber(), 3);
    EXPECT_EQ(transitions.back(), std::make_pair(7, 0));
    block.setParam(1, 0);
    block.setParam(2, 10u << 16 | 14);  // speed 10: the pair becomes 3 and 8
    block.setParam(3, uint32_t(str("1")));
    send(5);
    EXPECT_EQ(player->currentCardNumber(), 1);
    EXPECT_EQ(transitions.back(), std::make_pair(3, 8));
    // A card that does not exist: the alert, and the card stays.
    headlessUi().clearLog();
    block.setParam(3, uint32_t(str("Nowhere")));
    send(5);
    EXPECT_EQ(player->currentCardNumber(), 1);
    ASSERT_EQ(alerts().size(), 1u);
    EXPECT_EQ(alerts()[0].rfind("alert 2223", 0), 0u);
    // Navigation commands take transition and speed from the low halves of p1 and p2.
    block.setParam(1, 14);
    block.setParam(2, 16);
    send(4);
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
    EXPECT_EQ(TransitionNumberOfName("dissolve"), 14);
    EXPECT_EQ(TransitionNumberOfName("Dissolves"), -1);
    EXPECT_EQ(TransitionNumberOfName("IRIS OPEN"), 19);
    EXPECT_EQ(TransitionNumberOfName(""), -1);
    block.setParam(1, uint32_t(str("Diamond Dissolve")));
    block.setParam(2, 0);
    send(148);
    EXPECT_EQ(p(1), 26);
    const Handle name = str("");
    block.setParam(1, 14);
    block.setParam(2, 1);
    block.setParam(3, uint32_t(name));
    send(148);
    EXPECT_EQ(CountedStringAt(name).value_or("?"), "Dissolve");
    block.setParam(1, 28);  // the full-screen fade has no name
    send(148);
    EXPECT_EQ(p(1), -1);
    block.setParam(1, 14);
    block.setParam(3, 999);  // nowhere to write: refused
    send(148);
    EXPECT_EQ(p(1), -1);
}

TEST_F(CommandTableTest, AlertTextsTurnBackslashesIntoButtons) {
    EXPECT_EQ(AlertTextFromScript("44Ready?\\Yes\\No"), "44Ready?~Yes~No");
    EXPECT_EQ(AlertTextFromScript("44C:\\\\DATA\\OK"), "44C:\\DATA~OK");
    EXPECT_EQ(AlertTextFromScript("\\"), "~");
    open(kQuiz);
    headlessUi().clearLog();
    headlessUi().queueAnswer(kAnswerSecond);
    block.setParam(1, uint32_t(str("42Capital of France? a\\\\b\\Paris\\Rome")));
    send(68);
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
    object(0, 4, 2);
    block.setParam(5, uint32_t(rect(300, 150, 270, 120)));
    send(32);
    EXPECT_EQ(player->screen().pixelColor(240, 80), QColor(Qt::white));
    EXPECT_EQ(player->screen().pixelColor(285, 135), QColor(Qt::red));
    object(0, 4, 2);
    send(37);
    EXPECT_EQ(p(1), 285);
    object(0, 4, 2);
    block.setParam(5, uint32_t(rect(0, 0, 100000, 10)));
    send(32);
    object(0, 4, 2);
    send(31);
    std::memcpy(v, ReferenceData(Handle(p(1)), 16), 16);
    EXPECT_EQ(v[2], 32767);
    // Missing: param1 is 0.
    object(0, 0, 2, "Nothing");
    send(31);
    EXPECT_EQ(p(1), 0);
    object(0, 0, 2, "Nothing");
    send(37);
    EXPECT_EQ(p(1), 0);
}

TEST_F(CommandTableTest, WhileTheScreenIsLockedNothingIsDrawnUntilTheUnlock) {
    open(kQuiz);
    send(170);
    EXPECT_TRUE(player->commands().screenLocked());
    object(0, 0, 2, "Box");
    send(26);
    EXPECT_EQ(player->screen().pixelColor(240, 80), QColor(Qt::red));  // not drawn yet
    send(171);
    EXPECT_FALSE(player->commands().screenLocked());
    EXPECT_EQ(player->screen().pixelColor(240, 80), QColor(Qt::white));
}

TEST_F(CommandTableTest, FieldTextIsReadAndReplacedOnTheShownAndOnAnotherCard) {
    open(kQuiz);
    object(0, 0, 1, "Answer");
    send(58);
    EXPECT_EQ(ReferenceBytes(Handle(p(1))).value_or("?"), "Paris");
    EXPECT_TRUE(IsReference(Handle(p(2))));  // its style runs
    DisposeReference(Handle(p(1)));
    DisposeReference(Handle(p(2)));
    // Replaced on the shown card: the first character's style carries over.
    const std::string text = "London";
    const Handle h = NewReferenceFrom(text.data(), uint32_t(text.size()));
    made.push_back(h);
    object(0, 0, 1, "Answer");
    block.setParam(2, uint32_t(h));
    block.setParam(5, 0);
    send(59);
    TextDocument* doc = player->textFields().document(3);
    ASSERT_NE(doc, nullptr);
    EXPECT_EQ(doc->text(), "London");
    EXPECT_EQ(doc->styleRuns().front().style & kStyleBold, kStyleBold);
    const auto stored = TextObjectIn(CardById(10), 3);
    EXPECT_EQ(TextForCard(stored, 10, false), "London");
    // Replaced on another card: its record.
    object(0xFFFE, 0, 1, "Note", "Second");
    block.setParam(2, uint32_t(h));
    block.setParam(5, 0);
    send(59);
    EXPECT_EQ(TextForCard(TextObjectIn(CardById(20), 5), 20, false), "London");
    EXPECT_TRUE(theStack().changed);
    // A text reference that is no block of the interface: nothing changes.
    object(0xFFFE, 0, 1, "Note", "Second");
    block.setParam(2, 4242);
    send(59);
    EXPECT_EQ(TextForCard(TextObjectIn(CardById(20), 5), 20, false), "London");
}

TEST_F(CommandTableTest, PressingAButtonRunsItsListAndRemembersItsName) {
    const char* manifest = R"({"cards": [{"name": "A", "objects": [
        {"kind": "button", "id": 1, "name": "Hello", "rect": [10, 10, 90, 40],
         "actions": [{"type": "script", "text": "PRINT 1"}]}]}, {"name": "B"}]})";
    open(manifest);
    object(0, 0, 0, "hello");
    send(43);
    EXPECT_EQ(log, (std::vector<std::string>{"script PRINT 1"}));
    send(71);
    EXPECT_EQ(CountedStringAt(Handle(p(1))).value_or("?"), "Hello");
    EXPECT_EQ(CountedStringAt(Handle(p(2))).value_or("?"), "");
    // A button of another card is not pressed.
    log.clear();
    object(0xFFFE, 1, 0, "", "B");
    send(43);
    EXPECT_TRUE(log.empty());
}

TEST_F(CommandTableTest, RunningScriptTextNeedsTheOtherParametersZero) {
    open(kQuiz);
    player->media.runScript = {};
    const std::string text = "PRINT 42";
    const Handle h = NewReferenceFrom(text.data(), uint32_t(text.size()));
    made.push_back(h);
    block.setParam(1, uint32_t(h));
    block.setParam(2, uint32_t(text.size()));
    block.setParam(3, 1);
    block.setParam(4, 0);
    block.setParam(5, 0);
    send(172);
    EXPECT_EQ(player->scripts().printed(), "");
    block.setParam(3, 0);
    block.setParam(2, 100);  // longer than its block: refused
    send(172);
    EXPECT_EQ(player->scripts().printed(), "");
    block.setParam(2, uint32_t(text.size()));
    send(172);
    EXPECT_EQ(player->scripts().printed(), "42\n");
}

TEST_F(CommandTableTest, MenuCommandsAreFoundByTitleAndItem) {
    EXPECT_EQ(MenuCommandFor("move", "Next Card"), kCmdNext);
    EXPECT_EQ(MenuCommandFor("Move", "Next"), kCmdNext);
    EXPECT_EQ(MenuCommandFor("Move", "Back..."), kCmdBack);
    EXPECT_EQ(MenuCommandFor("File", "Open Stack"), kCmdOpenStack);
    EXPECT_EQ(MenuCommandFor("Card", "207"), 206);  // the fourth menu goes by number
    EXPECT_EQ(MenuCommandFor("Card", "Jump"), 0);
    EXPECT_EQ(MenuCommandFor("Nope", "Next"), 0);
    EXPECT_EQ(MenuCommandFor("Move", "Nex"), 0);
    open(kQuiz);
    block.setParam(3, uint32_t(str("MOVE")));
    block.setParam(4, uint32_t(str("next.")));
    send(10);
    EXPECT_EQ(player->currentCardNumber(), 2);
}

TEST_F(CommandTableTest, TheScoreCountsAnsweredCards) {
    const char* manifest = R"({"cards": [
        {"name": "Q1", "objects": [{"kind": "button", "id": 1, "name": "Right", "rect": [0, 0, 50, 30], "test_answer": 1}]},
        {"name": "Q2", "objects": [{"kind": "button", "id": 1, "name": "Wrong", "rect": [0, 0, 50, 30], "test_answer": 2}]},
        {"name": "End"}]})";
    open(manifest);
    click(10, 10);
    player->navigation().goNext();
    click(10, 10);
    send(49);
    EXPECT_EQ(p(1), 2);
    EXPECT_EQ(p(2), 1);
    EXPECT_TRUE(CountedStringAt(Handle(p(3))).has_value());
}

TEST_F(CommandTableTest, MediaStatusAsksTheMediaLayer) {
    open(kQuiz);
    block.setParam(4, 99);
    send(89);
    EXPECT_EQ(p(1) | p(2) | p(3) | p(4), 0);
    player->media.anySoundPlaying = [] { return true; };
    send(89);
    EXPECT_EQ(p(2), 1);
    EXPECT_EQ(p(1), 0);
}

TEST_F(CommandTableTest, SoundsArePlayedFromFilesAndFromTheStackByIdOrName) {
    const std::string wav = toneWav("chime.wav", 440, 0.5);
    open(R"({"card_width": 320, "card_height": 200, "cards": [{"id": 10, "name": "One", "objects": []}],
             "resources": [{"type": "Snd ", "id": 7, "name": "Chime", "wav": ")" + wav + R"("}]})");
    const std::list<SoundChannel>& sounds = player->sounds().sounds();
    block.setParam(1, 7);
    block.setParam(2, 0x10000 | 200);
    send(55);
    ASSERT_EQ(sounds.size(), 1u);
    EXPECT_EQ(sounds.front().level, 200);
    EXPECT_TRUE(sounds.front().path.empty());
    // By name (case ignored) when the id is 0: the new sound cuts off the old one.
    block.setParam(1, 0x70000);
    block.setParam(2, 90);
    block.setParam(3, uint32_t(str("CHIME")));
    send(55);
    ASSERT_EQ(sounds.size(), 1u);
    EXPECT_EQ(sounds.front().level, 90);
    // An unknown name plays nothing and leaves the playing sound alone.
    block.setParam(3, uint32_t(str("Gong")));
    send(55);
    ASSERT_EQ(sounds.size(), 1u);
    EXPECT_EQ(sounds.front().level, 90);
    // A file through its location block: the path, ended by a NUL.
    const std::string text = wav + std::string(1, '\0') + "junk";
    const Handle where = NewReferenceFrom(text.data(), uint32_t(text.size()));
    made.push_back(where);
    block.setParam(1, uint32_t(where));
    block.setParam(2, 64);
    send(54);
    ASSERT_EQ(sounds.size(), 1u);
    EXPECT_EQ(sounds.front().path, wav);
    EXPECT_EQ(sounds.front().level, 64);
    // A reference that names no block plays nothing and stops nothing.
    block.setParam(1, 12345);
    send(54);
    EXPECT_EQ(sounds.size(), 1u);
    std::filesystem::remove(wav);
}

TEST_F(CommandTableTest, FindTextSelectsTheMatchInTheShownField) {
    open(kQuiz);
    block.setParam(1, uint32_t(str("RIS")));
    block.setParam(2, 0);
    send(8);
    EXPECT_EQ(p(2), 2);
    EXPECT_EQ(player->textFields().document(3)->selectedText(), "ris");
    block.setParam(2, 3);
    send(8);
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
    Message ch;
    ch.type = MsgType::Char;
    ch.ch = '!';
    player->post(ch);
    player->processQueue();
    object(0, 3, 1);
    send(26);
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
