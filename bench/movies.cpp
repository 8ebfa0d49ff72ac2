// Movies: decoding a 640 × 480 Cinepak movie through the movie engine (and through libavcodec
// alone, for comparison), frames shown on time on the real clock, and the time from starting
// a movie to its first frame. The movies are made here with FFmpeg's encoders, once.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <thread>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
}

#include "core/ui.h"
#include "media/movie_channel.h"
#include "movie_maker.h"

namespace {

namespace fs = std::filesystem;

constexpr int kFps = 30;

// A 640 × 480 Cinepak movie of `seconds` at 30 fps with a tone, made once per run.
const std::string& cinepakMovie(int seconds) {
    static std::map<int, std::string> made;
    auto it = made.find(seconds);
    if (it != made.end()) return it->second;
    const char* dir = std::getenv("CV_BENCH_DIR");
    const fs::path path = fs::path(dir ? dir : fs::temp_directory_path().string()) /
                          ("cv_bench_cinepak_" + std::to_string(seconds) + "s.mov");
    if (!fs::exists(path)) {
        cv::test::TestMovie desc;
        desc.codec = "cinepak";
        desc.width = 640;
        desc.height = 480;
        desc.fps = kFps;
        desc.frames = seconds * kFps;
        std::string error;
        if (!cv::test::makeTestMovie(path.string(), desc, &error)) {
            std::fprintf(stderr, "cannot make the movie: %s\n", error.c_str());
            std::exit(1);
        }
    }
    return made.emplace(seconds, path.string()).first->second;
}

constexpr int kDecodeSeconds = 10;

// Every frame decoded and converted to the screen's pixels, as the player shows them.
void BM_CinepakDecode640x480(benchmark::State& state) {
    const std::string& path = cinepakMovie(kDecodeSeconds);
    int frames = 0;
    for (auto _ : state) {
        auto d = cv::MovieDecoder::open(cv::MovieSource{path, nullptr});
        cv::MovieFrame f;
        frames = 0;
        while (d->nextFrame(&f)) ++frames;
        benchmark::DoNotOptimize(f.pixels.data());
    }
    if (frames != kDecodeSeconds * kFps) state.SkipWithError("frames missing");
    state.counters["x_real_time"] = benchmark::Counter(double(kDecodeSeconds) * double(state.iterations()),
                                                       benchmark::Counter::kIsRate);
}
BENCHMARK(BM_CinepakDecode640x480)->Unit(benchmark::kMillisecond);

// The same file through libavformat and libavcodec alone: FFmpeg's own decode time, without
// the conversion to screen pixels.
void BM_CinepakDecodeFFmpegOnly(benchmark::State& state) {
    const std::string& path = cinepakMovie(kDecodeSeconds);
    for (auto _ : state) {
        AVFormatContext* fmt = nullptr;
        avformat_open_input(&fmt, path.c_str(), nullptr, nullptr);
        avformat_find_stream_info(fmt, nullptr);
        const int v = av_find_best_stream(fmt, AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
        const AVCodec* codec = avcodec_find_decoder(fmt->streams[v]->codecpar->codec_id);
        AVCodecContext* c = avcodec_alloc_context3(codec);
        avcodec_parameters_to_context(c, fmt->streams[v]->codecpar);
        c->thread_count = 1;
        avcodec_open2(c, codec, nullptr);
        AVPacket* p = av_packet_alloc();
        AVFrame* f = av_frame_alloc();
        while (av_read_frame(fmt, p) >= 0) {
            if (p->stream_index == v && avcodec_send_packet(c, p) >= 0)
                while (avcodec_receive_frame(c, f) == 0) benchmark::DoNotOptimize(f->data[0]);
            av_packet_unref(p);
        }
        av_frame_free(&f);
        av_packet_free(&p);
        avcodec_free_context(&c);
        avformat_close_input(&fmt);
    }
    state.counters["x_real_time"] = benchmark::Counter(double(kDecodeSeconds) * double(state.iterations()),
                                                       benchmark::Counter::kIsRate);
}
BENCHMARK(BM_CinepakDecodeFFmpegOnly)->Unit(benchmark::kMillisecond);

// 60 s of playback on the real clock through the decode thread, the player asking for the
// frame due every 2 ms as its wait does: a frame counts late when it is first handed out more
// than one frame period after its time.
void BM_PlaybackOnTimeRealClock(benchmark::State& state) {
    const std::string& path = cinepakMovie(kDecodeSeconds);
    constexpr int kRounds = 60 / kDecodeSeconds;
    for (auto _ : state) {
        int late = 0, shown = 0;
        double worstMs = 0;
        for (int round = 0; round < kRounds; ++round) {
            cv::MoviePlayback p(cv::MovieDecoder::open(cv::MovieSource{path, nullptr}), cv::MoviePlayback::Mode::Threaded);
            const auto start = std::chrono::steady_clock::now();
            uint64_t serial = p.frameSerial();
            int64_t pos = 0;
            while (!p.picturesDone(pos)) {
                pos = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start).count();
                const cv::MovieFrame* f = p.frameAt(pos);
                if (f && p.frameSerial() != serial) {
                    serial = p.frameSerial();
                    ++shown;
                    const double lateBy = double(pos - f->ptsMs);
                    worstMs = std::max(worstMs, lateBy);
                    if (lateBy > 1000.0 / kFps) ++late;
                }
                std::this_thread::sleep_for(std::chrono::milliseconds(2));
            }
        }
        state.counters["frames_shown"] = shown;
        state.counters["frames_late"] = late;
        state.counters["worst_late_ms"] = worstMs;
    }
}
BENCHMARK(BM_PlaybackOnTimeRealClock)->Unit(benchmark::kSecond)->Iterations(1)->UseRealTime();

// A 160 × 120 movie of `minutes` at 2 fps with a tone all through, made once per run.
const std::string& longSoundMovie(int minutes) {
    static std::map<int, std::string> made;
    auto it = made.find(minutes);
    if (it != made.end()) return it->second;
    const char* dir = std::getenv("CV_BENCH_DIR");
    const fs::path path = fs::path(dir ? dir : fs::temp_directory_path().string()) /
                          ("cv_bench_long_" + std::to_string(minutes) + "min.mov");
    if (!fs::exists(path)) {
        cv::test::TestMovie desc;
        desc.fps = 2;
        desc.frames = minutes * 60 * desc.fps;
        std::string error;
        if (!cv::test::makeTestMovie(path.string(), desc, &error)) {
            std::fprintf(stderr, "cannot make the movie: %s\n", error.c_str());
            std::exit(1);
        }
    }
    return made.emplace(minutes, path.string()).first->second;
}

// A button's movie: from the action to its first frame ready to draw (opening, the sound
// track opened and its first 100 ms given to the mixer, the decode thread's first frame).
// Run on the 10 s Cinepak movie and on a 20-minute one, whose sound is as quick to start.
void BM_StartToFirstFrame(benchmark::State& state) {
    const std::string& path = state.range(0) ? longSoundMovie(int(state.range(0))) : cinepakMovie(kDecodeSeconds);
    cv::SoundManager sounds;
    for (auto _ : state) {
        cv::MovieList list(sounds);
        cv::MovieRequest r;
        r.source.path = path;
        cv::MovieChannel* m = list.PrepareMovie(r, 1, true);
        if (!m) {
            state.SkipWithError("cannot open");
            break;
        }
        while (!m->playback->frameAt(list.position(*m))) std::this_thread::yield();
        state.PauseTiming();
        if (!m->voice) state.SkipWithError("no sound");
        list.clear();
        state.ResumeTiming();
    }
}
BENCHMARK(BM_StartToFirstFrame)->Arg(0)->Arg(20)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace

BENCHMARK_MAIN();
