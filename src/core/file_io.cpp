#include "core/file_io.h"

#include <fcntl.h>
#include <pthread.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace cv {

int64_t File::size() {
    if (!f_) return -1;
    const off_t here = ftello(f_);
    if (fseeko(f_, 0, SEEK_END) != 0) return -1;
    const off_t end = ftello(f_);
    fseeko(f_, here, SEEK_SET);
    return end;
}

int FileLayer::open(const std::string& path, int flags, mode_t mode) {
    int fd;
    do fd = ::open(path.c_str(), flags | O_CLOEXEC, mode);
    while (fd < 0 && errno == EINTR);
    return fd;
}
ssize_t FileLayer::write(int fd, const void* data, size_t n) { return ::write(fd, data, n); }
int FileLayer::fsync(int fd) { return ::fsync(fd); }
int FileLayer::close(int fd) { return ::close(fd); }
int FileLayer::rename(const std::string& from, const std::string& to) { return std::rename(from.c_str(), to.c_str()); }
int FileLayer::unlink(const std::string& path) { return ::unlink(path.c_str()); }

namespace {
FileLayer g_realFiles;
FileLayer* g_files = &g_realFiles;
} // namespace

FileLayer& fileLayer() { return *g_files; }
void setFileLayer(FileLayer* layer) { g_files = layer ? layer : &g_realFiles; }

int syncFolder(const std::string& folder) {
    FileLayer& fs = fileLayer();
    const int fd = fs.open(folder, O_RDONLY | O_DIRECTORY, 0);
    if (fd < 0) return -1;
    const int r = fs.fsync(fd);
    const int saved = errno;
    const int c = fs.close(fd);
    if (r != 0) errno = saved;
    return r == 0 && c == 0 ? 0 : -1;
}

bool OutFile::flush() {
    const uint8_t* p = buffer_.data();
    size_t left = buffer_.size();
    while (left > 0) {
        const ssize_t n = fileLayer().write(fd_, p, left);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            if (n == 0) errno = EIO;
            return false;
        }
        p += n;
        left -= size_t(n);
    }
    buffer_.clear();
    return true;
}

bool OutFile::write(const void* data, size_t n) {
    const auto* p = static_cast<const uint8_t*>(data);
    while (n > 0) {
        const size_t room = buffer_.capacity() - buffer_.size();
        const size_t k = n < room ? n : room;
        buffer_.insert(buffer_.end(), p, p + k);
        p += k;
        n -= k;
        position_ += k;
        if (buffer_.size() == buffer_.capacity() && !flush()) return false;
    }
    return true;
}

bool OutFile::writeZeros(size_t n) {
    static const uint8_t zeros[64] = {};
    while (n > 0) {
        const size_t k = n < sizeof zeros ? n : sizeof zeros;
        if (!write(zeros, k)) return false;
        n -= k;
    }
    return true;
}

namespace {

// The clock that file times are taken from: a file made after this moment never has an
// earlier time, however fine the clock that made it.
timespec now() {
    timespec t{};
#ifdef CLOCK_REALTIME_COARSE
    clock_gettime(CLOCK_REALTIME_COARSE, &t);
#else
    clock_gettime(CLOCK_REALTIME, &t);
#endif
    return t;
}

timespec g_start = now();

// Taken when the program is loaded, and again in a child made by fork.
[[maybe_unused]] const int g_registered = pthread_atfork(nullptr, nullptr, [] { g_start = now(); });

} // namespace

timespec processStartTime() { return g_start; }

} // namespace cv
