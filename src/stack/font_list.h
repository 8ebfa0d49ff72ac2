#pragma once
// The stack's font list ('FntL' 128): numbered entries that style runs name their fonts by,
// and the logical font a number stands for. The list is kept big-endian in memory, as it is
// stored. Which installed face a name gives is the platform's business: the text engine
// installs a resolver, and without one names are taken as they stand.
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "core/handles.h"

namespace cv {

// Used when a font number is not in the list.
inline constexpr std::string_view kDefaultFontName = "Times New Roman";

// Our screen counts 96 pixels per inch, vertically and horizontally.
constexpr int kScreenPixelsPerInch = 96;

namespace fntl {
constexpr uint32_t kEntrySize = 92;
constexpr uint32_t kName = 0;          // 64-byte counted string
constexpr uint32_t kNameSize = 64;
constexpr uint32_t kNumber = 64;
constexpr uint32_t kMacName = 66;
constexpr uint32_t kPitchFamily = 68;
constexpr uint32_t kOutPrecision = 70;
constexpr uint32_t kClipPrecision = 74;
constexpr uint32_t kQuality = 78;
constexpr uint32_t kCharSet = 82;
constexpr uint32_t kHeight = 86;
constexpr uint32_t kWidth = 88;
constexpr uint32_t kWeight = 90;
constexpr uint16_t kFirstNumber = 1000;
constexpr uint16_t kLastNumber = 65000;
} // namespace fntl

// A logical font, as the platform's font mapper takes it.
struct FontDescription {
    std::string faceName;     // Windows-1252
    int height = 0;           // negative: the character height in pixels
    int width = 0;            // 0: the face's own proportions
    int escapement = 0;
    int orientation = 0;
    int weight = 400;
    bool italic = false;
    bool underline = false;
    bool strikeOut = false;
    uint8_t charSet = 0;
    uint8_t outPrecision = 0;
    uint8_t clipPrecision = 0;
    uint8_t quality = 0;
    uint8_t pitchAndFamily = 0;
    bool operator==(const FontDescription&) const = default;
};

struct FontListEntry {
    std::string name;         // as stored (unmapped)
    uint16_t number = 0;
    bool macName = false;
    uint16_t pitchAndFamily = 0;
    uint32_t outPrecision = 0;
    uint32_t clipPrecision = 0;
    uint32_t quality = 0;
    uint32_t charSet = 0;
    uint16_t height = 0;
    uint16_t width = 0;
    uint16_t weight = 0;
};

// The entries of a stored list, up to the entry numbered 0 or the last whole entry.
std::vector<FontListEntry> ParseFontList(std::span<const uint8_t> list);
std::optional<FontListEntry> FindFontEntry(std::span<const uint8_t> list, uint16_t number);

// A Macintosh font name as its Windows counterpart ("geneva" -> "arial", ...), ignoring case.
std::string MapMacFontName(std::string_view name);

// Stored run sizes are pixels of the screen the text was laid out on; the engine takes points.
int PointsForSize(int size, int pixelsPerInch = kScreenPixelsPerInch);
int PixelHeightForPoints(int points, int pixelsPerInch = kScreenPixelsPerInch);

// The face actually used for a face name that is not installed (the system's substitute).
using FontResolver = std::function<std::string(const std::string& faceName)>;
// `installed` says whether a face is installed as named; `substitute` names the face the system
// chooses instead. Either may be empty (then every name counts as installed).
void SetFontResolver(std::function<bool(const std::string&)> installed, FontResolver substitute);

// The logical font for list entry `number` at `points`, from `list` (the open stack's list
// when omitted). A name that is not installed is replaced, once per name, by the face the
// system picks for it.
FontDescription FontForNumber(uint16_t number, int points, std::span<const uint8_t> list);
FontDescription FontForNumber(uint16_t number, int points);

// The number of the entry named `font.faceName` (ignoring case), adding an entry at the front
// of `list` when the name is new (a list is made when `list` is 0). New numbers come from a
// counter that starts at 1000 and wraps after 65000, skipping numbers in use. 0 when no number
// can be had. `width` and `height` are stored by their high 16 bits.
uint16_t AddFontToList(Handle& list, const FontDescription& font, uint32_t width, uint32_t height);
// The same on the open stack's list; a changed list is also stored in the stack's chunks.
uint16_t AddFontToList(const FontDescription& font, uint32_t width, uint32_t height);

// Forgets resolved face names and restarts the numbering (a new run of the program starts
// at 1000).
void ResetFontState(uint16_t nextNumber = fntl::kFirstNumber);

} // namespace cv
