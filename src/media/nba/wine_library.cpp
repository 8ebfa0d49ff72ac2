// Windows plug-ins through nbahost.exe under Wine: the host process, the frames, and the
// marshalling of the block and its Handles by the table in winhost/nba_wire.h.
#include "media/nba/wine_library.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QCoreApplication>

#include <array>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <iostream>
#include <set>
#include <utility>
#include <vector>

#include "core/alerts.h"
#include "core/handles.h"
#include "core/references.h"
#include "media/nba/winhost/nba_wire.h"

extern char** environ;

namespace cv {

namespace fs = std::filesystem;

namespace {

constexpr size_t kBlock = NBA_BLOCK_SIZE;

uint32_t rd32(const uint8_t* p) { return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24; }
void wr32(uint8_t* p, uint32_t v) {
    p[0] = uint8_t(v); p[1] = uint8_t(v >> 8); p[2] = uint8_t(v >> 16); p[3] = uint8_t(v >> 24);
}
void put32(std::vector<uint8_t>& b, uint32_t v) {
    const size_t at = b.size();
    b.resize(at + 4);
    wr32(b.data() + at, v);
}
void putBytes(std::vector<uint8_t>& b, const void* d, size_t n) {
    const auto* p = static_cast<const uint8_t*>(d);
    b.insert(b.end(), p, p + n);
}

// A bounds-checked reader of a frame's payload.
struct Reader {
    const std::vector<uint8_t>& b;
    size_t at = 0;
    bool ok = true;
    uint32_t u32() {
        if (!ok || b.size() - at < 4) { ok = false; return 0; }
        at += 4;
        return rd32(b.data() + at - 4);
    }
    const uint8_t* bytes(size_t n) {
        if (!ok || b.size() - at < n) { ok = false; return nullptr; }
        at += n;
        return b.data() + at - n;
    }
};

const NBAWireEntry* callbackEntry(int code) {
    return nbaWireFind(nbaWireCallbacks, sizeof nbaWireCallbacks / sizeof *nbaWireCallbacks, code);
}
const NBAWireEntry* messageEntry(int code) {
    return nbaWireFind(nbaWireMessages, sizeof nbaWireMessages / sizeof *nbaWireMessages, code);
}
void paramsOf(const uint8_t* block, uint32_t p[5]) {
    for (int i = 0; i < 5; ++i) p[i] = rd32(block + NBA_PARAM_OFF(i));
}

// Whether `h` names a block the player has: a reference, or one of its own records (a card).
bool alive(Handle h) { return h && (IsReference(h) || IsHandleValid(h)); }

std::optional<std::string> handleBytes(Handle h) {
    if (IsReference(h)) return ReferenceBytes(h);
    if (!IsHandleValid(h)) return std::nullopt;
    const uint32_t n = GetHandleSize(h);
    const uint8_t* d = LockHandle(h);
    std::string out(d ? reinterpret_cast<const char*>(d) : "", d ? n : 0);
    if (d) UnlockHandle(h);
    return out;
}

// The bytes a counted string, point, rectangle or file-path reference holds, cut to its kind's size.
std::string valueBytes(Handle ref, int kind) {
    const auto b = ReferenceBytes(ref);
    if (!b || b->empty()) return {};
    if (kind == NBA_K_FILELOC) return b->substr(0, std::min(b->find('\0'), size_t(NBA_FILELOC_MAX)));
    size_t n = kind == NBA_K_POINT ? 8 : kind == NBA_K_RECT ? 16 : 1 + uint8_t((*b)[0]);
    if (b->size() < n) return {};
    return b->substr(0, n);
}

std::string findInPath(const std::string& program) {
    if (program.find('/') != std::string::npos) return access(program.c_str(), X_OK) == 0 ? program : "";
    const char* path = getenv("PATH");
    std::string dirs = path ? path : "/usr/bin:/bin";
    size_t start = 0;
    while (start <= dirs.size()) {
        const size_t end = std::min(dirs.find(':', start), dirs.size());
        const std::string candidate = dirs.substr(start, end - start) + "/" + program;
        if (end > start && access(candidate.c_str(), X_OK) == 0) return candidate;
        start = end + 1;
    }
    return {};
}

// $XDG_DATA_HOME/corvella/wine (~/.local/share/corvella/wine by default).
fs::path playerWinePrefix() {
    const char* data = getenv("XDG_DATA_HOME");
    const char* home = getenv("HOME");
    const fs::path base = data && *data ? fs::path(data) : fs::path(home && *home ? home : "/tmp") / ".local/share";
    return base / "corvella" / "wine";
}

std::string hostProgram() {
    const WineHostSettings& s = wineHostSettings();
    if (!s.host.empty()) return s.host;
    if (QCoreApplication::instance()) {
        const fs::path beside = fs::path(QCoreApplication::applicationDirPath().toStdString()) / "nbahost.exe";
        if (fs::exists(beside)) return beside.string();
    }
#ifdef CV_NBAHOST_PATH
    if (fs::exists(CV_NBAHOST_PATH)) return CV_NBAHOST_PATH;
#endif
    return {};
}

// Runs `argv` with `envp`, its output discarded, and waits up to `ms` for it; whether it ended
// well. One that takes longer is ended.
bool runAndWait(std::vector<std::string> args, char* const* envp, int ms) {
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    pid_t pid = 0;
    const int rc = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), envp);
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0) return false;
    int status = 0;
    for (int waited = 0; waited < ms; waited += 10) {
        if (waitpid(pid, &status, WNOHANG) == pid) return WIFEXITED(status) && WEXITSTATUS(status) == 0;
        usleep(10000);
    }
    kill(pid, SIGKILL);
    waitpid(pid, &status, 0);
    return false;
}

