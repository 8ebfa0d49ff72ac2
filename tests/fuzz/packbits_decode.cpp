// PackBits: hostile streams must decode safely, and the encoder's output must decode back.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "stack/bitmap.h"
#include "stack/packbits.h"
#include "stack/picture_rows.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 3) return 0;
    const size_t want = size_t(data[0]) << 8 | data[1];
    std::span<const uint8_t> stream(data + 3, size - 3);
    std::vector<uint8_t> out(want);
    size_t used = 0;
    if (cv::decodePackBitsStream(stream, out, &used) && used > stream.size()) abort();

    // As a small picture of every depth and row order.
    const int depths[] = {1, 2, 4, 8, 16, 32};
    const int depth = depths[data[2] % 6];
    const int width = 1 + (data[2] >> 3) % 40, height = 1 + data[1] % 8;
    auto dib = cv::MakeDIB(width, height, depth, (data[2] & 4) ? cv::RowOrder::BottomUp : cv::RowOrder::TopDown);
    if (dib) (void)cv::DecodePackBits(*dib, stream);

    std::vector<uint8_t> encoded;
    cv::encodePackBitsStream(stream, encoded);
    if (encoded.size() > cv::maxPackBitsBytes(stream.size())) abort();
    std::vector<uint8_t> back(stream.size());
    if (!cv::decodePackBitsStream(encoded, back)) abort();
    if (!stream.empty() && std::memcmp(back.data(), stream.data(), stream.size()) != 0) abort();
    return 0;
}
