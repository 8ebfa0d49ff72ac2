#include "core/alerts.h"

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "core/ui.h"
#include "resources/strings.h"

namespace cv {

namespace {
bool g_advancedUser = false;
std::vector<int> g_onceList; // ids already shown with the once flag; at most 501 kept
constexpr size_t kOnceListCapacity = 501;

// Fills the two %d of the minimum-size texts.
std::string formatMinimumSize(const std::string& text) {
    std::string out;
    int values[2] = {std::max(kMinWindowWidth, 40), std::max(kMinWindowHeight, 40)};
    int used = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && i + 1 < text.size() && text[i + 1] == 'd' && used < 2) {
            out += std::to_string(values[used++]);
            ++i;
        } else {
            out += text[i];
        }
    }
    return out;
}
} // namespace

int showAlert(int id, bool once, bool forced, bool showIcon) {
    if (!forced) {
        if (g_advancedUser) return kAnswerFirst;
        if (once && std::find(g_onceList.begin(), g_onceList.end(), id) != g_onceList.end())
            return kAnswerFirst;
    }
    auto text = loadString(id);
    if (!text) return kAnswerFirst;
    if (id == 2295 || id == 2334) *text = formatMinimumSize(*text);
    if (once && g_onceList.size() < kOnceListCapacity) g_onceList.push_back(id);
    return ui().alert(id, parseAlertString(*text), showIcon);
}

int showAlertText(std::string_view text, bool forced, bool showIcon) {
    if (!forced && g_advancedUser) return kAnswerFirst;
    return ui().alert(0, parseAlertString(text), showIcon);
}

void setAdvancedUser(bool on) { g_advancedUser = on; }
bool advancedUser() { return g_advancedUser; }
void resetAlertOnceList() { g_onceList.clear(); }

} // namespace cv
