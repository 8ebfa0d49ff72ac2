// The automatic timers on the virtual clock: what a card registers and in which order, when
// timers fire, what holds them, and an hour of them.
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "browse_fixture.h"
#include "core/clock.h"
#include "media/sound_manager.h"
#include "player/script_bridge.h"
#include "player/timers.h"
#include "script/interpreter.h"
#include "stack/record_layout.h"
#include "stack/stack_document.h"
#include "test_application.h"

namespace cv::test {

namespace {

std::string button(int id, int seconds, bool repeat, const std::string& script, int x = 0) {
    std::string b = "{\"kind\": \"button\", \"id\": " + std::to_string(id) + ", \"rect\": [" + std::to_string(x) +
                    ", 0, " + std::to_string(x + 4) + ", 4]";
    if (seconds >= 0)
        b += ", \"timer\": {\"seconds\": " + std::to_string(seconds) + ", \"repeat\": " + (repeat ? "true" : "false") + "}";
    if (!script.empty()) b += ", \"actions\": [{\"type\": \"script\", \"text\": \"" + script + "\"}]";
    return b + "}";
}

std::string actionList(int id, int seconds, bool repeat, const std::string& script) {
    return "{\"type\": \"Actn\", \"id\": " + std::to_string(id) + ", \"timer\": {\"seconds\": " + std::to_string(seconds) +
           ", \"repeat\": " + (repeat ? "true" : "false") + "}, \"actions\": [{\"type\": \"script\", \"text\": \"" +
           script + "\"}]}";
}

std::string stack(const std::vector<std::string>& cards, const std::string& resources = "",
                  const std::string& stackActions = "") {
    std::string s = "{\"version\": 5, \"depth\": 8, \"card_width\": 200, \"card_height\": 100";
    if (!stackActions.empty()) s += ", \"stack_actions\": " + stackActions;
    if (!resources.empty()) s += ", \"resources\": [" + resources + "]";
    s += ", \"cards\": [";
    for (size_t i = 0; i < cards.size(); ++i) s += (i ? ", " : "") + cards[i];
    return s + "]}";
}

class TimersTest : public ::testing::Test {
protected:
    void SetUp() override {
        ensureTestApplication();
        setClock(&clock);
        headlessUi().clearLog();
        player = std::make_unique<Player>(host);
        player->media.runScript = [this](const std::string& s) { fired.emplace_back(s, clock.nowMs()); };
    }
    void TearDown() override {
        player.reset();
        DisposeStack();
        setClock(nullptr);
    }
    void open(const std::string& manifest) { ASSERT_TRUE(player->openStack(buildStack(manifest))); }
    void run(uint64_t ms) { player->runUntil(clock.nowMs() + ms); }
    int count(const std::string& script) const {
        int n = 0;
        for (const auto& f : fired) n += f.first == script;
        return n;
    }
    const TimerSlot* slotOf(uint32_t owner) const {
        for (const TimerSlot& s : player->timers().table())
            if (s.ownerId == owner) return &s;
        return nullptr;
    }