// Whether the prefix's user registry already names Wine's null graphics driver.
bool prefixHasNullGraphics(const fs::path& prefix) {
    std::ifstream in(prefix / "user.reg", std::ios::binary);
    const std::string reg((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const size_t key = reg.find("[Software\\\\Wine\\\\Drivers]");
    if (key == std::string::npos) return false;
    const size_t end = reg.find("\n[", key);
    const size_t value = reg.find("\"Graphics\"=\"null\"", key);
    return value != std::string::npos && value < end;
}

// Without a display Wine can make no window, and a plug-in's frame window or dialog would fail:
// the prefix is set to Wine's null graphics driver, whose windows exist but are not shown. The
// setting is read when Wine's desktop starts, so it is made, and Wine left to end, before the
// host starts.
void useNullGraphicsWithoutDisplay(const std::string& wine, const fs::path& prefix, char* const* envp) {
    const char* x = getenv("DISPLAY");
    const char* wayland = getenv("WAYLAND_DISPLAY");
    if ((x && *x) || (wayland && *wayland) || prefixHasNullGraphics(prefix)) return;
    const int ms = wineHostSettings().startMs;
    if (!runAndWait({wine, "reg", "add", "HKCU\\Software\\Wine\\Drivers", "/v", "Graphics", "/d", "null", "/f"}, envp, ms))
        return;
    const fs::path server = fs::path(wine).parent_path() / "wineserver";
    if (fs::exists(server)) runAndWait({server.string(), "-w"}, envp, ms);
}

bool answerIdleCallback(const std::vector<uint8_t>& payload);

// ---- The host process ---------------------------------------------------------------------------
class WineHost {
public:
    ~WineHost() {
        // The player is closing: the host is asked to end, and ended if it does not.
        if (running()) {
            send(NBA_WIRE_QUIT, {});
            for (int i = 0; i < 50; ++i) {
                if (waitpid(pid_, nullptr, WNOHANG) == pid_) {
                    close(in_);
                    close(out_);
                    pid_ = -1;
                    return;
                }
                usleep(10000);
            }
        }
        stop();
    }

    bool running() const { return pid_ > 0; }
    // Each start is a new generation: libraries loaded in an earlier one are loaded again.
    uint64_t generation() const { return generation_; }

    bool start(std::string* error) {
        if (running()) return true;
        const std::string why = windowsPluginsUnavailable();
        if (!why.empty()) {
            if (error) *error = why;
            return false;
        }
        const std::string wine = findInPath(wineHostSettings().wine);
        const std::string host = hostProgram();
        int toHost[2], fromHost[2];
        if (pipe2(toHost, O_CLOEXEC) != 0) return fail(error, "no pipe");
        if (pipe2(fromHost, O_CLOEXEC) != 0) {
            close(toHost[0]); close(toHost[1]);
            return fail(error, "no pipe");
        }
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, toHost[0], 0);
        posix_spawn_file_actions_adddup2(&actions, fromHost[1], 1);
        // Wine's own chatter stays out of the frames; it is quiet unless asked.
        std::vector<std::string> env;
        for (char** e = environ; *e; ++e) env.emplace_back(*e);
        if (!getenv("WINEDEBUG")) env.emplace_back("WINEDEBUG=-all");
        // A Wine prefix of the player's own, so the person's ~/.wine is left as it is.
        fs::path prefix = getenv("WINEPREFIX") ? fs::path(getenv("WINEPREFIX")) : playerWinePrefix();
        if (!getenv("WINEPREFIX")) {
            std::error_code ec;
            fs::create_directories(prefix.parent_path(), ec);
            env.emplace_back("WINEPREFIX=" + prefix.string());
        }
        // No offer to install Mono or Gecko: a plug-in host needs neither.
        if (!getenv("WINEDLLOVERRIDES")) env.emplace_back("WINEDLLOVERRIDES=mscoree,mshtml=");
        std::vector<char*> envp;
        for (std::string& e : env) envp.push_back(e.data());
        envp.push_back(nullptr);
        useNullGraphicsWithoutDisplay(wine, prefix, envp.data());
        std::string arg0 = wine, arg1 = host;
        char* argv[] = {arg0.data(), arg1.data(), nullptr};
        pid_t pid = 0;
        const int rc = posix_spawn(&pid, wine.c_str(), &actions, nullptr, argv, envp.data());
        posix_spawn_file_actions_destroy(&actions);
        close(toHost[0]);
        close(fromHost[1]);
        if (rc != 0) {
            close(toHost[1]); close(fromHost[0]);
            return fail(error, std::string("cannot start ") + wine + ": " + strerror(rc));
        }
        pid_ = pid;
        out_ = toHost[1];
        in_ = fromHost[0];
        ++generation_;
        const auto t0 = std::chrono::steady_clock::now();
        uint32_t type = 0;
        std::vector<uint8_t> hello;
        if (!receive(&type, &hello, wineHostSettings().startMs) || type != NBA_WIRE_HELLO ||
            hello.size() < 4 || rd32(hello.data()) != NBA_WIRE_VERSION) {
            stop();
            return fail(error, "nbahost.exe did not start under Wine");
        }
        startMs_ = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count();
        mirrors_.clear();
        placed_ = {};
        return true;
    }

    void stop() {
        if (!running()) return;
        // Killed, not asked: a host that is stuck would not hear the question.
        kill(pid_, SIGKILL);
        int status = 0;
        waitpid(pid_, &status, 0);
        close(in_);
        close(out_);
        pid_ = -1;
        in_ = out_ = -1;
        mirrors_.clear();
    }

    // Moves the frame window over the card, when the card moved or changed size since.
    bool place() {
        const WineHostSettings& s = wineHostSettings();
        const auto [x, y] = s.frameOrigin ? s.frameOrigin() : std::pair<int, int>{0, 0};
        const std::array<int32_t, 4> at{x, y, s.frameWidth, s.frameHeight};
        if (at == placed_) return true;
        std::vector<uint8_t> p;
        for (int32_t v : at) put32(p, uint32_t(v));
        if (!send(NBA_WIRE_PLACE, p)) return false;
        placed_ = at;
        return true;
    }

    bool send(uint32_t type, const std::vector<uint8_t>& payload) {
        if (!running()) return false;
        std::vector<uint8_t> frame;
        put32(frame, uint32_t(payload.size() + 4));
        put32(frame, type);
        putBytes(frame, payload.data(), payload.size());
        // A host that died must not take the player with it (SIGPIPE): the signal is held
        // while writing and taken back if it came.
        sigset_t pipeSet, old;
        sigemptyset(&pipeSet);
        sigaddset(&pipeSet, SIGPIPE);
        pthread_sigmask(SIG_BLOCK, &pipeSet, &old);
        size_t done = 0;
        bool ok = true;
        while (done < frame.size()) {
            const ssize_t n = write(out_, frame.data() + done, frame.size() - done);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) { ok = false; break; }
            done += size_t(n);
        }
        if (!ok) {
            const timespec zero{0, 0};
            sigtimedwait(&pipeSet, nullptr, &zero);
        }
        pthread_sigmask(SIG_SETMASK, &old, nullptr);
        return ok;
    }

    // One frame, waiting at most `timeoutMs` for each part of it. The host's word that a
    // plug-in is busy with the person (a dialog) starts the wait again; a callback a plug-in's
    // window made is answered on the way.
    bool receive(uint32_t* type, std::vector<uint8_t>* payload, int timeoutMs) {
        for (;;) {
            if (!receiveFrame(type, payload, timeoutMs)) return false;
            if (*type == NBA_WIRE_IDLE_CALLBACK) {
                if (!answerIdleCallback(*payload)) return false;
                continue;
            }
            if (*type != NBA_WIRE_WAITING) return true;
            if (wineHostSettings().whileWaiting && !wineHostSettings().whileWaiting()) {
                abandoned = true;
                return false;
            }
        }
    }

    // One frame as it comes.
    bool receiveFrame(uint32_t* type, std::vector<uint8_t>* payload, int timeoutMs) {
        uint8_t head[8];
        if (!readAll(head, 8, timeoutMs)) return false;
        const uint32_t length = rd32(head);
        if (length < 4 || length > NBA_WIRE_MAX_FRAME) return false;
        *type = rd32(head + 4);
        payload->resize(length - 4);
        return readAll(payload->data(), payload->size(), timeoutMs);
    }

    // Whether a frame is waiting to be read.
    bool readable() const {
        pollfd p{in_, POLLIN, 0};
        return running() && poll(&p, 1, 0) > 0;
    }

    double startMs() const { return startMs_; }
    // The player gave up waiting for a plug-in (the person closed it).
    bool abandoned = false;

    // The player's Handles mirrored in the host: the player's number and the host's HGLOBAL
    // (0 until the host has made it).
    struct Mirror {
        Handle player;
        uint32_t host;
        bool released = false;  // the host's copy goes when the mirrors next cross
        bool made = false;      // made by the plug-in: freeing it there disposes of it here
    };
    std::vector<Mirror> mirrors_;

private:
    bool readAll(uint8_t* d, size_t n, int timeoutMs) {
        while (n) {
            pollfd p{in_, POLLIN, 0};
            const int r = poll(&p, 1, timeoutMs);
            if (r < 0 && errno == EINTR) continue;
            if (r <= 0) return false;  // silent too long, or broken
            const ssize_t got = read(in_, d, n);
            if (got < 0 && errno == EINTR) continue;
            if (got <= 0) return false;
            d += got;
            n -= size_t(got);
        }
        return true;
    }
    static bool fail(std::string* error, const std::string& why) {
        if (error) *error = why;
        return false;
    }

    pid_t pid_ = -1;
    int in_ = -1, out_ = -1;
    uint64_t generation_ = 0;
    double startMs_ = 0;
    std::array<int32_t, 4> placed_{};  // where the host's frame window is
};

