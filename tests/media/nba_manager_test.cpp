// The NBA layer's rules with scripted libraries: lookup order, the cache, busy state,
// broadcasts, event forwarding, the person's consent and what a plug-in hands back.
#include <gtest/gtest.h>

#include "core/clock.h"
#include "core/references.h"
#include "core/ui.h"
#include "nba_test_support.h"
#include "stack_test_support.h"

namespace cv {
namespace {

using cvtest::FakeLoader;

class NBAManagerTest : public cvtest::StackTest {
protected:
    void SetUp() override {
        StackTest::SetUp();
        folder = dir / "NBAS";
        setSettingsFile((dir / "CVPREFS.INI").string());
        headlessUi().clearAnswers();
        env.folders = {folder.string()};
        env.playerString = [this](int id) -> std::optional<std::string> {
            auto it = strings.find(id);
            if (it == strings.end()) return std::nullopt;
            return it->second;
        };
        env.busy = [this] { return busy; };
        env.hostTable = [](script::NBAParamBlock&) { return nullptr; };
    }
    void TearDown() override {
        nbas.reset();
        setSettingsFile((std::filesystem::temp_directory_path() / "cv-nba-unused.ini").string());
        StackTest::TearDown();
    }
    // A library file in the NBA folder that the person has allowed.
    cvtest::FakePlugin& plugin(const std::string& file, uint16_t id = 0) {
        cvtest::touch(folder, file);
        settings().set(NBAManager::kAllowedSection, lower(file), (folder / file).string());
        auto& p = loader.plugins[file];
        if (id) p.resources = PluginResources{file, file.substr(0, file.find('.')), "About/more", 3, id};
        return p;
    }
    static std::string lower(std::string s) {
        for (char& c : s) c = char(std::tolower(static_cast<unsigned char>(c)));
        return s;
    }
    NBAManager& manager() {
        if (!nbas) nbas = std::make_unique<NBAManager>(loader, env);
        return *nbas;
    }

