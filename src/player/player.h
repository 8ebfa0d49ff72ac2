#pragma once
// The player: the main window procedure of the program, platform-free. It owns the message
// queue, the screen image of the card area and the shown card, and does everything a click,
// a key, a menu command or a timer does. The platform (a Qt window, or a headless session)
// only posts messages and shows the screen.
#include <QImage>
#include <QRect>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "core/handles.h"
#include "player/card_picture.h"
#include "player/display_list.h"
#include "player/host.h"
#include "player/media_hooks.h"
#include "player/message.h"
#include "player/object_drawing.h"

namespace cv {

class ActionRunner;
class CommandTable;
class Events;
class Navigation;
class TextFields;
class ScriptBridge;
class SoundManager;
class Timers;
class WorkspaceLink;
namespace script {
struct NBAParamBlock;
}

constexpr int kBrowseTool = 18;
constexpr int kTimerPeriodMs = 55;
constexpr int kDefaultCardWidth = 512;
constexpr int kDefaultCardHeight = 342;

// The menu commands the player knows.
enum Command : int {
    kCmdNewStack = 100, kCmdOpenStack = 101, kCmdSaveStack = 102, kCmdSaveStackAs = 103,
    kCmdExportScreen = 105, kCmdPageSetup = 107, kCmdPrint = 108, kCmdSlideShow = 109, kCmdExit = 110,
    kCmdUndo = 150, kCmdCut = 151, kCmdCopy = 152, kCmdPaste = 153, kCmdClear = 154,
    kCmdBack = 200, kCmdHome = 201, kCmdFirst = 202, kCmdPrevious = 203, kCmdNext = 204, kCmdLast = 205,
    kCmdJump = 206, kCmdFind = 207,
    kCmdExtraManager = 450,
    kCmdAbout = 650, kCmdPreferences = 651, kCmdHelp = 652, kCmdWebPage = 653, kCmdVideodisc = 654,
};

// The command a key stands for (Control+key, or Delete alone), or 0; `locked` is the open
// stack's lock, which refuses the authoring shortcuts.
int shortcutCommand(int key, uint32_t modifiers, bool locked);

// Whether the message asks the player to close: the window closed, quitting, or Exit.
inline bool isCloseRequest(const Message& m) {
    return m.type == MsgType::Close || m.type == MsgType::Quit ||
           (m.type == MsgType::Command && m.command == kCmdExit);
}

class Player {
public:
    explicit Player(Host& host);
    ~Player();
    Player(const Player&) = delete;
    Player& operator=(const Player&) = delete;

    Host& host() { return host_; }
    MessageQueue& queue() { return queue_; }

    // ---- The message loop ----
    void post(const Message& m) { queue_.post(m); }
    // Takes and handles every queued message (shortcuts first). Does nothing when called from
    // inside a dispatch: the running operation takes its messages itself.
    void processQueue();
    // The main window procedure.
    void dispatch(const Message& m);
    // The cooperative yield of long operations.
    void pumpPendingMessage();
    // Posts timer 1 when it is due on the clock; true when it posted.
    bool postDueTimer();
    // Runs the player until the clock reaches `deadlineMs`: timers fire and queued messages
    // are handled as time passes (the virtual clock jumps from one tick to the next).
    void runUntil(uint64_t deadlineMs);
    bool busy() const { return depth_ > 0; }

    // ---- Commands and keys ----
    void runCommand(int id, int notify = 0);
    // The keyboard shortcut translator: posts the command a key stands for; true when it did.
    bool translateShortcut(const Message& m);
    // Whether a command is enabled in the menus now.
    bool commandEnabled(int id) const;
    // Texts of menu items that change (Print, Cut, Copy, Clear, Paste), or empty.
    std::string menuText(int id) const;

    // ---- Stacks ----
    // Opens a stack file and shows its first card; false (after the alerts) when it fails.
    bool openStack(const std::string& path);
    // Opens a stack file as the open stack without showing a card.
    bool openStackOnly(const std::string& path);
    // Starts a new, untitled stack.
    void newUntitledStack();
    // Opens `path` in place of the open stack, once its card has been left: the open stack's
    // leave action runs and its workspace is stored first, as for every move to another stack.
    // A stack that fails to open leaves an untitled one; false then.
    bool replaceStack(const std::string& path);
    // Asks to save a changed stack; false cancels what was about to happen. A workspace that
    // scripts changed is stored into the stack first, so that it counts as a change.
    bool mayCloseStack();
    // Saves the open stack (Save Stack, or Save As with `askName`).
    bool saveStack(bool askName);
    bool isHomeStack() const { return isHomeStack_; }
    void setHomeStack(const std::string& path) { homeStackPath_ = path; }
    const std::string& homeStackPath() const { return homeStackPath_; }

