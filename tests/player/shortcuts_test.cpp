// The keyboard shortcut table, the keys of the window as the player sees them, and the menus'
// shortcut texts agreeing with what the keys do.
#include <gtest/gtest.h>

#include <cctype>

#include "browse_fixture.h"
#include "player/qt/key_map.h"
#include "player/shell.h"
#include "resources/strings.h"
#include "stack/record_layout.h"
#include "stack/stack_document.h"

using namespace cv;

namespace {

constexpr uint32_t kCtrl = kModControl, kShift = kModShift;

const char* kFourCards = R"({"card_width": 200, "card_height": 120, "cards": [
    {"name": "A"}, {"name": "B"}, {"name": "C"}, {"name": "D"}]})";

// The virtual key of a menu's shortcut text ("Ctrl+," "Del").
int keyOfShortcut(const std::string& text) {
    const std::string k = text.substr(text.rfind('+') + 1);
    if (k == "Del") return kKeyDelete;
    if (k == ";") return kKeyOem1;
    if (k == ",") return kKeyOemComma;
    if (k == ".") return kKeyOemPeriod;
    if (k == "`") return kKeyOem3;
    return k.size() == 1 ? k[0] : 0;
}

} // namespace

TEST(ShortcutTable, ControlKeysAndDeleteAlone) {
    EXPECT_EQ(shortcutCommand(kKeyDelete, 0, false), kCmdClear);
    EXPECT_EQ(shortcutCommand(kKeyDelete, kCtrl, false), 0);
    EXPECT_EQ(shortcutCommand(kKeyDelete, kShift, false), 0);
    EXPECT_EQ(shortcutCommand('1', kCtrl, false), kCmdFirst);
    EXPECT_EQ(shortcutCommand('1', kCtrl | kShift, false), 0);
    EXPECT_EQ(shortcutCommand('9', kCtrl | kShift, false), 0);
    EXPECT_EQ(shortcutCommand(kKeyOemComma, kCtrl | kShift, false), kCmdPrevious);
    EXPECT_EQ(shortcutCommand(kKeyOem1, kCtrl | kShift, false), 0);
    EXPECT_EQ(shortcutCommand(kKeyOem1, kCtrl, false), kCmdPreferences);
    EXPECT_EQ(shortcutCommand('H', kCtrl | kShift, false), kCmdHome);
    // Letters without Control are typing.
    EXPECT_EQ(shortcutCommand('O', 0, false), 0);
    EXPECT_EQ(shortcutCommand('B', kCtrl, false), 0);
    // A locked stack refuses only the authoring shortcuts (ShortcutTest below).
    EXPECT_EQ(shortcutCommand('O', kCtrl, true), kCmdOpenStack);
}

TEST(WindowKeys, ShiftedSymbolsAreTheirKeys) {
    // Control+Shift+1 arrives from the window as '!' and must stay key '1' (which then does nothing).
    EXPECT_EQ(windowsVirtualKey(Qt::Key_Exclam), '1');
    EXPECT_EQ(windowsVirtualKey(Qt::Key_ParenLeft), '9');
    EXPECT_EQ(windowsVirtualKey(Qt::Key_Less), kKeyOemComma);
    EXPECT_EQ(windowsVirtualKey(Qt::Key_Greater), kKeyOemPeriod);
    EXPECT_EQ(windowsVirtualKey(Qt::Key_Colon), kKeyOem1);
    EXPECT_EQ(windowsVirtualKey(Qt::Key_AsciiTilde), kKeyOem3);
    EXPECT_EQ(windowsVirtualKey(Qt::Key_QuoteLeft), kKeyOem3);
    EXPECT_EQ(windowsVirtualKey(Qt::Key_Enter), kKeyReturn);
    EXPECT_EQ(windowsVirtualKey(Qt::Key_F1), 0x70);
    EXPECT_EQ(windowsVirtualKey(Qt::Key_1, true), 0x61); // keypad digits are keys of their own
    EXPECT_EQ(windowsVirtualKey(Qt::Key_Adiaeresis), 0);
    EXPECT_EQ(playerModifiers(Qt::ControlModifier | Qt::ShiftModifier), kCtrl | kShift);

    // Delete types nothing; Control+letter types its control character; Return and Tab type.
    EXPECT_FALSE(typedCharacter(0x7F, false));
    EXPECT_TRUE(typedCharacter(3, true));
    EXPECT_FALSE(typedCharacter(3, false));
    EXPECT_TRUE(typedCharacter('\r', false));
    EXPECT_TRUE(typedCharacter(0xE9, false));
}

