// Saving never risks the original: a save that fails at any call, or is killed at any moment,
// leaves the stack file as it was (or, once the new file has its name, whole and new), and no
// temporary file behind. Saves keep what the file was (permissions, owner, a symbolic link),
// refuse what is not a stack file, and clear away the temporary files of killed saves.
#include "stack/stack_io.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <random>
#include <thread>

#include "core/file_io.h"
#include "core/ui.h"
#include "stack/chunk_file.h"
#include "stack/stack_document.h"
#include "stack_test_support.h"

using namespace cv;
using namespace cvtest;
namespace fs = std::filesystem;

namespace {

// The real file system, but the n-th open, write, flush, close or rename fails.
class FailingLayer : public FileLayer {
public:
    explicit FailingLayer(int failAt) : failAt_(failAt) {}
    int open(const std::string& path, int flags, mode_t mode) override {
        return fail() ? -1 : FileLayer::open(path, flags, mode);
    }
    ssize_t write(int fd, const void* data, size_t n) override {
        if (fail()) return -1;
        // Short writes, as a full pipe or a signal gives them: the writer must go on.
        return FileLayer::write(fd, data, n > 1 ? n / 2 : n);
    }
    int fsync(int fd) override { return fail() ? -1 : FileLayer::fsync(fd); }
    int close(int fd) override {
        if (!fail()) return FileLayer::close(fd);
        FileLayer::close(fd); // a close that reports an error has still closed the file
        errno = EIO;
        return -1;
    }
    int rename(const std::string& from, const std::string& to) override {
        return fail() ? -1 : FileLayer::rename(from, to);
    }
    bool failed() const { return failed_; }

private:
    bool fail() {
        if (++calls_ != failAt_) return false;
        failed_ = true;
        errno = EIO;
        return true;
    }
    int failAt_;
    int calls_ = 0;
    bool failed_ = false;
};

class SaveSafetyTest : public StackTest {
protected:
    void TearDown() override {
        setFileLayer(nullptr);
        StackTest::TearDown();
    }
    std::vector<std::string> temporaryFiles(const fs::path& folder) const {
        std::vector<std::string> names;
        for (auto& e : fs::directory_iterator(folder))
            if (e.path().filename().string().rfind("CVTMP", 0) == 0) names.push_back(e.path().filename().string());
        return names;
    }
    // Opens the stack at `p` and changes it, so that a save writes other bytes than it holds.
    void openAndChange(const std::string& p) {
        ASSERT_EQ(OpenStack(p), 0);
        SetCurrentChunkFile(theStack().chunkFile);
        ASSERT_EQ(AddChunk(NewHandleFrom("changed", 7), 0, fcc("CVpr"), 0, nullptr), 0);
    }
    static void makeOld(const std::string& p) {
        const timespec hourAgo{time(nullptr) - 3600, 0};
        const timespec times[2] = {hourAgo, hourAgo};
        ASSERT_EQ(::utimensat(AT_FDCWD, p.c_str(), times, 0), 0);
    }
};

} // namespace

TEST_F(SaveSafetyTest, AFailureAtAnyCallLeavesTheOriginalAndNoTemporaryFile) {
    const Bytes before = stackFile(richStack());
    const std::string p = write("s.stk", before);
    openAndChange(p);
    ASSERT_EQ(SaveStack(path("expected.stk")), 0);
    const Bytes after = readFile(path("expected.stk"));
    ASSERT_NE(after, before);

    int failures = 0;
    for (int n = 1; n < 200; ++n) {
        ASSERT_TRUE(writeFile(p, before));
        openAndChange(p);
        headlessUi().clearLog();
        FailingLayer layer(n);
        setFileLayer(&layer);
        const int r = SaveStack(p);
        setFileLayer(nullptr);
        EXPECT_TRUE(temporaryFiles(dir).empty()) << "call " << n;
        if (!layer.failed()) { // every call has had its turn
            EXPECT_EQ(r, 0);
            EXPECT_EQ(readFile(p), after);
            break;
        }
        ++failures;
        if (r == 0) {
            // Only the calls after the rename may fail without failing the save.
            EXPECT_EQ(readFile(p), after) << "call " << n;
            continue;
        }
        EXPECT_FALSE(alerts().empty()) << "call " << n;
        ASSERT_EQ(readFile(p), before) << "call " << n;
        ASSERT_EQ(OpenStack(p), 0) << "call " << n;
    }
    EXPECT_GT(failures, 8); // open, writes, flushes, closes and the rename were all reached
}

