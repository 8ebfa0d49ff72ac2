// Headless sessions: reading scripts, the keyboard's messages, and running scripts against
// stacks with their log, checks, answers and snapshots.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <QImage>
#include <QImageReader>
#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "browse_fixture.h"
#include "core/clock.h"
#include "core/ui.h"
#include "player/session.h"
#include "stack/stack_document.h"
#include "test_application.h"

namespace cv::test {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;

TEST(SessionScript, EveryMistakeIsReportedWithItsLineBeforeAnythingRuns) {
    const ParsedSession p = parseSession(
        "# a comment\n"
        "\n"
        "click 10\n"
        "wait -5\n"
        "answer 55\n"
        "frobnicate now\n"
        "   key F13\n"
        "expect pixel 1 2 red\n"
        "click 3 4 ctrl sideways\n"
        "expect card 2\r\n"
        "open\n");
    EXPECT_THAT(p.errors, ElementsAre(HasSubstr("line 3:"), HasSubstr("line 4:"), HasSubstr("line 5:"),
                                      HasSubstr("line 6: unknown command \"frobnicate\""), HasSubstr("line 7:"),
                                      HasSubstr("line 8:"), HasSubstr("line 9:"), HasSubstr("line 11:")));
    ASSERT_EQ(p.commands.size(), 1u);
    EXPECT_EQ(p.commands[0].op, SessionOp::ExpectCard);
    EXPECT_EQ(p.commands[0].number, 2);
    EXPECT_EQ(p.commands[0].line, 10);

    const ParsedSession texts = parseSession("expect pixel 3 4 #80FF0a\nexpect title  A # B \nexpect alert\n");
    ASSERT_TRUE(texts.errors.empty());
    EXPECT_EQ(texts.commands[0].colour, 0x80FF0Au);
    EXPECT_EQ(texts.commands[1].text, "A # B");
    EXPECT_EQ(texts.commands[2].text, "");
}

struct Key {
    MsgType type;
    int key;
    uint32_t ch;
    uint32_t modifiers;
    bool operator==(const Key&) const = default;
};

std::vector<Key> keys(std::string_view name, uint32_t modifiers = 0) {
    std::string error;
    auto messages = keyMessages(name, modifiers, &error);
    EXPECT_TRUE(messages.has_value()) << error;
    std::vector<Key> out;
    for (const Message& m : messages.value_or(std::vector<Message>{}))
        out.push_back({m.type, m.key, m.ch, m.modifiers});
    return out;
}

TEST(SessionScript, KeysBecomeTheMessagesOfAKeyboard) {
    using enum MsgType;
    EXPECT_EQ(keys("."), (std::vector<Key>{{KeyDown, 0xBE, 0, 0}, {Char, 0, '.', 0}, {KeyUp, 0xBE, 0, 0}}));
    EXPECT_EQ(keys(".", kModControl),
              (std::vector<Key>{{KeyDown, 17, 0, kModControl}, {KeyDown, 0xBE, 0, kModControl},
                                {KeyUp, 0xBE, 0, kModControl}, {KeyUp, 17, 0, 0}}));
    EXPECT_EQ(keys("a", kModShift),
              (std::vector<Key>{{KeyDown, 16, 0, kModShift}, {KeyDown, 'A', 0, kModShift},
                                {Char, 0, 'A', kModShift}, {KeyUp, 'A', 0, kModShift}, {KeyUp, 16, 0, 0}}));
    // Characters typed with Shift hold it themselves.
    EXPECT_EQ(keys("!")[1], (Key{KeyDown, '1', 0, kModShift}));
    EXPECT_EQ(keys("?")[2], (Key{Char, 0, '?', kModShift}));
    EXPECT_EQ(keys("return"), (std::vector<Key>{{KeyDown, 13, 0, 0}, {Char, 0, 13, 0}, {KeyUp, 13, 0, 0}}));
    EXPECT_EQ(keys("Left"), (std::vector<Key>{{KeyDown, 37, 0, 0}, {KeyUp, 37, 0, 0}}));
    EXPECT_EQ(keys("Delete", kModControl | kModAlt).size(), 6u);

    std::string error;
    EXPECT_FALSE(keyMessages("F13", 0, &error));
    EXPECT_THAT(error, HasSubstr("F13"));
    EXPECT_FALSE(keyMessages("\xC3\xA9", 0, &error));  // é: typed with `type`, not a key
}

class SessionTest : public BrowseTest {
protected:
    // Runs `script` in the folder of a stack built from `manifest` (as fixture.stk).
    int run(const std::string& manifest, const std::string& script, const std::string& other = {}) {
        folder = std::filesystem::path(buildStack(manifest)).parent_path();
        if (!other.empty()) std::filesystem::rename(buildStack(other, "other.stk"), folder / "other.stk");
        out.clear();
        err.clear();
        Session session([this](const std::string& l) { out.push_back(l); },
                        [this](const std::string& l) { err.push_back(l); });
        return session.run(script, folder, "test.session");
    }
    std::filesystem::path folder;
    std::vector<std::string> out, err;
};

constexpr const char* kThreeCards = R"({"card_width": 64, "card_height": 48, "settings": {"show_card_number": 1},
 "cards": [{"name": "A", "background": {"colour": "#FF0000"}}, {"name": "B", "background": {"colour": "#00FF00"}},
           {"name": "C", "background": {"colour": "#0000FF"}}]})";