    // ---- The shown card ----
    int currentCardNumber() const { return currentCardNumber_; }
    Handle currentCard() const;
    uint16_t currentCardId() const { return currentCardId_; }
    const DisplayList& displayList() const { return displayList_; }
    DisplayList& displayList() { return displayList_; }
    const CardPicture& cardPicture() const { return picture_; }
    // Scripts draw on the picture too, so that their drawing survives a repaint.
    CardPicture& cardPicture() { return picture_; }
    // The image of the card area as the window shows it.
    const QImage& screen() const { return screen_; }
    QImage& screen() { return screen_; }
    int cardWidth() const { return cardWidth_; }
    int cardHeight() const { return cardHeight_; }
    const DrawContext& drawContext() const { return drawContext_; }
    DrawContext& drawContext() { return drawContext_; }

    // Shows a card: picture, objects, transition, arrive work.
    void showCard(Handle card, int transition, int speed, bool arrive);
    // Repaints part of the screen from the plain picture and the objects.
    void paintCardRect(const QRect& rect);
    // Makes card `number` current and shows it; with arrive-at-stack, the stack's arrive
    // action runs too.
    void showCardNumber(int number, int transition, int speed, bool arriveAtStack);
    // The window title the current stack and card call for.
    std::string windowTitle() const;
    void updateTitle();

    // Reveals or hides the button outlines (Control+Shift).
    void revealButtons(bool on);
    bool buttonsRevealed() const { return revealed_; }

    // ---- Browsing: navigation, action lists, input on the card ----
    Navigation& navigation() { return *navigation_; }
    ActionRunner& actions() { return *actions_; }
    Events& events() { return *events_; }
    // The shown card's text fields.
    TextFields& textFields() { return *textFields_; }
    const TextFields& textFields() const { return *textFields_; }
    // The media and script subsystems, as the action runner reaches them.
    MediaHooks media;
    // The interpreter that runs the stack's scripts.
    ScriptBridge& scripts() { return *scripts_; }
    // Timer 1's work and the card's automatic timers.
    Timers& timers() { return *timers_; }
    SoundManager& sounds() { return *sounds_; }
    // The player command table, as scripts and plug-ins reach it through the parameter block.
    std::function<void(script::NBAParamBlock&)> commandCallback;
    CommandTable& commands() { return *commands_; }

    // ---- Extension points of the later subsystems ----
    // Runs a transition from the screen to `next` (the composed card) inside `rect`.
    std::function<void(QImage& screen, const QImage& next, const QRect& rect, int transition, int speed)> transition;
    // Mouse input on the card (hit testing, buttons, text fields); the default runs nothing.
    std::function<void(const Message&)> mouseHandler;
    // Key and character input not taken by the shortcut table.
    std::function<bool(const Message&)> keyHandler;
    // Timer 1 work (idle, automatic timers).
    std::function<void()> timerHandler;
    // Extra commands (ids this player does not handle itself); true when handled.
    std::function<bool(int id)> commandHandler;
    // A card arrived (before its arrive actions run) / is being left (before its leave action)
    // / has been left (its media stopped).
    std::function<void(bool arriveAtStack)> onArrive;
    std::function<void()> onCardLeaving;
    std::function<void()> onCardLeft;
    // An action list begins: its transition centre and button colour.
    std::function<void(QPoint centre, QRgb colour)> onActionHeader;
    // The Extras menu's items after the Extra Manager: command id (451-499) and title.
    std::function<std::vector<std::pair<int, std::string>>()> extrasMenuItems;
    // A text link was matched (the text field flashes it).
    std::function<void(const std::string& linkText)> onLinkFound;
    // Sees each message before the window procedure; true when it was taken (plug-ins).
    std::function<bool(const Message&)> eventFilter;

    int currentTool = kBrowseTool;
    bool shiftDown = false, controlDown = false;

private:
    void handleKeyDown(const Message& m);
    void handleKeyUp(const Message& m);
    void resizeCard(int width, int height);
    void arrived(bool arriveAtStack);

    Host& host_;
    MessageQueue queue_;
    int depth_ = 0;
    uint64_t nextTimerMs_ = 0;

    QImage screen_;
    CardPicture picture_;
    DisplayList displayList_;
    DrawContext drawContext_;
    int cardWidth_ = kDefaultCardWidth;
    int cardHeight_ = kDefaultCardHeight;
    int currentCardNumber_ = 0;
    uint16_t currentCardId_ = 0;
    bool revealed_ = false;
    bool isHomeStack_ = false;
    std::string homeStackPath_;
    std::unique_ptr<SoundManager> sounds_;     // the last to go: the others' hooks reach it
    std::unique_ptr<Navigation> navigation_;
    std::unique_ptr<ActionRunner> actions_;
    std::unique_ptr<Events> events_;
    std::unique_ptr<ScriptBridge> scripts_;
    std::unique_ptr<TextFields> textFields_;  // its hooks refer to the parts above
    std::unique_ptr<Timers> timers_;           // after the text fields: their tick comes first
    std::unique_ptr<WorkspaceLink> workspace_;
    std::unique_ptr<CommandTable> commands_;

public:
    // The plug-ins' state. Declared last so that it goes first: plug-ins are told of the end
    // while the rest of the player is still there.
    std::shared_ptr<void> pluginState;
};

} // namespace cv
