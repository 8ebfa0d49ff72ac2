#pragma once
// References: the Handles that cross the command interface between the player, its scripts
// and its plug-ins. Only blocks made here may be named by a reference; anything else (a
// number that names no block, or a stack's own record) is refused, so no script or plug-in
// can make the player read or write memory it was not given.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "core/handles.h"

namespace cv {

// A new block of the interface (0 when memory is short).
Handle NewReference(uint32_t size);
Handle NewReferenceFrom(const void* bytes, uint32_t size);
// A counted string: a length byte, then the text cut to 255 bytes.
Handle NewCountedStringReference(std::string_view text);
// Whether `h` names a live block of the interface.
bool IsReference(Handle h);
// Disposes a block of the interface; anything else is left alone.
void DisposeReference(Handle h);
// The data of a reference holding at least `need` bytes, else nullptr.
uint8_t* ReferenceData(Handle h, uint32_t need);
uint32_t ReferenceSize(Handle h);
// The text of a counted string reference (its length byte within the block), else nullopt.
std::optional<std::string> CountedStringAt(Handle h);
// The bytes of a reference, else nullopt.
std::optional<std::string> ReferenceBytes(Handle h);
// Writes a counted string into a reference, growing it when needed; false when refused.
bool PutCountedString(Handle h, std::string_view text);
// How many blocks of the interface are live (tests).
size_t LiveReferences();

} // namespace cv
