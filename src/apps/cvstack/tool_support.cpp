#include "apps/cvstack/tool_support.h"

#include <QGuiApplication>
#include <algorithm>
#include <cstdlib>
#include <cstdio>

#include "core/mac_charset.h"
#include "core/text_encoding.h"
#include "core/ui.h"
#include "player/player.h"
#include "player/text_fields.h"
#include "stack/stack_document.h"
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
    // A player made earlier in this process would run the stack's workspace as it opens.
    StackHooks& hooks = stackHooks();
    auto load = std::move(hooks.loadWorkspace);
    hooks.loadWorkspace = nullptr;
    const int result = OpenStack(path);
    hooks.loadWorkspace = std::move(load);
    return result == 0;
}

bool showStoredCard(Player& player, int number) {
    Handle card = CardByNumber(number);
    if (!card) return false;
    // Showing a card without arriving at it runs none of its work; the transition is left out
    // and the field the player would make active shown as it is stored.
    auto transition = std::move(player.transition);
    player.transition = nullptr;
    player.showCard(card, 3, 8, false);
    player.transition = std::move(transition);
    player.textFields().endEditing();
    return true;
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
