// The open stack's world: its scripts write to its own data folder and read beside it, another
// stack of the same name has another folder, and the person can give one stack all files.
#include <gtest/gtest.h>
#include <unistd.h>

#include <QCheckBox>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "browse_fixture.h"
#include "core/clock.h"
#include "core/settings.h"
#include "core/ui.h"
#include "player/player.h"
#include "player/preferences.h"
#include "player/qt/preferences_dialog.h"
#include "player/script_bridge.h"
#include "player/stack_world.h"
#include "stack/stack_document.h"
#include "test_application.h"

namespace cv::test {

namespace {

namespace fs = std::filesystem;

std::string readAll(const fs::path& p) {
    std::ifstream f(p, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
}

class StackWorldTest : public ::testing::Test {
protected:
    void SetUp() override {
        ensureTestApplication();
        setClock(&clock);
        headlessUi().clearLog();
        std::string templ = (fs::temp_directory_path() / "cvstackworldXXXXXX").string();
        root = ::mkdtemp(templ.data()) ? templ : std::string();
        const char* xdg = std::getenv("XDG_DATA_HOME");
        savedXdg = xdg ? std::optional<std::string>(xdg) : std::nullopt;
        setenv("XDG_DATA_HOME", (root / "home-data").c_str(), 1);
        previousSettings = settings().path();
        setSettingsFile((root / "CVPREFS.INI").string());
        player = std::make_unique<Player>(host);
    }
    void TearDown() override {
        player.reset();
        DisposeStack();
        setClock(nullptr);
        setSettingsFile(previousSettings);
        if (savedXdg) setenv("XDG_DATA_HOME", savedXdg->c_str(), 1);
        else unsetenv("XDG_DATA_HOME");
        std::error_code ec;
        fs::remove_all(root, ec);
    }
    // A stack named Game.stk in `folder` (under the test's root), opened.
    std::string openGame(const std::string& folder, const std::string& settingsJson = "{}") {
        const std::string built = buildStack(
            "{\"version\": 5, \"depth\": 8, \"card_width\": 120, \"card_height\": 80, \"settings\": " + settingsJson +
            ", \"cards\": [{\"name\": \"One\"}]}");
        const fs::path path = root / folder / "Game.stk";
        fs::create_directories(path.parent_path());
        fs::copy_file(built, path, fs::copy_options::overwrite_existing);
        EXPECT_TRUE(player->openStack(path.string()));
        return path.string();
    }
    std::string print(const std::string& script) {
        const size_t before = player->scripts().printed().size();
        player->scripts().run("TEXTIO " + script);
        return player->scripts().printed().substr(before);
    }
    bool shown(const std::string& text) const {
        for (const std::string& line : headlessUi().log())
            if (line.find(text) != std::string::npos) return true;
        return false;
    }
    fs::path dataOf(const std::string& stackPath) const {
        return root / "home-data/corvella/stacks" / script::FileWorld::WorldName(stackPath);
    }

    fs::path root;
    std::optional<std::string> savedXdg;
    std::string previousSettings;
    VirtualClock clock;
    HeadlessHost host;
    std::unique_ptr<Player> player;
};

} // namespace

TEST_F(StackWorldTest, AStacksScriptsWriteToItsDataFolderAndReadBesideIt) {
    const std::string first = openGame("one");
    std::ofstream(root / "one/Levels.txt") << "three levels\n";
    std::ofstream(root / "secret.txt") << "secret\n";
    EXPECT_EQ(print("SAVE \"C:\\\\TOP.LGO POFILE \"LEVELS.TXT SHOW PREFIX"), "three levels\nC:\\\n");
    EXPECT_TRUE(fs::exists(dataOf(first) / "TOP.LGO"));
    EXPECT_FALSE(fs::exists(root / "one/TOP.LGO"));
    headlessUi().clearLog();
    print("POFILE \"..\\\\secret.txt");
    EXPECT_TRUE(shown("Can't read from \"..\\secret.txt"));
    print("POFILE \"" + (root / "secret.txt").string());
    EXPECT_TRUE(shown("Can't read from \"" + (root / "secret.txt").string()));

    // Another stack of the same name elsewhere has a world of its own.
    const std::string second = openGame("two");
    EXPECT_NE(dataOf(first), dataOf(second));
    EXPECT_EQ(print("SHOW FILEP \"TOP.LGO SHOW FILEP \"LEVELS.TXT"), "FALSE\nFALSE\n");
    // Files the first left open are not handed to the second.
    openGame("one");
    print("OPEN \"KEPT.TXT");
    openGame("two");
    EXPECT_EQ(print("SHOW ALLOPEN"), "[]\n");
    // And the first finds its file again when it opens once more.
    openGame("one");
    EXPECT_EQ(print("SHOW FILEP \"TOP.LGO"), "TRUE\n");
}

TEST_F(StackWorldTest, AStackKeptInTheHomeFolderItselfDoesNotSeeItsNeighbours) {
    const char* home = std::getenv("HOME");
    const std::string savedHome = home ? home : "";
    setenv("HOME", (root / "person").c_str(), 1);
    openGame("person");
    std::ofstream(root / "person/private.txt") << "private\n";
    EXPECT_EQ(print("SHOW FILEP \"private.txt"), "FALSE\n");
    EXPECT_TRUE(stackWorld((root / "person/Game.stk").string()).readFolders().empty());
    EXPECT_TRUE(stackWorld((root / "Game.stk").string()).readFolders().empty());
    EXPECT_TRUE(stackWorld("/Game.stk").readFolders().empty());
    // In a folder of its own under home, the stack sees that folder.
    openGame("person/Games");
    std::ofstream(root / "person/Games/levels.txt") << "levels\n";
    EXPECT_EQ(print("SHOW FILEP \"levels.txt"), "TRUE\n");
    if (home) setenv("HOME", savedHome.c_str(), 1);
    else unsetenv("HOME");
}

TEST_F(StackWorldTest, ThePersonCanGiveAStackAllFiles) {
    const std::string path = openGame("one", "{\"locked\": 1, \"password\": \"pw\"}");
    std::ofstream(root / "secret.txt") << "secret\n";
    const std::string outside = (root / "secret.txt").string();
    EXPECT_FALSE(fullFileAccess(path));
    // The box is the person's, whatever the stack's password protects; it is remembered for
    // this stack file in the settings file.
    headlessUi().queueText("59=1");
    player->runCommand(kCmdPreferences);
    EXPECT_EQ(headlessUi().log().back(), "dialog PREFERENCES: 51- 52-x 53+x 54-x 55+x 56-x 57-x 58- 59+");
    EXPECT_NE(readAll(root / "CVPREFS.INI").find("[FileAccess]\r\n" + script::FileWorld::WorldName(path) + "=Yes"),
              std::string::npos);
    EXPECT_EQ(print("POFILE \"" + outside + " SHOW PREFIX"), "secret\n" + (root / "one").string() + "\n");
    // Reopened, the choice holds.
    openGame("one");
    EXPECT_EQ(print("POFILE \"../secret.txt"), "secret\n");
    headlessUi().queueText("59=0");
    player->runCommand(kCmdPreferences);
    EXPECT_FALSE(fullFileAccess(path));
    headlessUi().clearLog();
    print("POFILE \"../secret.txt");
    EXPECT_TRUE(shown("Can't read from"));
}

TEST_F(StackWorldTest, TheDialogsBoxIsThePersonsAndOnlyForAStackWithAFile) {
    PreferencesDialog form(StackPreferences{.locked = 1, .password = "pw"}, false, false);
    PreferencesView view(nullptr, form);
    QCheckBox* box = view.checkBox(kPrefAllFiles);
    ASSERT_NE(box, nullptr);
    EXPECT_TRUE(box->isEnabled());
    EXPECT_FALSE(view.checkBox(kPrefAutoSave)->isEnabled());  // the password protects these
    box->click();
    EXPECT_TRUE(form.allFiles());
    PreferencesDialog newStack(StackPreferences{}, false);
    PreferencesView newView(nullptr, newStack);
    EXPECT_FALSE(newView.checkBox(kPrefAllFiles)->isEnabled());
}

TEST_F(StackWorldTest, AllFilesForOneRunAreNotRemembered) {
    const std::string path = (root / "one/Game.stk").string();
    allowFilesThisRun((root / "one/./Game.stk").string());
    openGame("one");
    EXPECT_TRUE(fullFileAccess(path));
    EXPECT_FALSE(fs::exists(root / "CVPREFS.INI"));
    EXPECT_FALSE(fullFileAccess((root / "two/Game.stk").string()));
    setFullFileAccess(path, false);  // leaves this run's grant too
    EXPECT_FALSE(fullFileAccess(path));
}

} // namespace cv::test
