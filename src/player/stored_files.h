#pragma once
// Where the files a stack names (pictures, texts, sounds, programs, other stacks) are looked
// for on this machine.
#include <string>
#include <vector>

namespace cv {

// In order: the stack's own folder, the program's folder, then its art, sound, movie and
// plug-in folders. Without the program's locations (the command-line tools) the working
// folder takes the program's place. The first form is for the open stack.
std::vector<std::string> storedFileFolders();
std::vector<std::string> storedFileFolders(const std::string& stackPath);

} // namespace cv
