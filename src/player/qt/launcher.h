#pragma once
// Starting another program for the launch step of action lists: a program file with the
// document as its one argument, or a document alone with the program this desktop opens it with.
#include <string>

namespace cv {

struct MediaHooks;

// Starts `program` (a path on this machine, UTF-8) with `document` as its argument when one is
// given; without a program, opens `document` with its associated program. True when it started.
bool launchProgram(const std::string& program, const std::string& document);

// Makes the launch step of action lists start programs with launchProgram.
void installLauncher(MediaHooks& media);

} // namespace cv
