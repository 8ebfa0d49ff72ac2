#include "media/sound_manager.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <filesystem>
#include <numbers>
#include <vector>

#include "core/handles.h"
#include "core/pstring.h"
#include "stack/chunk_file.h"
#include "stack/record_layout.h"
#include "stack/stack_document.h"
#include "stack/stack_resources.h"

namespace cv {

namespace {

// Playback volume is 8.8 fixed point: 256 is full volume.
constexpr double kFullVolume = 256.0;
// Louder than this the limiter would only flatten the sound.
constexpr float kMaxGain = 4.0f;
// A tone at full volume: loud, with room left for the sounds it is mixed with.
constexpr double kToneAmplitude = 0.3 * 32767;

bool sameIgnoringCase(const std::string& a, const char* b) {
    const std::string_view v(b);
    if (a.size() != v.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(v[i])))
            return false;
    return true;
}

// The file-name part of a path in either separator.
std::string fileNamePart(const std::string& path) {
    const size_t cut = path.find_last_of("/\\:");
    return cut == std::string::npos ? path : path.substr(cut + 1);
}

} // namespace

SoundManager::SoundManager(std::unique_ptr<AudioSink> sink) {
    setSink(sink ? std::move(sink) : std::make_unique<NullSink>());
}

SoundManager::~SoundManager() {
    if (mixer_) StopSounds(true);
    if (sink_) sink_->stop();
}

void SoundManager::setSink(std::unique_ptr<AudioSink> sink) {
    if (sink_) sink_->stop();
    sink_ = std::move(sink);
    const OutputFormat f = sink_->format();
    if (!mixer_ || f.rate != mixer_->format().rate || f.channels != mixer_->format().channels) {
        // The sounds in the mixer were made for the old format; a new mixer starts empty.
        sounds_.clear();
        mixer_ = std::make_unique<Mixer>(f);
    }
    sink_->start(*mixer_);
}

uint32_t SoundManager::scaledVolume(uint16_t level, std::optional<uint16_t> left) {
    if (!left || *left == 0) return level;
    return uint32_t(65535 / *left) * level;
}

float SoundManager::gainFor(uint16_t level) const {
    const uint32_t volume = scaledVolume(level, systemVolume ? systemVolume() : std::nullopt);
    // Playback takes a 16-bit signed volume: larger values are held at its largest.
    const double v = std::min<uint32_t>(volume, 0x7FFF) / kFullVolume;
    return std::min(float(v), kMaxGain);
}

bool SoundManager::isStopAllName(const std::string& name) {
    return sameIgnoringCase(name, "Stop All Sounds") || sameIgnoringCase(name, "STOPSNDS.WAV");
}

void SoundManager::PlayStoredSound(uint16_t id, int16_t options, uint16_t level) {
    StopSounds(false);
    if (options < 0) return;
    StackDocument& stack = theStack();
    if (!stack.chunkFile) return;
    SetCurrentChunkFile(stack.chunkFile);
    ResourceRequest req;
    if (GetStackResource(req, chunk::kSnd, id) != 0) return; // a missing sound plays nothing
    const std::string name = pstringField(req.name, sizeof req.name);
    std::vector<uint8_t> bytes;
    if (const uint8_t* d = memRefs().data(req.data)) bytes.assign(d, d + GetHandleSize(req.data));
    DisposeHandle(req.data);
    if (isStopAllName(name)) {
        StopSounds(true);
        return;
    }
    SoundChannel ch;
    ch.options = options;
    ch.kind = (options & kSoundFileImage) ? 6 : 2;
    ch.level = level;
    ch.keep = (options & kSoundKeepPlaying) != 0;
    // The decoder keeps its own copy of the bytes: nothing of the stack's is read while the
    // sound plays.
    auto source = ch.kind == 6 ? SoundDecoder::image(std::move(bytes), mixer_->format(), nullptr)
                               : SoundDecoder::stored(std::move(bytes), mixer_->format(), nullptr);
    if (!source) return; // the decoder said why
    start(std::move(ch), std::move(source));
}

