// The stack's world: placing script names in it and finding them in its layers.
#include "script/file_world.h"

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>

#include "core/host_path.h"
#include "core/text_encoding.h"

namespace cv::script {

namespace fs = std::filesystem;

namespace {

std::string lowerAscii(std::string s) {
    for (char& c : s)
        if (c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');
    return s;
}

bool isDirectory(const std::string& path) {
    std::error_code ec;
    return fs::is_directory(path, ec);
}

// A link whose target is missing: what it names cannot be checked, so it is not written through.
bool danglingLink(const std::string& path) {
    std::error_code ec;
    return fs::is_symlink(path, ec) && !fs::exists(path, ec);
}

// Adds one name to a place; false when ".." would climb above the root.
bool step(WorldPath& at, const std::string& name) {
    if (name.empty() || name == ".") return true;
    if (name == "..") {
        if (at.empty()) return false;
        at.pop_back();
        return true;
    }
    at.push_back(name);
    return true;
}

} // namespace

FileWorld::FileWorld(std::string dataFolder, std::vector<std::string> readFolders)
    : data_(std::move(dataFolder)), reads_(std::move(readFolders)) {}

std::optional<WorldPath> FileWorld::Place(const WorldPath& current, std::string_view scriptName) {
    if (scriptName.empty() || scriptName.find('\0') != std::string_view::npos) return std::nullopt;
    const std::string name = cp1252ToUtf8(scriptName);
    const bool hasSlash = name.find_first_of("\\/") != std::string::npos;
    const bool drive = name.size() >= 2 && std::isalpha(static_cast<unsigned char>(name[0])) && name[1] == ':';
    WorldPath at;
    if (!hasSlash && !drive && name.find(':') != std::string::npos) {
        // A Macintosh path: "Volume:Folder:File" from the root (the volume is the world's),
        // ":Folder:File" from the current folder, each further ':' one folder up.
        std::vector<std::string> parts;
        size_t pos = 0;
        while (true) {
            const size_t end = name.find(':', pos);
            parts.push_back(name.substr(pos, end == std::string::npos ? std::string::npos : end - pos));
            if (end == std::string::npos) break;
            pos = end + 1;
        }
        const bool relative = parts.front().empty();
        if (relative) at = current;
        for (size_t i = 1; i < parts.size(); ++i) {
            const bool last = i + 1 == parts.size();
            if (parts[i].empty()) {
                if (last) break;  // "Folder:" is the folder itself
                if (!step(at, "..")) return std::nullopt;
            } else if (!step(at, parts[i])) {
                return std::nullopt;
            }
        }
        return at;
    }
    size_t start = 0;
    if (drive) start = 2;  // a drive-relative name ("C:NAME") is taken in the current folder
    const bool fromRoot = start < name.size() && (name[start] == '\\' || name[start] == '/');
    if (!fromRoot) at = current;
    size_t pos = start;
    while (pos <= name.size()) {
        size_t end = name.find_first_of("\\/", pos);
        if (end == std::string::npos) end = name.size();
        if (!step(at, name.substr(pos, end - pos))) return std::nullopt;
        pos = end + 1;
    }
    return at;
}

std::string FileWorld::Shown(const WorldPath& folder) {
    std::string s = "C:\\";
    for (size_t i = 0; i < folder.size(); ++i) {
        if (i) s += '\\';
        s += folder[i];
    }
    return utf8ToCp1252(s);
}

std::optional<std::string> FileWorld::within(const std::string& root, const WorldPath& at, size_t count) {
    if (!isDirectory(root)) return std::nullopt;
    std::string cur = root;
    for (size_t i = 0; i < count && i < at.size(); ++i) {
        const auto found = findNoCase(cur, at[i]);
        if (!found) return std::nullopt;
        cur = *found;
    }
    if (!PathInside(root, cur)) return std::nullopt;
    std::error_code ec;
    const fs::path real = fs::canonical(cur, ec);
    if (ec) return std::nullopt;
    return real.string();
}

std::optional<std::string> FileWorld::forReading(const WorldPath& at) const {
    if (auto p = within(data_, at, at.size())) return p;
    for (const std::string& r : reads_)
        if (auto p = within(r, at, at.size())) return p;
    return std::nullopt;
}

std::optional<std::string> FileWorld::forWriting(const WorldPath& at, bool asWritten) const {
    if (at.empty() || data_.empty()) return std::nullopt;
    std::error_code ec;
    fs::create_directories(data_, ec);
    if (!isDirectory(data_)) return std::nullopt;
    std::string cur = data_;
    for (size_t i = 0; i + 1 < at.size(); ++i) {
        if (const auto found = findNoCase(cur, at[i])) {
            if (!isDirectory(*found) || !PathInside(data_, *found)) return std::nullopt;
            cur = *found;
            continue;
        }
        // A folder that a read layer holds is made here, under its name there, as an overlay
        // makes it.
        std::optional<std::string> held;
        for (const std::string& r : reads_) {
            const auto p = within(r, at, i + 1);
            if (p && isDirectory(*p) && !held) held = fs::path(*p).filename().string();
        }
        if (!held) return std::nullopt;
        cur = (fs::path(cur) / *held).string();
        if (::mkdir(cur.c_str(), 0777) != 0 && !isDirectory(cur)) return std::nullopt;
    }
    const auto found = asWritten ? std::nullopt : findNoCase(cur, at.back());
    const std::string target = found ? *found : (fs::path(cur) / at.back()).string();
    if (danglingLink(target) || !PathInside(data_, target)) return std::nullopt;
    return target;
}

std::optional<std::string> FileWorld::inData(const WorldPath& at) const {
    if (at.empty()) return std::nullopt;
    const auto folder = within(data_, at, at.size() - 1);
    if (!folder) return std::nullopt;
    return findNoCase(*folder, at.back());
}

bool FileWorld::isFolder(const WorldPath& at) const {
    if (at.empty()) return true;
    const auto p = forReading(at);
    if (p && isDirectory(*p)) return true;
    // A folder of the data folder hides a file of that name in the read layers, and the
    // other way round; any layer that holds it as a folder makes it one.
    for (const std::string& r : reads_) {
        const auto q = within(r, at, at.size());
        if (q && isDirectory(*q)) return true;
    }
    return false;
}

std::vector<std::pair<std::string, std::string>> FileWorld::list(const WorldPath& folder) const {
    std::vector<std::pair<std::string, std::string>> out;
    std::vector<std::string> seen;
    std::vector<std::string> layers{data_};
    layers.insert(layers.end(), reads_.begin(), reads_.end());
    for (const std::string& layer : layers) {
        const auto dir = within(layer, folder, folder.size());
        if (!dir || !isDirectory(*dir)) continue;
        std::error_code ec;
        for (fs::directory_iterator it(*dir, ec), end; !ec && it != end; it.increment(ec)) {
            const std::string name = it->path().filename().string();
            const std::string key = lowerAscii(name);
            bool dup = false;
            for (const std::string& s : seen) dup = dup || s == key;
            if (dup) continue;
            std::error_code lec;
            if (it->is_symlink(lec) && !PathInside(*dir, it->path().string())) continue;
            seen.push_back(key);
            out.emplace_back(name, it->path().string());
        }
    }
    return out;
}

std::string FileWorld::WorldName(const std::string& stackPath) {
    std::error_code ec;
    std::string full;
    if (!stackPath.empty()) {
        fs::path p = fs::weakly_canonical(fs::absolute(stackPath, ec), ec);
        full = ec ? fs::path(stackPath).lexically_normal().string() : p.string();
        while (full.size() > 1 && full.back() == '/') full.pop_back();
    }
    // FNV-1a over the full path: a short, stable mark of the folder the stack lives in.
    uint64_t h = 14695981039346656037ull;
    for (unsigned char c : full) {
        h ^= c;
        h *= 1099511628211ull;
    }
    std::string stem = full.empty() ? std::string() : fs::path(full).stem().string();
    if (stem.empty()) stem = "Untitled";
    // Cut long names on a character boundary.
    if (stem.size() > 48) {
        size_t cut = 48;
        while (cut > 0 && (static_cast<unsigned char>(stem[cut]) & 0xC0) == 0x80) --cut;
        stem.resize(cut);
    }
    for (char& c : stem)
        if (static_cast<unsigned char>(c) < 0x20 || c == '=' || c == '[' || c == ']' || c == ';' || c == '\\' ||
            c == '/')
            c = '_';
    if (stem.front() == ' ') stem.front() = '_';
    if (stem.back() == ' ') stem.back() = '_';
    char mark[10];
    std::snprintf(mark, sizeof mark, "-%08x", unsigned(h ^ (h >> 32)));
    return stem + mark;
}

std::string FileWorld::DataFolderFor(const std::string& dataHome, const std::string& stackPath) {
    return (fs::path(dataHome) / WorldName(stackPath)).string();
}

std::string FileWorld::DataHome() {
    std::string base;
    const char* xdg = std::getenv("XDG_DATA_HOME");
    if (xdg && xdg[0] == '/') {
        base = xdg;
    } else {
        const char* home = std::getenv("HOME");
        std::string h = home && home[0] == '/' ? home : "";
        if (h.empty()) {
            if (const passwd* pw = ::getpwuid(::getuid()); pw && pw->pw_dir) h = pw->pw_dir;
        }
        if (h.empty()) h = fs::temp_directory_path().string();
        base = (fs::path(h) / ".local" / "share").string();
    }
    return (fs::path(base) / "corvella" / "stacks").string();
}

} // namespace cv::script
