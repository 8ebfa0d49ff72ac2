// Sounds: decoding stored and file sounds for the mixer (the time from a click to the first
// sample is mostly this), and mixing many sounds at once.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "media/mixer.h"
#include "media/sound_decoder.h"

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

void BM_DecodeMace6Minute(benchmark::State& state) {
    const uint32_t rate = 22050, packets = rate * 60 / 6;
    const auto snd = storedSound(packets, 1, 4, 8, rate, packets);
    for (auto _ : state) {
        cv::PcmBuffer pcm;
        if (cv::DecodeStoredSound(snd, cv::OutputFormat{}, &pcm) != 0) state.SkipWithError("decode failed");
        benchmark::DoNotOptimize(pcm.samples.data());
    }
    // Seconds of sound decoded per second of work.
    state.counters["x_real_time"] = benchmark::Counter(60.0 * double(state.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_DecodeMace6Minute)->Unit(benchmark::kMillisecond);

// A button's stored sound: two seconds of 16-bit stereo at 22,050 Hz.
void BM_StoredSoundToFirstSample(benchmark::State& state) {
    const uint32_t rate = 22050, frames = rate * 2;
    const auto snd = storedSound(frames, 2, 0, 16, rate, size_t(frames) * 4);
    for (auto _ : state) {
        auto pcm = std::make_shared<cv::PcmBuffer>();
        cv::DecodeStoredSound(snd, cv::OutputFormat{}, pcm.get());
        cv::Mixer mixer;
        mixer.play(pcm, 1.0f);
        int16_t first[2 * 64];
        mixer.render(first, 64);
        benchmark::DoNotOptimize(first);
    }
}
BENCHMARK(BM_StoredSoundToFirstSample)->Unit(benchmark::kMillisecond);

// A sound file: ten seconds of 16-bit stereo WAV at 44,100 Hz.
void BM_SoundFileToFirstSample(benchmark::State& state) {
    const uint32_t rate = 44100, frames = rate * 10;
    std::vector<uint8_t> w = {'R', 'I', 'F', 'F', 0, 0, 0, 0, 'W', 'A', 'V', 'E', 'f', 'm', 't', ' ', 16, 0, 0, 0,
                              1, 0, 2, 0};
    auto le32 = [&](uint32_t v) { for (int i = 0; i < 4; ++i) w.push_back(uint8_t(v >> (8 * i))); };
    le32(rate); le32(rate * 4); w.push_back(4); w.push_back(0); w.push_back(16); w.push_back(0);
    w.insert(w.end(), {'d', 'a', 't', 'a'});
    le32(frames * 4);
    for (uint32_t i = 0; i < frames; ++i) {
        const int16_t v = int16_t(10000 * std::sin(i * 0.0627));
        for (int c = 0; c < 2; ++c) { w.push_back(uint8_t(v)); w.push_back(uint8_t(uint16_t(v) >> 8)); }
    }
    const auto path = std::filesystem::temp_directory_path() / "cv_bench_sound.wav";
    if (FILE* f = std::fopen(path.c_str(), "wb")) { std::fwrite(w.data(), 1, w.size(), f); std::fclose(f); }
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
BENCHMARK(BM_SoundFileToFirstSample)->Unit(benchmark::kMillisecond);

// Sixteen sounds at once, one second of 48 kHz stereo output: the share of one core is the
// time per iteration divided by one second.
void BM_Mix16Sounds(benchmark::State& state) {
    auto pcm = std::make_shared<cv::PcmBuffer>();
    pcm->rate = 48000;
    pcm->channels = 2;
    pcm->samples.resize(48000 * 2 * 2);
    for (size_t i = 0; i < pcm->samples.size(); ++i) pcm->samples[i] = int16_t(4000 * std::sin(double(i) * 0.01));
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
}
BENCHMARK(BM_Mix16Sounds)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
