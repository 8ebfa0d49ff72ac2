// Card transitions on a 640 x 480 card.
//   bench_transitions               time to draw one step of each effect (virtual clock: no waits),
//                                   mean and slowest, in this thread's CPU time
//   bench_transitions --durations   each effect once on the real clock at speeds 8, 16 and 32,
//                                   printing how many ticks it lasted against its nominal time
// The player library (and with it Qt) must be linked to this program; until it is, it only
// says so.
#if __has_include(<QImage>)
#include <benchmark/benchmark.h>

#include <algorithm>
#include <ctime>
#include <cstdio>
#include <cstring>

#include "core/clock.h"
#include "player/host.h"
#include "player/transitions.h"
#include "resources/strings.h"

using namespace cv;

namespace {

constexpr int kW = 640, kH = 480;

class QuietHost : public Host {
public:
    void pump() override {}
    void present(const QRect&) override {}
    void setTitle(const std::string&) override {}
    void setCursor(CursorShape, int) override {}
    void resizeToCard(int, int) override {}
    void setMenuBarVisible(bool) override {}
    bool menuBarVisible() const override { return false; }
    bool hasFocus() const override { return true; }
    void quit(int) override {}
};

QImage card(bool isNew) {
    QImage img(kW, kH, QImage::Format_RGB32);
    for (int y = 0; y < kH; ++y) {
        auto* row = reinterpret_cast<uint32_t*>(img.scanLine(y));
        for (int x = 0; x < kW; ++x)
            row[x] = isNew ? qRgb(200 + (x & 31), 40 + (y & 63), 90) : qRgb((x / 40 + y / 40) % 2 ? 20 : 40, 60, 150);
    }
    return img;
}

const QImage& oldCard() {
    static const QImage c = card(false);
    return c;
}
const QImage& newCard() {
    static const QImage c = card(true);
    return c;
}

std::string nameOf(int number) {
    const int id = transitionNameId(number);
    return id ? loadString(id).value_or("?") : "full-screen fade";
}

// CPU time of this thread: a step's drawing, not the time other programs took the core.
double threadMs() {
    timespec t;
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return double(t.tv_sec) * 1e3 + double(t.tv_nsec) / 1e6;
}

void BM_Step(benchmark::State& state) {
    const int number = int(state.range(0));
    VirtualClock virtualClock;
    setClock(&virtualClock);
    QuietHost host;
    QImage screen = oldCard().copy();
    int64_t steps = 0;
    double maxStepMs = 0, totalMs = 0, last = 0;
    setTransitionStepObserver([&](int, int) {
        const double now = threadMs();
        maxStepMs = std::max(maxStepMs, now - last);
        totalMs += now - last;
        last = now;
        ++steps;
    });
    for (auto _ : state) {
        state.PauseTiming();
        std::memcpy(screen.bits(), oldCard().constBits(), size_t(screen.sizeInBytes()));
        state.ResumeTiming();
        last = threadMs();
        runTransition(host, screen, newCard(), screen.rect(), number, 8);
    }
    setTransitionStepObserver(nullptr);
    setClock(nullptr);
    state.SetLabel(nameOf(number));
    state.counters["steps"] = double(steps) / double(state.iterations());
    state.counters["ms_per_step"] = steps ? totalMs / double(steps) : 0.0;
    state.counters["max_step_ms"] = maxStepMs;
}
BENCHMARK(BM_Step)->DenseRange(1, kTransitionCount)->Unit(benchmark::kMillisecond);

// The time an effect is meant to last at a speed, in ticks.
uint64_t nominalTicks(int number, int speed) {
    switch (number) {
    case kTransFastest: return speed == 8 ? 0 : 4 * speed;
    case kTransFadeToBlack:
    case kTransFadeToWhite:
    case kTransFadeToButtonColour: return 0;  // "Fastest" at speed 8 on a true-colour screen
    case kTransZoomIn:
    case kTransZoomOut: return 18 * (speed + 1);
    case kTransFullScreenFade: return (32 * (speed + 2) + 3) / 4 + (31 * (speed + 2) + 3) / 4;
    default: return 8 * speed;
    }
}

int durations() {
    QuietHost host;
    std::printf("%-4s %-22s %14s %14s %14s\n", "no.", "name", "speed 8", "speed 16", "speed 32");
    int outside = 0;
    for (int number = 1; number <= kTransitionCount; ++number) {
        std::printf("%-4d %-22s", number, nameOf(number).c_str());
        for (int speed : {8, 16, 32}) {
            QImage screen = oldCard().copy();
            // Start on a tick boundary so that the tick count is not off by one from the start.
            const uint64_t t0 = cv::clock().ticks() + 1;
            cv::clock().sleepUntilMs(t0 * 17);
            runTransition(host, screen, newCard(), screen.rect(), number, speed);
            const double ticks = double(cv::clock().nowMs()) / 17.0 - double(t0);
            const uint64_t nominal = nominalTicks(number, speed);
            const bool ok = ticks >= double(nominal) - 2 && ticks <= double(nominal) + 2;
            outside += !ok;
            std::printf("  %5.1f/%-4llu%s", ticks, (unsigned long long)nominal, ok ? "  " : " !");
        }
        std::printf("\n");
        std::fflush(stdout);
    }
    std::printf("%d measurements outside nominal +-2 ticks\n", outside);
    return outside ? 1 : 0;
}

} // namespace

int main(int argc, char** argv) {
    for (int i = 1; i < argc; ++i)
        if (std::strcmp(argv[i], "--durations") == 0) return durations();
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}

#else
#include <cstdio>

int main() {
    std::fprintf(stderr, "bench_transitions: built without the player library (cv_player); nothing measured\n");
    return 1;
}
#endif
