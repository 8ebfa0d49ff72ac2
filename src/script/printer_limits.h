#pragma once
// How long the printed forms of values may grow, and how much of a value they looked at.
#include <cstddef>
#include <cstdint>

#include "script/interpreter.h"

namespace cv::script {

// Printed output beyond this is a structure that shares its parts without end (or holds
// itself); the form stops there rather than fill memory.
inline constexpr size_t kMaxFormText = size_t(256) << 20;
// The longest datum or name an error message quotes; a longer one ends with "...".
inline constexpr size_t kMessageTextLimit = 300;
// The "At:" line of an error message.
inline constexpr size_t kLineTextLimit = 255;

// Elements (list nodes and atoms) the printed forms have looked at since the interpreter was
// made. A bounded form looks at about as many as it writes bytes, whatever the value's size.
struct FormWalkCount final : FamilyState {
    uint64_t elements = 0;
};

} // namespace cv::script
