// cvstack movies STACK: every movie the stack's actions name, where it is found on this
// machine (as the player would look for it, without asking), and what it holds: codec, size
// and length. What an archivist checks before moving a stack. Nothing of the stack runs.
#include <cstdio>
#include <span>

#include "apps/cvstack/tool_support.h"
#include "apps/cvstack/verbs.h"
#include "core/byte_order.h"
#include "core/handles.h"
#include "core/host_path.h"
#include "core/ui.h"
#include "media/movie_decoder.h"
#include "player/stored_files.h"
#include "stack/chunk_file.h"
#include "stack/mac_path.h"
#include "stack/record_layout.h"
#include "stack/record_convert.h"
#include "stack/stack_document.h"
#include "stack/stack_resources.h"

namespace cv::tool {

namespace {

struct Named {
    std::string owner; // "button 3 on card 2", "action list 40", "text link 7"
    std::string stored;
};

// The movie actions of an action list: their stored paths.
void moviesIn(std::span<const uint8_t> list, const std::string& owner, std::vector<Named>& out) {
    if (list.size() < actionlist::kHeaderSize) return;
    const uint32_t len = std::min<uint32_t>(get32(list.data() + actionlist::kLength), uint32_t(list.size()));
    uint32_t off = actionlist::kHeaderSize;
    while (off < len && len - off >= action::kPayload) {
        const uint32_t alen = get32(list.data() + off + action::kLength);
        if (alen < action::kPayload || alen > len - off) break;
        if (get16(list.data() + off + action::kCode) == action::kMovie) {
            uint32_t n = alen - action::kPayload;
            if ((get16(list.data() + off + action::kFlags) & action::kFlagPadded) && n > 0) --n;
            out.push_back({owner, actionPathText(list.data() + off + action::kPayload, n)});
        }
        off += alen;
    }
}

std::span<const uint8_t> bytesOf(Handle h) {
    const uint8_t* d = memRefs().data(h);
    return d ? std::span<const uint8_t>(d, GetHandleSize(h)) : std::span<const uint8_t>();
}

std::string describe(const MovieInfo& i) {
    char line[256];
    std::string pictures = "no pictures";
    if (i.width > 0 && i.height > 0) {
        std::snprintf(line, sizeof line, "%s %dx%d", i.videoCodec.c_str(), i.width, i.height);
        pictures = line;
        if (i.frameRate > 0) {
            std::snprintf(line, sizeof line, " %.2f fps", i.frameRate);
            pictures += line;
        }
        if (i.videoDecoderMissing) pictures += " (no decoder)";
        if (i.tooLarge) pictures += " (frames too large)";
    }
    std::snprintf(line, sizeof line, "%s, %.2f s, %s, sound %s%s", i.avi ? "AVI" : i.container.c_str(),
                  double(i.durationMs) / 1000.0, pictures.c_str(), i.hasAudio ? i.audioCodec.c_str() : "none",
                  i.vrMovie ? ", QuickTime VR" : "");
    return line;
}

int runMovies(const std::vector<std::string>& args) {
    if (args.size() != 1) return usageError("usage: cvstack movies STACK");
    if (!openStackForTool(args[0])) return 1;
    StackDocument& s = theStack();
    std::vector<Named> named;
    for (int n = 1; n <= s.cardCount(); ++n) {
        const std::span<const uint8_t> card = bytesOf(CardByNumber(n));
        forEachObject(card.data(), uint32_t(card.size()), [&](uint32_t off, uint16_t kind) {
            if (kind != obj::kButton || off >= card.size()) return;
            moviesIn(card.subspan(off), "button " + std::to_string(get16(card.data() + off + obj::kId)) + " on card " +
                                            std::to_string(n), named);
        });
    }
    SetCurrentChunkFile(s.chunkFile);
    for (int i = 1; uint16_t id = StackResourceIdAt(chunk::kActn, i); ++i)
        moviesIn(bytesOf(GetChunk(chunk::kActn, id)), "action list " + std::to_string(id), named);
    for (int i = 1; uint16_t id = StackResourceIdAt(chunk::kHlnk, i); ++i) {
        const std::span<const uint8_t> link = bytesOf(GetChunk(chunk::kHlnk, id));
        if (link.size() < hlnk::kHeaderSize || !get16(link.data() + hlnk::kHasAction)) continue;
        const size_t at = hlnk::kHeaderSize + size_t(get16(link.data() + hlnk::kTextLength)) +
                          get16(link.data() + hlnk::kAfterLength);
        if (at < link.size()) moviesIn(link.subspan(at), "text link " + std::to_string(id), named);
    }

    const std::vector<std::string> folders = storedFileFolders(s.path);
    int status = 0;
    for (const Named& m : named) {
        const std::string shown = displayText(m.stored);
        const auto found = resolveHostPath(m.stored, folders, AbsolutePaths::Anywhere);
        if (!found) {
            std::printf("%s: %s  not found\n", m.owner.c_str(), shown.c_str());
            status = 1;
            continue;
        }
        const auto decoder = MovieDecoder::open(MovieSource{*found, nullptr});
        if (!decoder) {
            std::printf("%s: %s  %s  cannot be read\n", m.owner.c_str(), shown.c_str(), found->c_str());
            status = 1;
            continue;
        }
        std::printf("%s: %s  %s  %s\n", m.owner.c_str(), shown.c_str(), found->c_str(), describe(decoder->info()).c_str());
    }
    if (named.empty()) std::printf("no movies\n");
    return status;
}

VerbRegistration reg("movies", runMovies, "movies STACK          every movie the stack's actions name: found?, codec, size, length");

} // namespace

} // namespace cv::tool