TEST_F(SessionTest, LogsEveryCardShownAndEveryFailedExpectation) {
    const int status = run(kThreeCards,
                           "open fixture.stk\n"
                           "command 204\n"
                           "expect card 2\n"
                           "expect card 3\n"
                           "expect title fixture.stk - Card 2\n"
                           "expect pixel 10 10 #00FF00\n"
                           "expect pixel 10 10 #FF0000\n"
                           "expect pixel 64 10 #00FF00\n"
                           "key , ctrl\n"
                           "print card\n");
    EXPECT_EQ(status, 1);
    EXPECT_THAT(out, ElementsAre("card 1 id=1 name=A", "card 2 id=2 name=B",
                                 "FAIL line 4: expect card 3: card 2 is shown",
                                 "FAIL line 7: expect pixel 10 10 #FF0000: it is #00FF00",
                                 HasSubstr("FAIL line 8: expect pixel 64 10: outside the 64 x 48 card"),
                                 "card 1 id=1 name=A", "card 1 of 3 id=1 name=A title=fixture.stk - Card 1"));
    EXPECT_TRUE(err.empty());
}

TEST_F(SessionTest, AlertsAreLoggedCheckedAndAnsweredFromTheScript) {
    const int status = run(kThreeCards,
                           "open other.stk\n"
                           "expect alert This stack cannot be loaded by this version of Corvella.\\n"
                           "Please contact the maker of this stack for update information.\n"
                           "expect alert\n"
                           "open fixture.stk\n"
                           "answer-file fixture.stk\n"
                           "command 101\n"
                           "cancel\n"
                           "command 101\n"
                           "expect card 1\n"
                           "expect alert Sorry\n",
                           R"({"version": 6, "cards": [{"name": "New"}]})");
    EXPECT_EQ(status, 1);
    EXPECT_THAT(out, ElementsAre(HasSubstr("alert 9002: This stack cannot be loaded"), "card 1 id=1 name=A",
                                 "file: Open Stack", "card 1 id=1 name=A", "file: Open Stack",
                                 "card 1 id=1 name=A", "FAIL line 10: expect alert \"Sorry\": no alert was shown"));
}

TEST_F(SessionTest, AScriptThatCannotGoOnOrQuitsStopsThere) {
    EXPECT_EQ(run(kThreeCards, "open missing.stk\nprint card\n"), 1);
    EXPECT_TRUE(out.empty());
    ASSERT_EQ(err.size(), 1u);
    EXPECT_THAT(err[0], HasSubstr("test.session:1: no stack file"));

    EXPECT_EQ(run(kThreeCards, "print card\nsnapshot\n"), 1);
    EXPECT_TRUE(out.empty());  // refused before running
    EXPECT_THAT(err, ElementsAre(HasSubstr("line 2: snapshot needs a path")));
    // A quit ends the session; only as its last line is it a pass.
    EXPECT_EQ(run(kThreeCards, "open fixture.stk\ncommand 204\ncommand 110\n"), 0);
    EXPECT_EQ(out.back(), "quit 0");
    EXPECT_TRUE(err.empty());
    EXPECT_EQ(run(kThreeCards, "open fixture.stk\ncommand 110\nexpect card 3\n"), 1);
    EXPECT_THAT(err, ElementsAre(HasSubstr("test.session:3: the player quit at line 2")));
}

