// Plug-ins: one call of a cached NBA that makes one callback into the player's command table,
// and the idle broadcast to a stack of 10 NBAs (each one call of a cached library).
#include <benchmark/benchmark.h>

#include <QGuiApplication>
#include <cstdlib>
#include <filesystem>

#include "core/settings.h"
#include "media/nba/nba_manager.h"
#include "player/headless_host.h"
#include "player/player.h"
#include "player/player_plugins.h"
#include "stack/chunk_file.h"
#include "stack/record_layout.h"
#include "stack/stack_document.h"

using namespace cv;

namespace {

const std::string kFolder = CV_BENCH_PLUGINS;

// A shown stack holding 10 'NBAs' records, all naming the probe library, which is allowed.
struct PluginStack {
    HeadlessHost host;
    Player player{host};
    NBAManager* nbas = nullptr;

    PluginStack() {
        setSettingsFile((std::filesystem::temp_directory_path() / "cv-bench-plugins.ini").string());
        settings().set(NBAManager::kAllowedSection, "probe.nba", kFolder + "/PROBE.NBA");
        NewStack(512, 342, 8);
        theStack().chunkFile = OpenScratchChunkFile();
        SetCurrentChunkFile(theStack().chunkFile);
        for (uint16_t id = 1; id <= 10; ++id) {
            PluginResources r;
            r.fileName = "PROBE.NBA";
            r.nbaId = id;
            const uint8_t name[] = {1, uint8_t('A' + id)};
            AddChunk(MakeNBARecord(r), 0, chunk::kNBAs, id, name);
        }
        player.showCardNumber(1, 0, 0, false);
        nbas = installedNBAs();
        nbas->environment().folders = {kFolder};
        if (!nbas->CallNBA(1, NBA_MSG_RUN, false)) std::abort();  // loaded and cached
        nbas->broadcast(NBA_MSG_IDLE);
    }
    ~PluginStack() { DisposeStack(); }
};

void BM_CallCachedNBA(benchmark::State& state) {
    PluginStack s;
    for (auto _ : state) benchmark::DoNotOptimize(s.nbas->CallNBA(1, NBA_MSG_RUN, false));
}
BENCHMARK(BM_CallCachedNBA)->Unit(benchmark::kMicrosecond);

void BM_BroadcastTo10NBAs(benchmark::State& state) {
    PluginStack s;
    for (auto _ : state) s.nbas->broadcast(NBA_MSG_IDLE);
}
BENCHMARK(BM_BroadcastTo10NBAs)->Unit(benchmark::kMicrosecond);

} // namespace

int main(int argc, char** argv) {
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QGuiApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
