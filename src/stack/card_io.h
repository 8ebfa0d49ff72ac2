#pragma once
// What happens to a card record between the file and memory besides byte order: Macintosh
// names, Macintosh file references, and the stored form that saving writes.
#include <cstdint>
#include <string>
#include <vector>

#include "core/handles.h"

namespace cv {

// Applies the load-time changes to a card record already in native form: object names from
// the Macintosh set (when `macText`), and file references translated to Windows paths (the
// record is spliced when their length changes). False when memory runs short.
bool finishLoadedCard(Handle card, bool macText, const std::string& stackPath);

// The same for an action list held alone ('Actn' chunk data or a link's action record).
void finishLoadedActionList(std::vector<uint8_t>& list, bool macText, const std::string& stackPath);

// The bytes a native card record is written as.
std::vector<uint8_t> storedCardBytes(Handle card, bool macText);

// Whether a native card record's picture says the stack was made on the Macintosh (its
// colour table starts with white).
bool pictureLooksMacintosh(const uint8_t* card, uint32_t size);

// Name fields of each object kind: offset and size.
struct NameField {
    uint32_t offset;
    uint32_t size;
};
NameField objectNameField(uint16_t kind);

} // namespace cv
