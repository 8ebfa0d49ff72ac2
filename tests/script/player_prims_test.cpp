// The player primitives as the interpreter sends them: what goes into the parameter block for
// each, how inputs are read (cards, objects, kinds, slots, points), what comes back, and the
// bound on commands that nest.
#include <functional>
#include <tuple>

#include "core/references.h"
#include "script/player_prims.h"
#include "script_fixture.h"

using namespace cv;
using namespace cv::script;
using namespace cv::script::test;

namespace {

struct Sent {
    uint16_t command;
    uint32_t p[5];
};

class FakePlayer final : public CommandDispatcher {
public:
    NBAParamBlock& paramBlock() override { return block; }
    void NBACallback() override {
        Sent s{block.command(), {}};
        for (int i = 0; i < 5; ++i) s.p[i] = block.param(i + 1);
        sent.push_back(s);
        if (answer) answer(block);
    }
    NBAParamBlock block;
    std::vector<Sent> sent;
    std::function<void(NBAParamBlock&)> answer;
};

class PlayerPrimsTest : public ScriptTest {
protected:
    PlayerPrimsTest() { in.setCommands(&player); }
    std::vector<uint16_t> commands() const {
        std::vector<uint16_t> c;
        for (const Sent& s : player.sent) c.push_back(s.command);
        return c;
    }
    const Sent& last() const { return player.sent.back(); }
    // The object the last command named: card, kind, name.
    std::tuple<uint32_t, uint32_t, std::string> object() const { return {last().p[0], last().p[1], str(last().p[2])}; }
    static std::string str(uint32_t ref) { return CountedStringAt(Handle(ref)).value_or("<none>"); }
    FakePlayer player;
};

} // namespace

TEST(PlayerConversions, TurtleAndWindowCoordinatesMeetAtTheWindowCentre) {
    // A 200 x 100 window: the origin is at 100 50.
    EXPECT_EQ(TurtleToWindow(100, 50, 1, 1, 0, 0).x, 100);
    EXPECT_EQ(TurtleToWindow(100, 50, 1, 1, 10, 20).y, 30);
    EXPECT_EQ(WindowToTurtle(100, 50, 1, 1, 110, 30).x, 10);
    EXPECT_EQ(WindowToTurtle(100, 50, 1, 1, 110, 30).y, 20);
    // SETSCRUNCH 2: columns are doubled on the way out and halved on the way back, so a
    // position read and written again stays where it is.
    const PlayerPoint w = TurtleToWindow(50, 50, 2, 1, 10, 0);
    EXPECT_EQ(w.x, 120);
    EXPECT_EQ(WindowToTurtle(50, 50, 2, 1, w.x, w.y).x, 10);
    // Far outside any window, values stay within 32 bits.
    EXPECT_EQ(TurtleToWindow(0, 0, 1, 1, 1e12, -1e12).x, 2000000000);
}

TEST(PlayerConversions, AlertStringsDoubleBackslashesAndKeepTheirButtons) {
    EXPECT_EQ(AlertString(4, 2, "Sure?", {"Yes", "No"}), "42Sure?\\Yes\\No");
    EXPECT_EQ(AlertString(5, 0, "C:\\X", {"OK"}), "50C:\\\\X\\OK");
    const std::string longText(300, 'a');
    const std::string s = AlertString(1, 1, longText, {"OK"});
    EXPECT_EQ(s.size(), 255u);
    EXPECT_EQ(s.substr(0, 2), "11");
    EXPECT_EQ(s.substr(s.size() - 3), "\\OK");
}

TEST(PlayerConversions, TransitionSpeeds) {
    for (const char* name : {"fast", "Medium", "SLOW", "QUICK"})
        EXPECT_EQ(TransitionSpeedOf(name, 0, false), *name == 'f' ? 0 : *name == 'M' ? 8 : *name == 'S' ? 16 : -1);
    for (double n : {3.9, 4.0, 11.0, 12.0}) EXPECT_EQ(TransitionSpeedOf("", n, true), n < 4 ? 0 : n < 12 ? 8 : 16) << n;
}