WineHost& theHost() {
    static WineHost host;
    return host;
}

using Mirror = WineHost::Mirror;

// ---- Marshalling ------------------------------------------------------------------------------
// Makes sure `h` is mirrored; the host makes its copy when the mirrors next cross.
void mirror(Handle h) {
    if (!h) return;
    for (auto& m : theHost().mirrors_)
        if (m.player == h) {
            m.released = false;
            return;
        }
    if (alive(h)) theHost().mirrors_.push_back({h, 0});
}

Handle toPlayer(uint32_t host) {
    if (!host) return 0;
    for (auto& m : theHost().mirrors_)
        if (m.host == host) return m.player;
    return 0;
}

void putMirrors(std::vector<uint8_t>& b) {
    auto& mirrors = theHost().mirrors_;
    std::vector<uint8_t> items;
    uint32_t count = 0;
    for (size_t i = 0; i < mirrors.size();) {
        const auto bytes = alive(mirrors[i].player) && !mirrors[i].released ? handleBytes(mirrors[i].player)
                                                                            : std::nullopt;
        put32(items, mirrors[i].player);
        put32(items, mirrors[i].host);
        ++count;
        if (!bytes) {
            // The player disposed of it: the host frees its copy.
            put32(items, NBA_WIRE_GONE);
            mirrors.erase(mirrors.begin() + std::ptrdiff_t(i));
            continue;
        }
        put32(items, uint32_t(bytes->size()));
        putBytes(items, bytes->data(), bytes->size());
        ++i;
    }
    put32(b, count);
    putBytes(b, items.data(), items.size());
}

