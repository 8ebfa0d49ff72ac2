// The files of scripts: the table, the reader and writer, loading, and names.
#include "script/script_files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>

#include "core/host_path.h"
#include "core/text_encoding.h"

namespace cv::script {

namespace fs = std::filesystem;

namespace {

inline char upperAscii(char c) { return c >= 'a' && c <= 'z' ? char(c - 'a' + 'A') : c; }

bool sameNameNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (upperAscii(a[i]) != upperAscii(b[i])) return false;
    return true;
}

// Opens without waiting on a device or pipe, then keeps the descriptor only for a plain file.
int openPlain(const std::string& path, int flags) {
    const int fd = ::open(path.c_str(), flags | O_NONBLOCK | O_NOCTTY | O_CLOEXEC, 0666);
    if (fd < 0) return -1;
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return -1;
    }
    const int fl = ::fcntl(fd, F_GETFL);
    if (fl != -1) ::fcntl(fd, F_SETFL, fl & ~O_NONBLOCK);
    return fd;
}

std::string initialPrefix() {
    std::error_code ec;
    const fs::path p = fs::current_path(ec);
    return ec ? std::string("/") : p.string();
}

} // namespace

std::optional<std::string> HostPathFor(const std::string& prefix, std::string_view scriptName, bool findLast) {
    if (scriptName.empty()) return std::nullopt;
    std::string name = cp1252ToUtf8(scriptName);
    std::replace(name.begin(), name.end(), '\\', '/');
    fs::path at;
    const auto isLetter = [](char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); };
    if (name.size() >= 2 && isLetter(name[0]) && name[1] == ':') {
        // No drives here: the drive's root and its current folder are both the prefix.
        name.erase(0, 2);
        at = prefix;
    } else if (name[0] == '/') {
        at = "/";
    } else {
        at = prefix;
    }
    size_t pos = 0;
    while (pos <= name.size()) {
        size_t end = name.find('/', pos);
        if (end == std::string::npos) end = name.size();
        const std::string part = name.substr(pos, end - pos);
        pos = end + 1;
        if (part.empty()) continue;
        if (part == "." || part == "..") {
            at /= part;
            continue;
        }
        const bool last = name.find_first_not_of('/', pos > name.size() ? name.size() : pos) == std::string::npos;
        const std::optional<std::string> found =
            (findLast || !last) ? findNoCase(at.string(), part) : std::nullopt;
        at = found ? fs::path(*found) : at / part;
    }
    return at.string();
}

std::FILE* OpenPlainFileForReading(const std::string& path) {
    const int fd = openPlain(path, O_RDONLY);
    if (fd < 0) return nullptr;
    std::FILE* f = ::fdopen(fd, "rb");
    if (!f) ::close(fd);
    return f;
}

bool ReadStreamLine(Interpreter& in, std::FILE* f, std::string& line) {
    line.clear();
    int c;
    bool any = false;
    while ((c = std::getc(f)) != EOF) {
        any = true;
        if (c == '\r' || c == '\n') return true;
        line.push_back(char(c));
        if ((line.size() & 0xFFFF) == 0) {
            in.PollInterrupt();
            if (in.stopRequested) return true;
        }
    }
    return any;
}

ScriptFiles::ScriptFiles() : prefix_(initialPrefix()) {}

ScriptFiles::~ScriptFiles() {
    closeAll();
    stopLoad();
    if (interpreter) {
        if (interpreter->outputRedirect == this) interpreter->outputRedirect = nullptr;
        if (interpreter->loadSource == this) interpreter->loadSource = nullptr;
    }
}

int ScriptFiles::find(std::string_view name) const {
    for (int i = 0; i < kSlots; ++i)
        if (slots_[i].open() && sameNameNoCase(slots_[i].name, name)) return i;
    return -1;
}

int ScriptFiles::freeSlot() const {
    for (int i = 0; i < kSlots; ++i)
        if (!slots_[i].open()) return i;
    return -1;
}

bool ScriptFiles::openSlot(int i, std::string_view name, const std::string& path) {
    // Created when absent, never emptied: a plain file opened for reading and writing at 0.
    const int fd = openPlain(path, O_RDWR | O_CREAT);
    if (fd < 0) return false;
    std::FILE* f = ::fdopen(fd, "r+b");
    if (!f) {
        ::close(fd);
        return false;
    }
    OpenFile& s = slots_[size_t(i)];
    s = OpenFile{};
    s.stream = f;
    s.name = std::string(name);
    s.path = path;
    return true;
}

bool ScriptFiles::closeSlot(int i) {
    OpenFile& s = slots_[size_t(i)];
    if (!s.open()) return true;
    if (reader == i) reader = -1;
    if (writer == i) writer = -1;
    bool ok = !s.writeFailed;
    if (std::fflush(s.stream) != 0) ok = false;
    if (std::fclose(s.stream) != 0) ok = false;
    s = OpenFile{};
    return ok;
}

bool ScriptFiles::closeAll() {
    bool ok = true;
    for (int i = 0; i < kSlots; ++i)
        if (!closeSlot(i)) ok = false;
    return ok;
}

void ScriptFiles::flushAll() {
    for (OpenFile& s : slots_)
        if (s.open() && s.last == OpenFile::Last::Write && std::fflush(s.stream) != 0) s.writeFailed = true;
}

bool ScriptFiles::isOpen(const std::string& path) const {
    struct stat target {};
    if (::stat(path.c_str(), &target) != 0) return false;
    auto same = [&](std::FILE* f) {
        struct stat st {};
        return f && ::fstat(::fileno(f), &st) == 0 && st.st_dev == target.st_dev && st.st_ino == target.st_ino;
    };
    for (const OpenFile& s : slots_)
        if (same(s.stream)) return true;
    return same(load_);
}

