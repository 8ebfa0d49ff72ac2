#pragma once
// The Macintosh character set of stacks made on the Macintosh, and its conversion to and from
// the Windows set that the rest of the program uses. Bytes below 128 are the same in both.
#include <cstddef>
#include <cstdint>
#include <string>

namespace cv {

// Macintosh byte -> Windows byte.
uint8_t macToWindows(uint8_t b);
// Windows byte -> Macintosh byte: the first Macintosh byte that maps to it; bytes that no
// Macintosh byte maps to are kept as they are.
uint8_t windowsToMac(uint8_t b);

void macToWindows(uint8_t* p, size_t n);
void windowsToMac(uint8_t* p, size_t n);
std::string macToWindows(std::string s);
std::string windowsToMac(std::string s);

} // namespace cv