// Whether the host's block names `host` in a place that holds a Handle (the card record, the
// result, a parameter): a Handle the plug-in made always comes named so.
bool namedIn(const uint8_t* hostBlock, uint32_t host) {
    if (!host) return false;
    if (rd32(hostBlock + NBA_OFF_CARD_RECORD) == host || rd32(hostBlock + NBA_OFF_RESULT) == host) return true;
    for (int i = 0; i < 5; ++i)
        if (rd32(hostBlock + NBA_PARAM_OFF(i)) == host) return true;
    return false;
}

// Takes the host's mirrors: what the plug-in changed in the player's blocks goes back (the
// stack's own records stay as they are: plug-ins read them), and Handles the plug-in made
// become new blocks of the player; one the block that comes with them does not name is not
// taken (a host out of step could otherwise fill the player's memory).
bool takeMirrors(Reader& r, const uint8_t* hostBlock) {
    auto& mirrors = theHost().mirrors_;
    const uint32_t n = r.u32();
    std::set<uint32_t> listed;
    for (uint32_t i = 0; i < n && r.ok; ++i) {
        const Handle player = Handle(r.u32());
        const uint32_t host = r.u32();
        const uint32_t size = r.u32();
        listed.insert(host);
        if (size == NBA_WIRE_GONE) continue;
        const uint8_t* d = r.bytes(size);
        if (!d) return false;
        Mirror* m = nullptr;
        for (auto& x : mirrors)
            if ((host && x.host == host) || (player && x.player == player)) m = &x;
        if (!m) {
            if (player || !namedIn(hostBlock, host)) continue;  // one the player no longer has, or unnamed
            const Handle made = NewReferenceFrom(d, size);
            if (made) mirrors.push_back({made, host, false, true});
            continue;
        }
        m->host = host;
        if (!IsReference(m->player)) continue;
        if (ReferenceSize(m->player) != size) SetHandleSize(m->player, size);
        if (uint8_t* to = ReferenceData(m->player, size); to && size) std::memcpy(to, d, size);
    }
    if (!r.ok) return false;
    // A copy the host no longer lists was freed by the plug-in. One the plug-in made is disposed
    // of with it, as freeing the one memory both shared did in the original; the player's own
    // blocks stay, only no longer copied across.
    std::erase_if(mirrors, [&](const Mirror& m) {
        if (m.host == 0 || listed.count(m.host)) return false;
        if (m.made && IsReference(m.player)) DisposeReference(m.player);
        return true;
    });
    return true;
}
// Runs one callback the plug-in made: the host's block becomes the player's, the command
// runs on the player's table, the answer goes back. `ready` readies the block of a callback
// made between calls; it says false when the player takes none.
bool answerCallback(const std::vector<uint8_t>& payload, NativeBlock& block, uint32_t answerType = NBA_WIRE_ANSWER,
                    const std::function<bool(NativeBlock&)>& ready = {}) {
    Reader r{payload};
    const uint8_t* hostBlock = r.bytes(kBlock);
    if (!hostBlock || !takeMirrors(r, hostBlock)) return false;
    std::array<std::string, 5> items;
    const uint32_t count = r.u32();
    for (uint32_t i = 0; i < count && r.ok; ++i) {
        const uint32_t off = r.u32(), n = r.u32();
        const uint8_t* d = r.bytes(n);
        for (int s = 0; s < 5; ++s)
            if (d && off == uint32_t(NBA_PARAM_OFF(s))) items[size_t(s)].assign(reinterpret_cast<const char*>(d), n);
    }
    if (!r.ok) return false;

    uint8_t* b = block.block.bytes.data();
    // The frame window stays the player's own number on this side.
    const uint32_t frame = rd32(b + NBA_OFF_FRAME_WINDOW);
    std::memcpy(b, hostBlock, kBlock);
    wr32(b + NBA_OFF_FRAME_WINDOW, frame);
    const int code = int16_t(block.block.command());
    const NBAWireEntry* e = callbackEntry(code);
    uint32_t given[5];
    paramsOf(hostBlock, given);
    wr32(b + NBA_OFF_CARD_RECORD, toPlayer(rd32(hostBlock + NBA_OFF_CARD_RECORD)));
    wr32(b + NBA_OFF_RESULT, toPlayer(rd32(hostBlock + NBA_OFF_RESULT)));
    std::vector<Handle> temporary;
    for (int i = 0; i < 5; ++i) {
        const int kind = nbaWireKind(e, i, 0, given);
        if (kind == NBA_K_HANDLE) {
            wr32(b + NBA_PARAM_OFF(i), toPlayer(given[i]));
        } else if (kind > NBA_K_HANDLE) {
            const std::string& s = items[size_t(i)];
            const Handle t = s.empty() ? 0 : NewReferenceFrom(s.data(), uint32_t(s.size()));
            if (t) temporary.push_back(t);
            wr32(b + NBA_PARAM_OFF(i), t);
        }
    }
    if (ready && !ready(block)) block.host = nullptr;
    if (block.host && block.host->callback) block.host->callback();

    std::vector<uint8_t> answer;
    putBytes(answer, b, kBlock);
    uint32_t now[5];
    paramsOf(b, now);
    std::vector<uint8_t> data;
    uint32_t dataCount = 0;
    mirror(Handle(rd32(b + NBA_OFF_CARD_RECORD)));
    mirror(Handle(rd32(b + NBA_OFF_RESULT)));
    for (int i = 0; i < 5; ++i) {
        const int kind = nbaWireKind(e, i, 1, given);
        if (kind == NBA_K_HANDLE) {
            mirror(Handle(now[i]));
        } else if (kind > NBA_K_HANDLE) {
            const std::string v = valueBytes(Handle(now[i]), kind);
            put32(data, uint32_t(NBA_PARAM_OFF(i)));
            put32(data, uint32_t(v.size()));
            putBytes(data, v.data(), v.size());
            ++dataCount;
        }
    }
    for (Handle t : temporary) DisposeReference(t);
    // The mirrors go after the answers are known, so the host has the Handles they name.
    std::vector<uint8_t> mirrors;
    putMirrors(mirrors);
    answer.insert(answer.end(), mirrors.begin(), mirrors.end());
    put32(answer, dataCount);
    answer.insert(answer.end(), data.begin(), data.end());
    return theHost().send(answerType, answer);
}

