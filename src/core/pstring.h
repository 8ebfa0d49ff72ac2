#pragma once
// Counted strings: a length byte followed by that many characters, in fixed-size fields of
// stored records or on their own. Names are compared ignoring ASCII case only.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace cv {

// Copies the length byte and that many characters.
void PStringCopy(uint8_t* dst, const uint8_t* src);
// Copies only when the source's length is less than `fieldSize`; otherwise copies nothing.
void PStringCopyLimited(uint8_t* dst, const uint8_t* src, size_t fieldSize);
// Turns a counted string into a C string in place.
void PStringToC(uint8_t* s);
// Turns a C string into a counted string in place (at most 255 characters are kept).
void CToPString(uint8_t* s);
// 1 when equal ignoring the case of A-Z, else 0; strings of different lengths are unequal.
int PStringEqualNoCase(const uint8_t* a, const uint8_t* b);
// dst = a followed by b (cut at 255 characters).
void PStringConcat(uint8_t* dst, const uint8_t* a, const uint8_t* b);

// The text of a counted string held in a field of `fieldSize` bytes; a length byte that
// claims more than the field holds is cut to the field.
std::string pstringField(const uint8_t* field, size_t fieldSize);
// Writes `text` into a zero-filled field as a counted string, cut to fieldSize - 1 characters.
void setPStringField(uint8_t* field, size_t fieldSize, std::string_view text);

// ASCII-only case-insensitive equality of two texts.
bool equalNoCase(std::string_view a, std::string_view b);

} // namespace cv
