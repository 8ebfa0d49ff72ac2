#pragma once
// Turns stored sounds and sound files into samples at the mixer's rate, through FFmpeg's own
// decoders and its resampler. Nothing here decodes a sample by hand.
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "media/sound_description.h"

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

// The longest sound decoded whole (DecodeStoredSound and its kin); a longer one is refused as
// unreadable. A sound that plays is decoded as it plays and has no such limit.
constexpr double kMaxSoundSeconds = 15 * 60;

// Status of a sound file that FFmpeg cannot open or decode (alert 2286 was shown).
constexpr int kSoundFileUnreadable = -2048;

// Samples made on request at the mixer's format, a piece at a time: a sound decoded while it
// plays. Only the player's thread asks.
class SoundSource {
public:
    virtual ~SoundSource() = default;
    // Writes up to `frames` frames (interleaved, at the format the source was opened for) into
    // `out` and returns how many; fewer only once the sound has ended.
    virtual size_t read(int16_t* out, size_t frames) = 0;
};

// One sound's decoder: opened (its header read and its first samples decoded, so that what
// cannot be read is refused at once, with its alert), then decoded as far as it is read.
class SoundDecoder final : public SoundSource {
public:
    ~SoundDecoder() override;
    SoundDecoder(const SoundDecoder&) = delete;
    SoundDecoder& operator=(const SoundDecoder&) = delete;

    // Each returns nullptr after the alert and status of the matching Decode function below.
    static std::unique_ptr<SoundDecoder> stored(std::vector<uint8_t> resource, OutputFormat out, int* status);
    static std::unique_ptr<SoundDecoder> file(const std::string& path, OutputFormat out, int* status);
    static std::unique_ptr<SoundDecoder> image(std::vector<uint8_t> bytes, OutputFormat out, int* status);

    size_t read(int16_t* out, size_t frames) override;
    // Goes on from `ms` into a sound file or image (from the packet at or before it); false
    // for a stored sound, or when the file cannot be searched.
    bool seekMs(int64_t ms);
    // Whether decoding stopped at damage before the end of the data (what came before plays).
    bool damaged() const;

private:
    struct State;
    explicit SoundDecoder(std::unique_ptr<State> s);
    // The decoder over `s` when it opened (`ok`), else nullptr after `alert` with `failure`.
    static std::unique_ptr<SoundDecoder> opened(std::unique_ptr<State> s, bool ok, int alert, int failure, int* status);
    std::unique_ptr<State> s_;
};

// A stored 'Snd ' resource: described, then decoded by pcm_u8, pcm_s16be, mace3 or mace6.
// 0, or the status of DescribeStoredSound (its alert shown); -206 after alert 2390 when the
// decoder refuses the samples.
int DecodeStoredSound(std::span<const uint8_t> resource, OutputFormat out, PcmBuffer* pcm);
// A sound file on disk (WAV, AIFF/AIFC, AU or anything FFmpeg opens). 0, or
// kSoundFileUnreadable after alert 2286.
int DecodeSoundFile(const std::string& path, OutputFormat out, PcmBuffer* pcm);
// A whole sound file held in memory (a stored file image). 0, or -206 after alert 2390.
int DecodeSoundImage(std::span<const uint8_t> bytes, OutputFormat out, PcmBuffer* pcm);

} // namespace cv
