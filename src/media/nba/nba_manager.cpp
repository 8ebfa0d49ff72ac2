// NBA plug-ins: lookup, registration, the library cache and the calls on the shared block.
#include "media/nba/nba_manager.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <filesystem>

#include "core/alerts.h"
#include "core/byte_order.h"
#include "core/clock.h"
#include "core/host_path.h"
#include "core/references.h"
#include "core/settings.h"
#include "core/ui.h"
#include "core/text_encoding.h"
#include "resources/strings.h"
#include "stack/chunk_file.h"
#include "stack/record_layout.h"
#include "stack/stack_document.h"

namespace cv {

namespace fs = std::filesystem;

namespace {

constexpr int kAlertNoNBAs = 2241;
constexpr int kAlertNoMemory = 2224;

std::string lowerAscii(std::string s) {
    for (char& c : s) c = char(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

// A NUL-terminated text in a record field of `size` bytes.
std::string fieldText(const uint8_t* p, size_t size) {
    const void* end = std::memchr(p, 0, size);
    return std::string(reinterpret_cast<const char*>(p), end ? size_t(static_cast<const uint8_t*>(end) - p) : size);
}

const uint8_t* recordData(Handle rec) {
    if (!rec || !IsHandleValid(rec) || GetHandleSize(rec) < nbarec::kAboutText) return nullptr;
    return memRefs().data(rec);
}

// A file's name or path inside an alert's message, where '~' would end the message: shown
// as the small tilde (old short names such as "COUNTE~1.NBA" have one).
std::string alertSafe(const std::string& utf8) {
    std::string s = utf8ToCp1252(utf8);
    for (char& c : s)
        if (c == '~') c = '\x98';
    return s;
}

std::string withoutExtension(const std::string& name) {
    const size_t dot = name.rfind('.');
    return dot == std::string::npos ? name : name.substr(0, dot);
}

} // namespace

std::string pluginFileNamePart(const std::string& name) {
    const size_t cut = name.find_last_of("\\/:");
    return cut == std::string::npos ? name : name.substr(cut + 1);
}

Handle MakeNBARecord(const PluginResources& r) {
    // The about text ends at the first '/'.
    std::string about = r.aboutText.substr(0, r.aboutText.find('/'));
    about = about.substr(0, std::min<size_t>(about.size(), 32000 - nbarec::kMinSize));
    const uint32_t size = nbarec::kMinSize + uint32_t(about.size());
    Handle h = NewHandle(size);
    if (!h) return 0;
    uint8_t* p = memRefs().data(h);
    std::memset(p, 0, size);
    storeBE16(p + nbarec::kFlags, r.aboutFlags);
    storeBE16(p + nbarec::kId, r.nbaId);
    const std::string shortName = r.shortName.substr(0, nbarec::kShortNameSize - 1);
    const std::string fileName = r.fileName.substr(0, 255);
    std::memcpy(p + nbarec::kShortName, shortName.data(), shortName.size());
    std::memcpy(p + nbarec::kFileName, fileName.data(), fileName.size());
    std::memcpy(p + nbarec::kAboutText, about.data(), about.size());
    return h;
}

NBAManager::NBAManager(PluginLoader& loader, NBAEnvironment env) : loader_(loader), env_(std::move(env)) {
    if (!env_.playerString) env_.playerString = [](int id) { return loadString(id); };
}

NBAManager::~NBAManager() {
    ReleaseNBALibraries(true);
    for (const External& e : external_) DisposeHandle(e.record);
}

int NBAManager::cachedLibraries() const {
    return int(std::count_if(cache_.begin(), cache_.end(), [](const CacheEntry& e) { return e.id != 0; }));
}

std::vector<uint16_t> NBAManager::stackNBAIds() const {
    std::vector<uint16_t> ids;
    if (!theStack().open()) return ids;
    ChunkFile* cf = chunkFileFor(theStack().chunkFile);
    if (!cf) return ids;
    for (const ChunkEntry& e : cf->directory)
        if (e.type == chunk::kNBAs && !e.removed()) ids.push_back(e.id);
    return ids;
}

std::optional<std::string> NBAManager::findInFolders(const std::string& name) const {
    if (name.empty() || name == "." || name == "..") return std::nullopt;
    for (const std::string& folder : env_.folders) {
        const auto found = findNoCase(folder, name);
        std::error_code ec;
        if (found && fs::is_regular_file(*found, ec)) return found;
    }
    return std::nullopt;
}

std::optional<std::string> NBAManager::libraryPath(Handle record) const {
    const uint8_t* p = recordData(record);
    if (!p) return std::nullopt;
    // Only the name counts: a stored folder part would lead out of the NBA folders.
    const std::string stored = fieldText(p + nbarec::kFileName, nbarec::kFileNameSize);
    return findInFolders(pluginFileNamePart(cp1252ToUtf8(stored)));
}

bool NBAManager::allowed(const std::string& path, bool ask) {
    std::string key = lowerAscii(fs::path(path).filename().string());
    for (char& c : key)
        if (c == '=' || c == '[' || c == ']' || c == ';') c = '_';
    if (settings().get(kAllowedSection, key) == path) return true;
    if (!ask || refused_.count(path)) return false;
    const std::string name = alertSafe(fs::path(path).filename().string());
    const std::string text = "33This stack wants to run the plug-in \"" + name + "\" (" + alertSafe(path) +
                             "). A plug-in is a program: allow it only if you trust where it came from.~Allow~^Cancel";
    // Asked of experienced users too: nothing native runs unasked.
    if (showAlertText(text, true) != kAnswerFirst) {
        refused_.insert(path);
        return false;
    }
    settings().set(kAllowedSection, key, path);
    return true;
}

std::shared_ptr<PluginLibrary> NBAManager::loadReporting(const std::string& path) {
    std::string error;
    std::shared_ptr<PluginLibrary> lib = loader_.load(path, &error);
    if (!lib) showAlert(kAlertNoNBAs);
    return lib;
}

Handle NBAManager::RegisterNBAFile(const std::string& path) {
    std::shared_ptr<PluginLibrary> lib = loadReporting(path);
    if (!lib) return 0;
    const auto res = lib->resources();
    if (!res) {
        showAlert(kAlertNoNBAs);
        return 0;
    }
    return MakeNBARecord(*res);
}

Handle NBAManager::findRecord(uint16_t id, bool ask, bool* stackHeld) {
    if (stackHeld) *stackHeld = false;
    // 1. The open stack's own record.
    if (theStack().open()) {
        if (ChunkFile* cf = chunkFileFor(theStack().chunkFile)) {
            for (ChunkEntry& e : cf->directory) {
                if (e.type != chunk::kNBAs || e.id != id || e.removed()) continue;
                if (stackHeld) *stackHeld = true;
                return ChunkEntryData(*cf, e);
            }
        }
    }
    // 2. The external list.
    for (const External& e : external_)
        if (e.id == id) return e.record;
    // 3. The file the player's strings or the settings name.
    std::string name = env_.playerString(50000 + id).value_or("");
    if (name.empty()) name = settings().get("NBAIDs", std::to_string(id)).substr(0, 63);
    if (name.empty()) return 0;
    const auto path = findInFolders(pluginFileNamePart(cp1252ToUtf8(name)));
    if (!path || !allowed(*path, ask)) return 0;
    // 4. Registered and kept for the rest of the run.
    const Handle rec = RegisterNBAFile(*path);
    if (!rec) return 0;
    external_.insert(external_.begin(), External{rec, id});
    return rec;
}

bool NBAManager::recordStillHeld(Handle rec, bool stackHeld, uint16_t id) const {
    if (!recordData(rec)) return false;
    if (!stackHeld) return std::any_of(external_.begin(), external_.end(), [rec](const External& e) { return e.record == rec; });
    if (!theStack().open()) return false;
    const ChunkFile* cf = chunkFileFor(theStack().chunkFile);
    if (!cf) return false;
    return std::any_of(cf->directory.begin(), cf->directory.end(), [&](const ChunkEntry& e) {
        return e.type == chunk::kNBAs && e.id == id && !e.removed() && e.data == rec;
    });
}

NBAManager::CacheEntry* NBAManager::cached(uint16_t id, const std::string& fileName) {
    if (id == 0) return nullptr;
    for (CacheEntry& e : cache_) {
        if (e.id != int16_t(id)) continue;
        if (e.fileName == fileName) return &e;
        // Another stack's NBA of the same id in another file: that library is not this one.
        e = CacheEntry{};
        return nullptr;
    }
    return nullptr;
}

bool NBAManager::CallNBA(uint16_t id, uint16_t message, bool keepBlock, bool ask,
                         const std::function<void(script::NBAParamBlock&)>& setup) {
    // 1. Busy: only message 3 goes through.
    if (message != NBA_MSG_PARAM && env_.busy && env_.busy()) return false;
    // 2. The record; a stack's own is on the active list while it runs.
    bool stackHeld = false;
    const Handle rec = findRecord(id, ask, &stackHeld);
    if (!recordData(rec)) return false;
    struct Pop {
        std::vector<ActiveNode>* list = nullptr;
        ~Pop() {
            if (list) list->pop_back();
        }
    } pop;
    if (stackHeld) {
        active_.push_back(ActiveNode{rec, id, 0});
        pop.list = &active_;
    }
    // 3.-4. The library: for this call only (messages 1 and 3), else from the cache.
    std::shared_ptr<PluginLibrary> lib;
    uint32_t module = 0;
    const bool once = message == NBA_MSG_ABOUT || message == NBA_MSG_PARAM;
    const std::string fileName = fieldText(recordData(rec) + nbarec::kFileName, nbarec::kFileNameSize);
    CacheEntry* entry = once ? nullptr : cached(id, fileName);
    if (entry) {
        // A cached library was found and allowed when it was loaded; it runs from memory.
        lib = entry->library;
        module = entry->module;
    } else {
        const auto path = libraryPath(rec);
        if (!path) return false;  // a missing file stops the call silently
        if (!allowed(*path, ask)) return false;
        lib = loadReporting(*path);
        if (!lib) return false;
        module = nextModule_++;
        if (!once && id != 0) {
            auto free = std::find_if(cache_.begin(), cache_.end(), [](const CacheEntry& e) { return e.id == 0; });
            // With every entry taken the library runs uncached, and is freed after the call.
            if (free != cache_.end()) *free = CacheEntry{lib, int16_t(id), module, fileName};
        }
        if (!lib->hasEntry() && noEntryShown_.insert(*path).second)
            showAlertText("44The plug-in \"" + alertSafe(fs::path(*path).filename().string()) +
                          "\" has no entry NBAMain, so it cannot run.~^OK");
    }
    // 5. The block.
    script::NBAParamBlock& b = block_.block;
    uint8_t* d = b.bytes.data();
    if (!keepBlock) b.bytes.fill(0);
    if (setup) setup(b);
    storeLE16(d + NBA_OFF_CARD_NUMBER, uint16_t(env_.cardNumber ? env_.cardNumber() : 0));
    storeLE32(d + NBA_OFF_CARD_RECORD, env_.cardRecord ? env_.cardRecord() : 0);
    storeLE32(d + NBA_OFF_MODULE, module);
    block_.host = env_.hostTable ? env_.hostTable(b) : nullptr;
    storeLE32(d + NBA_OFF_CALLBACK, block_.host ? 1u : 0u);
    storeLE32(d + NBA_OFF_FRAME_WINDOW, env_.frameWindow ? env_.frameWindow() : 0);
    storeLE32(d + NBA_OFF_BUSY_STATE, message == NBA_MSG_PARAM && env_.busy && env_.busy() ? 1u : 0u);
    if (message != NBA_MSG_PARAM) storeLE32(d + NBA_OFF_DATA, loadBE32(recordData(rec) + nbarec::kDataWord));
    storeLE16(d + NBA_OFF_VERSION, NBA_BLOCK_VERSION);
    storeLE16(d + NBA_OFF_COMMAND, message);
    storeLE16(d + NBA_OFF_NBA_ID, id);
    // 6. The entry.
    const bool ran = lib->hasEntry();
    if (ran) {
        ++inside_;
        lib->call(block_);
        --inside_;
    }
    // 7. The data word back into the record, unless the call closed the stack that held it
    // (its Handle's number may name another block by now).
    if (message != NBA_MSG_PARAM && recordStillHeld(rec, stackHeld, id))
        storeBE32(memRefs().data(rec) + nbarec::kDataWord, loadLE32(d + NBA_OFF_DATA));
    // 8. A library loaded for this call only goes with `lib`; the node is popped by `pop`.
    return ran;
}

bool NBAManager::callFromButton(uint16_t id, std::span<const uint8_t> data, uint16_t context) {
    const Handle h = NewReferenceFrom(data.data(), uint32_t(data.size()));
    if (!h && !data.empty()) {
        showAlert(kAlertNoMemory);
        return false;
    }
    const bool ran = CallNBA(id, NBA_MSG_RUN, false, true, [&](script::NBAParamBlock& b) {
        storeLE16(b.bytes.data() + NBA_OFF_CALLER_CONTEXT, context);
        b.setParam(1, uint32_t(h));
        b.setParam(2, uint32_t(data.size()));
    });
    DisposeReference(h);
    return ran;
}

std::optional<uint16_t> NBAManager::findIdByName(const std::string& name, bool ask) {
    if (name.empty()) return std::nullopt;
    const std::string want = lowerAscii(name);
    auto matches = [&](Handle rec) {
        const uint8_t* p = recordData(rec);
        if (!p) return false;
        const std::string shortName = lowerAscii(fieldText(p + nbarec::kShortName, nbarec::kShortNameSize));
        const std::string file = lowerAscii(pluginFileNamePart(fieldText(p + nbarec::kFileName, nbarec::kFileNameSize)));
        return want == shortName || want == file || want == withoutExtension(file);
    };
    if (theStack().open()) {
        if (ChunkFile* cf = chunkFileFor(theStack().chunkFile)) {
            for (ChunkEntry& e : cf->directory)
                if (e.type == chunk::kNBAs && !e.removed() && matches(ChunkEntryData(*cf, e))) return e.id;
        }
    }
    for (const External& e : external_)
        if (matches(e.record)) return e.id;
    // A library of that name in the NBA folders.
    const std::string fileName = pluginFileNamePart(cp1252ToUtf8(name));
    auto path = findInFolders(fileName);
    if (!path) path = findInFolders(fileName + ".NBA");
    if (!path || !allowed(*path, ask)) return std::nullopt;
    const Handle rec = RegisterNBAFile(*path);
    if (!rec) return std::nullopt;
    const uint16_t id = loadBE16(memRefs().data(rec) + nbarec::kId);
    external_.insert(external_.begin(), External{rec, id});
    return id;
}

void NBAManager::callFromBlock(script::NBAParamBlock& b) {
    uint16_t id = uint16_t(b.param(1));
    const Handle data = Handle(b.param(2));
    const uint16_t message = uint16_t(b.param(4));
    // What the caller hands over must be a block of the interface.
    if (data && !IsReference(data)) return;
    if (id == 0) {
        const auto name = CountedStringAt(Handle(b.param(3)));
        if (!name) return;
        const auto found = findIdByName(*name, true);
        if (!found) return;
        id = *found;
    }
    // A plug-in calling another: the callee overwrites the block, but the caller's own fields
    // (its data word, module, id) come back, so its record keeps what it had.
    script::NBAParamBlock& shared = block_.block;
    const bool nested = &b == &shared;
    const script::NBAParamBlock saved = shared;
    const bool ran = CallNBA(id, message, false, true, [&](script::NBAParamBlock& blk) {
        blk.setParam(1, uint32_t(data));
        blk.setParam(2, IsReference(data) ? ReferenceSize(data) : 0);
    });
    if (!ran) {
        // Not called (not found, refused, busy): the caller's block stays as it was.
        shared = saved;
        return;
    }
    Handle result = Handle(loadLE32(shared.bytes.data() + NBA_OFF_RESULT));
    if (result && result != data && IsReference(result)) {
        DisposeReference(data);
    } else {
        // No result, or one that names no block of the interface: refused, never followed.
        if (IsReference(data)) SetHandleSize(data, 0);
        result = IsReference(data) ? data : 0;
    }
    if (nested) {
        std::memcpy(shared.bytes.data(), saved.bytes.data(), NBA_OFF_COMMAND);
        std::memcpy(shared.bytes.data() + NBA_OFF_NBA_ID, saved.bytes.data() + NBA_OFF_NBA_ID, 2);
    } else {
        b = shared;
    }
    b.setParam(2, uint32_t(result));
}

void NBAManager::broadcast(uint16_t message) {
    if (inside_ > 0) return;
    if (env_.busy && env_.busy()) return;
    for (uint16_t id : stackNBAIds()) CallNBA(id, message, false, false);
}

bool NBAManager::ForwardEventToNBAs(uint32_t window, uint32_t message, uint32_t wParam, uint32_t lParam) {
    switch (message) {
    case NBA_EVENT_KEY_DOWN:
    case NBA_EVENT_CHAR:
    case NBA_EVENT_COMMAND:
    case NBA_EVENT_TIMER:
    case NBA_EVENT_MOUSE_MOVE:
    case NBA_EVENT_MOUSE_DOWN:
    case NBA_EVENT_MOUSE_UP: break;
    default: return false;
    }
    if (inside_ > 0) return false;
    if (message == NBA_EVENT_TIMER) {
        const uint64_t now = clock().nowMs();
        if (timerForwarded_ && now - lastTimerMs_ < kTimerGapMs) return false;
        timerForwarded_ = true;
        lastTimerMs_ = now;
    }
    auto offer = [&](uint16_t id) {
        const bool ran = CallNBA(id, NBA_MSG_EVENT, false, false, [&](script::NBAParamBlock& b) {
            b.setParam(1, window);
            b.setParam(2, message);
            b.setParam(3, wParam);
            b.setParam(4, lParam);
        });
        return ran && block_.block.param(5) != 0;
    };
    for (uint16_t id : stackNBAIds())
        if (offer(id)) return true;
    std::vector<uint16_t> ids;
    for (const External& e : external_) ids.push_back(e.id);
    for (uint16_t id : ids)
        if (offer(id)) return true;
    return false;
}

bool NBAManager::busyQuery() {
    std::vector<uint16_t> ids = stackNBAIds();
    for (const External& e : external_) ids.push_back(e.id);
    for (uint16_t id : ids)
        if (CallNBA(id, NBA_MSG_BUSY_QUERY, false, false) && block_.block.param(1) == NBA_STILL_BUSY) return true;
    return false;
}

void NBAManager::stackClosing(bool forced) {
    for (uint16_t id : stackNBAIds()) {
        const bool running = std::any_of(active_.begin(), active_.end(), [id](const ActiveNode& n) { return n.id == id; });
        if (running && !forced) continue;
        CallNBA(id, NBA_MSG_CLOSE, true, false);
    }
}

void NBAManager::ReleaseNBALibraries(bool all) {
    for (CacheEntry& e : cache_) {
        if (e.id == 0) continue;
        const bool running = std::any_of(active_.begin(), active_.end(),
                                         [&e](const ActiveNode& n) { return int16_t(n.id) == e.id; });
        if (running && !all) continue;
        e = CacheEntry{};
    }
}

} // namespace cv
