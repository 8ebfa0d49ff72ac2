#pragma once
// The stack's world: the only files a stack's scripts can reach. Stacks come from anywhere,
// and their scripts name files the way the machines they were made on did, so a script's name
// is placed in the world as in a mounted disk: the world's root is "C:\", a drive letter, '\',
// '/', a Macintosh volume and ".." all stay inside it, and a name that climbs above the root is
// refused.
//
// The world is layered. Reads look in the stack's data folder (its own, in the person's data
// directory), then in the read-only folders (the stack's folder, the program's media folders);
// writes, erases and new folders go to the data folder, which is made on the first write. Names
// are found whatever their case. A symbolic link that leads out of its folder is not followed.
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace cv::script {

// A place in the world: folder and file names (UTF-8) from the root.
using WorldPath = std::vector<std::string>;

class FileWorld {
public:
    FileWorld(std::string dataFolder, std::vector<std::string> readFolders);

    const std::string& dataFolder() const { return data_; }
    const std::vector<std::string>& readFolders() const { return reads_; }

    // Where a script's name (Windows-1252) lies, taken from `current` when it is relative;
    // nothing for an empty name or one that leaves the world.
    static std::optional<WorldPath> Place(const WorldPath& current, std::string_view scriptName);
    // How PREFIX shows a folder of the world (Windows-1252): "C:\" then the folders.
    static std::string Shown(const WorldPath& folder);

    // The file or folder to read: the first layer holding it. Nothing when absent everywhere.
    std::optional<std::string> forReading(const WorldPath& at) const;
    // Where to write a file or make a folder: in the data folder (made when needed, with the
    // folders of the path that the read layers hold). The last name is found whatever its
    // case, unless `asWritten` (a name to be made as the script wrote it). Nothing when it
    // cannot be.
    std::optional<std::string> forWriting(const WorldPath& at, bool asWritten = false) const;
    // The entry of the data folder itself (to erase or rename); nothing when only the read
    // layers hold it.
    std::optional<std::string> inData(const WorldPath& at) const;
    // Whether the place is a folder in some layer (the root always is).
    bool isFolder(const WorldPath& at) const;
    // The entries of a folder of the world: name (UTF-8) and host path, the data folder's
    // first, each name once whatever its case.
    std::vector<std::pair<std::string, std::string>> list(const WorldPath& folder) const;

    // The data folder of a stack file: `dataHome`/`WorldName(stackPath)`.
    static std::string DataFolderFor(const std::string& dataHome, const std::string& stackPath);
    // The name of a stack's data folder: the stack's file name without its extension, a '-' and
    // eight hex digits of a hash of its full path, so that two stacks of one name in different
    // folders never share one. Characters that a settings key cannot hold become '_'.
    static std::string WorldName(const std::string& stackPath);
    // Where the data folders are: $XDG_DATA_HOME (else ~/.local/share) + "/corvella/stacks".
    static std::string DataHome();

private:
    // The host path of `at` inside the layer `root`, found ignoring case; nothing when absent
    // or when it leads out of the layer.
    static std::optional<std::string> within(const std::string& root, const WorldPath& at, size_t count);

    std::string data_;
    std::vector<std::string> reads_;
};

} // namespace cv::script
