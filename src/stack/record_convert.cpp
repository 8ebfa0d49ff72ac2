#include "stack/record_convert.h"

#include <algorithm>
#include <cstring>

#include "core/byte_order.h"
#include "stack/record_layout.h"

namespace cv {

namespace {

// Width 8 means a rectangle.
struct Field {
    uint16_t offset;
    uint8_t width;
};

void convertFields(uint8_t* p, uint32_t size, const Field* fields, size_t count) {
    for (size_t i = 0; i < count; ++i) {
        const Field& f = fields[i];
        if (uint32_t(f.offset) + f.width > size) continue;
        uint8_t* q = p + f.offset;
        if (f.width == 2) Swap16(q);
        else if (f.width == 4) Swap32(q);
        else SwapRect(q);
    }
}

template <size_t N>
void convertFields(uint8_t* p, uint32_t size, const Field (&fields)[N]) {
    convertFields(p, size, fields, N);
}

// Reads a length field the way the record holds it before (storing) or after (loading)
// the conversion of that field.
uint32_t lengthBefore(const uint8_t* p, Convert dir) {
    return dir == Convert::ToStored ? get32(p) : loadBE32(p);
}
uint16_t u16Before(const uint8_t* p, Convert dir) {
    return dir == Convert::ToStored ? get16(p) : loadBE16(p);
}
uint32_t lengthAfter(const uint8_t* p, Convert dir) {
    return dir == Convert::ToStored ? loadBE32(p) : get32(p);
}

constexpr Field kHeaderFields[] = {
    {0, 2},  {2, 2},  {4, 2},  {6, 2},  {8, 2},  {10, 2}, {12, 2}, {14, 2}, {16, 2}, {18, 2},
    {20, 2}, {22, 2}, {24, 2}, {26, 2}, {48, 2}, {50, 2}, {52, 2}, {54, 2}, {56, 2}, {58, 2},
    {60, 4}, {64, 4}, {68, 4}, {72, 2}, {74, 2}, {76, 2}, {78, 2},
};

constexpr Field kCardFields[] = {
    {0, 2},  {2, 4},  {6, 2},  {8, 2},  {10, 2}, {16, 2}, {18, 2}, {20, 2},
    {22, 2}, {48, 2}, {50, 2}, {52, 2}, {54, 2}, {56, 2},
};

constexpr Field kPictureFields[] = {{0, 2}, {2, 2}, {10, 2}, {12, 4}, {16, 4}};

constexpr Field kCommonFields[] = {{0, 2}, {2, 2}, {4, 8}, {12, 4}, {22, 2}};

constexpr Field kGraphicFields[] = {
    {16, 2}, {18, 2}, {20, 2}, {24, 2}, {28, 2}, {30, 8}, {54, 2}, {56, 2}, {58, 2}, {60, 4},
};

constexpr Field kButtonFields[] = {
    {16, 2}, {18, 2}, {20, 2}, {24, 2}, {26, 2}, {60, 2}, {62, 2}, {64, 2},
    {66, 2}, {68, 2}, {70, 2}, {74, 2}, {76, 2}, {78, 2}, {80, 2},
};

constexpr Field kTextFields[] = {
    {16, 4}, {20, 2}, {24, 2}, {26, 2}, {28, 2}, {30, 2}, {32, 2}, {34, 2}, {36, 2}, {38, 2},
    {40, 4}, {44, 2}, {46, 4}, {50, 2}, {52, 4}, {56, 2}, {58, 2}, {60, 2}, {62, 2}, {64, 2},
    {66, 2}, {68, 2}, {70, 2}, {88, 2}, {102, 2}, {104, 2},
};

constexpr Field kSubrecordFields[] = {{0, 2}, {2, 2}, {4, 4}, {8, 4}, {12, 4}};

// Fields of each action code, besides code, length and flags, which all actions share.
constexpr Field kActionCommon[] = {{0, 2}, {12, 4}, {22, 2}};
constexpr Field kNBAFields[] = {{16, 2}};
constexpr Field kAnimationFields[] = {{4, 8}};
constexpr Field kLaunchFields[] = {{16, 2}, {18, 4}};
constexpr Field kScriptFields[] = {{4, 8}};
constexpr Field kSoundFileFields[] = {{4, 2}, {24, 2}};
constexpr Field kStackSoundFields[] = {{4, 2}, {16, 2}, {24, 2}};
constexpr Field kMovieFields[] = {{2, 2}, {4, 8}, {16, 4}, {20, 2}};
constexpr Field kVideodiscFields[] = {{4, 8}, {18, 2}, {20, 2}, {24, 2}};
constexpr Field kShapeFields[] = {{32, 2}, {34, 2}};

// The frames of an animation description: a count at 8 and frames from 18, each with a
// 16-bit field at 0 and its length at 8.
void convertAnimationPayload(uint8_t* p, uint32_t size, Convert dir) {
    if (size < 18) return;
    // A sprite's records ('Sprt' first) are read big-endian wherever they are.
    if (p[0] == 'S' && p[1] == 'p' && p[2] == 'r' && p[3] == 't') return;
    const int count = static_cast<int16_t>(u16Before(p + 8, dir));
    Swap16(p + 8);
    uint32_t off = 18;
    for (int i = 0; i < count; ++i) {
        if (size - off < 12) break;
        const uint32_t len = lengthBefore(p + off + 8, dir);
        if (len < 12 || len > size - off) break;
        Swap16(p + off);
        Swap32(p + off + 8);
        off += len;
    }
}

void convertAction(uint8_t* p, uint32_t len, Convert dir) {
    const uint16_t code = u16Before(p, dir);
    convertFields(p, len, kActionCommon);
    switch (code) {
    case action::kNBA: convertFields(p, len, kNBAFields); break;
    case action::kAnimation:
        convertFields(p, len, kAnimationFields);
        if (len > action::kPayload) convertAnimationPayload(p + 32, len - 32, dir);
        break;
    case action::kLaunch: convertFields(p, len, kLaunchFields); break;
    case action::kScript: convertFields(p, len, kScriptFields); break;
    case action::kSoundFile: convertFields(p, len, kSoundFileFields); break;
    case action::kStackSound: convertFields(p, len, kStackSoundFields); break;
    case action::kMovie: convertFields(p, len, kMovieFields); break;
    case action::kVideodisc: convertFields(p, len, kVideodiscFields); break;
    case action::kButtonShape:
        convertFields(p, len, kShapeFields);
        if (dir == Convert::ToNative && len >= 40) std::memset(p + 36, 0, 4);
        break;
    default: break;
    }
}

bool convertActions(uint8_t* p, uint32_t size, Convert dir) {
    uint32_t off = button::kActions;
    while (off < size && size - off >= action::kPayload) {
        const uint32_t len = lengthBefore(p + off + action::kLength, dir);
        if (len < action::kPayload || len > size - off) return false;
        convertAction(p + off, len, dir);
        off += len;
    }
    return true;
}

// `flags` are the object's flags, read before the common header was converted.
bool convertGraphic(uint8_t* p, uint32_t len, uint16_t flags, Convert dir) {
    // Trailing data is found from the length at 60 and the pad flag, read before they change.
    const uint32_t trailing = lengthBefore(p + graphic::kTrailingLength, dir);
    convertFields(p, len, kGraphicFields);
    const uint32_t pad = (flags & obj::kFlagPadded) ? 1 : 0;
    if (trailing == 0) return true;
    if (trailing > len - graphic::kData || trailing + pad > len - graphic::kData) return false;
    uint8_t* t = p + len - pad - trailing;
    if (trailing >= 4) {
        Swap16(t);
        Swap16(t + 2);
    }
    if (dir == Convert::ToNative) {
        if (trailing >= 8) std::memset(t + 4, 0, 4);
        if (trailing >= 4 && (get16(t) == 0 || get16(t + 2) == 0)) {
            const int16_t left = geti16(p + obj::kRect), top = geti16(p + obj::kRect + 2);
            const int16_t right = geti16(p + obj::kRect + 4), bottom = geti16(p + obj::kRect + 6);
            put16(t, static_cast<uint16_t>(right - left));
            put16(t + 2, static_cast<uint16_t>(bottom - top));
        }
    }
    return true;
}

bool convertText(uint8_t* p, uint32_t len, Convert dir) {
    convertFields(p, len, kTextFields);
    uint32_t off = text::kSubrecords;
    while (off < len && len - off >= text::kSubHeaderSize) {
        const uint32_t subLen = lengthBefore(p + off + text::kSubLength, dir);
        if (subLen < text::kSubHeaderSize || subLen > len - off) return false;
        convertFields(p + off, subLen, kSubrecordFields);
        off += subLen;
    }
    return true;
}

constexpr uint32_t minimumObjectLength(uint16_t kind) {
    return kind == obj::kGraphic  ? graphic::kData
           : kind == obj::kButton ? button::kActions
           : kind == obj::kText   ? text::kSubrecords
                                  : 16;
}

} // namespace

void convertStackHeader(uint8_t* p, Convert) { convertFields(p, hdr::kSize, kHeaderFields); }

bool convertObject(uint8_t* p, uint32_t room, Convert dir) {
    if (room < 16) return false;
    const uint16_t kind = u16Before(p + obj::kKind, dir);
    const uint32_t len = lengthBefore(p + obj::kLength, dir);
    if (len < minimumObjectLength(kind) || len > room) return false;
    if (kind == obj::kButton) return convertActionList(p, len, dir);
    const uint16_t flags = u16Before(p + obj::kFlags, dir);
    convertFields(p, len, kCommonFields);
    if (kind == obj::kGraphic) return convertGraphic(p, len, flags, dir);
    if (kind == obj::kText) return convertText(p, len, dir);
    return true;
}

bool convertActionList(uint8_t* p, uint32_t size, Convert dir) {
    if (size < button::kActions) return false;
    const uint32_t len = lengthBefore(p + obj::kLength, dir);
    if (len < button::kActions || len > size) return false;
    convertFields(p, len, kCommonFields);
    convertFields(p, len, kButtonFields);
    return convertActions(p, len, dir);
}

uint32_t firstObjectOffset(const uint8_t* rec, uint32_t size) {
    if (size < card::kBody + 4) return 0;
    if (get16(rec + card::kMode) != card::kModeOwn) return card::kBody;
    if (size - card::kBody < pict::kHeaderSize) return 0;
    const uint32_t pictLen = get32(rec + card::kBody + pict::kLength);
    if (pictLen < pict::kHeaderSize || pictLen > size - card::kBody - 4) return 0;
    return card::kBody + pictLen;
}

bool convertCardRecord(uint8_t* p, uint32_t size, Convert dir) {
    if (size < card::kBody + 4) return false;
    const uint32_t recLen = lengthBefore(p + card::kLength, dir);
    if (recLen != size) return false;
    const uint16_t mode = u16Before(p + card::kMode, dir);
    convertFields(p, size, kCardFields);

    uint32_t off = card::kBody;
    if (mode == card::kModeOwn) {
        uint8_t* pic = p + card::kBody;
        if (size - card::kBody - 4 < pict::kHeaderSize) return false;
        const uint16_t format = u16Before(pic + pict::kFormat, dir);
        const uint32_t pictLen = lengthBefore(pic + pict::kLength, dir);
        const uint32_t ctabLen = lengthBefore(pic + pict::kColourTableLength, dir);
        if (pictLen < pict::kHeaderSize || pictLen > size - card::kBody - 4) return false;
        if (ctabLen > pictLen - pict::kHeaderSize) return false;
        convertFields(pic, pictLen, kPictureFields);
        if (format == 2) {
            const uint32_t fill = pict::kHeaderSize + ctabLen;
            if (pictLen - fill < pict::kFillBlockSize) return false;
            Swap32(pic + fill + 4);
            Swap32(pic + fill + 12);
        }
        off += pictLen;
    }

    // Objects up to kind 0; the record's last four bytes are the list end and the trailer.
    const uint32_t listEnd = size - 4;
    while (off < listEnd) {
        const uint16_t kind = u16Before(p + off, dir);
        if (kind == 0) break;
        if (!convertObject(p + off, listEnd - off, dir)) return false;
        off += lengthAfter(p + off + obj::kLength, dir);
    }
    return true;
}

namespace {
constexpr Field kLinkFields[] = {{0, 2}, {2, 2}, {4, 2}, {6, 2}, {8, 2}};
constexpr uint32_t kStoredLinkText = 23;
} // namespace

// The data keeps its length: only the text moves, between 23 (stored) and 24 (in memory),
// through the byte after it, which the file holds as 0. Rotating rather than shifting keeps
// whatever that byte held, so reading and writing give back the file's own bytes.
bool convertLinkToNative(std::vector<uint8_t>& d) {
    if (d.size() < hlnk::kHeaderSize) return false;
    const uint32_t after = loadBE16(d.data() + hlnk::kAfterLength);
    const uint32_t textLen = loadBE16(d.data() + hlnk::kTextLength);
    if (textLen > 255 || hlnk::kHeaderSize + textLen + after > d.size()) return false;
    convertFields(d.data(), uint32_t(d.size()), kLinkFields);
    std::rotate(d.begin() + kStoredLinkText, d.begin() + kStoredLinkText + textLen,
                d.begin() + hlnk::kHeaderSize + textLen);
    if (get16(d.data() + hlnk::kHasAction)) {
        const uint32_t at = hlnk::kHeaderSize + textLen + after;
        if (at >= d.size()) return true; // the flag without a record: nothing to run
        return convertActionList(d.data() + at, uint32_t(d.size() - at), Convert::ToNative);
    }
    return true;
}

bool convertLinkToStored(std::vector<uint8_t>& d) {
    if (d.size() < hlnk::kHeaderSize) return false;
    const uint32_t after = get16(d.data() + hlnk::kAfterLength);
    const uint32_t textLen = get16(d.data() + hlnk::kTextLength);
    if (textLen > 255 || hlnk::kHeaderSize + textLen + after > d.size()) return false;
    if (get16(d.data() + hlnk::kHasAction)) {
        const uint32_t at = hlnk::kHeaderSize + textLen + after;
        if (at < d.size() &&
            !convertActionList(d.data() + at, uint32_t(d.size() - at), Convert::ToStored))
            return false;
    }
    convertFields(d.data(), uint32_t(d.size()), kLinkFields);
    std::rotate(d.begin() + kStoredLinkText, d.begin() + kStoredLinkText + 1,
                d.begin() + hlnk::kHeaderSize + textLen);
    return true;
}

} // namespace cv
