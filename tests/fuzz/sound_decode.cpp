// Stored sounds and sound file images: hostile bytes are described, decoded and resampled
// safely, and a description never points outside its resource.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>

#include "media/sound_decoder.h"
#include "media/sound_description.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::span<const uint8_t> bytes(data, size);
    cv::StoredSoundLayout layout;
    if (cv::DescribeStoredSound(bytes, &layout) == 0 &&
        (layout.dataOffset > size || layout.byteCount > size - layout.dataOffset))
        abort();
    cv::PcmBuffer pcm;
    const cv::OutputFormat out{48000, 2};
    if (cv::DecodeStoredSound(bytes, out, &pcm) == 0 && pcm.samples.size() % 2 != 0) abort();
    (void)cv::DecodeSoundImage(bytes, out, &pcm);
    return 0;
}