void SoundManager::PlaySoundFile(const std::string& path, int16_t options, uint16_t level) {
    StopSounds(false);
    if (options < 0) return;
    if (isStopAllName(fileNamePart(path))) {
        StopSounds(true);
        return;
    }
    SoundChannel ch;
    ch.options = options;
    ch.kind = 2;
    ch.level = level;
    ch.keep = (options & kSoundKeepPlaying) != 0;
    ch.path = path;
    auto source = SoundDecoder::file(path, mixer_->format(), nullptr);
    if (!source) return;
    start(std::move(ch), std::move(source));
}

void SoundManager::PlayTone(double frequency, uint64_t durationMs, uint16_t level) {
    const OutputFormat f = mixer_->format();
    if (!std::isfinite(frequency) || frequency <= 0 || frequency >= f.rate / 2.0 || f.channels <= 0) return;
    const size_t frames = size_t(std::min(durationMs, kMaxToneMs) * uint64_t(f.rate) / 1000);
    if (frames == 0) return;
    auto pcm = std::make_shared<PcmBuffer>();
    pcm->rate = f.rate;
    pcm->channels = f.channels;
    pcm->samples.resize(frames * size_t(f.channels));
    // A short ramp at each end keeps the tone from clicking on and off.
    const size_t ramp = std::min(frames / 2, size_t(f.rate / 200));
    const double step = 2 * std::numbers::pi * frequency / f.rate;
    for (size_t i = 0; i < frames; ++i) {
        double v = kToneAmplitude * std::sin(step * double(i));
        if (ramp && i < ramp) v *= double(i) / double(ramp);
        if (ramp && frames - 1 - i < ramp) v *= double(frames - 1 - i) / double(ramp);
        const auto sample = int16_t(std::lround(v));
        for (int c = 0; c < f.channels; ++c) pcm->samples[i * size_t(f.channels) + size_t(c)] = sample;
    }
    SoundChannel ch;
    ch.kind = 0;
    ch.level = level;
    start(std::move(ch), std::move(pcm));
}

void SoundManager::start(SoundChannel channel, std::shared_ptr<const PcmBuffer> pcm) {
    // Whatever played until now was heard before this sound begins.
    sink_->catchUp();
    channel.voice = mixer_->play(std::move(pcm), gainFor(channel.level));
    sounds_.push_back(std::move(channel));
}

void SoundManager::start(SoundChannel channel, std::unique_ptr<SoundSource> source) {
    sink_->catchUp();
    channel.voice = mixer_->playStream(std::move(source), gainFor(channel.level));
    sounds_.push_back(std::move(channel));
}

void SoundManager::StopSounds(bool all) {
    sink_->catchUp();
    for (auto it = sounds_.begin(); it != sounds_.end();) {
        if (!all && it->keep) {
            ++it;
            continue;
        }
        mixer_->stop(it->voice);
        it = sounds_.erase(it);
    }
}

bool SoundManager::IsSoundPlaying() {
    MediaIdle();
    const auto ended = std::find_if(sounds_.begin(), sounds_.end(),
                                    [](const SoundChannel& s) { return s.status & kSoundAtEnd; });
    if (ended != sounds_.end()) sounds_.erase(ended);
    return !sounds_.empty();
}

void SoundManager::SetSoundVolume(uint16_t level) {
    sink_->catchUp();
    for (SoundChannel& s : sounds_) {
        s.level = level;
        mixer_->setGain(s.voice, gainFor(level));
    }
}

void SoundManager::MediaIdle() {
    sink_->catchUp();
    // Long sounds are decoded on ahead of the device here, on the player's thread.
    mixer_->feed();
    for (SoundChannel& s : sounds_)
        if (!(s.status & kSoundAtEnd) && mixer_->finished(s.voice)) s.status |= kSoundAtEnd;
}

} // namespace cv