TEST_F(SessionTest, AScriptThatWouldRunForEverFailsItsLineInsteadOfHanging) {
    // Card 1's button waits for ever; card 2's arrive action loops for ever without waiting.
    constexpr const char* kRunaway = R"({"card_width": 64, "card_height": 48,
 "resources": [{"type": "Actn", "id": 20, "actions": [{"type": "script", "text": "MAKE \"N 0\nWHILE \"TRUE [MAKE \"N :N + 1]"}]}],
 "cards": [{"objects": [{"kind": "button", "id": 1, "rect": [0, 0, 20, 20],
                         "actions": [{"type": "script", "text": "WAIT 2147483647"}]}]},
           {"actions": {"arrive": 20}}]})";
    EXPECT_EQ(run(kRunaway, "open fixture.stk\nclick 10 10\nexpect card 1\n"), 1);
    EXPECT_THAT(err, ElementsAre("test.session:2: a script ran past the limit of 60000 ms and was stopped, at: "
                                 "WAIT 2147483647"));
    EXPECT_EQ(run(kRunaway, "open fixture.stk\nscript-limit 1000\ncommand 204\nexpect card 2\n"), 1);
    EXPECT_THAT(err, ElementsAre("test.session:3: a script ran past the limit of 1000 ms and was stopped, at: "
                                 "WHILE \"TRUE [MAKE \"N :N + 1]"));
    EXPECT_EQ(run(kRunaway, "script-limit 120000\nopen fixture.stk\nclick 10 10\n"), 1);
    EXPECT_THAT(err, ElementsAre(HasSubstr("test.session:3: a script ran past the limit of 120000 ms")));
    // The limit is on script runs, not on the session's own waits.
    EXPECT_EQ(run(kRunaway, "script-limit 1000\nopen fixture.stk\nwait 120000\nexpect card 1\n"), 0);
    EXPECT_TRUE(err.empty());
    EXPECT_EQ(parseSession("script-limit 0\nscript-limit 86400001\nscript-limit\n").errors.size(), 3u);
}

TEST_F(SessionTest, OpeningAnotherStackLeavesTheOpenOneAsOpenStackDoes) {
    const int status = run(R"({"card_width": 64, "card_height": 48, "cards": [{"name": "A", "objects": [
                               {"kind": "text", "id": 1, "rect": [0, 0, 64, 48], "text": "hi"}]}]})",
                           "open fixture.stk\n"
                           "click 30 20\n"
                           "type x\n"
                           "answer 53\n"
                           "open other.stk\n"
                           "print card\n"
                           "answer 52\n"
                           "open other.stk\n"
                           "print card\n",
                           R"({"cards": [{"name": "New"}]})");
    EXPECT_EQ(status, 0);
    // Typing changed the stack: the close question comes first, and Cancel keeps it open.
    EXPECT_THAT(out, ElementsAre("card 1 id=1 name=A", HasSubstr("alert 2213:"), HasSubstr("card 1 of 1 id=1 name=A"),
                                 HasSubstr("alert 2213:"), "card 1 id=1 name=New", HasSubstr("name=New")));
}

