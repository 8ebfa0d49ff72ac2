// Windows plug-ins through nbahost.exe under Wine: the marshalling table, telling a Windows
// library from others, and real 32-bit test DLLs (skipped, saying why, without Wine or the
// cross compiler).
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <set>
#include <thread>
#include <vector>

#include "core/handles.h"
#include "core/references.h"
#include "media/nba/wine_library.h"
#include "media/nba/winhost/nba_wire.h"

using namespace cv;
namespace fs = std::filesystem;

namespace {

TEST(NBAWineWireTest, TheTableNamesOnlyCommandsThatExistAndItsConditionsHold) {
    // Commands without an entry in the player's table have nothing to marshal.
    std::set<int> noEntry = {0, 104, 120, 121, 129, 130, 147};
    for (int c = 132; c <= 145; ++c) noEntry.insert(c);
    for (int c = 153; c <= 158; ++c) noEntry.insert(c);
    for (int c = 164; c <= 169; ++c) noEntry.insert(c);
    std::set<int> seen;
    for (const NBAWireEntry& e : nbaWireCallbacks) {
        EXPECT_LT(e.code, NBA_COMMAND_COUNT);
        EXPECT_FALSE(noEntry.count(e.code)) << e.code;
        EXPECT_TRUE(seen.insert(e.code).second) << "twice: " << e.code;
        for (int i = 0; i < 5; ++i) {
            // A number given needs no entry; conditions are on what is given, not answered.
            if (e.in[i] & NBA_K_SET) {
                EXPECT_NE(NBA_K_KIND(e.in[i]), NBA_K_INT) << e.code;
            }
            EXPECT_EQ(e.out[i] & ~0x1F, 0) << e.code;
        }
    }
    const size_t count = sizeof nbaWireCallbacks / sizeof *nbaWireCallbacks;
    struct Case {
        int code, param;
        int answered;
        uint32_t p1, p2;
        int kind;
    } cases[] = {
        {5, 2, 0, 0, 0, NBA_K_CSTRING},          // go to a card by name
        {5, 2, 0, 7, 0, -1},                     // by id: p3 is not read
        {24, 3, 0, 0xFFFE0000u, 0, NBA_K_CSTRING},
        {24, 3, 0, 0x00000003u, 0, -1},
        {31, 0, 1, 1, 0, NBA_K_RECT},
        {33, 4, 0, 1, 0, NBA_K_POINT},
        {54, 0, 0, 0x00401000u, 3, NBA_K_FILELOC},  // a sound file's location record
        {54, 0, 1, 0x00401000u, 3, -1},
        {67, 1, 0, 1301, 5, NBA_K_HANDLE},       // the data for the called plug-in
        {67, 1, 1, 1301, 5, NBA_K_HANDLE},      // and its result
        {68, 0, 0, 0, 0, NBA_K_CSTRING},
        {68, 0, 1, 0, 0, NBA_K_INT},            // the answer is a number
        {148, 0, 0, 0, 0, NBA_K_CSTRING},        // a name to a number
        {148, 2, 0, 3, 1, NBA_K_HANDLE},         // a number to a name
        {148, 0, 0, 3, 1, -1},
        {159, 0, 1, 0, 0, NBA_K_CSTRING},
        {4, 0, 0, 0, 0, -1},                    // numbers only
        {26, 2, 1, 0, 0, -1},                   // put back as given
        {28, 2, 1, 5, 0, NBA_K_CSTRING},        // the name answered, whatever was given
    };
    for (const Case& c : cases) {
        const uint32_t p[5] = {c.p1, c.p2, 0, 0, 0};
        EXPECT_EQ(nbaWireKind(nbaWireFind(nbaWireCallbacks, unsigned(count), c.code), c.param, c.answered, p), c.kind)
            << "code " << c.code << " p" << c.param + 1;
    }
}

TEST(NBAWineWireTest, OnlyAPortableExecutableIsAWindowsLibraryAndItNeedsWine) {
    const fs::path dir = fs::temp_directory_path() / "cv_nba_wine_detect";
    fs::create_directories(dir);
    auto file = [&](const char* name, std::vector<uint8_t> bytes) {
        std::ofstream(dir / name, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()),
                                                         std::streamsize(bytes.size()));
        return (dir / name).string();
    };
    std::vector<uint8_t> pe(0x90, 0);
    pe[0] = 'M', pe[1] = 'Z', pe[0x3C] = 0x80;
    pe[0x80] = 'P', pe[0x81] = 'E';
    std::vector<uint8_t> dosOnly = pe;
    dosOnly[0x80] = 'N';  // an old DOS or 16-bit program
    std::vector<uint8_t> farOff = pe;
    farOff[0x3C] = 0xFF, farOff[0x3F] = 0x7F;  // a header offset past the file
    EXPECT_TRUE(isWindowsLibrary(file("pe.dll", pe)));
    EXPECT_FALSE(isWindowsLibrary(file("dos.exe", dosOnly)));
    EXPECT_FALSE(isWindowsLibrary(file("far.dll", farOff)));
    EXPECT_FALSE(isWindowsLibrary(file("short.dll", {'M', 'Z'})));
    EXPECT_FALSE(isWindowsLibrary((dir / "missing.dll").string()));

