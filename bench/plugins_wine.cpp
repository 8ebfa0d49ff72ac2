// Windows plug-ins under Wine: a call that makes one callback (the counter's alert), round
// trip through nbahost.exe, and the host's start (mostly Wine's).
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "core/references.h"
#include "media/nba/wine_library.h"

namespace {

cv::NativeBlock* g_block = nullptr;
void answer() {
    if (g_block) g_block->block.setParam(1, 52);
}
const NBAHostTable kHost = {sizeof(NBAHostTable), NBA_BLOCK_VERSION, answer, nullptr, nullptr, nullptr, nullptr, nullptr};

bool ready(benchmark::State& state) {
#ifdef CV_BENCH_WIN32
    setenv("WINEPREFIX", CV_BENCH_WINEPREFIX, 0);
    const std::string why = cv::windowsPluginsUnavailable();
    if (why.empty()) return true;
    state.SkipWithError(why.c_str());
#else
    state.SkipWithError("built without the MinGW-w64 i686 cross compiler");
#endif
    return false;
}

// Calls the counter (which makes one callback, its alert) for as long as the benchmark runs,
// with a card record of `cardBytes` lent at offset 4 (none when 0).
void callTheCounter(benchmark::State& state, size_t cardBytes) {
    if (!ready(state)) return;
#ifdef CV_BENCH_WIN32
    std::string error;
    auto lib = cv::winePluginLoader().load(std::string(CV_BENCH_WIN32) + "/COUNTWIN.NBA", &error);
    if (!lib) return state.SkipWithError(error.c_str());
    const std::vector<uint8_t> bytes(cardBytes, 0x5A);
    const cv::Handle card = cardBytes ? cv::NewReferenceFrom(bytes.data(), uint32_t(bytes.size())) : 0;
    cv::NativeBlock block;
    block.host = &kHost;
    g_block = &block;
    for (auto _ : state) {
        block.block = {};
        block.block.setCommand(NBA_MSG_RUN);
        for (int i = 0; i < 4; ++i) block.block.bytes[NBA_OFF_CARD_RECORD + i] = uint8_t(card >> (8 * i));
        benchmark::DoNotOptimize(lib->call(block));
    }
    g_block = nullptr;
    if (card) cv::DisposeReference(card);
#else
    (void)cardBytes;
#endif
}

void BM_WineCallWithOneCallback(benchmark::State& state) { callTheCounter(state, 0); }
BENCHMARK(BM_WineCallWithOneCallback)->Unit(benchmark::kMicrosecond);

// The same with a card's record lent to the plug-in, as every call from a card has: a card with a
// picture is some tens of kilobytes.
void BM_WineCallWithOneCallbackAndACardRecord(benchmark::State& state) {
    callTheCounter(state, size_t(state.range(0)));
}
BENCHMARK(BM_WineCallWithOneCallbackAndACardRecord)->Arg(32 << 10)->Unit(benchmark::kMicrosecond);

void BM_WineHostStart(benchmark::State& state) {
    if (!ready(state)) return;
#ifdef CV_BENCH_WIN32
    for (auto _ : state) {
        cv::stopWineHost();
        std::string error;
        auto lib = cv::winePluginLoader().load(std::string(CV_BENCH_WIN32) + "/COUNTWIN.NBA", &error);
        if (!lib) return state.SkipWithError(error.c_str());
    }
    cv::stopWineHost();
#endif
}
BENCHMARK(BM_WineHostStart)->Unit(benchmark::kMillisecond)->Iterations(3);

} // namespace
BENCHMARK_MAIN();
