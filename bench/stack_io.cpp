// Opening and saving a large stack: 2,000 cards (each with a background picture, a button,
// a graphic object and a text object) and about 100 MB of chunk data (sounds, icons, action
// lists, plug-in settings, the workspace). Throughput is the file's size over the time; the
// memory benchmark reports what an open stack costs relative to its file.
// The stack is made once per run in CV_BENCH_DIR (default: the temporary folder).
#include <benchmark/benchmark.h>

#include <malloc.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "core/byte_order.h"
#include "core/handles.h"
#include "stack/chunk_file.h"
#include "stack/record_layout.h"
#include "stack/stack_document.h"
#include "stack/stack_io.h"

namespace fs = std::filesystem;
using namespace cv;

namespace {

constexpr int kCards = 2000;
constexpr int kSounds = 300, kTracks = 30, kNBAs = 50;
constexpr uint32_t kSoundBytes = 256 * 1024, kIconBytes = 7 * 1024, kNBABytes = 4096;

using Bytes = std::vector<uint8_t>;

void fill(uint8_t* p, size_t n, uint32_t seed) {
    for (size_t i = 0; i < n; ++i) {
        seed = seed * 1664525u + 1013904223u;
        p[i] = uint8_t(seed >> 24);
    }
}

// Native-form records, as the stack holds them in memory.
Bytes actionHeader(uint16_t code, uint32_t length) {
    Bytes a(length);
    put16(a.data(), code);
    put32(a.data() + action::kLength, length);
    return a;
}

Bytes buttonRecord(int i) {
    Bytes b(button::kActions);
    put16(b.data(), obj::kButton);
    put16(b.data() + obj::kId, 1);
    put16(b.data() + 4, 10), put16(b.data() + 6, 10), put16(b.data() + 8, 110), put16(b.data() + 10, 40);
    uint16_t summary = actionlist::kFlagStackSound;
    put16(b.data() + button::kButtonFlags, 0x18);
    put16(b.data() + button::kIconId, uint16_t(1000 + i));
    Bytes sound = actionHeader(action::kStackSound, 32);
    put16(sound.data() + 16, uint16_t(5000 + i % kSounds));
    b.insert(b.end(), sound.begin(), sound.end());
    if (i % 10 == 0) {
        Bytes track = actionHeader(action::kStackSound, 32);
        put16(track.data() + 16, uint16_t(6000 + (i / 10) % kTracks));
        put16(track.data() + 24, 0x8000);
        b.insert(b.end(), track.begin(), track.end());
    }
    if (i % 40 == 0) {
        summary |= actionlist::kFlagNBA;
        Bytes nba = actionHeader(action::kNBA, 48);
        put16(nba.data() + 16, uint16_t(7000 + (i / 40) % kNBAs));
        b.insert(b.end(), nba.begin(), nba.end());
    }
    put16(b.data() + button::kSummary, summary);
    put32(b.data() + obj::kLength, uint32_t(b.size()));
    return b;
}

Bytes cardRecord(int i) {
    Bytes c(card::kBody);
    put16(c.data() + card::kId, uint16_t(i + 1));
    put16(c.data() + card::kMode, card::kModeOwn);
    put16(c.data() + card::kDepth, 8);
    put16(c.data() + card::kWidth, 640);
    put16(c.data() + card::kHeight, 480);
    const std::string name = "Card " + std::to_string(i + 1);
    c[card::kName] = uint8_t(name.size());
    std::memcpy(c.data() + card::kName + 1, name.data(), name.size());
    put16(c.data() + card::kArriveAction, uint16_t(8000 + i));
    // Picture record: a 16-colour table (black first) and 2,000 bytes of picture.
    Bytes pic(pict::kHeaderSize + 8 + 16 * 8 + 2000);
    fill(pic.data() + pict::kHeaderSize + 16, pic.size() - pict::kHeaderSize - 16, uint32_t(i));
    std::memset(pic.data() + pict::kHeaderSize, 0, 16);
    put16(pic.data() + pict::kFormat, 1);
    put32(pic.data() + pict::kLength, uint32_t(pic.size()));
    put32(pic.data() + pict::kColourTableLength, 8 + 16 * 8);
    c.insert(c.end(), pic.begin(), pic.end());
    const Bytes b = buttonRecord(i);
    c.insert(c.end(), b.begin(), b.end());
    Bytes g(graphic::kData + 1024);
    put16(g.data(), obj::kGraphic);
    put16(g.data() + obj::kId, 2);
    put16(g.data() + 8, 64), put16(g.data() + 10, 32);
    put16(g.data() + graphic::kPictureFlags, graphic::kPictureLZRW1Rows);
    fill(g.data() + graphic::kData, 1024, uint32_t(i) * 7);
    put32(g.data() + obj::kLength, uint32_t(g.size()));
    c.insert(c.end(), g.begin(), g.end());
    Bytes t(text::kSubrecords + 16 + 200 + 22);
    put16(t.data(), obj::kText);
    put16(t.data() + obj::kId, 3);
    put32(t.data() + obj::kLength, uint32_t(t.size()));
    uint8_t* sub = t.data() + text::kSubrecords;
    put16(sub, text::kSubTypeText);
    put32(sub + text::kSubTextLength, 200);
    put32(sub + text::kSubLength, 16 + 200 + 22);
    std::memset(sub + 16, 'a' + i % 26, 200);
    c.insert(c.end(), t.begin(), t.end());
    c.insert(c.end(), {0, 0, 0xCE, 0xFA});
    put32(c.data() + card::kLength, uint32_t(c.size()));
    return c;
}

void addChunk(uint32_t type, uint16_t id, const Bytes& data) {
    AddChunk(NewHandleFrom(data.data(), uint32_t(data.size())), 0, type, id, nullptr);
}

const std::string& benchDir() {
    static const std::string dir = [] {
        const char* env = std::getenv("CV_BENCH_DIR");
        const fs::path d = (env ? fs::path(env) : fs::temp_directory_path()) / ("cv-bench-" + std::to_string(getpid()));
        fs::create_directories(d);
        return d.string();
    }();
    static const struct Cleanup {
        ~Cleanup() { std::error_code ec; fs::remove_all(dir, ec); }
    } cleanup;
    return dir;
}

// The benchmark stack, made through the library once and saved; its path and size.
const std::string& bigStack() {
    static const std::string path = [] {
        const std::string p = benchDir() + "/big.stk";
        NewStack(640, 480, 8);
        StackDocument& s = theStack();
        for (auto& c : s.cards) DisposeHandle(c.record);
        s.cards.clear();
        for (int i = 0; i < kCards; ++i) {
            const Bytes c = cardRecord(i);
            s.cards.push_back(CardEntry{NewHandleFrom(c.data(), uint32_t(c.size())), {}});
        }
        s.setH16(hdr::kNextCardId, kCards + 1);
        s.chunkFile = OpenScratchChunkFile();
        Bytes data(kSoundBytes);
        for (int i = 0; i < kSounds; ++i) {
            fill(data.data(), data.size(), uint32_t(i) + 1);
            addChunk(chunk::kSnd, uint16_t(5000 + i), data);
        }
        for (int i = 0; i < kTracks; ++i) {
            fill(data.data(), data.size(), uint32_t(i) + 999);
            addChunk(chunk::kStrk, uint16_t(6000 + i), data);
        }
        data.resize(kIconBytes);
        for (int i = 0; i < kCards; ++i) {
            fill(data.data(), data.size(), uint32_t(i) * 3);
            addChunk(chunk::kIcon, uint16_t(1000 + i), data);
        }
        data.assign(kNBABytes, 0);
        for (int i = 0; i < kNBAs; ++i) addChunk(chunk::kNBAs, uint16_t(7000 + i), data);
        for (int i = 0; i < kCards; ++i) {
            Bytes list(button::kActions);
            put16(list.data(), obj::kButton);
            put16(list.data() + obj::kId, uint16_t(8000 + i));
            put32(list.data() + obj::kLength, button::kActions);
            addChunk(chunk::kActn, uint16_t(8000 + i), list);
        }
        data.assign(64 * 1024, 'x');
        addChunk(chunk::kWKSp, 128, data);
        if (SaveStack(p) != 0) std::fprintf(stderr, "bench: could not save the benchmark stack\n");
        DisposeStack();
        return p;
    }();
    return path;
}

int64_t fileSize() { return int64_t(fs::file_size(bigStack())); }

long statusKb(const char* key) {
    std::ifstream f("/proc/self/status");
    std::string line;
    while (std::getline(f, line))
        if (line.rfind(key, 0) == 0) return std::atol(line.c_str() + std::strlen(key));
    return -1;
}

void BM_OpenStack(benchmark::State& state) {
    const std::string& p = bigStack();
    OpenStack(p); // warm the file cache
    for (auto _ : state) {
        if (OpenStack(p) != 0) state.SkipWithError("open failed");
    }
    state.SetBytesProcessed(state.iterations() * fileSize());
    state.counters["cards"] = theStack().cardCount();
    DisposeStack();
}
BENCHMARK(BM_OpenStack)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_SaveStack(benchmark::State& state) {
    const std::string out = benchDir() + "/saved.stk";
    if (OpenStack(bigStack()) != 0) state.SkipWithError("open failed");
    for (auto _ : state) {
        if (SaveStack(out) != 0) state.SkipWithError("save failed");
    }
    state.SetBytesProcessed(state.iterations() * fileSize());
    DisposeStack();
    fs::remove(out);
}
BENCHMARK(BM_SaveStack)->Unit(benchmark::kMillisecond)->UseRealTime();

// Memory an open stack takes: the growth of the process's peak resident size while opening,
// and the bytes held in handles afterwards, each as a multiple of the file's size.
void BM_OpenMemory(benchmark::State& state) {
    const std::string& p = bigStack();
    for (auto _ : state) {
        state.PauseTiming();
        DisposeStack();
        malloc_trim(0);
        const long before = statusKb("VmRSS:");
        { std::ofstream("/proc/self/clear_refs") << "5"; } // the peak starts again from here
        state.ResumeTiming();
        OpenStack(p);
        state.PauseTiming();
        const double size = double(fileSize());
        state.counters["peak_rss_growth_x_file"] = double(statusKb("VmHWM:") - before) * 1024.0 / size;
        state.counters["handle_bytes_x_file"] = double(memRefs().bytesInUse()) / size;
        state.counters["file_MB"] = size / 1e6;
        state.ResumeTiming();
    }
    DisposeStack();
}
BENCHMARK(BM_OpenMemory)->Iterations(1)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
