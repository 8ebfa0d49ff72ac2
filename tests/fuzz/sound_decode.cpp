// Stored sounds and sound file images: hostile bytes are described, decoded and resampled
// safely, and a description never points outside its resource.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>
#include <vector>

#include "media/sound_decoder.h"
#include "media/sound_description.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::span<const uint8_t> bytes(data, size);
    cv::StoredSoundLayout layout;
    if (cv::DescribeStoredSound(bytes, &layout) == 0 &&
        (layout.dataOffset > size || layout.byteCount > size - layout.dataOffset))
        abort();
    const cv::OutputFormat out{48000, 2};
    // As a click plays it: opened, and its first 100 ms read in uneven pieces.
    if (auto d = cv::SoundDecoder::stored(std::vector<uint8_t>(data, data + size), out, nullptr)) {
        int16_t piece[2 * 1024];
        for (size_t total = 0, want = 1; total < 4800; want = want * 5 % 1024 + 1) {
            const size_t got = d->read(piece, want);
            if (got > want) abort();
            total += got;
            if (got < want) break;
        }
    }
    cv::PcmBuffer pcm;
    if (cv::DecodeStoredSound(bytes, out, &pcm) == 0 && pcm.samples.size() % 2 != 0) abort();
    (void)cv::DecodeSoundImage(bytes, out, &pcm);
    return 0;
}
