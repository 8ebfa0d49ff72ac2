// Sounds: decoding stored and file sounds for the mixer (beside FFmpeg's own decoder), the
// time from a click to the first sample, and mixing many sounds at once.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <random>
#include <string>
#include <vector>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/channel_layout.h>
}

#include "media/mixer.h"
#include "media/sound_decoder.h"
#include "media/sound_manager.h"

namespace {

void be16(std::vector<uint8_t>& b, uint16_t v) { b.push_back(uint8_t(v >> 8)); b.push_back(uint8_t(v)); }
void be32(std::vector<uint8_t>& b, uint32_t v) { be16(b, uint16_t(v >> 16)); be16(b, uint16_t(v)); }

// A form 2 resource with a compressed header (MACE) or an extended one (16-bit PCM).
std::vector<uint8_t> storedSound(uint32_t frames, uint32_t channels, int16_t compression, uint16_t bits,
                                 uint32_t rate, size_t sampleBytes) {
    std::vector<uint8_t> b;
    be16(b, 2); be16(b, 0); be16(b, 1);
    be16(b, 0x8051); be16(b, 0); be32(b, 14);
    const size_t header = b.size();
    be32(b, 0); be32(b, channels); be32(b, rate << 16); be32(b, 0); be32(b, 0);
    b.push_back(compression ? 0xFE : 0xFF);
    b.push_back(60);
    be32(b, frames);
    b.resize(header + 64, 0);
    if (compression) { b[header + 56] = 0; b[header + 57] = uint8_t(compression); b[header + 63] = 8; }
    else { b[header + 49] = uint8_t(bits); }
    std::mt19937 rng(7);
    for (size_t i = 0; i < sampleBytes; ++i) b.push_back(uint8_t(rng()));
    return b;
}

const uint32_t kMaceRate = 22050, kMacePackets = kMaceRate * 60 / 6;

std::vector<uint8_t> maceMinute() { return storedSound(kMacePackets, 1, 4, 8, kMaceRate, kMacePackets); }

// Seconds of sound decoded per second of work.
void realTime(benchmark::State& state, double seconds) {
    state.counters["x_real_time"] = benchmark::Counter(seconds * double(state.iterations()), benchmark::Counter::kIsRate);
}

// Ours, as a sound plays: decoded and resampled to the device's 48 kHz stereo.
void BM_DecodeMace6Minute(benchmark::State& state) {
    const auto snd = maceMinute();
    for (auto _ : state) {
        cv::PcmBuffer pcm;
        if (cv::DecodeStoredSound(snd, cv::OutputFormat{}, &pcm) != 0) state.SkipWithError("decode failed");
        benchmark::DoNotOptimize(pcm.samples.data());
    }
    realTime(state, 60);
}
BENCHMARK(BM_DecodeMace6Minute)->Unit(benchmark::kMillisecond);

// Ours, at the sound's own rate and channels (what `cvstack sounds` writes): decoding alone.
void BM_DecodeMace6MinuteOwnRate(benchmark::State& state) {
    const auto snd = maceMinute();
    for (auto _ : state) {
        cv::PcmBuffer pcm;
        if (cv::DecodeStoredSound(snd, cv::OutputFormat{int(kMaceRate), 1}, &pcm) != 0)
            state.SkipWithError("decode failed");
        benchmark::DoNotOptimize(pcm.samples.data());
    }
    realTime(state, 60);
}
BENCHMARK(BM_DecodeMace6MinuteOwnRate)->Unit(benchmark::kMillisecond);

// FFmpeg's own MACE 6:1 decoder over the same packets, 1024 to a packet as ours sends them,
// with nothing around it: the floor for the two above.
void BM_FFmpegMace6Minute(benchmark::State& state) {
    const auto snd = maceMinute();
    const size_t data = snd.size() - kMacePackets;
    const AVCodec* codec = avcodec_find_decoder(AV_CODEC_ID_MACE6);
    AVCodecContext* ctx = codec ? avcodec_alloc_context3(codec) : nullptr;
    AVPacket* packet = av_packet_alloc();
    AVFrame* frame = av_frame_alloc();
    if (!ctx || !packet || !frame) {
        state.SkipWithError("no MACE 6:1 decoder");
        return;
    }
    for (auto _ : state) {
        ctx->sample_rate = int(kMaceRate);
        av_channel_layout_default(&ctx->ch_layout, 1);
        if (avcodec_open2(ctx, codec, nullptr) < 0) {
            state.SkipWithError("cannot open the decoder");
            break;
        }
        size_t samples = 0;
        for (size_t at = 0;; at += 1024) {
            const size_t n = at < kMacePackets ? std::min<size_t>(1024, kMacePackets - at) : 0;
            if (n > 0) {
                av_new_packet(packet, int(n));
                std::memcpy(packet->data, snd.data() + data + at, n);
            }
            avcodec_send_packet(ctx, n > 0 ? packet : nullptr);
            av_packet_unref(packet);
            while (avcodec_receive_frame(ctx, frame) == 0) {
                samples += size_t(frame->nb_samples);
                benchmark::DoNotOptimize(frame->extended_data[0]);
                av_frame_unref(frame);
            }
            if (n == 0) break;
        }
        if (samples != size_t(kMacePackets) * 6) state.SkipWithError("wrong sample count");
        avcodec_free_context(&ctx);
        ctx = avcodec_alloc_context3(codec);
    }
    avcodec_free_context(&ctx);
    av_packet_free(&packet);
    av_frame_free(&frame);
    realTime(state, 60);
}
BENCHMARK(BM_FFmpegMace6Minute)->Unit(benchmark::kMillisecond);

// A button's stored sound: two seconds of 16-bit stereo at 22,050 Hz, from its bytes to the
// first samples the device takes, as a click plays it.
void BM_StoredSoundToFirstSample(benchmark::State& state) {
    const uint32_t rate = 22050, frames = rate * 2;
    const auto snd = storedSound(frames, 2, 0, 16, rate, size_t(frames) * 4);
    for (auto _ : state) {
        cv::Mixer mixer;
        mixer.playStream(cv::SoundDecoder::stored(snd, cv::OutputFormat{}, nullptr), 1.0f);
        int16_t first[2 * 64];
        mixer.render(first, 64);
        benchmark::DoNotOptimize(first);
    }
}
BENCHMARK(BM_StoredSoundToFirstSample)->Unit(benchmark::kMillisecond);

// A 16-bit stereo WAV file at 44,100 Hz of state.range(0) seconds.
std::filesystem::path wavFile(int seconds) {
    const uint32_t rate = 44100, frames = rate * uint32_t(seconds);
    std::vector<uint8_t> w = {'R', 'I', 'F', 'F', 0, 0, 0, 0, 'W', 'A', 'V', 'E', 'f', 'm', 't', ' ', 16, 0, 0, 0,
                              1, 0, 2, 0};
    auto le32 = [&](uint32_t v) { for (int i = 0; i < 4; ++i) w.push_back(uint8_t(v >> (8 * i))); };
    le32(rate); le32(rate * 4); w.push_back(4); w.push_back(0); w.push_back(16); w.push_back(0);
    w.insert(w.end(), {'d', 'a', 't', 'a'});
    le32(frames * 4);
    w.reserve(w.size() + size_t(frames) * 4);
    for (uint32_t i = 0; i < frames; ++i) {
        const int16_t v = int16_t(10000 * std::sin(i * 0.0627));
        for (int c = 0; c < 2; ++c) { w.push_back(uint8_t(v)); w.push_back(uint8_t(uint16_t(v) >> 8)); }
    }
    const char* dir = std::getenv("CV_BENCH_DIR");
    const auto path = std::filesystem::path(dir ? dir : std::filesystem::temp_directory_path().string()) /
                      ("cv_bench_sound_" + std::to_string(seconds) + ".wav");
    if (FILE* f = std::fopen(path.c_str(), "wb")) { std::fwrite(w.data(), 1, w.size(), f); std::fclose(f); }
    return path;
}

// A sound file clicked: opened, its first moments decoded, the first samples in the device's
// hands. The rest is decoded while it plays, so the length should not matter.
void BM_SoundFileToFirstSample(benchmark::State& state) {
    const auto path = wavFile(int(state.range(0)));
    for (auto _ : state) {
        cv::SoundManager sounds;
        sounds.PlaySoundFile(path.string(), 0, 256);
        int16_t first[2 * 64];
        sounds.mixer().render(first, 64);
        benchmark::DoNotOptimize(first);
        state.PauseTiming();
        sounds.StopSounds(true);
        state.ResumeTiming();
    }
    std::filesystem::remove(path);
}
BENCHMARK(BM_SoundFileToFirstSample)->Arg(10)->Arg(300)->Unit(benchmark::kMillisecond);

// The same files decoded whole before the first sample, as every sound once was: the cost
// that decoding while playing takes off the click.
void BM_SoundFileDecodedWhole(benchmark::State& state) {
    const auto path = wavFile(int(state.range(0)));
    for (auto _ : state) {
        auto pcm = std::make_shared<cv::PcmBuffer>();
        cv::DecodeSoundFile(path.string(), cv::OutputFormat{}, pcm.get());
        cv::Mixer mixer;
        mixer.play(pcm, 1.0f);
        int16_t first[2 * 64];
        mixer.render(first, 64);
        benchmark::DoNotOptimize(first);
    }
    std::filesystem::remove(path);
}
BENCHMARK(BM_SoundFileDecodedWhole)->Arg(10)->Arg(300)->Unit(benchmark::kMillisecond)->Iterations(3);

std::shared_ptr<cv::PcmBuffer> twoSeconds() {
    auto pcm = std::make_shared<cv::PcmBuffer>();
    pcm->rate = 48000;
    pcm->channels = 2;
    pcm->samples.resize(48000 * 2 * 2);
    for (size_t i = 0; i < pcm->samples.size(); ++i) pcm->samples[i] = int16_t(4000 * std::sin(double(i) * 0.01));
    return pcm;
}

// Sixteen sounds at once, one second of 48 kHz stereo output: the share of one core is the
// time per iteration divided by one second.
void BM_Mix16Sounds(benchmark::State& state) {
    const auto pcm = twoSeconds();
    std::vector<int16_t> out(48000 * 2);
    for (auto _ : state) {
        state.PauseTiming();
        cv::Mixer mixer;
        for (int i = 0; i < 16; ++i) mixer.play(pcm, 0.5f);
        state.ResumeTiming();
        // As a device pulls it: 10 ms at a time.
        for (int block = 0; block < 100; ++block) mixer.render(out.data() + block * 960, 480);
        benchmark::DoNotOptimize(out.data());
    }
    state.counters["core_share_pct"] = benchmark::Counter(double(state.iterations()) / 100.0,
                                                          benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_Mix16Sounds)->Unit(benchmark::kMillisecond);

// Samples copied from memory: the decode-ahead path without the decoding.
class Copier final : public cv::SoundSource {
public:
    explicit Copier(std::shared_ptr<cv::PcmBuffer> pcm) : pcm_(std::move(pcm)) {}
    size_t read(int16_t* out, size_t frames) override {
        const size_t n = std::min(frames, pcm_->frames() - at_);
        std::copy_n(pcm_->samples.data() + at_ * 2, n * 2, out);
        at_ += n;
        return n;
    }

private:
    std::shared_ptr<cv::PcmBuffer> pcm_;
    size_t at_ = 0;
};

// The same sixteen sounds played as long sounds are, fed ahead by the player's idle calls.
void BM_Mix16StreamedSounds(benchmark::State& state) {
    const auto pcm = twoSeconds();
    std::vector<int16_t> out(48000 * 2);
    for (auto _ : state) {
        state.PauseTiming();
        cv::Mixer mixer;
        for (int i = 0; i < 16; ++i) mixer.playStream(std::make_unique<Copier>(pcm), 0.5f);
        state.ResumeTiming();
        for (int block = 0; block < 100; ++block) {
            if (block % 5 == 0) mixer.feed(); // an idle call every 50 ms
            mixer.render(out.data() + block * 960, 480);
        }
        benchmark::DoNotOptimize(out.data());
    }
    state.counters["core_share_pct"] = benchmark::Counter(double(state.iterations()) / 100.0,
                                                          benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_Mix16StreamedSounds)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
