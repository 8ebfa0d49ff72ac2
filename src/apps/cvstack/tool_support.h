#pragma once
// What cvstack's verbs share: opening a stack headless (alerts go to stderr) and small
// helpers for the text they print.
#include <string>
#include <vector>

namespace cv {
class Player;
}

namespace cv::tool {

// Alerts and messages are printed to stderr as they are shown.
void routeAlertsToStderr();
// Opens `path` as the open stack; alerts are printed to stderr. True on success. Nothing of
// the stack runs: not its saved workspace, nor any action.
bool openStackForTool(const std::string& path);

// Puts card `number` of the open stack on `player`'s screen as it is stored: its picture and
// objects, without a transition and without running anything (arrive work, actions, scripts,
// timers, sounds), and with no text field active (no caret, no selection). False when there
// is no such card.
bool showStoredCard(Player& player, int number);

// Windows bytes as UTF-8 text (Macintosh bytes are converted first when `mac`).
std::string displayText(const std::string& bytes, bool mac = false);

// Looks for "--name VALUE" in args (removing both); empty when absent.
std::string takeOption(std::vector<std::string>& args, const std::string& name);
bool takeFlag(std::vector<std::string>& args, const std::string& name);

// Makes the Qt application that drawing needs (offscreen when no platform is chosen).
void ensureGuiApplication();

} // namespace cv::tool