bool ScriptFiles::prepareRead(OpenFile& f) {
    if (!f.open()) return false;
    if (f.last == OpenFile::Last::Write && fseeko(f.stream, 0, SEEK_CUR) != 0) f.writeFailed = true;
    f.last = OpenFile::Last::Read;
    return true;
}

bool ScriptFiles::prepareWrite(OpenFile& f) {
    if (!f.open()) return false;
    if (f.last == OpenFile::Last::Read) fseeko(f.stream, 0, SEEK_CUR);
    f.last = OpenFile::Last::Write;
    return true;
}

std::optional<std::string> ScriptFiles::hostPath(std::string_view scriptName, bool findLast) const {
    return HostPathFor(prefix_, scriptName, findLast);
}

void ScriptFiles::setWorld(std::optional<FileWorld> world) {
    const std::string before = world_ ? world_->dataFolder() : std::string();
    const std::string after = world ? world->dataFolder() : std::string();
    // What one stack opened is not handed to the next.
    if (before != after || world_.has_value() != world.has_value()) {
        closeAll();
        stopLoad();
    }
    world_ = std::move(world);
    worldFolder_.clear();
}

std::optional<std::string> ScriptFiles::pathFor(std::string_view scriptName, Use use) const {
    if (!world_) return hostPath(scriptName, use != Use::WriteAsWritten);
    const auto at = FileWorld::Place(worldFolder_, scriptName);
    if (!at) return std::nullopt;
    switch (use) {
    case Use::Read: return world_->forReading(*at);
    case Use::Write: return world_->forWriting(*at);
    case Use::MakeFolder:
        if (world_->forReading(*at)) return std::nullopt;
        return world_->forWriting(*at);
    case Use::WriteAsWritten: return world_->forWriting(*at, true);
    case Use::Erase: return world_->inData(*at);
    }
    return std::nullopt;
}

std::optional<std::string> ScriptFiles::pathForOpening(std::string_view scriptName) const {
    if (!world_) return hostPath(scriptName);
    const auto at = FileWorld::Place(worldFolder_, scriptName);
    if (!at) return std::nullopt;
    auto target = world_->forWriting(*at);
    if (!target) return std::nullopt;
    struct stat st {};
    if (::lstat(target->c_str(), &st) != 0) {
        if (const auto shipped = world_->forReading(*at)) {
            std::error_code ec;
            if (!fs::is_regular_file(*shipped, ec)) return std::nullopt;
            // The copy keeps the name the stack's file has.
            *target = (fs::path(*target).parent_path() / fs::path(*shipped).filename()).string();
            fs::copy_file(*shipped, *target, ec);
            if (ec) return std::nullopt;
        }
    }
    return target;
}

std::string ScriptFiles::prefixText() const {
    return world_ ? FileWorld::Shown(worldFolder_) : utf8ToCp1252(prefix_);
}

bool ScriptFiles::changePrefix(std::string_view scriptName) {
    if (world_) {
        const auto at = FileWorld::Place(worldFolder_, scriptName);
        if (!at || !world_->isFolder(*at)) return false;
        worldFolder_ = *at;
        return true;
    }
    const auto path = hostPath(scriptName);
    std::error_code ec;
    if (!path || !fs::is_directory(*path, ec)) return false;
    std::string s = fs::path(*path).lexically_normal().string();
    while (s.size() > 1 && s.back() == '/') s.pop_back();
    prefix_ = s;
    return true;
}

std::vector<std::string> ScriptFiles::roots() const { return {world_ ? "C:\\" : "/"}; }

std::vector<std::pair<std::string, std::string>> ScriptFiles::folderEntries() const {
    if (world_) return world_->list(worldFolder_);
    std::vector<std::pair<std::string, std::string>> out;
    std::error_code ec;
    for (fs::directory_iterator it(prefix_, ec), end; !ec && it != end; it.increment(ec))
        out.emplace_back(it->path().filename().string(), it->path().string());
    return out;
}

bool ScriptFiles::startLoad(const std::string& path) {
    std::FILE* f = OpenPlainFileForReading(path);
    if (!f) return false;
    // A file loaded while another loads takes its place.
    stopLoad();
    const int c = std::getc(f);
    if (c == EOF) {
        std::fclose(f);
        return true;
    }
    std::ungetc(c, f);
    load_ = f;
    loadDepth_ = runDepth;
    return true;
}

void ScriptFiles::stopLoad() {
    if (load_) std::fclose(load_);
    load_ = nullptr;
}

bool ScriptFiles::readLine(std::string& line) {
    line.clear();
    if (!active() || !interpreter) return false;
    // A file that loads itself runs until Escape; a stopped run gets an empty line.
    interpreter->PollInterrupt();
    if (!interpreter->stopRequested) ReadStreamLine(*interpreter, load_, line);
    if (interpreter->stopRequested) line.clear();
    // The file closes as soon as its end is reached, so that the run goes on with its text.
    const int c = std::getc(load_);
    if (c == EOF) stopLoad();
    else std::ungetc(c, load_);
    return true;
}

bool ScriptFiles::write(std::string_view bytes, bool printing) {
    if (!printing || writer < 0) return false;
    OpenFile& f = slots_[size_t(writer)];
    if (!prepareWrite(f)) return false;
    std::string text(bytes);
    std::replace(text.begin(), text.end(), '\r', '\n');
    if (std::fwrite(text.data(), 1, text.size(), f.stream) != text.size()) f.writeFailed = true;
    return true;
}

ScriptFiles& scriptFiles(Interpreter& in) {
    ScriptFiles& f = in.family<ScriptFiles>();
    if (!f.interpreter) {
        f.interpreter = &in;
        in.outputRedirect = &f;
        in.loadSource = &f;
    }
    return f;
}

} // namespace cv::script
