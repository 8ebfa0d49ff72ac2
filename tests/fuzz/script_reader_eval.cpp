// Arbitrary bytes through the reader (PARSE) and the evaluator (one script run), with a step
// limit, a bounded pool and the virtual clock, so that every input ends quickly.
#include <cstddef>
#include <cstdint>
#include <string>

#include "core/clock.h"
#include "core/ui.h"
#include "script/interpreter.h"

namespace {

using namespace cv;
using namespace cv::script;

class QuietUi final : public HeadlessUi {
public:
    void messageBox(std::string_view, std::string_view) override {}
};

class Discard final : public TextOutput {
public:
    void write(std::string_view bytes) override { total += bytes.size(); }
    size_t total = 0;
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static VirtualClock clock;
    setClock(&clock);
    QuietUi ui;
    Discard out;
    Interpreter in;
    in.setUi(&ui);
    in.setStepLimit(4000);
    in.setMaxBlocks(64);
    in.setRandomSeed(1);
    if (!in.ensureInitialised()) return 0;
    const std::string text(reinterpret_cast<const char*>(data), size);
    // The reader alone, then printing what it read in every form.
    const Ref parsed = in.ParseText(text);
    (void)in.FormText(parsed, false, true);
    (void)in.LineText(parsed);
    in.UnlockValue(parsed);
    in.CollectGarbage();
    // The whole text as a script.
    in.RunScript(text.data(), text.size(), nullptr, &out);
    in.CollectGarbage();
    return 0;
}
