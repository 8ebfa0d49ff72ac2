#pragma once
// Moving between cards and stacks: next, previous, first, last, by id and by name, home,
// back through the history, the last marked card, other stacks, the jump dialog, text links
// and the slide show. Every move runs the leave work of the card left and the arrive work of
// the card reached.
#include <QRect>
#include <cstdint>
#include <deque>
#include <optional>
#include <string>
#include <vector>

namespace cv {

class Player;
class ActionRunner;

struct HistoryEntry {
    uint16_t cardId = 0;
    std::string path;   // the stack's file; empty for an untitled stack
};

// The Back list holds at most this many entries.
constexpr size_t kHistoryLimit = 17;

class Navigation {
public:
    explicit Navigation(Player& player);
    void setActions(ActionRunner* actions) { actions_ = actions; }

    void goNext(int transition = 3, int speed = 8);
    void goPrevious(int transition = 3, int speed = 8);
    void goFirst(int transition = 3, int speed = 8);
    void goLast(int transition = 3, int speed = 8);
    // Goes to the card with that id (with history); a missing card shows alert 2223.
    bool goToCardId(uint16_t id, int transition = 3, int speed = 8, bool history = true);
    void goBack(int transition = 3, int speed = 8);
    void goHome(int transition = 3, int speed = 8);
    void goLastMarked(int transition = 3, int speed = 8);
    // Goes to a card of another stack (-6 or a missing id: its first card).
    bool goToOtherStack(const std::string& path, int16_t destination, int transition, int speed, bool history);

    // Leaves the current card: history, leave action, media, pending text.
    void leaveCard(bool history);
    // Shows the current card again (stops its media first).
    void redisplayCurrentCard();
    // Runs the open stack's leave action and closes it.
    void closeStack();

    // The jump dialog: asks for a card number or name and goes there.
    void jumpToCardDialog();
    // What the jump dialog's text chooses: the card's id, 0 for empty text, nullopt for text
    // that names no card.
    static std::optional<uint16_t> jumpTarget(const std::string& text);

    // Follows the text link clicked in text field `fieldId` at character `position`, if any:
    // true when a link's action list ran.
    bool followTextLink(uint16_t fieldId, const std::string& fieldText, size_t position, bool locked,
                        size_t selStart, size_t selEnd);

    // The slide show (command 109).
    void runSlideShow();

    const std::deque<HistoryEntry>& history() const { return history_; }
    void clearHistory() { history_.clear(); }
    uint16_t lastMarkedCardId() const { return lastMarkedCardId_; }
    void setHome(const std::string& path, uint16_t cardId = 0) { homePath_ = path; homeCardId_ = cardId; }
    const std::string& homePath() const { return homePath_; }

    // Slide-show settings: all cards automatically (else until Escape), and the pause.
    bool slideShowAllCards = true;
    int slideShowPauseSeconds = 3;

private:
    void pushHistory();
    void goToNumber(int number, int transition, int speed, bool history);
    // Waits `ticks`, ending early when Escape is waiting; true when Escape ended it.
    bool slideShowPause(int ticks);

    Player& player_;
    ActionRunner* actions_ = nullptr;
    std::deque<HistoryEntry> history_; // newest first
    uint16_t lastMarkedCardId_ = 0;
    std::string lastMarkedPath_;
    std::string homePath_;
    uint16_t homeCardId_ = 0;
};

// Where a link text occurs around a click: the text field's text, the click's character
// position, and the link text. For a locked field the click must lie strictly inside the
// match; for an unlocked one the selection [selStart, selEnd] must lie within it. Returns the
// start of the match, or nullopt.
std::optional<size_t> matchTextLink(const std::string& fieldText, size_t position, const std::string& linkText,
                                    bool locked, size_t selStart, size_t selEnd);

} // namespace cv
