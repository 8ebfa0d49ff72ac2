#pragma once
// The player's settings: "CVPREFS.INI" (section "user") and the preferences each stack keeps
// in its header, the copies of the open stack's preferences that the rest of the program
// reads, and the Preferences dialog's rules (the password that protects a locked stack's
// options). Nothing here needs a display: the window's dialog only shows a PreferencesForm.
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "core/handles.h"
#include "core/ui.h"

namespace cv {

class Player;
struct StackDocument;

// Header fields of the preferences that the stored layout leaves unplaced (our reading;
// the placed ones are in stack/record_layout.h). 50 is the field the opener already keeps
// within 1-256, as a 1-based palette index is.
namespace prefs_hdr {
constexpr uint32_t kExperiencedUser = 18;
constexpr uint32_t kPresentationColour = 50;
constexpr uint32_t kPresentationOptions = 52;
constexpr uint32_t kPasswordSize = 16; // NUL-terminated: at most 15 characters
} // namespace prefs_hdr

// Controls of the "PREFERENCES" dialog.
enum PrefsControl : int {
    kPrefPassword = 50,
    kPrefExperienced = 51,
    kPrefIgnoreClicks = 52,
    kPrefLockStack = 53,
    kPrefShowCardNumber = 54,
    kPrefTimersAndLinks = 55,
    kPrefAutoSave = 56,
    kPrefPresentation = 57,
    kPrefCompression = 58,
    // The person's own choice, kept in the settings file rather than in the stack.
    kPrefAllFiles = 59,
};

constexpr size_t kPasswordLimit = 15;
// Option bits of header offset 14 that the dialog edits.
constexpr uint16_t kOptionIgnoreClicks = 0x02;
constexpr uint16_t kOptionCompression = 0x04;
// Presentation options: presentation mode was turned off.
constexpr uint16_t kPresentationWasOff = 0x01;

// A stack's preferences, as its header holds them.
struct StackPreferences {
    uint16_t autoSave = 0;
    uint16_t experiencedUser = 0;
    uint16_t options = 0;
    uint16_t timersAndLinks = 0;
    uint16_t locked = 0;
    uint16_t showCardNumber = 0;
    std::string password;           // at most 15 characters
    uint16_t presentationMode = 0;  // 0 off, 2 a colour round the card, 3 the card's picture
    uint16_t presentationColour = 1;
    uint16_t presentationOptions = 0;

    bool operator==(const StackPreferences&) const = default;
};

StackPreferences readStackPreferences(Handle header);
void writeStackPreferences(Handle header, const StackPreferences& p);

// The open stack's preferences as the program reads them.
struct PreferenceCopies {
    bool autoSave = false;
    bool discardExtraClicks = false;
    bool timersAndLinksOn = true;
    bool stackLocked = false;
    bool showCardNumber = false;
    uint16_t presentationMode = 0;
    uint16_t presentationColour = 1;
    uint16_t presentationOptions = 0;

    bool presentationOn() const { return presentationMode != 0; }
};
PreferenceCopies& preferenceCopies();
// Takes the copies from the open stack (an open stack with no header gives the defaults).
void loadPreferenceCopies();
// Called whenever the presentation settings may have changed: the window shows or hides the
// background round the card.
void setPresentationHandler(std::function<void(const PreferenceCopies&)> handler);
void applyPresentation();
// Makes the player take the copies (and apply the presentation) each time it enters a stack.
void trackStackPreferences(Player& player);

// ---- "CVPREFS.INI" ----
// A value of the settings file, cut as a buffer of `bufferSize` characters (with its NUL) cuts it.
std::string readSetting(const std::string& section, const std::string& key, size_t bufferSize = 256);
// False when the file could not be written.
bool writeSetting(const std::string& section, const std::string& key, const std::string& value);

// ---- The Preferences dialog ----

// Its rules, working on a copy of the stack's preferences.
class PreferencesDialog final : public PreferencesForm {
public:
    // `allFiles`: whether the stack's scripts may use all the person's files; nothing for a
    // stack without a file, whose box is disabled.
    PreferencesDialog(const StackPreferences& stored, bool advancedUser, std::optional<bool> allFiles = std::nullopt);

    bool checked(int control) const override;
    bool enabled(int control) const override;
    void click(int control) override;
    const std::string& password() const override { return password_; }
    void passwordChanged(const std::string& text) override;
    size_t passwordLimit() const override { return kPasswordLimit; }

    // Whether the options are still protected by the password.
    bool optionsProtected() const { return protected_; }
    // What OK stores.
    StackPreferences result() const;
    bool allFiles() const { return checks_[kPrefAllFiles - kPrefPassword]; }

private:
    StackPreferences stored_;
    bool checks_[10] = {}; // controls 50-59
    std::string password_;
    bool protected_ = false;
    bool allFilesAvailable_ = false;
};

// Stores the edited preferences: "AdvancedUser" in the settings file, the header fields,
// the copies, and the presentation. The stack counts as changed when its fields changed.
void applyPreferences(StackDocument& stack, const StackPreferences& edited);

// Command 651: the dialog for the open stack; OK applies it and refreshes the title.
// True when OK was chosen.
bool showPreferencesDialog(Player& player);

} // namespace cv
