#pragma once
// Putting a stored text object into a text engine document.
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "stack/text_engine/text_engine.h"

namespace cv {

// Inserts the text that text object `object` (its whole record, native form) shows on card
// `cardId` at the document's insertion point, converted from the Macintosh set when
// `macText`, then applies its style runs. An object whose text comes from a file shows that
// file's text, looked for in `folders` (UTF-8 paths); false when that file cannot be read.
bool LoadTextIntoEngine(TextDocument& doc, std::span<const uint8_t> object, uint16_t cardId, bool macText,
                        const std::vector<std::string>& folders);

// A document for a text object: its rectangle, alignment and text, not modified.
std::unique_ptr<TextDocument> MakeTextDocument(std::span<const uint8_t> object, uint16_t cardId, bool macText,
                                               const std::vector<std::string>& folders);

// The most of a text file that is shown.
constexpr size_t kMaxTextFileBytes = 4u << 20;

// The text of a file, with its line ends as the engine keeps them ('\r'); nullopt when it
// cannot be read.
std::optional<std::string> ReadTextFile(const std::string& path);

} // namespace cv
