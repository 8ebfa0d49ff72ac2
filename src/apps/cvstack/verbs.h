#pragma once
// cvstack's verbs. Each verb lives in its own file and registers itself with a
// static VerbRegistration; main() looks the first argument up in the registry.
#include <string>
#include <vector>

namespace cv::tool {

using VerbFn = int (*)(const std::vector<std::string>& args);

struct VerbRegistration {
    VerbRegistration(const char* name, VerbFn fn, const char* usage);
};

// Prints the message (UTF-8) and "cvstack: " prefix to stderr; returns 2 for usage errors.
int usageError(const std::string& message);

} // namespace cv::tool