TEST_F(PlayerPrimsTest, ObjectInputsFillCardObjectAndKind) {
    run("HIDEITEM [] \"Box \"GRAPHIC");
    ASSERT_EQ(commands(), (std::vector<uint16_t>{26}));
    EXPECT_EQ(object(), std::tuple(0u, 2u, "Box"));
    run("SHOWITEM \"Start [Big Box] 1");
    EXPECT_EQ(last().command, 27);
    EXPECT_EQ(object(), std::tuple(0xFFFE0000u, 1u, "Big Box"));
    EXPECT_EQ(str(last().p[3]), "Start");
    run("HIDEITEM 3 \"X \"text");
    EXPECT_EQ(std::pair(str(last().p[3]), last().p[1]), std::pair(std::string("3"), 1u));
    // A kind that is none of them: error 41, and nothing is sent.
    const size_t before = player.sent.size();
    EXPECT_EQ(errorOf("HIDEITEM [] \"X \"SOUND"), "Logo Error: HIDEITEM doesn't like \"SOUND as input");
    run("HIDEITEM [] \"X 3");
    EXPECT_EQ(errorCount(), 2u);
    EXPECT_EQ(player.sent.size(), before);
    // Names are cut to what a counted string holds.
    run("HIDEITEM [] \"" + std::string(300, 'N') + " 0");
    EXPECT_EQ(str(last().p[2]).size(), 255u);
}

TEST_F(PlayerPrimsTest, MeIsTheCurrentObjectOfItsKind) {
    const Handle names[3] = {NewCountedStringReference("Go"), NewCountedStringReference("Answer"),
                             NewCountedStringReference("Logo")};
    player.answer = [&](NBAParamBlock& b) {
        if (b.command() == 71)
            for (int i = 0; i < 3; ++i) b.setParam(i + 1, uint32_t(names[i]));
    };
    run("HIDEITEM [] \"me \"GRAPHIC");
    ASSERT_EQ(commands(), (std::vector<uint16_t>{71, 26}));
    EXPECT_EQ(object(), std::tuple(0u, 2u, "Logo"));  // the block's other parameters were put back
    EXPECT_EQ(run("PRINT GETTEXTNAME"), "Answer\n");
    for (Handle h : names) DisposeReference(h);
}

TEST_F(PlayerPrimsTest, MovesUseThePendingTransitionOnce) {
    player.answer = [](NBAParamBlock& b) {
        if (b.command() == 148) {
            const std::string name = CountedStringAt(Handle(b.param(1))).value_or("");
            b.setParam(1, name == "Dissolve" ? 14u : uint32_t(-1));
        }
    };
    run("SETTRANSITION \"Dissolve \"slow MOVETOCARD \"Paris");
    EXPECT_EQ(commands(), (std::vector<uint16_t>{148, 5}));
    EXPECT_EQ(object(), std::tuple(0u, (16u << 16) | 14u, "Paris"));
    run("MOVENEXT");
    EXPECT_EQ(std::pair(last().p[0], last().p[1]), std::pair(0u, 0u));
    // An unknown name leaves the pending transition as it was.
    run("SETTRANSITION \"Dissolve 7 SETTRANSITION \"Swirl \"fast MOVETOFIRST");
    EXPECT_EQ(std::tuple(last().command, last().p[0], last().p[1]), std::tuple(uint16_t(1), 14u, 8u));
    EXPECT_EQ(PendingEffect(in), 0);
    // MOVETOCARD sends its text whatever it is: a number is a card number written as text.
    run("MOVETOCARD 3");
    EXPECT_EQ(str(last().p[2]), "3");
    EXPECT_EQ(errorOf("SETTRANSITION \"Dissolve \"QUICK"), "Logo Error: SETTRANSITION doesn't like \"QUICK as input");
}

TEST_F(PlayerPrimsTest, PositionsAndRectanglesComeBackInTurtleCoordinates) {
    // Without a drawing window the origin is 0 0: window y grows downward.
    player.answer = [](NBAParamBlock& b) {
        if (b.command() == 37) b.setParam(1, 30), b.setParam(2, 40);
    };
    EXPECT_EQ(run("SHOW GETITEMPOS [] \"B 0"), "[30 -40]\n");
    EXPECT_EQ(run("SHOW GETITEMRECT [] \"B 0"), "[0 0 0 0]\n");  // no rectangle: the origin
    player.answer = {};
    run("MAKE \"X 5 SETITEMRECT [] \"B 0 [:X 10 20 -30]");
    EXPECT_EQ(last().command, 32);
    const uint8_t* r = ReferenceData(Handle(last().p[4]), 16);
    ASSERT_NE(r, nullptr);
    int32_t v[4];
    std::memcpy(v, r, 16);
    EXPECT_EQ(std::vector<int32_t>(v, v + 4), (std::vector<int32_t>{5, -10, 20, 30}));
    const size_t before = player.sent.size();
    EXPECT_EQ(errorOf("SETITEMRECT [] \"B 0 [1 2 3]"), "Logo Error: SETITEMRECT doesn't like [1 2 3] as input");
    run("SETITEMPOS [] \"B 0 [1 2 3]");
    run("SETITEMPOS [] \"B 0 \"X");
    EXPECT_EQ(errorCount(), 3u);
    EXPECT_EQ(player.sent.size(), before);
}

