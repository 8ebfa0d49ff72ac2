#include "core/handles.h"

#include <cstdlib>
#include <cstring>
#if defined(__GLIBC__)
#include <malloc.h>
#endif

#include "core/byte_order.h"

namespace cv {

namespace {
constexpr uint32_t kGuard = 0xFACEBEEF;
constexpr uint32_t kGrowth = 200;

uint32_t blockSize(const uint8_t* mem) { uint32_t s; std::memcpy(&s, mem, 4); return s; }
void writeFrame(uint8_t* mem, uint32_t size) {
    std::memcpy(mem, &size, 4);
    std::memcpy(mem + 4 + size, &kGuard, 4);
}
} // namespace

HandleTable::HandleTable() : slots_(kGrowth) {}
HandleTable::~HandleTable() { disposeAll(); }

HandleTable::Block* HandleTable::block(Handle h) {
    if (h <= 0 || static_cast<size_t>(h) > slots_.size()) return nullptr;
    Block* b = &slots_[h - 1];
    return b->mem ? b : nullptr;
}
const HandleTable::Block* HandleTable::block(Handle h) const {
    return const_cast<HandleTable*>(this)->block(h);
}

Handle HandleTable::newHandle(uint32_t size) {
    if (size > UINT32_MAX - 8 || !reserve(size)) return 0;
    auto* mem = static_cast<uint8_t*>(std::calloc(1, size_t(size) + 8));
    if (!mem) return 0;
    writeFrame(mem, size);
    if (inUse_ == slots_.size()) slots_.resize(slots_.size() + kGrowth);
    uint32_t i = searchStart_;
    while (slots_[i].mem) {
        if (++i >= slots_.size()) i = 0;
    }
    searchStart_ = i;
    slots_[i] = Block{mem, 0};
    ++inUse_;
    bytes_ += size;
    return static_cast<Handle>(i + 1);
}

uint8_t* HandleTable::lock(Handle h) {
    Block* b = block(h);
    if (!b) return nullptr;
    ++b->locks;
    return b->mem + 4;
}

void HandleTable::unlock(Handle h) {
    Block* b = block(h);
    if (b && b->locks > 0) --b->locks;
}

void HandleTable::dispose(Handle h) {
    Block* b = block(h);
    if (!b) return;
    bytes_ -= blockSize(b->mem);
    std::free(b->mem);
    *b = Block{};
    --inUse_;
}

uint32_t HandleTable::size(Handle h) const {
    const Block* b = block(h);
    return b ? blockSize(b->mem) : 0;
}

int HandleTable::setSize(Handle h, uint32_t newSize) {
    Block* b = block(h);
    if (!b || newSize > UINT32_MAX - 8) return -1;
    const uint32_t old = blockSize(b->mem);
    if (newSize > old && !reserve(newSize - old)) return -1;
    auto* mem = static_cast<uint8_t*>(std::realloc(b->mem, size_t(newSize) + 8));
    if (!mem) return -1;
    if (newSize > old) std::memset(mem + 4 + old, 0, newSize - old);
    writeFrame(mem, newSize);
    b->mem = mem;
    bytes_ = bytes_ - old + newSize;
    return 0;
}

bool HandleTable::valid(Handle h) const { return block(h) != nullptr; }

int HandleTable::lockCount(Handle h) const {
    const Block* b = block(h);
    return b ? b->locks : 0;
}

uint8_t* HandleTable::data(Handle h) const {
    const Block* b = block(h);
    return b ? b->mem + 4 : nullptr;
}

void HandleTable::disposeAll() {
    for (size_t i = slots_.size(); i-- > 0;) {
        if (slots_[i].mem) dispose(static_cast<Handle>(i + 1));
    }
}

HandleTable& memRefs() {
    static HandleTable table = [] {
#if defined(__GLIBC__)
        // Blocks freed when a stack closes are kept for the next one: handing them back to the
        // system and faulting fresh pages in again costs more than reading the stack's file.
        // A fixed threshold also stops the allocator from moving chunk-sized blocks onto the
        // heap after the first stack, where every new handle would be cleared by hand.
        mallopt(M_MMAP_THRESHOLD, 32 << 20);
        mallopt(M_TRIM_THRESHOLD, 512 << 20);
#endif
        return HandleTable();
    }();
    return table;
}

Handle NewHandle(uint32_t size) { return memRefs().newHandle(size); }
uint8_t* LockHandle(Handle h) { return memRefs().lock(h); }
void UnlockHandle(Handle h) { memRefs().unlock(h); }
void DisposeHandle(Handle h) { memRefs().dispose(h); }
uint32_t GetHandleSize(Handle h) { return memRefs().size(h); }
int SetHandleSize(Handle h, uint32_t n) { return memRefs().setSize(h, n); }
int IsHandleValid(Handle h) { return memRefs().valid(h) ? 1 : 0; }

int HandlesEqual(Handle a, Handle b) {
    auto& t = memRefs();
    if (!t.valid(a) || !t.valid(b)) return 0;
    const uint32_t n = t.size(a);
    if (n != t.size(b)) return 0;
    return std::memcmp(t.data(a), t.data(b), n) == 0 ? 1 : 0;
}

Handle NewHandleFrom(const void* src, uint32_t n) {
    Handle h = NewHandle(n);
    if (h && n) std::memcpy(memRefs().data(h), src, n);
    return h;
}

int DetachCopy(Handle* h) {
    if (!h || !IsHandleValid(*h)) return -1;
    Handle copy = NewHandleFrom(memRefs().data(*h), GetHandleSize(*h));
    if (!copy) return -1;
    *h = copy;
    return 0;
}

int InsertBytes(Handle h, const void* src, uint32_t offset, uint32_t count) {
    auto& t = memRefs();
    if (!t.valid(h)) return -1;
    const uint32_t old = t.size(h);
    if (offset > old || count > UINT32_MAX - 8 - old) return -1;
    if (count == 0) return 0;
    if (t.setSize(h, old + count) != 0) return -1;
    uint8_t* p = t.data(h);
    std::memmove(p + offset + count, p + offset, old - offset);
    if (src) std::memcpy(p + offset, src, count);
    else std::memset(p + offset, 0, count);
    return 0;
}

int InsertHandle(Handle dst, Handle src, uint32_t offset, bool pad) {
    auto& t = memRefs();
    if (!t.valid(src)) return -1;
    const uint32_t n = t.size(src);
    const uint32_t total = n + ((pad && (n & 1)) ? 1 : 0);
    // Copy first: inserting a handle into itself must not read moved bytes.
    std::vector<uint8_t> bytes(total, 0);
    if (n) std::memcpy(bytes.data(), t.data(src), n);
    return InsertBytes(dst, bytes.data(), offset, total);
}

int AppendHandle(Handle src, Handle dst) {
    return InsertHandle(dst, src, GetHandleSize(dst), false);
}

int DeleteBytes(Handle h, uint32_t offset, uint32_t count) {
    auto& t = memRefs();
    if (!t.valid(h)) return -1;
    const uint32_t old = t.size(h);
    if (offset > old || count > old - offset) return -1;
    uint8_t* p = t.data(h);
    std::memmove(p + offset, p + offset + count, old - offset - count);
    return t.setSize(h, old - count);
}

int ReplaceBytes(Handle dst, Handle src, uint32_t offset, uint32_t count) {
    auto& t = memRefs();
    if (!t.valid(dst) || !t.valid(src)) return -1;
    const uint32_t old = t.size(dst);
    if (offset > old || count > old - offset) return -1;
    const uint32_t n = t.size(src);
    if (n == count) {
        std::memmove(t.data(dst) + offset, t.data(src), n);
        return 0;
    }
    if (n > count) {
        // Make sure the destination can grow before anything is changed.
        if (t.setSize(dst, old + (n - count)) != 0) return -1;
        t.setSize(dst, old);
    }
    std::vector<uint8_t> bytes(t.data(src), t.data(src) + n);
    if (DeleteBytes(dst, offset, count) != 0) return -1;
    return InsertBytes(dst, bytes.data(), offset, n);
}

Handle CopyBytes(Handle h, uint32_t offset, uint32_t count) {
    auto& t = memRefs();
    if (!t.valid(h)) return 0;
    const uint32_t size = t.size(h);
    if (offset > size || count > size - offset) return 0;
    return NewHandleFrom(t.data(h) + offset, count);
}

Handle CutBytes(Handle h, uint32_t offset, uint32_t count) {
    Handle copy = CopyBytes(h, offset, count);
    if (copy) DeleteBytes(h, offset, count);
    return copy;
}

void DisposeAllHandles() { memRefs().disposeAll(); }

} // namespace cv