    VirtualClock clock{1000};
    HeadlessHost host;
    std::unique_ptr<Player> player;
    std::vector<std::pair<std::string, uint64_t>> fired;
};

} // namespace

TEST_F(TimersTest, ACardRegistersItsListThenTheStacksThenItsObjectsAndNoMoreThanTwenty) {
    std::string objects = button(20, 20, false, "", 0) + ", " + button(50, -1, false, "x", 4) +
                          ", {\"kind\": \"graphic\", \"id\": 3, \"rect\": [10, 10, 20, 20], \"colour\": \"#FF0000\", "
                          "\"action\": 12}";
    for (int id = 21; id <= 37; ++id) objects += ", " + button(id, id, id % 2 == 0, "", id * 4);
    objects += ", {\"kind\": \"text\", \"id\": 4, \"rect\": [0, 50, 100, 90], \"text\": \"t\", \"action\": 13}";
    const std::string card = "{\"name\": \"One\", \"actions\": {\"click\": 10}, \"objects\": [" + objects + "]}";
    const std::string resources = actionList(10, 4, false, "card") + ", " + actionList(11, 5, true, "stack") + ", " +
                                  actionList(12, 6, false, "graphic") + ", " + actionList(13, 7, true, "text");
    open(stack({card}, resources, "{\"click\": 11}"));

    const auto& t = player->timers().table();
    const std::vector<uint32_t> owners = {10, 11, 20, 12, 21, 22, 23, 24, 25, 26, 27, 28,
                                          29, 30, 31, 32, 33, 34, 35, 36};
    for (size_t i = 0; i < owners.size(); ++i) EXPECT_EQ(t[i].ownerId, owners[i]) << "slot " << i;
    EXPECT_EQ(t[0].ownerKind, kTimerOwnerActionList);
    EXPECT_EQ(t[0].countdown, 4);
    EXPECT_EQ(t[0].repeat, 0u);
    EXPECT_EQ(t[1].ownerKind, kTimerOwnerActionList);
    EXPECT_EQ(t[1].interval, 5);
    EXPECT_EQ(t[1].repeat, 1u);
    EXPECT_EQ(t[2].ownerKind, kTimerOwnerButton);
    EXPECT_EQ(t[3].ownerKind, kTimerOwnerActionList);
    EXPECT_EQ(t[5].countdown, 22);
    EXPECT_EQ(t[5].repeat, 1u);
    // The 21st and later (button 37, the text field's list) are left out, without a word.
    EXPECT_EQ(slotOf(37), nullptr);
    EXPECT_EQ(slotOf(13), nullptr);
    EXPECT_EQ(slotOf(50), nullptr);
    EXPECT_TRUE(headlessUi().log().empty());
    EXPECT_EQ(player->timers().nextSlot(), 0);
}

TEST_F(TimersTest, SoundsThatEndedAreCollectedWhileThePlayerIdles) {
    open(stack({"{\"name\": \"One\"}"}));
    player->sounds().PlayTone(440, 100, 256);
    player->sounds().PlayTone(880, 300, 256);
    ASSERT_EQ(player->sounds().sounds().size(), 2u);
    run(200);
    ASSERT_EQ(player->sounds().sounds().size(), 1u);
    EXPECT_EQ(player->sounds().sounds().front().status & kSoundAtEnd, 0u);
    run(300);
    EXPECT_TRUE(player->sounds().sounds().empty());
    EXPECT_EQ(player->sounds().mixer().voiceCount(), 0u);
}

TEST_F(TimersTest, AOnceTimerFiresOnceAfterItsSecondsAndARepeatingOneEveryInterval) {
    open(stack({"{\"objects\": [" + button(1, 3, false, "once") + ", " + button(2, 2, true, "again", 10) + "]}"}));
    // The times of each firing are checked by the timers_once and timers_repeat sessions.
    run(10500);
    EXPECT_EQ(count("once"), 1);
    EXPECT_EQ(slotOf(1), nullptr); // its slot is free again
    EXPECT_EQ(count("again"), 5);
    ASSERT_NE(slotOf(2), nullptr);
    EXPECT_EQ(slotOf(2)->interval, 2);
}

TEST_F(TimersTest, TimersAndTheIdleWorkRunOnlyWhileThePlayerHasTheFocus) {
    int idle = 0, plugins = 0;
    player->timers().cardIdleWork = [&] { ++idle; };
    player->timers().pluginIdle = [&] { ++plugins; };
    open(stack({"{\"objects\": [" + button(1, 3, false, "late") + "]}"}));
    host.focused = false;
    const int idleBefore = idle;
    run(10000);
    EXPECT_EQ(idle, idleBefore);
    EXPECT_EQ(plugins, idleBefore);
    EXPECT_EQ(count("late"), 0);
    EXPECT_EQ(slotOf(1)->countdown, 3);
    host.focused = true;
    const uint64_t back = clock.nowMs();
    run(1900);
    EXPECT_EQ(count("late"), 0);
    EXPECT_GT(idle, idleBefore);
    EXPECT_EQ(idle, plugins);
    run(1300);
    ASSERT_EQ(count("late"), 1);
    EXPECT_GE(fired.back().second, back + 2000);
}

TEST_F(TimersTest, ATimerThatLeavesTheCardFiresNoneOfTheNextCardsTimersOnTheWay) {
    const std::string first = "{\"name\": \"One\", \"objects\": [{\"kind\": \"button\", \"id\": 1, \"rect\": [0, 0, 4, 4], "
                              "\"go\": \"next\", \"timer\": {\"seconds\": 2, \"repeat\": false}}]}";
    const std::string second = "{\"name\": \"Two\", \"objects\": [" + button(1, 5, false, "slow") + ", " +
                               button(2, 0, false, "at once", 10) + "]}";
    open(stack({first, second}));
    uint64_t arrived = 0;
    auto arrive = player->onArrive;
    player->onArrive = [&](bool atStack) {
        arrived = clock.nowMs();
        arrive(atStack);
    };
    run(2500);
    ASSERT_EQ(player->currentCardNumber(), 2);
    EXPECT_EQ(count("at once"), 0); // not in the scan that went there
    ASSERT_NE(slotOf(2), nullptr);
    run(1200);
    ASSERT_EQ(count("at once"), 1);
    EXPECT_GE(fired.back().second, arrived + 900);
}

TEST_F(TimersTest, AnHourOfRepeatingTimersLosesNoFiringAndKeepsMemoryFlat) {
    // The real interpreter runs the scripts, as it does for a person.
    player = nullptr;
    player = std::make_unique<Player>(host);
    int runs = 0;
    auto real = player->media.runScript;
    player->media.runScript = [&runs, real](const std::string& s) {
        ++runs;
        real(s);
    };
    const std::string card = "{\"actions\": {\"click\": 10}, \"objects\": [" + button(1, 3, true, "MAKE \\\"B :B + 1") + "]}";
    open(stack({card}, actionList(10, 2, true, "MAKE \\\"L :L + 1") +
                           ", {\"type\": \"WKSp\", \"text\": \"MAKE \\\"B 0\\nMAKE \\\"L 0\\n\"}"));
    const uint32_t arrivalTick = clock.ticks();
    auto runToStep = [&](uint64_t steps) {
        // Halfway between two countdown steps, so that the number of steps taken is exact.
        const uint64_t tick = uint64_t(arrivalTick) + steps * kTicksPerCountdown + kTicksPerCountdown / 2;
        player->runUntil(tick * 17);
    };
    runToStep(60);
    const uint32_t handles = memRefs().inUse();
    const size_t bytes = memRefs().bytesInUse();
    const size_t pool = player->scripts().interpreter().poolSize();
    const uint64_t steps = 3600; // a little over an hour of 1.02-second steps
    runToStep(steps);
    EXPECT_EQ(player->timers().firings(), steps / 3 + steps / 2);
    EXPECT_EQ(runs, int(steps / 3 + steps / 2));
    player->scripts().run("TEXTIO PRINT :B PRINT :L");
    const std::string& printed = player->scripts().printed();
    EXPECT_EQ(printed.substr(printed.size() - 10), std::to_string(steps / 3) + "\n" + std::to_string(steps / 2) + "\n");
    EXPECT_EQ(memRefs().inUse(), handles);
    EXPECT_EQ(memRefs().bytesInUse(), bytes);
    EXPECT_EQ(player->scripts().interpreter().poolSize(), pool);
    EXPECT_TRUE(player->queue().empty());
    EXPECT_FALSE(theStack().changed);
}

TEST_F(TimersTest, AnOwnerThatWaitsHoldsEveryTimerUntilItIsDoneAndIsNeverEnteredTwice) {
    // The real interpreter runs the scripts: its WAIT lets the player work, timer ticks included.
    player = nullptr;
    player = std::make_unique<Player>(host);
    struct Run {
        std::string script;
        uint64_t start, end;
        int depth;
    };
    std::vector<Run> runs;
    int depth = 0;
    auto real = player->media.runScript;
    player->media.runScript = [&, real](const std::string& text) {
        const size_t at = runs.size();
        runs.push_back({text, clock.nowMs(), 0, ++depth});
        if (depth == 1) real(text); // one level is enough to show a fault, and keeps it short
        runs[at].end = clock.nowMs();
        --depth;
    };
    int idle = 0;
    player->timers().cardIdleWork = [&] { ++idle; };
    const std::string slow = "WAIT 150"; // two and a half seconds
    const std::string quick = "MAKE \\\"N :N + 1";
    open(stack({"{\"objects\": [" + button(1, 1, true, slow) + ", " + button(2, 1, true, quick, 10) + "]}"},
               "{\"type\": \"WKSp\", \"text\": \"MAKE \\\"N 0\\n\"}"));
    run(12000);

    std::vector<const Run*> waits;
    int nested = 0, duringWaits = 0;
    for (const Run& r : runs) {
        nested += r.depth > 1;
        if (r.script == slow && r.depth == 1) waits.push_back(&r);
    }
    ASSERT_GE(waits.size(), 3u);
    for (const Run* w : waits) {
        EXPECT_GE(w->end - w->start, 2500u);
        for (const Run& r : runs) duringWaits += &r != w && r.start >= w->start && r.start < w->end;
    }
    EXPECT_EQ(nested, 0);
    EXPECT_EQ(duringWaits, 0);
    // Between the waits the other timer still gets its turns.
    EXPECT_GE(runs.size() - waits.size(), 3u);
    // The ticks went on during the waits (the card's idle work ran), only the timers held.
    EXPECT_GT(idle, 12000 / kTimerPeriodMs / 2);
    EXPECT_EQ(player->timers().firings(), runs.size());
}

} // namespace cv::test
