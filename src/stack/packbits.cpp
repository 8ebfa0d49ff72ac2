#include "stack/packbits.h"

#include <cstring>

namespace cv {

bool decodePackBitsStream(std::span<const uint8_t> input, std::span<uint8_t> output,
                          size_t* consumed) {
    const uint8_t* in = input.data();
    const uint8_t* const inEnd = in + input.size();
    uint8_t* out = output.data();
    uint8_t* const outEnd = out + output.size();
    while (out < outEnd) {
        if (in == inEnd) return false;
        const int c = static_cast<int8_t>(*in++);
        if (c >= 0) {
            const size_t n = static_cast<size_t>(c) + 1;
            if (static_cast<size_t>(inEnd - in) < n || static_cast<size_t>(outEnd - out) < n)
                return false;
            std::memcpy(out, in, n);
            in += n;
            out += n;
        } else {
            const size_t n = static_cast<size_t>(1 - c);
            if (in == inEnd || static_cast<size_t>(outEnd - out) < n) return false;
            std::memset(out, *in++, n);
            out += n;
        }
    }
    if (consumed) *consumed = static_cast<size_t>(in - input.data());
    return true;
}

void encodePackBitsStream(std::span<const uint8_t> input, std::vector<uint8_t>& result) {
    const size_t n = input.size();
    const uint8_t* in = input.data();
    const size_t at = result.size();
    result.resize(at + maxPackBitsBytes(n));
    uint8_t* const start = result.data() + at;
    uint8_t* o = start;
    size_t i = 0;
    while (i < n) {
        size_t run = 1;
        while (i + run < n && run < 128 && in[i + run] == in[i]) ++run;
        if (run >= 2) {
            *o++ = static_cast<uint8_t>(1 - static_cast<int>(run));
            *o++ = in[i];
            i += run;
            continue;
        }
        // A literal run ends where two equal bytes begin (they become a repeat) or at 128.
        size_t j = i + 1;
        while (j < n && j - i < 128 && !(j + 1 < n && in[j] == in[j + 1])) ++j;
        *o++ = static_cast<uint8_t>(j - i - 1);
        std::memcpy(o, in + i, j - i);
        o += j - i;
        i = j;
    }
    result.resize(at + static_cast<size_t>(o - start));
}

} // namespace cv
