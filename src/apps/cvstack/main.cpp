// cvstack: the stack tool for people who keep, inspect and test stacks.
#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "apps/cvstack/verbs.h"

namespace cv::tool {

namespace {
struct Verb {
    VerbFn fn;
    const char* usage;
};
std::map<std::string, Verb>& registry() {
    static std::map<std::string, Verb> r;
    return r;
}
} // namespace

VerbRegistration::VerbRegistration(const char* name, VerbFn fn, const char* usage) {
    registry()[name] = Verb{fn, usage};
}

int usageError(const std::string& message) {
    std::fprintf(stderr, "cvstack: %s\n", message.c_str());
    return 2;
}

} // namespace cv::tool

int main(int argc, char** argv) {
    using namespace cv::tool;
    if (argc < 2 || std::string(argv[1]) == "--help" || std::string(argv[1]) == "help") {
        std::fprintf(stderr, "usage:\n");
        for (auto& [name, verb] : registry()) std::fprintf(stderr, "  cvstack %s\n", verb.usage);
        return argc < 2 ? 2 : 0;
    }
    auto it = registry().find(argv[1]);
    if (it == registry().end()) return usageError(std::string("unknown verb '") + argv[1] + "' (try cvstack help)");
    std::vector<std::string> args(argv + 2, argv + argc);
    return it->second.fn(args);
}
