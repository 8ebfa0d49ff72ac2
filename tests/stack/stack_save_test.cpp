// Saving stacks: stacks written by another writer come back byte for byte, changes reach the
// file, and the refusals (read-only target, locked folder) and failures leave files alone.
#include "stack/stack_io.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <unistd.h>

#include "core/byte_order.h"
#include "core/ui.h"
#include "stack/chunk_file.h"
#include "stack/stack_document.h"
#include "stack_test_support.h"

using namespace cv;
using namespace cvtest;
namespace fs = std::filesystem;

namespace {

class SaveTest : public StackTest {
protected:
    std::vector<std::string> folderNames() const {
        std::vector<std::string> names;
        for (auto& e : fs::directory_iterator(dir)) names.push_back(e.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }
};

} // namespace

// Also through the stack tool, when it is built.
TEST_F(SaveTest, StacksThatNeedNoChangeComeBackByteForByte) {
    const std::string tool = std::string(CV_BIN_DIR) + "/cvstack";
    for (auto& [name, bytes] : sampleStacks()) {
        const std::string in = write(name + ".stk", bytes), out = path(name + "-out.stk");
        ASSERT_EQ(OpenStack(in), 0) << name;
        ASSERT_EQ(SaveStack(out), 0) << name;
        EXPECT_EQ(readFile(out), bytes) << name;
        if (!fs::exists(tool)) continue;
        const std::string cmd = "QT_QPA_PLATFORM=offscreen '" + tool + "' resave '" + in + "' '" + out + "-tool'";
        ASSERT_EQ(std::system(cmd.c_str()), 0) << name;
        EXPECT_EQ(readFile(out + "-tool"), bytes) << name << " (tool)";
    }
    EXPECT_TRUE(alerts().empty());
}

TEST_F(SaveTest, SavingOverItsOwnFileKeepsEveryChunkReachable) {
    const Bytes rich = stackFile(richStack());
    const std::string p = write("own.stk", rich);
    ASSERT_EQ(OpenStack(p), 0);
    ASSERT_EQ(SaveStack(p), 0);
    EXPECT_EQ(readFile(p), rich);
    EXPECT_EQ(folderNames(), std::vector<std::string>{"own.stk"}); // no temporary file left
    // Data purged from memory is read again from the new file.
    SetCurrentChunkFile(theStack().chunkFile);
    DisposeHandle(GetChunk(fcc("Snd "), 200));
    EXPECT_EQ(bytesOf(GetChunk(fcc("Snd "), 200)), std::string(1001, 0x42));
}

TEST_F(SaveTest, ChangesReachTheFile) {
    StackSpec s = richStack();
    s.lastChunkId = 0x00012345; // kept whole: the field is 32 bits wide
    ASSERT_EQ(OpenStack(write("c.stk", stackFile(s))), 0);
    SetCurrentChunkFile(theStack().chunkFile);
    uint16_t id = 0;
    ASSERT_EQ(AddChunk(NewHandleFrom("new", 3), 0, fcc("CVpr"), 0, nullptr, &id), 0);
    EXPECT_EQ(id, 0x2346);
    ASSERT_EQ(RemoveChunk(fcc("WkSp"), 128), 0);
    ASSERT_EQ(AddCard(5, false), 6);
    ASSERT_EQ(SaveStack(path("c2.stk")), 0);

    const Bytes out = readFile(path("c2.stk"));
    EXPECT_EQ(rdBe16(out, 4), 6);
    EXPECT_EQ(rdBe32(out, kHeaderLastId), 0x2346u);
    uint64_t size = 128;
    for (int n = 1; n <= 6; ++n) size += cardSize(n);
    EXPECT_EQ(rdBe32(out, kHeaderChunkOffset), size);
    SetCurrentChunkFile(theStack().chunkFile);
    const uint32_t count = rdBe32(out, kHeaderChunkCount);
    EXPECT_EQ(count, s.chunks.size());
    for (auto& e : currentChunkFile()->directory) size += 68 + roundUp4(e.dataLength);
    EXPECT_EQ(out.size(), size);

    ASSERT_EQ(OpenStack(path("c2.stk")), 0);
    EXPECT_EQ(theStack().cardCount(), 6);
    EXPECT_EQ(CardIdOf(CardByNumber(6)), 9);
    EXPECT_EQ(theStack().h16(10), 10);
    SetCurrentChunkFile(theStack().chunkFile);
    EXPECT_EQ(bytesOf(GetChunk(fcc("CVpr"), 0x2346)), "new");
    EXPECT_EQ(GetChunk(fcc("WkSp"), 128), 0);
}

TEST_F(SaveTest, ANewStackSavesAndOpens) {
    ASSERT_TRUE(NewStack(320, 200, 8));
    ASSERT_EQ(SaveStack(path("new.stk")), 0);
    const Bytes out = readFile(path("new.stk"));
    ASSERT_EQ(out.size(), 228u);
    EXPECT_EQ(rdBe16(out, 8), 5);
    EXPECT_EQ(rdBe32(out, kHeaderChunkCount), 0u);
    EXPECT_EQ(rdBe32(out, kHeaderLastId), 1u);
    EXPECT_EQ(rdBe16(out, out.size() - 2), 0xFACE);
    ASSERT_EQ(OpenStack(path("new.stk")), 0);
    EXPECT_EQ(theStack().cardWidth(), 320);
    EXPECT_EQ(CardIdOf(CardByNumber(1)), 1);
}

TEST_F(SaveTest, AReadOnlyTargetIsRefusedUntouched) {
    const Bytes rich = stackFile(richStack());
    ASSERT_EQ(OpenStack(write("a.stk", rich)), 0);
    const std::string target = write("locked.stk", Bytes{1, 2, 3});
    fs::permissions(target, fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
    EXPECT_EQ(SaveStack(target), -2688);
    EXPECT_EQ(alerts(), std::vector<int>{-2688});
    EXPECT_EQ(readFile(target), (Bytes{1, 2, 3}));
    EXPECT_EQ(folderNames(), (std::vector<std::string>{"a.stk", "locked.stk"}));
}

TEST_F(SaveTest, AFolderThatCannotBeWrittenIsRefused) {
    ASSERT_EQ(OpenStack(write("a.stk", stackFile(richStack()))), 0);
    EXPECT_EQ(SaveStack(path("no-such-folder/b.stk")), -12);
    EXPECT_EQ(alerts(), std::vector<int>{9006});
    if (geteuid() != 0) { // a folder without write permission stops everyone but root
        fs::create_directory(path("ro"));
        fs::permissions(path("ro"), fs::perms::owner_read | fs::perms::owner_exec);
        headlessUi().clearLog();
        EXPECT_EQ(SaveStack(path("ro/b.stk")), -12);
        EXPECT_EQ(alerts(), std::vector<int>{9006});
    }
}

TEST_F(SaveTest, TemporaryNamesCountUpAndExistingOnesAreLeftAlone) {
    auto claim = [&] {
        TemporaryFile t = claimTemporaryFile(dir.string());
        EXPECT_TRUE(t);
        ::close(t.fd);
        return t.path;
    };
    std::string claimed = claim();
    EXPECT_EQ(claimed, path("CVTMP000.TMP"));
    fs::remove(claimed);
    write("CVTMP000.TMP", Bytes{7});
    EXPECT_EQ(claim(), path("CVTMP001.TMP"));
    // A name claimed is taken: the next claim, as by another save at the same time, gets the next.
    for (int i = 2; i <= 9; ++i) write("CVTMP00" + std::to_string(i) + ".TMP", {});
    claimed = claim();
    EXPECT_EQ(claimed, path("CVTMP010.TMP"));
    fs::remove(claimed);
    // Files made since this process started may be another player's: a save leaves them alone.
    ASSERT_EQ(OpenStack(write("a.stk", stackFile(richStack()))), 0);
    ASSERT_EQ(SaveStack(path("b.stk")), 0);
    EXPECT_EQ(readFile(path("CVTMP000.TMP")), Bytes{7});
    EXPECT_EQ(folderNames().size(), 12u); // a.stk, b.stk and the ten files made here
}

TEST_F(SaveTest, AFailedWriteLeavesTheTargetAsItWas) {
    ASSERT_EQ(OpenStack(write("a.stk", stackFile(richStack()))), 0);
    const std::string target = write("b.stk", Bytes{4, 5, 6});
    // An action list whose length no longer fits cannot be written back.
    SetCurrentChunkFile(theStack().chunkFile);
    put32(memRefs().data(GetChunk(fcc("Actn"), 500)) + 12, 0x7FFFFFFF);
    EXPECT_EQ(SaveStack(target), 2694);
    EXPECT_EQ(alerts(), std::vector<int>{2694});
    EXPECT_EQ(readFile(target), (Bytes{4, 5, 6}));
    EXPECT_EQ(folderNames(), (std::vector<std::string>{"a.stk", "b.stk"}));
}
