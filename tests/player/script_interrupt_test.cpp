// Ending scripts that would run on: Escape, closing the window and Exit stop a run whether it
// loops or waits, and the close is carried out once the run has unwound; a bound stops runs
// that nobody can stop by hand.
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "browse_fixture.h"
#include "core/clock.h"
#include "core/ui.h"
#include "player/headless_host.h"
#include "player/player.h"
#include "player/qt/main_window.h"
#include "player/qt/qt_host.h"
#include "player/script_bridge.h"
#include "script/interpreter.h"
#include "stack/stack_document.h"
#include "test_application.h"

namespace cv::test {
namespace {

// The platform while a script runs: at the third pump what `arrives` posts comes in (someone
// presses Escape or closes the window). A run that never looks for it is cut short after many
// pumps (`fuse`), so that such a fault fails instead of hanging.
class ArrivingHost final : public HeadlessHost {
public:
    void pump() override {
        if (++pumps == 3 && arrives) arrives();
        if (pumps > 20000 && interpreter) interpreter->stopRequested = fuse = true;
    }
    int pumps = 0;
    std::function<void()> arrives;
    script::Interpreter* interpreter = nullptr;
    bool fuse = false;
};

// Three buttons side by side, each running one script that would never end by itself.
const char* const kScripts[] = {"WAIT 2147483647", "TOOT 440 2147483647", "WHILE \"TRUE [MAKE \"N 1]"};

std::string jsonText(const std::string& s) {
    std::string out;
    for (char c : s) {
        if (c == '"' || c == '\\') out += '\\';
        out += c;
    }
    return out;
}

// The manifest of a card with one button for each of kScripts, each followed by PRINT "after.
std::string buttonsStack() {
    std::string objects;
    for (int i = 0; i < 3; ++i) {
        if (i) objects += ", ";
        objects += R"({"kind": "button", "id": )" + std::to_string(i + 1) + R"(, "rect": [)" + std::to_string(50 * i) +
                   ", 0, " + std::to_string(50 * i + 40) + R"(, 40], "actions": [{"type": "script", "text": ")" +
                   jsonText("TEXTIO " + std::string(kScripts[i]) + " PRINT \"after") + R"("}]})";
    }
    return R"({"card_width": 200, "card_height": 100, "cards": [{"objects": [)" + objects + "]}]}";
}

class ScriptInterruptTest : public ::testing::Test {
protected:
    void SetUp() override {
        ensureTestApplication();
        setClock(&clock);
        headlessUi().clearLog();
        player = std::make_unique<Player>(host);
        host.interpreter = &player->scripts().interpreter();
        ASSERT_TRUE(player->openStack(buildStack(buttonsStack())));
        // What held while the run went on: whether the player had quit, and the alerts shown.
        auto real = player->media.runScript;
        player->media.runScript = [this, real](const std::string& text) {
            real(text);
            quitDuringRun = host.quitting;
            alertsDuringRun = headlessUi().log().size();
        };
    }
    void TearDown() override {
        player.reset();
        DisposeStack();
        setClock(nullptr);
    }

    // Clicks button `i` and lets the player handle what is queued, `arriving` meanwhile (focus
    // coming back stands for nothing that would stop a run).
    void runButton(int i, MsgType arriving, int command = 0) {
        host.pumps = 0;
        host.quitting = host.fuse = false;
        host.arrives = [this, arriving, command] {
            player->post({.type = arriving, .key = arriving == MsgType::KeyDown ? kKeyEscape : 0, .command = command});
        };
        headlessUi().clearLog();
        printedBefore = player->scripts().printed().size();
        startMs = clock.nowMs();
        for (MsgType t : {MsgType::MouseDown, MsgType::MouseUp}) player->post({.type = t, .x = 50 * i + 10, .y = 10});
        player->processQueue();
    }
    bool printedAfter() const { return player->scripts().printed().size() > printedBefore; }

    VirtualClock clock{1000};
    ArrivingHost host;
    std::unique_ptr<Player> player;
    size_t printedBefore = 0;
    uint64_t startMs = 0;
    bool quitDuringRun = false;
    size_t alertsDuringRun = 0;
};

TEST_F(ScriptInterruptTest, EscapeEndsAWaitAToneAndALoop) {
    for (int i = 0; i < 3; ++i) {
        runButton(i, MsgType::KeyDown);
        EXPECT_FALSE(host.fuse) << kScripts[i];
        EXPECT_FALSE(printedAfter()) << kScripts[i];
        EXPECT_LT(clock.nowMs() - startMs, 1000u) << kScripts[i];
        EXPECT_TRUE(player->queue().empty()) << kScripts[i]; // the key was taken
        EXPECT_FALSE(host.quitting);
    }
}

TEST_F(ScriptInterruptTest, ClosingTheWindowOrExitEndsAnyRunAndClosesOnceItHasUnwound) {
    for (const auto& [arriving, command] : {std::pair{MsgType::Close, 0}, std::pair{MsgType::Command, int(kCmdExit)}}) {
        for (int i = 0; i < 3; ++i) {
            SCOPED_TRACE(kScripts[i]);
            runButton(i, arriving, command);
            EXPECT_FALSE(host.fuse);
            EXPECT_FALSE(printedAfter());
            EXPECT_LT(clock.nowMs() - startMs, 1000u);
            EXPECT_FALSE(quitDuringRun);
            EXPECT_TRUE(host.quitting);
            EXPECT_TRUE(player->queue().empty());
        }
    }
}

