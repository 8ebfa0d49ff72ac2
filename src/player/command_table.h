#pragma once
// The player command table: 179 entries, one per command number, through which scripts and
// plug-ins drive the player with the shared parameter block. Values that the original passed
// as addresses are references (see core/references.h and media/nba_abi.h).
#include <cstdint>
#include <optional>
#include <string>

#include "core/handles.h"
#include "media/nba_abi.h"

namespace cv {

class Player;
namespace script {
struct NBAParamBlock;
}

// What a command reads and writes of the parameter block.
using CommandBlock = script::NBAParamBlock;

// The open stack's card named or numbered by `text` (digits within the card count choose by
// number, anything else by name, case ignored), or 0.
Handle CardByNameOrNumber(const std::string& text);
// Transition names: the number of a name (case ignored, whole name), or -1; the name of a
// number, or nullopt when it has none.
int TransitionNumberOfName(const std::string& name);
std::optional<std::string> TransitionNameOfNumber(int number);
// The alert string of a script's alert text: a single backslash is the button separator, a
// doubled one a backslash.
std::string AlertTextFromScript(const std::string& text);
// The menu command that a menu title and item text name in the player's menus, or 0. In the
// fourth and sixth menus the item is a number n naming command n - 1.
int MenuCommandFor(const std::string& title, const std::string& item);

class CommandTable {
public:
    explicit CommandTable(Player& player);
    ~CommandTable();
    CommandTable(const CommandTable&) = delete;
    CommandTable& operator=(const CommandTable&) = delete;

    // Runs the command in the block: a number above 178 or an empty entry does nothing.
    void NBACallback(CommandBlock& block);
    // Whether the table has an entry for the command (acting or accepted).
    static bool hasEntry(int command);

    // The host table a native plug-in calls back through: its callback runs the command in
    // `block` on this table; its Handle functions work on references only.
    const NBAHostTable& hostTable(CommandBlock& block);

    bool screenLocked() const { return screenLocked_; }
    // Set to 2 when the next item redraw takes its transition from the block.
    int itemTransition = 1;

    // Commands nested deeper than this are refused (a command that runs a script that sends
    // a command ...).
    static constexpr int kMaxDepth = 64;

    struct Impl;

private:
    Player& player_;
    bool screenLocked_ = false;
    int depth_ = 0;
    // Blocks the player hands out and keeps (valid until the next such command).
    Handle rect_ = 0, userName_ = 0, names_[3] = {0, 0, 0};
    // The other blocks that hold answers (names, paths, titles), one per command that answers.
    static constexpr int kKeptSlots = 6;
    Handle kept_[kKeptSlots] = {};
    friend struct Impl;
};

} // namespace cv