TEST_F(SaveSafetyTest, SavesKilledAtAnyMomentLeaveOneWholeStackAndTheirFilesAreCleared) {
    // About 6 MB in 60 chunks: a save long enough to be killed in the middle.
    StackSpec big = richStack();
    for (uint16_t i = 0; i < 60; ++i)
        big.chunks.push_back({fcc("CVpr"), uint16_t(1000 + i), 0, "", 0, Bytes(100000, uint8_t(i))});
    big.flags |= 0x01; // keep every resource
    const Bytes before = stackFile(big);
    const std::string p = write("big.stk", before);
    openAndChange(p);

    auto saveInChild = [&](const std::string& target) {
        const pid_t pid = fork();
        if (pid == 0) _exit(SaveStack(target) == 0 ? 0 : 1);
        return pid;
    };
    // One whole save, to learn the new bytes and how long a save takes here.
    const auto t0 = std::chrono::steady_clock::now();
    pid_t pid = saveInChild(path("expected.stk"));
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    const auto took = std::chrono::steady_clock::now() - t0;
    const Bytes after = readFile(path("expected.stk"));
    fs::remove(path("expected.stk"));

    std::mt19937 random(12345);
    const auto span = std::chrono::duration_cast<std::chrono::microseconds>(took).count();
    std::uniform_int_distribution<long> delay(0, std::max<long>(span, 1000));
    for (int round = 0; round < 8; ++round) {
        ASSERT_TRUE(writeFile(p, before));
        pid = saveInChild(p);
        std::this_thread::sleep_for(std::chrono::microseconds(delay(random)));
        kill(pid, SIGKILL);
        ASSERT_EQ(waitpid(pid, &status, 0), pid);
        // File times count in clock ticks: the next save starts a tick later than this one
        // last wrote, as a player started afterwards would.
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        const Bytes now = readFile(p);
        const size_t left = temporaryFiles(dir).size();
        EXPECT_TRUE(now == before || now == after) << "round " << round;
        EXPECT_TRUE(left == 0 || now == before) << "round " << round; // killed before the rename
        // Each save clears the file the save before it left.
        EXPECT_LE(left, 1u) << "round " << round;
    }
    pid = saveInChild(p);
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    EXPECT_EQ(readFile(p), after);
    EXPECT_TRUE(temporaryFiles(dir).empty());
    ASSERT_EQ(OpenStack(p), 0);
}

TEST_F(SaveSafetyTest, StaleTemporaryFilesAreRemovedAndOthersKept) {
    const std::string stale = write("CVTMP003.TMP", Bytes(10, 1));
    const std::string busy = write("CVTMP004.TMP", Bytes(10, 2));
    const std::string fresh = write("CVTMP005.TMP", Bytes(10, 3));
    const std::string notOurs1 = write("CVTMP00A.TMP", Bytes{4});
    const std::string notOurs2 = write("cvtmp006.tmp", Bytes{5});
    for (const std::string& f : {stale, busy, notOurs1, notOurs2}) makeOld(f);
    // Another save still writing: it holds the lock on its file.
    const int held = ::open(busy.c_str(), O_RDONLY);
    ASSERT_EQ(::flock(held, LOCK_EX), 0);

    ASSERT_EQ(OpenStack(write("a.stk", stackFile(richStack()))), 0);
    ASSERT_EQ(SaveStack(path("a.stk")), 0);
    ::close(held);
    EXPECT_FALSE(fs::exists(stale));
    EXPECT_TRUE(fs::exists(busy));
    EXPECT_TRUE(fs::exists(fresh)); // may belong to a player started after this one
    EXPECT_TRUE(fs::exists(notOurs1));
    EXPECT_TRUE(fs::exists(notOurs2));
}

TEST_F(SaveSafetyTest, AFullSetOfTemporaryNamesIsReportedAsSuch) {
    const Bytes before = stackFile(richStack());
    const std::string p = write("a.stk", before);
    openAndChange(p);
    char name[16];
    for (int i = 0; i < 1000; ++i) {
        std::snprintf(name, sizeof name, "CVTMP%03d.TMP", i);
        write(name, {});
    }
    EXPECT_EQ(SaveStack(p), -12);
    EXPECT_EQ(alerts(), std::vector<int>{9121});
    EXPECT_EQ(readFile(p), before);
    // Left by saves killed before this player started, they are cleared and the save is made.
    for (int i = 0; i < 1000; ++i) {
        std::snprintf(name, sizeof name, "CVTMP%03d.TMP", i);
        makeOld(path(name));
    }
    EXPECT_EQ(SaveStack(p), 0);
    EXPECT_TRUE(temporaryFiles(dir).empty());
}

