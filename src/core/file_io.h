#pragma once
// Small helpers over stdio files: an owning handle and exact reads and writes.
#include <cstdint>
#include <cstdio>
#include <string>

namespace cv {

class File {
public:
    File() = default;
    File(const std::string& path, const char* mode) : f_(std::fopen(path.c_str(), mode)) {}
    ~File() { close(); }
    File(File&& o) noexcept : f_(o.f_) { o.f_ = nullptr; }
    File& operator=(File&& o) noexcept { close(); f_ = o.f_; o.f_ = nullptr; return *this; }
    File(const File&) = delete;
    File& operator=(const File&) = delete;

    explicit operator bool() const { return f_ != nullptr; }
    std::FILE* get() const { return f_; }
    int close() { int r = 0; if (f_) r = std::fclose(f_); f_ = nullptr; return r; }

    bool seek(uint64_t offset) { return f_ && fseeko(f_, static_cast<off_t>(offset), SEEK_SET) == 0; }
    // Reads exactly n bytes (false on a short read).
    bool read(void* dst, size_t n) { return f_ && (n == 0 || std::fread(dst, 1, n, f_) == n); }
    bool readAt(uint64_t offset, void* dst, size_t n) { return seek(offset) && read(dst, n); }
    bool write(const void* src, size_t n) { return f_ && (n == 0 || std::fwrite(src, 1, n, f_) == n); }
    // Size of the file in bytes, or -1.
    int64_t size();

private:
    std::FILE* f_ = nullptr;
};

// Zero bytes written n times.
bool writeZeros(std::FILE* f, size_t n);

} // namespace cv