    // Without Wine a Windows plug-in is refused, and the person is told why, once.
    stopWineHost();
    std::vector<std::string> notices;
    wineHostSettings().wine = "cv-no-such-wine";
    wineHostSettings().notice = [&](const std::string& t) { notices.push_back(t); };
    std::string error;
    EXPECT_FALSE(nativePluginLoader().load((dir / "pe.dll").string(), &error));
    EXPECT_FALSE(nativePluginLoader().load((dir / "pe.dll").string(), &error));
    EXPECT_EQ(notices,
              std::vector<std::string>{"The plug-in pe.dll is a Windows plug-in and cannot run: Wine is not installed."});
    wineHostSettings() = WineHostSettings{};
    fs::remove_all(dir);
}

// A host that answers with damage (a plug-in may have trampled its memory): every call is stopped
// cleanly, the block left as it was and the person told once; nothing in the player breaks.
TEST(NBAWineWireTest, AHostAnsweringDamagedFramesIsStoppedAndTheBlockStaysAsItWas) {
#ifndef CV_FAKE_NBAHOST
    GTEST_SKIP() << "skipped: no python3 when building";
#else
    const fs::path dir = fs::temp_directory_path() / "cv_nba_wine_damage";
    fs::create_directories(dir);
    std::vector<uint8_t> pe(0x90, 0);
    pe[0] = 'M', pe[1] = 'Z', pe[0x3C] = 0x80, pe[0x80] = 'P', pe[0x81] = 'E';
    std::ofstream((dir / "DAMAGED.NBA").string(), std::ios::binary)
        .write(reinterpret_cast<const char*>(pe.data()), std::streamsize(pe.size()));
    // A prefix that already has what the player would otherwise set up through Wine.
    fs::create_directories(dir / "prefix");
    std::ofstream(dir / "prefix" / "user.reg") << "[Software\\\\Wine\\\\Drivers]\n\"Graphics\"=\"null\"\n";
    const char* oldPrefix = getenv("WINEPREFIX");
    const std::string keptPrefix = oldPrefix ? oldPrefix : "";
    setenv("WINEPREFIX", (dir / "prefix").c_str(), 1);
    stopWineHost();
    std::vector<std::string> notices;
    wineHostSettings().wine = "python3";
    wineHostSettings().host = CV_FAKE_NBAHOST;
    wineHostSettings().timeoutMs = 300;
    wineHostSettings().startMs = 5000;
    wineHostSettings().notice = [&](const std::string& t) { notices.push_back(t); };
    const size_t live = LiveReferences();
    const auto callWith = [&](int damage) {
        SCOPED_TRACE(damage);
        setenv("CV_FAKE_HOST_CASE", std::to_string(damage).c_str(), 1);
        stopWineHost();
        std::string error;
        auto lib = nativePluginLoader().load((dir / "DAMAGED.NBA").string(), &error);
        ASSERT_TRUE(lib) << error;
        NativeBlock block;
        block.block.setCommand(NBA_MSG_RUN);
        block.block.setParam(2, 7);
        block.block.bytes[NBA_OFF_DATA] = 42;
        const auto before = block.block.bytes;
        const int32_t value = lib->call(block);
        if (damage < 0) {
            // The fake host itself is sound: its one good answer comes through.
            EXPECT_EQ(value, 5);
            EXPECT_EQ(block.block.bytes[NBA_OFF_DATA], 43);
        } else if (damage < 100) {
            EXPECT_EQ(value, 0);
            EXPECT_EQ(block.block.bytes, before);
        }  // random frames: some are sound enough to be taken, and need only not do harm
    };
    for (int damage = -1; damage <= 11; ++damage) callWith(damage);
    EXPECT_EQ(LiveReferences(), live);
    for (int seed = 100; seed < 120; ++seed) callWith(seed);
    stopWineHost();
    EXPECT_EQ(notices, std::vector<std::string>{"The plug-in DAMAGED.NBA stopped working."});
    unsetenv("CV_FAKE_HOST_CASE");
    if (oldPrefix) setenv("WINEPREFIX", keptPrefix.c_str(), 1);
    else unsetenv("WINEPREFIX");
    wineHostSettings() = WineHostSettings{};
    fs::remove_all(dir);
#endif
}