TEST(MainMenu, LayoutAndShortcutTexts) {
    const std::vector<MenuDef>& menus = mainMenu();
    ASSERT_GT(menus.size(), static_cast<size_t>(kExtrasMenuIndex));
    EXPECT_EQ(menus[0].title, "File");
    EXPECT_EQ(menus[1].title, "Edit");
    EXPECT_EQ(menus[2].title, "Move");
    EXPECT_EQ(menus[kExtrasMenuIndex].title, "Extras");
    EXPECT_EQ(menus.back().title, "Help");
    int shortcuts = 0;
    for (const MenuDef& menu : menus) {
        EXPECT_FALSE(menu.items.empty()) << menu.title;
        for (const MenuItemDef& item : menu.items) {
            const size_t tab = item.text.find('\t');
            if (tab == std::string::npos) continue;
            // What the menu says a key does is what the key does.
            const std::string keys = item.text.substr(tab + 1);
            const uint32_t mods = keys.rfind("Ctrl+", 0) == 0 ? kCtrl : 0;
            EXPECT_EQ(shortcutCommand(keyOfShortcut(keys), mods, false), item.id) << item.text;
            ++shortcuts;
        }
    }
    EXPECT_EQ(shortcuts, 18);
}

TEST(MainMenu, EveryMenuAndItemHasALetterOfItsOwn) {
    // The letter is the first of its case before the shortcut; '&' in a text stays an '&'.
    EXPECT_EQ(menuLabel("Save Stack As...", 'A'), "Save Stack &As...");
    EXPECT_EQ(menuLabel("Exit", 'x'), "E&xit");
    EXPECT_EQ(menuLabel("Print...\tCtrl+P", 'C'), "Print...\tCtrl+P");
    EXPECT_EQ(menuLabel("Sounds & Movies", 0), "Sounds && Movies");

    auto unmarked = [](std::string label) {
        std::string out;
        for (size_t i = 0; i < label.size(); ++i) {
            if (label[i] == '&') ++i;
            if (i < label.size()) out += label[i];
        }
        return out;
    };
    std::string titles;
    for (const MenuDef& menu : mainMenu()) {
        ASSERT_NE(menu.title.find(menu.mnemonic), std::string::npos) << menu.title;
        EXPECT_EQ(titles.find(char(std::toupper(menu.mnemonic))), std::string::npos) << menu.title;
        titles += char(std::toupper(menu.mnemonic));
        std::string letters;
        for (const MenuItemDef& item : menu.items) {
            if (item.id == 0) continue;
            const char upper = char(std::toupper(item.mnemonic));
            EXPECT_EQ(letters.find(upper), std::string::npos) << item.text << " shares its letter in " << menu.title;
            letters += upper;
            const std::string label = menuLabel(item.text, item.mnemonic);
            EXPECT_NE(label.find('&'), std::string::npos) << item.text;
            EXPECT_EQ(unmarked(label), item.text) << "the words stay as they were";
        }
    }
    // The texts the items show in other states keep their letters.
    const std::pair<std::string, char> others[] = {{loadString(2026).value_or(""), 'P'},
                                                   {"Cut text\tCtrl+X", 't'},
                                                   {"Copy text\tCtrl+C", 'C'},
                                                   {"Paste text\tCtrl+V", 'P'},
                                                   {"Clear text\tDel", 'a'}};
    for (const auto& [text, letter] : others) EXPECT_NE(menuLabel(text, letter).find('&'), std::string::npos) << text;
}

// ---- Through the player's queue ----

class ShortcutTest : public cv::test::BrowseTest {
protected:
    void key(int vk, uint32_t mods, uint32_t typed) {
        player->post({.type = MsgType::KeyDown, .key = vk, .modifiers = mods});
        post({.type = MsgType::Char, .key = vk, .modifiers = mods, .ch = typed});
    }
};

TEST_F(ShortcutTest, AKeyThatWasACommandTypesNothing) {
    open(kFourCards);
    std::vector<uint32_t> typed;
    player->keyHandler = [&](const Message& m) {
        if (m.type == MsgType::Char) typed.push_back(m.ch);
        return false;
    };
    key(kKeyOemPeriod, kCtrl, 0x1E); // Next Card: its character is dropped
    EXPECT_EQ(player->currentCardNumber(), 2);
    key('B', kCtrl, 0x02);           // no command: the character is typed
    key('Q', 0, 'q');
    EXPECT_EQ(typed, (std::vector<uint32_t>{0x02, 'q'}));
}

TEST_F(ShortcutTest, ALockedStackRefusesTheAuthoringKeys) {
    open(kFourCards);
    Message a{.type = MsgType::KeyDown, .key = 'A', .modifiers = kCtrl};
    EXPECT_TRUE(player->translateShortcut(a));
    theStack().setH16(hdr::kLocked, 1);
    EXPECT_FALSE(player->translateShortcut(a));
    a.key = 'N';
    EXPECT_FALSE(player->translateShortcut(a));
    a.key = kKeyDelete;
    EXPECT_FALSE(player->translateShortcut(a)); // Control+Delete
    a.modifiers = 0;
    EXPECT_TRUE(player->translateShortcut(a));  // Delete alone is Clear
}
