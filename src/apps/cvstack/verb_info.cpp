// cvstack info STACK: a short human summary of a stack.
#include <cstdio>
#include <map>

#include "apps/cvstack/tool_support.h"
#include "apps/cvstack/verbs.h"
#include "stack/chunk_file.h"
#include "stack/record_convert.h"
#include "stack/record_layout.h"
#include "stack/stack_document.h"

namespace cv::tool {

namespace {
int runInfo(const std::vector<std::string>& args) {
    if (args.size() != 1) return usageError("usage: cvstack info STACK");
    if (!openStackForTool(args[0])) return 1;
    const StackDocument& s = theStack();
    std::printf("%s\n", args[0].c_str());
    std::printf("  version %u, %u x %u pixels, %u bits per pixel%s\n", s.h16(hdr::kVersion),
                s.cardWidth(), s.cardHeight(), s.depth(), s.macText ? ", Macintosh text" : "");
    std::printf("  %d card%s\n", s.cardCount(), s.cardCount() == 1 ? "" : "s");
    for (int n = 1; n <= s.cardCount(); ++n) {
        Handle c = CardByNumber(n);
        int objects = 0;
        forEachObject(memRefs().data(c), GetHandleSize(c), [&](uint32_t, uint16_t) { ++objects; });
        const std::string name = CardName(c);
        std::printf("    %3d  id %-5u %-16s %d object%s\n", n, CardIdOf(c),
                    name.empty() ? "-" : displayText(name).c_str(), objects, objects == 1 ? "" : "s");
    }
    if (ChunkFile* cf = chunkFileFor(s.chunkFile)) {
        std::map<std::string, std::pair<int, uint64_t>> byType;
        for (auto& e : cf->directory) {
            if (e.removed()) continue;
            auto& t = byType[fourCCText(e.type)];
            ++t.first;
            t.second += e.dataLength;
        }
        std::printf("  %zu resource%s\n", cf->directory.size(), cf->directory.size() == 1 ? "" : "s");
        for (auto& [type, t] : byType)
            std::printf("    '%s'  %d, %llu bytes\n", type.c_str(), t.first, (unsigned long long)t.second);
    }
    return 0;
}
VerbRegistration reg("info", runInfo, "info STACK            a short summary of the stack");
} // namespace

} // namespace cv::tool
