#include "core/pstring.h"

#include <algorithm>
#include <cstring>

namespace cv {

namespace {
uint8_t fold(uint8_t c) { return (c >= 'A' && c <= 'Z') ? uint8_t(c + 32) : c; }
} // namespace

void PStringCopy(uint8_t* dst, const uint8_t* src) { std::memmove(dst, src, size_t(src[0]) + 1); }

void PStringCopyLimited(uint8_t* dst, const uint8_t* src, size_t fieldSize) {
    if (src[0] < fieldSize) PStringCopy(dst, src);
}

void PStringToC(uint8_t* s) {
    const size_t n = s[0];
    std::memmove(s, s + 1, n);
    s[n] = 0;
}

void CToPString(uint8_t* s) {
    size_t n = std::min<size_t>(std::strlen(reinterpret_cast<char*>(s)), 255);
    std::memmove(s + 1, s, n);
    s[0] = static_cast<uint8_t>(n);
}

int PStringEqualNoCase(const uint8_t* a, const uint8_t* b) {
    if (a[0] != b[0]) return 0;
    for (size_t i = a[0]; i >= 1; --i)
        if (fold(a[i]) != fold(b[i])) return 0;
    return 1;
}

void PStringConcat(uint8_t* dst, const uint8_t* a, const uint8_t* b) {
    const size_t na = a[0];
    const size_t nb = std::min<size_t>(b[0], 255 - na);
    uint8_t tmp[256];
    std::memcpy(tmp + 1, a + 1, na);
    std::memcpy(tmp + 1 + na, b + 1, nb);
    tmp[0] = static_cast<uint8_t>(na + nb);
    std::memcpy(dst, tmp, na + nb + 1);
}

std::string pstringField(const uint8_t* field, size_t fieldSize) {
    if (fieldSize == 0) return {};
    const size_t n = std::min<size_t>(field[0], fieldSize - 1);
    return std::string(reinterpret_cast<const char*>(field + 1), n);
}

void setPStringField(uint8_t* field, size_t fieldSize, std::string_view text) {
    if (fieldSize == 0) return;
    std::memset(field, 0, fieldSize);
    const size_t n = std::min({text.size(), fieldSize - 1, size_t(255)});
    field[0] = static_cast<uint8_t>(n);
    std::memcpy(field + 1, text.data(), n);
}

bool equalNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (fold(uint8_t(a[i])) != fold(uint8_t(b[i]))) return false;
    return true;
}

} // namespace cv
