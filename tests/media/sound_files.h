#pragma once
// Sound files made in memory for the media tests: WAV, AIFF and AU, and tones to fill them.
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "core/byte_order.h"

namespace cv::test {

inline std::vector<int16_t> tone(double hz, int rate, double seconds, double amplitude = 0.5, int channels = 1) {
    const size_t n = size_t(rate * seconds);
    std::vector<int16_t> s(n * size_t(channels));
    for (size_t i = 0; i < n; ++i)
        for (int c = 0; c < channels; ++c)
            s[i * size_t(channels) + size_t(c)] =
                int16_t(std::lround(32767 * amplitude * std::sin(2 * M_PI * hz * double(i) / rate)));
    return s;
}

class Bytes {
public:
    Bytes& tag(const char* t) { b.insert(b.end(), t, t + 4); return *this; }
    Bytes& le16(uint16_t v) { b.push_back(uint8_t(v)); b.push_back(uint8_t(v >> 8)); return *this; }
    Bytes& le32(uint32_t v) { le16(uint16_t(v)); return le16(uint16_t(v >> 16)); }
    Bytes& be16(uint16_t v) { b.push_back(uint8_t(v >> 8)); b.push_back(uint8_t(v)); return *this; }
    Bytes& be32(uint32_t v) { be16(uint16_t(v >> 16)); return be16(uint16_t(v)); }
    std::vector<uint8_t> b;
};

// A 16-bit PCM WAV; `dataSize` and `fmtSize` may lie when given.
inline std::vector<uint8_t> wav(const std::vector<int16_t>& s, int rate, int channels, int64_t dataSize = -1,
                                uint32_t fmtSize = 16) {
    const uint32_t bytes = uint32_t(s.size() * 2);
    Bytes w;
    w.tag("RIFF").le32(36 + bytes).tag("WAVE").tag("fmt ").le32(fmtSize);
    w.le16(1).le16(uint16_t(channels)).le32(uint32_t(rate)).le32(uint32_t(rate * channels * 2));
    w.le16(uint16_t(channels * 2)).le16(16);
    w.tag("data").le32(dataSize < 0 ? bytes : uint32_t(dataSize));
    for (int16_t v : s) w.le16(uint16_t(v));
    return w.b;
}

// The rate as the 80-bit extended number AIFF stores; `infinite` gives an infinity.
inline void extended80(Bytes& w, uint32_t rate, bool infinite = false) {
    if (infinite) {
        w.be16(0x7FFF).be32(0x80000000).be32(0);
        return;
    }
    int e = 31;
    while (!(rate & (1u << e))) --e;
    const uint64_t mantissa = uint64_t(rate) << (63 - e);
    w.be16(uint16_t(16383 + e)).be32(uint32_t(mantissa >> 32)).be32(uint32_t(mantissa));
}

inline std::vector<uint8_t> aiff(const std::vector<int16_t>& s, uint32_t rate, int channels, bool infiniteRate = false) {
    const uint32_t bytes = uint32_t(s.size() * 2);
    Bytes w;
    w.tag("FORM").be32(4 + 26 + 16 + bytes).tag("AIFF");
    w.tag("COMM").be32(18).be16(uint16_t(channels)).be32(uint32_t(s.size() / size_t(channels))).be16(16);
    extended80(w, rate, infiniteRate);
    w.tag("SSND").be32(8 + bytes).be32(0).be32(0);
    for (int16_t v : s) w.be16(uint16_t(v));
    return w.b;
}

inline std::vector<uint8_t> au(const std::vector<int16_t>& s, uint32_t rate, int channels) {
    Bytes w;
    w.tag(".snd").be32(24).be32(uint32_t(s.size() * 2)).be32(3).be32(rate).be32(uint32_t(channels));
    for (int16_t v : s) w.be16(uint16_t(v));
    return w.b;
}

inline std::string writeTemp(const std::string& name, const std::vector<uint8_t>& bytes) {
    const std::string path = std::string(::testing::TempDir()) + name;
    FILE* f = std::fopen(path.c_str(), "wb");
    if (f) {
        if (!bytes.empty()) std::fwrite(bytes.data(), 1, bytes.size(), f);
        std::fclose(f);
    }
    return path;
}

// The frequency of a tone in one channel of interleaved samples, from its rising zero
// crossings, interpolated between samples.
inline double measureHz(const std::vector<int16_t>& s, int channels, int channel, int rate, size_t skip = 0) {
    double first = -1, last = -1;
    int crossings = 0;
    const size_t n = s.size() / size_t(channels);
    for (size_t i = skip + 1; i + skip < n; ++i) {
        const double a = s[(i - 1) * size_t(channels) + size_t(channel)];
        const double b = s[i * size_t(channels) + size_t(channel)];
        if (a < 0 && b >= 0) {
            const double at = double(i - 1) + (-a) / (b - a);
            if (first < 0) first = at;
            else ++crossings;
            last = at;
        }
    }
    return crossings > 0 ? crossings * rate / (last - first) : 0;
}

} // namespace cv::test
