// Handles: numbering, table growth, slot reuse, resizing, locking and the splicing operations.
#include "core/handles.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

using namespace cv;

namespace {

std::string text(Handle h) {
    return std::string(reinterpret_cast<const char*>(memRefs().data(h)), GetHandleSize(h));
}

Handle make(const std::string& s) { return NewHandleFrom(s.data(), uint32_t(s.size())); }

uint32_t guardAfter(HandleTable& t, Handle h) {
    uint32_t g;
    std::memcpy(&g, t.data(h) + t.size(h), 4);
    return g;
}

// Releases the allocation limit and the handles of a test, whatever happens in it.
class SplicingTest : public ::testing::Test {
protected:
    void TearDown() override {
        memRefs().setAllocationLimit(0);
        for (Handle h : owned) DisposeHandle(h);
    }
    Handle own(Handle h) {
        owned.push_back(h);
        return h;
    }
    // Allows `extra` bytes more than are in use now.
    void limitTo(size_t extra) { memRefs().setAllocationLimit(memRefs().bytesInUse() + extra); }
    std::vector<Handle> owned;
};

} // namespace

TEST(HandleTable, NumbersFromOneGrowsBy200AndReusesAFreedSlotOnlyAfterTheSearchWraps) {
    HandleTable t;
    for (int i = 1; i <= 200; ++i) ASSERT_EQ(t.newHandle(4), i);
    EXPECT_EQ(t.capacity(), 200u);
    EXPECT_EQ(t.newHandle(4), 201);
    EXPECT_EQ(t.capacity(), 400u);
    t.dispose(5);
    EXPECT_FALSE(t.valid(5));
    EXPECT_EQ(t.newHandle(1), 202); // higher free slots first
    while (t.inUse() < t.capacity() - 1) t.newHandle(1);
    EXPECT_EQ(t.newHandle(1), 5); // the search wrapped round to the freed slot
    EXPECT_EQ(t.capacity(), 400u);
}

TEST(HandleTable, ResizingKeepsBytesZeroesGrowthAndMovesTheGuard) {
    HandleTable t;
    Handle h = t.newHandle(3);
    std::memcpy(t.data(h), "abc", 3);
    EXPECT_EQ(guardAfter(t, h), 0xFACEBEEFu);
    ASSERT_EQ(t.setSize(h, 9), 0);
    EXPECT_EQ(t.size(h), 9u);
    EXPECT_EQ(std::memcmp(t.data(h), "abc\0\0\0\0\0\0", 9), 0);
    EXPECT_EQ(guardAfter(t, h), 0xFACEBEEFu);
    ASSERT_EQ(t.setSize(h, 2), 0);
    EXPECT_EQ(std::memcmp(t.data(h), "ab", 2), 0);
    EXPECT_EQ(guardAfter(t, h), 0xFACEBEEFu);
    EXPECT_EQ(t.setSize(99, 4), -1); // not a handle
    t.setAllocationLimit(t.bytesInUse() + 60);
    EXPECT_EQ(t.newHandle(61), 0);
    EXPECT_EQ(t.setSize(h, 200), -1);
    EXPECT_EQ(t.size(h), 2u); // unchanged after the failure
    EXPECT_EQ(t.inUse(), 1u);
}

TEST(HandleTable, LocksNestAndDisposingALockedHandleStillFreesIt) {
    HandleTable t;
    Handle h = t.newHandle(16);
    for (uint32_t i = 0; i < 16; ++i) ASSERT_EQ(t.data(h)[i], 0);
    uint8_t* p = t.lock(h);
    EXPECT_EQ(p, t.lock(h));
    t.lock(h);
    EXPECT_EQ(t.lockCount(h), 3);
    t.dispose(h);
    EXPECT_FALSE(t.valid(h));
    EXPECT_EQ(t.inUse(), 0u);
    EXPECT_EQ(t.bytesInUse(), 0u);
    t.dispose(h); // an empty slot: nothing happens
    EXPECT_EQ(t.lock(h), nullptr);
}

TEST_F(SplicingTest, HandlesEqualComparesSizeAndBytes) {
    Handle a = own(make("abcd")), b = own(make("abcd")), c = own(make("abc")), d = own(make("abcx"));
    EXPECT_EQ(HandlesEqual(a, b), 1);
    EXPECT_EQ(HandlesEqual(a, c), 0);
    EXPECT_EQ(HandlesEqual(c, a), 0);
    EXPECT_EQ(HandlesEqual(a, d), 0);
    EXPECT_EQ(HandlesEqual(a, 0), 0);
    // Same bytes, different logical sizes: the zero growth does not make them equal.
    Handle e = own(make("abcd"));
    SetHandleSize(e, 5);
    Handle f = own(make(std::string("abcd\0", 5)));
    EXPECT_EQ(HandlesEqual(e, f), 1);
    EXPECT_EQ(HandlesEqual(e, a), 0);
}

