#include "stack/font_list.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <map>

#include "core/byte_order.h"
#include "core/pstring.h"
#include "stack/record_layout.h"
#include "stack/stack_document.h"
#include "stack/stack_resources.h"

namespace cv {

namespace {

struct FontState {
    std::function<bool(const std::string&)> installed;
    FontResolver substitute;
    std::map<std::string, std::string> resolved;  // face asked for -> face used
    uint16_t counter = fntl::kFirstNumber;
};

FontState& state() {
    static FontState s;
    return s;
}

std::string lowerAscii(std::string_view s) {
    std::string out(s);
    for (char& c : out)
        if (c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');
    return out;
}

FontListEntry entryAt(const uint8_t* e) {
    FontListEntry f;
    const uint32_t len = std::min<uint32_t>(e[fntl::kName], fntl::kNameSize - 1);
    f.name.assign(reinterpret_cast<const char*>(e + fntl::kName + 1), len);
    f.number = loadBE16(e + fntl::kNumber);
    f.macName = loadBE16(e + fntl::kMacName) != 0;
    f.pitchAndFamily = loadBE16(e + fntl::kPitchFamily);
    f.outPrecision = loadBE32(e + fntl::kOutPrecision);
    f.clipPrecision = loadBE32(e + fntl::kClipPrecision);
    f.quality = loadBE32(e + fntl::kQuality);
    f.charSet = loadBE32(e + fntl::kCharSet);
    f.height = loadBE16(e + fntl::kHeight);
    f.width = loadBE16(e + fntl::kWidth);
    f.weight = loadBE16(e + fntl::kWeight);
    return f;
}

std::span<const uint8_t> handleBytes(Handle h) {
    const uint8_t* p = memRefs().data(h);
    return p ? std::span<const uint8_t>(p, GetHandleSize(h)) : std::span<const uint8_t>();
}

// The face the system uses for `face`: the name itself when installed, else its substitute,
// found once per name.
std::string resolveFace(const std::string& face) {
    FontState& s = state();
    if (!s.installed || !s.substitute) return face;
    if (auto it = s.resolved.find(face); it != s.resolved.end()) return it->second;
    const std::string used = s.installed(face) ? face : s.substitute(face);
    s.resolved.emplace(face, used.empty() ? face : used);
    return s.resolved[face];
}

} // namespace

std::vector<FontListEntry> ParseFontList(std::span<const uint8_t> list) {
    std::vector<FontListEntry> out;
    for (size_t off = 0; off + fntl::kEntrySize <= list.size(); off += fntl::kEntrySize) {
        FontListEntry e = entryAt(list.data() + off);
        if (e.number == 0) break;
        out.push_back(std::move(e));
    }
    return out;
}

std::optional<FontListEntry> FindFontEntry(std::span<const uint8_t> list, uint16_t number) {
    if (number == 0) return std::nullopt;
    for (size_t off = 0; off + fntl::kEntrySize <= list.size(); off += fntl::kEntrySize) {
        const uint16_t n = loadBE16(list.data() + off + fntl::kNumber);
        if (n == 0) break;
        if (n == number) return entryAt(list.data() + off);
    }
    return std::nullopt;
}

std::string MapMacFontName(std::string_view name) {
    const std::string lower = lowerAscii(name);
    if (lower == "geneva") return "arial";
    if (lower == "monaco") return "courier new";
    if (lower == "helvetica") return "ms sans serif";
    return std::string(name);
}

int PointsForSize(int size, int pixelsPerInch) {
    if (pixelsPerInch <= 0) return size;
    return int(std::lround(double(size) * 72.0 / pixelsPerInch));
}

int PixelHeightForPoints(int points, int pixelsPerInch) {
    return int(std::lround(double(points) * pixelsPerInch / 72.0));
}

void SetFontResolver(std::function<bool(const std::string&)> installed, FontResolver substitute) {
    FontState& s = state();
    s.installed = std::move(installed);
    s.substitute = std::move(substitute);
    s.resolved.clear();
}

void ResetFontState(uint16_t nextNumber) {
    FontState& s = state();
    s.resolved.clear();
    s.counter = std::clamp(nextNumber, fntl::kFirstNumber, fntl::kLastNumber);
}

FontDescription FontForNumber(uint16_t number, int points, std::span<const uint8_t> list) {
    FontDescription f;
    const auto entry = FindFontEntry(list, number);
    std::string face = entry ? entry->name : std::string(kDefaultFontName);
    if (entry && entry->macName) face = MapMacFontName(face);
    f.height = -PixelHeightForPoints(points);
    if (entry) {
        f.width = entry->width;
        f.weight = entry->weight;
        // The logical font's byte-sized fields take the low byte of what the entry holds.
        f.charSet = uint8_t(entry->charSet);
        f.outPrecision = uint8_t(entry->outPrecision);
        f.clipPrecision = uint8_t(entry->clipPrecision);
        f.quality = uint8_t(entry->quality);
        f.pitchAndFamily = uint8_t(entry->pitchAndFamily);
    }
    f.faceName = resolveFace(face);
    return f;
}

FontDescription FontForNumber(uint16_t number, int points) {
    return FontForNumber(number, points, handleBytes(theStack().fontList));
}

uint16_t AddFontToList(Handle& list, const FontDescription& font, uint32_t width, uint32_t height) {
    const std::span<const uint8_t> bytes = handleBytes(list);
    std::vector<bool> used(65536, false);
    for (const FontListEntry& e : ParseFontList(bytes)) {
        if (equalNoCase(e.name, font.faceName)) return e.number;
        used[e.number] = true;
    }

    // One full turn of the counter at most: a list holding every number gets no new entry.
    FontState& s = state();
    uint16_t number = 0;
    for (uint32_t tries = 0; tries <= fntl::kLastNumber - fntl::kFirstNumber && number == 0; ++tries) {
        const uint16_t candidate = s.counter;
        s.counter = s.counter >= fntl::kLastNumber ? fntl::kFirstNumber : uint16_t(s.counter + 1);
        if (!used[candidate]) number = candidate;
    }
    if (number == 0) return 0;

    uint8_t e[fntl::kEntrySize] = {};
    setPStringField(e + fntl::kName, fntl::kNameSize, font.faceName);
    storeBE16(e + fntl::kNumber, number);
    storeBE16(e + fntl::kPitchFamily, font.pitchAndFamily);
    storeBE32(e + fntl::kOutPrecision, font.outPrecision);
    storeBE32(e + fntl::kClipPrecision, font.clipPrecision);
    storeBE32(e + fntl::kQuality, font.quality);
    storeBE32(e + fntl::kCharSet, font.charSet);
    storeBE16(e + fntl::kHeight, uint16_t(height >> 16));
    storeBE16(e + fntl::kWidth, uint16_t(width >> 16));
    storeBE16(e + fntl::kWeight, 400);

    if (!IsHandleValid(list)) {
        // A new list: the entry and the entry numbered 0 that ends it.
        Handle h = NewHandle(2 * fntl::kEntrySize);
        if (!h) return 0;
        std::memcpy(memRefs().data(h), e, sizeof e);
        list = h;
        return number;
    }
    if (InsertBytes(list, e, 0, sizeof e) != 0) return 0;
    return number;
}

uint16_t AddFontToList(const FontDescription& font, uint32_t width, uint32_t height) {
    StackDocument& s = theStack();
    const uint32_t before = IsHandleValid(s.fontList) ? GetHandleSize(s.fontList) : 0;
    const uint16_t number = AddFontToList(s.fontList, font, width, height);
    if (number == 0 || GetHandleSize(s.fontList) == before) return number;
    // The list changed: the stack's copy goes with it, so that saving keeps the new entry.
    s.changed = true;
    if (!s.open()) return number;
    ResourceRequest req;
    req.type = chunk::kFntL;
    req.id = 128;
    req.data = NewHandleFrom(memRefs().data(s.fontList), GetHandleSize(s.fontList));
    req.flags = kResPerform | kResReplace;
    const std::string name = StackResourceName(chunk::kFntL, 128);
    setPStringField(req.name, sizeof req.name, name);
    if (req.data) AddStackResource(req);
    return number;
}

} // namespace cv
