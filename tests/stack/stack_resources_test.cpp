// Stack resources: adding through a request, fetching, listing, and the purge of resources
// that nothing refers to.
#include "stack/stack_resources.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "core/byte_order.h"
#include "core/pstring.h"
#include "stack/chunk_file.h"
#include "stack/stack_document.h"
#include "stack/stack_io.h"
#include "stack_test_support.h"

using namespace cv;
using namespace cvtest;

namespace {

const uint32_t kIcon = fcc("Icon"), kSnd = fcc("Snd "), kStrk = fcc("Strk"), kNBAs = fcc("NBAs"),
               kActn = fcc("Actn"), kHlnk = fcc("Hlnk");

class ResourceTest : public StackTest {
protected:
    void openIcons() {
        const StackSpec s{.flags = 0x01, .lastChunkId = 2, .cards = {cardRecord({})},
                          .chunks = {{kIcon, 1, 0, "Star", 0, {1, 2, 3}}, {kIcon, 2, 0, "Moon", 0, {4}}}};
        ASSERT_EQ(OpenStack(write("r.stk", stackFile(s))), 0);
    }
    ResourceRequest request(uint32_t type, uint16_t id, const Bytes& data, uint32_t flags = kResPerform) {
        ResourceRequest r;
        r.type = type;
        r.id = id;
        r.data = NewHandleFrom(data.data(), uint32_t(data.size()));
        r.flags = flags;
        setPStringField(r.name, sizeof r.name, "Added");
        return r;
    }
    // Ids of the live resources of a type, in index order.
    std::vector<uint16_t> live(uint32_t type) {
        std::vector<uint16_t> ids;
        for (int i = 1; uint16_t id = StackResourceIdAt(type, i); ++i) ids.push_back(id);
        return ids;
    }
};

} // namespace

TEST_F(ResourceTest, AddingKeepsIdenticalDataRenumbersDifferentDataOrReplaces) {
    openIcons();
    ResourceRequest off = request(kIcon, 9, {1});
    off.flags = 0;
    EXPECT_EQ(AddStackResource(off), 0);
    DisposeHandle(off.data);

    ResourceRequest same = request(kIcon, 1, {1, 2, 3});
    EXPECT_EQ(AddStackResource(same), 1);
    EXPECT_FALSE(IsHandleValid(same.data) && same.data != 0);
    EXPECT_EQ(live(kIcon), (std::vector<uint16_t>{1, 2}));

    ResourceRequest other = request(kIcon, 1, {9, 9});
    EXPECT_EQ(AddStackResource(other), 1);
    EXPECT_EQ(other.id, 3); // a fresh id, which the request now holds
    EXPECT_EQ(other.flags, 0u);
    EXPECT_EQ(live(kIcon), (std::vector<uint16_t>{1, 2, 3}));
    EXPECT_EQ(StackResourceName(kIcon, 3), "Added");

    ResourceRequest replace = request(kIcon, 2, {7, 7, 7}, kResPerform | kResReplace);
    EXPECT_EQ(AddStackResource(replace), 1);
    EXPECT_EQ(replace.id, 2);
    EXPECT_EQ(live(kIcon), (std::vector<uint16_t>{1, 3, 2}));
    SetCurrentChunkFile(theStack().chunkFile);
    EXPECT_EQ(bytesOf(GetChunk(kIcon, 2)), "\7\7\7");
}

TEST_F(ResourceTest, NameOnlyAndCopyRequestsLeaveTheCallersDataAlone) {
    openIcons();
    const uint32_t handlesBefore = memRefs().inUse();
    ResourceRequest name = request(kIcon, 2, {5}, kResPerform | kResNameOnly | kResCopyKeepFlags);
    const Handle mine = name.data;
    EXPECT_EQ(AddStackResource(name), 1);
    EXPECT_EQ(pstringField(name.name, 32), "Moon");
    EXPECT_TRUE(IsHandleValid(mine));
    DisposeHandle(mine);
    EXPECT_EQ(memRefs().inUse(), handlesBefore); // nothing left behind

    ResourceRequest copy = request(kSnd, 0, {1, 2}, kResPerform | kResCopyKeepFlags);
    const Handle original = copy.data;
    EXPECT_EQ(AddStackResource(copy), 1);
    EXPECT_NE(copy.id, 0);
    EXPECT_EQ(copy.flags, kResPerform | kResCopyKeepFlags);
    EXPECT_TRUE(IsHandleValid(original));
    SetCurrentChunkFile(theStack().chunkFile);
    EXPECT_NE(GetChunk(kSnd, copy.id), original);
    DisposeHandle(original);
}

