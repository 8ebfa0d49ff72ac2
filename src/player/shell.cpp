// Start-up of the player: locations, the command line, the home stack and the first stack.
#include "player/shell.h"

#include <algorithm>
#include <filesystem>

#include "core/alerts.h"
#include "core/host_path.h"
#include "core/settings.h"
#include "core/text_encoding.h"
#include "core/ui.h"
#include "player/navigation.h"
#include "player/player.h"
#include "player/script_windows.h"
#include "resources/strings.h"

namespace fs = std::filesystem;

namespace cv {

namespace {

constexpr int kFirstHomeStackName = 2804;
// The table ends its list of names with a string beginning with '*'; this bounds the search
// should that marker ever be missing.
constexpr int kHomeStackNameLimit = 100;

bool isRegularFile(const std::string& path) {
    std::error_code ec;
    return fs::is_regular_file(path, ec);
}

bool readable(const std::string& path) {
    FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) return false;
    std::fclose(f);
    return true;
}

} // namespace

// ---- File locations ----

void FileLocation::set(const std::string& fullPath) {
    path = fullPath;
    fileName = fileNamePart(fullPath);
    value = 0;
    flag = 0;
    marker = 0xFFFF;
}

FileLocations& fileLocations() {
    static FileLocations table;
    return table;
}

std::string fileNamePart(const std::string& path) {
    const size_t cut = path.find_last_of("\\/");
    return cut == std::string::npos ? path : path.substr(cut + 1);
}

std::string joinProgramPath(const std::string& folder, std::string_view name) {
    std::string n = cp1252ToUtf8(name);
    std::replace(n.begin(), n.end(), '\\', '/');
    return (fs::path(folder) / n).string();
}

void initFileLocations(const std::string& programPath) {
    FileLocations& table = fileLocations();
    for (FileLocation& l : table) l.set(programPath);
    const std::string folder = fs::path(programPath).parent_path().string();
    const std::pair<int, int> folders[] = {{kLocArt, 2650}, {kLocSounds, 2651}, {kLocMovies, 2652}, {kLocNBAs, 2653}};
    for (auto [index, id] : folders)
        if (auto name = loadString(id)) table[index].set(joinProgramPath(folder, *name));
}

// ---- Command line ----

std::string joinArguments(int argc, const char* const* argv) {
    std::string line;
    for (int i = 1; i < argc; ++i) {
        if (i > 1) line += ' ';
        line += argv[i];
    }
    return line;
}

std::string commandLineStackPath(std::string_view line, const std::string& currentDir) {
    if (line.empty()) return {};
    // A lone quote is no quoted path: only a pair of them is stripped.
    const bool quoted = line.size() >= 2 && line.front() == '"' && line.back() == '"';
    if (quoted) line = line.substr(1, line.size() - 2);
    if (line.empty()) return {};
    // A drive letter or a network name is already a full path.
    if (line.size() >= 2 && (line[1] == ':' || line[1] == '\\')) return std::string(line);
    // Quoted paths too are made full, so that the stack stays found when the working folder changes.
    return (fs::path(currentDir) / fs::path(std::string(line))).lexically_normal().string();
}

std::string commandLineStackProblem(const std::string& path) {
    std::error_code ec;
    const fs::file_status status = fs::status(path, ec);
    if (status.type() == fs::file_type::not_found) return "there is no such file";
    if (ec) return ec.message();
    if (fs::is_directory(status)) return "it is a folder, not a stack file";
    if (!fs::is_regular_file(status)) return "it is not a file";
    return {};
}

// ---- Start-up decisions ----

std::optional<std::string> findHomeStack(const std::string& programFolder) {
    for (int id = kFirstHomeStackName; id < kFirstHomeStackName + kHomeStackNameLimit; ++id) {
        const auto name = loadString(id);
        if (!name || name->empty() || (*name)[0] == '*') break;
        const std::string exact = joinProgramPath(programFolder, *name);
        if (isRegularFile(exact)) return exact;
        if (auto other = findNoCase(programFolder, cp1252ToUtf8(*name)); other && isRegularFile(*other)) return other;
    }
    return std::nullopt;
}

bool displayDepthAccepted(int bitsPerPixel) {
    return bitsPerPixel == 8 || bitsPerPixel == 16 || bitsPerPixel == 24 || bitsPerPixel == 32;
}

bool windowSystemReachable(std::string_view display, std::string_view waylandDisplay, std::string_view qpaPlatform) {
    if (qpaPlatform.empty()) return !display.empty() || !waylandDisplay.empty();
    // A list of platforms is tried in order; each may carry arguments after a ':'.
    while (true) {
        const size_t end = qpaPlatform.find(';');
        std::string_view platform = qpaPlatform.substr(0, end);
        platform = platform.substr(0, platform.find(':'));
        if (platform == "xcb") {
            if (!display.empty()) return true;
        } else if (platform.rfind("wayland", 0) == 0) {
            if (!waylandDisplay.empty()) return true;
        } else if (!platform.empty()) {
            return true;
        }
        if (end == std::string_view::npos) return false;
        qpaPlatform.remove_prefix(end + 1);
    }
}

bool settingIsYes(std::string_view value) {
    if (value.size() != 3) return false;
    return (value[0] | 0x20) == 'y' && (value[1] | 0x20) == 'e' && (value[2] | 0x20) == 's';
}

bool multipleInstancesAllowed() { return settingIsYes(settings().get("user", "MultipleInstances")); }

