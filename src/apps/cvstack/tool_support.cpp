#include "apps/cvstack/tool_support.h"

#include <QGuiApplication>
#include <algorithm>
#include <cstdlib>
#include <cstdio>

#include "core/mac_charset.h"
#include "core/text_encoding.h"
#include "core/ui.h"
#include "stack/stack_io.h"

namespace cv::tool {

namespace {
void echoToStderr(const std::string& line) {
    std::fprintf(stderr, "%s\n", cp1252ToUtf8(line).c_str());
}
} // namespace

void routeAlertsToStderr() { headlessUi().setEcho(echoToStderr); }

bool openStackForTool(const std::string& path) {
    routeAlertsToStderr();
    return OpenStack(path) == 0;
}

std::string displayText(const std::string& bytes, bool mac) {
    return cp1252ToUtf8(mac ? macToWindows(bytes) : bytes);
}

std::string takeOption(std::vector<std::string>& args, const std::string& name) {
    for (size_t i = 0; i + 1 < args.size(); ++i) {
        if (args[i] == name) {
            std::string v = args[i + 1];
            args.erase(args.begin() + i, args.begin() + i + 2);
            return v;
        }
    }
    return {};
}

bool takeFlag(std::vector<std::string>& args, const std::string& name) {
    auto it = std::find(args.begin(), args.end(), name);
    if (it == args.end()) return false;
    args.erase(it);
    return true;
}

void ensureGuiApplication() {
    if (QGuiApplication::instance()) return;
    if (!std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
    static int argc = 1;
    static char name[] = "cvstack";
    static char* argv[] = {name, nullptr};
    static QGuiApplication app(argc, argv);
}

} // namespace cv::tool
