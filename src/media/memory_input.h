#pragma once
// Whole sound and movie files held in memory (stored file images, fuzz inputs), read by
// libavformat through a custom reader over the bytes instead of a file.
#include <cstddef>
#include <cstdint>
#include <span>

struct AVFormatContext;
struct AVIOContext;

namespace cv {

// The read position in bytes held elsewhere; readMemory and seekMemory are the AVIOContext
// callbacks over it (`opaque` is the MemoryReader).
struct MemoryReader {
    const uint8_t* data;
    size_t size;
    size_t pos = 0;
};
int readMemory(void* opaque, uint8_t* buf, int len);
int64_t seekMemory(void* opaque, int64_t offset, int whence);

// An opened container over `bytes`, which must outlive it. format() is null when libavformat
// does not recognise the bytes.
class MemoryInput {
public:
    explicit MemoryInput(std::span<const uint8_t> bytes);
    ~MemoryInput();
    MemoryInput(const MemoryInput&) = delete;
    MemoryInput& operator=(const MemoryInput&) = delete;

    AVFormatContext* format() const { return format_; }

private:
    MemoryReader reader_;
    AVIOContext* io_ = nullptr;
    AVFormatContext* format_ = nullptr;
};

} // namespace cv