TEST_F(PlayerPrimsTest, SetItemPosMovesTheRectangleByTheDifference) {
    const int32_t rect[4] = {10, 20, 30, 60};
    const Handle h = NewReferenceFrom(rect, 16);
    player.answer = [&](NBAParamBlock& b) {
        if (b.command() == 31) b.setParam(1, uint32_t(h));
        if (b.command() == 37) b.setParam(1, 20), b.setParam(2, 40);
    };
    run("SETITEMPOS \"Start \"B \"BUTTON [100 -100]");
    ASSERT_EQ(commands(), (std::vector<uint16_t>{31, 37, 32}));
    // Each command got the object again, as the lookup answers overwrite it.
    for (const Sent& s : player.sent) EXPECT_EQ(std::pair(s.p[0], str(s.p[2])), std::pair(0xFFFE0000u, std::string("B")));
    int32_t v[4];
    std::memcpy(v, ReferenceData(Handle(last().p[4]), 16), 16);
    EXPECT_EQ(std::vector<int32_t>(v, v + 4), (std::vector<int32_t>{90, 80, 110, 120}));
    DisposeReference(h);
}

TEST_F(PlayerPrimsTest, AlertsCountButtonsFromTheRight) {
    player.answer = [](NBAParamBlock& b) {
        if (b.command() == 68) b.setParam(1, 52);
    };
    EXPECT_EQ(run("PRINT DOALERT 4 \"note [Is a\\\\b right?] [Yes No]"), "2\n");
    EXPECT_EQ(str(last().p[0]), "42Is a\\\\b right?\\Yes\\No");
    EXPECT_EQ(run("PRINT DOALERT 1 0 \"Hi \"OK"), "1\n");
    EXPECT_EQ(errorOf("PRINT DOALERT 1 0 \"Hi [A B C D]"), "Logo Error: DOALERT doesn't like [A B C D] as input");
    EXPECT_EQ(errorOf("PRINT DOALERT 0 0 \"Hi \"OK"), "Logo Error: DOALERT doesn't like 0 as input");
    run("PRINT DOALERT 1 \"BIG \"Hi \"OK");
    EXPECT_EQ(errorCount(), 3u);
}

TEST_F(PlayerPrimsTest, SlotsOutsideOneToFiveAreRefused) {
    run("CBSETPARAMINT 2 77");
    EXPECT_EQ(player.block.param(2), 77u);
    EXPECT_EQ(errorOf("CBSETPARAMINT 6 7"), "Logo Error: CBSETPARAMINT doesn't like 6 as input");
    for (int i = 1; i <= 5; ++i) EXPECT_NE(player.block.param(i), 7u);
    run("CATCH \"ERROR [PRINT CBGETPARAMINT 0] PRINT ERROR");
    EXPECT_EQ(errorCount(), 1u);
    run("CBSETPARAMSTR 3 [Hello there] PRINT CBGETPARAMSTR 3 PRINT CBGETPARAMINT 2");
    EXPECT_EQ(out.text, "Hello there\n77\n");
    // The slot's string is freed when the slot gets another.
    const Handle first = Handle(player.block.param(3));
    run("CBSETPARAMSTR 3 \"Bye");
    EXPECT_FALSE(IsReference(first));
    // A handle of the script's own, read and given back.
    EXPECT_EQ(run("CBSETPARAMSTRH 1 \"abc PRINT CBGETPARAMSTRH 1"), "abc\n");
    const Handle mine = Handle(player.block.param(1));
    run("CBDISPOSEPARAMH 1");
    EXPECT_FALSE(IsReference(mine));
    // A slot that holds no reference reads as empty.
    EXPECT_EQ(run("CBSETPARAMINT 4 12345 SHOW CBGETPARAMSTR 4 SHOW CBGETPARAMRECT 4"), "\n[0 0 0 0]\n");
    EXPECT_EQ(run("CBSETPARAMPOINT 2 [3 4] SHOW CBGETPARAMPOINT 2"), "[3 4]\n");
    // A bad slot for points and rectangles: error 41, and nothing is set.
    run("CATCH \"ERROR [CBSETPARAMRECT 9 [1 2 3 4]] SHOW ERROR SHOW CBGETPARAMRECT 5");
    EXPECT_EQ(out.text, "[41]\n[0 0 0 0]\n");
}

