#pragma once
// The 32-bit Windows plug-ins of stacks (the original NBAs and Extras): run inside
// nbahost.exe under Wine, one host process per player, started on the first call. The
// library kind for them stands beside the native one behind PluginLoader.
#include <functional>
#include <string>
#include <utility>

#include "media/nba/plugin_library.h"

namespace cv {

// Whether the file is a Windows program or library (the "MZ" header, then "PE\0\0").
bool isWindowsLibrary(const std::string& path);

struct WineHostSettings {
    std::string wine = "wine";  // the program that runs nbahost.exe (searched in PATH)
    std::string host;           // nbahost.exe; empty: beside the program, else the build's
    int timeoutMs = 10000;      // a plug-in silent this long (no callback, no return) is stopped
    int startMs = 60000;        // Wine's first start in a new prefix takes long
    // The Wine window standing for the player's window (offset 20) lies over the card: its
    // size, and where the card's top-left corner is on the screen (none: the corner of it).
    int frameWidth = 640, frameHeight = 480;
    std::function<std::pair<int, int>()> frameOrigin;
    // Called about twice a second while a plug-in inside a call waits for the person (a dialog
    // of its own): the player keeps its window painted meanwhile. False: the person closed the
    // player, and the plug-in is stopped without a word.
    std::function<bool()> whileWaiting;
    // Readies the block for a callback a plug-in's window or timer made between calls: the host
    // table, the card. False: the player takes none now, and the callback does nothing.
    std::function<bool(NativeBlock&)> betweenCalls;
    // Says a text to the person (the player's alert by default).
    std::function<void(const std::string&)> notice;
};
WineHostSettings& wineHostSettings();

// Why Windows plug-ins cannot run here (no Wine, no host), or empty.
std::string windowsPluginsUnavailable();
// The player's idle moment: answers the callbacks plug-ins' windows made since (a palette
// going to a card), and moves the host's frame window over the card when the player's window
// moved. Does nothing while no host runs or a call is under way.
void wineHostIdle();
// Ends the host process (the player is closing; tests).
void stopWineHost();

PluginLoader& winePluginLoader();

} // namespace cv
