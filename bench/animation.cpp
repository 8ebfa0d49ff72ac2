// One scheduler pass of frame animations: ten 200 x 200 animations running at once, each
// pass applying every animation's next frame and copying it out in the screen format; and one
// step of twenty 64 x 64 sprites moving over a 640 x 480 card.
#include <benchmark/benchmark.h>

#include <random>

#include "core/clock.h"
#include "core/handles.h"
#include "media/frame_animation.h"
#include "media/sprite_engine.h"
#include "stack/picture_convert.h"

using namespace cv;

namespace {

// Copies each frame into a 32-bit screen buffer, as the card window does.
struct ScreenCanvas : FrameCanvas {
    std::vector<uint32_t> screen = std::vector<uint32_t>(1024 * 768);
    void drawFrame(const Bitmap& frame, int left, int top, bool) override {
        convertToRgb32(frame, screen.data() + size_t(top) * 1024 + size_t(left), 1024);
    }
    void invalidate(const AnimRect&) override {}
};

// Frames that each change about a tenth of the picture from the one before.
std::vector<uint8_t> record(int depth, uint16_t flags, unsigned seed) {
    std::mt19937 rng(seed);
    std::vector<Bitmap> frames;
    Bitmap b = *MakeDIB(200, 200, depth);
    for (uint32_t i = 0; i < b.colours.size(); ++i) b.colours[i] = 0xFF000000u | (i * 0x010101u);
    for (int f = 0; f < 12; ++f) {
        for (int i = 0; i < 4000; ++i) {
            uint32_t v = rng();
            if (depth <= 8) v &= (1u << depth) - 1;
            if (depth == 16) v &= 0x7FFF;
            b.setPixel(int(rng() % 200), int(rng() % 200), v);
        }
        frames.push_back(b);
    }
    return *encodeFrameAnimation(frames, 100, 1000, flags);
}

void BM_SchedulerPassTenAnimations(benchmark::State& state) {
    const int depth = int(state.range(0));
    const uint16_t flags = state.range(1) ? frameanim::kDeltas16 : 0;
    VirtualClock clock;
    setClock(&clock);
    {
        FrameAnimations animations;
        animations.setLargest(1024, 768);
        ScreenCanvas canvas;
        for (int i = 0; i < 10; ++i) {
            const auto r = record(depth, flags, unsigned(i));
            animations.StartFrameAnimation(NewHandleFrom(r.data(), uint32_t(r.size())),
                                           {(i % 4) * 210, (i / 4) * 210, 0, 0}, uint16_t(i + 1));
        }
        for (auto _ : state) {
            animations.StepFrameAnimations(canvas);
            clock.advance(100);
        }
        benchmark::DoNotOptimize(canvas.screen.data());
    }
    setClock(nullptr);
}
// Depth, and 16-bit changes (1) or 32-bit ones (0).
BENCHMARK(BM_SchedulerPassTenAnimations)->Args({8, 1})->Args({8, 0})->Args({16, 1})->Args({32, 0})
    ->Unit(benchmark::kMicrosecond);

struct CardScreen : SpriteCanvas {
    std::vector<uint32_t> pixels = std::vector<uint32_t>(640 * 480, 0xFFFFFF00u);
    SpriteSurface surface() override { return {pixels.data(), 640, 480, 640}; }
    void present(const AnimRect&) override {}
};

// A sprite of four 64 x 64 frames, each a disc (the mask hides its corners), on a circular
// path of 32 points across the card; it moves and changes frame every 10 ms.
std::vector<uint8_t> walker(unsigned seed) {
    std::mt19937 rng(seed);
    std::vector<SpritePicture> frames;
    for (int f = 0; f < 4; ++f) {
        SpritePicture p;
        p.picture = *MakeDIB(64, 64, 8);
        for (uint32_t i = 0; i < 256; ++i) p.picture.colours[i] = 0xFF000000u | (i * 0x010101u);
        p.mask = *MakeDIB(64, 64, 1);
        p.mask->colours = {0xFF000000u, 0xFFFFFFFFu};
        for (int y = 0; y < 64; ++y)
            for (int x = 0; x < 64; ++x) {
                p.picture.setPixel(x, y, rng() & 0xFF);
                if ((x - 32) * (x - 32) + (y - 32) * (y - 32) > 32 * 32) p.mask->setPixel(x, y, 1);
            }
        frames.push_back(std::move(p));
    }
    std::vector<PathPoint> path;
    for (int i = 0; i < 32; ++i) path.push_back({int16_t(rng() % 600 - 20), int16_t(rng() % 440 - 20), 0});
    SpriteOptions o;
    o.pathMode = sprite::kPathCircular;
    o.repeatMode = sprite::kRepeatAlways;
    o.recordedTiming = false;
    o.fixedInterval = 10;
    return *encodeSprite(o, path, frames);
}

void BM_SpriteStepTwenty(benchmark::State& state) {
    VirtualClock clock;
    setClock(&clock);
    {
        SpriteEngine engine;
        CardScreen screen;
        for (int i = 0; i < 20; ++i) engine.startSprite(walker(unsigned(i)), uint16_t(i + 1));
        engine.stepSprites(screen);
        for (auto _ : state) {
            clock.advance(10);
            engine.stepSprites(screen);
        }
        if (engine.count() != 20) state.SkipWithError("the sprites did not all run");
        benchmark::DoNotOptimize(screen.pixels.data());
    }
    setClock(nullptr);
}
BENCHMARK(BM_SpriteStepTwenty)->Unit(benchmark::kMicrosecond);

} // namespace

BENCHMARK_MAIN();
