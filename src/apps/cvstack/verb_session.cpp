// cvstack session SCRIPT: drives the player headless from a script of clicks, keys, menu
// commands, waits, snapshots and checks (the commands are listed in player/session.h).
#include <cstdio>

#include "apps/cvstack/tool_support.h"
#include "apps/cvstack/verbs.h"
#include "player/session.h"

namespace cv::tool {

namespace {

int runSession(const std::vector<std::string>& args) {
    if (args.size() != 1) return usageError("usage: cvstack session SCRIPT");
    ensureGuiApplication();
    Session session(
        [](const std::string& line) {
            std::printf("%s\n", line.c_str());
            std::fflush(stdout);
        },
        [](const std::string& line) { std::fprintf(stderr, "cvstack: %s\n", line.c_str()); });
    return session.runFile(args[0]);
}

VerbRegistration reg("session", runSession,
                     "session SCRIPT   drive the player headless: open, click, key, type, command, wait, "
                     "answer, snapshot, expect (exit 1 when an expectation fails)");

} // namespace

} // namespace cv::tool
