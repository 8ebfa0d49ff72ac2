#pragma once
// The stored text of text objects: the text sub-records that follow the object's fixed part
// (one, or one per card for a text object shared by several cards), their style runs in the
// big-endian Macintosh style-scrap layout, and storing edited text back into a card record.
// Sub-record headers are in native order in memory; the characters stay in the stack's own
// character set and the style runs stay big-endian.
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "core/handles.h"

namespace cv {

// Style bits of a run (QuickDraw's).
enum : uint8_t {
    kStyleBold = 0x01,
    kStyleItalic = 0x02,
    kStyleUnderline = 0x04,
    kStyleOutline = 0x08,
    kStyleShadow = 0x10,
    kStyleCondensed = 0x20,
    kStyleExtended = 0x40,
};

constexpr uint32_t kStyleRunSize = 20;
constexpr uint32_t kSubFlagPadded = 0x200;

struct StyleRun {
    uint32_t start = 0;       // first character of the run
    uint16_t lineHeight = 0;
    uint16_t ascent = 0;
    uint16_t font = 0;        // a number of the stack's font list
    uint8_t style = 0;
    uint8_t pad = 0;
    uint16_t size = 12;       // pixels of the screen the text was made on
    uint16_t red = 0, green = 0, blue = 0;

    bool operator==(const StyleRun&) const = default;
    // Everything but where the run starts.
    bool sameStyle(const StyleRun& o) const {
        StyleRun a = *this;
        a.start = o.start;
        return a == o;
    }
};

// The runs stored in `bytes` (a count, then 20-byte runs). Runs that the count claims but
// the bytes do not hold are left out, and `damaged` is set.
std::vector<StyleRun> ParseStyleRuns(std::span<const uint8_t> bytes, bool* damaged = nullptr);
std::vector<uint8_t> StyleRunBytes(const std::vector<StyleRun>& runs);

struct TextSubrecord {
    uint32_t offset = 0;      // from the start of the object
    uint16_t type = 0;
    uint16_t cardId = 0;
    uint32_t flags = 0;
    uint32_t textLength = 0;  // cut to what the sub-record holds
    uint32_t length = 0;
    uint32_t textOffset() const { return offset + 16; }
    uint32_t runsOffset() const { return offset + 16 + textLength; }
    uint32_t runsLength() const {
        const uint32_t pad = (flags & kSubFlagPadded) && length > 16 + textLength ? 1 : 0;
        return length - 16 - textLength - pad;
    }
};

// The sub-records of a text object (its whole record in native form), in stored order. The
// walk stops at the first sub-record that does not fit in the object.
std::vector<TextSubrecord> TextSubrecords(std::span<const uint8_t> object);

// The sub-record shown on card `cardId`: without per-card text the first; else the one of that
// card, else the one of `lastAddedFrom` (the card that was current when the most recent card
// was added; 0 when none was), else the first. nullopt when the object has none.
std::optional<TextSubrecord> FindTextSubrecord(std::span<const uint8_t> object, uint16_t cardId,
                                               uint16_t lastAddedFrom);
// The same for the open stack.
std::optional<TextSubrecord> FindTextSubrecord(std::span<const uint8_t> object, uint16_t cardId);

struct StoredText {
    std::string text;             // as stored (the stack's own character set)
    std::vector<StyleRun> runs;
    bool runsDamaged = false;
};
StoredText ReadStoredText(std::span<const uint8_t> object, const TextSubrecord& sub);

// The Windows text a text object shows on a card (converted from the Macintosh set when
// `macText`); empty when it has no sub-record. Objects whose text comes from a file are not
// read here (see TextFileReference).
std::string TextForCard(std::span<const uint8_t> object, uint16_t cardId, bool macText);

// For an object whose text comes from a file (flag 0x40): the stored path of that file.
std::optional<std::string> TextFileReference(std::span<const uint8_t> object);

// The text object `objectId` of a card record (native form) as a span, or an empty span.
std::span<const uint8_t> TextObjectIn(Handle card, uint16_t objectId);

// Writes `text` (Windows bytes) and `styles` (stored run bytes: count and runs) into the
// sub-record of text object `objectId` for card `cardId`, in card record `card`. 0 on success;
// 16 when the object is not there or its text belongs to a file; when memory runs short the
// low-memory alert is shown, the old text stays and the result is 16.
int StoreTextFromEngine(uint16_t objectId, Handle card, Handle text, Handle styles, uint16_t cardId);
int StoreTextFromEngine(uint16_t objectId, Handle card, const std::string& text,
                        const std::vector<uint8_t>& styles, uint16_t cardId);

} // namespace cv
