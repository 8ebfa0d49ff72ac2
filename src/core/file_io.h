#pragma once
// Small helpers over files: an owning stdio handle with exact reads, and the file layer that
// saves write through, with a buffered writer over it.
#include <sys/types.h>

#include <cstdint>
#include <cstdio>
#include <ctime>
#include <string>
#include <vector>

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

// The calls through which a save creates, writes, flushes and renames files. The default is
// the real file system; tests put a layer of their own in its place to make any one call fail.
// Each returns what the system call of the same name returns, with errno set on failure.
class FileLayer {
public:
    virtual ~FileLayer() = default;
    virtual int open(const std::string& path, int flags, mode_t mode);
    virtual ssize_t write(int fd, const void* data, size_t n);
    virtual int fsync(int fd);
    virtual int close(int fd);
    virtual int rename(const std::string& from, const std::string& to);
    virtual int unlink(const std::string& path);
};
FileLayer& fileLayer();
// Puts `layer` in place of the real file system; nullptr goes back to it.
void setFileLayer(FileLayer* layer);

// Flushes a folder's entries (names made, renamed or removed in it) to the disk. 0 or -1.
int syncFolder(const std::string& folder);

// A file written front to back through the file layer, in blocks of the buffer's size.
class OutFile {
public:
    explicit OutFile(int fd, size_t bufferSize = 65536) : fd_(fd) { buffer_.reserve(bufferSize ? bufferSize : 1); }
    bool write(const void* data, size_t n);
    bool writeZeros(size_t n);
    // Hands every buffered byte to the file layer.
    bool flush();
    uint64_t position() const { return position_; }
    int fd() const { return fd_; }

private:
    int fd_;
    uint64_t position_ = 0;
    std::vector<uint8_t> buffer_;
};

// When this process started (a forked child counts from its fork): files of ours older than
// this cannot be the work of this run.
timespec processStartTime();

} // namespace cv
