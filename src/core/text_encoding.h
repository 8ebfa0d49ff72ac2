#pragma once
// Text inside stacks and the interpreter is Windows-1252 bytes. These convert at the edges:
// the terminal, JSON, and the Qt boundary all speak Unicode.
#include <string>
#include <string_view>

namespace cv {

// Windows-1252 bytes to UTF-8. The five bytes Windows-1252 leaves undefined (0x81, 0x8D,
// 0x8F, 0x90, 0x9D) map to the C1 control characters of the same value, so nothing is lost.
std::string cp1252ToUtf8(std::string_view bytes);
// UTF-8 to Windows-1252. Characters with no Windows-1252 form become '?'; malformed UTF-8
// bytes are taken as Windows-1252 bytes as they stand.
std::string utf8ToCp1252(std::string_view utf8);
// The Unicode code point of one Windows-1252 byte.
char32_t cp1252ToUnicode(unsigned char b);

} // namespace cv