// A callback of a plug-in's window or timer, between calls or while the player calls another:
// it runs on a block of its own, readied by the player.
bool answerIdleCallback(const std::vector<uint8_t>& payload) {
    NativeBlock block;
    return answerCallback(payload, block, NBA_WIRE_IDLE_ANSWER, wineHostSettings().betweenCalls
                                                                    ? wineHostSettings().betweenCalls
                                                                    : [](NativeBlock&) { return false; });
}

void say(const std::string& text) {
    if (wineHostSettings().notice) wineHostSettings().notice(text);
    else showAlertText("44" + text + "~^OK");
}

std::set<std::string>& noticed() {
    static std::set<std::string> names;
    return names;
}

// ---- The library --------------------------------------------------------------------------------
class WineLibrary final : public PluginLibrary {
public:
    WineLibrary(std::string path, uint32_t id, bool entry, std::optional<PluginResources> res)
        : path_(std::move(path)), id_(id), generation_(theHost().generation()), entry_(entry),
          resources_(std::move(res)) {}
    ~WineLibrary() override {
        if (theHost().running() && theHost().generation() == generation_) {
            std::vector<uint8_t> p;
            put32(p, id_);
            theHost().send(NBA_WIRE_UNLOAD, p);
        }
    }

    bool hasEntry() const override { return entry_; }
    std::optional<PluginResources> resources() override { return resources_; }

