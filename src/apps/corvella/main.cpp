// corvella [STACK]: the player. Opens the stack named on the command line, else the home stack
// beside the program, else asks for one, and lets a person browse it.
//
// CV_STARTUP_TIME=1 prints the time from the start of main() to the first card on screen;
// CV_STARTUP_TIME=exit prints it and closes at once (no end screen).
#include <QApplication>
#include <QMessageBox>
#include <QScreen>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "core/alerts.h"
#include "core/settings.h"
#include "core/text_encoding.h"
#include "core/ui.h"
#include "player/player.h"
#include "player/qt/launcher.h"
#include "player/qt/main_window.h"
#include "player/qt/qt_host.h"
#include "player/qt/qt_ui.h"
#include "player/qt/single_instance.h"
#include "player/shell.h"
#include "player/stack_world.h"
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
    setUi(nullptr);
    host.attach(nullptr);
    instance.onRequest = nullptr;
    return code;
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

    // One player at a time, unless the settings allow more.
    SingleInstance instance;
    if (!instance.becomeFirst() && !multipleInstancesAllowed()) {
        instance.askFirst(commandLineStackPath(commandLine, currentDir));
        return -1;
    }
    // The display: this host always shows 32 bits per pixel.
    if (!displayDepthAccepted(32)) {
        QMessageBox::critical(nullptr, "Corvella", QString::fromStdString(cp1252ToUtf8(loadString(4025).value_or(""))));
        return -1;
    }

    const int code = runPlayer(app, instance, programPath, programFolder, commandLine, currentDir, started);
    DisposeStack();
    return code;
}
