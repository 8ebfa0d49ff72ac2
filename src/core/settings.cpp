#include "core/settings.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <unistd.h>

#include "core/pstring.h"

namespace fs = std::filesystem;

namespace cv {

namespace {
std::string trim(const std::string& s) {
    const size_t a = s.find_first_not_of(" \t\r\n");
    if (a == std::string::npos) return {};
    const size_t b = s.find_last_not_of(" \t\r\n");
    return s.substr(a, b - a + 1);
}
std::unique_ptr<SettingsFile> g_settings;
} // namespace

SettingsFile::SettingsFile(std::string path) : path_(std::move(path)) { reload(); }

void SettingsFile::reload() {
    lines_.clear();
    std::ifstream in(path_, std::ios::binary);
    std::string text, current;
    while (std::getline(in, text)) {
        if (!text.empty() && text.back() == '\r') text.pop_back();
        Line l;
        l.text = text;
        const std::string t = trim(text);
        if (t.size() >= 2 && t.front() == '[' && t.find(']') != std::string::npos) {
            current = trim(t.substr(1, t.find(']') - 1));
            l.isSection = true;
            l.section = current;
        } else if (!t.empty() && t[0] != ';' && t.find('=') != std::string::npos) {
            l.isKey = true;
            l.section = current;
            l.key = trim(t.substr(0, t.find('=')));
            l.value = trim(t.substr(t.find('=') + 1));
        }
        lines_.push_back(std::move(l));
    }
}

std::optional<std::string> SettingsFile::find(const std::string& section, const std::string& key) const {
    for (const Line& l : lines_)
        if (l.isKey && equalNoCase(l.section, section) && equalNoCase(l.key, key)) return l.value;
    return std::nullopt;
}

std::string SettingsFile::get(const std::string& section, const std::string& key, const std::string& fallback) const {
    return find(section, key).value_or(fallback);
}

std::vector<std::pair<std::string, std::string>> SettingsFile::section(const std::string& section) const {
    std::vector<std::pair<std::string, std::string>> out;
    for (const Line& l : lines_)
        if (l.isKey && equalNoCase(l.section, section)) out.emplace_back(l.key, l.value);
    return out;
}

bool SettingsFile::set(const std::string& section, const std::string& key, const std::string& value) {
    Line kl;
    kl.isKey = true;
    kl.section = section;
    kl.key = key;
    kl.value = value;
    kl.text = key + "=" + value;
    int sectionAt = -1, lastInSection = -1;
    for (size_t i = 0; i < lines_.size(); ++i) {
        Line& l = lines_[i];
        if (l.isKey && equalNoCase(l.section, section) && equalNoCase(l.key, key)) {
            l = kl;
            return write();
        }
        if (l.isSection && equalNoCase(l.section, section) && sectionAt < 0) sectionAt = int(i);
        if ((l.isKey || l.isSection) && equalNoCase(l.section, section)) lastInSection = int(i);
    }
    if (sectionAt < 0) {
        Line header;
        header.isSection = true;
        header.section = section;
        header.text = "[" + section + "]";
        lines_.push_back(header);
        lines_.push_back(kl);
    } else {
        lines_.insert(lines_.begin() + lastInSection + 1, kl);
    }
    return write();
}

bool SettingsFile::removeSection(const std::string& section) {
    std::erase_if(lines_, [&](const Line& l) { return (l.isSection || l.isKey) && equalNoCase(l.section, section); });
    return write();
}

bool SettingsFile::write() const {
    const std::string tmp = path_ + ".new";
    {
        std::ofstream out(tmp, std::ios::binary | std::ios::trunc);
        if (!out) return false;
        for (const Line& l : lines_) out << l.text << "\r\n";
        if (!out.flush()) return false;
    }
    std::error_code ec;
    fs::rename(tmp, path_, ec);
    if (ec) fs::remove(tmp, ec);
    return !ec;
}

std::string settingsFilePath(const std::string& programFolder) {
    if (::access(programFolder.c_str(), W_OK) == 0) return (fs::path(programFolder) / "CVPREFS.INI").string();
    const char* xdg = std::getenv("XDG_CONFIG_HOME");
    const char* home = std::getenv("HOME");
    fs::path base = xdg && *xdg ? fs::path(xdg) : fs::path(home ? home : "/tmp") / ".config";
    base /= "corvella";
    std::error_code ec;
    fs::create_directories(base, ec);
    return (base / "CVPREFS.INI").string();
}

SettingsFile& settings() {
    if (!g_settings) g_settings = std::make_unique<SettingsFile>(settingsFilePath("."));
    return *g_settings;
}

void setSettingsFile(const std::string& path) { g_settings = std::make_unique<SettingsFile>(path); }

} // namespace cv