// ---- Real Windows plug-ins under Wine ------------------------------------------------------
std::function<void(script::NBAParamBlock&)> g_onCallback;
NativeBlock* g_block = nullptr;
void fakeCallback() {
    if (g_onCallback && g_block) g_onCallback(g_block->block);
}
const NBAHostTable kFakeHost = {sizeof(NBAHostTable), NBA_BLOCK_VERSION, fakeCallback, nullptr, nullptr,
                                nullptr, nullptr, nullptr};

class NBAWineTest : public ::testing::Test {
protected:
    void SetUp() override {
#ifndef CV_WIN32_PLUGINS
        GTEST_SKIP() << "skipped: the MinGW-w64 i686 cross compiler was not found when building, so "
                        "nbahost.exe and the test DLLs were not made (scripts/bootstrap --windows-plugins)";
#else
        setenv("WINEPREFIX", CV_WINE_PREFIX, 0);
        const std::string why = windowsPluginsUnavailable();
        if (!why.empty()) GTEST_SKIP() << "skipped: " << why << " (scripts/bootstrap --windows-plugins)";
        wineHostSettings().notice = [this](const std::string& t) { notices.push_back(t); };
        block = NativeBlock{};
        block.host = &kFakeHost;
        g_block = &block;
#endif
    }
    void TearDown() override {
        g_onCallback = nullptr;
        g_block = nullptr;
        wineHostSettings() = WineHostSettings{};
    }
    std::unique_ptr<PluginLibrary> load(const std::string& name) {
        std::string error;
#ifdef CV_WIN32_PLUGINS
        auto lib = nativePluginLoader().load(std::string(CV_WIN32_PLUGINS) + "/" + name, &error);
        EXPECT_TRUE(lib) << error;
        return lib;
#else
        (void)name;
        return nullptr;
#endif
    }
    int32_t run(PluginLibrary& lib, uint16_t message, uint32_t data = 0) {
        block.block = {};
        block.block.setCommand(message);
        block.block.bytes[NBA_OFF_DATA] = uint8_t(data);
        return lib.call(block);
    }
    uint32_t word(size_t off) const {
        const uint8_t* p = &block.block.bytes[off];
        return p[0] | p[1] << 8 | p[2] << 16 | uint32_t(p[3]) << 24;
    }
    NativeBlock block;
    std::vector<std::string> notices;
};

TEST_F(NBAWineTest, TheCounterReadsItsWin32ResourcesCountsAndAlertsWithACountedString) {
    // From a folder whose name is not ASCII, as a person's folders often are.
    const fs::path dir = fs::temp_directory_path() / "cv wine \xc3\xa9t\xc3\xa9";
    fs::create_directories(dir);
#ifdef CV_WIN32_PLUGINS
    fs::copy_file(fs::path(CV_WIN32_PLUGINS) / "COUNTWIN.NBA", dir / "COUNTWIN.NBA",
                  fs::copy_options::overwrite_existing);
#endif
    std::string error;
    auto lib = nativePluginLoader().load((dir / "COUNTWIN.NBA").string(), &error);
    ASSERT_TRUE(lib) << error;
    EXPECT_TRUE(lib->hasEntry());
    const auto res = lib->resources();
    ASSERT_TRUE(res);
    EXPECT_EQ(res->fileName, "COUNTWIN.NBA");
    EXPECT_EQ(res->shortName, "Counter (Windows)");
    EXPECT_EQ(res->aboutText, "Counts its runs./Test plug-in");
    EXPECT_EQ(res->aboutFlags, 7);
    EXPECT_EQ(res->nbaId, 1301);

    std::vector<std::string> alerts;
    g_onCallback = [&](script::NBAParamBlock& b) {
        ASSERT_EQ(b.command(), NBA_CMD_ALERT);
        alerts.push_back(CountedStringAt(Handle(b.param(1))).value_or("<not a reference>"));
        b.setParam(1, 53);
    };
    const size_t live = LiveReferences();
    run(*lib, NBA_MSG_RUN, 41);
    EXPECT_EQ(word(NBA_OFF_DATA), 42u);
    EXPECT_EQ(word(NBA_OFF_PARAM3), 53u);  // the alert's answer reached the plug-in
    EXPECT_EQ(alerts, std::vector<std::string>{"Count: 42"});
    EXPECT_EQ(LiveReferences(), live);  // the string's copy was let go
    lib.reset();
    fs::remove_all(dir);
}

