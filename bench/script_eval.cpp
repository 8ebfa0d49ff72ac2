// Speed of the interpreter: reading, procedure calls and arithmetic, and collection.
#include <benchmark/benchmark.h>

#include <string>

#include "core/ui.h"
#include "script/interpreter.h"

namespace {

using namespace cv;
using namespace cv::script;

class Discard final : public TextOutput {
public:
    void write(std::string_view) override {}
};

class QuietUi final : public HeadlessUi {
public:
    void messageBox(std::string_view, std::string_view) override {}
};

struct Fixture {
    Fixture() {
        in.setUi(&ui);
        in.ensureInitialised();
    }
    void run(const std::string& text) { in.RunScript(text.data(), text.size(), nullptr, &out); }
    QuietUi ui;
    Discard out;
    Interpreter in;
};

void BM_ParseLine(benchmark::State& state) {
    Fixture f;
    const std::string line = "IF :N < 2 [OUTPUT :N] OUTPUT (FIB :N - 1) + FIB :N - 2 ; 'a comment' [x [y z]] 3.25e2";
    for (auto _ : state) {
        const Ref l = f.in.ParseText(line);
        benchmark::DoNotOptimize(l);
        f.in.UnlockValue(l);
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_ParseLine);

// Recursive calls with infix arithmetic: fib 20 makes 21891 calls.
void BM_Fibonacci(benchmark::State& state) {
    Fixture f;
    f.run("TO FIB :N\nIF :N < 2 [OUTPUT :N]\nOUTPUT (FIB :N - 1) + FIB :N - 2\nEND");
    for (auto _ : state) f.run("FIB 20 FIB 20");
    state.SetItemsProcessed(state.iterations() * 2 * 21891);
}
BENCHMARK(BM_Fibonacci)->Unit(benchmark::kMillisecond);

// A tight loop of arithmetic on floats and integers.
void BM_RepeatArithmetic(benchmark::State& state) {
    Fixture f;
    f.run("TO IGNORE :X\nEND");
    for (auto _ : state) f.run("REPEAT 100000 [IGNORE 3 * 4 + 2.5 / 7 - SUM 1 2]");
    state.SetItemsProcessed(state.iterations() * 100000);
}
BENCHMARK(BM_RepeatArithmetic)->Unit(benchmark::kMillisecond);

void BM_Collect(benchmark::State& state) {
    Fixture f;
    // Keep a structure alive in a procedure body, then collect repeatedly.
    std::string body = "TO KEEP\n";
    for (int i = 0; i < 2000; ++i) body += "PRINT [a b c [d e f] 1 2 3]\n";
    body += "END";
    f.run(body);
    for (auto _ : state) f.in.CollectGarbage();
    state.SetItemsProcessed(state.iterations() * int64_t(f.in.poolSize()));
}
BENCHMARK(BM_Collect);

} // namespace

BENCHMARK_MAIN();
