#pragma once
// A writer of .stk files for tests, made straight from the stored layout: big-endian values put
// at their offsets, with none of the library's record code. Stacks it writes stand for stacks
// that another program wrote, so opening them checks the library's reader, and saving them
// again checks its writer.
//
// Fields that only carry settings are filled with patterns (pat16, pat32, rawByte of their
// offset) so that a test can tell a field that was converted from one that was not, and one
// that was converted with the wrong width.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace cvtest {

using Bytes = std::vector<uint8_t>;

constexpr uint32_t fcc(const char (&s)[5]) {
    return (uint32_t(uint8_t(s[0])) << 24) | (uint32_t(uint8_t(s[1])) << 16) |
           (uint32_t(uint8_t(s[2])) << 8) | uint32_t(uint8_t(s[3]));
}

// The pattern value of a 16-bit setting field.
constexpr uint16_t pat16(uint32_t offset) { return uint16_t(0x1100 + offset); }

void be16(Bytes& b, size_t at, uint16_t v);
void be32(Bytes& b, size_t at, uint32_t v);
uint16_t rdBe16(const Bytes& b, size_t at);
uint32_t rdBe32(const Bytes& b, size_t at);
// Stored rectangle: top, left, bottom, right.
struct Rect {
    int16_t left = 0, top = 0, right = 0, bottom = 0;
};
void rect(Bytes& b, size_t at, Rect r);
void append(Bytes& b, const Bytes& more);
uint32_t roundUp4(uint32_t n);

// Actions. A counted path, 6 zero bytes and a counted file name, as actions hold paths.
Bytes actionPath(const std::string& path, const std::string& fileName);
Bytes nbaAction(uint16_t nbaId, const Bytes& parameters);
Bytes stackSoundAction(uint16_t soundId, bool track);
Bytes soundFileAction(const Bytes& path);
Bytes otherStackAction(const Bytes& path);
// A picture-shaped button's mask; `runtime` fills the two words that loading clears.
Bytes shapeAction(const Bytes& mask, uint16_t runtime = 0);

// A button record; an 'Actn' chunk has the same layout.
struct ButtonSpec {
    uint16_t id = 1;
    Rect rect{10, 20, 110, 60};
    std::string name = "Button";
    uint16_t objectFlags = 0;    // common header, offset 22
    uint16_t summary = 0;        // action flags, offset 20
    uint16_t buttonFlags = 0x08; // offset 64: 0x10 shows an icon
    uint16_t iconId = 0;         // offset 78
    uint16_t shape = 1;
    std::vector<Bytes> actions{};
};
Bytes buttonRecord(const ButtonSpec& s);

struct GraphicSpec {
    uint16_t id = 1;
    Rect rect{0, 0, 32, 16};
    Rect pictureRect{0, 0, 32, 16};
    std::string name = "Graphic";
    uint16_t objectFlags = 0; // 0x40: `data` is a file reference; 0x200: one pad byte at the end
    uint16_t pictureFlags = 0x10;
    uint16_t depth = 8;
    uint16_t actionId = 0;
    Bytes data{1, 2, 3, 4, 5, 6};
    Bytes trailing{};         // empty: none
};
Bytes graphicRecord(const GraphicSpec& s);
// Trailing data of a graphic object: width, height, two words, then `rest`.
Bytes graphicTrailing(uint16_t width, uint16_t height, uint16_t word1, uint16_t word2, const Bytes& rest);
// A graphic object's file reference: counted path padded to even, 6 bytes, counted name.
Bytes objectFileRef(const std::string& path, const std::string& name);

struct TextSub {
    uint16_t cardId = 0;
    uint32_t flags = 0;
    Bytes text{};
    Bytes styles{};
};
struct TextSpec {
    uint16_t id = 1;
    Rect rect{5, 5, 200, 100};
    std::string name = "Text";
    uint16_t objectFlags = 0;
    uint16_t secondFlags = 0;
    int16_t alignment = -1;
    uint16_t actionId = 0;
    std::vector<TextSub> subs{};
};
Bytes textRecord(const TextSpec& s);
// One style run table with a single run.
Bytes styleRuns(uint16_t font, uint16_t size);

// A Macintosh-layout colour table of `entries` colours; entry 0 gets `first`.
Bytes colourTable(int entries, uint16_t firstRed, uint16_t firstGreen, uint16_t firstBlue);

struct PictureSpec {
    uint16_t format = 1;
    bool padded = false;
    Bytes colourTable{};
    uint32_t topPattern = 0x01020304, topCount = 64, bottomPattern = 0x0A0B0C0D, bottomCount = 32;
    Bytes data{0, 0, 0, 0, 9, 9, 9, 9};
};
Bytes pictureRecord(const PictureSpec& s);

struct CardSpec {
    uint16_t id = 1;
    uint16_t mode = 0;
    uint16_t backgroundId = 0;
    std::string name{};
    uint16_t arrive = 0, leave = 0, click = 0;
    uint16_t depth = 8, width = 512, height = 342;
    std::optional<PictureSpec> picture{}; // with mode 1
    std::vector<Bytes> objects{};
};
Bytes cardRecord(const CardSpec& s);

// 'Hlnk' data: 23 header bytes, the linked text, a 0 byte, `after` bytes and optionally an
// action record (at 24 + text length + after length).
Bytes linkData(uint16_t linkNumber, uint16_t textObject, const std::string& text, const Bytes& after,
               const std::optional<Bytes>& actionRecord);

struct ChunkSpec {
    uint32_t type = 0;
    uint16_t id = 0;
    uint16_t marker = 0; // bytes 6-7, low byte first
    std::string name{};
    uint32_t attributes = 0;
    Bytes data{};
    std::optional<uint32_t> slot{};       // default: data length rounded up to 4
    std::optional<uint32_t> dataLength{}; // default: the data's size
    uint8_t padByte = 0;
};

struct StackSpec {
    uint16_t version = 5;
    uint16_t depth = 8;
    uint16_t width = 512, height = 342;
    uint16_t flags = 0;
    uint16_t field6 = 3;
    uint16_t field50 = 7;
    uint16_t nextCardId = 100;
    uint16_t arrive = 0, leave = 0, click = 0;
    uint32_t lastChunkId = 1;
    std::vector<Bytes> cards{};
    std::vector<ChunkSpec> chunks{};
    // Overrides for damaged files.
    std::optional<uint16_t> cardCount{};
    std::optional<uint32_t> chunkCount{};
    std::optional<uint32_t> chunkOffset{};
};
Bytes stackFile(const StackSpec& s);

// Offsets of the header, as the stored layout gives them.
constexpr size_t kHeaderChunkOffset = 60, kHeaderChunkCount = 64, kHeaderLastId = 68;

// A few finished stacks (name, file bytes) covering every record and chunk kind. All of them
// need no change from opening and saving, so a save writes them back byte for byte.
std::vector<std::pair<std::string, Bytes>> sampleStacks();
// The description of the richest of them, for tests that check its fields.
StackSpec richStack();

bool writeFile(const std::string& path, const Bytes& bytes);
Bytes readFile(const std::string& path);

} // namespace cvtest
