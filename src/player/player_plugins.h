#pragma once
// Plug-ins in the player: NBAs called from buttons, scripts and other plug-ins, told about
// cards, idle time, window events and the stack's close; and the Extras menu.
#include <functional>
#include <string>
#include <vector>

namespace cv {

class Player;
class NBAManager;
class Extras;
class ExtraManagerForm;

void installPlugins(Player& player);

// The plug-in folders of kind `name` ("NBAS" or "Extras"): beside the program, then in the
// user's data folder.
std::vector<std::string> pluginFolders(const std::string& name);

// The Extra Manager's window, set by the Qt player: true when the person chose Done. Without
// one, command 450 changes nothing.
using ExtraManagerDialog = std::function<bool(ExtraManagerForm& form)>;
void setExtraManagerDialog(ExtraManagerDialog dialog);

// The plug-ins of the most recently made player (tests, benchmarks).
NBAManager* installedNBAs();
Extras* installedExtras();

} // namespace cv
