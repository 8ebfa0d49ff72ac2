// cvstack resave IN OUT: opens IN and saves it to OUT exactly as Save As would.
#include <cstdlib>

#include "apps/cvstack/tool_support.h"
#include "apps/cvstack/verbs.h"
#include "stack/stack_io.h"

namespace cv::tool {

namespace {
int runResave(const std::vector<std::string>& argsIn) {
    std::vector<std::string> args = argsIn;
    const std::string depth = takeOption(args, "--depth");
    if (args.size() != 2) return usageError("usage: cvstack resave IN OUT [--depth BITS]");
    SaveOptions options;
    if (!depth.empty()) {
        const int d = std::atoi(depth.c_str());
        if (d != 8 && d != 16 && d != 32) return usageError("--depth is 8, 16 or 32");
        options.newDepth = uint16_t(d);
    }
    if (!openStackForTool(args[0])) return 1;
    return SaveStack(args[1], options) == 0 ? 0 : 1;
}
VerbRegistration reg("resave", runResave, "resave IN OUT [--depth BITS]   open IN and save it as OUT (at another depth)");
} // namespace

} // namespace cv::tool
