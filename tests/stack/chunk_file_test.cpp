// The chunk directory: reading the chunk area, lookups, ids, the repair question, markers,
// reloading purged data, and writing the area back.
#include "stack/chunk_file.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>

#include <fcntl.h>
#include <unistd.h>

#include "core/byte_order.h"
#include "core/pstring.h"
#include "core/ui.h"
#include "stack_test_support.h"

using namespace cv;
using namespace cvtest;

namespace {

const uint32_t kIcon = fcc("Icon"), kSnd = fcc("Snd "), kActn = fcc("Actn"), kXXXX = fcc("XXXX");

class ChunkFileTest : public StackTest {
protected:
    // Writes a stack holding `chunks` and opens its chunk area; 0 when that fails.
    uint32_t open(std::vector<ChunkSpec> chunks, uint32_t lastId = 1, int* result = nullptr,
                  const std::function<void(Bytes&)>& patch = nullptr) {
        file = stackFile({.lastChunkId = lastId, .cards = {cardRecord({})}, .chunks = std::move(chunks)});
        if (patch) patch(file);
        offset = rdBe32(file, kHeaderChunkOffset);
        return OpenChunkFile(write("c.stk", file), offset, result);
    }
    Bytes file;
    uint32_t offset = 0;
};

ChunkSpec icon(uint16_t id, const std::string& name = "", Bytes data = {1, 2, 3}) {
    return ChunkSpec{kIcon, id, 0, name, 0, std::move(data)};
}

} // namespace

TEST_F(ChunkFileTest, LookupsSkipRemovedChunksAndFindTheFirstOfTwins) {
    ChunkSpec removed = icon(2, "Gone", {9});
    removed.attributes = kChunkRemoved;
    const uint32_t ref = open({icon(1, "One"), removed, icon(3, "Three", {3}), icon(3, "Twin", {33}),
                               {kSnd, 1, 0, "", 0, {7}}, icon(4, "Four", {4})});
    ASSERT_NE(ref, 0u);
    EXPECT_EQ(CurrentChunkFile(), ref);
    EXPECT_EQ(currentChunkFile()->directory.at(1).data, 0); // removed data is not read

    EXPECT_EQ(GetChunk(kIcon, 2), 0);
    EXPECT_EQ(bytesOf(GetChunk(kIcon, 3)), "\3");
    EXPECT_EQ(bytesOf(GetIndexedChunk(kIcon, 2)), "\3");
    EXPECT_EQ(bytesOf(GetIndexedChunk(kIcon, 3)), "\41");
    EXPECT_EQ(GetIndexedChunk(kIcon, 5), 0);
    EXPECT_EQ(GetIndexedChunk(kIcon, 0), 0);
    EXPECT_EQ(CountChunks(kIcon), 4);
    EXPECT_EQ(ChunkIndexOf(ref, kIcon, 4), 4);
    EXPECT_EQ(ChunkIndexOf(ref, kIcon, 2), 0);
    EXPECT_EQ(ChunkSizeOf(ref, kIcon, 3), 1u);
    EXPECT_EQ(bytesOf(GetNamedChunk(kIcon, reinterpret_cast<const uint8_t*>("\4TWIN"))), "\41");
    EXPECT_EQ(GetNamedChunk(kIcon, reinterpret_cast<const uint8_t*>("\4Gone")), 0);

    uint32_t type = 0;
    uint16_t id = 0;
    uint8_t name[32] = {};
    EXPECT_EQ(GetChunkInfo(GetChunk(kIcon, 4), &type, &id, name, nullptr), 0);
    EXPECT_EQ(type, kIcon);
    EXPECT_EQ(id, 4);
    EXPECT_EQ(pstringField(name, 32), "Four");
    Handle stranger = NewHandle(1);
    EXPECT_EQ(GetChunkInfo(stranger, &type, &id, name, nullptr), 16);
    DisposeHandle(stranger);
    uint8_t buf[32] = {};
    GetChunkName(kSnd, 1, buf);
    EXPECT_EQ(buf[0], 0);
    GetChunkName(kIcon, 1, buf);
    EXPECT_EQ(pstringField(buf, 32), "One");
}

TEST_F(ChunkFileTest, UnknownTypesNeedTheMarkerStoredLowByteFirst) {
    for (uint16_t marker : {0x4321, 0x4323, 0x4325}) {
        ASSERT_NE(open({{kXXXX, 5, marker, "", 0, {1}}}), 0u) << marker;
        EXPECT_EQ(currentChunkFile()->directory.at(0).marker, marker);
        closeAllChunkFiles();
    }
    for (uint16_t marker : {0x0000, 0x4320, 0x4326, 0x2343}) {
        headlessUi().queueAnswer(kAnswerSecond); // Cancel the repair
        int result = 0;
        EXPECT_EQ(open({{kXXXX, 5, marker, "", 0, {1}}}, 1, &result), 0u) << marker;
        EXPECT_EQ(result, -12);
    }
    EXPECT_EQ(alerts(), std::vector<int>(4, 9005));
}

