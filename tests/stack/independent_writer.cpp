#include "independent_writer.h"

#include <cstdio>
#include <fstream>
#include <iterator>

namespace cvtest {

void be16(Bytes& b, size_t at, uint16_t v) { b.at(at) = uint8_t(v >> 8), b.at(at + 1) = uint8_t(v); }
void be32(Bytes& b, size_t at, uint32_t v) { be16(b, at, uint16_t(v >> 16)), be16(b, at + 2, uint16_t(v)); }
uint16_t rdBe16(const Bytes& b, size_t at) { return uint16_t((b.at(at) << 8) | b.at(at + 1)); }
uint32_t rdBe32(const Bytes& b, size_t at) { return (uint32_t(rdBe16(b, at)) << 16) | rdBe16(b, at + 2); }

namespace {

// Pattern values of 32-bit setting fields and of bytes that are never converted.
constexpr uint32_t pat32(uint32_t offset) { return 0x10203000u + offset; }
constexpr uint8_t rawByte(uint32_t offset) { return uint8_t(offset * 7 + 0x3D); }

// A counted string in a zero-filled field.
void pstr(Bytes& b, size_t at, size_t field, const std::string& s) {
    for (size_t i = 0; i < field; ++i) b.at(at + i) = 0;
    b.at(at) = uint8_t(s.size());
    for (size_t i = 0; i < s.size(); ++i) b.at(at + 1 + i) = uint8_t(s[i]);
}

} // namespace

void rect(Bytes& b, size_t at, Rect r) {
    for (int16_t v : {r.top, r.left, r.bottom, r.right}) be16(b, at, uint16_t(v)), at += 2;
}

void append(Bytes& b, const Bytes& more) { b.insert(b.end(), more.begin(), more.end()); }
uint32_t roundUp4(uint32_t n) { return (n + 3) & ~3u; }

namespace {

void raw(Bytes& b, size_t from, size_t to) {
    for (size_t o = from; o < to; ++o) b.at(o) = rawByte(uint32_t(o));
}
void pats(Bytes& b, std::initializer_list<uint32_t> offsets) {
    for (uint32_t o : offsets) be16(b, o, pat16(o));
}
// 16-bit values at their offsets.
void words(Bytes& b, std::initializer_list<std::pair<size_t, uint16_t>> values) {
    for (auto [at, v] : values) be16(b, at, v);
}
void common(Bytes& o, uint16_t kind, uint16_t id, Rect r, uint16_t flags) {
    words(o, {{0, kind}, {2, id}, {22, flags}});
    rect(o, 4, r);
}
Bytes counted(const std::string& s) {
    Bytes b{uint8_t(s.size())};
    b.insert(b.end(), s.begin(), s.end());
    return b;
}

} // namespace

// One action: the 32-byte action header, its payload and (with `padded`) one pad byte.
static Bytes actionBytes(uint16_t code, const Bytes& payload, bool padded = false) {
    Bytes a(32);
    raw(a, 2, 12);
    raw(a, 16, 22);
    raw(a, 24, 32);
    words(a, {{0, code}, {22, padded ? 0x0200 : 0}});
    append(a, payload);
    if (padded) a.push_back(0xEE);
    be32(a, 12, uint32_t(a.size()));
    return a;
}

Bytes actionPath(const std::string& path, const std::string& fileName) {
    Bytes b = counted(path);
    b.insert(b.end(), 6, 0);
    append(b, counted(fileName));
    return b;
}

Bytes nbaAction(uint16_t nbaId, const Bytes& parameters) {
    Bytes a = actionBytes(51, parameters);
    be16(a, 16, nbaId);
    return a;
}

Bytes stackSoundAction(uint16_t soundId, bool track) {
    Bytes a = actionBytes(83, {});
    words(a, {{4, pat16(4)}, {16, soundId}, {24, track ? 0x8021 : 0x0021}});
    return a;
}

Bytes soundFileAction(const Bytes& path) {
    Bytes a = actionBytes(82, path, path.size() & 1);
    pats(a, {4, 24});
    return a;
}

static Bytes movieAction(const Bytes& path) {
    Bytes a = actionBytes(89, path, path.size() & 1);
    pats(a, {2, 20});
    rect(a, 4, Rect{11, 12, 13, 14});
    be32(a, 16, pat32(16));
    return a;
}

Bytes otherStackAction(const Bytes& path) { return actionBytes(60, path, path.size() & 1); }

static Bytes scriptAction(const std::string& text) {
    Bytes a = actionBytes(64, Bytes(text.begin(), text.end()), text.size() & 1);
    rect(a, 4, Rect{21, 22, 23, 24});
    return a;
}

static Bytes launchAction(const std::string& document, const std::string& program) {
    Bytes payload(document.begin(), document.end());
    payload.insert(payload.end(), program.begin(), program.end());
    Bytes a = actionBytes(59, payload, payload.size() & 1);
    be16(a, 16, pat16(16));
    be32(a, 18, uint32_t(document.size()));
    return a;
}

static Bytes videodiscAction() {
    Bytes a = actionBytes(119, {});
    rect(a, 4, Rect{31, 32, 33, 34});
    pats(a, {18, 20, 24});
    return a;
}

static Bytes animationAction(int frames, uint32_t frameBytes) {
    Bytes d(18);
    raw(d, 0, 18);
    be16(d, 8, uint16_t(frames));
    for (int i = 0; i < frames; ++i) {
        Bytes f(frameBytes);
        raw(f, 0, frameBytes);
        be16(f, 0, uint16_t(0x0A00 + i));
        be32(f, 8, frameBytes);
        append(d, f);
    }
    Bytes a = actionBytes(56, d, d.size() & 1);
    rect(a, 4, Rect{41, 42, 43, 44});
    return a;
}

Bytes shapeAction(const Bytes& mask, uint16_t runtime) {
    Bytes payload(8);
    words(payload, {{0, pat16(32)}, {2, pat16(34)}, {4, runtime}, {6, runtime}});
    append(payload, mask);
    return actionBytes(130, payload, payload.size() & 1);
}

Bytes buttonRecord(const ButtonSpec& s) {
    Bytes o(136);
    raw(o, 72, 74);
    raw(o, 82, 136);
    common(o, 48, s.id, s.rect, s.objectFlags);
    pats(o, {16, 18, 24, 26, 62, 66, 68, 70, 74, 76, 80});
    words(o, {{20, s.summary}, {60, s.shape}, {64, s.buttonFlags}, {78, s.iconId}});
    pstr(o, 28, 32, s.name);
    for (const Bytes& a : s.actions) append(o, a);
    be32(o, 12, uint32_t(o.size()));
    return o;
}

Bytes graphicTrailing(uint16_t width, uint16_t height, uint16_t word1, uint16_t word2, const Bytes& rest) {
    Bytes t(8);
    words(t, {{0, width}, {2, height}, {4, word1}, {6, word2}});
    append(t, rest);
    return t;
}

Bytes objectFileRef(const std::string& path, const std::string& name) {
    Bytes b = counted(path);
    if (b.size() & 1) b.push_back(0);
    b.insert(b.end(), 6, 0);
    append(b, counted(name));
    return b;
}

Bytes graphicRecord(const GraphicSpec& s) {
    Bytes o(80);
    raw(o, 26, 28);
    raw(o, 64, 80);
    common(o, 16, s.id, s.rect, s.objectFlags);
    pats(o, {16, 18, 20, 24, 58});
    words(o, {{28, uint16_t(s.pictureFlags | (s.trailing.empty() ? 0 : 0x02))}, {54, s.depth}, {56, s.actionId}});
    rect(o, 30, s.pictureRect);
    pstr(o, 38, 16, s.name);
    be32(o, 60, uint32_t(s.trailing.size()));
    append(o, s.data);
    append(o, s.trailing);
    if (s.objectFlags & 0x200) o.push_back(0xEE);
    be32(o, 12, uint32_t(o.size()));
    return o;
}

Bytes styleRuns(uint16_t font, uint16_t size) {
    Bytes r(22);
    words(r, {{0, 1}, {6, 16}, {8, 12}, {10, font}, {12, 0x0500}, {14, size}, {16, 0xFF00}, {18, 0x8000}});
    return r;
}

Bytes textRecord(const TextSpec& s) {
    Bytes o(128);
    raw(o, 90, 102);
    raw(o, 106, 128);
    common(o, 96, s.id, s.rect, s.objectFlags);
    be32(o, 16, pat32(16));
    pats(o, {20, 24, 28, 30, 32, 34, 36, 38, 44, 50, 56, 58, 60, 62, 64, 68, 70, 88, 104});
    be32(o, 40, pat32(40));
    be32(o, 46, pat32(46));
    be32(o, 52, pat32(52));
    words(o, {{26, s.secondFlags}, {66, uint16_t(s.alignment)}, {102, s.actionId}});
    pstr(o, 72, 16, s.name);
    for (const TextSub& t : s.subs) {
        Bytes sub(16);
        words(sub, {{0, 99}, {2, t.cardId}});
        be32(sub, 4, t.flags);
        be32(sub, 8, uint32_t(t.text.size()));
        append(sub, t.text);
        append(sub, t.styles);
        if (t.flags & 0x200) sub.push_back(0xEE);
        be32(sub, 12, uint32_t(sub.size()));
        append(o, sub);
    }
    if (s.objectFlags & 0x200) o.push_back(0xEE);
    be32(o, 12, uint32_t(o.size()));
    return o;
}

Bytes colourTable(int entries, uint16_t r, uint16_t g, uint16_t b) {
    Bytes t(8 + 8 * size_t(entries));
    be32(t, 0, 0x12345678);
    be16(t, 6, uint16_t(entries - 1));
    for (int i = 0; i < entries; ++i) {
        const size_t e = 8 + 8 * size_t(i);
        const uint16_t v = uint16_t(i * 0x0101);
        words(t, {{e, uint16_t(i)}, {e + 2, i ? v : r}, {e + 4, i ? uint16_t(v ^ 0x5555) : g},
                  {e + 6, i ? uint16_t(v ^ 0xAAAA) : b}});
    }
    return t;
}

Bytes pictureRecord(const PictureSpec& s) {
    Bytes p(24);
    raw(p, 4, 10);
    raw(p, 20, 24);
    words(p, {{0, pat16(0)}, {2, s.format}, {10, s.padded ? 0x0200 : 0}});
    be32(p, 16, uint32_t(s.colourTable.size()));
    append(p, s.colourTable);
    if (s.format == 2) {
        size_t at = p.size();
        p.resize(at + 16);
        for (uint32_t v : {s.topPattern, s.topCount, s.bottomPattern, s.bottomCount}) be32(p, at, v), at += 4;
    }
    append(p, s.data);
    if (s.padded) p.push_back(0xEE);
    be32(p, 12, uint32_t(p.size()));
    return p;
}

Bytes cardRecord(const CardSpec& s) {
    Bytes c(96);
    raw(c, 12, 16);
    raw(c, 24, 32);
    raw(c, 58, 96);
    pats(c, {10, 16, 54, 56});
    words(c, {{0, s.id}, {6, s.mode}, {8, s.backgroundId}, {18, s.depth}, {20, s.width}, {22, s.height},
              {48, s.arrive}, {50, s.leave}, {52, s.click}});
    pstr(c, 32, 16, s.name);
    if (s.picture) append(c, pictureRecord(*s.picture));
    for (const Bytes& o : s.objects) append(c, o);
    append(c, {0, 0, 0xFA, 0xCE});
    be32(c, 2, uint32_t(c.size()));
    return c;
}

Bytes linkData(uint16_t linkNumber, uint16_t textObject, const std::string& text, const Bytes& after,
               const std::optional<Bytes>& actionRecord) {
    Bytes d(23);
    raw(d, 10, 23);
    words(d, {{0, linkNumber}, {2, textObject}, {4, uint16_t(after.size())}, {6, uint16_t(text.size())},
              {8, actionRecord ? 1 : 0}});
    d.insert(d.end(), text.begin(), text.end());
    d.push_back(0); // the byte after the text, where the text sits once in memory
    append(d, after);
    if (actionRecord) append(d, *actionRecord);
    return d;
}

Bytes stackFile(const StackSpec& s) {
    Bytes f(128);
    raw(f, 28, 48);
    raw(f, 80, 128);
    pats(f, {0, 2, 12, 18, 20, 22, 24, 26, 48, 52, 54, 76});
    words(f, {{4, s.cardCount.value_or(uint16_t(s.cards.size()))}, {6, s.field6}, {8, s.version},
              {10, s.nextCardId}, {14, s.flags}, {16, s.depth}, {50, s.field50}, {56, s.width}, {58, s.height},
              {72, s.arrive}, {74, s.leave}, {78, s.click}});
    for (const Bytes& c : s.cards) append(f, c);
    be32(f, kHeaderChunkOffset, s.chunkOffset.value_or(uint32_t(f.size())));
    be32(f, kHeaderChunkCount, s.chunkCount.value_or(uint32_t(s.chunks.size())));
    be32(f, kHeaderLastId, s.lastChunkId);
    for (const ChunkSpec& c : s.chunks) {
        Bytes h(68);
        be32(h, 0, c.type);
        be16(h, 4, c.id);
        h[6] = uint8_t(c.marker);
        h[7] = uint8_t(c.marker >> 8);
        pstr(h, 8, 32, c.name);
        be32(h, 40, c.attributes);
        be32(h, 44, c.dataLength.value_or(uint32_t(c.data.size())));
        const uint32_t slot = c.slot.value_or(roundUp4(uint32_t(c.data.size())));
        be32(h, 48, slot);
        append(f, h);
        Bytes body = c.data;
        body.resize(slot, c.padByte);
        append(f, body);
    }
    return f;
}

namespace {

// Windows form: NUL-terminated path padded to even, 6 zero bytes, NUL-terminated name.
Bytes windowsRef(const std::string& path, const std::string& name) {
    Bytes b(path.begin(), path.end());
    b.push_back(0);
    if (b.size() & 1) b.push_back(0);
    b.insert(b.end(), 6, 0);
    b.insert(b.end(), name.begin(), name.end());
    b.push_back(0);
    return b;
}

Bytes evenPath(const std::string& path, const std::string& fileName) {
    Bytes b = actionPath(path, fileName);
    if (b.size() & 1) b.push_back(0);
    return b;
}

} // namespace

StackSpec richStack() {
    // Card 1: no picture; a button carrying an action of every code, a graphic object with
    // trailing data and a text object with two per-card texts.
    const ButtonSpec b{
        .id = 1, .name = "Everything",
        .summary = 0x0004 | 0x0001 | 0x0100 | 0x0080 | 0x4000 | 0x0008 | 0x1000 | 0x0020 | 0x8000,
        .buttonFlags = 0x18, .iconId = 400,
        .actions = {stackSoundAction(200, false), stackSoundAction(201, true), nbaAction(300, Bytes{1, 2, 3, 4, 5}),
                    soundFileAction(evenPath("C:\\Sounds\\bell.wav", "bell.wav")),
                    movieAction(evenPath("C:\\Movies\\intro.mov", "intro.mov")),
                    otherStackAction(evenPath("C:\\Stacks\\Other.stk", "Other.stk")), scriptAction("print \"hello"),
                    launchAction("C:\\Docs\\a.txt", "C:\\Apps\\edit.exe"), videodiscAction(), animationAction(3, 20),
                    shapeAction(Bytes{0xF0, 0x0F, 0xAA})}};
    const GraphicSpec g{.id = 2, .rect = {100, 50, 164, 82}, .pictureRect = {0, 0, 64, 32}, .actionId = 501,
                        .trailing = graphicTrailing(64, 32, 0, 0, Bytes{7, 7, 7, 7})};
    const TextSpec t{.id = 3, .objectFlags = 0x10, .secondFlags = 0x02, .actionId = 502,
                     .subs = {{1, 0, Bytes{'H', 'i', '!'}, styleRuns(1000, 12)}, {2, 0x200, Bytes{'Y', 'o'}, styleRuns(1000, 14)}}};
    const CardSpec c1{.id = 1, .name = "First", .arrive = 503,
                      .objects = {buttonRecord(b), graphicRecord(g), textRecord(t)}};
    // Card 2: own picture, format 1, with a graphic object that names a file.
    const CardSpec c2{.id = 2, .mode = 1, .name = "Pictured", .leave = 504,
                      .picture = PictureSpec{.colourTable = colourTable(4, 0x0000, 0x0000, 0x0000)},
                      .objects = {graphicRecord({.id = 5, .objectFlags = 0x40 | 0x200,
                                                 .data = windowsRef("C:\\Pictures\\sky.jpeg", "sky.jpeg")})}};
    // Card 3: own picture, format 2 with a fill block and a pad byte; a text object whose
    // text comes from a file.
    const CardSpec c3{.id = 3, .mode = 1, .click = 505,
                      .picture = PictureSpec{.format = 2, .padded = true, .colourTable = colourTable(2, 0x1234, 0x5678, 0x9ABC)},
                      .objects = {textRecord({.id = 7, .objectFlags = 0x40,
                                              .subs = {{3, 0, windowsRef("C:\\Texts\\poem.txt", "poem.txt"), {}}}})}};
    // Cards 4 and 5 share backgrounds: 5 -> 4 -> 3.
    const CardSpec c4{.id = 4, .mode = 3, .backgroundId = 3, .objects = {buttonRecord({.id = 8, .name = "Plain"})}};
    const CardSpec c5{.id = 5, .mode = 3, .backgroundId = 4};

    auto actn = [](uint16_t id, const std::string& name) {
        return buttonRecord({.id = id, .name = name, .summary = 0x1000, .actions = {scriptAction("beep")}});
    };
    const Bytes linkAction = buttonRecord({.id = 0, .name = "Link action", .summary = 0x0020});
    return StackSpec{
        .nextCardId = 9, .arrive = 500, .lastChunkId = 520,
        .cards = {cardRecord(c1), cardRecord(c2), cardRecord(c3), cardRecord(c4), cardRecord(c5)},
        .chunks = {
            {fcc("Actn"), 500, 0, "Arrive", 0, actn(500, "Arrive stack")},
            {fcc("Actn"), 501, 0, "", 0, actn(501, "Graphic")},
            {fcc("Actn"), 502, 0, "", 0, actn(502, "Text")},
            {fcc("Actn"), 503, 0, "", 0, actn(503, "Card arrive")},
            {fcc("Actn"), 504, 0, "", 0, actn(504, "Card leave")},
            {fcc("Actn"), 505, 0, "", 0, actn(505, "Card click")},
            {fcc("Actn"), 8, 0, "", 0, actn(8, "Button's own")},
            {fcc("Icon"), 400, 0, "Star", 0, Bytes{1, 2, 3, 4, 5, 6, 7}},
            {fcc("Snd "), 200, 0, "Bell", 0x00010000, Bytes(1001, 0x42)},
            {fcc("Strk"), 201, 0, "Track", 0, Bytes(64, 0x43)},
            {fcc("NBAs"), 300, 0, "Clock", 0, Bytes{0, 1, 0, 2, 0, 0, 0, 0, 9, 9}},
            {fcc("Snd "), 202, 0, "clock@tick", 0, Bytes(10, 0x44)},
            {fcc("Hlnk"), 510, 0, "", 0, linkData(510, 3, "linked", Bytes{1, 2}, linkAction)},
            {fcc("Hlnk"), 511, 0, "", 0, linkData(511, 0, "plain", {}, std::nullopt)},
            {fcc("WKSp"), 128, 0, "", 0, Bytes{'t', 'o', ' ', 'x', 0x0D, 'e', 'n', 'd'}},
            {fcc("FntL"), 128, 0, "", 0, Bytes(92 * 2, 0)},
            {fcc("CVpr"), 1, 0, "", 0, Bytes{}},
            {fcc("WkSp"), 128, 0, "", 0, Bytes{'x'}},
            {fcc("XXXX"), 7, 0x4323, "Own", 0, Bytes{0xDE, 0xAD, 0xBE}},
        }};
}

std::vector<std::pair<std::string, Bytes>> sampleStacks() {
    const Bytes plainCard = cardRecord({});
    // Macintosh text: names hold bytes that the Macintosh set and Windows both have.
    const CardSpec macCard{.objects = {buttonRecord({.id = 3, .name = "Caf\x8E \x87 \x96"}),
                                       graphicRecord({.name = "\x8A\x9A"}),
                                       textRecord({.id = 4, .name = "\xA5 dot", .subs = {{1, 0, Bytes{'a'}, {}}}})}};
    const StackSpec mac{.flags = 0x10, .arrive = 9, .lastChunkId = 9, .cards = {cardRecord(macCard)},
                        .chunks = {{fcc("Actn"), 9, 0, "", 0, buttonRecord({.id = 9, .name = "Ol\x9A"})}}};
    // Many chunks of one type, and resources kept by the stack's own flag.
    StackSpec icons{.flags = 0x01, .lastChunkId = 40, .cards = {plainCard}};
    for (uint16_t i = 1; i <= 40; ++i)
        icons.chunks.push_back({fcc("Icon"), i, 0, "i" + std::to_string(i), 0, Bytes(i, uint8_t(i))});
    return {{"plain", stackFile({.cards = {plainCard}})}, {"rich", stackFile(richStack())},
            {"mac", stackFile(mac)}, {"icons", stackFile(icons)}};
}

bool writeFile(const std::string& path, const Bytes& bytes) {
    std::ofstream f(path, std::ios::binary | std::ios::trunc);
    f.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    return bool(f);
}

Bytes readFile(const std::string& path) {
    std::ifstream f(path, std::ios::binary | std::ios::ate);
    if (!f) return {};
    Bytes b(size_t(f.tellg()));
    f.seekg(0);
    f.read(reinterpret_cast<char*>(b.data()), std::streamsize(b.size())); // whole: large stacks too
    return b;
}

} // namespace cvtest
