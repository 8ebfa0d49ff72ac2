#pragma once
// Moving between cards and stacks: next, previous, first, last, by id and by name, home,
// back through the history, the last marked card, other stacks, the jump dialog, text links
// and the slide show. Every move runs the leave work of the card left and the arrive work of
// the card reached.
#include <QRect>
#include <cstdint>
#include <deque>
#include <functional>
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

// The timer message that carries a move asked for while cards were being shown (timer 1 is the
// player's tick).
constexpr int kMoveTimerId = 2;

class Navigation {
public:
    explicit Navigation(Player& player);
    void setActions(ActionRunner* actions) { actions_ = actions; }

    // ---- Moves asked for during card work ----
    // A card's leave and arrive work (its actions, their scripts and plug-ins, the automatic
    // timers that fire meanwhile) may ask for a move itself. Such a move never runs inside
    // that work, so no stack can nest moves without end:
    // - asked for while a card is being left, it gives way to the move under way, which goes
    //   on to its own destination;
    // - asked for while a card is being shown or arrived at (or a stack opened), it waits, and
    //   of several the last asked wins; it is posted to the player's queue at the next tick of
    //   timer 1 once the work is over, so a chain of arrive actions moves on one card a tick,
    //   with the window repainting and taking keys in between;
    // - a waiting move is dropped when other card work starts first (the person moved, a
    //   stack opened), when Escape is pressed and when the player closes.
    // The go... calls below all follow this, whoever calls them.
    enum class Work : uint8_t { Leaving, Entering };
    class WorkScope {
    public:
        WorkScope(Navigation& nav, Work work);
        ~WorkScope();
        WorkScope(const WorkScope&) = delete;
        WorkScope& operator=(const WorkScope&) = delete;

    private:
        Navigation& nav_;
        Work outer_;
    };
    // Card work the player does itself (showing a card, opening a stack) is marked with this.
    WorkScope entering() { return WorkScope(*this, Work::Entering); }
    bool inCardWork() const { return workDepth_ > 0; }
    // What becomes of a move asked for now. Everything that moves to a card or opens a stack
    // asks this first and goes on only with RunNow; `move` is kept when it Waits.
    enum class Deferral : uint8_t { RunNow, Waits, GivesWay };
    Deferral defer(std::function<void()> move);
    bool movePending() const { return static_cast<bool>(pending_); }
    // Posts the waiting move to the queue, unless card work is under way or it is queued
    // already; true when it posted.
    bool postPendingMove();
    // Runs the waiting move (the queued message's work); nothing during card work.
    void runPendingMove();
    void cancelPendingMove() { pending_ = nullptr; }

    void goNext(int transition = 3, int speed = 8);
    void goPrevious(int transition = 3, int speed = 8);
    void goFirst(int transition = 3, int speed = 8);
    void goLast(int transition = 3, int speed = 8);
    // Goes to the card with that id (with history); a missing card shows alert 2223. During
    // card work: true when the move waits, false when it gave way.
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
    int workDepth_ = 0;
    Work work_ = Work::Entering;
    std::function<void()> pending_;
};

// Where a link text occurs around a click: the text field's text, the click's character
// position, and the link text. For a locked field the click must lie strictly inside the
// match; for an unlocked one the selection [selStart, selEnd] must lie within it. Returns the
// start of the match, or nullopt.
std::optional<size_t> matchTextLink(const std::string& fieldText, size_t position, const std::string& linkText,
                                    bool locked, size_t selStart, size_t selEnd);

} // namespace cv
