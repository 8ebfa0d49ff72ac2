// corvella [STACK]: the player. Opens the stack named on the command line, else the home stack
// beside the program, else asks for one, and lets a person browse it. `corvella --help` and
// `corvella --version` answer without opening a window.
//
// CV_STARTUP_TIME=1 prints the time from the start of main() to the first card on screen;
// CV_STARTUP_TIME=exit prints it and closes at once (no end screen).
#include <QApplication>
#include <QMessageBox>
#include <QScreen>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/alerts.h"
#include "core/settings.h"
#include "core/text_encoding.h"
#include "core/ui.h"
#include "player/player.h"
#include "player/qt/audio_output.h"
#include "player/qt/extra_manager_dialog.h"
#include "player/qt/launcher.h"
#include "player/qt/main_window.h"
#include "player/qt/script_windows_qt.h"
#include "player/script_bridge.h"
#include "player/qt/qt_host.h"
#include "player/qt/qt_ui.h"
#include "player/qt/single_instance.h"
#include "player/shell.h"
#include "player/stack_world.h"
#include "player/version.h"
#include "resources/strings.h"
#include "stack/stack_document.h"

using namespace cv;

namespace {

// The window starts centred, at the default card size; fitting it to the card keeps its left
// and bottom edges from there.
void placeWindow(MainWindow& window) {
    window.cardView()->setFixedSize(kDefaultCardWidth, kDefaultCardHeight);
    window.adjustSize();
    window.centreOnScreen();
}

// Runs the player's window until the run ends; returns the exit code.
int runPlayer(QApplication& app, SingleInstance& instance, const std::string& programPath,
              const std::string& programFolder, const std::string& commandLine, const std::string& currentDir,
              std::chrono::steady_clock::time_point started) {
    QtHost host;
    Player player(host);
    MainWindow window(player, host);
    window.setObjectName(QString::fromStdString(loadString(10000).value_or("Corvella Player")));
    host.attach(&window);
    QtUi dialogs(&window);
    setUi(&dialogs);
    // The Run Box, the text window and the read dialog of the player's scripts.
    QtScriptWindows scriptWindows(player, window);
    player.scripts().windows().setView(&scriptWindows);

    // Commands the window carries out for the player.
    player.commandHandler = [&window, next = player.commandHandler](int id) {
        if (next && next(id)) return true;
        if (id == kCmdHelp) {
            showPlayerHelp(&window);
            return true;
        }
        return false;
    };
    // Action lists start other programs on this desktop (after asking the person).
    installLauncher(player.media);
    // The Extras menu's Extra Manager.
    installExtraManagerDialog(&window);
    // Sounds go to the default audio device.
    installAudioOutput(player);
    instance.onRequest = [&window](const std::string& path) {
        window.comeForward();
        if (!path.empty()) window.openRequested(path);
    };

    initFileLocations(programPath);
    applyAdvancedUserSetting();
    resetAlertOnceList();

    const char* timing = std::getenv("CV_STARTUP_TIME");
    if (timing && *timing) {
        const bool exitAfter = std::string(timing) == "exit";
        if (exitAfter) host.showEndScreenOnQuit = false;
        window.cardView()->onFirstCardPainted = [started, exitAfter] {
            const auto ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - started).count();
            std::printf("startup: %.1f ms from main() to the first card on screen\n", ms);
            std::fflush(stdout);
            if (exitAfter) QCoreApplication::exit(0);
        };
    }

    placeWindow(window);
    window.show();
    window.activateWindow();

    window.runHeld([&] { openFirstStack(player, programFolder, commandLine, currentDir); });
    window.fitToCard(player.cardWidth(), player.cardHeight());
    window.cardView()->startupDone = true;
    window.cardView()->update();

    const int code = host.quitRequested() ? host.quitCode() : app.exec();

    // Shut-down: nothing reaches the dialogs or the window once they have gone; the player
    // goes before the stack it shows is closed.
    player.scripts().windows().setView(nullptr);
    setUi(nullptr);
    host.attach(nullptr);
    instance.onRequest = nullptr;
    return code;
}

// ---- Before any window ----

const char* const kUsage =
    "Usage: corvella [STACK]\n"
    "       corvella --allow-files STACK\n"
    "       corvella --help | --version\n"
    "\n"
    "Corvella Player shows a stack (a .stk file) in a window and lets you browse it with the\n"
    "mouse and the keyboard. Without STACK it opens the home stack beside the program (Home.stk,\n"
    "Home2.stk, Home.stack, ...), else asks for one. While a player runs, `corvella STACK` hands\n"
    "STACK to it instead of starting another (unless MultipleInstances=Yes in CVPREFS.INI).\n"
    "\n"
    "The menus and their keyboard shortcuts are described in CVHELP.HTML beside the program\n"
    "(Help > Corvella Help in the player).\n"
    "\n"
    "Files beside the program: CVPREFS.INI (settings, section [user]), the home stack,\n"
    "Samples.stk, and the folders CVArt, CVSounds, Movies and NBAs.\n"
    "\n"    "A stack's scripts read the files beside it and keep what they write in a folder of its own\n"
    "under ~/.local/share/corvella/stacks (or $XDG_DATA_HOME/corvella/stacks). --allow-files\n"
    "lets STACK's scripts use all your files in this run; the Preferences dialog remembers it.\n"
    "\n"
    "Without a display, `cvstack export STACK -o FOLDER` makes pictures of a stack's cards.\n";