TEST_F(ChunkFileTest, RepairKeepsTheChunksBeforeTheLastGoodHeader) {
    // The index of the damaged header (an unknown type without the marker), and how many stay.
    for (auto [bad, kept] : {std::pair<size_t, size_t>{2, 1}, {1, 0}, {0, 0}, {4, 3}}) {
        std::vector<ChunkSpec> chunks = {icon(1), icon(2), icon(3), icon(4), icon(5)};
        chunks[bad].type = kXXXX;
        ASSERT_NE(open(chunks), 0u) << bad; // the default answer is OK
        EXPECT_EQ(currentChunkFile()->directory.size(), kept) << bad;
        closeAllChunkFiles();
    }
}

TEST_F(ChunkFileTest, SlotsThatRunPastTheFileOrHoldTooLittleAreDamage) {
    // The last slot ends exactly at the end of the file: fine.
    ASSERT_NE(open({icon(1), icon(2, "", {1, 2, 3, 4})}), 0u);
    EXPECT_EQ(currentChunkFile()->directory.size(), 2u);
    closeAllChunkFiles();

    // The slot of the last chunk, 4 bytes before the end of the file, said to be one longer.
    auto lastSlot = [](uint32_t v) { return [v](Bytes& f) { be32(f, f.size() - 4 - 68 + 48, v); }; };
    headlessUi().queueAnswer(kAnswerSecond);
    EXPECT_EQ(open({icon(1), icon(2, "", {1, 2, 3, 4})}, 1, nullptr, lastSlot(5)), 0u);

    ChunkSpec overlong = icon(2, "", {1, 2, 3, 4, 5, 6, 7, 8});
    overlong.dataLength = 9; // more data than its slot
    headlessUi().queueAnswer(kAnswerSecond);
    EXPECT_EQ(open({icon(1), overlong}), 0u);

    ASSERT_NE(open({icon(1), icon(2, "", {1, 2, 3, 4})}, 1, nullptr, lastSlot(0xFFFFFFF0u)), 0u);
    EXPECT_TRUE(currentChunkFile()->directory.empty()); // repaired: nothing before the last good one
    closeAllChunkFiles();
    ASSERT_NE(open({icon(1), icon(2), icon(3, "", {1, 2, 3, 4})}, 1, nullptr, lastSlot(0xFFFFFFF0u)), 0u);
    EXPECT_EQ(currentChunkFile()->directory.size(), 1u);
    closeAllChunkFiles();

    // More chunks counted than the file holds: a read failure, not a repair.
    int result = 0;
    const Bytes b = stackFile({.cards = {cardRecord({})}, .chunks = {icon(1)}, .chunkCount = 3});
    headlessUi().clearLog();
    EXPECT_EQ(OpenChunkFile(write("short.stk", b), rdBe32(b, 60), &result), 0u);
    EXPECT_EQ(result, -1);
    EXPECT_TRUE(alerts().empty());
    EXPECT_EQ(OpenChunkFile(path("missing.stk"), 128, &result), 0u);
    EXPECT_EQ(result, -1);
}

TEST_F(ChunkFileTest, NewIdsStartAfterTheStoredLastIdAndNeverTouchTheFile) {
    for (auto [lastId, expected] : {std::pair<uint32_t, uint16_t>{2, 3}, {4, 5}, {0xFFFF, 3}, {0x10004, 5}}) {
        ASSERT_NE(open({icon(1), icon(2), {kSnd, 4, 0, "", 0, {0}}}, lastId), 0u);
        uint16_t id = 0;
        ASSERT_EQ(AddChunk(NewHandle(2), 0, kIcon, 0, nullptr, &id), 0);
        EXPECT_EQ(id, expected) << lastId;
        EXPECT_EQ(currentChunkFile()->lastId, expected);
        EXPECT_EQ(readFile(path("c.stk")), file); // reaches the file only when saved
        closeAllChunkFiles();
    }
}

TEST_F(ChunkFileTest, AddRemoveAndDetach) {
    ASSERT_NE(open({icon(1, "One")}), 0u);
    Handle h = NewHandleFrom("abc", 3);
    const uint8_t longName[] = "\40abcdefghijklmnopqrstuvwxyz012345";
    ASSERT_EQ(AddChunk(h, kChunkRemoved | 5, kIcon, 9, longName), 0);
    EXPECT_EQ(GetChunk(kIcon, 9), h);
    const ChunkEntry& e = currentChunkFile()->directory.back();
    EXPECT_EQ(e.name[0], 0);              // a name of 32 characters is not taken
    EXPECT_EQ(e.attributes, 5u);          // an added chunk is live
    EXPECT_EQ(AddChunk(12345, 0, kIcon, 10, nullptr), 16);

    ASSERT_EQ(RemoveChunk(kIcon, 9), 0);
    EXPECT_FALSE(IsHandleValid(h));
    EXPECT_EQ(GetChunk(kIcon, 9), 0);
    EXPECT_EQ(CountChunks(kIcon), 1);
    EXPECT_EQ(currentChunkFile()->directory.size(), 2u); // the entry waits for the next save
    EXPECT_EQ(RemoveChunk(kIcon, 9), 16);

    Handle mine = GetChunk(kIcon, 1);
    ASSERT_EQ(DetachChunk(mine), 0);
    Handle theirs = GetChunk(kIcon, 1);
    EXPECT_NE(theirs, mine);
    EXPECT_EQ(HandlesEqual(theirs, mine), 1);
    closeAllChunkFiles();
    EXPECT_TRUE(IsHandleValid(mine)); // the caller's to keep
    EXPECT_FALSE(IsHandleValid(theirs));
    DisposeHandle(mine);
}

