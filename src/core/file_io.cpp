#include "core/file_io.h"

namespace cv {

int64_t File::size() {
    if (!f_) return -1;
    const off_t here = ftello(f_);
    if (fseeko(f_, 0, SEEK_END) != 0) return -1;
    const off_t end = ftello(f_);
    fseeko(f_, here, SEEK_SET);
    return end;
}

bool writeZeros(std::FILE* f, size_t n) {
    static const char zeros[64] = {};
    while (n > 0) {
        const size_t k = n < sizeof zeros ? n : sizeof zeros;
        if (std::fwrite(zeros, 1, k, f) != k) return false;
        n -= k;
    }
    return true;
}

} // namespace cv