// --help and --version: the answer, and the run ends with code 0.
std::optional<int> answerInformationOption(int argc, char** argv) {
    if (argc < 2) return std::nullopt;
    if (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0) {
        std::fputs(kUsage, stdout);
        return 0;
    }
    if (std::strcmp(argv[1], "--version") == 0) {
        std::printf("Corvella Player %s\n", playerVersion());
        return 0;
    }
    return std::nullopt;
}

// Without a window system the player cannot start; one plain line says so (Qt would abort with
// a page about platform plugins).
bool reportMissingDisplay(int argc, char** argv) {
    // A platform named on the command line is Qt's to try.
    for (int i = 1; i < argc; ++i)
        if (std::strcmp(argv[i], "-platform") == 0 || std::strcmp(argv[i], "--platform") == 0) return false;
    auto env = [](const char* name) {
        const char* v = std::getenv(name);
        return std::string_view(v ? v : "");
    };
    const std::string_view platform = env("QT_QPA_PLATFORM");
    if (windowSystemReachable(env("DISPLAY"), env("WAYLAND_DISPLAY"), platform)) return false;
    const std::string why = platform.empty() ? "DISPLAY and WAYLAND_DISPLAY are not set"
                                             : "QT_QPA_PLATFORM=" + std::string(platform) + " finds no display";
    std::fprintf(stderr,
                 "corvella: no display to show the player on (%s); "
                 "`cvstack export STACK -o FOLDER` makes pictures of a stack's cards instead.\n",
                 why.c_str());
    return true;
}

// A stack named on the command line that cannot be opened is reported where it was typed; the
// player then starts as it does without one. Returns whether the stack is usable.
bool checkCommandLineStack(const std::string& stackPath) {
    if (stackPath.empty()) return true;
    const std::string problem = commandLineStackProblem(stackPath);
    if (problem.empty()) return true;
    std::fprintf(stderr, "corvella: cannot open %s: %s.\n", stackPath.c_str(), problem.c_str());
    return false;
}

// Another player runs: it is asked to come forward and to open the stack (a usable one only).
// Returns the exit code of this start.
int handToRunningPlayer(SingleInstance& instance, const std::string& stackPath, bool stackUsable) {
    const std::string handed = stackUsable ? stackPath : std::string();
    if (!instance.askFirst(handed)) {
        std::fputs("corvella: another Corvella Player holds the lock but does not answer; "
                   "close it or try again.\n",
                   stderr);
        return 1;
    }
    if (!handed.empty())
        std::printf("corvella: %s was handed to the Corvella Player that is already running.\n", handed.c_str());
    else
        std::puts("corvella: Corvella Player is already running; it comes to the front.");
    return stackUsable ? 0 : 1;
}

// `--allow-files STACK`: the stack's scripts may use all the person's files in this run (the
// stack is still the one to open). Returns the arguments without the option.
std::vector<const char*> takeFileAccessOption(int argc, char** argv) {
    std::vector<const char*> rest{argv[0]};
    for (int i = 1; i < argc; ++i) {
        if (std::string_view(argv[i]) == "--allow-files" && i + 1 < argc) {
            allowFilesThisRun(argv[i + 1]);
            continue;
        }
        rest.push_back(argv[i]);
    }
    return rest;
}

} // namespace

int main(int argc, char** argv) {
    if (const auto code = answerInformationOption(argc, argv)) return *code;
    if (reportMissingDisplay(argc, argv)) return 1;

    const auto started = std::chrono::steady_clock::now();
    QApplication app(argc, argv);
    QApplication::setApplicationName("Corvella Player");
    // The player decides when the run ends (closing asks about a changed stack first).
    QApplication::setQuitOnLastWindowClosed(false);

    const std::string programPath = QCoreApplication::applicationFilePath().toStdString();
    const std::string programFolder = QCoreApplication::applicationDirPath().toStdString();
    setSettingsFile(settingsFilePath(programFolder));
    const std::vector<const char*> arguments = takeFileAccessOption(argc, argv);
    const std::string commandLine = joinArguments(int(arguments.size()), arguments.data());
    std::error_code ec;
    const std::string currentDir = std::filesystem::current_path(ec).string();

    const std::string stackPath = commandLineStackPath(commandLine, currentDir);
    const bool stackUsable = checkCommandLineStack(stackPath);

    // One player at a time, unless the settings allow more.
    SingleInstance instance;
    if (!instance.becomeFirst() && !multipleInstancesAllowed()) return handToRunningPlayer(instance, stackPath, stackUsable);
    // The display: this host always shows 32 bits per pixel.
    if (!displayDepthAccepted(32)) {
        QMessageBox::critical(nullptr, "Corvella", QString::fromStdString(cp1252ToUtf8(loadString(4025).value_or(""))));
        return -1;
    }

    const int code = runPlayer(app, instance, programPath, programFolder, commandLine, currentDir, started);
    DisposeStack();
    return code;
}
