// LZRW1: hostile blocks must decode safely, and whatever the encoder makes must decode back.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "stack/lzrw1.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 3) return 0;
    const size_t want = size_t(data[0]) << 8 | data[1];
    const size_t start = data[2] & 0x3F;
    const size_t slack = (data[2] & 0x80) ? cv::kLzrw1GroupRoom : 0;
    std::span<const uint8_t> block(data + 3, size - 3);

    std::vector<uint8_t> out(start + want + slack);
    const bool ok = cv::decodeLzrw1Block(block, out.data(), start, start + want, slack);
    if (ok) {
        // The careful and fast paths must agree.
        std::vector<uint8_t> again(start + want, 0);
        std::copy(out.begin(), out.begin() + start, again.begin());
        if (!cv::decodeLzrw1Block(block, again.data(), start, start + want, 0)) abort();
        if (!std::equal(again.begin(), again.end(), out.begin())) abort();
    }

    const std::vector<uint8_t> encoded = cv::encodeLzrw1(block);
    std::vector<uint8_t> back(block.size());
    if (!cv::decodeLzrw1(encoded, back)) abort();
    if (!block.empty() && std::memcmp(back.data(), block.data(), block.size()) != 0) abort();
    return 0;
}
