// The open stack's world, and the person's choice to let a stack use all files.
#include "player/stack_world.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <vector>

#include "player/player.h"
#include "player/preferences.h"
#include "player/script_bridge.h"
#include "player/shell.h"
#include "script/script_files.h"
#include "stack/stack_document.h"

namespace cv {

namespace {

constexpr const char* kSection = "FileAccess";

std::vector<std::string>& allowedThisRun() {
    static std::vector<std::string> names;
    return names;
}

// A stack kept in the person's home folder itself (or at the root, or in a folder that holds
// home folders) would see every file of the person's beside it: such a folder is no part of
// its world.
bool folderTooWide(const std::string& folder) {
    namespace fs = std::filesystem;
    std::error_code ec;
    const fs::path f = fs::weakly_canonical(folder, ec);
    if (ec || f == f.root_path()) return true;
    const char* home = std::getenv("HOME");
    if (!home || home[0] != '/') return false;
    const fs::path h = fs::weakly_canonical(home, ec);
    if (ec) return false;
    // The home folder or one of its parents.
    auto a = f.begin();
    auto b = h.begin();
    for (; a != f.end(); ++a, ++b)
        if (b == h.end() || *a != *b) return false;
    return true;
}

} // namespace

script::FileWorld stackWorld(const std::string& stackPath) {
    namespace fs = std::filesystem;
    std::vector<std::string> reads;
    auto add = [&reads](const std::string& folder) {
        if (!folder.empty() && std::find(reads.begin(), reads.end(), folder) == reads.end()) reads.push_back(folder);
    };
    std::error_code ec;
    if (!stackPath.empty()) {
        const std::string folder = fs::absolute(stackPath, ec).parent_path().string();
        if (!folderTooWide(folder)) add(folder);
    }
    // The media folders beside the program; the command-line tools have none.
    const FileLocations& locations = fileLocations();
    if (!locations[kLocProgram].path.empty())
        for (int i : {kLocArt, kLocSounds, kLocMovies}) add(locations[size_t(i)].path);
    return script::FileWorld(script::FileWorld::DataFolderFor(script::FileWorld::DataHome(), stackPath),
                             std::move(reads));
}

bool fullFileAccess(const std::string& stackPath) {
    const std::string name = script::FileWorld::WorldName(stackPath);
    const auto& run = allowedThisRun();
    if (std::find(run.begin(), run.end(), name) != run.end()) return true;
    // A new stack has no file the choice could be remembered for.
    if (stackPath.empty()) return false;
    std::string value = readSetting(kSection, name);
    std::transform(value.begin(), value.end(), value.begin(), [](unsigned char c) { return char(std::tolower(c)); });
    return value == "yes";
}

bool setFullFileAccess(const std::string& stackPath, bool all) {
    if (stackPath.empty()) return false;
    const std::string name = script::FileWorld::WorldName(stackPath);
    if (!all) {
        auto& run = allowedThisRun();
        run.erase(std::remove(run.begin(), run.end(), name), run.end());
    }
    return writeSetting(kSection, name, all ? "Yes" : "No");
}

void allowFilesThisRun(const std::string& stackPath) {
    allowedThisRun().push_back(script::FileWorld::WorldName(stackPath));
}

void enterStackWorld(Player& player) {
    const std::string path = theStack().open() ? theStack().path : std::string();
    script::ScriptFiles& files = script::scriptFiles(player.scripts().interpreter());
    if (!fullFileAccess(path)) {
        files.setWorld(stackWorld(path));
        return;
    }
    files.setWorld(std::nullopt);
    // Names are taken beside the stack, as they were where it was made.
    if (!path.empty()) {
        std::error_code ec;
        files.setPrefix(std::filesystem::absolute(path, ec).parent_path().string());
    }
}

} // namespace cv