TEST_F(NBAWineTest, ASoundFilesLocationRecordCrossesAsItsPathAndGoesBack) {
    auto lib = load("COUNTWIN.NBA");
    ASSERT_TRUE(lib);
    std::string path;
    g_onCallback = [&](script::NBAParamBlock& b) {
        ASSERT_EQ(b.command(), 54);
        path = ReferenceBytes(Handle(b.param(1))).value_or("<not a reference>");
        EXPECT_EQ(b.param(2), 3u);
    };
    const size_t live = LiveReferences();
    run(*lib, 21);
    EXPECT_EQ(path, "C:\\Sounds\\chime.wav");  // up to the NUL, not the whole record
    EXPECT_EQ(LiveReferences(), live);
}

TEST_F(NBAWineTest, AHandleAPluginMakesIsThePlayersUntilThePluginFreesIt) {
    auto lib = load("COUNTWIN.NBA");
    ASSERT_TRUE(lib);
    const size_t live = LiveReferences();
    run(*lib, 20);
    const Handle made = Handle(word(NBA_OFF_RESULT));
    EXPECT_EQ(ReferenceBytes(made).value_or("<not a reference>"), "Made by the counter");
    EXPECT_EQ(LiveReferences(), live + 1);
    run(*lib, 24);  // other calls leave it be
    EXPECT_TRUE(IsReference(made));
    run(*lib, 28);  // GlobalFree: the one memory both had is gone
    EXPECT_FALSE(IsReference(made));
    EXPECT_EQ(LiveReferences(), live);
}

TEST_F(NBAWineTest, TheFrameWindowLiesOverTheCardAndIsShownOnlyWithAPluginsWindowsInIt) {
    stopWineHost();
    std::pair<int, int> origin{100, 50};
    wineHostSettings().frameWidth = 320;
    wineHostSettings().frameHeight = 200;
    wineHostSettings().frameOrigin = [&] { return origin; };
    auto lib = load("COUNTWIN.NBA");
    ASSERT_TRUE(lib);
    block.block = {};
    block.block.setCommand(22);
    block.block.bytes[NBA_OFF_FRAME_WINDOW] = 77;
    uint32_t seen = 0;
    g_onCallback = [&](script::NBAParamBlock& b) { seen = b.bytes[NBA_OFF_FRAME_WINDOW]; };
    lib->call(block);
    EXPECT_EQ(seen, 77u);
    EXPECT_EQ(word(NBA_OFF_PARAM5), 1u);  // a window, hidden
    EXPECT_EQ(word(NBA_OFF_PARAM3), 100u << 16 | 50u);
    EXPECT_EQ(word(NBA_OFF_PARAM4), 320u << 16 | 200u);
    EXPECT_EQ(word(NBA_OFF_FRAME_WINDOW), 77u);  // the player's own number again
    // The player's window moved and the card grew: the next call finds the frame there.
    origin = {300, 20};
    wineHostSettings().frameWidth = 480;
    run(*lib, 22);
    EXPECT_EQ(word(NBA_OFF_PARAM3), 300u << 16 | 20u);
    EXPECT_EQ(word(NBA_OFF_PARAM4), 480u << 16 | 200u);
    // A plug-in's child window shows the frame; without it the frame hides again.
    EXPECT_EQ(run(*lib, 25), 1);
    run(*lib, 22);
    EXPECT_EQ(word(NBA_OFF_PARAM5), 2u);
    run(*lib, 26);
    run(*lib, 22);
    EXPECT_EQ(word(NBA_OFF_PARAM5), 1u);
    stopWineHost();
}

