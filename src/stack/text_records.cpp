#include "stack/text_records.h"

#include <cstring>

#include "core/alerts.h"
#include "core/byte_order.h"
#include "core/mac_charset.h"
#include "resources/strings.h"
#include "stack/chunk_file.h"
#include "stack/mac_path.h"
#include "stack/record_layout.h"
#include "stack/stack_document.h"

namespace cv {

namespace {

// Where an object's sub-records end: before the pad byte of a padded record.
uint32_t subrecordsEnd(std::span<const uint8_t> object) {
    if (object.size() < text::kSubrecords) return 0;
    const bool padded = (get16(object.data() + obj::kFlags) & obj::kFlagPadded) != 0;
    return uint32_t(object.size()) - (padded && object.size() > text::kSubrecords ? 1 : 0);
}

void putHeader(uint8_t* h, uint16_t type, uint16_t cardId, uint32_t flags, uint32_t textLength, uint32_t length) {
    put16(h + text::kSubType, type);
    put16(h + text::kSubCardId, cardId);
    put32(h + text::kSubFlags, flags);
    put32(h + text::kSubTextLength, textLength);
    put32(h + text::kSubLength, length);
}

std::string handleText(Handle h) {
    const uint8_t* p = memRefs().data(h);
    return p ? std::string(reinterpret_cast<const char*>(p), GetHandleSize(h)) : std::string();
}

// Replaces `oldLen` bytes at `at` of the card record with `bytes`, keeping the record's
// length field. The record grows before anything moves, so a failure changes nothing.
bool spliceCard(Handle card, uint32_t at, uint32_t oldLen, const std::vector<uint8_t>& bytes) {
    const uint32_t size = GetHandleSize(card);
    if (at > size || oldLen > size - at) return false;
    const uint64_t newSize64 = uint64_t(size) - oldLen + bytes.size();
    if (newSize64 > UINT32_MAX - 8) return false;
    const uint32_t newSize = uint32_t(newSize64);
    if (newSize > size && SetHandleSize(card, newSize) != 0) return false;
    uint8_t* p = memRefs().data(card);
    std::memmove(p + at + bytes.size(), p + at + oldLen, size - at - oldLen);
    if (!bytes.empty()) std::memcpy(p + at, bytes.data(), bytes.size());
    if (newSize < size) SetHandleSize(card, newSize);
    put32(memRefs().data(card) + card::kLength, newSize);
    return true;
}

} // namespace

std::vector<StyleRun> ParseStyleRuns(std::span<const uint8_t> bytes, bool* damaged) {
    std::vector<StyleRun> runs;
    if (damaged) *damaged = false;
    if (bytes.size() < 2) return runs;
    const uint32_t count = loadBE16(bytes.data());
    const uint32_t fit = uint32_t((bytes.size() - 2) / kStyleRunSize);
    if (count > fit && damaged) *damaged = true;
    runs.reserve(std::min(count, fit));
    for (uint32_t i = 0; i < count && i < fit; ++i) {
        const uint8_t* r = bytes.data() + 2 + i * kStyleRunSize;
        StyleRun s;
        s.start = loadBE32(r);
        s.lineHeight = loadBE16(r + 4);
        s.ascent = loadBE16(r + 6);
        s.font = loadBE16(r + 8);
        s.style = r[10];
        s.pad = r[11];
        s.size = loadBE16(r + 12);
        s.red = loadBE16(r + 14);
        s.green = loadBE16(r + 16);
        s.blue = loadBE16(r + 18);
        runs.push_back(s);
    }
    return runs;
}

std::vector<uint8_t> StyleRunBytes(const std::vector<StyleRun>& runs) {
    const size_t count = std::min<size_t>(runs.size(), 0xFFFF);
    std::vector<uint8_t> out(2 + count * kStyleRunSize);
    storeBE16(out.data(), uint16_t(count));
    for (size_t i = 0; i < count; ++i) {
        const StyleRun& s = runs[i];
        uint8_t* r = out.data() + 2 + i * kStyleRunSize;
        storeBE32(r, s.start);
        storeBE16(r + 4, s.lineHeight);
        storeBE16(r + 6, s.ascent);
        storeBE16(r + 8, s.font);
        r[10] = s.style;
        r[11] = s.pad;
        storeBE16(r + 12, s.size);
        storeBE16(r + 14, s.red);
        storeBE16(r + 16, s.green);
        storeBE16(r + 18, s.blue);
    }
    return out;
}

std::vector<TextSubrecord> TextSubrecords(std::span<const uint8_t> object) {
    std::vector<TextSubrecord> subs;
    const uint32_t end = subrecordsEnd(object);
    uint32_t off = text::kSubrecords;
    while (off < end && end - off >= text::kSubHeaderSize) {
        const uint8_t* p = object.data() + off;
        const uint32_t len = get32(p + text::kSubLength);
        if (len < text::kSubHeaderSize || len > end - off) break;
        TextSubrecord s;
        s.offset = off;
        s.type = get16(p + text::kSubType);
        s.cardId = get16(p + text::kSubCardId);
        s.flags = get32(p + text::kSubFlags);
        s.textLength = std::min(get32(p + text::kSubTextLength), len - text::kSubHeaderSize);
        s.length = len;
        subs.push_back(s);
        off += len;
    }
    return subs;
}

std::optional<TextSubrecord> FindTextSubrecord(std::span<const uint8_t> object, uint16_t cardId,
                                               uint16_t lastAddedFrom) {
    const std::vector<TextSubrecord> subs = TextSubrecords(object);
    if (subs.empty()) return std::nullopt;
    if (!(get16(object.data() + obj::kFlags) & obj::kFlagPerCardText)) return subs.front();
    for (const TextSubrecord& s : subs)
        if (s.cardId == cardId) return s;
    if (lastAddedFrom != 0) {
        for (const TextSubrecord& s : subs)
            if (s.cardId == lastAddedFrom) return s;
    }
    return subs.front();
}

std::optional<TextSubrecord> FindTextSubrecord(std::span<const uint8_t> object, uint16_t cardId) {
    return FindTextSubrecord(object, cardId, theStack().currentWhenLastAdded);
}

StoredText ReadStoredText(std::span<const uint8_t> object, const TextSubrecord& sub) {
    StoredText t;
    if (uint64_t(sub.offset) + sub.length > object.size()) return t;
    t.text.assign(reinterpret_cast<const char*>(object.data() + sub.textOffset()), sub.textLength);
    t.runs = ParseStyleRuns(object.subspan(sub.runsOffset(), sub.runsLength()), &t.runsDamaged);
    return t;
}

std::string TextForCard(std::span<const uint8_t> object, uint16_t cardId, bool macText) {
    if (object.size() < text::kSubrecords || (get16(object.data() + obj::kFlags) & obj::kFlagFileRef)) return {};
    const auto sub = FindTextSubrecord(object, cardId);
    if (!sub) return {};
    std::string text = ReadStoredText(object, *sub).text;
    return macText ? macToWindows(std::move(text)) : text;
}

std::optional<std::string> TextFileReference(std::span<const uint8_t> object) {
    if (object.size() < text::kSubrecords || !(get16(object.data() + obj::kFlags) & obj::kFlagFileRef))
        return std::nullopt;
    const std::vector<TextSubrecord> subs = TextSubrecords(object);
    if (subs.empty() || subs.front().textLength == 0) return std::nullopt;
    const std::string path = objectRefPath(object.data() + subs.front().textOffset(), subs.front().textLength);
    if (path.empty()) return std::nullopt;
    return path;
}

std::span<const uint8_t> TextObjectIn(Handle card, uint16_t objectId) {
    const uint32_t off = FindObject(card, obj::kText, objectId);
    if (!off) return {};
    const uint8_t* p = memRefs().data(card);
    const uint32_t len = get32(p + off + obj::kLength);
    if (len < text::kSubrecords) return {};
    return {p + off, len};
}

int StoreTextFromEngine(uint16_t objectId, Handle card, const std::string& textIn,
                        const std::vector<uint8_t>& styles, uint16_t cardId) {
    StackDocument& s = theStack();
    // 1, 2: the stored bytes, padded to an even length.
    std::vector<uint8_t> data(textIn.begin(), textIn.end());
    if (s.macText) windowsToMac(data.data(), data.size());
    const uint32_t textLength = uint32_t(data.size());
    data.insert(data.end(), styles.begin(), styles.end());
    uint32_t subFlags = 0;
    if (data.size() & 1) {
        data.push_back(0);
        subFlags = kSubFlagPadded;
    }

    // 3: the object, and the sub-record that takes the text.
    const std::span<const uint8_t> object = TextObjectIn(card, objectId);
    if (object.empty()) return kErrNotFound;
    const uint16_t objFlags = get16(object.data() + obj::kFlags);
    // Such an object's first sub-record holds its file's path, not text: writing text there
    // would lose the reference.
    if (objFlags & obj::kFlagFileRef) return kErrNotFound;
    const uint32_t objOff = uint32_t(object.data() - memRefs().data(card));
    const uint32_t objLen = uint32_t(object.size());

    const std::vector<TextSubrecord> subs = TextSubrecords(object);
    std::optional<TextSubrecord> sub;
    uint16_t subType = text::kSubTypeText, subCard = cardId;
    uint32_t replaceAt = 0, replaceLen = 0;
    if (objLen == text::kSubrecords + text::kSubHeaderSize && subs.size() == 1 && subs[0].length == text::kSubHeaderSize) {
        sub = subs[0];
        sub->cardId = cardId; // the empty sub-record becomes this card's
    } else {
        sub = FindTextSubrecord(object, cardId);
        const bool perCard = (objFlags & obj::kFlagPerCardText) != 0;
        if (sub && perCard && sub->cardId != cardId) {
            replaceAt = sub->offset; // a new sub-record goes in front of the one found
            sub.reset();
        } else if (!sub) {
            // No sub-record at all: the text gets one after the object's fixed part.
            replaceAt = subs.empty() ? text::kSubrecords : subs.back().offset + subs.back().length;
        }
    }
    if (sub) {
        replaceAt = sub->offset;
        replaceLen = sub->length;
        subType = sub->type;
        subCard = sub->cardId;
    }

    // 4: the new sub-record, spliced into a copy of the object.
    std::vector<uint8_t> newObject(object.begin(), object.end());
    std::vector<uint8_t> newSub(text::kSubHeaderSize);
    putHeader(newSub.data(), subType, subCard, subFlags, textLength, uint32_t(text::kSubHeaderSize + data.size()));
    newSub.insert(newSub.end(), data.begin(), data.end());
    newObject.erase(newObject.begin() + replaceAt, newObject.begin() + replaceAt + replaceLen);
    newObject.insert(newObject.begin() + replaceAt, newSub.begin(), newSub.end());
    // The object keeps an even length, with its pad byte flagged.
    uint16_t flags = objFlags;
    if (newObject.size() & 1) {
        if (flags & obj::kFlagPadded) {
            newObject.pop_back();
            flags &= ~obj::kFlagPadded;
        } else {
            newObject.push_back(0);
            flags |= obj::kFlagPadded;
        }
    }
    put16(newObject.data() + obj::kFlags, flags);
    put32(newObject.data() + obj::kLength, uint32_t(newObject.size()));

    // 5: without the memory for it, the old text stays.
    if (newObject.size() > UINT32_MAX / 2 || !spliceCard(card, objOff, objLen, newObject)) {
        showAlert(kStrTextLowMemory);
        return kErrNotFound;
    }
    s.changed = true;
    return kOk;
}

int StoreTextFromEngine(uint16_t objectId, Handle card, Handle text, Handle styles, uint16_t cardId) {
    const std::string t = handleText(text);
    const std::string st = handleText(styles);
    return StoreTextFromEngine(objectId, card, t, std::vector<uint8_t>(st.begin(), st.end()), cardId);
}

} // namespace cv
