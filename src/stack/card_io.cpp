#include "stack/card_io.h"

#include <cstring>

#include "core/byte_order.h"
#include "core/mac_charset.h"
#include "stack/mac_path.h"
#include "stack/record_convert.h"
#include "stack/record_layout.h"

namespace cv {

namespace {

void convertName(uint8_t* field, uint32_t size, bool toWindows) {
    const uint32_t n = std::min<uint32_t>(field[0], size - 1);
    if (toWindows) macToWindows(field + 1, n);
    else windowsToMac(field + 1, n);
}

bool isPathAction(uint16_t code) {
    return code == action::kOtherStack || code == action::kSoundFile || code == action::kMovie;
}

// Translates the Macintosh paths of the actions in a native action list held in `list`
// (whose length field at 12 is kept up to date).
void translateActionPaths(std::vector<uint8_t>& list, const std::string& stackPath) {
    uint32_t off = button::kActions;
    uint32_t size = get32(list.data() + actionlist::kLength);
    if (size > list.size()) return;
    while (off < size && size - off >= action::kPayload) {
        uint8_t* a = list.data() + off;
        const uint32_t len = get32(a + action::kLength);
        if (len < action::kPayload || len > size - off) return;
        const uint16_t code = get16(a + action::kCode);
        if (isPathAction(code) && len > action::kPayload) {
            const uint32_t pad = (get16(a + action::kFlags) & action::kFlagPadded) ? 1 : 0;
            const uint32_t payloadLen = len - action::kPayload - std::min(pad, len - action::kPayload);
            auto win = translateActionPath(a + action::kPayload, payloadLen, stackPath);
            if (win) {
                const bool odd = (win->size() & 1) != 0;
                if (odd) win->push_back(0);
                uint16_t flags = get16(a + action::kFlags) & ~action::kFlagPadded;
                if (odd) flags |= action::kFlagPadded;
                put16(a + action::kFlags, flags);
                const uint32_t newLen = action::kPayload + uint32_t(win->size());
                put32(a + action::kLength, newLen);
                const auto first = list.begin() + off + action::kPayload;
                list.erase(first, list.begin() + off + len);
                list.insert(list.begin() + off + action::kPayload, win->begin(), win->end());
                size = size - len + newLen;
                put32(list.data() + actionlist::kLength, size);
                off += newLen;
                continue;
            }
        }
        off += len;
    }
}

// An object's file reference translated in place (`object` holds the whole object).
void translateObjectRef(std::vector<uint8_t>& object, const std::string& stackPath) {
    const uint16_t kind = get16(object.data() + obj::kKind);
    const uint32_t len = static_cast<uint32_t>(object.size());
    if (kind == obj::kGraphic) {
        const uint32_t pad = (get16(object.data() + obj::kFlags) & obj::kFlagPadded) ? 1 : 0;
        const uint32_t trailing = get32(object.data() + graphic::kTrailingLength);
        if (len < graphic::kData + trailing + pad) return;
        const uint32_t room = len - graphic::kData - trailing - pad;
        auto t = TranslateMacPath(object.data() + graphic::kData, room, stackPath);
        if (!t) return;
        auto at = object.begin() + graphic::kData;
        object.erase(at, at + t->replaced);
        object.insert(object.begin() + graphic::kData, t->bytes.begin(), t->bytes.end());
    } else if (kind == obj::kText) {
        constexpr uint32_t sub = text::kSubrecords;
        constexpr uint32_t data = sub + text::kSubHeaderSize;
        if (len < data) return;
        const uint32_t subLen = get32(object.data() + sub + text::kSubLength);
        const uint32_t refLen = get32(object.data() + sub + text::kSubTextLength);
        if (subLen < text::kSubHeaderSize || subLen > len - sub || refLen > subLen - text::kSubHeaderSize)
            return;
        auto t = TranslateMacPath(object.data() + data, refLen, stackPath);
        if (!t) return;
        auto at = object.begin() + data;
        object.erase(at, at + t->replaced);
        object.insert(object.begin() + data, t->bytes.begin(), t->bytes.end());
        const int64_t diff = int64_t(t->bytes.size()) - int64_t(t->replaced);
        put32(object.data() + sub + text::kSubTextLength, uint32_t(int64_t(refLen) + diff));
        put32(object.data() + sub + text::kSubLength, uint32_t(int64_t(subLen) + diff));
    } else {
        return;
    }
    // Keep the record's even length: a pad byte goes at the end, flagged.
    uint16_t flags = get16(object.data() + obj::kFlags);
    if (flags & obj::kFlagPadded) {
        object.pop_back();
        flags &= ~obj::kFlagPadded;
    }
    if (object.size() & 1) {
        object.push_back(0);
        flags |= obj::kFlagPadded;
    }
    put16(object.data() + obj::kFlags, flags);
    put32(object.data() + obj::kLength, uint32_t(object.size()));
}

} // namespace

NameField objectNameField(uint16_t kind) {
    switch (kind) {
    case obj::kGraphic: return {graphic::kName, graphic::kNameSize};
    case obj::kButton: return {button::kName, button::kNameSize};
    case obj::kText: return {text::kName, text::kNameSize};
    default: return {0, 0};
    }
}

void finishLoadedActionList(std::vector<uint8_t>& list, bool macText, const std::string& stackPath) {
    if (list.size() < button::kActions) return;
    if (macText) convertName(list.data() + actionlist::kName, button::kNameSize, true);
    translateActionPaths(list, stackPath);
}

bool finishLoadedCard(Handle card, bool macText, const std::string& stackPath) {
    uint8_t* p = memRefs().data(card);
    const uint32_t size = GetHandleSize(card);
    const uint32_t first = firstObjectOffset(p, size);
    if (first == 0) return true;

    // Rebuild the object list only when something changes length; names change in place.
    std::vector<uint8_t> rebuilt(p, p + first);
    bool resized = false;
    uint32_t off = first;
    while (off + 16 <= size - 4) {
        const uint16_t kind = get16(p + off + obj::kKind);
        if (kind == 0) break;
        const uint32_t len = get32(p + off + obj::kLength);
        if (len < 16 || len > size - 4 - off) break;
        if (macText) {
            NameField nf = objectNameField(kind);
            if (nf.size && nf.offset + nf.size <= len) convertName(p + off + nf.offset, nf.size, true);
        }
        std::vector<uint8_t> object(p + off, p + off + len);
        if (kind == obj::kButton) translateActionPaths(object, stackPath);
        else if (get16(p + off + obj::kFlags) & obj::kFlagFileRef) translateObjectRef(object, stackPath);
        resized |= object.size() != len;
        rebuilt.insert(rebuilt.end(), object.begin(), object.end());
        off += len;
    }
    if (!resized) return true;
    rebuilt.insert(rebuilt.end(), p + off, p + size);
    if (SetHandleSize(card, uint32_t(rebuilt.size())) != 0) return false;
    p = memRefs().data(card);
    std::memcpy(p, rebuilt.data(), rebuilt.size());
    put32(p + card::kLength, uint32_t(rebuilt.size()));
    return true;
}

std::vector<uint8_t> storedCardBytes(Handle card, bool macText) {
    const uint8_t* p = memRefs().data(card);
    const uint32_t size = GetHandleSize(card);
    std::vector<uint8_t> out(p, p + size);
    if (size < card::kBody + 4) return out;
    put32(out.data() + card::kLength, size);
    if (macText) {
        forEachObject(out.data(), size, [&](uint32_t off, uint16_t kind) {
            NameField nf = objectNameField(kind);
            const uint32_t len = get32(out.data() + off + obj::kLength);
            if (nf.size && nf.offset + nf.size <= len) convertName(out.data() + off + nf.offset, nf.size, false);
        });
    }
    convertCardRecord(out.data(), size, Convert::ToStored);
    out[size - 4] = 0;
    out[size - 3] = 0;
    storeBE16(out.data() + size - 2, card::kTrailer);
    return out;
}

bool pictureLooksMacintosh(const uint8_t* p, uint32_t size) {
    if (size < card::kBody + pict::kHeaderSize || get16(p + card::kMode) != card::kModeOwn) return false;
    const uint8_t* pic = p + card::kBody;
    const uint32_t ctab = get32(pic + pict::kColourTableLength);
    // Seed, flags, count, then the first entry: index, red, green, blue.
    if (ctab < 16 || card::kBody + pict::kHeaderSize + 16 > size) return false;
    const uint8_t* e = pic + pict::kHeaderSize + 8;
    return loadBE16(e + 2) == 0xFFFF && loadBE16(e + 4) == 0xFFFF && loadBE16(e + 6) == 0xFFFF;
}

} // namespace cv