    int32_t call(NativeBlock& block) override {
        if (!entry_) return 0;
        WineHost& host = theHost();
        const auto before = block.block;
        if (!host.running() || host.generation() != generation_) {
            // The host was restarted since: the library is loaded into the new one.
            if (!reload()) return stopped(block, before);
        }
        uint8_t* b = block.block.bytes.data();
        uint32_t given[5];
        paramsOf(b, given);
        const NBAWireEntry* e = messageEntry(block.block.command());
        for (int i = 0; i < 5; ++i)
            if (nbaWireKind(e, i, 0, given) == NBA_K_HANDLE) mirror(Handle(given[i]));
        const Handle card = Handle(rd32(b + NBA_OFF_CARD_RECORD));
        mirror(card);
        std::vector<uint8_t> req;
        put32(req, id_);
        putBytes(req, b, kBlock);
        putMirrors(req);
        put32(req, 0);
        if (depth_ == 0) host.abandoned = false;
        if ((depth_ == 0 && !host.place()) || !host.send(NBA_WIRE_CALL, req)) return stopped(block, before);
        ++depth_;
        for (;;) {
            uint32_t type = 0;
            std::vector<uint8_t> payload;
            if (!host.receive(&type, &payload, wineHostSettings().timeoutMs)) return stopped(block, before);
            if (type == NBA_WIRE_CALLBACK) {
                if (!answerCallback(payload, block)) return stopped(block, before);
                continue;
            }
            if (type != NBA_WIRE_RETURN) return stopped(block, before);
            Reader r{payload};
            const int32_t value = int32_t(r.u32());
            const uint8_t* hostBlock = r.bytes(kBlock);
            if (!hostBlock || !takeMirrors(r, hostBlock)) return stopped(block, before);
            const uint32_t module = rd32(b + NBA_OFF_MODULE), callback = rd32(b + NBA_OFF_CALLBACK);
            const uint32_t frame = rd32(b + NBA_OFF_FRAME_WINDOW);
            std::memcpy(b, hostBlock, kBlock);
            wr32(b + NBA_OFF_FRAME_WINDOW, frame);
            if (block.block.command() == NBA_MSG_EVENT) wr32(b + NBA_PARAM_OFF(0), given[0]);
            // The player's own values stand where the host put its numbers.
            wr32(b + NBA_OFF_CARD_RECORD, card);
            wr32(b + NBA_OFF_MODULE, module);
            wr32(b + NBA_OFF_CALLBACK, callback);
            wr32(b + NBA_OFF_RESULT, toPlayer(rd32(hostBlock + NBA_OFF_RESULT)));
            // The stack's own records were lent for this call only: without it the host would
            // copy every card visited at every crossing.
            if (--depth_ == 0)
                for (auto& m : host.mirrors_)
                    if (!IsReference(m.player)) m.released = true;
            for (int i = 0; i < 5; ++i) {
                if (nbaWireKind(e, i, 1, given) == NBA_K_HANDLE)
                    wr32(b + NBA_PARAM_OFF(i), toPlayer(rd32(hostBlock + NBA_PARAM_OFF(i))));
                else if (nbaWireKind(e, i, 0, given) == NBA_K_HANDLE)
                    wr32(b + NBA_PARAM_OFF(i), given[i]);
            }
            return value;
        }
    }

private:
    bool reload() {
        std::string error;
        if (!theHost().start(&error)) return false;
        std::vector<uint8_t> p(path_.begin(), path_.end());
        if (!theHost().send(NBA_WIRE_LOAD, p)) return false;
        uint32_t type = 0;
        std::vector<uint8_t> answer;
        if (!theHost().receive(&type, &answer, wineHostSettings().timeoutMs) || type != NBA_WIRE_LOADED)
            return false;
        Reader r{answer};
        id_ = r.u32();
        generation_ = theHost().generation();
        return r.ok && id_ != 0;
    }

