// The player's message loop and window procedure.
#include "player/player.h"

#include "core/clock.h"
#include "media/sound_manager.h"
#include "player/actions.h"
#include "player/command_table.h"
#include "player/animations.h"
#include "player/events.h"
#include "player/navigation.h"
#include "player/preferences.h"
#include "player/script_bridge.h"
#include "player/transitions.h"
#include "player/text_fields.h"
#include "player/timers.h"
#include "player/workspace_link.h"
#include "stack/record_layout.h"
#include "stack/stack_document.h"
#include "script/script_host.h"

namespace cv {

void installSounds(Player& player, SoundManager& sounds);
void installPlugins(Player& player);
void installMovies(Player& player);
void installVideodisc(Player& player);

namespace {
// Counts the depth of dispatch, so that the queue is drained by one caller at a time.
struct DepthGuard {
    int& depth;
    explicit DepthGuard(int& d) : depth(d) { ++depth; }
    ~DepthGuard() { --depth; }
};
} // namespace

Player::Player(Host& host) : host_(host) {
    screen_ = QImage(cardWidth_, cardHeight_, QImage::Format_RGB32);
    screen_.fill(Qt::white);
    picture_.image = screen_;
    picture_.palette = defaultPaletteColours();
    drawContext_.palette = &picture_.palette;
    nextTimerMs_ = clock().nowMs() + kTimerPeriodMs;
    navigation_ = std::make_unique<Navigation>(*this);
    actions_ = std::make_unique<ActionRunner>(*this, *navigation_, media);
    navigation_->setActions(actions_.get());
    events_ = std::make_unique<Events>(*this, *actions_);
    scripts_ = std::make_unique<ScriptBridge>(*this);
    media.runScript = [this](const std::string& text) { scripts_->run(text, ScriptBridge::Start::ActionList); };
    sounds_ = std::make_unique<SoundManager>();
    installSounds(*this, *sounds_);
    installTransitions(*this);
    textFields_ = std::make_unique<TextFields>(*this);
    timers_ = std::make_unique<Timers>(*this);
    trackStackPreferences(*this);
    workspace_ = std::make_unique<WorkspaceLink>(*this);
    commands_ = std::make_unique<CommandTable>(*this);
    commandCallback = [this](script::NBAParamBlock& block) { commands_->NBACallback(block); };
    installAnimations(*this);
    installPlugins(*this);
    installMovies(*this);
    installVideodisc(*this);
}

Player::~Player() = default;

void Player::processQueue() {
    if (depth_ > 0) return;
    Message m;
    while (queue_.take(&m)) {
        if (translateShortcut(m)) continue;
        dispatch(m);
    }
}

bool Player::postDueTimer() {
    const uint64_t now = clock().nowMs();
    if (now < nextTimerMs_) return false;
    // One tick for the time that passed; a long stall does not make a burst of ticks.
    nextTimerMs_ = now - (now - nextTimerMs_) % kTimerPeriodMs + kTimerPeriodMs;
    Message t;
    t.type = MsgType::Timer;
    t.key = 1;
    queue_.post(t);
    navigation_->postPendingMove();
    return true;
}

void Player::pumpPendingMessage() {
    host_.pump();
    postDueTimer();
    const Message* m = queue_.peek();
    if (!m) return;
    if (timerHandler) timerHandler();
    // Input waits for the operation in progress; so does a request to close or quit, which
    // ends a running script (it polls for one) and is carried out once the run has unwound.
    // Everything else is handled now.
    const bool input = m->isMouseButton() || m->type == MsgType::MouseMove || m->type == MsgType::KeyDown;
    if (input || m->type == MsgType::Close || m->type == MsgType::Quit) return;
    Message taken;
    queue_.take(&taken);
    if (!translateShortcut(taken)) dispatch(taken);
}

void Player::runUntil(uint64_t deadlineMs) {
    while (true) {
        host_.pump();
        postDueTimer();
        {
            Message m;
            while (queue_.take(&m)) {
                if (!translateShortcut(m)) dispatch(m);
            }
        }
        const uint64_t now = clock().nowMs();
        if (now >= deadlineMs) return;
        clock().sleepUntilMs(std::min(deadlineMs, nextTimerMs_));
    }
}

void Player::dispatch(const Message& m) {
    DepthGuard guard(depth_);
    if (eventFilter && eventFilter(m)) return;
    switch (m.type) {
    case MsgType::MouseMove:
    case MsgType::MouseDown:
    case MsgType::MouseUp:
    case MsgType::DoubleClick:
    case MsgType::RightDown:
        if (mouseHandler) mouseHandler(m);
        else events_->handleMouse(m);
        break;
    case MsgType::KeyDown: handleKeyDown(m); break;
    case MsgType::KeyUp: handleKeyUp(m); break;
    case MsgType::Char:
        if (keyHandler && keyHandler(m)) break;
        if (m.ch == '\r') events_->returnKey();
        break;
    case MsgType::Command: runCommand(m.command, m.notify); break;
    case MsgType::Timer:
        if (m.key == 1 && timerHandler) timerHandler();
        if (m.key == kMoveTimerId) navigation_->runPendingMove();
        break;
    case MsgType::Close:
        if (mayCloseStack()) {
            navigation_->cancelPendingMove();
            host_.quit(0);
        }
        break;
    case MsgType::Quit: host_.quit(m.key); break;
    case MsgType::FocusOut:
        shiftDown = controlDown = false;
        if (revealed_) revealButtons(false);
        break;
    case MsgType::FocusIn: break;
    }
}

void Player::handleKeyDown(const Message& m) {
    // Escape stops a chain of cards that move on by themselves.
    if (m.key == kKeyEscape) navigation_->cancelPendingMove();
    if (m.key == kKeyShift) shiftDown = true;
    if (m.key == kKeyControl) controlDown = true;
    if (shiftDown && controlDown && !revealed_) revealButtons(true);
    if (keyHandler) keyHandler(m);
}

void Player::handleKeyUp(const Message& m) {
    if (m.key == kKeyShift) shiftDown = false;
    if (m.key == kKeyControl) controlDown = false;
    if (revealed_ && !(shiftDown && controlDown)) revealButtons(false);
    if (keyHandler) keyHandler(m);
}

void Player::revealButtons(bool on) {
    if (on == revealed_) return;
    revealed_ = on;
    drawButtonOutlines(screen_, displayList_);
    host_.present(screen_.rect());
}

void Player::arrived(bool arriveAtStack) {
    // Moves the arrive actions ask for run after them, from the queue.
    const auto work = navigation_->entering();
    events_->reset();
    if (onArrive) onArrive(arriveAtStack);
    if (!theStack().open()) return;
    if (arriveAtStack) actions_->runNamedAction(theStack().h16(hdr::kArriveAction), false, 2033);
    if (Handle card = currentCard()) actions_->runNamedAction(get16(memRefs().data(card) + card::kArriveAction), false, 2030);
}

} // namespace cv
