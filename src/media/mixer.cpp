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
        voices_.push_back(Voice{id, std::move(pcm), nullptr, 0, gain});
    return id;
}

Mixer::VoiceId Mixer::playStream(std::unique_ptr<SoundSource> source, float gain) {
    const size_t ch = size_t(format_.channels);
    const size_t start = std::max<size_t>(framesFor(kStartMs), 1);
    std::vector<int16_t> first(start * ch);
    const size_t got = source ? source->read(first.data(), start) : 0;
    if (got < start) {
        // The whole sound came in the first piece.
        auto pcm = std::make_shared<PcmBuffer>();
        pcm->rate = format_.rate;
        pcm->channels = format_.channels;
        first.resize(got * ch);
        pcm->samples = std::move(first);
        return play(std::move(pcm), gain);
    }
    // Room for what feed() keeps ahead and for a clock sink's block beyond it.
    auto ring = std::make_shared<Ring>(std::max(framesFor(kAheadMs), start) + kBlockFrames, format_.channels);
    std::copy(first.begin(), first.end(), ring->samples.begin());
    ring->written.store(start, std::memory_order_release);
    std::lock_guard lock(mutex_);
    const VoiceId id = nextId_++;
    streams_.push_back(Stream{id, std::move(source), ring});
    voices_.push_back(Voice{id, nullptr, std::move(ring), 0, gain});
    return id;
}

bool Mixer::fill(Stream& s, size_t target) {
    Ring& r = *s.ring;
    const size_t ch = size_t(format_.channels);
    target = std::min(target, r.frames);
    uint64_t w = r.written.load(std::memory_order_relaxed);
    for (;;) {
        const uint64_t held = w - r.read.load(std::memory_order_acquire);
        if (held >= target) return true;
        const size_t at = size_t(w % r.frames);
        const size_t n = std::min(size_t(target - held), r.frames - at);
        const size_t got = s.source->read(r.samples.data() + at * ch, n);
        w += got;
        r.written.store(w, std::memory_order_release);
        if (got < n) {
            r.ended.store(true, std::memory_order_release);
            return false;
        }
    }
}

void Mixer::feed(size_t low, size_t target) {
    // streams_ is the player thread's own: the mutex only guards voices_, and no decoding
    // happens under it.
    std::vector<VoiceId> over;
    for (Stream& s : streams_) {
        const uint64_t held = s.ring->written.load(std::memory_order_relaxed) -
                              s.ring->read.load(std::memory_order_acquire);
        if (held < low && !fill(s, std::max(target, low))) over.push_back(s.id);
    }
    // A source that has ended is let go at once; its voice plays what it left.
    std::erase_if(streams_, [&](const Stream& s) { return std::find(over.begin(), over.end(), s.id) != over.end(); });
}

void Mixer::feed() { feed(framesFor(kRefillMs), framesFor(kAheadMs)); }

size_t Mixer::buffered(VoiceId id) const {
    std::lock_guard lock(mutex_);
    for (const Voice& v : voices_) {
        if (v.id != id) continue;
        if (v.ring) return size_t(v.ring->written.load() - v.ring->read.load());
        return v.pcm->frames() - v.position;
    }
    return 0;
}

void Mixer::stop(VoiceId id) {
    {
        std::lock_guard lock(mutex_);
        std::erase_if(voices_, [id](const Voice& v) { return v.id == id; });
    }
    std::erase_if(streams_, [id](const Stream& s) { return s.id == id; });
}

void Mixer::stopAll() {
    {
        std::lock_guard lock(mutex_);
        voices_.clear();
    }
    streams_.clear();
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

namespace {
void mixInto(float* out, const int16_t* src, size_t n, float g) {
    for (size_t i = 0; i < n; ++i) out[i] += float(src[i]) * g;
}
} // namespace

void Mixer::render(float* out, size_t frames) {
    const size_t ch = size_t(format_.channels);
    std::fill(out, out + frames * ch, 0.0f);
    std::lock_guard lock(mutex_);
    for (Voice& v : voices_) {
        const float g = v.gain / 32768.0f;
        if (!v.ring) {
            const size_t n = std::min(frames, v.pcm->frames() - v.position);
            mixInto(out, v.pcm->samples.data() + v.position * ch, n * ch, g);
            v.position += n;
            v.done = v.position >= v.pcm->frames();
            continue;
        }
        // Only what the player's thread has filled; if it fell behind, the rest of this
        // block is silent for this voice and it goes on where it was.
        Ring& r = *v.ring;
        const bool ended = r.ended.load(std::memory_order_acquire);
        const uint64_t w = r.written.load(std::memory_order_acquire);
        const uint64_t rd = r.read.load(std::memory_order_relaxed);
        const size_t n = size_t(std::min<uint64_t>(frames, w - rd));
        const size_t at = size_t(rd % r.frames);
        const size_t first = std::min(n, r.frames - at);
        mixInto(out, r.samples.data() + at * ch, first * ch, g);
        mixInto(out + first * ch, r.samples.data(), (n - first) * ch, g);
        r.read.store(rd + n, std::memory_order_release);
        v.done = ended && rd + n == w;
    }
    std::erase_if(voices_, [](const Voice& v) { return v.done; });
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
    // Scaled as the voices were, so one sound at full volume comes out sample for sample.
    for (size_t i = 0; i < n; ++i)
        out[i] = int16_t(std::clamp(std::lround(scratch_[i] * 32768.0f), -32768L, 32767L));
}

void Mixer::skip(uint64_t frames) {
    std::lock_guard lock(mutex_);
    for (Voice& v : voices_) {
        if (!v.ring) {
            v.position = size_t(std::min<uint64_t>(v.pcm->frames(), v.position + frames));
            v.done = v.position >= v.pcm->frames();
            continue;
        }
        Ring& r = *v.ring;
        const bool ended = r.ended.load(std::memory_order_acquire);
        const uint64_t w = r.written.load(std::memory_order_acquire);
        const uint64_t rd = std::min(w, r.read.load(std::memory_order_relaxed) + frames);
        r.read.store(rd, std::memory_order_release);
        v.done = ended && rd == w;
    }
    std::erase_if(voices_, [](const Voice& v) { return v.done; });
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
    const size_t ch = size_t(format_.channels);
    while (frames_ < due) {
        const size_t n = size_t(std::min<uint64_t>(kBlockFrames, due - frames_));
        // Sounds decoded while they play are decoded this far first: on the player's clock
        // nothing is ever missing, whatever the timing of the idle calls.
        mixer_->feed(n, n);
        if (hearing()) {
            block_.resize(n * ch);
            mixer_->render(block_.data(), n);
            write(block_.data(), n);
        } else {
            mixer_->skip(n);
        }
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
    bytes_.resize(n * 2);
    for (size_t i = 0; i < n; ++i) storeLE16(bytes_.data() + 2 * i, uint16_t(samples[i]));
    std::fwrite(bytes_.data(), 1, bytes_.size(), file_);
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