TEST_F(PlayerPrimsTest, CallbackSendsWhatTheScriptBuilt) {
    run("CBSETCMD 148 CBSETPARAMSTR 1 \"Blinds CBSETPARAMINT 2 0 CALLBACK");
    ASSERT_EQ(commands(), (std::vector<uint16_t>{148}));
    EXPECT_EQ(std::pair(str(last().p[0]), last().p[1]), std::pair(std::string("Blinds"), 0u));
}

TEST_F(PlayerPrimsTest, FieldTextComesBackAsAWordAndItsBlocksAreFreed) {
    Handle text = 0, runs = 0;
    player.answer = [&](NBAParamBlock& b) {
        if (b.command() != 58) return;
        EXPECT_EQ(b.param(2), 1u);
        text = NewReferenceFrom("Paris is big", 12);
        runs = NewReference(22);
        const uint32_t answer[] = {uint32_t(text), uint32_t(runs), 6, 8};  // the selection is 6 to 8
        for (int i = 0; i < 4; ++i) b.setParam(i + 1, answer[i]);
    };
    EXPECT_EQ(run("PRINT GETFIELDTEXT [] \"Answer"), "Paris is big\n");
    EXPECT_FALSE(IsReference(text));
    EXPECT_FALSE(IsReference(runs));
    EXPECT_EQ(run("PRINT GETSELECTEDTEXT [] \"Answer"), "is\n");
    player.answer = {};
    run("SETFIELDTEXT \"Second \"Note [New words]");
    EXPECT_EQ(std::tuple(last().command, str(last().p[2]), last().p[4]), std::tuple(uint16_t(59), std::string("Note"), 0u));
    EXPECT_FALSE(IsReference(Handle(last().p[1])));  // given back after the command
}

TEST_F(PlayerPrimsTest, DonePAsksForTheKindsNamed) {
    player.answer = [](NBAParamBlock& b) {
        if (b.command() == 89)
            for (int i = 1; i <= 4; ++i) b.setParam(i, i == 2);
    };
    EXPECT_EQ(run("PRINT DONEP \"MOVIE"), "TRUE\n");
    EXPECT_EQ(commands(), (std::vector<uint16_t>{42, 89}));
    EXPECT_EQ(run("PRINT DONEP [movie sound]"), "FALSE\n");
    EXPECT_EQ(run("PRINT DONEP \"ALL"), "FALSE\n");
    EXPECT_EQ(errorOf("PRINT DONEP \"TOAST"), "Logo Error: DONEP doesn't like \"TOAST as input");
}

TEST_F(PlayerPrimsTest, TheScreenLockAndOffscreenDrawingEndWithTheRun) {
    player.answer = [](NBAParamBlock& b) {
        if (b.command() == 86) b.setParam(1, 1);
    };
    run("LOCKSCREEN DRAWTOOFFSCREEN");
    EXPECT_EQ(commands(), (std::vector<uint16_t>{170, 86, 85, 171}));
    EXPECT_FALSE(in.screenLocked);
    EXPECT_FALSE(in.drawingOffscreen);
    player.sent.clear();
    run("LOCKSCREEN PRINT 1 / 0");
    EXPECT_EQ(commands(), (std::vector<uint16_t>{170, 171}));
    player.sent.clear();
    run("LOCKSCREEN UNLOCKSCREEN");
    EXPECT_EQ(commands(), (std::vector<uint16_t>{170, 171}));
}

TEST_F(PlayerPrimsTest, CommandsThatNestWithoutEndStopWithOutOfStackSpace) {
    // A button whose script presses itself: every press runs the script again.
    int runs = 0;
    player.answer = [&](NBAParamBlock& b) {
        if (b.command() != 43) return;
        ++runs;
        const std::string again = "DOBUTTON [] \"Self";
        in.RunScript(again.data(), again.size(), nullptr, &out);
    };
    run("DOBUTTON [] \"Self");
    EXPECT_EQ(runs, Interpreter::kMaxCommandDepth);
    EXPECT_EQ(errorCount(), 1u);
    EXPECT_EQ(lastMessage(), "Logo Error: Out of stack space");
    EXPECT_EQ(in.commandDepth(), 0);
    // The next run is free to send again.
    player.answer = {};
    player.sent.clear();
    run("MOVENEXT");
    EXPECT_EQ(commands(), (std::vector<uint16_t>{4}));
}

TEST_F(PlayerPrimsTest, WithoutAPlayerTheGettersAnswerNeutrally) {
    in.setCommands(nullptr);
    EXPECT_EQ(run("SHOW GETITEMPOS [] \"X 0 SHOW VISIBLEP [] \"X 0 SHOW GETFIELDTEXT [] \"X"), "[0 0]\nFALSE\n\n");
    EXPECT_EQ(errorCount(), 0u);
}
