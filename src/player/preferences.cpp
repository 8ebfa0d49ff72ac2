// The settings file, the stack preferences, their process-wide copies and the Preferences
// dialog's rules.
#include "player/preferences.h"

#include <cstring>

#include "core/alerts.h"
#include "core/byte_order.h"
#include "core/settings.h"
#include "player/player.h"
#include "player/stack_world.h"
#include "stack/record_layout.h"
#include "stack/stack_document.h"

namespace cv {

namespace {

std::function<void(const PreferenceCopies&)>& presentationHandler() {
    static std::function<void(const PreferenceCopies&)> handler;
    return handler;
}

bool& checkOf(bool (&checks)[10], int control) { return checks[control - kPrefPassword]; }

bool isCheckBox(int control) { return control >= kPrefExperienced && control <= kPrefAllFiles; }

} // namespace

// ---- Stack preferences ----

StackPreferences readStackPreferences(Handle header) {
    StackPreferences p;
    const uint8_t* h = memRefs().data(header);
    if (!h || GetHandleSize(header) < hdr::kSize) return p;
    p.autoSave = get16(h + hdr::kAutoSave);
    p.experiencedUser = get16(h + prefs_hdr::kExperiencedUser);
    p.options = get16(h + hdr::kFlags);
    p.timersAndLinks = get16(h + hdr::kTimersOn);
    p.locked = get16(h + hdr::kLocked);
    p.showCardNumber = get16(h + hdr::kShowCardNumber);
    const char* pw = reinterpret_cast<const char*>(h + hdr::kPassword);
    p.password.assign(pw, strnlen(pw, kPasswordLimit));
    p.presentationMode = get16(h + hdr::kPresentation);
    p.presentationColour = get16(h + prefs_hdr::kPresentationColour);
    p.presentationOptions = get16(h + prefs_hdr::kPresentationOptions);
    return p;
}

void writeStackPreferences(Handle header, const StackPreferences& p) {
    uint8_t* h = memRefs().data(header);
    if (!h || GetHandleSize(header) < hdr::kSize) return;
    put16(h + hdr::kAutoSave, p.autoSave);
    put16(h + prefs_hdr::kExperiencedUser, p.experiencedUser);
    put16(h + hdr::kFlags, p.options);
    put16(h + hdr::kTimersOn, p.timersAndLinks);
    put16(h + hdr::kLocked, p.locked);
    put16(h + hdr::kShowCardNumber, p.showCardNumber);
    std::memset(h + hdr::kPassword, 0, prefs_hdr::kPasswordSize);
    std::memcpy(h + hdr::kPassword, p.password.data(), std::min(p.password.size(), kPasswordLimit));
    put16(h + hdr::kPresentation, p.presentationMode);
    put16(h + prefs_hdr::kPresentationColour, p.presentationColour);
    put16(h + prefs_hdr::kPresentationOptions, p.presentationOptions);
}

// ---- The copies ----

PreferenceCopies& preferenceCopies() {
    static PreferenceCopies copies;
    return copies;
}

namespace {
void copyFrom(const StackPreferences& p) {
    PreferenceCopies& c = preferenceCopies();
    c.autoSave = p.autoSave != 0;
    c.discardExtraClicks = (p.options & kOptionIgnoreClicks) != 0;
    c.timersAndLinksOn = p.timersAndLinks != 0;
    c.stackLocked = p.locked != 0;
    c.showCardNumber = p.showCardNumber != 0;
    c.presentationMode = p.presentationMode;
    c.presentationColour = p.presentationColour;
    c.presentationOptions = p.presentationOptions;
}
} // namespace

void loadPreferenceCopies() {
    const StackDocument& s = theStack();
    if (!s.open()) {
        preferenceCopies() = PreferenceCopies{};
        return;
    }
    copyFrom(readStackPreferences(s.header));
}

void setPresentationHandler(std::function<void(const PreferenceCopies&)> handler) {
    presentationHandler() = std::move(handler);
}

void applyPresentation() {
    if (presentationHandler()) presentationHandler()(preferenceCopies());
}

void trackStackPreferences(Player& player) {
    auto arrive = std::move(player.onArrive);
    player.onArrive = [arrive](bool arriveAtStack) {
        if (arriveAtStack) {
            loadPreferenceCopies();
            applyPresentation();
        }
        if (arrive) arrive(arriveAtStack);
    };
}

// ---- "CVPREFS.INI" ----

std::string readSetting(const std::string& section, const std::string& key, size_t bufferSize) {
    std::string value = settings().get(section, key);
    if (bufferSize == 0) return {};
    if (value.size() > bufferSize - 1) value.resize(bufferSize - 1);
    return value;
}

bool writeSetting(const std::string& section, const std::string& key, const std::string& value) {
    return settings().set(section, key, value);
}

// ---- The dialog ----

PreferencesDialog::PreferencesDialog(const StackPreferences& stored, bool advancedUser, std::optional<bool> allFiles)
    : stored_(stored), allFilesAvailable_(allFiles.has_value()) {
    checkOf(checks_, kPrefAllFiles) = allFiles.value_or(false);
    checkOf(checks_, kPrefExperienced) = advancedUser;
    checkOf(checks_, kPrefIgnoreClicks) = (stored.options & kOptionIgnoreClicks) != 0;
    checkOf(checks_, kPrefLockStack) = stored.locked != 0;
    checkOf(checks_, kPrefShowCardNumber) = stored.showCardNumber != 0;
    checkOf(checks_, kPrefTimersAndLinks) = stored.timersAndLinks != 0;
    checkOf(checks_, kPrefAutoSave) = stored.autoSave != 0;
    checkOf(checks_, kPrefPresentation) = stored.presentationMode != 0;
    checkOf(checks_, kPrefCompression) = (stored.options & kOptionCompression) != 0;
    stored_.password.resize(std::min(stored_.password.size(), kPasswordLimit));
    protected_ = stored.locked != 0 && !stored_.password.empty();
    // A protected stack does not show its password.
    if (!protected_) password_ = stored_.password;
}

bool PreferencesDialog::checked(int control) const {
    return isCheckBox(control) && checks_[control - kPrefPassword];
}

bool PreferencesDialog::enabled(int control) const {
    switch (control) {
    case kPrefPassword:
    case kPrefExperienced:
    case kPrefCompression: return true;
    case kPrefPresentation: return false; // its sub-dialog belongs to the authoring tools
    // The person's files are theirs to give, whatever the stack's password protects.
    case kPrefAllFiles: return allFilesAvailable_;
    case kPrefIgnoreClicks:
    case kPrefLockStack:
    case kPrefShowCardNumber:
    case kPrefTimersAndLinks:
    case kPrefAutoSave: return !protected_;
    default: return false;
    }
}

void PreferencesDialog::click(int control) {
    if (!isCheckBox(control) || !enabled(control)) return;
    bool& c = checkOf(checks_, control);
    c = !c;
}

void PreferencesDialog::passwordChanged(const std::string& text) {
    password_ = text.substr(0, kPasswordLimit);
    // The stored password is compared as typed, letter case and all.
    if (protected_ && password_ == stored_.password) protected_ = false;
}

StackPreferences PreferencesDialog::result() const {
    StackPreferences p = stored_;
    p.experiencedUser = checked(kPrefExperienced) ? 1 : 0;
    p.locked = checked(kPrefLockStack) ? 1 : 0;
    p.showCardNumber = checked(kPrefShowCardNumber) ? 1 : 0;
    p.timersAndLinks = checked(kPrefTimersAndLinks) ? 1 : 0;
    p.autoSave = checked(kPrefAutoSave) ? 1 : 0;
    p.options = uint16_t(p.options & ~(kOptionIgnoreClicks | kOptionCompression));
    if (checked(kPrefIgnoreClicks)) p.options |= kOptionIgnoreClicks;
    if (checked(kPrefCompression)) p.options |= kOptionCompression;
    if (!checked(kPrefPresentation)) {
        p.presentationMode = 0;
        p.presentationOptions |= kPresentationWasOff;
    }
    // Someone who could not give the password leaves it as it was: an empty field would
    // otherwise take the protection away.
    if (!protected_) p.password = password_;
    return p;
}

void applyPreferences(StackDocument& stack, const StackPreferences& edited) {
    const bool experienced = edited.experiencedUser != 0;
    // A folder that cannot be written keeps the setting for this run only.
    writeSetting("user", "AdvancedUser", experienced ? "Yes" : "No");
    if (stack.open()) {
        StackPreferences stored = readStackPreferences(stack.header);
        // Fields outside the dialog's reach (the option bits it does not edit) stay.
        StackPreferences next = edited;
        next.options = uint16_t((stored.options & ~(kOptionIgnoreClicks | kOptionCompression)) |
                                (edited.options & (kOptionIgnoreClicks | kOptionCompression)));
        if (!(next == stored)) {
            writeStackPreferences(stack.header, next);
            stack.changed = true;
        }
        copyFrom(next);
    }
    setAdvancedUser(experienced);
    preferenceCopies().stackLocked = edited.locked != 0;
    applyPresentation();
}

bool showPreferencesDialog(Player& player) {
    StackDocument& s = theStack();
    if (!s.open()) return false;
    const bool hasFile = !s.path.empty();
    const bool allFiles = fullFileAccess(s.path);
    PreferencesDialog dialog(readStackPreferences(s.header), advancedUser(),
                             hasFile ? std::optional<bool>(allFiles) : std::nullopt);
    if (!ui().preferencesDialog(dialog)) return false;
    applyPreferences(s, dialog.result());
    if (hasFile && dialog.allFiles() != allFiles) {
        setFullFileAccess(s.path, dialog.allFiles());
        enterStackWorld(player);
    }
    player.updateTitle();
    return true;
}

} // namespace cv
