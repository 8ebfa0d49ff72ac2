#include "media/memory_input.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

extern "C" {
#include <libavformat/avformat.h>
#include <libavutil/mem.h>
}

namespace cv {

struct MemoryInput::Reader {
    const uint8_t* data;
    size_t size;
    size_t pos = 0;
};

namespace {

int readMemory(void* opaque, uint8_t* buf, int len) {
    auto* r = static_cast<MemoryInput::Reader*>(opaque);
    const size_t n = std::min(size_t(std::max(len, 0)), r->size - r->pos);
    if (n == 0) return AVERROR_EOF;
    std::memcpy(buf, r->data + r->pos, n);
    r->pos += n;
    return int(n);
}

int64_t seekMemory(void* opaque, int64_t offset, int whence) {
    auto* r = static_cast<MemoryInput::Reader*>(opaque);
    if (whence & AVSEEK_SIZE) return int64_t(r->size);
    int64_t base = 0;
    switch (whence & ~AVSEEK_FORCE) {
    case SEEK_SET: base = 0; break;
    case SEEK_CUR: base = int64_t(r->pos); break;
    case SEEK_END: base = int64_t(r->size); break;
    default: return -1;
    }
    if (offset > int64_t(r->size) || offset < -base) return -1;
    const int64_t to = base + offset;
    if (to < 0 || to > int64_t(r->size)) return -1;
    r->pos = size_t(to);
    return to;
}

} // namespace

MemoryInput::MemoryInput(std::span<const uint8_t> bytes) : reader_(new Reader{bytes.data(), bytes.size()}) {
    constexpr int kBufferSize = 4096;
    auto* buffer = static_cast<uint8_t*>(av_malloc(kBufferSize));
    io_ = buffer ? avio_alloc_context(buffer, kBufferSize, 0, reader_.get(), readMemory, nullptr, seekMemory) : nullptr;
    if (!io_) {
        av_free(buffer);
        return;
    }
    format_ = avformat_alloc_context();
    if (!format_) return;
    format_->pb = io_;
    format_->flags |= AVFMT_FLAG_CUSTOM_IO;
    // avformat_open_input frees the context itself when it fails.
    if (avformat_open_input(&format_, nullptr, nullptr, nullptr) < 0) format_ = nullptr;
}

MemoryInput::~MemoryInput() {
    avformat_close_input(&format_);
    if (io_) {
        av_freep(&io_->buffer);
        avio_context_free(&io_);
    }
}

} // namespace cv
