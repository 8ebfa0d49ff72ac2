#include "media/mixer.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "core/byte_order.h"
#include "core/clock.h"

namespace cv {

namespace {
// How fast the limiter lets go after a peak.
constexpr double kReleaseSeconds = 0.05;
constexpr size_t kBlockFrames = 4096;
} // namespace

Mixer::Mixer(OutputFormat format) : format_(format) {
    release_ = float(1.0 - std::exp(-1.0 / (kReleaseSeconds * std::max(format_.rate, 1))));
}

Mixer::VoiceId Mixer::play(std::shared_ptr<const PcmBuffer> pcm, float gain) {
    std::lock_guard lock(mutex_);
    const VoiceId id = nextId_++;
    if (pcm && pcm->channels == format_.channels && pcm->rate == format_.rate && pcm->frames() > 0)
        voices_.push_back(Voice{id, std::move(pcm), 0, gain});
    return id;
}

void Mixer::stop(VoiceId id) {
    std::lock_guard lock(mutex_);
    std::erase_if(voices_, [id](const Voice& v) { return v.id == id; });
}

void Mixer::stopAll() {
    std::lock_guard lock(mutex_);
    voices_.clear();
}

void Mixer::setGain(VoiceId id, float gain) {
    std::lock_guard lock(mutex_);
    for (Voice& v : voices_)
        if (v.id == id) v.gain = gain;
}

bool Mixer::finished(VoiceId id) const {
    std::lock_guard lock(mutex_);
    return std::none_of(voices_.begin(), voices_.end(), [id](const Voice& v) { return v.id == id; });
}

size_t Mixer::voiceCount() const {
    std::lock_guard lock(mutex_);
    return voices_.size();
}

void Mixer::render(float* out, size_t frames) {
    const size_t ch = size_t(format_.channels);
    std::fill(out, out + frames * ch, 0.0f);
    std::lock_guard lock(mutex_);
    for (Voice& v : voices_) {
        const size_t n = std::min(frames, v.pcm->frames() - v.position);
        const int16_t* src = v.pcm->samples.data() + v.position * ch;
        const float g = v.gain / 32768.0f;
        for (size_t i = 0; i < n * ch; ++i) out[i] += float(src[i]) * g;
        v.position += n;
    }
    std::erase_if(voices_, [](const Voice& v) { return v.position >= v.pcm->frames(); });
    // The limiter: one gain for all channels of a frame, so the stereo image stays put.
    for (size_t f = 0; f < frames; ++f) {
        float* frame = out + f * ch;
        float peak = 0;
        for (size_t c = 0; c < ch; ++c) peak = std::max(peak, std::fabs(frame[c]));
        if (peak * limiterGain_ > 1.0f) limiterGain_ = 1.0f / peak;
        for (size_t c = 0; c < ch; ++c) frame[c] = std::clamp(frame[c] * limiterGain_, -1.0f, 1.0f);
        limiterGain_ += (1.0f - limiterGain_) * release_;
    }
}

void Mixer::render(int16_t* out, size_t frames) {
    const size_t n = frames * size_t(format_.channels);
    if (scratch_.size() < n) scratch_.resize(n);
    render(scratch_.data(), frames);
    for (size_t i = 0; i < n; ++i) out[i] = int16_t(std::lround(scratch_[i] * 32767.0f));
}

void Mixer::skip(uint64_t frames) {
    std::lock_guard lock(mutex_);
    for (Voice& v : voices_) v.position = size_t(std::min<uint64_t>(v.pcm->frames(), v.position + frames));
    std::erase_if(voices_, [](const Voice& v) { return v.position >= v.pcm->frames(); });
    limiterGain_ = 1;
}

void ClockSink::start(Mixer& mixer) {
    mixer_ = &mixer;
    startMs_ = clock().nowMs();
    frames_ = 0;
}

void ClockSink::catchUp() {
    if (!mixer_) return;
    const uint64_t now = clock().nowMs();
    const uint64_t due = now > startMs_ ? (now - startMs_) * uint64_t(format_.rate) / 1000 : 0;
    if (!hearing()) {
        if (due > frames_) mixer_->skip(due - frames_);
        frames_ = std::max(frames_, due);
        return;
    }
    const size_t ch = size_t(format_.channels);
    while (frames_ < due) {
        const size_t n = size_t(std::min<uint64_t>(kBlockFrames, due - frames_));
        block_.resize(n * ch);
        mixer_->render(block_.data(), n);
        write(block_.data(), n);
        frames_ += n;
    }
}

void ClockSink::stop() {
    catchUp();
    mixer_ = nullptr;
    finish();
}

CaptureSink::CaptureSink(std::string path, OutputFormat format) : ClockSink(format), path_(std::move(path)) {
    file_ = std::fopen(path_.c_str(), "wb");
    if (!file_) return;
    uint8_t header[44] = {};
    std::fwrite(header, 1, sizeof header, file_);
    finish();
}

CaptureSink::~CaptureSink() {
    if (file_) std::fclose(file_);
}

void CaptureSink::write(const int16_t* samples, size_t frames) {
    if (!file_) return;
    const size_t n = frames * size_t(format().channels);
    for (size_t i = 0; i < n; ++i) {
        uint8_t b[2];
        storeLE16(b, uint16_t(samples[i]));
        std::fwrite(b, 1, 2, file_);
    }
    dataBytes_ += n * 2;
    finish();
}

void WavHeader(uint8_t (&h)[44], int channels, int rate, uint32_t dataBytes) {
    auto tag = [&](int at, const char* t) { std::copy(t, t + 4, h + at); };
    tag(0, "RIFF");
    storeLE32(h + 4, 36 + dataBytes);
    tag(8, "WAVE");
    tag(12, "fmt ");
    storeLE32(h + 16, 16);
    storeLE16(h + 20, 1);
    storeLE16(h + 22, uint16_t(channels));
    storeLE32(h + 24, uint32_t(rate));
    storeLE32(h + 28, uint32_t(rate * channels * 2));
    storeLE16(h + 32, uint16_t(channels * 2));
    storeLE16(h + 34, 16);
    tag(36, "data");
    storeLE32(h + 40, dataBytes);
}

// Rewrites the header for what has been written so far, so the file is whole at any time.
void CaptureSink::finish() {
    if (!file_) return;
    const OutputFormat f = format();
    const uint32_t data = uint32_t(std::min<uint64_t>(dataBytes_, 0xFFFFFFFFu - 36));
    uint8_t h[44];
    WavHeader(h, f.channels, f.rate, data);
    std::fseek(file_, 0, SEEK_SET);
    std::fwrite(h, 1, sizeof h, file_);
    std::fseek(file_, 0, SEEK_END);
    std::fflush(file_);
}

} // namespace cv
