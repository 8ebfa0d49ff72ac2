// Picture codecs on card-like content: a 640 x 480 8-bit card with flat areas, a gradient, a
// noisy photograph-like patch and thin lines of text-like strokes.
#include <benchmark/benchmark.h>

#include <cstring>
#include <random>
#include <vector>

#include "stack/bitmap.h"
#include "stack/colour_table.h"
#include "stack/lzrw1.h"
#include "stack/packbits.h"
#include "stack/picture_card.h"
#include "stack/picture_convert.h"
#include "stack/picture_rows.h"

using namespace cv;

namespace {

constexpr int kW = 640, kH = 480;

Bitmap cardContent() {
    Bitmap b = *MakeDIB(kW, kH, 8);
    const Palette& def = LoadDefaultPalette();
    for (int i = 0; i < 256; ++i) b.colours[i] = paletteColour(def[i]);
    std::mt19937 rng(42);
    for (int y = 0; y < kH; ++y) {
        uint8_t* row = b.row(y);
        for (int x = 0; x < kW; ++x) {
            uint8_t v = 0;                                           // white background
            if (y < 60) v = 180;                                     // title bar
            else if (y >= 80 && y < 200) v = uint8_t(215 + x * 10 / kW);   // gradient band
            else if (x >= 360 && x < 600 && y >= 220 && y < 420)    // photograph
                v = uint8_t((x / 24 + y / 20) * 6 % 215 + rng() % 3);
            else if (x >= 40 && x < 320 && y >= 240 && y < 440 && (y % 14) < 2 && rng() % 5)
                v = 255;                                             // lines of text
            else if (x >= 20 && x < 340 && y >= 220 && y < 460) v = 43;      // panel
            row[x] = v;
        }
    }
    return b;
}

struct Fixture {
    Bitmap card = cardContent();
    std::vector<uint8_t> stored = storedPicture(card);
    std::vector<uint8_t> block = encodeLzrw1(stored);
    std::vector<uint8_t> rows = *EncodeRowsLZRW1(card);
    std::vector<uint8_t> packed = EncodePackBits(card);
    std::vector<uint8_t> record = *encodeCardPicture(card);
};

const Fixture& fixture() {
    static const Fixture f;
    return f;
}

void BM_Memcpy(benchmark::State& state) {
    const auto& f = fixture();
    std::vector<uint8_t> out(f.stored.size());
    for (auto _ : state) {
        std::memcpy(out.data(), f.stored.data(), out.size());
        benchmark::DoNotOptimize(out.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(out.size()));
}

void BM_Lzrw1Decode(benchmark::State& state) {
    const auto& f = fixture();
    std::vector<uint8_t> out(f.stored.size());
    for (auto _ : state) {
        bool ok = decodeLzrw1(f.block, out);
        benchmark::DoNotOptimize(ok);
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(out.size()));
    state.counters["ratio"] = double(f.stored.size()) / double(f.block.size());
}

void BM_Lzrw1Encode(benchmark::State& state) {
    const auto& f = fixture();
    Lzrw1Encoder encoder;
    std::vector<uint8_t> out;
    out.reserve(f.stored.size() + 64);
    for (auto _ : state) {
        out.clear();
        encoder.encode(f.stored, out);
        benchmark::DoNotOptimize(out.data());
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(f.stored.size()));
}

void BM_Lzrw1RowsDecode(benchmark::State& state) {
    const auto& f = fixture();
    Bitmap dib = *MakeDIB(kW, kH, 8);
    for (auto _ : state) {
        bool ok = DecodeRowsLZRW1(dib, f.rows);
        benchmark::DoNotOptimize(ok);
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(dib.bits.size()));
}

void BM_PackBitsDecode(benchmark::State& state) {
    const auto& f = fixture();
    std::vector<uint8_t> out(f.stored.size());
    for (auto _ : state) {
        bool ok = decodePackBitsStream(f.packed, out);
        benchmark::DoNotOptimize(ok);
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(out.size()));
    state.counters["ratio"] = double(f.stored.size()) / double(f.packed.size());
}

void BM_PackBitsEncode(benchmark::State& state) {
    const auto& f = fixture();
    std::vector<uint8_t> out;
    for (auto _ : state) {
        out.clear();
        encodePackBitsStream(f.stored, out);
        benchmark::DoNotOptimize(out.data());
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(f.stored.size()));
}

// What showing a card costs: its picture record decoded and put on a 32-bit screen.
void BM_CardPictureToScreen(benchmark::State& state) {
    const auto& f = fixture();
    std::vector<uint32_t> screen(size_t(kW) * kH);
    for (auto _ : state) {
        DecodedPicture d = decodeCardPicture(f.record, kW, kH, 8);
        convertToRgb32(d.bitmap, screen.data(), kW);
        benchmark::DoNotOptimize(screen.data());
        benchmark::ClobberMemory();
    }
}

void BM_ScreenConversion(benchmark::State& state) {
    const auto& f = fixture();
    std::vector<uint32_t> screen(size_t(kW) * kH);
    for (auto _ : state) {
        convertToRgb32(f.card, screen.data(), kW);
        benchmark::DoNotOptimize(screen.data());
        benchmark::ClobberMemory();
    }
}

} // namespace

BENCHMARK(BM_Memcpy);
BENCHMARK(BM_Lzrw1Decode);
BENCHMARK(BM_Lzrw1Encode);
BENCHMARK(BM_Lzrw1RowsDecode);
BENCHMARK(BM_PackBitsDecode);
BENCHMARK(BM_PackBitsEncode);
BENCHMARK(BM_CardPictureToScreen)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_ScreenConversion)->Unit(benchmark::kMicrosecond);

BENCHMARK_MAIN();
