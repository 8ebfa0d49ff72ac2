// cvstack resave IN OUT: opens IN and saves it to OUT exactly as Save As would.
#include "apps/cvstack/tool_support.h"
#include "apps/cvstack/verbs.h"
#include "stack/stack_io.h"

namespace cv::tool {

namespace {
int runResave(const std::vector<std::string>& args) {
    if (args.size() != 2) return usageError("usage: cvstack resave IN OUT");
    if (!openStackForTool(args[0])) return 1;
    return SaveStack(args[1]) == 0 ? 0 : 1;
}
VerbRegistration reg("resave", runResave, "resave IN OUT         open IN and save it as OUT");
} // namespace

} // namespace cv::tool