    std::filesystem::path folder;
    FakeLoader loader;
    NBAEnvironment env;
    std::map<int, std::string> strings;
    bool busy = false;
    std::unique_ptr<NBAManager> nbas;
};

TEST_F(NBAManagerTest, LookupGoesStackThenListThenStringsThenSettings) {
    plugin("STACK.NBA");
    plugin("TABLE.NBA", 5);
    plugin("PREFS.NBA", 6);
    settings().set("NBAIDs", "5", "PREFS.NBA");
    settings().set("NBAIDs", "6", "PREFS.NBA");
    strings[50005] = "TABLE.NBA";
    cvtest::stackWithNBAs({{5, "STACK.NBA"}});
    NBAManager& m = manager();

    EXPECT_TRUE(m.CallNBA(5, 4, false));   // the stack's own record
    DisposeStack();
    EXPECT_TRUE(m.CallNBA(5, 4, false));   // the string table's file, registered
    EXPECT_TRUE(m.CallNBA(6, 4, false));   // no string: the settings' file
    EXPECT_EQ(m.externalCount(), 2u);
    strings.erase(50005);
    EXPECT_TRUE(m.CallNBA(5, 4, false));   // the external list keeps what was found
    EXPECT_FALSE(m.CallNBA(7, 4, false));  // named nowhere: nothing happens
    EXPECT_EQ(loader.calledFiles(4), (std::vector<std::string>{"STACK.NBA", "TABLE.NBA", "PREFS.NBA", "TABLE.NBA"}));
    // A record registered from a library: flags, id, names and the about text before '/'.
    const Handle rec = m.findRecord(6, false);
    const uint8_t* r = memRefs().data(rec);
    EXPECT_EQ(GetHandleSize(rec), nbarec::kMinSize + 5);
    EXPECT_EQ(std::pair(loadBE16(r), loadBE16(r + 2)), std::pair(uint16_t(3), uint16_t(6)));
    EXPECT_STREQ(reinterpret_cast<const char*>(r + nbarec::kFileName), "PREFS.NBA");
    EXPECT_STREQ(reinterpret_cast<const char*>(r + nbarec::kAboutText), "About");
}

TEST_F(NBAManagerTest, TwentyLibrariesStayCachedAndTheTwentyFirstRunsUncached) {
    std::vector<std::pair<uint16_t, std::string>> records;
    for (int i = 1; i <= 21; ++i) {
        const std::string file = "N" + std::to_string(i) + ".NBA";
        plugin(file);
        records.push_back({uint16_t(i), file});
    }
    cvtest::stackWithNBAs(records);
    NBAManager& m = manager();
    for (int round = 0; round < 2; ++round)
        for (int i = 1; i <= 21; ++i) EXPECT_TRUE(m.CallNBA(uint16_t(i), 4, false));
    EXPECT_EQ(m.cachedLibraries(), 20);
    EXPECT_EQ(loader.loads["N1.NBA"], 1);
    EXPECT_EQ(loader.loads["N21.NBA"], 2);
    EXPECT_EQ(loader.live("N21.NBA"), 0);
    // Messages 1 and 3 load their own copy for the call.
    m.CallNBA(1, 1, false);
    m.CallNBA(1, 3, false);
    EXPECT_EQ(loader.loads["N1.NBA"], 3);
    EXPECT_EQ(loader.live("N1.NBA"), 1);
    m.ReleaseNBALibraries(true);
    EXPECT_EQ(m.cachedLibraries(), 0);
    EXPECT_EQ(loader.live("N1.NBA"), 0);
}

TEST_F(NBAManagerTest, BlockFieldsDataWordAndBusyState) {
    uint32_t seenData = 0, seenBusy = 0;
    plugin("A.NBA").onCall = [&](NativeBlock& b) {
        const uint8_t* d = b.block.bytes.data();
        seenData = loadLE32(d + NBA_OFF_DATA);
        seenBusy = loadLE32(d + NBA_OFF_BUSY_STATE);
        EXPECT_EQ(std::tuple(loadLE16(d + NBA_OFF_VERSION), loadLE16(d + NBA_OFF_NBA_ID), loadLE16(d + NBA_OFF_CARD_NUMBER)),
                  std::tuple(5, 9, 2));
        storeLE32(b.block.bytes.data() + NBA_OFF_DATA, seenData + 10);
        return 0;
    };
    env.cardNumber = [] { return 2; };
    cvtest::stackWithNBAs({{9, "A.NBA"}});
    NBAManager& m = manager();
    m.CallNBA(9, 4, false);
    m.CallNBA(9, 4, false);
    EXPECT_EQ(seenData, 10u);
    EXPECT_EQ(cvtest::dataWordOf(9), 20u);
    // Busy: only message 3 goes through, with the busy word and without the data word.
    busy = true;
    EXPECT_FALSE(m.CallNBA(9, 4, false));
    m.broadcast(5);
    EXPECT_TRUE(m.CallNBA(9, 3, false));
    EXPECT_EQ(seenBusy, 1u);
    EXPECT_EQ(seenData, 0u);
    EXPECT_EQ(cvtest::dataWordOf(9), 20u);
    EXPECT_EQ(loader.calledFiles(5).size(), 0u);
}

TEST_F(NBAManagerTest, BroadcastsAndEventsWaitWhileAnNBARuns) {
    NBAManager* m = nullptr;
    bool forwarded = true;
    plugin("A.NBA").onCall = [&](NativeBlock& b) {
        if (b.block.command() == 4) {
            m->broadcast(10);
            forwarded = m->ForwardEventToNBAs(1, NBA_EVENT_MOUSE_DOWN, 0, 0);
        }
        return 0;
    };
    plugin("B.NBA");
    cvtest::stackWithNBAs({{1, "A.NBA"}, {2, "B.NBA"}});
    m = &manager();
    m->CallNBA(1, 4, false);
    EXPECT_TRUE(loader.calledFiles(10).empty());
    EXPECT_FALSE(forwarded);
    EXPECT_EQ(m->activeCount(), 0u);
    m->broadcast(10);
    EXPECT_EQ(loader.calledFiles(10), (std::vector<std::string>{"A.NBA", "B.NBA"}));
}

TEST_F(NBAManagerTest, EventsStopAtTheFirstHandlerAndTimersComeAtMostEvery50Ms) {
    plugin("A.NBA");
    plugin("B.NBA").onCall = [](NativeBlock& b) {
        if (b.block.param(2) == NBA_EVENT_MOUSE_DOWN || b.block.param(2) == NBA_EVENT_TIMER) b.block.setParam(5, 1);
        return 0;
    };
    plugin("C.NBA");
    cvtest::stackWithNBAs({{1, "A.NBA"}, {2, "B.NBA"}, {3, "C.NBA"}});
    NBAManager& m = manager();
    EXPECT_TRUE(m.ForwardEventToNBAs(1, NBA_EVENT_MOUSE_DOWN, 0, (20 << 16) | 10));
    EXPECT_EQ(loader.calledFiles(11), (std::vector<std::string>{"A.NBA", "B.NBA"}));
    EXPECT_FALSE(m.ForwardEventToNBAs(1, NBA_EVENT_KEY_DOWN, 65, 0));  // nobody takes keys
    EXPECT_FALSE(m.ForwardEventToNBAs(1, 0x0200 + 3, 0, 0));          // not a forwarded kind
    EXPECT_EQ(loader.calledFiles(11).size(), 5u);

    VirtualClock clock;
    Clock* previous = &cv::clock();
    setClock(&clock);
    loader.calls.clear();
    EXPECT_TRUE(m.ForwardEventToNBAs(1, NBA_EVENT_TIMER, 1, 0));
    clock.advance(30);
    EXPECT_FALSE(m.ForwardEventToNBAs(1, NBA_EVENT_TIMER, 1, 0));  // dropped, not handled
    clock.advance(20);
    EXPECT_TRUE(m.ForwardEventToNBAs(1, NBA_EVENT_TIMER, 1, 0));
    EXPECT_EQ(loader.calledFiles(11).size(), 4u);
    setClock(previous);
}

TEST_F(NBAManagerTest, BusyQueryAndCloseSkipRunningNBAs) {
    NBAManager* m = nullptr;
    plugin("A.NBA").onCall = [&](NativeBlock& b) {
        if (b.block.command() == 4) m->stackClosing(false);
        return 0;
    };
    plugin("B.NBA").onCall = [](NativeBlock& b) {
        if (b.block.command() == 14) b.block.setParam(1, NBA_STILL_BUSY);
        return 0;
    };
    cvtest::stackWithNBAs({{1, "A.NBA"}, {2, "B.NBA"}});
    m = &manager();
    EXPECT_TRUE(m->busyQuery());
    m->CallNBA(1, 4, false);
    EXPECT_EQ(loader.calledFiles(2), (std::vector<std::string>{"B.NBA"}));  // A was running
    m->stackClosing(true);
    EXPECT_EQ(loader.calledFiles(2).size(), 3u);
}

TEST_F(NBAManagerTest, TheFirstCallAsksAndTheAnswerIsKept) {
    // An old short name: its '~' must not end the question's text.
    cvtest::touch(folder, "ASK~1.NBA");
    loader.plugins["ASK~1.NBA"];
    cvtest::stackWithNBAs({{1, "ASK~1.NBA"}});
    NBAManager& m = manager();
    m.broadcast(5);  // broadcasts never ask
    EXPECT_TRUE(headlessUi().log().empty());
    headlessUi().queueAnswer(kAnswerSecond);
    EXPECT_FALSE(m.CallNBA(1, 4, false));  // Cancel: nothing loaded, asked once this run
    EXPECT_FALSE(m.CallNBA(1, 4, false));
    EXPECT_EQ(loader.loads["ASK~1.NBA"], 0);
    ASSERT_EQ(headlessUi().log().size(), 1u);
    EXPECT_NE(headlessUi().log()[0].find("\"ASK\x98" "1.NBA\""), std::string::npos) << headlessUi().log()[0];
    EXPECT_NE(headlessUi().log()[0].find("[Allow|^Cancel]"), std::string::npos);

    nbas.reset();
    headlessUi().clearLog();
    headlessUi().queueAnswer(kAnswerFirst);
    EXPECT_TRUE(manager().CallNBA(1, 4, false));
    EXPECT_TRUE(manager().CallNBA(1, 5, false, false));
    EXPECT_EQ(headlessUi().log().size(), 1u);
    EXPECT_EQ(settings().get(NBAManager::kAllowedSection, "ask~1.nba"), (folder / "ASK~1.NBA").string());
}

TEST_F(NBAManagerTest, CallingAnotherNBAReturnsItsHandleOrTheEmptiedData) {
    Handle made = 0;
    plugin("GIVE.NBA").onCall = [&](NativeBlock& b) {
        EXPECT_EQ(b.block.param(2), 3u);
        made = NewReferenceFrom("answer", 6);
        storeLE32(b.block.bytes.data() + NBA_OFF_RESULT, made);
        return 0;
    };
    plugin("BAD.NBA").onCall = [](NativeBlock& b) {
        storeLE32(b.block.bytes.data() + NBA_OFF_RESULT, 0x7FFFFFF0);  // names no block
        return 0;
    };
    NBAManager* outer = nullptr;
    plugin("OUTER.NBA").onCall = [&](NativeBlock& b) {
        storeLE32(b.block.bytes.data() + NBA_OFF_DATA, 7);
        b.block.setParam(1, 4), b.block.setParam(2, 0), b.block.setParam(4, 4);
        outer->callFromBlock(b.block);  // the callee writes its own data word on the same block
        EXPECT_EQ(loadLE32(b.block.bytes.data() + NBA_OFF_DATA), 7u);
        return 0;
    };
    plugin("INNER.NBA").onCall = [](NativeBlock& b) {
        storeLE32(b.block.bytes.data() + NBA_OFF_DATA, 99);
        return 0;
    };
    cvtest::stackWithNBAs({{1, "GIVE.NBA"}, {2, "BAD.NBA"}, {3, "OUTER.NBA"}, {4, "INNER.NBA"}});
    NBAManager& m = manager();
    outer = &m;
    m.CallNBA(3, 4, false);
    EXPECT_EQ(cvtest::dataWordOf(3), 7u);
    EXPECT_EQ(cvtest::dataWordOf(4), 99u);
    script::NBAParamBlock script;
    auto call = [&](uint32_t id, uint32_t name) {
        const Handle data = NewReferenceFrom("abc", 3);
        script.setParam(1, id), script.setParam(2, data), script.setParam(3, name), script.setParam(4, 4);
        m.callFromBlock(script);
        return data;
    };
    Handle data = call(1, 0);
    EXPECT_EQ(Handle(script.param(2)), made);
    EXPECT_FALSE(IsReference(data));
    DisposeReference(made);
    // By name (the short name), and a result that names nothing: the data comes back empty.
    const Handle name = NewCountedStringReference("bad");
    data = call(0, name);
    EXPECT_EQ(Handle(script.param(2)), data);
    EXPECT_EQ(ReferenceSize(data), 0u);
    DisposeReference(data);
    DisposeReference(name);
    // A data Handle that is no reference is refused: nothing is called.
    script.setParam(2, 0x7FFFFFF1);
    const size_t before = loader.calls.size();
    m.callFromBlock(script);
    EXPECT_EQ(loader.calls.size(), before);
}

TEST_F(NBAManagerTest, FilesThatCannotRunSayWhy) {
    cvtest::touch(folder, "TEXT.NBA");  // not a library
    settings().set(NBAManager::kAllowedSection, "text.nba", (folder / "TEXT.NBA").string());
    plugin("NOENTRY.NBA").entry = false;
    cvtest::stackWithNBAs({{1, "TEXT.NBA"}, {2, "NOENTRY.NBA"}, {3, "../../etc/MISSING.NBA"}});
    NBAManager& m = manager();
    EXPECT_FALSE(m.CallNBA(1, 4, false));
    EXPECT_TRUE(alerted(2241));
    headlessUi().clearLog();
    EXPECT_FALSE(m.CallNBA(2, 4, false));
    ASSERT_EQ(headlessUi().log().size(), 1u);
    EXPECT_NE(headlessUi().log()[0].find("no entry NBAMain"), std::string::npos);
    EXPECT_FALSE(m.CallNBA(3, 4, false));  // missing: silent
    EXPECT_EQ(headlessUi().log().size(), 1u);
}

} // namespace
} // namespace cv
