// Menu commands and the keyboard shortcut table.
#include "core/alerts.h"
#include "core/ui.h"
#include "player/navigation.h"
#include "player/player.h"
#include "player/preferences.h"
#include "player/script_bridge.h"
#include "player/script_windows.h"
#include "player/text_fields.h"
#include "player/version.h"
#include "resources/strings.h"
#include "stack/record_layout.h"
#include "stack/stack_document.h"

namespace cv {

namespace {

struct Shortcut {
    int key;
    int command;
    bool notWithShift;
    bool unlessLocked;
};

// Control+key (and Delete alone) to command.
constexpr Shortcut kShortcuts[] = {
    {kKeyDelete, kCmdClear, true, false},
    {'1', kCmdFirst, true, false},
    {'9', kCmdLast, true, false},
    {'A', 106, false, true},
    {'C', kCmdCopy, false, false},
    {'E', kCmdExportScreen, false, false},
    {'F', kCmdFind, false, false},
    {'H', kCmdHome, false, false},
    {'J', kCmdJump, false, false},
    {'N', 155, false, true},
    {'O', kCmdOpenStack, false, false},
    {'P', kCmdPrint, false, false},
    {'S', kCmdSaveStack, false, false},
    {'V', kCmdPaste, false, false},
    {'X', kCmdCut, false, false},
    {'Z', kCmdUndo, false, false},
    {kKeyOem1, kCmdPreferences, true, false},
    {kKeyOemComma, kCmdPrevious, false, false},
    {kKeyOemPeriod, kCmdNext, false, false},
    {kKeyOem3, kCmdBack, false, false},
};

bool stackLocked() { return theStack().open() && theStack().h16(hdr::kLocked) != 0; }

// Commands that leave text editing as it is.
bool keepsTextEditing(int id) {
    switch (id) {
    case 104: case 105: case 108: case 109: case 150: case 151: case 152: case 153: case 154:
    case 310: case 359: case 360: case 400: case 600:
        return true;
    default:
        return false;
    }
}

} // namespace

int shortcutCommand(int key, uint32_t modifiers, bool locked) {
    const bool control = (modifiers & kModControl) != 0;
    const bool shift = (modifiers & kModShift) != 0;
    if (control == (key == kKeyDelete)) return 0; // Control: all keys but Delete; else only Delete
    for (const Shortcut& s : kShortcuts) {
        if (s.key != key) continue;
        if (s.notWithShift && shift) return 0;
        if (s.unlessLocked && locked) return 0;
        return s.command;
    }
    return 0;
}

bool Player::translateShortcut(const Message& m) {
    if (m.type != MsgType::KeyDown) return false;
    const int command = shortcutCommand(m.key, m.modifiers, stackLocked());
    if (!command) return false;
    // The key was a command: the characters it typed, queued right behind it, are not typed.
    while (const Message* next = queue_.peek()) {
        if (next->type != MsgType::Char || next->key != m.key) break;
        Message typed;
        queue_.take(&typed);
    }
    Message c;
    c.type = MsgType::Command;
    c.command = command;
    c.notify = 1;
    dispatch(c);
    return true;
}

bool Player::commandEnabled(int id) const {
    switch (id) {
    case kCmdNewStack: return false;
    // Undo, printing and image export belong to the authoring tools; the player has none.
    case kCmdUndo: case kCmdExportScreen: case kCmdPageSetup: case kCmdPrint: return false;
    case kCmdHome: return !isHomeStack_ && !homeStackPath_.empty();
    case kCmdCut: case kCmdCopy: case kCmdPaste: case kCmdClear: return textFields_->commandEnabled(id);
    default: return true;
    }
}

std::string Player::menuText(int id) const {
    if (std::string text = textFields_->menuText(id); !text.empty()) return text;
    switch (id) {
    case kCmdPrint: return loadString(2025).value_or("Print...\tCtrl+P");
    case kCmdCut: return "Cut\tCtrl+X";
    case kCmdCopy: return "Copy\tCtrl+C";
    case kCmdClear: return "Clear\tDel";
    case kCmdPaste: return "Paste\tCtrl+V";
    default: return {};
    }
}

void Player::runCommand(int id, int notify) {
    (void)notify;
    if (!keepsTextEditing(id) && commandHandler) commandHandler(-1); // ends text editing
    switch (id) {
    case kCmdNewStack: return;
    case kCmdOpenStack: {
        // Chosen by a stack's card work (a script's menu command), it waits for that work to end.
        if (navigation_->defer([this] { runCommand(kCmdOpenStack); }) != Navigation::Deferral::RunNow) return;
        if (!mayCloseStack()) return;
        navigation_->leaveCard(true);
        const auto path = ui().chooseFile("Open Stack", loadString(4118).value_or("Stacks (*.STK)") + "|*.stk", false);
        if (!path) {
            const auto work = navigation_->entering();
            if (theStack().open()) showCardNumber(std::max(currentCardNumber_, 1), 3, 8, false);
            return;
        }
        replaceStack(*path);
        return;
    }
    case kCmdSaveStack: saveStack(false); return;
    case kCmdSaveStackAs: saveStack(true); return;
    case kCmdExit: {
        Message c;
        c.type = MsgType::Close;
        post(c);
        return;
    }
    case kCmdBack: navigation_->goBack(); return;
    case kCmdHome: navigation_->goHome(); return;
    case kCmdFirst: navigation_->goFirst(); return;
    case kCmdPrevious: navigation_->goPrevious(); return;
    case kCmdNext: navigation_->goNext(); return;
    case kCmdLast: navigation_->goLast(); return;
    case kCmdJump: navigation_->jumpToCardDialog(); return;
    case kCmdSlideShow: navigation_->runSlideShow(); return;
    case kCmdPreferences: showPreferencesDialog(*this); return;
    case kCmdAbout:
        ui().messageBox("About Corvella Player", std::string("Corvella Player\nVersion ") + playerVersion() +
                                                     "\nOpens Corvella stacks made on Windows and the Macintosh.");
        return;
    case kCmdRunBox:
        if (ScriptWindowsView* v = scripts_->windows().view()) v->setRunBoxOpen(!v->runBoxOpen());
        return;
    default:
        if (commandHandler) commandHandler(id);
        return;
    }
}


} // namespace cv
