#include "core/host_path.h"

#include <algorithm>
#include <cctype>
#include <filesystem>

#include "core/text_encoding.h"

namespace fs = std::filesystem;

namespace cv {

namespace {
std::string lowerAscii(std::string s) {
    for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}
} // namespace

std::vector<std::string> storedPathComponents(const std::string& stored) {
    std::string s = stored;
    size_t start = 0;
    const bool drive = s.size() >= 2 && std::isalpha(static_cast<unsigned char>(s[0])) && s[1] == ':';
    const bool windows = drive || s.find('\\') != std::string::npos || s.find('/') != std::string::npos;
    if (drive) start = 2;
    std::vector<std::string> parts;
    std::string cur;
    for (size_t i = start; i < s.size(); ++i) {
        const char c = s[i];
        const bool sep = c == '\\' || c == '/' || (!windows && c == ':');
        if (sep) {
            if (!cur.empty()) parts.push_back(cur);
            cur.clear();
        } else {
            cur += c;
        }
    }
    if (!cur.empty()) parts.push_back(cur);
    // A Macintosh path begins with its volume name, which means nothing here.
    if (!windows && stored.find(':') != std::string::npos && parts.size() > 1) parts.erase(parts.begin());
    for (auto& p : parts) p = cp1252ToUtf8(p);
    return parts;
}

std::optional<std::string> findNoCase(const std::string& folder, const std::string& name) {
    std::error_code ec;
    const fs::path exact = fs::path(folder) / name;
    if (fs::exists(exact, ec)) return exact.string();
    const std::string want = lowerAscii(name);
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        if (lowerAscii(it->path().filename().string()) == want) return it->path().string();
    }
    return std::nullopt;
}

std::optional<std::string> resolveHostPath(const std::string& stored, const std::vector<std::string>& folders) {
    if (stored.empty()) return std::nullopt;
    std::error_code ec;
    if (stored[0] == '/' && fs::is_regular_file(cp1252ToUtf8(stored), ec)) return cp1252ToUtf8(stored);
    const std::vector<std::string> parts = storedPathComponents(stored);
    if (parts.empty()) return std::nullopt;
    for (const std::string& folder : folders) {
        for (size_t first = 0; first < parts.size(); ++first) {
            std::optional<std::string> at = folder;
            for (size_t i = first; i < parts.size() && at; ++i) at = findNoCase(*at, parts[i]);
            if (at && fs::is_regular_file(*at, ec)) return at;
        }
    }
    return std::nullopt;
}

} // namespace cv
