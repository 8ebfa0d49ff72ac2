// A stack written by the independent writer, opened whole: what the rest of the program reads
// from the open stack is what that writer put there.
#include <gtest/gtest.h>

#include "core/byte_order.h"
#include "core/pstring.h"
#include "stack/chunk_file.h"
#include "stack/mac_path.h"
#include "stack/stack_document.h"
#include "stack/stack_io.h"
#include "stack_test_support.h"

using namespace cv;
using namespace cvtest;

namespace {

class IndependentStackTest : public StackTest {
protected:
    void SetUp() override {
        StackTest::SetUp();
        StackSpec s = richStack();
        for (auto& c : s.chunks)
            if (c.type == fcc("NBAs")) c.data[5] = 0x77; // a run-time word left set
        ASSERT_EQ(OpenStack(write("rich.stk", stackFile(s))), 0);
        SetCurrentChunkFile(theStack().chunkFile);
    }
    std::string name(const uint8_t* field, size_t size) { return pstringField(field, size); }
};

} // namespace

TEST_F(IndependentStackTest, HeaderAndCards) {
    const StackDocument& s = theStack();
    EXPECT_EQ(s.cardCount(), 5);
    EXPECT_EQ(s.h16(76), pat16(76));
    EXPECT_EQ(s.h32(68), 520u);
    EXPECT_FALSE(s.macText);
    const uint16_t modes[] = {0, 1, 1, 3, 3};
    for (int n = 1; n <= 5; ++n) {
        EXPECT_EQ(get16(card(n)), n);
        EXPECT_EQ(get32(card(n) + 2), cardSize(n));
        EXPECT_EQ(get16(card(n) + 6), modes[n - 1]);
    }
    EXPECT_EQ(CardName(CardByNumber(1)), "First");
}

// Field by field, the records are RecordConvert's; here, that opening reaches every object.
TEST_F(IndependentStackTest, ObjectsAndTheirActions) {
    const uint8_t* b = object(1, 48, 1);
    ASSERT_NE(b, nullptr);
    EXPECT_EQ(name(b + 28, 32), "Everything");
    std::vector<uint16_t> codes;
    for (uint32_t off = 136; off < get32(b + 12); off += get32(b + off + 12)) codes.push_back(get16(b + off));
    EXPECT_EQ(codes, (std::vector<uint16_t>{83, 83, 51, 82, 89, 60, 64, 59, 119, 56, 130}));
    const uint8_t* a = b + 136;
    for (int i = 0; i < 3; ++i) a += get32(a + 12); // to the sound file's action
    EXPECT_EQ(actionPathText(a + 32, get32(a + 12) - 32), "C:\\Sounds\\bell.wav");
    const uint8_t* t = object(1, 96, 3);
    ASSERT_NE(t, nullptr);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(t + 144), 3), "Hi!");
    const uint8_t* gf = object(2, 16, 5);
    ASSERT_NE(gf, nullptr);
    EXPECT_EQ(objectRefPath(gf + 80, get32(gf + 12) - 81), "C:\\Pictures\\sky.jpeg");
    const uint8_t* tf = object(3, 96, 7);
    ASSERT_NE(tf, nullptr);
    EXPECT_EQ(objectRefPath(tf + 144, get32(tf + 128 + 8)), "C:\\Texts\\poem.txt");
}

TEST_F(IndependentStackTest, ChunksOfEveryType) {
    EXPECT_EQ(CountChunks(fcc("Actn")), 7);
    const uint8_t* arrive = memRefs().data(GetChunk(fcc("Actn"), 500));
    EXPECT_EQ(name(arrive + 28, 32), "Arrive stack");
    EXPECT_EQ(get32(arrive + 12), 136u + 32 + 4);
    EXPECT_EQ(get16(arrive + 136), 64);

    const Handle link = GetChunk(fcc("Hlnk"), 510);
    const uint8_t* l = memRefs().data(link);
    EXPECT_EQ(get16(l), 510);
    EXPECT_EQ(get16(l + 2), 3);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(l + 24), 6), "linked");
    EXPECT_EQ(get32(l + 24 + 6 + 2 + 12), 136u);
    EXPECT_EQ(name(l + 24 + 6 + 2 + 28, 32), "Link action");

    const uint8_t* nba = memRefs().data(GetChunk(fcc("NBAs"), 300));
    EXPECT_EQ(get32(nba + 4), 0u); // the run-time word is cleared
    EXPECT_EQ(nba[8], 9);
    EXPECT_EQ(bytesOf(GetChunk(fcc("Snd "), 200)), std::string(1001, 0x42));
    EXPECT_EQ(bytesOf(GetChunk(fcc("XXXX"), 7)), "\xDE\xAD\xBE");
    EXPECT_EQ(GetHandleSize(GetChunk(fcc("CVpr"), 1)), 0u);
    uint32_t attributes = 0;
    GetChunkInfo(GetChunk(fcc("Snd "), 200), nullptr, nullptr, nullptr, &attributes);
    EXPECT_EQ(attributes, 0x00010000u);
    EXPECT_EQ(bytesOf(GetChunk(fcc("WKSp"), 128)), "to x\x0D" "end");
}
