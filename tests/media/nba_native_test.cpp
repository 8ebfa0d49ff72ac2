// Plug-in libraries of this machine: the sample counter through QLibrary, a library without
// NBAMain, a file that is no library, and one that aborts while it loads.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "core/references.h"
#include "media/nba/plugin_library.h"
#include "stack/stack_document.h"
#include "stack/stack_io.h"

namespace cv {
namespace {

namespace fs = std::filesystem;

script::NBAParamBlock* g_block = nullptr;
std::vector<std::string> g_alerts;

void recordCallback() {
    if (g_block->command() == NBA_CMD_ALERT) g_alerts.push_back(CountedStringAt(Handle(g_block->param(1))).value_or("?"));
}
uint8_t* lockRef(NBARef r) { return IsReference(r) ? LockHandle(r) : nullptr; }
void unlockRef(NBARef r) {
    if (IsReference(r)) UnlockHandle(r);
}
uint32_t sizeRef(NBARef r) { return ReferenceSize(r); }
NBARef newRef(uint32_t n) { return NewReference(n); }
void disposeRef(NBARef r) { DisposeReference(r); }
const NBAHostTable kTable = {sizeof(NBAHostTable), NBA_BLOCK_VERSION, recordCallback, lockRef, unlockRef, sizeRef, newRef, disposeRef};

const std::string kSamples = std::string(CV_BIN_DIR) + "/NBAS/";
const std::string kTests = std::string(CV_TEST_PLUGINS) + "/";

TEST(NBANativeTest, TheCounterReadsItsResourcesAndCountsInTheDataWord) {
    std::string error;
    auto lib = nativePluginLoader().load(kSamples + "COUNTER.NBA", &error);
    ASSERT_TRUE(lib) << error;
    ASSERT_TRUE(lib->hasEntry());
    const auto res = lib->resources();
    ASSERT_TRUE(res);
    EXPECT_EQ(res->nbaId, 1210);
    EXPECT_EQ(res->fileName, "COUNTER.NBA");
    EXPECT_EQ(res->shortName, "Counter");

    NativeBlock nb;
    nb.host = &kTable;
    g_block = &nb.block;
    g_alerts.clear();
    const size_t live = LiveReferences();
    for (int i = 0; i < 2; ++i) {
        nb.block.setCommand(NBA_MSG_RUN);
        nb.block.bytes[NBA_OFF_CALLBACK] = 1;
        lib->call(nb);
    }
    EXPECT_EQ(nb.block.bytes[NBA_OFF_DATA], 2);
    EXPECT_EQ(g_alerts, (std::vector<std::string>{"Count: 1", "Count: 2"}));
    EXPECT_EQ(LiveReferences(), live);  // it disposed of its texts
}

TEST(NBANativeTest, LibrariesThatCannotRun) {
    std::string error;
    auto noEntry = nativePluginLoader().load(kTests + "NO_ENTRY.NBA", &error);
    ASSERT_TRUE(noEntry) << error;
    EXPECT_FALSE(noEntry->hasEntry());
    EXPECT_EQ(noEntry->resources()->nbaId, 7001);
    NativeBlock nb;
    EXPECT_EQ(noEntry->call(nb), 0);

    const fs::path text = fs::temp_directory_path() / ("cv-not-a-library-" + std::to_string(getpid()) + ".NBA");
    std::ofstream(text) << "MZ this is text";
    EXPECT_FALSE(nativePluginLoader().load(text.string(), &error));
    EXPECT_FALSE(error.empty());
    fs::remove(text);
}

// A plug-in may take the player down as it loads; the open stack's file stays as it was,
// since nothing is written to it but through a save's temporary file.
TEST(NBANativeDeathTest, AnAbortWhileLoadingLeavesTheOpenStackAlone) {
    const fs::path dir = fs::temp_directory_path() / ("cv-abort-" + std::to_string(getpid()));
    fs::create_directories(dir);
    const std::string stack = (dir / "open.stk").string();
    ASSERT_TRUE(NewStack(64, 64, 8));
    ASSERT_EQ(SaveStack(stack), 0);
    DisposeStack();
    std::ifstream in(stack, std::ios::binary);
    const std::string before((std::istreambuf_iterator<char>(in)), {});
    ASSERT_FALSE(before.empty());
    EXPECT_DEATH(
        {
            OpenStack(stack);
            theStack().changed = true;
            nativePluginLoader().load(kTests + "ABORT_INIT.NBA", nullptr);
        },
        "");
    std::ifstream again(stack, std::ios::binary);
    EXPECT_EQ(std::string((std::istreambuf_iterator<char>(again)), {}), before);
    fs::remove_all(dir);
}

} // namespace
} // namespace cv