TEST_F(ScriptInterruptTest, AChangedStackIsStillAskedAboutAfterTheRunEnds) {
    theStack().changed = true;
    headlessUi().queueAnswer(53); // Cancel: the player stays
    runButton(2, MsgType::Close);
    EXPECT_FALSE(host.fuse);
    EXPECT_EQ(alertsDuringRun, 0u);
    ASSERT_EQ(headlessUi().log().size(), 1u);
    EXPECT_NE(headlessUi().log()[0].find("2213"), std::string::npos) << headlessUi().log()[0];
    EXPECT_FALSE(host.quitting);
    // Nothing is left over to stop the next run at once: a plain script runs to its end.
    player->scripts().run("TEXTIO PRINT \"again");
    EXPECT_NE(player->scripts().printed().find("again"), std::string::npos);
}

TEST_F(ScriptInterruptTest, ABoundStopsWaitsAndLoopsAndEveryRunAfterUntilItIsSetAgain) {
    std::string passedAt;
    int told = 0;
    auto bound = [&](uint64_t ms) {
        player->scripts().setRunBound(ms, [&](const std::string& line) {
            passedAt = line;
            ++told;
        });
    };
    bound(2000);
    runButton(0, MsgType::FocusIn);
    EXPECT_FALSE(host.fuse);
    EXPECT_EQ(told, 1);
    EXPECT_EQ(passedAt, "TEXTIO WAIT 2147483647 PRINT \"after");
    EXPECT_GE(clock.nowMs() - startMs, 2000u);
    EXPECT_LT(clock.nowMs() - startMs, 2200u);
    // Once passed, later runs stop at their first look, and nobody is told again.
    player->scripts().run("TEXTIO WAIT 1 PRINT \"more");
    EXPECT_EQ(player->scripts().printed().find("more"), std::string::npos);
    EXPECT_EQ(told, 1);

    // A loop that never waits leaves the virtual clock where it is: its work is what counts.
    bound(500);
    runButton(2, MsgType::FocusIn);
    EXPECT_FALSE(host.fuse);
    EXPECT_EQ(told, 2);
    EXPECT_EQ(passedAt, "TEXTIO WHILE \"TRUE [MAKE \"N 1] PRINT \"after");
    EXPECT_EQ(clock.nowMs(), startMs);
    EXPECT_GE(player->scripts().interpreter().steps(), 50000u);
    // A run well within the bound is not touched.
    bound(500);
    player->scripts().run("TEXTIO REPEAT 100 [MAKE \"N 1] PRINT \"within");
    EXPECT_NE(player->scripts().printed().find("within"), std::string::npos);
    EXPECT_EQ(told, 2);
}

// The same in the player's window on the real clock: the close box and Escape reach a script
// while it runs.
class WindowInterruptTest : public ::testing::Test {
protected:
    void SetUp() override {
        ensureTestApplication();
        host.showEndScreenOnQuit = false;
        player = std::make_unique<Player>(host);
        window = std::make_unique<MainWindow>(*player, host);
        host.attach(window.get());
        ASSERT_TRUE(player->openStack(buildStack(buttonsStack())));
        window->fitToCard(player->cardWidth(), player->cardHeight());
        window->show();
        window->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
        // A run that never looks for the person is ended by this, so that the fault fails
        // instead of hanging.
        fuse.setSingleShot(true);
        fuse.setInterval(10000);
        QObject::connect(&fuse, &QTimer::timeout, [this] {
            player->scripts().interpreter().stopRequested = true;
            fuseBlown = true;
        });
        fuse.start();
    }
    void TearDown() override {
        fuse.stop();
        host.attach(nullptr);
        window.reset();
        player.reset();
        DisposeStack();
    }
    // Clicks button `i`; `meanwhile` happens once the run has begun.
    void runButton(int i, const std::function<void()>& meanwhile) {
        QTimer::singleShot(0, window.get(), meanwhile);
        printedBefore = player->scripts().printed().size();
        QTest::mouseClick(window->cardView(), Qt::LeftButton, {}, QPoint(50 * i + 10, 10));
    }
    bool printedAfter() const { return player->scripts().printed().size() > printedBefore; }

    QtHost host;
    std::unique_ptr<Player> player;
    std::unique_ptr<MainWindow> window;
    QTimer fuse;
    bool fuseBlown = false;
    size_t printedBefore = 0;
};

TEST_F(WindowInterruptTest, TheCloseBoxEndsAWaitAndThenClosesTheWindow) {
    runButton(0, [this] { window->close(); });
    EXPECT_FALSE(fuseBlown);
    EXPECT_FALSE(printedAfter());
    EXPECT_TRUE(host.quitRequested());
    EXPECT_FALSE(window->isVisible());
}

TEST_F(WindowInterruptTest, EscapeEndsALoopAndTheCloseBoxEndsTheNext) {
    runButton(2, [this] { QTest::keyClick(window->windowHandle(), Qt::Key_Escape); });
    EXPECT_FALSE(fuseBlown);
    EXPECT_FALSE(printedAfter());
    EXPECT_FALSE(host.quitRequested());
    runButton(1, [this] { window->close(); });
    EXPECT_FALSE(fuseBlown);
    EXPECT_FALSE(printedAfter());
    EXPECT_TRUE(host.quitRequested());
}

} // namespace
} // namespace cv::test