TEST_F(SessionTest, SnapshotsAreTheCardAreaInTheFormatTheirNameEndsIn) {
    ASSERT_EQ(run(kThreeCards, "open fixture.stk\ncommand 205\nsnapshot shots/last.png\nsnapshot last.PPM\n"
                               "snapshot last.jpg\nsnapshot last.bmp\n"), 0);
    for (const auto& [name, format] : {std::pair{"shots/last.png", "png"}, std::pair{"last.PPM", "ppm"},
                                       std::pair{"last.jpg", "jpeg"}, std::pair{"last.bmp", "bmp"}}) {
        const QString file = QString::fromStdString((folder / name).string());
        EXPECT_EQ(QImageReader(file).format().toStdString(), format) << name; // from the bytes
        const QImage img(file);
        ASSERT_EQ(img.size(), QSize(64, 48)) << name;
        EXPECT_EQ(img.pixel(32, 24) & 0xF0F0F0u, 0x0000F0u) << name;
    }
    // A name that gives no format is refused before anything runs.
    const ParsedSession gif = parseSession("snapshot last.gif\nsnapshot-step 2 step\n");
    EXPECT_THAT(gif.errors, ElementsAre(HasSubstr("line 1: snapshot cannot write \"last.gif\""), HasSubstr("line 2:")));
}

TEST_F(SessionTest, AStepSnapshotShowsTheTransitionPartWayAndSaysWhenNoStepCame) {
    constexpr const char* kWipe = R"({"card_width": 64, "card_height": 48,
 "cards": [{"background": {"colour": "#FF0000"}, "objects": [{"kind": "button", "id": 1, "rect": [0, 40, 8, 48],
            "go": "next", "transition": 1, "speed": 8}]},
           {"background": {"colour": "#00FF00"}}]})";
    const int status = run(kWipe,
                           "open fixture.stk\n"
                           "expect step-pixel 1 1 #000000\n"
                           "snapshot-step 2 mid.png\n"
                           "click 2 44\n"
                           "expect card 2\n"
                           "expect step-pixel 0 10 #00FF00\n"
                           "expect step-pixel 63 10 #FF0000\n"
                           "expect pixel 63 10 #00FF00\n"
                           "snapshot-step 100000 never.png\n"
                           "command 203\n"
                           "expect step-pixel 1 1 #00FF00\n");
    EXPECT_EQ(status, 1);
    EXPECT_THAT(out, ElementsAre("card 1 id=1 name=", "FAIL line 2: expect step-pixel: no snapshot-step was asked for",
                                 "card 2 id=2 name=", "card 1 id=1 name=",
                                 "FAIL line 11: expect step-pixel: no transition has drawn step 100000 yet"));
    const QImage mid(QString::fromStdString((folder / "mid.png").string()));
    ASSERT_EQ(mid.size(), QSize(64, 48));
    EXPECT_FALSE(std::filesystem::exists(folder / "never.png"));
    EXPECT_TRUE(parseSession("snapshot-step 0 a.png\n").errors.size() == 1);
    EXPECT_TRUE(parseSession("snapshot-step 3\n").errors.size() == 1);
}

TEST_F(SessionTest, TheSessionClockAndUiAreItsOwnAndPutBackAfter) {
    VirtualClock mine(5000);
    setClock(&mine);
    HeadlessUi myUi;
    setUi(&myUi);
    EXPECT_EQ(run(kThreeCards, "open fixture.stk\nwait 60000\ncommand 204\nexpect card 2\n"), 0);
    EXPECT_EQ(&clock(), &mine);
    EXPECT_EQ(mine.nowMs(), 5000u);
    EXPECT_EQ(&ui(), &myUi);
    EXPECT_TRUE(myUi.log().empty());
    setClock(nullptr);
    setUi(nullptr);
}

TEST_F(SessionTest, TheRunBoxMustBeOpenAndTheTextWindowIsReadSinceTheLastLook) {
    const int status = run(kThreeCards,
                           "open fixture.stk\n"
                           "runbox PRINT 1\n"
                           "command 660\n"
                           "runbox PRINT 2\n"
                           "expect text-window 3\n"
                           "runbox TYPE 4\n"
                           "expect text-window 4\n"
                           "expect text-window\n");
    EXPECT_EQ(status, 1);
    EXPECT_THAT(out, ElementsAre("card 1 id=1 name=A",
                                 "FAIL line 2: runbox: the Run Box is not open (command 660 opens it)",
                                 "FAIL line 5: expect text-window \"3\": the text window shows \"2\""));
}

