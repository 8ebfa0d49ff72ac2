#pragma once
// The program's string table: every message and name it shows, under its string id, in the
// alert format ("NNtext~^Button") where the text is an alert. Texts are Windows-1252 bytes.
#include <optional>
#include <string>

namespace cv {

// The text of a string id, or nullopt when the table has no such entry.
std::optional<std::string> loadString(int id);

// Ids this program gives to messages that had none of their own.
enum StringId : int {
    kStrNotAStack = 9000,
    kStrBlackAndWhite = 9001,
    kStrNewerVersion = 9002,
    kStrOlderVersion = 9003,
    kStrNoCardsRead = 9004,
    kStrRepairChunks = 9005,
    kStrDiskLocked = 9006,
    kStrDiskFull = 9007,
    kStrNotAFile = 9120,
    kStrTooManyTemporaryFiles = 9121,
    kStrConvertedPrompt = 9008,
    kStrRecolouredPrompt = 9009,
    kStrSamplesMissing = 9010,
    kStrSomeError = 9011,
    kStrNotEnoughMemory = 9012,
    kStrTextLowMemory = 9013,
    kStrNoMatchFound = 9014,
    kStrMinimumCardSize = 2295,
};

} // namespace cv
