#pragma once
// Turns stored sounds and sound files into samples at the mixer's rate, through FFmpeg's own
// decoders and its resampler. Nothing here decodes a sample by hand.
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "media/sound_description.h"

struct AVFormatContext;

namespace cv {

// Decoded samples, interleaved 16-bit, at the rate and channel count the mixer asked for.
struct PcmBuffer {
    int rate = 0;
    int channels = 0;
    std::vector<int16_t> samples;
    size_t frames() const { return channels ? samples.size() / size_t(channels) : 0; }
};

struct OutputFormat {
    int rate = 48000;
    int channels = 2;
};

// The longest sound the player decodes; a longer one is refused as unreadable.
constexpr double kMaxSoundSeconds = 15 * 60;

// Status of a sound file that FFmpeg cannot open or decode (alert 2286 was shown).
constexpr int kSoundFileUnreadable = -2048;

// A stored 'Snd ' resource: described, then decoded by pcm_u8, pcm_s16be, mace3 or mace6.
// 0, or the status of DescribeStoredSound (its alert shown); -206 after alert 2390 when the
// decoder refuses the samples.
int DecodeStoredSound(std::span<const uint8_t> resource, OutputFormat out, PcmBuffer* pcm);
// A sound file on disk (WAV, AIFF/AIFC, AU or anything FFmpeg opens). 0, or
// kSoundFileUnreadable after alert 2286.
int DecodeSoundFile(const std::string& path, OutputFormat out, PcmBuffer* pcm);
// A whole sound file held in memory (a stored file image). 0, or -206 after alert 2390.
int DecodeSoundImage(std::span<const uint8_t> bytes, OutputFormat out, PcmBuffer* pcm);

// The best audio stream of an opened container, decoded whole, with no alert (a movie's sound
// track). False when it has none that can be read.
bool decodeContainer(AVFormatContext* fmt, OutputFormat out, PcmBuffer* pcm);

} // namespace cv