TEST_F(ResourceTest, ReplacingAResourceWithItsOwnDataKeepsIt) {
    openIcons();
    SetCurrentChunkFile(theStack().chunkFile);
    ResourceRequest r;
    r.type = kIcon;
    r.id = 1;
    r.data = GetChunk(kIcon, 1);
    r.flags = kResPerform | kResReplace;
    EXPECT_EQ(AddStackResource(r), 1);
    EXPECT_EQ(bytesOf(GetChunk(kIcon, 1)), "\1\2\3");
    EXPECT_TRUE(alerts().empty());
}

TEST_F(ResourceTest, AStackWithoutChunksGetsAScratchFileUntilSaved) {
    ASSERT_TRUE(NewStack(64, 64, 8));
    ResourceRequest r = request(kIcon, 0, {1, 2});
    EXPECT_EQ(AddStackResource(r), 1);
    const uint32_t ref = theStack().chunkFile;
    ASSERT_NE(ref, 0u);
    const std::string scratch = chunkFileFor(ref)->path;
    EXPECT_TRUE(std::filesystem::exists(scratch));
    EXPECT_EQ(r.id, 2); // a scratch file's last id is 1
    theStack().setH16(14, 0x01); // keep it through the purge
    ASSERT_EQ(SaveStack(path("n.stk")), 0);
    EXPECT_FALSE(std::filesystem::exists(scratch));
    ASSERT_EQ(OpenStack(path("n.stk")), 0);
    EXPECT_EQ(live(kIcon), std::vector<uint16_t>{2});
}

TEST_F(ResourceTest, FetchingListingAndNaming) {
    Bytes file = stackFile({.flags = 0x01, .cards = {cardRecord({})},
                            .chunks = {{kSnd, 5, 0, "Bell", 0x1234, {1, 2}},
                                       {kSnd, 6, 0, std::string(31, 'n'), 0, {3}},
                                       {kSnd, 7, 0, "", 0, {4}}}});
    file[128 + 100 + (68 + 4) * 2 + 8] = 40; // the third name's length runs past its field
    ASSERT_EQ(OpenStack(write("f.stk", file)), 0);

    ResourceRequest r;
    ASSERT_EQ(GetStackResource(r, kSnd, 5), 0);
    EXPECT_EQ(bytesOf(r.data), "\1\2");
    SetCurrentChunkFile(theStack().chunkFile);
    EXPECT_NE(r.data, GetChunk(kSnd, 5)); // a private copy
    EXPECT_EQ(r.attributes, 0x1234u);
    EXPECT_EQ(r.flags, kResPerform);
    EXPECT_EQ(pstringField(r.name, 32), "Bell");
    DisposeHandle(r.data);
    ASSERT_EQ(GetStackResource(r, kSnd, 6), 0);
    EXPECT_EQ(pstringField(r.name, 32), std::string(31, 'n'));
    DisposeHandle(r.data);
    EXPECT_EQ(GetStackResource(r, kSnd, 8), -1);

    EXPECT_EQ(StackResourceIndex(kSnd, 6), 2);
    EXPECT_EQ(StackResourceIndex(kSnd, 9), 0);
    EXPECT_EQ(StackResourceIdAt(kSnd, 3), 7);
    EXPECT_EQ(StackResourceIdAt(kSnd, 4), 0);
    EXPECT_EQ(StackResourceIdNamed(kSnd, "BELL"), 5);
    EXPECT_EQ(StackResourceIdNamed(kSnd, "Gong"), 0);
    EXPECT_LE(StackResourceName(kSnd, 7).size(), 31u);
    EXPECT_EQ(StackResourceName(kSnd, 9), "");
    EXPECT_EQ(StackResourceName(kSnd, 6).size(), 31u);
}

