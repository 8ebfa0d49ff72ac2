// Speed of the workspace with many names: variables, locals, property lists and properties,
// 100,000 of each, made and then read back. Each run starts with a new interpreter.
#include <benchmark/benchmark.h>

#include <memory>
#include <string>

#include "core/ui.h"
#include "script/interpreter.h"
#include "script_bench_support.h"

namespace {

using namespace cv;
using namespace cv::script;


constexpr int kNames = 100000;

// Runs the script and checks that it printed what it should.
void runScript(benchmark::State& state, const std::string& script, const std::string& expected) {
    bench::runScriptTimed(state, script, expected);
    state.SetItemsProcessed(state.iterations() * kNames);
}

const std::string kCount = std::to_string(kNames);
// Every script counts the names that gave back their own number, and prints the count.
const std::string kSum = kCount + "\n";

void BM_MakeThingManyNames(benchmark::State& state) {
    runScript(state,
              "MAKE \"I 0\nREPEAT " + kCount + " [MAKE WORD \"V :I :I MAKE \"I :I + 1]\n"
              "MAKE \"S 0 MAKE \"I 0\nREPEAT " + kCount + " [IF EQUALP :I THING WORD \"V :I [MAKE \"S :S + 1] MAKE \"I :I + 1]\n"
              "PRINT :S",
              kSum);
}
BENCHMARK(BM_MakeThingManyNames)->Unit(benchmark::kMillisecond);

void BM_LocalManyNames(benchmark::State& state) {
    runScript(state,
              "TO MANY :N\nMAKE \"I 0\nREPEAT :N [LOCAL WORD \"V :I MAKE WORD \"V :I :I MAKE \"I :I + 1]\n"
              "MAKE \"S 0 MAKE \"I 0\nREPEAT :N [IF EQUALP :I THING WORD \"V :I [MAKE \"S :S + 1] MAKE \"I :I + 1]\nOUTPUT :S\nEND\n"
              "PRINT MANY " + kCount,
              kSum);
}
BENCHMARK(BM_LocalManyNames)->Unit(benchmark::kMillisecond);

// 100,000 property lists of one property each.
void BM_PPropGPropManyNames(benchmark::State& state) {
    runScript(state,
              "MAKE \"I 0\nREPEAT " + kCount + " [PPROP WORD \"P :I \"K :I MAKE \"I :I + 1]\n"
              "MAKE \"S 0 MAKE \"I 0\nREPEAT " + kCount + " [IF EQUALP :I GPROP WORD \"P :I \"K [MAKE \"S :S + 1] MAKE \"I :I + 1]\n"
              "PRINT :S",
              kSum);
}
BENCHMARK(BM_PPropGPropManyNames)->Unit(benchmark::kMillisecond);

// One property list of 100,000 properties, some of them numbers.
void BM_PPropGPropManyProperties(benchmark::State& state) {
    runScript(state,
              "MAKE \"I 0\nREPEAT " + kCount + " [PPROP \"P :I :I MAKE \"I :I + 1]\n"
              "MAKE \"S 0 MAKE \"I 0\nREPEAT " + kCount + " [IF EQUALP :I GPROP \"P :I [MAKE \"S :S + 1] MAKE \"I :I + 1]\n"
              "PRINT :S",
              kSum);
}
BENCHMARK(BM_PPropGPropManyProperties)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
