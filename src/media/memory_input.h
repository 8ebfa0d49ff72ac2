#pragma once
// Whole sound and movie files held in memory (stored file images, fuzz inputs), opened by
// libavformat through a custom reader over the bytes instead of a file.
#include <cstdint>
#include <memory>
#include <span>

struct AVFormatContext;
struct AVIOContext;

namespace cv {

// An opened container over `bytes`, which must outlive it. Empty when libavformat does not
// recognise the bytes.
class MemoryInput {
public:
    explicit MemoryInput(std::span<const uint8_t> bytes);
    ~MemoryInput();
    MemoryInput(const MemoryInput&) = delete;
    MemoryInput& operator=(const MemoryInput&) = delete;

    AVFormatContext* format() const { return format_; }

    struct Reader;

private:
    std::unique_ptr<Reader> reader_;
    AVIOContext* io_ = nullptr;
    AVFormatContext* format_ = nullptr;
};

} // namespace cv