TEST_F(ResourceTest, PurgeKeepsWhatIsReferredToAndRemovesTheRest) {
    const Bytes counted = buttonRecord({.id = 1, .summary = 0x0004 | 0x0008, .buttonFlags = 0x10, .iconId = 10,
                                        .actions = {stackSoundAction(20, false), stackSoundAction(21, true), nbaAction(30, {})}});
    // Its flag 0x01 says it does not count.
    const Bytes ignored = buttonRecord({.id = 2, .objectFlags = 0x01, .summary = 0x0004 | 0x0008, .buttonFlags = 0x10,
                                        .iconId = 11, .actions = {stackSoundAction(22, false)}});
    // Refers without the summary bits: not a reference.
    const Bytes unflagged = buttonRecord({.id = 3, .buttonFlags = 0, .iconId = 12,
                                          .actions = {stackSoundAction(23, false), nbaAction(31, {})}});
    const CardSpec c{.arrive = 104, .leave = 105, .click = 106,
                     .objects = {counted, ignored, unflagged, graphicRecord({.id = 4, .actionId = 107}),
                                 textRecord({.id = 5, .actionId = 108})}};
    StackSpec s{.arrive = 101, .leave = 102, .click = 103, .cards = {cardRecord(c)}};
    auto list = [](uint16_t id, uint16_t icon, uint16_t sound) {
        return buttonRecord({.id = id, .summary = 0x0004, .buttonFlags = uint16_t(icon ? 0x10 : 0), .iconId = icon,
                             .actions = {stackSoundAction(sound, false)}});
    };
    for (uint16_t id = 101; id <= 108; ++id) s.chunks.push_back({kActn, id, 0, "", 0, list(id, 0, 0)});
    s.chunks.push_back({kActn, 3, 0, "", 0, list(3, 13, 24)});    // the button with id 3 finds it
    s.chunks.push_back({kActn, 110, 0, "", 0, list(110, 14, 25)}); // unused, and so are its icon and sound
    s.chunks.push_back({kActn, 111, 0, "", 0, list(111, 0, 0)});   // a second unused one in a row
    const Bytes la = buttonRecord({.id = 0, .summary = 0x0004, .actions = {stackSoundAction(26, false)}});
    s.chunks.push_back({kHlnk, 120, 0, "", 0, linkData(120, 5, "go", {}, la)});
    for (uint16_t id = 10; id <= 14; ++id) s.chunks.push_back({kIcon, id, 0, "", 0, {1}});
    for (uint16_t id = 20; id <= 26; ++id)
        s.chunks.push_back({id == 21 ? kStrk : kSnd, id, 0, "", 0, {1}});
    s.chunks.push_back({kNBAs, 30, 0, "Clock", 0, Bytes(8, 0)});
    s.chunks.push_back({kNBAs, 31, 0, "clock@2", 0, Bytes(8, 0)}); // NBAs are not kept by name
    s.chunks.push_back({kSnd, 40, 0, "CLOCK@tick", 0, {1}});
    s.chunks.push_back({kSnd, 41, 0, "clock", 0, {1}});
    s.chunks.push_back({kSnd, 42, 0, "Clockwork", 0, {1}});
    s.chunks.push_back({kIcon, 43, 0, "clock@", 0, {1}});
    s.chunks.push_back({kStrk, 44, 0, "Clock@x", 0, {1}});
    const Bytes file = stackFile(s);

    ASSERT_EQ(OpenStack(write("p.stk", file)), 0);
    PurgeUnusedResources();
    EXPECT_EQ(live(kActn), (std::vector<uint16_t>{101, 102, 103, 104, 105, 106, 107, 108, 3}));
    EXPECT_EQ(live(kIcon), (std::vector<uint16_t>{10, 13, 43}));
    EXPECT_EQ(live(kSnd), (std::vector<uint16_t>{20, 24, 26, 40, 41}));
    EXPECT_EQ(live(kStrk), (std::vector<uint16_t>{21, 44}));
    EXPECT_EQ(live(kNBAs), std::vector<uint16_t>{30});
    EXPECT_EQ(live(kHlnk), std::vector<uint16_t>{120});

    s.flags = 0x01; // the stack keeps everything
    ASSERT_EQ(OpenStack(write("k.stk", stackFile(s))), 0);
    PurgeUnusedResources();
    EXPECT_EQ(live(kActn).size(), 11u);
    EXPECT_EQ(live(kSnd).size(), 9u);
}
