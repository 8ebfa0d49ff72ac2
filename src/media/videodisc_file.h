#pragma once
// A laserdisc digitised into a video file, played as the disc player would play it: frame N
// of a constant-angular-velocity (CAV) disc is the file's frame N counted from 0 at the file's
// own frame rate, times on a constant-linear-velocity (CLV) disc are the file's times, and
// chapters start at the frames listed in a side file NAME.chapters (one frame number a line),
// or else at the video's own chapter marks (chapter 1 always starts at frame 0).
#include <memory>
#include <string>
#include <vector>

#include "media/videodisc_device.h"

namespace cv {

class Mixer;

// Where the settings name the disc: section "Videodisc", key "Disc" (a path), and "Type"
// ("CLV" for a linear disc; anything else is CAV).
inline constexpr char kVideodiscSection[] = "Videodisc";
inline constexpr char kVideodiscDiscKey[] = "Disc";
inline constexpr char kVideodiscTypeKey[] = "Type";

// The device for the disc at `path`: a disc played from the file, or, when the path is empty
// or the file cannot be played, a player that is not connected.
// Its sound, when it has one, plays through `mixer` while the disc plays forwards at its own
// speed, with the channels the audio setting chose.
std::unique_ptr<VideodiscDevice> OpenVideodiscDevice(const std::string& path, bool linear = false, Mixer* mixer = nullptr);

// The chapter starts a side file lists: one frame number a line, blank lines and lines
// starting with '#' skipped, kept in rising order; at most 1000 chapters.
std::vector<uint32_t> ParseChapterList(const std::string& text);

} // namespace cv
