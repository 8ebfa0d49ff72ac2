// The settings file, the Preferences dialog's password rules, what OK stores, and what reads
// the stored preferences.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <vector>

#include "browse_fixture.h"
#include "core/alerts.h"
#include "core/clock.h"
#include "core/settings.h"
#include "player/preferences.h"
#include "stack/record_layout.h"
#include "stack/stack_document.h"
#include "test_application.h"

namespace fs = std::filesystem;

namespace cv::test {

namespace {

std::string readFile(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

StackPreferences lockedWith(const std::string& password) {
    StackPreferences p;
    p.locked = 1;
    p.password = password;
    p.timersAndLinks = 1;
    p.options = 0x11; // keep-resources and Macintosh text: not the dialog's
    return p;
}

class PreferencesTest : public ::testing::Test {
protected:
    void SetUp() override {
        ensureTestApplication();
        setClock(&clock);
        headlessUi().clearLog();
        previousSettings = settings().path();
        folder = fs::temp_directory_path() / ("cv-prefs-" + std::to_string(::getpid()) + "-" + std::to_string(counter++));
        fs::create_directories(folder);
        ini = folder / "CVPREFS.INI";
        setSettingsFile(ini.string());
        player = std::make_unique<Player>(host);
    }
    void TearDown() override {
        player.reset();
        DisposeStack();
        setClock(nullptr);
        setAdvancedUser(false);
        setPresentationHandler(nullptr);
        preferenceCopies() = PreferenceCopies{};
        setSettingsFile(previousSettings);
        std::error_code ec;
        fs::permissions(folder, fs::perms::owner_all, ec);
        fs::remove_all(folder, ec);
    }
    void open(const std::string& settingsJson) {
        path = buildStack("{\"version\": 5, \"depth\": 8, \"card_width\": 120, \"card_height\": 80, \"settings\": " +
                          settingsJson + ", \"cards\": [{\"name\": \"One\"}, {\"name\": \"Two\"}]}");
        ASSERT_TRUE(player->openStack(path));
    }
    std::vector<uint8_t> headerBytes() const {
        const uint8_t* h = memRefs().data(theStack().header);
        return {h, h + hdr::kSize};
    }

    static inline int counter = 0;
    VirtualClock clock;
    HeadlessHost host;
    std::unique_ptr<Player> player;
    std::string previousSettings;
    fs::path folder, ini;
    std::string path;
};

} // namespace

TEST_F(PreferencesTest, SettingsAreReadWithoutRegardToCaseAndTheExperiencedUserIsWrittenBack) {
    std::ofstream(ini, std::ios::binary) << "[User]\r\nadvancedUser = Yes\r\nMultipleInstances=" << std::string(300, 'y')
                                         << "\r\n[NBAIDs]\r\nx=1\r\n";
    setSettingsFile(ini.string());
    EXPECT_EQ(readSetting("user", "ADVANCEDUSER", 64), "Yes");
    EXPECT_EQ(readSetting("USER", "multipleinstances", 256).size(), 255u); // the buffer cuts it
    EXPECT_EQ(readSetting("user", "missing", 64), "");

    StackPreferences p;
    applyPreferences(theStack(), p);
    const std::string text = readFile(ini);
    EXPECT_NE(text.find("AdvancedUser=No"), std::string::npos);
    EXPECT_EQ(text.find("advancedUser"), std::string::npos); // one key, not two
    EXPECT_NE(text.find("[NBAIDs]\r\nx=1"), std::string::npos);
    EXPECT_FALSE(advancedUser());
}

TEST_F(PreferencesTest, AMissingFileReadsEmptyAndAFolderThatCannotBeWrittenKeepsTheSettingForTheRun) {
    EXPECT_EQ(readSetting("user", "advancedUser", 64), "");
    ASSERT_TRUE(writeSetting("user", "AdvancedUser", "Yes"));
    EXPECT_EQ(readFile(ini), "[user]\r\nAdvancedUser=Yes\r\n");

    open("{}");
    const fs::path locked = folder / "locked";
    fs::create_directories(locked / "CVPREFS.INI.new"); // not even the owner can put the file there
    fs::permissions(locked, fs::perms::owner_read | fs::perms::owner_exec);
    setSettingsFile((locked / "CVPREFS.INI").string());
    EXPECT_FALSE(writeSetting("user", "AdvancedUser", "No"));
    StackPreferences p = readStackPreferences(theStack().header);
    p.experiencedUser = 1;
    p.showCardNumber = 1;
    applyPreferences(theStack(), p);
    EXPECT_TRUE(advancedUser());
    EXPECT_EQ(theStack().h16(hdr::kShowCardNumber), 1);
    EXPECT_FALSE(fs::exists(locked / "CVPREFS.INI"));
    fs::permissions(locked, fs::perms::owner_all);
}

TEST_F(PreferencesTest, ALockedStackWithAPasswordOpensItsOptionsOnlyToTheExactPassword) {
    PreferencesDialog d(lockedWith("Secret"), false);
    EXPECT_EQ(d.password(), ""); // not shown
    for (int c : {52, 53, 54, 55, 56, 57}) EXPECT_FALSE(d.enabled(c)) << c;
    EXPECT_TRUE(d.enabled(51));
    EXPECT_TRUE(d.enabled(58));
    d.click(55);
    EXPECT_TRUE(d.checked(55));
    d.passwordChanged("Secre"); // another letter case: the prefs_password session
    EXPECT_FALSE(d.enabled(55));
    d.passwordChanged("Secret");
    for (int c : {52, 53, 54, 55, 56}) EXPECT_TRUE(d.enabled(c)) << c;
    EXPECT_FALSE(d.enabled(57)); // never in the player
    d.click(55);
    EXPECT_FALSE(d.checked(55));
    // Typing on leaves them open.
    d.passwordChanged("Secrets");
    EXPECT_TRUE(d.enabled(55));
}

TEST_F(PreferencesTest, AStackLockedWithoutAPasswordOrUnlockedShowsEverything) {
    PreferencesDialog noPassword(lockedWith(""), true);
    for (int c : {51, 52, 53, 54, 55, 56, 58}) EXPECT_TRUE(noPassword.enabled(c)) << c;
    EXPECT_TRUE(noPassword.checked(51));
    StackPreferences open = lockedWith("Secret");
    open.locked = 0;
    PreferencesDialog unlocked(open, false);
    EXPECT_EQ(unlocked.password(), "Secret");
    EXPECT_TRUE(unlocked.enabled(54));
}

TEST_F(PreferencesTest, OkStoresWhatTheBoxesSayAndKeepsWhatTheyDoNotReach) {
    // Without the password only the experienced-user box and compression change; the password stays.
    PreferencesDialog guarded(lockedWith("Secret"), false);
    guarded.click(51);
    guarded.click(53);
    guarded.click(58);
    StackPreferences r = guarded.result();
    EXPECT_EQ(r.experiencedUser, 1);
    EXPECT_EQ(r.locked, 1);
    EXPECT_EQ(r.password, "Secret");
    EXPECT_EQ(r.options, 0x11 | kOptionCompression);
    EXPECT_EQ(r.presentationMode, 0);
    EXPECT_EQ(r.presentationOptions, kPresentationWasOff);

    StackPreferences shown = lockedWith("Secret");
    shown.presentationMode = 3;
    shown.options |= kOptionIgnoreClicks;
    PreferencesDialog open(shown, false);
    open.passwordChanged("Secret");
    open.click(52);
    open.click(53);
    open.passwordChanged("");
    r = open.result();
    EXPECT_EQ(r.options, 0x11);
    EXPECT_EQ(r.locked, 0);
    EXPECT_EQ(r.password, ""); // the person who knew it took it away
    EXPECT_EQ(r.presentationMode, 3); // its box is checked and cannot be cleared here
    EXPECT_EQ(r.presentationOptions, 0);
}

TEST_F(PreferencesTest, ApplyingStoresTheFieldsTheCopiesAndThePresentation) {
    open("{\"timers_and_links\": 1}");
    PreferenceCopies presented;
    int presentations = 0;
    setPresentationHandler([&](const PreferenceCopies& c) {
        presented = c;
        ++presentations;
    });
    StackPreferences same = readStackPreferences(theStack().header);
    applyPreferences(theStack(), same);
    EXPECT_FALSE(theStack().changed); // nothing differs

    StackPreferences p = same;
    p.autoSave = 1;
    p.locked = 1;
    p.password = "Key";
    p.options |= kOptionIgnoreClicks;
    p.presentationMode = 2;
    p.presentationColour = 256;
    applyPreferences(theStack(), p);
    EXPECT_TRUE(theStack().changed);
    EXPECT_EQ(theStack().h16(hdr::kAutoSave), 1);
    EXPECT_EQ(theStack().h16(hdr::kLocked), 1); // kept with the stack, not only for this run
    EXPECT_EQ(readStackPreferences(theStack().header), p);
    EXPECT_TRUE(preferenceCopies().autoSave);
    EXPECT_TRUE(preferenceCopies().stackLocked);
    EXPECT_TRUE(preferenceCopies().discardExtraClicks);
    EXPECT_EQ(presentations, 2);
    EXPECT_EQ(presented.presentationMode, 2);
    EXPECT_EQ(presented.presentationColour, 256);
    // Locked, Control+N is no longer a command.
    EXPECT_EQ(shortcutCommand('N', kModControl, preferenceCopies().stackLocked), 0);
}

TEST_F(PreferencesTest, CancelChangesNeitherTheStackNorTheSettingsFile) {
    open("{\"show_card_number\": 0, \"locked\": 1}");
    std::ofstream(ini, std::ios::binary) << "[user]\r\nadvancedUser=Yes\r\n";
    setSettingsFile(ini.string());
    const std::vector<uint8_t> header = headerBytes();
    const std::string before = readFile(ini);
    player->runCommand(kCmdPreferences); // no answer: Cancel
    EXPECT_EQ(headerBytes(), header);
    EXPECT_EQ(readFile(ini), before);
    EXPECT_FALSE(theStack().changed);
    // OK (the titles are the prefs_cancel session's): the experienced user is written.
    headlessUi().queueText("54=1 51=1");
    player->runCommand(kCmdPreferences);
    EXPECT_EQ(readFile(ini), "[user]\r\nAdvancedUser=Yes\r\n");
    EXPECT_EQ(headlessUi().log().back(), "dialog PREFERENCES: 51+ 52- 53+ 54+ 55+ 56- 57-x 58- 59-");
}

TEST_F(PreferencesTest, AChangedStackThatSavesItselfIsSavedWithoutAQuestion) {
    open("{\"auto_save\": 1}");
    theStack().setH16(hdr::kShowCardNumber, 1);
    theStack().changed = true;
    EXPECT_TRUE(player->mayCloseStack());
    EXPECT_TRUE(headlessUi().log().empty());
    EXPECT_FALSE(theStack().changed);
    const std::string saved = readFile(path);
    ASSERT_GT(saved.size(), size_t(hdr::kShowCardNumber + 1));
    EXPECT_EQ(saved[hdr::kShowCardNumber + 1], 1); // big-endian

    open("{\"auto_save\": 0}");
    theStack().changed = true;
    headlessUi().queueAnswer(kAnswerThird);
    EXPECT_TRUE(player->mayCloseStack());
    ASSERT_FALSE(headlessUi().log().empty());
    EXPECT_EQ(headlessUi().log().back().substr(0, 10), "alert 2213");
}

} // namespace cv::test