    // The host died or went silent: it is stopped (started again on the next call), the call
    // does nothing, and the person hears about it once.
    int32_t stopped(NativeBlock& block, const script::NBAParamBlock& before) {
        theHost().stop();
        depth_ = 0;
        block.block = before;
        const std::string name = fs::path(path_).filename().string();
        // Given up by the player (the person closed it): nothing to say, at any depth of calls.
        if (!theHost().abandoned && noticed().insert(name).second) {
            say("The plug-in " + name + " stopped working.");
        }
        return 0;
    }

public:
    // Calls under way in the host (a plug-in's callback 67 calls another).
    static inline int depth_ = 0;

private:
    std::string path_;
    uint32_t id_;
    uint64_t generation_;
    bool entry_;
    std::optional<PluginResources> resources_;
};

std::string text(Reader& r, size_t limit) {
    const uint32_t n = r.u32();
    const uint8_t* d = r.bytes(n);
    if (!d) return {};
    std::string s(reinterpret_cast<const char*>(d), n);
    if (const size_t nul = s.find('\0'); nul != std::string::npos) s.resize(nul);
    return s.substr(0, limit);
}

class WineLoader final : public PluginLoader {
public:
    std::unique_ptr<PluginLibrary> load(const std::string& path, std::string* error) override {
        WineHost& host = theHost();
        if (!host.start(error)) {
            // Said once a run: the alert that follows only says the file holds no plug-in.
            static bool told = false;
            if (!told && error) {
                told = true;
                say("The plug-in " + fs::path(path).filename().string() +
                    " is a Windows plug-in and cannot run: " + *error + ".");
            }
            return nullptr;
        }
        const std::string absolute = fs::absolute(path).lexically_normal().string();
        std::vector<uint8_t> p(absolute.begin(), absolute.end());
        uint32_t type = 0;
        std::vector<uint8_t> answer;
        if (!host.send(NBA_WIRE_LOAD, p) || !host.receive(&type, &answer, wineHostSettings().timeoutMs) ||
            type != NBA_WIRE_LOADED) {
            host.stop();
            if (error) *error = "nbahost.exe stopped while loading the library";
            return nullptr;
        }
        Reader r{answer};
        const uint32_t id = r.u32();
        if (id == 0) {
            if (error) *error = text(r, 200);
            return nullptr;
        }
        const bool entry = r.u32() != 0;
        const bool hasResources = r.u32() != 0;
        const uint8_t* shorts = r.bytes(4);
        PluginResources res;
        res.fileName = text(r, 255);
        res.shortName = text(r, 31);
        res.aboutText = text(r, 32000 - 561);
        if (!r.ok || !shorts) {
            host.stop();
            if (error) *error = "nbahost.exe answered out of step";
            return nullptr;
        }
        res.aboutFlags = uint16_t(shorts[0] | shorts[1] << 8);
        res.nbaId = uint16_t(shorts[2] | shorts[3] << 8);
        std::optional<PluginResources> out;
        if (hasResources) out = res;
        return std::make_unique<WineLibrary>(absolute, id, entry, std::move(out));
    }
};

} // namespace

