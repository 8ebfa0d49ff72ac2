// Scripts driving the player through the command table: a round trip of GETITEMPOS (the
// object input as a counted string, the lookup, the answer back in turtle coordinates) in a
// REPEAT of 10000, and SETITEMPOS moving a button 1000 times with the screen locked, on a
// 640 x 480 card holding 20 objects.
#include <benchmark/benchmark.h>

#include <QGuiApplication>
#include <cstdlib>

#include "core/byte_order.h"
#include "core/pstring.h"
#include "player/headless_host.h"
#include "player/player.h"
#include "player/script_bridge.h"
#include "stack/record_layout.h"
#include "stack/stack_document.h"

using namespace cv;

namespace {

constexpr int kW = 640, kH = 480;
using Bytes = std::vector<uint8_t>;

Bytes buttonRecord(uint16_t id, int left, int top, const std::string& name) {
    Bytes b(button::kActions, 0);
    put16(b.data() + obj::kKind, obj::kButton);
    put16(b.data() + obj::kId, id);
    put16(b.data() + obj::kRect, uint16_t(left));
    put16(b.data() + obj::kRect + 2, uint16_t(top));
    put16(b.data() + obj::kRect + 4, uint16_t(left + 100));
    put16(b.data() + obj::kRect + 6, uint16_t(top + 30));
    put32(b.data() + obj::kLength, uint32_t(b.size()));
    setPStringField(b.data() + button::kName, button::kNameSize, name.c_str());
    put16(b.data() + button::kButtonFlags, 0x08);
    put16(b.data() + button::kNameColour, 256);
    put16(b.data() + button::kFillColour, 2);
    return b;
}

void makeStack() {
    NewStack(kW, kH, 8);
    Bytes rec(memRefs().data(theStack().cards[0].record),
              memRefs().data(theStack().cards[0].record) + card::kBody);
    put16(rec.data() + card::kMode, card::kModeNone);
    // The button the scripts ask for is the last of 20, so the lookup walks the card.
    for (int i = 0; i < 20; ++i) {
        const Bytes b = buttonRecord(uint16_t(i + 1), 10 + (i % 5) * 120, 10 + (i / 5) * 60,
                                     i == 19 ? "Target" : "Button " + std::to_string(i + 1));
        rec.insert(rec.end(), b.begin(), b.end());
    }
    rec.insert(rec.end(), {0, 0, 0xFA, 0xCE});
    put32(rec.data() + card::kLength, uint32_t(rec.size()));
    StackDocument& s = theStack();
    DisposeHandle(s.cards[0].record);
    s.cards[0].record = NewHandleFrom(rec.data(), uint32_t(rec.size()));
}

struct Fixture {
    HeadlessHost host;
    Player player{host};
    Fixture() {
        makeStack();
        player.showCardNumber(1, 3, 8, false);
    }
};

Fixture& fixture() {
    static Fixture f;
    return f;
}

// One GETITEMPOS command, from the script's call to its answer as a list.
void BM_GetItemPosRoundTrip(benchmark::State& state) {
    Fixture& f = fixture();
    const std::string script = "TEXTIO REPEAT 10000 [MAKE \"P GETITEMPOS [] \"Target \"BUTTON]";
    for (auto _ : state) f.player.scripts().run(script);
    state.SetItemsProcessed(int64_t(state.iterations()) * 10000);
    state.counters["us_per_command"] =
        benchmark::Counter(double(state.iterations()) * 10000, benchmark::Counter::kIsRate | benchmark::Counter::kInvert,
                           benchmark::Counter::kIs1000);
}
BENCHMARK(BM_GetItemPosRoundTrip)->Unit(benchmark::kMillisecond);

// SETITEMPOS moving a button 1000 times under LOCKSCREEN, and the one redraw at the unlock.
void BM_SetItemPosLocked(benchmark::State& state) {
    Fixture& f = fixture();
    const std::string script =
        "TEXTIO LOCKSCREEN MAKE \"X 0 REPEAT 1000 [MAKE \"X :X + 1 SETITEMPOS [] \"Target 0 [:X - 500 0]] "
        "UNLOCKSCREEN";
    for (auto _ : state) f.player.scripts().run(script);
}
BENCHMARK(BM_SetItemPosLocked)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv) {
    if (!std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QGuiApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