void applyAdvancedUserSetting() { setAdvancedUser(settingIsYes(settings().get("user", "advancedUser"))); }

FirstStack openFirstStack(Player& player, const std::string& programFolder, std::string_view commandLine,
                          const std::string& currentDir) {
    FileLocations& locations = fileLocations();
    const std::string named = commandLineStackPath(commandLine, currentDir);
    if (!named.empty()) {
        const FileLocation saved = locations[kLocCurrentStack];
        locations[kLocCurrentStack].set(named);
        if (isRegularFile(named)) {
            if (player.openStack(named)) return FirstStack::CommandLine;
            // Its error was reported; the home stack comes next.
        } else {
            locations[kLocCurrentStack] = saved;
        }
    }

    std::optional<std::string> path = findHomeStack(programFolder);
    FirstStack how = FirstStack::Home;
    if (path) {
        locations[kLocHomeStack].set(*path);
        player.setHomeStack(*path);
        player.navigation().setHome(*path, 0);
    }
    if (!path || !readable(*path)) {
        const std::string filter = loadString(4118).value_or("Stacks (*.STK)") + "|*.stk";
        path = ui().chooseFile("Open Stack", filter, false);
        how = FirstStack::Chosen;
        if (!path) {
            player.newUntitledStack();
            return FirstStack::Untitled;
        }
    }
    locations[kLocCurrentStack].set(*path);
    if (player.openStack(*path)) return how;
    player.newUntitledStack();
    return FirstStack::Untitled;
}

bool openRequestedStack(Player& player, const std::string& path) {
    if (!player.mayCloseStack()) return false;
    player.navigation().leaveCard(true);
    fileLocations()[kLocCurrentStack].set(path);
    player.replaceStack(path);
    return true;
}

// ---- The window ----

QRect fitWindowToCard(const QRect& frame, const QSize& chrome, int menuBarHeight, const QSize& card,
                      const QRect& screen) {
    const int width = std::max(card.width(), kMinCardViewWidth) + chrome.width();
    const int height = std::max(menuBarHeight, 0) + std::max(card.height(), kMinCardViewHeight) + chrome.height();
    int top = frame.top() + frame.height() - height; // the bottom edge stays
    // Too tall for the screen, or pushed above it: the caption stays reachable at the top.
    if (height >= screen.height() || top < screen.top()) top = screen.top();
    return QRect(frame.left(), top, width, height);
}

// ---- The main menu ----

const std::vector<MenuDef>& mainMenu() {
    static const std::vector<MenuDef> menus = {
        {"File",
         {{kCmdNewStack, "New Stack", 'N'},
          {kCmdOpenStack, "Open Stack...\tCtrl+O", 'O'},
          {kCmdSaveStack, "Save Stack\tCtrl+S", 'S'},
          {kCmdSaveStackAs, "Save Stack As...", 'A'},
          {0, ""},
          {kCmdExportScreen, "Export Screen...\tCtrl+E", 'E'},
          {kCmdPageSetup, "Page Setup...", 'u'},
          {kCmdPrint, "Print...\tCtrl+P", 'P'},
          {0, ""},
          {kCmdExit, "Exit", 'x'}},
         'F'},
        {"Edit",
         {{kCmdUndo, "Undo\tCtrl+Z", 'U'},
          {0, ""},
          {kCmdCut, "Cut\tCtrl+X", 't'},
          {kCmdCopy, "Copy\tCtrl+C", 'C'},
          {kCmdPaste, "Paste\tCtrl+V", 'P'},
          {kCmdClear, "Clear\tDel", 'a'}},
         'E'},
        {"Move",
         {{kCmdBack, "Back\tCtrl+`", 'B'},
          {kCmdHome, "Home\tCtrl+H", 'H'},
          {0, ""},
          {kCmdFirst, "First Card\tCtrl+1", 'F'},
          {kCmdPrevious, "Previous Card\tCtrl+,", 'P'},
          {kCmdNext, "Next Card\tCtrl+.", 'N'},
          {kCmdLast, "Last Card\tCtrl+9", 'L'}},
         'M'},
        {"Card", {{kCmdJump, "Jump To Card...\tCtrl+J", 'J'}, {kCmdFind, "Find Text...\tCtrl+F", 'F'}}, 'C'},
        {"View", {{kCmdSlideShow, "Slide Show...", 'S'}}, 'V'},
        {"Options", {{kCmdPreferences, "Preferences...\tCtrl+;", 'P'}, {kCmdVideodisc, "Videodisc...", 'V'}}, 'O'},
        {"Window",
         {{kWindowMinimize, "Minimize", 'M'},
          {kWindowCentre, "Centre On Screen", 'C'},
          {0, ""},
          {kCmdRunBox, "Quillscript Run Box", 'R'}},
         'W'},
        {"Extras", {{kCmdExtraManager, "Extra Manager...", 'M'}}, 'x'},
        {"Help", {{kCmdHelp, "Corvella Help", 'H'}, {0, ""}, {kCmdAbout, "About Corvella Player...", 'A'}}, 'H'},
    };
    return menus;
}

std::string menuLabel(std::string_view text, char mnemonic) {
    const size_t tab = text.find('\t');
    const size_t at = mnemonic ? text.substr(0, tab).find(mnemonic) : std::string_view::npos;
    std::string out;
    out.reserve(text.size() + 4);
    for (size_t i = 0; i < text.size(); ++i) {
        if (i == at) out += '&';
        out += text[i];
        if (text[i] == '&') out += '&';
    }
    return out;
}

} // namespace cv
