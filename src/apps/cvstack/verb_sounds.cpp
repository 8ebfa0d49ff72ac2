// cvstack sounds STACK -o DIR: every stored sound of a stack as a WAV file, to listen to or
// check. Nothing of the stack runs.
#include <cstdio>
#include <filesystem>

#include "apps/cvstack/tool_support.h"
#include "apps/cvstack/verbs.h"
#include "core/byte_order.h"
#include "core/handles.h"
#include "core/ui.h"
#include "media/mixer.h"
#include "media/sound_decoder.h"
#include "stack/chunk_file.h"
#include "stack/record_layout.h"
#include "stack/stack_document.h"
#include "stack/stack_resources.h"

namespace fs = std::filesystem;

namespace cv::tool {

namespace {

std::string safeName(const std::string& name) {
    std::string out;
    for (unsigned char c : name) out += (std::isalnum(c) || c == '-' || c == '_') ? char(c) : '_';
    return out;
}

bool writeWav(const fs::path& path, const PcmBuffer& pcm) {
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return false;
    const uint32_t data = uint32_t(pcm.samples.size() * 2);
    uint8_t h[44];
    WavHeader(h, pcm.channels, pcm.rate, data);
    bool ok = std::fwrite(h, 1, sizeof h, f) == sizeof h;
    for (int16_t s : pcm.samples) {
        uint8_t b[2];
        storeLE16(b, uint16_t(s));
        ok = ok && std::fwrite(b, 1, 2, f) == 2;
    }
    return std::fclose(f) == 0 && ok;
}

int runSounds(const std::vector<std::string>& args) {
    if (args.size() != 3 || args[1] != "-o") return usageError("usage: cvstack sounds STACK -o DIR");
    if (!openStackForTool(args[0])) return 1;
    std::error_code ec;
    fs::create_directories(args[2], ec);
    if (!fs::is_directory(args[2])) {
        std::fprintf(stderr, "cvstack: cannot make the folder %s\n", args[2].c_str());
        return 1;
    }
    SetCurrentChunkFile(theStack().chunkFile);
    int status = 0, written = 0;
    for (int i = 1; uint16_t id = StackResourceIdAt(chunk::kSnd, i); ++i) {
        Handle h = GetChunk(chunk::kSnd, id);
        const uint8_t* d = memRefs().data(h);
        const std::span<const uint8_t> bytes(d, d ? GetHandleSize(h) : 0);
        // The decoders' alerts are for the player's user; here the tool says what failed.
        HeadlessUi quiet;
        setUi(&quiet);
        StoredSoundLayout layout;
        PcmBuffer pcm;
        bool ok = false;
        if (DescribeStoredSound(bytes, &layout) == 0) {
            const OutputFormat own{int(layout.desc.sampleRate >> 16), layout.desc.numChannels > 1 ? 2 : 1};
            ok = DecodeStoredSound(bytes, own, &pcm) == 0;
        } else {
            ok = DecodeSoundImage(bytes, OutputFormat{}, &pcm) == 0; // a whole sound file stored
        }
        setUi(nullptr);
        const std::string name = StackResourceName(chunk::kSnd, id);
        const fs::path out = fs::path(args[2]) / ("snd_" + std::to_string(id) + (name.empty() ? "" : "_" + safeName(name)) + ".wav");
        if (!ok) {
            std::fprintf(stderr, "cvstack: sound %u (%s) cannot be read\n", id, displayText(name).c_str());
            status = 1;
        } else if (!writeWav(out, pcm)) {
            std::fprintf(stderr, "cvstack: cannot write %s\n", out.string().c_str());
            status = 1;
        } else {
            std::printf("%s  %.2f s, %d Hz, %d channel%s\n", out.string().c_str(), double(pcm.frames()) / pcm.rate,
                        pcm.rate, pcm.channels, pcm.channels == 1 ? "" : "s");
            ++written;
        }
    }
    if (written == 0 && status == 0) std::printf("no sounds\n");
    return status;
}

VerbRegistration reg("sounds", runSounds, "sounds STACK -o DIR   every stored sound as a WAV file");

} // namespace

} // namespace cv::tool
