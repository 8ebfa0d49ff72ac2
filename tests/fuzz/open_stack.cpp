// Fuzz target: any bytes as a stack file. Opening must never crash; whatever opens is walked
// the way the player reads a stack, saved, and must open again with the same cards; saved once
// more it must come out byte for byte the same, since it needs no further change. (One change
// may wait for that second save: a resource kept by the name of a plug-in whose settings the
// first save purged goes then; the third save must be the same as the second.)
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <unistd.h>

#include "core/byte_order.h"
#include "core/pstring.h"
#include "core/ui.h"
#include "stack/card_io.h"
#include "stack/chunk_file.h"
#include "stack/mac_path.h"
#include "stack/record_convert.h"
#include "stack/record_layout.h"
#include "stack/stack_document.h"
#include "stack/stack_io.h"
#include "stack/stack_resources.h"

namespace fs = std::filesystem;
using namespace cv;

namespace {

const std::string& folder() {
    static const std::string dir = [] {
        const fs::path base = fs::exists("/dev/shm") ? fs::path("/dev/shm") : fs::temp_directory_path();
        const fs::path d = base / ("cv-fuzz-open-" + std::to_string(getpid()));
        fs::create_directories(d);
        return d.string();
    }();
    return dir;
}

std::string readAll(const std::string& path) {
    std::string bytes;
    if (std::FILE* f = std::fopen(path.c_str(), "rb")) {
        char buf[65536];
        for (size_t n; (n = std::fread(buf, 1, sizeof buf, f)) > 0;) bytes.append(buf, n);
        std::fclose(f);
    }
    return bytes;
}

bool writeAll(const std::string& path, const uint8_t* data, size_t size) {
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return false;
    const bool ok = size == 0 || std::fwrite(data, 1, size, f) == size;
    return std::fclose(f) == 0 && ok;
}

// Reads everything a player reads from an open stack; returns a checksum so nothing is optimised away.
uint32_t walk() {
    uint32_t sum = 0;
    StackDocument& s = theStack();
    for (int n = 1; n <= s.cardCount(); ++n) {
        const Handle c = CardByNumber(n);
        const uint8_t* p = memRefs().data(c);
        const uint32_t size = GetHandleSize(c);
        const uint16_t id = CardIdOf(c);
        sum += BackgroundCardId(id) + IsBackgroundCard(id) + CardName(c).size() + CardNumberOfId(id);
        forEachObject(p, size, [&](uint32_t off, uint16_t kind) {
            const uint8_t* o = p + off;
            const uint32_t len = get32(o + obj::kLength);
            sum += FindObject(c, kind, get16(o + obj::kId));
            const NameField nf = objectNameField(kind);
            if (nf.size && nf.offset + nf.size <= len) sum += pstringField(o + nf.offset, nf.size).size();
            if (kind == obj::kGraphic && (get16(o + obj::kFlags) & obj::kFlagFileRef))
                sum += objectRefPath(o + graphic::kData, len - graphic::kData).size();
            if (kind == obj::kButton) {
                for (uint32_t a = button::kActions; a + action::kPayload <= len;) {
                    const uint32_t alen = get32(o + a + action::kLength);
                    if (alen < action::kPayload || alen > len - a) break;
                    sum += actionPathText(o + a + action::kPayload, alen - action::kPayload).size();
                    a += alen;
                }
            }
        });
    }
    SetCurrentChunkFile(s.chunkFile);
    for (uint32_t type : {chunk::kWKSp, chunk::kStrk, chunk::kCVpr, chunk::kFntL, chunk::kIcon, chunk::kSnd,
                          chunk::kActn, chunk::kHlnk, chunk::kNBAs, chunk::kWkSp}) {
        const int count = CountChunks(type);
        for (int i = 1; i <= count && i <= 64; ++i) {
            const Handle h = GetIndexedChunk(type, i);
            uint16_t id = 0;
            uint8_t name[kChunkNameSize];
            GetChunkInfo(h, nullptr, &id, name, nullptr);
            sum += GetHandleSize(h) + StackResourceIndex(type, id) + StackResourceName(type, id).size();
            sum += GetNamedChunk(type, name) != 0;
        }
    }
    return sum;
}

void closeEverything() {
    DisposeStack();
    while (uint32_t ref = CurrentChunkFile()) CloseChunkFile(ref);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    headlessUi().clearLog();
    const std::string in = folder() + "/in.stk", out = folder() + "/out.stk", again = folder() + "/again.stk";
    if (!writeAll(in, data, size)) return 0;
    if (OpenStack(in) == 0) {
        volatile uint32_t sink = walk();
        (void)sink;
        const int cards = theStack().cardCount();
        // A stack that opened saves, and what was saved opens again with the same cards.
        if (SaveStack(out) != 0) std::abort();
        if (OpenStack(out) != 0 || theStack().cardCount() != cards) std::abort();
        sink = walk();
        if (SaveStack(again) != 0) std::abort();
        const std::string first = readAll(out), second = readAll(again);
        if (second != first) {
            const auto chunkCount = [](const std::string& b) {
                return b.size() < 68 ? 0u : loadBE32(reinterpret_cast<const uint8_t*>(b.data()) + 64);
            };
            if (chunkCount(second) >= chunkCount(first)) std::abort();
            if (OpenStack(again) != 0 || SaveStack(out) != 0 || readAll(out) != second) std::abort();
        }
    }
    closeEverything();
    return 0;
}
