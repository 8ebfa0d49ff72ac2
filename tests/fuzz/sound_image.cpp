// Stored file images (WAV, AIFF, AU or any container FFmpeg opens from memory): hostile bytes
// are opened and decoded as a playing sound is, a piece at a time, within their own bounds.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "media/sound_decoder.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    // The first byte picks the output format, as devices differ.
    static const cv::OutputFormat formats[] = {{48000, 2}, {44100, 1}, {22050, 2}, {8000, 1}};
    const cv::OutputFormat out = formats[data[0] % 4];
    auto d = cv::SoundDecoder::image(std::vector<uint8_t>(data + 1, data + size), out, nullptr);
    if (!d) return 0;
    std::vector<int16_t> piece(4096 * size_t(out.channels));
    // Its first second, read in pieces of changing size as the mixer would.
    size_t total = 0;
    for (size_t want = 1; total < size_t(out.rate); want = want * 7 % 4096 + 1) {
        const size_t got = d->read(piece.data(), want);
        if (got > want) abort();
        total += got;
        if (got < want) {
            if (d->read(piece.data(), 16) != 0) abort(); // an ended sound stays ended
            break;
        }
    }
    return 0;
}