TEST_F(SaveSafetyTest, ASaveKeepsPermissionsOwnerAndGroup) {
    const std::string p = write("a.stk", stackFile(richStack()));
    ::chmod(p.c_str(), 0600);
    const bool root = geteuid() == 0;
    ASSERT_TRUE(!root || ::chown(p.c_str(), 1234, 5678) == 0);
    openAndChange(p);
    ASSERT_EQ(SaveStack(p), 0);
    struct stat st;
    ASSERT_EQ(::stat(p.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0600u);
    if (root) {
        EXPECT_EQ(st.st_uid, 1234u);
        EXPECT_EQ(st.st_gid, 5678u);
    }
    ::chmod(p.c_str(), 0640);
    ASSERT_EQ(SaveStack(p), 0);
    ASSERT_EQ(::stat(p.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u);
    // A new file gets the usual permissions for a new file.
    const mode_t mask = ::umask(022);
    ASSERT_EQ(SaveStack(path("new.stk")), 0);
    ::umask(mask);
    ASSERT_EQ(::stat(path("new.stk").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0644u);
}

TEST_F(SaveSafetyTest, ASymbolicLinkIsSavedThroughToTheFileItNames) {
    fs::create_directory(path("real"));
    const Bytes before = stackFile(richStack());
    const std::string real = write("real/a.stk", before);
    const std::string link = path("a-link.stk");
    fs::create_symlink("real/a.stk", link); // relative to the link's folder
    openAndChange(link);
    ASSERT_EQ(SaveStack(link), 0);
    EXPECT_TRUE(fs::is_symlink(link));
    EXPECT_EQ(fs::read_symlink(link), fs::path("real/a.stk"));
    EXPECT_NE(readFile(real), before);
    EXPECT_EQ(readFile(link), readFile(real));
    EXPECT_TRUE(temporaryFiles(dir).empty());
    EXPECT_TRUE(temporaryFiles(path("real")).empty());
    EXPECT_EQ(theStack().path, link);
    // A link to nothing yet makes the file it names.
    fs::create_symlink("real/b.stk", path("b-link.stk"));
    ASSERT_EQ(SaveStack(path("b-link.stk")), 0);
    EXPECT_TRUE(fs::is_symlink(path("b-link.stk")));
    EXPECT_EQ(readFile(path("real/b.stk")), readFile(real));
    // A loop of links names no file.
    fs::create_symlink("loop2.stk", path("loop1.stk"));
    fs::create_symlink("loop1.stk", path("loop2.stk"));
    headlessUi().clearLog();
    EXPECT_EQ(SaveStack(path("loop1.stk")), -12);
    EXPECT_EQ(alerts(), std::vector<int>{9120});
}

TEST_F(SaveSafetyTest, OnlyRegularFilesAreSavedOver) {
    openAndChange(write("a.stk", stackFile(richStack())));
    fs::create_directory(path("folder.stk"));
    ASSERT_EQ(::mkfifo(path("pipe.stk").c_str(), 0600), 0);
    for (const std::string& target : {path("folder.stk"), path("pipe.stk"), std::string("/dev/null")}) {
        headlessUi().clearLog();
        EXPECT_EQ(SaveStack(target), -12) << target;
        EXPECT_EQ(alerts(), std::vector<int>{9120}) << target;
    }
    EXPECT_TRUE(fs::is_directory(path("folder.stk")));
    EXPECT_TRUE(fs::is_fifo(path("pipe.stk")));
    EXPECT_TRUE(fs::is_character_file("/dev/null"));
    EXPECT_TRUE(temporaryFiles(dir).empty());
    EXPECT_TRUE(temporaryFiles("/dev").empty());
}

TEST_F(SaveSafetyTest, AHardLinkKeepsTheStackAsItWas) {
    // Saving replaces the name saved to; another name of the same file keeps the old stack.
    const Bytes before = stackFile(richStack());
    const std::string p = write("a.stk", before);
    fs::create_hard_link(p, path("b.stk"));
    openAndChange(p);
    ASSERT_EQ(SaveStack(p), 0);
    EXPECT_NE(readFile(p), before);
    EXPECT_EQ(readFile(path("b.stk")), before);
}