TEST_F(SessionTest, TimedCommandsRunWhenTheClockComesToThemAndMustAllRun) {
    EXPECT_THAT(parseSession("open fixture.stk\nat 100 command 204\n").errors, ElementsAre(HasSubstr("line 2: at runs click")));
    EXPECT_EQ(run(kThreeCards,
                  "open fixture.stk\n"
                  "at 500 expect card 2\n"
                  "at 100 key . ctrl\n"
                  "at 300 expect pixel 10 10 #00FF00\n"
                  "at 900 expect card 1\n"
                  "wait 600\n"),
              1);
    EXPECT_THAT(out, ElementsAre("card 1 id=1 name=A", "card 2 id=2 name=B",
                                 "FAIL line 5: at 900: the session ended before that time"));
    EXPECT_EQ(parseSession("at click 1 2\nat 5\nat 5 at 6 click 1 2\nat 5 wait 3\nat 5 click 1 2\n").errors.size(), 4u);
}

TEST_F(SessionTest, SoundChecksFailTheirLineAndARecordingThatCannotBeWrittenStopsTheScript) {
    EXPECT_EQ(parseSession("expect sound loud\nexpect sound\nrecord-audio\n").errors.size(), 3u);
    const ParsedSession ok = parseSession("expect sound playing\nexpect sound silent\nrecord-audio a b.wav\n");
    ASSERT_TRUE(ok.errors.empty());
    EXPECT_EQ(ok.commands[0].number, 1);
    EXPECT_EQ(ok.commands[1].number, 0);
    EXPECT_EQ(ok.commands[2].text, "a b.wav");

    EXPECT_EQ(run(kThreeCards, "open fixture.stk\nrecord-audio heard.wav\nexpect sound silent\nwait 100\n"), 0);
    EXPECT_EQ(std::filesystem::file_size(folder / "heard.wav"), 44u + 4800u * 4);
    EXPECT_EQ(run(kThreeCards, "open fixture.stk\nexpect sound playing\n"), 1);
    EXPECT_THAT(out, testing::Contains("FAIL line 2: expect sound playing: all is silent"));
    EXPECT_EQ(run(kThreeCards, "record-audio no/such/folder/heard.wav\nopen fixture.stk\n"), 1);
    EXPECT_THAT(err, ElementsAre(HasSubstr("test.session:1: cannot write the sound capture")));
}

TEST_F(SessionTest, ATootIsHeardAtItsFrequencyForItsLength) {
    const char* stack = R"({"card_width": 64, "card_height": 48, "cards": [{"name": "A", "objects": [
        {"kind": "button", "id": 1, "name": "Toot", "rect": [0, 0, 40, 40],
         "actions": [{"type": "script", "text": "TOOT 1000 30"}]}]}]})";
    ASSERT_EQ(run(stack, "record-audio heard.wav\nopen fixture.stk\nclick 20 20\nwait 200\n"), 0);
    std::ifstream f(folder / "heard.wav", std::ios::binary);
    std::vector<char> bytes((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
    ASSERT_GT(bytes.size(), 44u);
    // 48 kHz, two channels of 16 bits: the left channel.
    std::vector<int16_t> left;
    for (size_t i = 44; i + 4 <= bytes.size(); i += 4) {
        int16_t v;
        std::memcpy(&v, bytes.data() + i, 2);
        left.push_back(v);
    }
    const auto loud = [](int16_t v) { return v > 100 || v < -100; };
    const auto first = std::find_if(left.begin(), left.end(), loud);
    ASSERT_NE(first, left.end());
    const auto last = std::find_if(left.rbegin(), left.rend(), loud).base();
    // 30 sixtieths of a second: 24000 frames, less the quiet ends of the ramps.
    EXPECT_NEAR(double(last - first), 24000.0, 200.0);
    int crossings = 0;
    for (auto it = first + 1; it < last; ++it) crossings += (*(it - 1) < 0) != (*it < 0);
    EXPECT_NEAR(crossings, 1000, 4); // two a cycle, 1000 cycles a second, half a second
}

} // namespace
} // namespace cv::test
