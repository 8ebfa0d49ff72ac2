#pragma once
// The player's version: the project's version as the build names it.

namespace cv {

// "MAJOR.MINOR", as in About and `corvella --version`.
const char* playerVersion();

} // namespace cv
