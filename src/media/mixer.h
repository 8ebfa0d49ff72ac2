#pragma once
// The mixer: every playing sound, already at the device's rate, summed in float and held
// under full scale by a limiter. The audio device pulls from it on its own thread; the
// player adds, stops and asks about voices from the user-interface thread. A voice holds
// only its decoded samples, never a Handle or anything of the player's: a long sound's are
// decoded while it plays, ahead of the audio thread, by the player's thread (feed).
#include <atomic>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "media/sound_decoder.h"

namespace cv {

class Mixer {
public:
    using VoiceId = uint32_t;

    explicit Mixer(OutputFormat format = {});
    const OutputFormat& format() const { return format_; }

    // How far ahead of the output a sound decoded while it plays is kept: its first kStartMs
    // are decoded when it starts; feed() decodes it on to kAheadMs once less than kRefillMs
    // is left.
    static constexpr int kStartMs = 100;
    static constexpr int kRefillMs = 500;
    static constexpr int kAheadMs = 1000;

    // Everything but render() and skip() is for the player's thread alone.

    // Starts `pcm` (at the mixer's format) at `gain` (1.0 full volume). Returns its id.
    VoiceId play(std::shared_ptr<const PcmBuffer> pcm, float gain);
    // Starts a sound decoded while it plays (at the mixer's format): its first kStartMs now,
    // the rest as feed() asks. One that ends within that plays as a buffer.
    VoiceId playStream(std::unique_ptr<SoundSource> source, float gain);
    // Decodes every sound that plays from a source and holds fewer than `low` frames not yet
    // played on until it holds `target` frames (or has ended).
    void feed(size_t low, size_t target);
    // feed() by kRefillMs and kAheadMs.
    void feed();
    // Frames of a voice made and not yet played (0 when it is not playing).
    size_t buffered(VoiceId id) const;
    void stop(VoiceId id);
    void stopAll();
    void setGain(VoiceId id, float gain);
    // True once the voice has played its last sample (or was never there).
    bool finished(VoiceId id) const;
    size_t voiceCount() const;

    // Mixes the next `frames` frames into `out` (interleaved float, format().channels wide),
    // advancing every voice. Called by the output.
    void render(float* out, size_t frames);
    // The same, as 16-bit samples.
    void render(int16_t* out, size_t frames);
    // Moves every voice on by `frames` without mixing them (an output nobody hears).
    void skip(uint64_t frames);

private:
    // The samples of a sound decoded while it plays: the player's thread writes, the audio
    // thread reads, with no lock between them (one writer, one reader).
    struct Ring {
        Ring(size_t frames, int channels) : frames(frames), samples(frames * size_t(channels)) {}
        const size_t frames;
        std::vector<int16_t> samples;
        std::atomic<uint64_t> written{0}, read{0}; // frames, from the sound's start
        std::atomic<bool> ended{false};            // the source has nothing after `written`
    };
    struct Voice {
        VoiceId id;
        std::shared_ptr<const PcmBuffer> pcm; // or
        std::shared_ptr<Ring> ring;
        size_t position = 0;
        float gain = 1;
        bool done = false;
    };
    // A sound still being decoded; only the player's thread sees these.
    struct Stream {
        VoiceId id;
        std::unique_ptr<SoundSource> source;
        std::shared_ptr<Ring> ring;
    };
    // Decodes into the ring until it holds `target` frames; false once the source has ended.
    bool fill(Stream& s, size_t target);
    size_t framesFor(int ms) const { return size_t(int64_t(ms) * format_.rate / 1000); }

    OutputFormat format_;
    mutable std::mutex mutex_;
    std::vector<Voice> voices_;
    std::vector<Stream> streams_;
    VoiceId nextId_ = 1;
    // The limiter's gain: drops at once to keep a peak at full scale, recovers slowly.
    float limiterGain_ = 1;
    float release_ = 0;
    std::vector<float> scratch_;
};

// Where the mixer's output goes: an audio device, a file, or nowhere.
class AudioSink {
public:
    virtual ~AudioSink() = default;
    virtual OutputFormat format() const = 0;
    // Starts pulling from `mixer` (which outlives the sink's use of it).
    virtual void start(Mixer& mixer) = 0;
    // Brings the output up to now, before the set of voices changes and on each idle call.
    // Sinks that keep time by the player's clock render here; a device sink does nothing.
    virtual void catchUp() {}
    // Stops pulling; anything written is complete once this returns.
    virtual void stop() = 0;
};

// Sinks that keep time by the player's clock: the output is what would have been heard
// from start() until the clock's present, rendered on the caller's thread when asked.
class ClockSink : public AudioSink {
public:
    explicit ClockSink(OutputFormat format = {}) : format_(format) {}
    OutputFormat format() const override { return format_; }
    void start(Mixer& mixer) override;
    void catchUp() override;
    void stop() override;
    uint64_t framesRendered() const { return frames_; }

protected:
    // Whether the samples are wanted; when not, the voices only move on in time.
    virtual bool hearing() const { return true; }
    virtual void write(const int16_t* samples, size_t frames) { (void)samples; (void)frames; }
    virtual void finish() {}

private:
    OutputFormat format_;
    Mixer* mixer_ = nullptr;
    uint64_t startMs_ = 0;
    uint64_t frames_ = 0;
    std::vector<int16_t> block_;
};

// No device: sounds play, silently, in the player's time.
class NullSink final : public ClockSink {
public:
    using ClockSink::ClockSink;

protected:
    bool hearing() const override { return false; }
};

// The 44-byte header of a WAV file of 16-bit PCM samples.
void WavHeader(uint8_t (&header)[44], int channels, int rate, uint32_t dataBytes);

// Writes what would have been heard to a 16-bit PCM WAV file.
class CaptureSink final : public ClockSink {
public:
    CaptureSink(std::string path, OutputFormat format = {});
    ~CaptureSink() override;
    bool ok() const { return file_ != nullptr; }

protected:
    void write(const int16_t* samples, size_t frames) override;
    void finish() override;

private:
    std::string path_;
    std::FILE* file_ = nullptr;
    uint64_t dataBytes_ = 0;
    std::vector<uint8_t> bytes_;
};

} // namespace cv