TEST_F(SplicingTest, InsertBytesAnywhereAndRefusesOutsideTheHandle) {
    Handle h = own(make("ace"));
    ASSERT_EQ(InsertBytes(h, "b", 1, 1), 0);
    ASSERT_EQ(InsertBytes(h, "d", 3, 1), 0);
    ASSERT_EQ(InsertBytes(h, "f", 5, 1), 0);
    ASSERT_EQ(InsertBytes(h, ">", 0, 1), 0);
    EXPECT_EQ(text(h), ">abcdef");
    EXPECT_EQ(InsertBytes(h, "x", 8, 1), -1);
    EXPECT_EQ(InsertBytes(0, "x", 0, 1), -1);
    EXPECT_EQ(text(h), ">abcdef");
    ASSERT_EQ(InsertBytes(h, nullptr, 1, 2), 0); // no source: zero bytes
    EXPECT_EQ(text(h), std::string(">\0\0abcdef", 9));
}

TEST_F(SplicingTest, InsertHandlePadsOddSourcesOnlyWhenAsked) {
    Handle dst = own(make("[]")), src = own(make("odd"));
    ASSERT_EQ(InsertHandle(dst, src, 1, true), 0);
    EXPECT_EQ(text(dst), std::string("[odd\0]", 6));
    ASSERT_EQ(InsertHandle(dst, src, 0, false), 0);
    EXPECT_EQ(text(dst), std::string("odd[odd\0]", 9));
    Handle even = own(make("ev"));
    ASSERT_EQ(InsertHandle(dst, even, 0, true), 0);
    EXPECT_EQ(GetHandleSize(dst), 11u);
    // A handle inserted into itself reads its bytes as they were.
    Handle self = own(make("xy"));
    ASSERT_EQ(InsertHandle(self, self, 1, false), 0);
    EXPECT_EQ(text(self), "xxyy");
    ASSERT_EQ(AppendHandle(even, self), 0);
    EXPECT_EQ(text(self), "xxyyev");
}

TEST_F(SplicingTest, DeleteAndReplaceBytesCheckTheirRange) {
    Handle h = own(make("0123456789"));
    ASSERT_EQ(DeleteBytes(h, 2, 3), 0);
    EXPECT_EQ(text(h), "0156789");
    EXPECT_EQ(DeleteBytes(h, 5, 3), -1);
    EXPECT_EQ(DeleteBytes(h, 8, 0), -1);
    Handle same = own(make("YY")), longer = own(make("ZZZZ")), shorter = own(make("W"));
    ASSERT_EQ(ReplaceBytes(h, same, 2, 2), 0);
    EXPECT_EQ(text(h), "01YY789");
    ASSERT_EQ(ReplaceBytes(h, longer, 2, 2), 0);
    EXPECT_EQ(text(h), "01ZZZZ789");
    ASSERT_EQ(ReplaceBytes(h, shorter, 2, 4), 0);
    EXPECT_EQ(text(h), "01W789");
    EXPECT_EQ(ReplaceBytes(h, shorter, 5, 2), -1);
    EXPECT_EQ(text(h), "01W789");
    // One that cannot grow leaves the destination alone.
    Handle big = own(NewHandle(4096));
    limitTo(100);
    EXPECT_EQ(ReplaceBytes(h, big, 2, 2), -1);
    EXPECT_EQ(text(h), "01W789");
}

TEST_F(SplicingTest, CutAndCopyBytes) {
    Handle h = own(make("headBODYtail"));
    Handle copy = own(CopyBytes(h, 4, 4));
    EXPECT_EQ(text(copy), "BODY");
    EXPECT_EQ(text(h), "headBODYtail");
    EXPECT_EQ(CopyBytes(h, 10, 4), 0);
    Handle cut = own(CutBytes(h, 0, 4));
    EXPECT_EQ(text(cut), "head");
    EXPECT_EQ(text(h), "BODYtail");
    limitTo(2);
    EXPECT_EQ(CutBytes(h, 0, 4), 0);
    EXPECT_EQ(text(h), "BODYtail"); // untouched when the new handle cannot be had
}

TEST_F(SplicingTest, DetachCopyHandsTheOldHandleToTheCaller) {
    Handle old = own(make("data"));
    Handle var = old;
    ASSERT_EQ(DetachCopy(&var), 0);
    own(var);
    EXPECT_NE(var, old);
    EXPECT_TRUE(IsHandleValid(old));
    EXPECT_EQ(text(var), "data");
    memRefs().data(old)[0] = 'D';
    EXPECT_EQ(text(var), "data");
    Handle none = 0;
    EXPECT_EQ(DetachCopy(&none), -1);
    limitTo(1);
    Handle again = old;
    EXPECT_EQ(DetachCopy(&again), -1);
    EXPECT_EQ(again, old);
}
