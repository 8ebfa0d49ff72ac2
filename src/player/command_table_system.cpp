// The player-wide commands of the table: the interface's memory blocks, the pointer and the
// card area, pauses, repainting and drawing on the card, sounds and action lists, script runs,
// the plug-ins' own settings, menu commands by id, and the state of the screen and stack.
#include <QPainter>
#include <algorithm>
#include <string>

#include "core/clock.h"
#include "core/references.h"
#include "core/settings.h"
#include "media/sound_manager.h"
#include "player/actions.h"
#include "player/command_table.h"
#include "player/command_table_parts.h"
#include "player/events.h"
#include "player/player.h"
#include "player/preferences.h"
#include "player/script_bridge.h"
#include "script/interpreter.h"
#include "stack/record_layout.h"
#include "stack/stack_document.h"
#include "stack/stack_resources.h"

namespace cv::commands {

namespace {

// A block asked for through the interface is at most this big: a larger size is refused
// rather than tried, so a wrong number cannot take the machine's memory.
constexpr uint32_t kMaxBlock = 64u << 20;
// The longest pause a command may ask for.
constexpr uint32_t kMaxPauseMs = 10'000;
// The section of the settings file that plug-ins and scripts may read and write; the
// player's own sections (the plug-ins a person allowed among them) stay out of their reach.
constexpr const char* kPluginSection = "PluginData";
// The section holds at most this many keys: a stack's scripts cannot grow the file without end.
constexpr size_t kMaxPluginKeys = 256;
// The menu command that makes a new stack is not run for a plug-in, as for a menu by name.
constexpr int kRefusedCommand = kCmdNewStack;

// The rectangle in the reference p5 (four 32-bit values), put in order, or nullopt.
std::optional<QRect> rectIn(const CommandBlock& b) {
    const uint8_t* d = ReferenceData(Handle(b.param(5)), 16);
    if (!d) return std::nullopt;
    int32_t v[4];
    for (int i = 0; i < 4; ++i) v[i] = std::clamp<int32_t>(int32_t(getLE32(d + 4 * i)), -32768, 32767);
    return QRect(QPoint(std::min(v[0], v[2]), std::min(v[1], v[3])), QPoint(std::max(v[0], v[2]) - 1, std::max(v[1], v[3]) - 1));
}

// ---- Memory ----

// 15: p1 = a new block of p1 bytes (zeroed), or 0.
void newBlock(CommandTable&, CommandBlock& b) {
    const uint32_t size = b.param(1);
    b.setParam(1, size <= kMaxBlock ? uint32_t(NewReference(size)) : 0);
}

// 16: locks the block p1 and answers it in p1 (its data is reached through the host table);
// 0 when p1 names no block.
void lockBlock(CommandTable&, CommandBlock& b) {
    const Handle h = Handle(b.param(1));
    if (!IsReference(h)) {
        b.setParam(1, 0);
        return;
    }
    LockHandle(h);
}

// 17: unlocks the block p1.
void unlockBlock(CommandTable&, CommandBlock& b) {
    const Handle h = Handle(b.param(1));
    if (IsReference(h)) UnlockHandle(h);
}

// 18: disposes of the block p1; the blocks the player keeps for its answers stay.
void disposeBlock(CommandTable& t, CommandBlock& b) {
    const Handle h = Handle(b.param(1));
    if (!isKeptBlock(t, h)) DisposeReference(h);
}

// ---- The card area and the pointer ----

// 38: p1 and p2 the pointer's position (card coordinates), p3 1 while the mouse button is down.
void pointer(CommandTable& t, CommandBlock& b) {
    Events& e = playerOf(t).events();
    b.setParam(1, uint32_t(e.pointer().x()));
    b.setParam(2, uint32_t(e.pointer().y()));
    b.setParam(3, e.buttonHeld() ? 1 : 0);
}

// 82: p1 and p2 the card width and height, p3 the current tool (18 browse), p4 1 while the
// button outlines are shown.
void cardArea(CommandTable& t, CommandBlock& b) {
    Player& p = playerOf(t);
    b.setParam(1, uint32_t(p.cardWidth()));
    b.setParam(2, uint32_t(p.cardHeight()));
    b.setParam(3, uint32_t(p.currentTool));
    b.setParam(4, p.buttonsRevealed() ? 1 : 0);
}

// 81: repaints the rectangle in p5 from the card's picture and objects.
void repaint(CommandTable& t, CommandBlock& b) {
    const auto r = rectIn(b);
    if (r && !screenLocked(t)) playerOf(t).paintCardRect(*r);
}

// 91: shows the button outlines (p1 non-zero) or hides them.
void revealButtons(CommandTable& t, CommandBlock& b) { playerOf(t).revealButtons(b.param(1) != 0); }

// 93: waits p1 milliseconds (at most ten seconds), the player's messages and timers going on.
void pause(CommandTable& t, CommandBlock& b) {
    Player& p = playerOf(t);
    const uint64_t end = clock().nowMs() + std::min(b.param(1), kMaxPauseMs);
    for (;;) {
        p.pumpPendingMessage();
        if (p.postDueTimer() && p.timerHandler) p.timerHandler();
        const uint64_t now = clock().nowMs();
        if (now >= end) return;
        clock().sleepUntilMs(std::min<uint64_t>(end, now + kTimerPeriodMs));
    }
}

// 131: p1 = the colour (0x00RRGGBB) shown at the point in p5; -1 outside the card.
void pixel(CommandTable& t, CommandBlock& b) {
    const uint8_t* d = ReferenceData(Handle(b.param(5)), 8);
    const QImage& screen = playerOf(t).screen();
    b.setParam(1, uint32_t(-1));
    if (!d) return;
    const QPoint at(int32_t(getLE32(d)), int32_t(getLE32(d + 4)));
    if (screen.rect().contains(at)) b.setParam(1, screen.pixel(at) & 0xFFFFFF);
}

// 146: draws the rectangle in p5 on the card's picture in colour p1 (0x00RRGGBB), framed
// (p2 = 0) or filled; it stays until the card is shown again, as scripts' drawing does.
void drawRect(CommandTable& t, CommandBlock& b) {
    const auto r = rectIn(b);
    Player& p = playerOf(t);
    if (!r || !p.currentCard() || p.cardPicture().image.isNull()) return;
    {
        QPainter painter(&p.cardPicture().image);
        const QColor colour(QRgb(0xFF000000u | (b.param(1) & 0xFFFFFF)));
        if (b.param(2)) painter.fillRect(*r, colour);
        else {
            painter.setPen(colour);
            painter.setBrush(Qt::NoBrush);
            painter.drawRect(r->adjusted(0, 0, -1, -1));
        }
    }
    if (!screenLocked(t) && !p.scripts().drawingOffscreen) p.paintCardRect(*r);
}

// ---- Sounds and action lists ----

// 106: stops every sound (p1 non-zero), or those not marked to keep playing.
void stopSounds(CommandTable& t, CommandBlock& b) { playerOf(t).sounds().StopSounds(b.param(1) != 0); }

// 107: p1 = 1 while a sound plays.
void soundPlaying(CommandTable& t, CommandBlock& b) { b.setParam(1, playerOf(t).sounds().IsSoundPlaying() ? 1 : 0); }

// 108: the sound volume, the level in p1's low 16 bits.
void soundVolume(CommandTable& t, CommandBlock& b) { playerOf(t).sounds().SetSoundVolume(uint16_t(low16(b.param(1)))); }

// 109: a tone of p1 hertz lasting p2 milliseconds at the level in p3's low 16 bits.
void tone(CommandTable& t, CommandBlock& b) {
    playerOf(t).sounds().PlayTone(double(b.param(1)), b.param(2), uint16_t(low16(b.param(3))));
}

// 110: stops everything the card's action lists started (sounds, movies, animations).
void stopMedia(CommandTable& t, CommandBlock&) { playerOf(t).actions().stopCardMedia(); }

// 111: runs the stack's action list whose id is p1's low 16 bits (browse tool only).
void runActionList(CommandTable& t, CommandBlock& b) {
    playerOf(t).actions().runActionById(uint16_t(low16(b.param(1))), false, std::string());
}

// 112: waits for the media that the owner in p3's low 16 bits (a button's id) started: its
// animations when p1 is non-zero, its movies when p2 is; a click or key ends the wait.
void waitMedia(CommandTable& t, CommandBlock& b) {
    playerOf(t).actions().waitForMedia(b.param(1) != 0, b.param(2) != 0, false, uint16_t(low16(b.param(3))));
}

// 114: p1 = the id of the stored sound named by the counted string in p3 (case ignored), 0
// when there is none.
void soundNamed(CommandTable&, CommandBlock& b) {
    const auto name = CountedStringAt(Handle(b.param(3)));
    b.setParam(1, name && theStack().open() ? StackResourceIdNamed(chunk::kSnd, *name) : 0);
}

// 115: with p1 = 0, p1 = how many stored sounds the stack holds; else p1 = the id of the
// p1-th of them (0 when there is none).
void soundAt(CommandTable&, CommandBlock& b) {
    const int32_t n = int32_t(b.param(1));
    if (!theStack().open()) {
        b.setParam(1, 0);
        return;
    }
    if (n != 0) {
        b.setParam(1, n > 0 ? StackResourceIdAt(chunk::kSnd, n) : 0);
        return;
    }
    uint32_t count = 0;
    while (StackResourceIdAt(chunk::kSnd, int(count) + 1)) ++count;
    b.setParam(1, count);
}

// ---- Scripts ----

// 117: runs the bytes of the Handle in p1 as a script.
void runScriptBlock(CommandTable& t, CommandBlock& b) {
    if (const auto text = ReferenceBytes(Handle(b.param(1)))) playerOf(t).scripts().run(*text);
}

// 152: as 117, then p1 = a new Handle holding what the run printed (the caller disposes it).
void runScriptOutput(CommandTable& t, CommandBlock& b) {
    const auto text = ReferenceBytes(Handle(b.param(1)));
    b.setParam(1, 0);
    if (!text) return;
    ScriptBridge& s = playerOf(t).scripts();
    std::string printed;
    auto before = std::move(s.output);
    s.output = [&](std::string_view bytes) {
        printed.append(bytes);
        if (before) before(bytes);
    };
    s.run(*text);
    s.output = std::move(before);
    b.setParam(1, uint32_t(NewReferenceFrom(printed.data(), uint32_t(printed.size()))));
}

// 118: asks the script that runs to stop, as Escape does.
void stopScript(CommandTable& t, CommandBlock&) {
    ScriptBridge& s = playerOf(t).scripts();
    if (s.running()) s.interpreter().stopRequested = true;
}

// 149: p1 = a new Handle holding the last text scripts printed (up to 64 KB; the caller
// disposes it).
void printedText(CommandTable& t, CommandBlock& b) {
    const std::string& printed = playerOf(t).scripts().printed();
    b.setParam(1, uint32_t(NewReferenceFrom(printed.data(), uint32_t(printed.size()))));
}

// 150: p1 = 1 while a script runs.
void scriptRunning(CommandTable& t, CommandBlock& b) { b.setParam(1, playerOf(t).scripts().running() ? 1 : 0); }

// ---- Settings and menu commands ----

bool validKey(const std::string& key) {
    return !key.empty() && key.front() != '[' && key.find_first_of("=;\r\n") == std::string::npos;
}

// 159: the plug-ins' setting named by the counted string in p1: p1 = its value as a counted
// string the player keeps until the next command 159 (empty when there is none).
void readPluginSetting(CommandTable& t, CommandBlock& b) {
    const auto key = CountedStringAt(Handle(b.param(1)));
    const std::string value = key && validKey(*key) ? readSetting(kPluginSection, *key) : std::string();
    b.setParam(1, uint32_t(keptString(t, kKeptSetting, value)));
}

// 160: sets the plug-ins' setting named by the counted string in p1 to the counted string in
// p2: p1 = 1 when it was written, else 0 (also when the section already holds its 256 keys).
void writePluginSetting(CommandTable&, CommandBlock& b) {
    const auto key = CountedStringAt(Handle(b.param(1)));
    const auto value = CountedStringAt(Handle(b.param(2)));
    const bool room = key && (settings().find(kPluginSection, *key) ||
                              settings().section(kPluginSection).size() < kMaxPluginKeys);
    const bool ok = room && value && validKey(*key) && value->find_first_of("\r\n") == std::string::npos &&
                    writeSetting(kPluginSection, *key, *value);
    b.setParam(1, ok ? 1 : 0);
}

// 161: p1 = the player's clock in milliseconds (low 32 bits), p2 = in ticks (ms / 17).
void clockNow(CommandTable&, CommandBlock& b) {
    b.setParam(1, uint32_t(clock().nowMs()));
    b.setParam(2, clock().ticks());
}

// 162: runs the menu command whose id is p1, when the menus have it enabled: p1 = 1 when it
// ran, else 0.
void runMenuCommand(CommandTable& t, CommandBlock& b) {
    Player& p = playerOf(t);
    const int id = int32_t(b.param(1));
    const bool run = id > 0 && id != kRefusedCommand && p.commandEnabled(id);
    b.setParam(1, run ? 1 : 0);
    if (run) p.runCommand(id);
}

// 163: p1 = 1 when the menu command whose id is p1 is enabled.
void menuCommandEnabled(CommandTable& t, CommandBlock& b) {
    const int id = int32_t(b.param(1));
    b.setParam(1, id > 0 && playerOf(t).commandEnabled(id) ? 1 : 0);
}

// ---- The screen and the stack ----

// 173: p1 = 1 while the screen is locked (170).
void screenLockedState(CommandTable& t, CommandBlock& b) { b.setParam(1, screenLocked(t) ? 1 : 0); }

// 174: p1 = the window's title as a counted string the player keeps until the next 174.
void windowTitle(CommandTable& t, CommandBlock& b) {
    b.setParam(1, uint32_t(keptString(t, kKeptTitle, playerOf(t).windowTitle())));
}

// 175: with p2 non-zero, marks the open stack changed (a plug-in that wrote into its
// records wants them saved); then p1 = 1 when the stack has changes not saved.
void stackChanged(CommandTable&, CommandBlock& b) {
    StackDocument& s = theStack();
    if (!s.open()) {
        b.setParam(1, 0);
        return;
    }
    if (b.param(2)) s.changed = true;
    b.setParam(1, s.changed ? 1 : 0);
}

} // namespace

void installSystemCommands(Table& a) {
    a[15] = &newBlock;
    a[16] = &lockBlock;
    a[17] = &unlockBlock;
    a[18] = &disposeBlock;
    a[38] = &pointer;
    a[81] = &repaint;
    a[82] = &cardArea;
    a[91] = &revealButtons;
    a[93] = &pause;
    a[106] = &stopSounds;
    a[107] = &soundPlaying;
    a[108] = &soundVolume;
    a[109] = &tone;
    a[110] = &stopMedia;
    a[111] = &runActionList;
    a[112] = &waitMedia;
    a[114] = &soundNamed;
    a[115] = &soundAt;
    a[117] = &runScriptBlock;
    a[118] = &stopScript;
    a[131] = &pixel;
    a[146] = &drawRect;
    a[149] = &printedText;
    a[150] = &scriptRunning;
    a[152] = &runScriptOutput;
    a[159] = &readPluginSetting;
    a[160] = &writePluginSetting;
    a[161] = &clockNow;
    a[162] = &runMenuCommand;
    a[163] = &menuCommandEnabled;
    a[173] = &screenLockedState;
    a[174] = &windowTitle;
    a[175] = &stackChanged;
}

} // namespace cv::commands
