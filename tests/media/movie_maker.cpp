#include "movie_maker.h"

#include <algorithm>
#include <cstring>
#include <fstream>
#include <iterator>
#include <vector>

#include "core/byte_order.h"

namespace cv::test {

namespace {

// Frame `n` in RGB24: the number's bits as blocks in the upper half, green below.
void drawFrame(int width, int height, int n, uint8_t* rgb) {
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x, rgb += 3) {
            const uint32_t c = y >= height / 2 ? kMovieGreen : (n >> (x * kFrameBits / width)) & 1 ? 0xFFFFFF : 0;
            rgb[0] = uint8_t(c >> 16), rgb[1] = uint8_t(c >> 8), rgb[2] = uint8_t(c);
        }
    }
}

bool fail(std::string* error, const std::string& what) {
    if (error) *error = what;
    return false;
}

std::vector<uint8_t> readAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

bool writeAll(const std::string& path, const std::vector<uint8_t>& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    return bool(out);
}

// Adds moov/udta/ctyp: the muxer writes 'moov' last, so it can grow at the end of the file.
bool addVrType(const std::string& path) {
    std::vector<uint8_t> b = readAll(path);
    size_t at = 0;
    while (at + 8 <= b.size()) {
        const uint32_t size = loadBE32(&b[at]);
        if (size < 8 || at + size > b.size()) return false;
        if (std::memcmp(&b[at + 4], "moov", 4) == 0) {
            if (at + size != b.size()) return false;
            const uint8_t udta[20] = {0, 0, 0, 20, 'u', 'd', 't', 'a', 0, 0, 0, 12, 'c', 't', 'y', 'p', 'q', 't', 'v', 'r'};
            b.insert(b.end(), std::begin(udta), std::end(udta));
            storeBE32(&b[at], size + 20);
            return writeAll(path, b);
        }
        at += size;
    }
    return false;
}

// Writes `tag` over the picture handler the AVI muxer wrote (in the stream header and the
// bitmap header), so the file claims a codec nothing here can encode.
bool forceAviTag(const std::string& path, const std::string& codec, const std::string& tag) {
    if (codec != "msvideo1" || tag.size() != 4) return false;
    std::vector<uint8_t> b = readAll(path);
    int replaced = 0;
    // Only in the headers, which come before the first frame.
    for (size_t i = 0; i + 4 <= std::min<size_t>(b.size(), 1024); ++i) {
        if (std::memcmp(&b[i], "MSVC", 4) == 0) {
            std::memcpy(&b[i], tag.data(), 4);
            ++replaced;
        }
    }
    return replaced > 0 && writeAll(path, b);
}

} // namespace

bool makeTestMovie(const std::string& path, const TestMovie& desc, std::string* error) {
    MovieToWrite m = desc;
    m.draw = [&desc](int n, uint8_t* rgb) { drawFrame(desc.width, desc.height, n, rgb); };
    if (!WriteMovie(path, m, error)) return false;
    if (desc.vr && !addVrType(path)) return fail(error, "cannot add 'ctyp'");
    if (!desc.forceTag.empty() && !forceAviTag(path, desc.codec, desc.forceTag)) return fail(error, "cannot force the tag");
    return true;
}

} // namespace cv::test
