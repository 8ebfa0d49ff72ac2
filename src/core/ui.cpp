#include "core/ui.h"

#include <algorithm>
#include <cstdlib>

namespace cv {

AlertText parseAlertString(std::string_view s) {
    AlertText a;
    if (s.size() >= 2 && s[0] >= '0' && s[0] <= '9' && s[1] >= '0' && s[1] <= '9') {
        a.sizeClass = s[0] - '0';
        a.picture = s[1] - '0';
        s.remove_prefix(2);
    }
    size_t tilde = s.find('~');
    a.message = std::string(s.substr(0, tilde));
    while (tilde != std::string_view::npos && a.buttons.size() < 3) {
        s.remove_prefix(tilde + 1);
        tilde = s.find('~');
        std::string_view label = s.substr(0, tilde);
        if (!label.empty() && label[0] == '^') {
            a.defaultButton = static_cast<int>(a.buttons.size());
            label.remove_prefix(1);
        }
        a.buttons.emplace_back(label);
    }
    if (a.buttons.empty()) a.buttons.emplace_back("OK");
    return a;
}

void HeadlessUi::add(std::string line) {
    if (echo_) echo_(line);
    log_.push_back(std::move(line));
}

int HeadlessUi::alert(int stringId, const AlertText& a, bool) {
    std::string line = "alert " + std::to_string(stringId) + ": " + a.message + " [";
    for (size_t i = 0; i < a.buttons.size(); ++i) {
        if (i) line += "|";
        if (static_cast<int>(i) == a.defaultButton) line += "^";
        line += a.buttons[i];
    }
    line += "]";
    lastAlert_ = a.message;
    add(std::move(line));
    int answer = kAnswerFirst + a.defaultButton;
    if (!answers_.empty()) {
        answer = answers_.front();
        answers_.pop_front();
    }
    const int last = kAnswerFirst + static_cast<int>(a.buttons.size()) - 1;
    if (answer < kAnswerFirst || answer > last) answer = kAnswerFirst + a.defaultButton;
    return answer;
}

void HeadlessUi::messageBox(std::string_view caption, std::string_view text) {
    lastAlert_ = std::string(text);
    add("message " + std::string(caption) + ": " + std::string(text));
}

std::optional<std::string> HeadlessUi::askText(std::string_view dialog, std::string_view prompt,
                                               std::string_view) {
    add("ask " + std::string(dialog) + ": " + std::string(prompt));
    if (texts_.empty()) return std::nullopt;
    auto t = texts_.front();
    texts_.pop_front();
    return t;
}

std::optional<std::string> HeadlessUi::chooseFile(std::string_view prompt, std::string_view,
                                                  bool) {
    add("file: " + std::string(prompt));
    if (files_.empty()) return std::nullopt;
    auto f = files_.front();
    files_.pop_front();
    return f;
}

std::optional<SlideShowChoice> HeadlessUi::slideShowDialog(const SlideShowChoice& initial) {
    add("dialog PRINTVIDEO");
    if (texts_.empty()) return initial;
    auto t = texts_.front();
    texts_.pop_front();
    if (!t) return std::nullopt;
    SlideShowChoice c = initial;
    const size_t space = t->find(' ');
    const std::string mode = t->substr(0, space);
    if (mode == "all") c.allCards = true;
    else if (mode == "escape") c.allCards = false;
    if (space != std::string::npos) {
        const int n = std::atoi(t->c_str() + space + 1);
        c.pauseSeconds = n > 0 ? n : 3; // a field that holds no number gives 3
    }
    return c;
}

bool HeadlessUi::preferencesDialog(PreferencesForm& form) {
    std::optional<std::string> t;
    if (!texts_.empty()) {
        t = texts_.front();
        texts_.pop_front();
    }
    if (!t) {
        add("dialog PREFERENCES: cancel");
        return false;
    }
    std::string_view rest = *t;
    while (!rest.empty()) {
        const size_t start = rest.find_first_not_of(' ');
        if (start == std::string_view::npos) break;
        rest.remove_prefix(start);
        const size_t end = std::min(rest.find(' '), rest.size());
        const std::string_view word = rest.substr(0, end);
        rest.remove_prefix(end);
        if (word.substr(0, 9) == "password=") {
            form.passwordChanged(std::string(word.substr(9, form.passwordLimit())));
            continue;
        }
        const size_t eq = word.find('=');
        if (eq == std::string_view::npos) continue;
        const int control = std::atoi(std::string(word.substr(0, eq)).c_str());
        const bool wanted = word.substr(eq + 1) == "1";
        if (form.checked(control) != wanted) form.click(control);
    }
    std::string line = "dialog PREFERENCES:";
    for (int c = 51; c <= 59; ++c) {
        line += " " + std::to_string(c) + (form.checked(c) ? "+" : "-");
        if (!form.enabled(c)) line += "x";
    }
    add(std::move(line));
    return true;
}

namespace {
Ui* g_ui = nullptr;
}

HeadlessUi& headlessUi() {
    static HeadlessUi h;
    return h;
}

Ui& ui() { return g_ui ? *g_ui : headlessUi(); }

void setUi(Ui* u) { g_ui = u; }

} // namespace cv
