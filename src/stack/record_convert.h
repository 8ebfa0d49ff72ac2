#pragma once
// Field-by-field conversion of stored (big-endian) records to their in-memory (native) form
// and back. Every conversion is its own inverse for the bytes it touches, so writing a record
// converts a copy with the same routine. Lengths inside a record are checked against the
// record: a conversion that finds one running outside returns false (the file is damaged),
// having touched nothing beyond the record.
#include <cstdint>
#include <vector>

namespace cv {

enum class Convert { ToNative, ToStored };

// The 128-byte stack header.
void convertStackHeader(uint8_t* p, Convert dir);

// A whole card record (framing, body, picture header, objects). `size` is the record's size.
// On loading, also clears the run-time words and fills in the sizes that the format leaves 0.
bool convertCardRecord(uint8_t* p, uint32_t size, Convert dir);

// One object starting at p, with `room` bytes up to the end of its card's object list.
bool convertObject(uint8_t* p, uint32_t room, Convert dir);

// An action list laid out as a button (a button record or an 'Actn' chunk) of `size` bytes.
bool convertActionList(uint8_t* p, uint32_t size, Convert dir);

// 'Hlnk' data, converted in place: the data keeps its length. The linked text is stored at 23
// followed by a 0 byte, and held in memory at 24; the data after the text (length at 4) is at
// 24 + text length and the action record after it, in the file and in memory alike.
bool convertLinkToNative(std::vector<uint8_t>& data);
bool convertLinkToStored(std::vector<uint8_t>& data);

// The walk over a card's objects: calls fn(offset, kind) for each object in a native card
// record, stopping at kind 0 or at the first object that does not fit. Returns the offset of
// the end of the list (where kind 0 is, or where the walk stopped).
template <class Fn>
uint32_t forEachObject(const uint8_t* rec, uint32_t size, Fn&& fn);

// Offset of the first object of a native card record (after its picture record, if any),
// or 0 when the record is too short to hold one.
uint32_t firstObjectOffset(const uint8_t* rec, uint32_t size);

} // namespace cv

#include "stack/record_walk.h"
