#include "player/stored_files.h"

#include <algorithm>
#include <filesystem>

#include "player/shell.h"
#include "stack/stack_document.h"

namespace cv {

std::vector<std::string> storedFileFolders() { return storedFileFolders(theStack().path); }

std::vector<std::string> storedFileFolders(const std::string& stackPath) {
    namespace fs = std::filesystem;
    std::vector<std::string> folders;
    auto add = [&folders](const std::string& folder) {
        if (!folder.empty() && std::find(folders.begin(), folders.end(), folder) == folders.end())
            folders.push_back(folder);
    };
    if (!stackPath.empty()) add(fs::path(stackPath).parent_path().string());
    const FileLocations& locations = fileLocations();
    const std::string& program = locations[kLocProgram].path;
    add(program.empty() ? std::string(".") : fs::path(program).parent_path().string());
    if (!program.empty())
        for (int i : {kLocArt, kLocSounds, kLocMovies, kLocNBAs}) add(locations[size_t(i)].path);
    return folders;
}

} // namespace cv
