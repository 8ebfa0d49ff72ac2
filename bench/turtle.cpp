// Speed of the turtle: 100,000 steps of FD 1 RT 1 with the turtle hidden and shown, on one
// image (quill's canvas) and on a card window with its picture (the player); a wrapped line;
// a fill of the whole window.
#include <benchmark/benchmark.h>

#include <QImage>
#include <string>

#include "core/ui.h"
#include "player/turtle_surface.h"
#include "script/interpreter.h"

namespace {

using namespace cv;
using namespace cv::script;

class QuietUi final : public HeadlessUi {
public:
    void messageBox(std::string_view, std::string_view) override {}
};

struct Fixture {
    explicit Fixture(bool withPicture)
        : surface([this] { return &window; }, [this, withPicture] { return withPicture ? &picture : nullptr; }) {
        window.fill(Qt::white);
        picture.fill(Qt::white);
        in.setUi(&ui);
        in.ensureInitialised();
    }
    void run(const std::string& text) { in.RunScript(text.data(), text.size(), nullptr, nullptr, &surface); }
    QImage window{512, 342, QImage::Format_RGB32};
    QImage picture{512, 342, QImage::Format_RGB32};
    TurtleSurface surface;
    QuietUi ui;
    Interpreter in;
};

void steps(benchmark::State& state, bool shown, bool withPicture) {
    Fixture f(withPicture);
    f.run(shown ? "ST" : "HT");
    for (auto _ : state) f.run("REPEAT 100000 [FD 1 RT 1]");
    state.SetItemsProcessed(state.iterations() * 100000);
}

void BM_StepsHidden(benchmark::State& state) { steps(state, false, false); }
void BM_StepsShown(benchmark::State& state) { steps(state, true, false); }
void BM_StepsHiddenOnCard(benchmark::State& state) { steps(state, false, true); }
void BM_StepsShownOnCard(benchmark::State& state) { steps(state, true, true); }
BENCHMARK(BM_StepsHidden)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_StepsShown)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_StepsHiddenOnCard)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_StepsShownOnCard)->Unit(benchmark::kMillisecond);

// FD 1 at a slant moves nothing (each part of a step is truncated), so most of the steps above
// draw no line: here every step draws one of 37 pixels.
void BM_LongStepsHiddenOnCard(benchmark::State& state) {
    Fixture f(true);
    f.run("HT");
    for (auto _ : state) f.run("REPEAT 100000 [FD 37 RT 91]");
    state.SetItemsProcessed(state.iterations() * 100000);
}
BENCHMARK(BM_LongStepsHiddenOnCard)->Unit(benchmark::kMillisecond);

// The longest line a script can ask for, wrapping round a card window.
void BM_WrapFarthest(benchmark::State& state) {
    Fixture f(true);
    f.run("HT WRAP RT 1");
    for (auto _ : state) f.run("FD 2147483647");
}
BENCHMARK(BM_WrapFarthest)->Unit(benchmark::kMillisecond);

// Filling the whole card window and its picture, alternating colours.
void BM_FillWindow(benchmark::State& state) {
    Fixture f(true);
    f.run("HT");
    int colour = 2;
    for (auto _ : state) {
        const std::string text = "SETPC " + std::to_string(colour) + " FILL";
        colour = colour == 2 ? 3 : 2;
        f.run(text);
    }
}
BENCHMARK(BM_FillWindow)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
