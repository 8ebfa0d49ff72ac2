#pragma once
// Opening a whole stack file and saving it back, with every check, question and message.
#include <cstdint>
#include <functional>
#include <string>

#include "core/file_io.h"
#include "core/handles.h"

namespace cv {

// Message codes of file errors (their text is the string of the same number).
enum : int {
    kErrIOMessage = 2680,
    kErrResourceNotFound = 2681,
    kErrCannotAdd = 2682,
    kErrNoMemory = 2683,
    kErrDirectoryFull = 2684,
    kErrDiskFull = 2685,
    kErrBadName = 2686,
    kErrWriteProtected = 2687,
    kErrFileLocked = -2688,
    kErrFolderLocked = 2689,
    kErrFileBusy = 2690,
    kErrNoAccess = 2691,
    kErrSaveFailed = 2694,
};

// Shows the message for a result code: nothing for 0 and -12, the message of that number
// for the file-error codes, a general message for anything else.
void ReportError(int code);
// The message code for a failed file-system call (errno value).
int codeForErrno(int err);

// Work that other parts of the program do around opening and saving; each may be left empty.
struct StackHooks {
    std::function<void()> stopMedia;      // before saving
    std::function<void()> saveWorkspace;  // before saving and closing
    std::function<void()> loadWorkspace;  // after opening
    std::function<void()> closing;        // before the open stack is disposed
};
StackHooks& stackHooks();

// The largest card: wider or higher than any display of the stacks' time, and 64 MB as a
// 32-bit screen image. A header asking for more is not a stack.
constexpr int kMaxCardSide = 4096;

// Opens the stack at `path` as the open stack (disposing the previous one). 0, or an error
// code whose alert has been shown.
int OpenStack(const std::string& path);

// Reads one card record (native form) from another stack file, by id or by 1-based position.
struct OtherCard {
    Handle record = 0;
    uint16_t depth = 0;
    uint16_t version = 0;
    uint32_t chunkOffset = 0;
};
int ReadCardFromStack(const std::string& path, bool byId, uint16_t idOrNumber, OtherCard* out);

struct SaveOptions {
    uint16_t newDepth = 0;   // when non-zero and not the stack's depth, pictures are re-encoded
    bool purge = true;       // remove unreferenced resources first (the builder keeps them all)
};
// Writes the open stack to `target`. 0, or an error code whose alert has been shown.
int SaveStack(const std::string& target, const SaveOptions& options = {});

// A temporary file claimed for a save: open for writing, and locked (an advisory lock) while
// the save writes it, so that no other player takes it for one left behind.
struct TemporaryFile {
    int fd = -1;
    std::string path;
    explicit operator bool() const { return fd >= 0; }
};
// Creates the next free temporary file in `folder` (CVTMP000.TMP, CVTMP001.TMP, ...). The
// name is claimed when the file is made, so two saves into one folder at the same time, even
// by two programs, never share a file. No file (errno set; EEXIST when all 1000 names are
// taken) when none could be made.
TemporaryFile claimTemporaryFile(const std::string& folder);
// Removes the temporary files of saves that were killed: ours by name, older than this
// process, and locked by no save. Returns how many were removed.
int removeStaleTemporaryFiles(const std::string& folder);

} // namespace cv
