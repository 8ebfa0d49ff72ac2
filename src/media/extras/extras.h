#pragma once
// Extras: utility plug-ins listed in the player's Extras menu. The installed list lives in
// section "ExtraIDs" of the settings file; each Extra is called like an NBA, on the same
// block, and its return value counts (0 is success).
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "media/nba/plugin_library.h"

namespace cv {

constexpr int kExtraManagerCommand = 450;
constexpr int kFirstExtraCommand = 451;
constexpr int kLastExtraCommand = 499;
constexpr size_t kExtraTitleSize = 34;

struct ExtraEntry {
    std::string path;                       // full path of the Extra
    std::string title;                      // menu title it gave (at most 33 characters)
    std::shared_ptr<PluginLibrary> library; // held while the Extra stays loaded
    uint16_t menuId = 0;                    // 451 + index once it has a menu item
};

struct ExtraList {
    std::vector<ExtraEntry> entries;
};

// What calling an Extra needs of the player: the host table for the block, the frame window.
struct ExtrasEnvironment {
    std::function<const NBAHostTable*(script::NBAParamBlock& block)> hostTable;
    std::function<uint32_t()> frameWindow;
    // The Extras folders, searched in order (the program's, then the user's).
    std::vector<std::string> folders;
};

// The installed Extras: keys "1", "2", ... of "ExtraIDs" up to the first missing key; a file
// that is in none of the folders is left out. nullopt when none is installed.
std::optional<ExtraList> LoadExtrasList(const ExtrasEnvironment& env);

class Extras {
public:
    Extras(PluginLoader& loader, ExtrasEnvironment env, NativeBlock& block);
    ~Extras();
    Extras(const Extras&) = delete;
    Extras& operator=(const Extras&) = delete;

    // Reads the installed list again (closing the Extras of the old one) and builds the menu.
    void reload();
    // The Extras menu's items: command id and title (message 3 answered with 0).
    std::vector<std::pair<int, std::string>> BuildExtrasMenu();
    const std::vector<std::pair<int, std::string>>& menuItems() const { return menu_; }
    // Commands 451-499 run their Extra; 450 runs `manager`. False for any other id.
    bool HandleExtrasCommand(int id);
    std::function<void()> manager;
    // Message 2 to every Extra still loaded, then frees it.
    void CloseExtras();

    const std::optional<ExtraList>& list() const { return list_; }
    ExtrasEnvironment& environment() { return env_; }

private:
    int32_t send(ExtraEntry& e, PluginLibrary& lib, uint16_t message,
                 const std::function<void(script::NBAParamBlock&)>& setup = {});

    PluginLoader& loader_;
    ExtrasEnvironment env_;
    NativeBlock& block_;
    std::optional<ExtraList> list_;
    std::vector<std::pair<int, std::string>> menu_;
    uint32_t nextModule_ = 0x8000;
    // An Extra running now (its callbacks may reach the Extra Manager): the list is read
    // again only once it has returned.
    int running_ = 0;
    bool reloadPending_ = false;
};

// The Extra Manager's work, apart from its window: the list it shows, adding a file (copied
// into the user's Extras folder when it is elsewhere), deleting after alert 2330, and Done,
// which rewrites "ExtraIDs".
class ExtraManagerForm {
public:
    // `userFolder`: where added Extras are copied; `folders`: where listed names are found.
    ExtraManagerForm(std::vector<std::string> folders, std::string userFolder);
    const std::vector<std::string>& paths() const { return paths_; }
    // Adds the file; false (after a message) when it does not exist or cannot be copied.
    bool add(const std::string& path);
    // Asks alert 2330 and removes the item on OK; true when removed.
    bool remove(size_t index);
    // Rewrites the section: one key per Extra, numbered from 1, with its file name.
    void done();

private:
    std::vector<std::string> folders_;
    std::string userFolder_;
    std::vector<std::string> paths_;
};

} // namespace cv
