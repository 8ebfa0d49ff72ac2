#pragma once
// The world the open stack's scripts live in (script/file_world.h): its data folder in the
// person's data directory, the stack's own folder (unless that is the person's home folder, a
// folder above it, or the root) and the program's media folders. A stack the
// person lets use all their files has none: its names reach this machine's files, taken from
// the stack's folder.
//
// The person's choice is remembered in the settings file, section "FileAccess", one key per
// stack file: the name of the stack's data folder (which marks its full path), value "Yes".
// `corvella --allow-files STACK` gives it for one run without remembering it.
#include <string>

#include "script/file_world.h"

namespace cv {

class Player;

// The world of a stack file (an empty path: a new stack that has no file yet).
script::FileWorld stackWorld(const std::string& stackPath);

// Whether the stack's scripts may use all the person's files.
bool fullFileAccess(const std::string& stackPath);
// Remembers the choice in the settings file; false when the file could not be written.
bool setFullFileAccess(const std::string& stackPath, bool all);
// Gives the stack all files for this run of the program only.
void allowFilesThisRun(const std::string& stackPath);

// Gives the player's interpreter the open stack's world; called when a stack opens and when
// the person changes its access.
void enterStackWorld(Player& player);

} // namespace cv
