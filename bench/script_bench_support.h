#pragma once
// What the interpreter benchmarks share: printed text kept, and error boxes kept instead of shown.
#include <benchmark/benchmark.h>

#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "core/ui.h"
#include "script/interpreter.h"
#include "script/script_host.h"

namespace cv::bench {

class Capture final : public script::TextOutput {
public:
    void write(std::string_view bytes) override { text.append(bytes); }
    std::string text;
};

class QuietUi final : public HeadlessUi {
public:
    void messageBox(std::string_view, std::string_view text) override { errors.append(text); }
    std::string errors;
};

// Runs `script` in a new interpreter each time (its making and unmaking are not timed); an
// error, or printed text other than `expected` when one is given, ends the benchmark with it.
inline void runScriptTimed(benchmark::State& state, std::string_view script,
                           const std::optional<std::string>& expected = std::nullopt) {
    for (auto _ : state) {
        state.PauseTiming();
        QuietUi ui;
        Capture out;
        auto in = std::make_unique<script::Interpreter>();
        in->setUi(&ui);
        in->ensureInitialised();
        state.ResumeTiming();
        in->RunScript(script.data(), script.size(), nullptr, &out);
        state.PauseTiming();
        if (!ui.errors.empty() || (expected && out.text != *expected)) {
            state.SkipWithError((ui.errors + out.text).c_str());
            break;
        }
        benchmark::DoNotOptimize(out.text);
        in.reset();
        state.ResumeTiming();
    }
}

} // namespace cv::bench
