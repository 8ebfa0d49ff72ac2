#pragma once
// The stack's saved script workspace ('WKSp' 128, else 'WkSp' 128) and the player's
// interpreter: a stack that opens loads it, and closing or saving the stack stores the
// workspace back when it changed. The stack layer reaches this through its hooks, so that it
// stays free of the interpreter.
#include <string>

namespace cv {

class Player;

// Loads the open stack's saved workspace into the player's interpreter: the workspace is
// erased as ERALL does (buried items stay) and the text runs with MAKE and SETPLIST leaving
// buried names alone. A stack without one leaves the workspace as it is. True when one ran.
bool LoadWorkspace(Player& player);
// Stores the workspace as 'WKSp' 128 when it changed since it was loaded or last stored.
// True when it was stored.
bool SaveWorkspace(Player& player);
// The saved workspace's text ('WKSp' 128, else 'WkSp' 128), or nothing.
bool savedWorkspaceText(std::string* text);

// Installs the workspace and media hooks of the stack layer for a player, and removes them
// when it goes.
class WorkspaceLink {
public:
    explicit WorkspaceLink(Player& player);
    ~WorkspaceLink();
    WorkspaceLink(const WorkspaceLink&) = delete;
    WorkspaceLink& operator=(const WorkspaceLink&) = delete;

private:
    Player& player_;
};

} // namespace cv