TEST_F(ChunkFileTest, PurgedDataIsReadAgainUnlessLoadingIsOff) {
    ASSERT_NE(open({icon(1, "", {5, 6, 7}), {kActn, 6, 0, "", 0, buttonRecord({.id = 6, .name = "List"})}}), 0u);
    const std::string actn = bytesOf(GetChunk(kActn, 6));
    EXPECT_EQ(get32(reinterpret_cast<const uint8_t*>(actn.data()) + 12), 136u); // native

    DisposeHandle(GetChunk(kIcon, 1));
    DisposeHandle(GetChunk(kActn, 6));
    SetChunkLoading(false);
    EXPECT_EQ(GetHandleSize(GetChunk(kIcon, 1)), 0u); // an empty stand-in
    SetChunkLoading(true);
    EXPECT_EQ(bytesOf(GetChunk(kIcon, 1)), "\5\6\7");
    EXPECT_EQ(bytesOf(GetChunk(kActn, 6)), actn);
}

TEST_F(ChunkFileTest, WritingCompactsPadsWithZerosAndKeepsMarkers) {
    ChunkSpec odd = icon(1, "Odd", {1, 2, 3, 4, 5});
    odd.padByte = 0xAA; // whatever was in the slot, the writer pads with zeros
    ChunkSpec gone = icon(2, "Gone", {9, 9});
    gone.attributes = kChunkRemoved;
    const Bytes actn = buttonRecord({.id = 7, .actions = {stackSoundAction(1, false)}});
    const uint32_t ref =
        open({odd, gone, {kXXXX, 3, 0x4324, "Mine", 0, {8}}, {kActn, 7, 0, "", 0, actn}, icon(4, "", {})});
    ASSERT_NE(ref, 0u);
    ASSERT_EQ(RemoveChunk(kIcon, 4), 0);
    AddChunk(NewHandleFrom("xyz", 3), 0, kSnd, 8, nullptr);

    const std::string out = path("out.bin");
    const int fd = ::open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    ASSERT_GE(fd, 0);
    OutFile file(fd, 7); // a small buffer: the writer hands bytes on in many pieces
    ASSERT_TRUE(file.writeZeros(16));
    ChunkWrite written;
    ASSERT_EQ(WriteChunks(file, 16, ref, &written), 0);
    ASSERT_TRUE(file.flush());
    ::close(fd);
    const Bytes b = readFile(out);
    ASSERT_EQ(written.end, b.size());

    // Expected: the same chunks from an independent writer, without the removed ones.
    const Bytes expected = stackFile({.chunks = {icon(1, "Odd", {1, 2, 3, 4, 5}), {kXXXX, 3, 0x4324, "Mine", 0, {8}},
                                                 {kActn, 7, 0, "", 0, actn}, {kSnd, 8, 0, "", 0, {'x', 'y', 'z'}}}});
    EXPECT_EQ(Bytes(b.begin() + 16, b.end()), Bytes(expected.begin() + 128, expected.end()));
    ASSERT_EQ(written.directory.size(), 4u);
    EXPECT_EQ(written.directory[1].headerOffset, 16u + 68 + 8);
    EXPECT_EQ(TotalChunkBytes(ref), 4u * 68 + 8 + 4 + 168 + 4 + 68 * 2 /* removed entries */ + 4);
}

TEST_F(ChunkFileTest, ScratchAndSamplesFiles) {
    const uint32_t a = OpenScratchChunkFile();
    ASSERT_NE(a, 0u);
    const std::string scratch = chunkFileFor(a)->path;
    EXPECT_TRUE(std::filesystem::exists(scratch));
    EXPECT_EQ(AddChunk(NewHandle(4), 0, kIcon, 0, nullptr), 0);

    EXPECT_EQ(OpenSamplesChunkFile(dir.string()), 0u);
    EXPECT_EQ(alerts(), std::vector<int>{9010});
    ASSERT_NE(open({icon(1)}), 0u);
    std::filesystem::rename(path("c.stk"), path("Samples.stk"));
    const uint32_t samples = OpenSamplesChunkFile(dir.string());
    ASSERT_NE(samples, 0u);
    EXPECT_EQ(CurrentChunkFile(), samples);
    CloseChunkFile(samples);
    EXPECT_NE(CurrentChunkFile(), 0u); // the head of the list becomes current
    CloseChunkFile(a);
    EXPECT_FALSE(std::filesystem::exists(scratch));
}
