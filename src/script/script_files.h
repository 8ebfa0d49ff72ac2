#pragma once
// The files of scripts: the table of eight open files with its reader and writer, the file
// being loaded (read before the script text), and how a name that a script writes finds a
// file on this machine.
//
// Names are the script's own Windows-1252 text. A relative name is taken in the prefix folder
// (SETPREFIX); a drive letter names no drive here, so "C:\DATA\F.TXT" is DATA/F.TXT in the
// prefix folder; '\' separates folders like '/'; a name starting with '/' is a path of this
// machine (what PREFIX gives). Stacks come from systems whose names ignore case, so an
// existing file is found whatever the case of its name.
//
// A stack's scripts are confined to the stack's world (script/file_world.h): every name is
// placed in it, and PREFIX, SETPREFIX and the listings show the world's folders.
#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "script/file_world.h"
#include "script/interpreter.h"

namespace cv::script {

// One slot of the file table.
struct OpenFile {
    std::FILE* stream = nullptr;
    std::string name;  // as the script wrote it (Windows-1252); how the table finds it
    std::string path;  // the file on this machine (UTF-8)
    // Reading and writing one stream needs a seek between the two.
    enum class Last : uint8_t { None, Read, Write } last = Last::None;
    bool writeFailed = false;
    bool open() const { return stream != nullptr; }
};

class ScriptFiles final : public FamilyState, public OutputRedirect, public LineSource {
public:
    static constexpr int kSlots = 8;

    ScriptFiles();
    ~ScriptFiles() override;

    // --- the table --------------------------------------------------------------------
    // Slot of a name (exact, ignoring ASCII case), or -1.
    int find(std::string_view name) const;
    int freeSlot() const;
    OpenFile& slot(int i) { return slots_[size_t(i)]; }
    const OpenFile& slot(int i) const { return slots_[size_t(i)]; }
    // Opens `path` for reading and writing into slot i (created when absent); false when it
    // cannot be opened or is not a plain file.
    bool openSlot(int i, std::string_view name, const std::string& path);
    // Closes slot i (reader and writer let go of it); false when its data could not all be
    // written.
    bool closeSlot(int i);
    // Closes every slot; false when any lost data.
    bool closeAll();
    // Puts what the open files hold in their buffers on the disk, for reads that open the
    // same file another way (POFILE, LOAD, listings).
    void flushAll();
    int reader = -1, writer = -1;
    // True when the file at `path` is open in the table (or being loaded).
    bool isOpen(const std::string& path) const;

    // Stream access with the seek that switching between reading and writing needs.
    bool prepareRead(OpenFile& f);
    bool prepareWrite(OpenFile& f);

    // --- names --------------------------------------------------------------------------
    // The host folder relative names are found in (UTF-8) while names are not confined.
    const std::string& prefix() const { return prefix_; }
    void setPrefix(std::string hostDir) { prefix_ = std::move(hostDir); }
    // The file a script name stands for, or nothing for a name that names nothing (empty).
    std::optional<std::string> hostPath(std::string_view scriptName, bool findLast = true) const;

    // Confines every name to a world (its current folder becomes the root), or with nothing
    // lets names reach this machine's files from the prefix folder. Files opened in another
    // world are closed first.
    void setWorld(std::optional<FileWorld> world);
    const FileWorld* world() const { return world_ ? &*world_ : nullptr; }

    // What a primitive does with a name, and so where the name may lead.
    enum class Use : uint8_t {
        Read,            // LOAD, POFILE, FILEP: the first layer of the world that holds it
        Write,           // SAVE: into the data folder
        MakeFolder,      // CREATEDIRECTORY: into the data folder, a name the world does not hold
        WriteAsWritten,  // RENAME's new name: into the data folder, its case as written
        Erase,           // ERASEFILE, RENAME's old name: only what the data folder holds
    };
    // The host path for a name, or nothing when it names nothing or would leave the world.
    std::optional<std::string> pathFor(std::string_view scriptName, Use use) const;
    // OPEN's file: in the data folder, a copy of the stack's own file when only the read
    // layers hold it, so that the stack's folder never changes.
    std::optional<std::string> pathForOpening(std::string_view scriptName) const;
    // PREFIX (Windows-1252) and SETPREFIX; false when the name is no folder that can be reached.
    std::string prefixText() const;
    bool changePrefix(std::string_view scriptName);
    // The roots ONLINE lists (Windows-1252).
    std::vector<std::string> roots() const;
    // The entries of the current folder: name (UTF-8) and host path, in no particular order.
    std::vector<std::pair<std::string, std::string>> folderEntries() const;

    // --- LOAD -------------------------------------------------------------------------
    // Starts loading `path` in the current run; false when it cannot be read.
    bool startLoad(const std::string& path);
    void stopLoad();
    bool active() const override { return load_ != nullptr && runDepth == loadDepth_; }
    bool readLine(std::string& line) override;

    // --- output -------------------------------------------------------------------------
    bool write(std::string_view bytes, bool printing) override;

    // Nesting of script runs (a script run from inside a script); a loaded file belongs to
    // the run that loaded it.
    int runDepth = 0;
    Interpreter* interpreter = nullptr;

private:
    OpenFile slots_[kSlots];
    std::string prefix_;
    std::optional<FileWorld> world_;
    WorldPath worldFolder_;
    std::FILE* load_ = nullptr;
    int loadDepth_ = 0;
};

// The read dialog's prompt (SETRWPROMPT) and its place (SETRWRECT, in window pixels: left,
// top, right, bottom), for the dialog that asks for a line while output is drawn.
struct ReadDialogSettings final : FamilyState {
    std::string prompt;
    int rect[4] = {0, 0, 0, 0};
    bool rectSet = false;
};

// The files of an interpreter (made, and wired to its output and line input, on first use).
ScriptFiles& scriptFiles(Interpreter& in);

// The host file for a script name from `prefix`: drive letters dropped (the rest is taken in
// the prefix), '\' as '/', a leading '/' a path of this machine, each existing component found
// ignoring case (the last one only when `findLast`). Nothing for an empty name.
std::optional<std::string> HostPathFor(const std::string& prefix, std::string_view scriptName,
                                       bool findLast = true);

// Opens a plain file for reading without waiting on devices or pipes; null when it cannot be
// opened or is not a plain file.
std::FILE* OpenPlainFileForReading(const std::string& path);

// One line of a stream: bytes up to CR, LF or the end (the terminator is consumed). False at
// the end with nothing read. Polls for Escape on very long lines.
bool ReadStreamLine(Interpreter& in, std::FILE* f, std::string& line);

} // namespace cv::script
