#pragma once
// Handles: small positive integers naming relocatable, lockable memory blocks. Every stored
// record of a stack lives in one. 0 is the null handle; a handle is the 1-based slot of its
// block in the handle table, and slots are reused round-robin.
#include <cstddef>
#include <cstdint>
#include <vector>

namespace cv {

using Handle = int32_t;

// The table of live blocks. The process has one (`memRefs()`); tests may make their own.
class HandleTable {
public:
    HandleTable();
    ~HandleTable();
    HandleTable(const HandleTable&) = delete;
    HandleTable& operator=(const HandleTable&) = delete;

    Handle newHandle(uint32_t size);
    uint8_t* lock(Handle h);
    void unlock(Handle h);
    void dispose(Handle h);
    uint32_t size(Handle h) const;
    int setSize(Handle h, uint32_t newSize);
    bool valid(Handle h) const;
    int lockCount(Handle h) const;
    // Direct access without touching the lock count (nullptr for an invalid handle).
    uint8_t* data(Handle h) const;
    // Frees every block still recorded, highest slot first.
    void disposeAll();

    uint32_t inUse() const { return inUse_; }
    uint32_t capacity() const { return static_cast<uint32_t>(slots_.size()); }

    // Limits allocation, for tests of the out-of-memory paths: once `bytes` (0 = no limit)
    // would be exceeded by live blocks, allocations fail.
    void setAllocationLimit(size_t bytes) { limit_ = bytes; }
    size_t bytesInUse() const { return bytes_; }

private:
    struct Block {
        uint8_t* mem = nullptr; // size word, data, guard word
        int locks = 0;
    };
    Block* block(Handle h);
    const Block* block(Handle h) const;
    bool reserve(size_t extra) const { return limit_ == 0 || bytes_ + extra <= limit_; }

    std::vector<Block> slots_;
    uint32_t inUse_ = 0;
    uint32_t searchStart_ = 0;
    size_t bytes_ = 0;
    size_t limit_ = 0;
};

HandleTable& memRefs();

// The handle operations on the process table.
Handle NewHandle(uint32_t size);
uint8_t* LockHandle(Handle h);
void UnlockHandle(Handle h);
void DisposeHandle(Handle h);
uint32_t GetHandleSize(Handle h);
int SetHandleSize(Handle h, uint32_t newSize);
int IsHandleValid(Handle h);
int HandlesEqual(Handle a, Handle b);
int DetachCopy(Handle* h);
int InsertBytes(Handle h, const void* src, uint32_t offset, uint32_t count);
int InsertHandle(Handle dst, Handle src, uint32_t offset, bool pad);
int AppendHandle(Handle src, Handle dst);
int DeleteBytes(Handle h, uint32_t offset, uint32_t count);
int ReplaceBytes(Handle dst, Handle src, uint32_t offset, uint32_t count);
Handle CutBytes(Handle h, uint32_t offset, uint32_t count);
Handle CopyBytes(Handle h, uint32_t offset, uint32_t count);
void DisposeAllHandles();

// A new handle holding a copy of `n` bytes (0 when memory is short).
Handle NewHandleFrom(const void* src, uint32_t n);

// Disposes its handle when it goes out of scope, unless released.
class OwnedHandle {
public:
    OwnedHandle() = default;
    explicit OwnedHandle(Handle h) : h_(h) {}
    ~OwnedHandle() { if (h_) DisposeHandle(h_); }
    OwnedHandle(OwnedHandle&& o) noexcept : h_(o.release()) {}
    OwnedHandle& operator=(OwnedHandle&& o) noexcept { reset(o.release()); return *this; }
    OwnedHandle(const OwnedHandle&) = delete;
    OwnedHandle& operator=(const OwnedHandle&) = delete;
    Handle get() const { return h_; }
    Handle release() { Handle h = h_; h_ = 0; return h; }
    void reset(Handle h = 0) { if (h_ && h_ != h) DisposeHandle(h_); h_ = h; }
    explicit operator bool() const { return h_ != 0; }
private:
    Handle h_ = 0;
};

} // namespace cv