bool isWindowsLibrary(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    uint8_t head[64];
    if (!in.read(reinterpret_cast<char*>(head), sizeof head)) return false;
    if (head[0] != 'M' || head[1] != 'Z') return false;
    const uint32_t pe = rd32(head + 0x3C);
    if (pe > (1u << 20)) return false;
    char sig[4];
    in.seekg(pe);
    return in.read(sig, 4) && std::memcmp(sig, "PE\0\0", 4) == 0;
}

WineHostSettings& wineHostSettings() {
    static WineHostSettings settings;
    return settings;
}

std::string windowsPluginsUnavailable() {
    if (findInPath(wineHostSettings().wine).empty())
        return "Wine is not installed";
    if (hostProgram().empty()) return "nbahost.exe is missing";
    return {};
}

void wineHostIdle() {
    WineHost& host = theHost();
    if (!host.running() || WineLibrary::depth_ != 0) return;
    // A few at a time: a window that calls back without end must not keep the player here.
    for (int answered = 0; answered < 16 && host.readable(); ++answered) {
        uint32_t type = 0;
        std::vector<uint8_t> payload;
        // Between calls the host only says that a window called back, or that a dialog waited;
        // anything else is out of step, and the host goes (it starts again at the next call).
        const bool ok = host.receiveFrame(&type, &payload, wineHostSettings().timeoutMs) &&
                        (type == NBA_WIRE_WAITING || (type == NBA_WIRE_IDLE_CALLBACK && answerIdleCallback(payload)));
        if (!ok) {
            host.stop();
            return;
        }
    }
    host.place();
}

void stopWineHost() { theHost().stop(); }

PluginLoader& winePluginLoader() {
    static WineLoader loader;
    return loader;
}

} // namespace cv
