#pragma once
// The player's start-up, apart from its windows: the remembered file locations, the command
// line, the search for a home stack beside the program, the choice of the first stack, the
// main menu "CV" and the arithmetic that fits the window to the card. Nothing here needs a
// display, so start-up can be tested headless.
#include <QRect>
#include <QSize>
#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace cv {

class Player;

// ---- File locations ----

// The paths the program remembers, by number.
enum FileLocationIndex : int {
    kLocCurrentStack = 0,
    kLocLastFolder = 1,
    kLocArt = 2,
    kLocSounds = 3,
    kLocMovies = 4,
    kLocNBAs = 5,
    kLocBackStack = 7,
    kLocGoToStack = 8,
    kLocProgram = 9,
    kLocLastMarkedStack = 10,
    kLocHomeStack = 13,
    kLocMovie = 14,
    kLocDocument = 15,
};
constexpr int kFileLocationCount = 20;

struct FileLocation {
    std::string path;      // full path, as this machine writes it (UTF-8)
    std::string fileName;  // the part after the last separator
    uint32_t value = 0;
    uint8_t flag = 0;
    uint16_t marker = 0xFFFF;

    // Takes `fullPath` and its file-name part; the other fields as after a reset.
    void set(const std::string& fullPath);
};

using FileLocations = std::array<FileLocation, kFileLocationCount>;

// The process's table of locations.
FileLocations& fileLocations();
// Every record set to the program's own path, then the art, sound, movie and plug-in folders
// (string ids 2650-2653) joined to the program's folder.
void initFileLocations(const std::string& programPath);

// The text after the last '\' or '/'.
std::string fileNamePart(const std::string& path);
// A folder and a name from the string table ("CVArt\") joined as this machine writes paths.
std::string joinProgramPath(const std::string& folder, std::string_view name);

// ---- Command line ----

// argv[1..] joined with spaces: the system's command line is one string.
std::string joinArguments(int argc, const char* const* argv);
// The stack path a command line names, or empty for an empty line. A path in double quotes
// loses them; a path that is not already a full path is made one against `currentDir`.
std::string commandLineStackPath(std::string_view commandLine, const std::string& currentDir);

// What is wrong with the stack a command line names, in words for the person who typed it
// ("there is no such file", "it is a folder, not a stack file"); empty when it is a file.
std::string commandLineStackProblem(const std::string& path);

// ---- Start-up decisions ----

// The first home stack found in `programFolder`: the names of string ids 2804 on, up to the
// string that begins with '*'. A name matches as the file system has it, or else ignoring case.
std::optional<std::string> findHomeStack(const std::string& programFolder);

// Whether a display of that many bits per pixel can show stacks.
bool displayDepthAccepted(int bitsPerPixel);
// Whether windows can be shown at all, from the environment: a platform that draws without a
// window system (offscreen, vnc, linuxfb, ...) needs nothing; X11 needs DISPLAY, Wayland
// WAYLAND_DISPLAY, and the default (no platform named) either of them.
bool windowSystemReachable(std::string_view display, std::string_view waylandDisplay, std::string_view qpaPlatform);

// "Yes" in any case.
bool settingIsYes(std::string_view value);
// The "user" settings the shell reads: whether several players may run at once, and whether
// the person is an experienced user (which is applied to the alerts at once).
bool multipleInstancesAllowed();
void applyAdvancedUserSetting();

enum class FirstStack { CommandLine, Home, Chosen, Untitled };

// Opens the first stack of the run: the command line's stack when it exists and opens, else
// the home stack, else one the person picks; without one, a new untitled stack.
FirstStack openFirstStack(Player& player, const std::string& programFolder, std::string_view commandLine,
                          const std::string& currentDir);

// Opens a stack that another start of the player handed over (its path already full):
// asks to save the open stack first, and starts an untitled stack when opening fails.
// False when the person kept the open stack.
bool openRequestedStack(Player& player, const std::string& path);

// ---- The window ----

constexpr int kMinCardViewWidth = 40;
constexpr int kMinCardViewHeight = 40;

// The window's outer rectangle after fitting it to a card. `frame` is its outer rectangle now,
// `chrome` what the frame adds around the inside (caption and borders), `menuBarHeight` the
// height of the menu bar (0 when hidden). The window keeps its left and bottom edges; one that
// would not fit on `screen` goes to the screen's top.
QRect fitWindowToCard(const QRect& frame, const QSize& chrome, int menuBarHeight, const QSize& card,
                      const QRect& screen);

// ---- The main menu "CV" ----

struct MenuItemDef {
    int id = 0;               // the command; 0 for a separator
    std::string text;         // Windows-1252; a shortcut's text after a tab
    char mnemonic = 0;        // the letter that chooses the item from the keyboard (0: none)
};
struct MenuDef {
    std::string title;
    std::vector<MenuItemDef> items;
    char mnemonic = 0;        // Alt with this letter opens the menu
};
// The pop-ups in order: File, Edit, Move at 0-2, Extras at 7, Help last.
const std::vector<MenuDef>& mainMenu();
constexpr int kExtrasMenuIndex = 7;
// A menu text as the menu shows it: the first `mnemonic` (matching case) before the shortcut
// text underlined, and any '&' of the text itself kept as an '&'. The words stay the same.
std::string menuLabel(std::string_view text, char mnemonic);
// Commands of the Window menu that the window carries out itself (not player commands).
constexpr int kWindowMinimize = -2;
constexpr int kWindowCentre = -3;

} // namespace cv
