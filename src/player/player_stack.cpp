// Opening, saving and closing stacks from the player.
#include <filesystem>

#include "core/alerts.h"
#include "core/ui.h"
#include "player/navigation.h"
#include "player/player.h"
#include "player/preferences.h"
#include "player/text_fields.h"
#include "player/workspace_link.h"
#include "resources/strings.h"
#include "stack/stack_document.h"
#include "stack/stack_io.h"

namespace cv {

bool Player::openStackOnly(const std::string& path) {
    textFields_->forget();
    if (OpenStack(path) != 0) return false;
    std::error_code ec;
    isHomeStack_ = !homeStackPath_.empty() && std::filesystem::equivalent(path, homeStackPath_, ec);
    currentCardNumber_ = 0;
    return true;
}

bool Player::openStack(const std::string& path) {
    // Asked for by a stack's own card work, it waits for that work to end, as moves do.
    if (const auto d = navigation_->defer([this, path] { openStack(path); }); d != Navigation::Deferral::RunNow)
        return d == Navigation::Deferral::Waits;
    const auto work = navigation_->entering(); // its workspace and arrive actions
    if (!openStackOnly(path)) return false;
    showCardNumber(1, 3, 8, true);
    return true;
}

bool Player::replaceStack(const std::string& path) {
    if (const auto d = navigation_->defer([this, path] { replaceStack(path); }); d != Navigation::Deferral::RunNow)
        return d == Navigation::Deferral::Waits;
    const auto work = navigation_->entering();
    navigation_->closeStack();
    if (openStackOnly(path)) {
        showCardNumber(1, 3, 8, true);
        return true;
    }
    newUntitledStack();
    return false;
}

void Player::newUntitledStack() {
    const auto work = navigation_->entering();
    textFields_->forget();
    NewStack(kDefaultCardWidth, kDefaultCardHeight, 8);
    isHomeStack_ = false;
    currentCardNumber_ = 0;
    showCardNumber(1, 3, 8, true);
}

bool Player::saveStack(bool askName) {
    StackDocument& s = theStack();
    if (!s.open()) return false;
    bool saveAs = askName || s.path.empty();
    if (!saveAs && s.converted) {
        const int a = showAlert(kStrConvertedPrompt);
        if (a == kAnswerThird) return false;
        saveAs = a == kAnswerFirst;
    } else if (!saveAs && s.recoloured) {
        const int a = showAlert(kStrRecolouredPrompt);
        if (a == kAnswerThird) return false;
        saveAs = a == kAnswerFirst;
    }
    std::string target = s.path;
    if (saveAs) {
        const auto chosen = ui().chooseFile("Save Stack As", "Stacks (*.STK)|*.stk", true);
        if (!chosen) return false;
        target = *chosen;
    }
    textFields_->storePending();
    const int result = SaveStack(target);
    if (result == kErrFileLocked && !saveAs) {
        // The file cannot be written (read-only media, a locked file): the stack can still be
        // kept under another name, and the person is not left unable to close it.
        const auto chosen = ui().chooseFile("Save Stack As", "Stacks (*.STK)|*.stk", true);
        if (!chosen || SaveStack(*chosen) != 0) return false;
    } else if (result != 0) {
        return false;
    }
    updateTitle();
    return true;
}

bool Player::mayCloseStack() {
    StackDocument& s = theStack();
    if (!s.open()) return true;
    // A stack that saves itself does so without asking, once it has a file to go to.
    const bool savesItself = preferenceCopies().autoSave && !s.path.empty();
    // A workspace changed by scripts goes into the stack before a save that happens anyway (the
    // person's, or the stack's own), so that the save keeps it. On its own it asks nothing: a
    // scripted stack's variables are the state of its run, stored with it when it closes.
    if (s.changed || textFields_->modified() || savesItself) SaveWorkspace(*this);
    if (!s.changed && !textFields_->modified()) return true;
    if (savesItself) return saveStack(false);
    // Asked of experienced users too: unasked, the default would write over their file.
    switch (showAlert(2213, false, true)) {
    case kAnswerFirst: return saveStack(false); // yes only when the changes are safe
    case kAnswerThird: return true;             // Don't Save: the file stays as it was
    default: return false;                      // Cancel
    }
}

} // namespace cv
