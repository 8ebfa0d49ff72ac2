#pragma once
// The program's settings file ("CVPREFS.INI"), read and written with the rules of Windows
// private profile files: "[section]" lines and "key=value" lines, sections and keys compared
// without regard to case, values trimmed, each write going straight to the file.
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace cv {

class SettingsFile {
public:
    explicit SettingsFile(std::string path);
    const std::string& path() const { return path_; }

    // The value of `key` in `section`, or `fallback` when absent.
    std::string get(const std::string& section, const std::string& key, const std::string& fallback = {}) const;
    std::optional<std::string> find(const std::string& section, const std::string& key) const;
    // Sets the value (a key of that name in another case is replaced) and writes the file.
    bool set(const std::string& section, const std::string& key, const std::string& value);
    // Removes a whole section and writes the file.
    bool removeSection(const std::string& section);
    // The keys and values of a section, in file order.
    std::vector<std::pair<std::string, std::string>> section(const std::string& section) const;

    // Reads the file again (a missing file is an empty one).
    void reload();

private:
    struct Line {
        std::string text;    // the line as it stands in the file
        std::string section; // for section headers and keys: the section's name
        std::string key;     // for key lines
        std::string value;
        bool isSection = false;
        bool isKey = false;
    };
    bool write() const;
    std::string path_;
    std::vector<Line> lines_;
};

// Where "CVPREFS.INI" lives: in the program's folder when that can be written, else in the
// user's configuration folder.
std::string settingsFilePath(const std::string& programFolder);

// The settings file of this run (set up by the program at start-up).
SettingsFile& settings();
void setSettingsFile(const std::string& path);

} // namespace cv
