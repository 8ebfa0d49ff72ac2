// Plug-ins in the player: the NBA manager and the Extras wired to buttons, the command table,
// card changes, timer 1, the window procedure and the stack's close.
#include "player/player_plugins.h"

#include <QCoreApplication>

#include <filesystem>
#include <memory>

#include "core/host_path.h"
#include "media/extras/extras.h"
#include "media/nba/nba_manager.h"
#include "media/nba/wine_library.h"
#include "player/command_table.h"
#include "player/player.h"
#include "player/shell.h"
#include "script/file_world.h"
#include "stack/stack_document.h"
#include "stack/stack_io.h"

namespace cv {

namespace fs = std::filesystem;

namespace {

// The frame window as plug-ins see it: a number that names the player's one window.
constexpr uint32_t kFrameWindow = 1;

struct PlayerPlugins {
    PlayerPlugins(Player& p, NBAEnvironment nbaEnv, ExtrasEnvironment extrasEnv)
        : player(p), nbas(nativePluginLoader(), std::move(nbaEnv)),
          extras(nativePluginLoader(), std::move(extrasEnv), nbas.block()) {}
    ~PlayerPlugins() {
        // The player is closing: every NBA of the shown stack and every loaded Extra is told.
        if (stackShown) nbas.stackClosing(true);
        extras.CloseExtras();
    }
    Player& player;
    NBAManager nbas;
    Extras extras;
    bool stackShown = false;  // message 2 goes once to a stack that was shown
    // The Extras are loaded when the person first opens their menu or runs one, so that a
    // player that only shows cards (cvstack render, tests) loads no library.
    bool extrasLoaded = false;
    void loadExtras() {
        if (extrasLoaded) return;
        extrasLoaded = true;
        extras.reload();
    }
};

std::weak_ptr<PlayerPlugins> g_installed;
ExtraManagerDialog g_dialog;

std::string programFolder() {
    if (QCoreApplication::instance()) return QCoreApplication::applicationDirPath().toStdString();
    const std::string& program = fileLocations()[kLocProgram].path;
    return program.empty() ? std::string(".") : fs::path(program).parent_path().string();
}

// The window messages plug-ins see, as the Windows player numbered them.
bool eventFor(const Message& m, uint32_t* message, uint32_t* wParam, uint32_t* lParam) {
    *wParam = 0;
    *lParam = 0;
    auto point = [&] { *lParam = (uint32_t(uint16_t(m.y)) << 16) | uint16_t(m.x); };
    switch (m.type) {
    case MsgType::KeyDown: *message = NBA_EVENT_KEY_DOWN; *wParam = uint32_t(m.key); return true;
    case MsgType::Char: *message = NBA_EVENT_CHAR; *wParam = m.ch; return true;
    case MsgType::Command: *message = NBA_EVENT_COMMAND; *wParam = uint32_t(m.command); return true;
    case MsgType::Timer: *message = NBA_EVENT_TIMER; *wParam = uint32_t(m.key); return true;
    case MsgType::MouseMove: *message = NBA_EVENT_MOUSE_MOVE; point(); return true;
    case MsgType::MouseDown: *message = NBA_EVENT_MOUSE_DOWN; point(); return true;
    case MsgType::MouseUp: *message = NBA_EVENT_MOUSE_UP; point(); return true;
    default: return false;
    }
}

} // namespace

std::vector<std::string> pluginFolders(const std::string& name) {
    std::vector<std::string> out;
    const std::string program = programFolder();
    out.push_back(findNoCase(program, name).value_or((fs::path(program) / name).string()));
    const std::string user = fs::path(script::FileWorld::DataHome()).parent_path().string();
    out.push_back(findNoCase(user, name).value_or((fs::path(user) / name).string()));
    return out;
}

void setExtraManagerDialog(ExtraManagerDialog dialog) { g_dialog = std::move(dialog); }

NBAManager* installedNBAs() {
    const auto p = g_installed.lock();
    return p ? &p->nbas : nullptr;
}

Extras* installedExtras() {
    const auto p = g_installed.lock();
    return p ? &p->extras : nullptr;
}

void installPlugins(Player& player) {
    NBAEnvironment nbaEnv;
    nbaEnv.cardNumber = [&player] { return player.currentCardNumber(); };
    nbaEnv.cardRecord = [&player] { return player.currentCard(); };
    nbaEnv.frameWindow = [] { return kFrameWindow; };
    // Busy: between stacks, with no card shown.
    nbaEnv.busy = [&player] { return !theStack().open() || player.currentCardNumber() == 0; };
    nbaEnv.hostTable = [&player](script::NBAParamBlock& b) { return &player.commands().hostTable(b); };
    nbaEnv.folders = pluginFolders("NBAS");
    ExtrasEnvironment extrasEnv;
    extrasEnv.hostTable = nbaEnv.hostTable;
    extrasEnv.frameWindow = nbaEnv.frameWindow;
    extrasEnv.folders = pluginFolders("Extras");

    // The latest player's card (the hook outlives any one player).
    wineHostSettings().frameOrigin = [] {
        const auto p = g_installed.lock();
        const QPoint at = p ? p->player.host().cardOnScreen() : QPoint();
        return std::pair<int, int>{at.x(), at.y()};
    };
    // While a Windows plug-in's dialog waits for the person, the window still paints and answers
    // the desktop; what the person does to it meanwhile is dropped, as for a window that a
    // dialog disables, except closing the player (or Exit), which stops the plug-in.
    wineHostSettings().whileWaiting = [] {
        const auto p = g_installed.lock();
        if (!p) return true;
        MessageQueue& queue = p->player.queue();
        const size_t before = queue.size();
        p->player.host().pump();
        size_t i = 0;
        bool closing = false;
        queue.removeIf([&](const Message& m) {
            const bool close = isCloseRequest(m);
            closing = closing || close;
            const bool input = m.type != MsgType::Timer && m.type != MsgType::FocusIn && m.type != MsgType::FocusOut;
            return i++ >= before && input && !close;
        });
        return !closing;
    };
    // A Windows plug-in's window calling back between calls (a palette going to a card): on a
    // block of its own, with the shown card, through the player's table.
    wineHostSettings().betweenCalls = [](NativeBlock& b) {
        const auto p = g_installed.lock();
        if (!p || !theStack().open() || p->player.currentCardNumber() == 0) return false;
        uint8_t* d = b.block.bytes.data();
        storeLE16(d + NBA_OFF_CARD_NUMBER, uint16_t(p->player.currentCardNumber()));
        storeLE32(d + NBA_OFF_CARD_RECORD, p->player.currentCard());
        storeLE32(d + NBA_OFF_FRAME_WINDOW, kFrameWindow);
        b.host = &p->player.commands().hostTable(b.block);
        return true;
    };
    auto plugins = std::make_shared<PlayerPlugins>(player, std::move(nbaEnv), std::move(extrasEnv));
    g_installed = plugins;
    player.pluginState = plugins;
    PlayerPlugins* const p = plugins.get();  // the hooks below go with the player, after it
    MediaHooks& m = player.media;

    // A button's NBA action, the wait for it, and callback 67 (CALLNBA too).
    m.callNBA = [p, next = std::move(m.callNBA)](uint16_t id, std::span<const uint8_t> data) {
        if (p->nbas.callFromButton(id, data, 0)) return true;
        return next ? next(id, data) : false;
    };
    m.nbaBusy = [p, next = std::move(m.nbaBusy)] { return p->nbas.busyQuery() || (next && next()); };
    m.callNBAFromBlock = [p](script::NBAParamBlock& b) { p->nbas.callFromBlock(b); };

    // Cards: arrived (10), about to be left (9); idle time on timer 1 (5).
    player.onArrive = [p, &player, next = std::move(player.onArrive)](bool arriveAtStack) {
        if (next) next(arriveAtStack);
        p->stackShown = true;
        // The window that stands for the player's in a Windows plug-in's world lies over the card.
        wineHostSettings().frameWidth = player.cardWidth();
        wineHostSettings().frameHeight = player.cardHeight();
        p->nbas.broadcast(NBA_MSG_ARRIVED);
    };
    player.onCardLeaving = [p, next = std::move(player.onCardLeaving)] {
        p->nbas.broadcast(NBA_MSG_LEAVING_CARD);
        if (next) next();
    };
    player.timerHandler = [p, next = std::move(player.timerHandler)] {
        if (next) next();
        wineHostIdle();
        p->nbas.broadcast(NBA_MSG_IDLE);
    };
    // Window events, while browsing a shown stack; an NBA that handles one ends it there.
    player.eventFilter = [p, &player, next = std::move(player.eventFilter)](const Message& msg) {
        if (next && next(msg)) return true;
        if (player.currentTool != kBrowseTool || !theStack().open() || player.currentCardNumber() == 0) return false;
        uint32_t message = 0, wParam = 0, lParam = 0;
        if (!eventFor(msg, &message, &wParam, &lParam)) return false;
        return p->nbas.ForwardEventToNBAs(kFrameWindow, message, wParam, lParam);
    };
    // The close of a shown stack: message 2 to its NBAs that are not running. One hook serves
    // every player made in this process: it reaches the latest.
    static bool closingHooked = false;
    if (!closingHooked) {
        closingHooked = true;
        stackHooks().closing = [next = std::move(stackHooks().closing)] {
            if (next) next();
            const auto p = g_installed.lock();
            if (!p || !p->stackShown) return;
            p->stackShown = false;
            p->nbas.stackClosing(false);
        };
    }

    // Extras: the menu, commands 450-499, the manager.
    player.extrasMenuItems = [p] {
        p->loadExtras();
        return p->extras.menuItems();
    };
    player.commandHandler = [p, next = std::move(player.commandHandler)](int id) {
        if (id < kExtraManagerCommand || id > kLastExtraCommand) return next ? next(id) : false;
        p->loadExtras();
        return p->extras.HandleExtrasCommand(id);
    };
    p->extras.manager = [p] {
        if (!g_dialog) return;
        const auto folders = p->extras.environment().folders;
        ExtraManagerForm form(folders, folders.back());
        if (!g_dialog(form)) return;
        form.done();
        p->extrasLoaded = true;
        p->extras.reload();
    };
}

} // namespace cv