TEST_F(NBAWineTest, CallbacksOfAPluginsTimerBetweenCallsAreAnsweredAtTheIdleMomentOrDoNothing) {
    stopWineHost();
    auto lib = load("COUNTWIN.NBA");
    ASSERT_TRUE(lib);
    std::vector<std::string> alerts;
    g_onCallback = [&](script::NBAParamBlock& b) {
        alerts.push_back(std::to_string(b.command()) + " " +
                         ReferenceBytes(Handle(b.param(1))).value_or("<not a reference>"));
    };
    // Each of three ticks calls back (alert 68) with no call under way: the player answers
    // them at its idle moments, on a block of their own.
    NativeBlock* const callBlock = &block;
    wineHostSettings().betweenCalls = [&](NativeBlock& b) {
        b.host = &kFakeHost;
        g_block = &b;
        return true;
    };
    run(*lib, 23);
    for (int i = 0; i < 100 && alerts.size() < 3; ++i) {
        wineHostIdle();
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    g_block = callBlock;
    EXPECT_EQ(alerts, std::vector<std::string>(3, "68 \x04" "Tick"));
    run(*lib, 24);
    EXPECT_EQ(word(NBA_OFF_PARAM5), 3u);
    // Without the player's say they do nothing, and a callback still waiting when the player
    // calls is answered on the way, the calls staying in step.
    wineHostSettings().betweenCalls = nullptr;
    alerts.clear();
    run(*lib, 23);
    for (int i = 0; i < 100; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
        run(*lib, 24);
        if (word(NBA_OFF_PARAM5) == 3) break;
    }
    EXPECT_EQ(word(NBA_OFF_PARAM5), 3u);
    EXPECT_TRUE(alerts.empty());
    run(*lib, NBA_MSG_RUN, 4);
    EXPECT_EQ(alerts, std::vector<std::string>{"68 \x08" "Count: 5"});
    EXPECT_EQ(word(NBA_OFF_DATA), 5u);
    EXPECT_TRUE(notices.empty());
    stopWineHost();
}

TEST_F(NBAWineTest, APluginWaitingForThePersonInItsOwnMessageLoopIsNotStopped) {
    stopWineHost();
    wineHostSettings().timeoutMs = 1500;
    int waits = 0;
    wineHostSettings().whileWaiting = [&] {
        ++waits;
        return true;
    };
    auto lib = load("COUNTWIN.NBA");
    ASSERT_TRUE(lib);
    block.block = {};
    block.block.setCommand(27);
    block.block.setParam(1, 4000);  // longer than the player waits for a silent plug-in
    EXPECT_EQ(lib->call(block), 27);
    EXPECT_TRUE(notices.empty());
    EXPECT_GE(waits, 4);  // the player kept its window painted meanwhile
    run(*lib, NBA_MSG_RUN, 1);
    EXPECT_EQ(word(NBA_OFF_DATA), 2u);
    // The person closes the player during such a wait: the plug-in is stopped, without a word.
    wineHostSettings().whileWaiting = [] { return false; };
    block.block = {};
    block.block.setCommand(27);
    block.block.setParam(1, 60000);
    const auto before = block.block.bytes;
    EXPECT_EQ(lib->call(block), 0);  // not the 27 it answers when it has waited
    EXPECT_EQ(block.block.bytes, before);
    EXPECT_TRUE(notices.empty());
    stopWineHost();
}

TEST_F(NBAWineTest, AnExtraWritesItsTitleIntoTheHandleItIsGiven) {
    auto lib = load("WINXTRA.xtr");
    ASSERT_TRUE(lib);
    const Handle room = NewReference(34);
    block.block = {};
    block.block.setCommand(NBA_MSG_PARAM);
    block.block.setParam(1, 33);
    block.block.setParam(2, uint32_t(room));
    EXPECT_EQ(lib->call(block), 0);
    EXPECT_EQ(block.block.param(2), uint32_t(room));  // the player's own number again
    const std::string title = ReferenceBytes(room).value_or("");
    EXPECT_EQ(title.substr(0, title.find('\0')), "Windows Extra...");
    DisposeReference(room);
}

TEST_F(NBAWineTest, AStuckOrCrashingPluginIsStoppedOnceSaidAndTheHostStartsAgain) {
    auto counter = load("COUNTWIN.NBA");
    auto stuck = load("STUCK.NBA");
    ASSERT_TRUE(counter && stuck);
    g_onCallback = [](script::NBAParamBlock& b) { b.setParam(1, 52); };
    wineHostSettings().timeoutMs = 1500;
    const auto t0 = std::chrono::steady_clock::now();
    EXPECT_EQ(run(*stuck, NBA_MSG_RUN, 9), 0);
    EXPECT_LT(std::chrono::steady_clock::now() - t0, std::chrono::seconds(8));
    EXPECT_EQ(word(NBA_OFF_DATA), 9u);  // the call did nothing
    run(*stuck, NBA_MSG_ABOUT);         // a crash in a fresh host
    EXPECT_EQ(notices, std::vector<std::string>{"The plug-in STUCK.NBA stopped working."});
    // A library loaded before the restarts is loaded again and runs.
    run(*counter, NBA_MSG_RUN, 1);
    EXPECT_EQ(word(NBA_OFF_DATA), 2u);
    stopWineHost();
}

} // namespace
