// Speed of words and lists in the interpreter: the programs of bench/logo (the ones that
// scripts/bench-logo also times in Berkeley Logo), each run in a fresh interpreter, and pattern
// matching over a long list.
#include <benchmark/benchmark.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>

#include "core/ui.h"
#include "script/interpreter.h"
#include "script_bench_support.h"

namespace {

using namespace cv;
using namespace cv::script;
using bench::Capture;
using bench::QuietUi;


std::string program(const char* name) {
    const auto path = std::filesystem::path(__FILE__).parent_path() / "logo" / name;
    std::ifstream f(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
}

// Runs a program from bench/logo.
void runProgram(benchmark::State& state, const char* name) {
    const std::string text = program(name);
    if (text.empty()) {
        state.SkipWithError("program not found");
        return;
    }
    bench::runScriptTimed(state, text);
}

void BM_Fib25(benchmark::State& state) { runProgram(state, "fib.logo"); }
BENCHMARK(BM_Fib25)->Unit(benchmark::kMillisecond);

void BM_Lists10000(benchmark::State& state) { runProgram(state, "lists.logo"); }
BENCHMARK(BM_Lists10000)->Unit(benchmark::kMillisecond);

void BM_WordBuilding(benchmark::State& state) { runProgram(state, "words.logo"); }
BENCHMARK(BM_WordBuilding)->Unit(benchmark::kMillisecond);

void BM_CollectionHeavyLoop(benchmark::State& state) { runProgram(state, "collect.logo"); }
BENCHMARK(BM_CollectionHeavyLoop)->Unit(benchmark::kMillisecond);

// MATCH and MEMBER along a 2000-element list, the match near its end.
void BM_MatchAlongAList(benchmark::State& state) {
    QuietUi ui;
    Capture out;
    Interpreter in;
    in.setUi(&ui);
    const std::string setup =
        "MAKE \"L [] MAKE \"I 0 REPEAT 2000 [MAKE \"I :I + 1 MAKE \"L FPUT WORD \"item :I :L]";
    in.RunScript(setup.data(), setup.size(), nullptr, &out);
    const std::string text = "REPEAT 20 [IGNORE MATCH [U] \"ITEM?? :L IGNORE MEMBER \"item5 :L]";
    const std::string define = "TO IGNORE :X\nEND";
    in.RunScript(define.data(), define.size(), nullptr, &out);
    for (auto _ : state) in.RunScript(text.data(), text.size(), nullptr, &out);
    if (!ui.errors.empty()) state.SkipWithError(ui.errors.c_str());
    state.SetItemsProcessed(state.iterations() * 20 * 2000);
}
BENCHMARK(BM_MatchAlongAList)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
