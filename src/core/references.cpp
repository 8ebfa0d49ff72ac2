#include "core/references.h"

#include <algorithm>
#include <cstring>
#include <unordered_set>

namespace cv {

namespace {
std::unordered_set<Handle>& registry() {
    static std::unordered_set<Handle> r;
    return r;
}
} // namespace

Handle NewReference(uint32_t size) {
    const Handle h = NewHandle(size);
    if (h) {
        if (uint8_t* d = memRefs().data(h)) std::memset(d, 0, size);
        registry().insert(h);
    }
    return h;
}

Handle NewReferenceFrom(const void* bytes, uint32_t size) {
    const Handle h = NewReference(size);
    if (h && size) std::memcpy(memRefs().data(h), bytes, size);
    return h;
}

Handle NewCountedStringReference(std::string_view text) {
    const size_t n = std::min<size_t>(text.size(), 255);
    const Handle h = NewReference(uint32_t(n + 1));
    if (!h) return 0;
    uint8_t* d = memRefs().data(h);
    d[0] = uint8_t(n);
    std::memcpy(d + 1, text.data(), n);
    return h;
}

bool IsReference(Handle h) {
    if (h <= 0 || !registry().count(h)) return false;
    if (IsHandleValid(h)) return true;
    // Disposed behind our back: the number may soon name someone else's block.
    registry().erase(h);
    return false;
}

void DisposeReference(Handle h) {
    if (!IsReference(h)) return;
    registry().erase(h);
    DisposeHandle(h);
}

uint32_t ReferenceSize(Handle h) { return IsReference(h) ? GetHandleSize(h) : 0; }

uint8_t* ReferenceData(Handle h, uint32_t need) {
    if (!IsReference(h) || GetHandleSize(h) < need) return nullptr;
    uint8_t* d = memRefs().data(h);
    // An empty block has no data; asking for nothing from it is still an answer.
    static uint8_t empty = 0;
    return d ? d : (need == 0 ? &empty : nullptr);
}

std::optional<std::string> CountedStringAt(Handle h) {
    const uint8_t* d = ReferenceData(h, 1);
    if (!d) return std::nullopt;
    const uint32_t n = d[0];
    if (GetHandleSize(h) < n + 1) return std::nullopt;
    return std::string(reinterpret_cast<const char*>(d + 1), n);
}

std::optional<std::string> ReferenceBytes(Handle h) {
    const uint8_t* d = ReferenceData(h, 0);
    if (!d) return std::nullopt;
    return std::string(reinterpret_cast<const char*>(d), GetHandleSize(h));
}

bool PutCountedString(Handle h, std::string_view text) {
    if (!IsReference(h)) return false;
    const size_t n = std::min<size_t>(text.size(), 255);
    if (GetHandleSize(h) < n + 1 && SetHandleSize(h, uint32_t(n + 1)) != 0) return false;
    uint8_t* d = memRefs().data(h);
    if (!d) return false;
    d[0] = uint8_t(n);
    std::memcpy(d + 1, text.data(), n);
    return true;
}

size_t LiveReferences() {
    size_t n = 0;
    for (Handle h : registry())
        if (IsHandleValid(h)) ++n;
    return n;
}

} // namespace cv
