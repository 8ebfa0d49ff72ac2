#pragma once
// NBA plug-ins: finding an NBA by id, registering a library, the library cache, the
// active-call list, calling an NBA on the shared block, the broadcasts and the forwarding of
// window events. The player reaches what it needs of itself through an NBAEnvironment, so the
// rules here run and are tested without a window.
#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <set>
#include <span>
#include <string>
#include <vector>

#include "core/handles.h"
#include "media/nba/plugin_library.h"

namespace cv {

// The 'NBAs' record: flags, id, data word (big-endian), zeros, short name, file name, about text.
namespace nbarec {
constexpr uint32_t kFlags = 0;
constexpr uint32_t kId = 2;
constexpr uint32_t kDataWord = 4;
constexpr uint32_t kShortName = 16;
constexpr uint32_t kShortNameSize = 32;
constexpr uint32_t kFileName = 48;
constexpr uint32_t kFileNameSize = 512;
constexpr uint32_t kAboutText = 560;
constexpr uint32_t kMinSize = 561;
} // namespace nbarec

// A new 'NBAs' record (Handle) from a library's resources; 0 when memory is short.
Handle MakeNBARecord(const PluginResources& r);
// The file name part of a stored name (after the last '\', '/' or ':').
std::string pluginFileNamePart(const std::string& name);

struct NBAEnvironment {
    // The shown card: its number and record Handle.
    std::function<int()> cardNumber;
    std::function<Handle()> cardRecord;
    std::function<uint32_t()> frameWindow;
    // The player's busy state (only message 3 is sent then) and the word message 3 gets.
    std::function<bool()> busy;
    // The host table a plug-in calls back through, set up for `block`.
    std::function<const NBAHostTable*(script::NBAParamBlock& block)> hostTable;
    // The player's string table (file names of NBAs by 50000 + id); loadString by default.
    std::function<std::optional<std::string>(int id)> playerString;
    // The NBA folders, searched in order (the program's, then the user's).
    std::vector<std::string> folders;
};

class NBAManager {
public:
    static constexpr int kCacheSize = 20;
    static constexpr uint32_t kTimerGapMs = 50;

    NBAManager(PluginLoader& loader, NBAEnvironment env);
    ~NBAManager();
    NBAManager(const NBAManager&) = delete;
    NBAManager& operator=(const NBAManager&) = delete;

    // The one block every plug-in call uses.
    NativeBlock& block() { return block_; }
    NBAEnvironment& environment() { return env_; }

    // Reads a library's resources into a new record; 0 (after alert 2241) when the file is no
    // library of plug-ins.
    Handle RegisterNBAFile(const std::string& path);
    // The record of NBA `id`: the open stack's 'NBAs' resource, else the external list, else
    // the file the string table or the settings name (registered and added to the list).
    // `ask`: whether a library not yet allowed may be asked about (registering loads it).
    Handle findRecord(uint16_t id, bool ask, bool* stackHeld = nullptr);

    // Calls NBA `id` with `message`. Without `keepBlock` the block is zeroed first; `setup`
    // then places the caller's parameters. Direct calls (`ask`) may ask the person to allow
    // an NBA; broadcasts and queries pass over NBAs never allowed. True when NBAMain ran.
    bool CallNBA(uint16_t id, uint16_t message, bool keepBlock, bool ask = true,
                 const std::function<void(script::NBAParamBlock&)>& setup = {});
    // A button's NBA action: message 4 with a copy of its stored data and the caller context.
    bool callFromButton(uint16_t id, std::span<const uint8_t> data, uint16_t context);
    // Callback 67 on `b` (the shared block itself when a plug-in calls back, or a script's).
    void callFromBlock(script::NBAParamBlock& b);
    // Messages 5, 9 and 10 to the open stack's NBAs.
    void broadcast(uint16_t message);
    // Message 11: true when an NBA handled the event.
    bool ForwardEventToNBAs(uint32_t window, uint32_t message, uint32_t wParam, uint32_t lParam);
    // Message 14: whether an NBA of the stack, or an external one, is still busy.
    bool busyQuery();
    // Message 2 to the stack's NBAs (those not running now, unless `forced`).
    void stackClosing(bool forced);
    // Frees the cached libraries; without `all`, those of running NBAs stay.
    void ReleaseNBALibraries(bool all);

    bool insideCall() const { return inside_ > 0; }
    // How many libraries the cache holds, the external list's length, running NBAs (tests).
    int cachedLibraries() const;
    size_t externalCount() const { return external_.size(); }
    size_t activeCount() const { return active_.size(); }

    // The section of the settings file that remembers the NBAs the person allowed.
    static constexpr const char* kAllowedSection = "AllowedNBAs";

private:
    struct CacheEntry {
        std::shared_ptr<PluginLibrary> library;
        int16_t id = 0;
        uint32_t module = 0;
        std::string fileName;  // as the record names it
    };
    struct ActiveNode {
        Handle record = 0;
        uint16_t id = 0;
        uint32_t flags = 0;
    };
    struct External {
        Handle record = 0;
        uint16_t id = 0;
    };

    std::vector<uint16_t> stackNBAIds() const;
    std::optional<std::string> libraryPath(Handle record) const;
    bool recordStillHeld(Handle rec, bool stackHeld, uint16_t id) const;
    std::optional<std::string> findInFolders(const std::string& name) const;
    bool allowed(const std::string& path, bool ask);
    std::shared_ptr<PluginLibrary> loadReporting(const std::string& path);
    std::optional<uint16_t> findIdByName(const std::string& name, bool ask);
    CacheEntry* cached(uint16_t id, const std::string& fileName);

    PluginLoader& loader_;
    NBAEnvironment env_;
    NativeBlock block_;
    std::array<CacheEntry, kCacheSize> cache_{};
    std::vector<ActiveNode> active_;
    std::vector<External> external_;  // newest first
    std::set<std::string> refused_;   // files the person said no to in this run
    std::set<std::string> noEntryShown_;
    int inside_ = 0;
    uint32_t nextModule_ = 1;
    uint64_t lastTimerMs_ = 0;
    bool timerForwarded_ = false;
};

} // namespace cv
