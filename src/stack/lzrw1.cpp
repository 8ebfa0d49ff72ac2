#include "stack/lzrw1.h"

#include <cstring>

namespace cv {

namespace {

// Input a full group can take: the control word and 16 copy items.
constexpr size_t kGroupInput = 2 + 16 * 2;
constexpr size_t kMaxCopy = 18;

inline void copy8(uint8_t* dst, const uint8_t* src) {
    uint64_t v;
    std::memcpy(&v, src, 8);
    std::memcpy(dst, &v, 8);
}

} // namespace

bool decodeLzrw1Block(std::span<const uint8_t> block, uint8_t* out0, size_t start, size_t end,
                      size_t slack) {
    if (block.size() < kLzrw1HeaderBytes || start > end) return false;
    const uint8_t* in = block.data() + kLzrw1HeaderBytes;
    const uint8_t* const inEnd = block.data() + block.size();
    const size_t want = end - start;
    if (block[0] == kLzrw1FlagCopy) {
        if (static_cast<size_t>(inEnd - in) != want) return false;
        if (want) std::memcpy(out0 + start, in, want);
        return true;
    }

    uint8_t* out = out0 + start;
    uint8_t* const outEnd = out0 + end;
    uint8_t* const roomEnd = outEnd + slack;

    // Whole groups without bounds checks while a full group's input and output fit; only the
    // copy offsets are checked, as they depend on the data, not on the room left. Runs of
    // literals are copied 16 bytes at a time, which is why the input needs room for 16 more.
    while (static_cast<size_t>(inEnd - in) >= kGroupInput + 16 &&
           static_cast<size_t>(roomEnd - out) >= kLzrw1GroupRoom) {
        // A stop bit above the 16 items: the group is done when only it is left.
        unsigned control = in[0] | (unsigned(in[1]) << 8) | 0x10000u;
        in += 2;
        while (control != 1) {
            if (!(control & 1)) {
                const unsigned run = static_cast<unsigned>(__builtin_ctz(control));
                std::memcpy(out, in, 16);
                in += run;
                out += run;
                control >>= run;
                continue;
            }
            const unsigned b0 = in[0];
            const size_t offset = ((b0 & 0xF0u) << 4) | in[1];
            const size_t len = (b0 & 0x0Fu) + 3;
            in += 2;
            control >>= 1;
            if (offset - 1 >= static_cast<size_t>(out - out0)) return false;
            const uint8_t* src = out - offset;
            if (offset >= 8) {
                // Each 8-byte step reads only bytes already written.
                copy8(out, src);
                copy8(out + 8, src + 8);
                copy8(out + 16, src + 16);
            } else if (offset == 1) {
                std::memset(out, *src, kMaxCopy);
            } else {
                for (size_t k = 0; k < len; ++k) out[k] = src[k];
            }
            out += len;
        }
        if (out > outEnd) return false;
    }

    // The careful path, item by item, near the ends of the input or the output.
    unsigned control = 0;
    int bits = 0;
    while (in < inEnd) {
        if (bits == 0) {
            if (inEnd - in < 2) return false;
            control = in[0] | (unsigned(in[1]) << 8);
            in += 2;
            bits = 16;
            continue;
        }
        if (control & 1) {
            if (inEnd - in < 2) return false;
            const unsigned b0 = in[0];
            const size_t offset = ((b0 & 0xF0u) << 4) | in[1];
            const size_t len = (b0 & 0x0Fu) + 3;
            in += 2;
            if (offset - 1 >= static_cast<size_t>(out - out0)) return false;
            if (static_cast<size_t>(outEnd - out) < len) return false;
            const uint8_t* src = out - offset;
            for (size_t k = 0; k < len; ++k) out[k] = src[k];
            out += len;
        } else {
            if (out == outEnd) return false;
            *out++ = *in++;
        }
        control >>= 1;
        --bits;
    }
    return out == outEnd;
}

size_t Lzrw1Encoder::encode(std::span<const uint8_t> input, std::vector<uint8_t>& result) {
    const size_t n = input.size();
    const uint8_t* in = input.data();
    // Positions are kept as base_ + position; restart the numbering before it could wrap.
    if (n >= 0x7FFFFFFFu - base_) {
        table_.fill(0);
        base_ = 1;
    }
    const size_t at = result.size();
    // Room for the header, the input and one group beyond it: the encoder gives up on
    // compression at the start of a group once its output has passed the input's length.
    result.resize(at + kLzrw1HeaderBytes + n + kGroupInput);
    uint8_t* const data = result.data() + at + kLzrw1HeaderBytes;
    uint8_t* o = data;
    size_t pos = 0;
    const size_t matchEnd = n > kMaxCopy ? n - kMaxCopy : 0; // the last 18 bytes are literals
    bool compressed = true;

    while (pos < n) {
        if (static_cast<size_t>(o - data) > n) {
            compressed = false;
            break;
        }
        uint8_t* ctl = o;
        o += 2;
        unsigned control = 0;
        for (unsigned bit = 1; bit < 0x10000u && pos < n; bit <<= 1) {
            if (pos < matchEnd) {
                const uint8_t* p = in + pos;
                const uint32_t key = (uint32_t(p[0]) << 8) ^ (uint32_t(p[1]) << 4) ^ p[2];
                const uint32_t h = ((40543u * key) >> 4) & 0xFFFu;
                const uint32_t candidate = table_[h];
                const uint32_t here = base_ + static_cast<uint32_t>(pos);
                table_[h] = here;
                const uint32_t offset = here - candidate;
                if (candidate >= base_ && offset - 1 < 4095u) {
                    const uint8_t* q = p - offset;
                    if (p[0] == q[0] && p[1] == q[1] && p[2] == q[2]) {
                        size_t len = 3;
                        while (len < kMaxCopy && p[len] == q[len]) ++len;
                        *o++ = static_cast<uint8_t>(((offset >> 4) & 0xF0u) | (len - 3));
                        *o++ = static_cast<uint8_t>(offset);
                        control |= bit;
                        pos += len;
                        continue;
                    }
                }
            }
            *o++ = in[pos++];
        }
        ctl[0] = static_cast<uint8_t>(control);
        ctl[1] = static_cast<uint8_t>(control >> 8);
    }
    base_ += static_cast<uint32_t>(n) + 1;

    size_t dataLen = static_cast<size_t>(o - data);
    uint8_t* header = result.data() + at;
    if (!compressed || dataLen > n) {
        if (n) std::memcpy(data, in, n);
        dataLen = n;
        header[0] = kLzrw1FlagCopy;
    } else {
        header[0] = kLzrw1FlagCompressed;
    }
    const size_t blockLen = kLzrw1HeaderBytes + dataLen;
    header[1] = 0;
    header[2] = static_cast<uint8_t>(blockLen >> 8);
    header[3] = static_cast<uint8_t>(blockLen);
    result.resize(at + blockLen);
    return blockLen;
}

std::vector<uint8_t> encodeLzrw1(std::span<const uint8_t> in) {
    Lzrw1Encoder encoder;
    std::vector<uint8_t> out;
    encoder.encode(in, out);
    return out;
}

} // namespace cv
