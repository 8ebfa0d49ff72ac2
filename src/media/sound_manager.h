#pragma once
// The media manager's sound side: the list of playing sounds, starting them from the stack or
// from files, their volume, collecting those that ended and stopping them. Each sound is
// opened and its first moments decoded when it starts, then decoded on ahead by the idle
// calls while the mixer's output (a device, a capture file or nothing) plays it.
#include <cstdint>
#include <functional>
#include <list>
#include <memory>
#include <optional>
#include <string>

#include "media/mixer.h"

namespace cv {

// Option flags of a sound.
constexpr int16_t kSoundKeepPlaying = 0x0002; // selective stops leave it playing
constexpr int16_t kSoundFileImage = 0x0004;   // the stored block is a whole sound file
// Status flags of a sound.
constexpr uint32_t kSoundAtEnd = 0x8000;

// One playing sound.
struct SoundChannel {
    int16_t options = 0;
    uint32_t status = 0;
    int kind = 2; // 2 stored 'Snd ' resource or sound file, 6 stored file image, 0 a tone
    uint16_t level = 0;
    bool keep = false;
    std::string path; // a sound file's path, empty for stored sounds
    Mixer::VoiceId voice = 0;
};

class SoundManager {
public:
    // Plays through `sink` (a NullSink when none is given).
    explicit SoundManager(std::unique_ptr<AudioSink> sink = nullptr);
    ~SoundManager();
    SoundManager(const SoundManager&) = delete;
    SoundManager& operator=(const SoundManager&) = delete;

    // Sends the output somewhere else from now on (the sounds go on playing). The old sink is
    // stopped first, so a capture file is complete once this returns.
    void setSink(std::unique_ptr<AudioSink> sink);
    AudioSink& sink() { return *sink_; }
    Mixer& mixer() { return *mixer_; }

    // A stored 'Snd ' resource of the open stack. Stops the sounds not marked to keep
    // playing first; negative options only stop.
    void PlayStoredSound(uint16_t id, int16_t options, uint16_t level);
    // A sound file (a host path already located). Stops as PlayStoredSound does.
    void PlaySoundFile(const std::string& path, int16_t options, uint16_t level);
    // A sine tone of `frequency` hertz lasting `durationMs`, at `level`, added to the sounds
    // that play (it stops none). Frequencies that cannot be played (not above 0 or not below
    // half the output rate) make no sound; a tone is made at most kMaxToneMs long.
    void PlayTone(double frequency, uint64_t durationMs, uint16_t level);
    static constexpr uint64_t kMaxToneMs = 60'000;
    // Stops every sound (`all`), or those not marked to keep playing.
    void StopSounds(bool all);
    // Removes the first sound that has ended (one per call), then answers whether any is left.
    bool IsSoundPlaying();
    void SetSoundVolume(uint16_t level);
    // Brings the output up to now and marks the sounds that have ended.
    void MediaIdle();

    const std::list<SoundChannel>& sounds() const { return sounds_; }

    // The level callers without an action of their own pass (full volume).
    int16_t defaultLevel = 256;
    // The left-channel volume of the system's wave output (0..65535), when it can be read.
    std::function<std::optional<uint16_t>()> systemVolume;

    // The volume handed to playback for `level` against the system's left volume.
    static uint32_t scaledVolume(uint16_t level, std::optional<uint16_t> left);
    // Whether a sound of this name stops all sounds instead of playing.
    static bool isStopAllName(const std::string& name);

private:
    void start(SoundChannel channel, std::shared_ptr<const PcmBuffer> pcm);
    void start(SoundChannel channel, std::unique_ptr<SoundSource> source);
    float gainFor(uint16_t level) const;

    std::unique_ptr<Mixer> mixer_;
    std::unique_ptr<AudioSink> sink_;
    std::list<SoundChannel> sounds_;
};

} // namespace cv
