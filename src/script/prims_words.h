#pragma once
// Helpers shared by the words, lists and pattern-matching primitives.
#include <string>

#include "script/interpreter.h"

namespace cv::script::words {

// The first node of a list's chain, or none for the empty list (or a missing value).
inline Ref firstNode(const Interpreter& in, Ref list) { return in.IsEmptyList(list) ? kNone : list; }

// The text of any value: a word's characters, a number's printed text, a list's elements
// joined by single spaces with nested lists flattened (UNPARSE). False, after "Out of space",
// when the text would be larger than any word the pool could hold (a list that contains
// itself, or a structure that shares one sublist many times over).
bool ThingText(Interpreter& in, Ref v, std::string& text);

// A new locked word of the text, or none after "Out of space"; an empty text gives the
// empty word.
Ref NewWord(Interpreter& in, const std::string& text);

// Error 29 naming the primitive when the input is missing. True when it is there.
bool Present(PrimCall& c, Ref v);

} // namespace cv::script::words
