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

bool PathInside(const std::string& folder, const std::string& path) {
    std::error_code ec;
    const fs::path root = fs::canonical(folder, ec);
    if (ec) return false;
    const fs::path p = fs::weakly_canonical(path, ec);
    if (ec) return false;
    auto r = root.begin();
    auto q = p.begin();
    for (; r != root.end(); ++r, ++q)
        if (q == p.end() || *r != *q) return false;
    return true;
}

std::optional<std::string> resolveHostPath(const std::string& stored, const std::vector<std::string>& folders,
                                           AbsolutePaths absolute) {
    if (stored.empty()) return std::nullopt;
    std::error_code ec;
    if (stored[0] == '/') {
        const std::string path = cp1252ToUtf8(stored);
        if (fs::is_regular_file(path, ec) && absolute == AbsolutePaths::Anywhere) return path;
        if (fs::is_regular_file(path, ec))
            for (const std::string& folder : folders)
                if (PathInside(folder, path)) return path;
    }
    std::vector<std::string> parts = storedPathComponents(stored);
    parts.erase(std::remove(parts.begin(), parts.end(), std::string(".")), parts.end());
    if (parts.empty()) return std::nullopt;
    for (const std::string& folder : folders) {
        for (size_t first = 0; first < parts.size(); ++first) {
            // A tail that climbs could leave the folder: only the tails after the last ".." count.
            if (std::find(parts.begin() + long(first), parts.end(), std::string("..")) != parts.end()) continue;
            std::optional<std::string> at = folder;
            for (size_t i = first; i < parts.size() && at; ++i) at = findNoCase(*at, parts[i]);
            if (at && fs::is_regular_file(*at, ec) && PathInside(folder, *at)) return at;
        }
    }
    return std::nullopt;
}

} // namespace cv
