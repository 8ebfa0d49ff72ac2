// Files and folders: the table of open files (OPEN, CLOSE, the reader and writer and their
// positions), printing a file, and the folder primitives.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <vector>

#include "core/text_encoding.h"
#include "script/script_files.h"

namespace cv::script {

namespace {

namespace fs = std::filesystem;

ScriptFiles& files(PrimCall& c) { return scriptFiles(c.in); }

// A name input as text; false after error 29 or 41 when it is not a word.
bool nameInput(PrimCall& c, Ref v, std::string& name) {
    if (!c.in.CheckWord(v, c.index)) return false;
    name = c.in.TextOf(v);
    return true;
}

// The slot of an open file named by the input; -1 after error 29, 41 or 45.
int openSlotOf(PrimCall& c, Ref v) {
    std::string name;
    if (!nameInput(c, v, name)) return -1;
    const int i = files(c).find(name);
    if (i < 0) c.in.RaiseError(kErrNotOpen, v, kNone);
    return i;
}

void diskError(PrimCall& c) { c.in.RaiseError(kErrDiskIO, kNone, kNone); }

// A byte position as a number: an integer while it fits.
Ref positionValue(Interpreter& in, off_t pos) {
    if (pos < 0) return in.NewInteger(0);
    if (pos <= INT32_MAX) return in.NewInteger(int32_t(pos));
    return in.NewFloat(double(pos));
}

Ref nameWord(Interpreter& in, const std::string& name) { return in.WordFromText(name); }

// Writes with `printing` set, so that a writer file receives it.
void writePrinting(Interpreter& in, std::string_view text) {
    const bool saved = in.printing;
    in.printing = true;
    in.write(text);
    in.printing = saved;
}

// --- the table ------------------------------------------------------------------------------

Ref primOpen(PrimCall& c) {
    Interpreter& in = c.in;
    ScriptFiles& f = files(c);
    const int slot = f.freeSlot();
    if (slot < 0) {
        in.RaisePrimError(kErrTooManyFiles, c.index, kNone);
        return kNone;
    }
    std::string name;
    if (!nameInput(c, c.args[0], name)) return kNone;
    const auto path = f.pathForOpening(name);
    if (!path || !f.openSlot(slot, name, *path)) in.RaiseError(kErrCantRead, kNone, c.args[0]);
    return kNone;
}

Ref primClose(PrimCall& c) {
    const int slot = openSlotOf(c, c.args[0]);
    if (slot < 0) return kNone;
    // Data the system could not write is reported rather than lost in silence.
    if (!files(c).closeSlot(slot)) diskError(c);
    return kNone;
}

Ref primCloseAll(PrimCall& c) {
    if (!files(c).closeAll()) diskError(c);
    return kNone;
}

Ref primAllOpen(PrimCall& c) {
    Interpreter& in = c.in;
    ScriptFiles& f = files(c);
    Ref head = kNone, tail = kNone;
    for (int i = 0; i < ScriptFiles::kSlots; ++i) {
        if (!f.slot(i).open()) continue;
        const Ref w = nameWord(in, f.slot(i).name);
        if (w == kNone || !in.AppendToList(head, tail, w)) {
            in.UnlockValue(w);
            in.UnlockValue(head);
            return kNone;
        }
    }
    return head == kNone ? Ref(kEmptyList) : head;
}

// SETREAD and SETWRITE: a file of the table, or the empty list for none.
void selectFile(PrimCall& c, int& selected) {
    Interpreter& in = c.in;
    const Ref v = c.args[0];
    if (v != kNone && in.isList(v)) {
        if (in.IsEmptyList(v)) selected = -1;
        else in.RaisePrimError(kErrDoesntLike, c.index, v);
        return;
    }
    const int slot = openSlotOf(c, v);
    if (slot >= 0) selected = slot;
}

Ref primSetRead(PrimCall& c) {
    selectFile(c, files(c).reader);
    return kNone;
}

Ref primSetWrite(PrimCall& c) {
    selectFile(c, files(c).writer);
    return kNone;
}

Ref selectedName(PrimCall& c, int selected) {
    if (selected < 0) return kEmptyList;
    return nameWord(c.in, files(c).slot(selected).name);
}

Ref primReader(PrimCall& c) { return selectedName(c, files(c).reader); }
Ref primWriter(PrimCall& c) { return selectedName(c, files(c).writer); }

// The selected file, or none after error 65 (reader) or 73 (writer) naming the primitive.
OpenFile* selectedFile(PrimCall& c, bool reader) {
    ScriptFiles& f = files(c);
    const int slot = reader ? f.reader : f.writer;
    if (slot < 0) {
        c.in.RaisePrimError(reader ? kErrWantsReader : kErrWantsWriter, c.index, kNone);
        return nullptr;
    }
    return &f.slot(slot);
}

Ref position(PrimCall& c, bool reader) {
    OpenFile* f = selectedFile(c, reader);
    if (!f) return kNone;
    const off_t pos = ftello(f->stream);
    if (pos < 0) {
        diskError(c);
        return kNone;
    }
    return positionValue(c.in, pos);
}

Ref setPosition(PrimCall& c, bool reader) {
    OpenFile* f = selectedFile(c, reader);
    if (!f) return kNone;
    const int32_t pos = c.in.ToInteger(c.args[0], c.index);
    if (c.in.stopRequested || c.in.throwInProgress) return kNone;
    if (pos < 0 || fseeko(f->stream, off_t(pos), SEEK_SET) != 0) {
        diskError(c);
        return kNone;
    }
    f->last = OpenFile::Last::None;
    return kNone;
}

Ref primReadPos(PrimCall& c) { return position(c, true); }
Ref primWritePos(PrimCall& c) { return position(c, false); }
Ref primSetReadPos(PrimCall& c) { return setPosition(c, true); }
Ref primSetWritePos(PrimCall& c) { return setPosition(c, false); }

Ref primFileLen(PrimCall& c) {
    const int slot = openSlotOf(c, c.args[0]);
    if (slot < 0) return kNone;
    // Bytes written and still buffered count (through any slot); the position stays.
    files(c).flushAll();
    OpenFile& f = files(c).slot(slot);
    struct stat st {};
    if (::fstat(::fileno(f.stream), &st) != 0) {
        diskError(c);
        return kNone;
    }
    return positionValue(c.in, st.st_size);
}

Ref primFileP(PrimCall& c) {
    std::string name;
    if (!nameInput(c, c.args[0], name)) return kNone;
    ScriptFiles& f = files(c);
    if (f.find(name) >= 0) return kTrue;
    const auto path = f.pathFor(name, ScriptFiles::Use::Read);
    if (!path) return kFalse;
    std::FILE* s = OpenPlainFileForReading(*path);
    if (!s) return kFalse;
    std::fclose(s);
    return kTrue;
}

// --- files and folders ------------------------------------------------------------------------

Ref primEraseFile(PrimCall& c) {
    std::string name;
    if (!nameInput(c, c.args[0], name)) return kNone;
    ScriptFiles& f = files(c);
    const auto path = f.pathFor(name, ScriptFiles::Use::Erase);
    struct stat st {};
    // Only files; and not one that is open, whose later writes would vanish with it.
    if (!path || ::lstat(path->c_str(), &st) != 0 || S_ISDIR(st.st_mode) || f.isOpen(*path) ||
        ::unlink(path->c_str()) != 0)
        diskError(c);
    return kNone;
}

// Renames without replacing a file already there.
bool renameNoReplace(const std::string& from, const std::string& to) {
#ifdef RENAME_NOREPLACE
    if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return true;
    if (errno != EINVAL && errno != ENOSYS) return false;
#endif
    struct stat st {};
    if (::lstat(to.c_str(), &st) == 0) return false;
    return std::rename(from.c_str(), to.c_str()) == 0;
}

Ref primRename(PrimCall& c) {
    std::string oldName, newName;
    if (!nameInput(c, c.args[0], oldName) || !nameInput(c, c.args[1], newName)) return kNone;
    ScriptFiles& f = files(c);
    const auto from = f.pathFor(oldName, ScriptFiles::Use::Erase);
    const auto existing = f.pathFor(newName, ScriptFiles::Use::Read);
    const auto to = f.pathFor(newName, ScriptFiles::Use::WriteAsWritten);
    if (!from || !to) {
        diskError(c);
        return kNone;
    }
    // A name already taken (in any case) is refused, except by the file itself: that
    // changes the case of its name.
    std::error_code ec;
    struct stat st {};
    if (existing && ::lstat(existing->c_str(), &st) == 0 && !fs::equivalent(*from, *existing, ec)) {
        diskError(c);
        return kNone;
    }
    if (!renameNoReplace(*from, *to)) diskError(c);
    return kNone;
}

Ref primCreateDirectory(PrimCall& c) {
    std::string name;
    if (!nameInput(c, c.args[0], name)) return kNone;
    const auto path = files(c).pathFor(name, ScriptFiles::Use::MakeFolder);
    if (!path || ::mkdir(path->c_str(), 0777) != 0) diskError(c);
    return kNone;
}

Ref primPrefix(PrimCall& c) { return c.in.WordFromText(files(c).prefixText()); }

Ref primSetPrefix(PrimCall& c) {
    std::string name;
    if (!nameInput(c, c.args[0], name)) return kNone;
    if (!files(c).changePrefix(name)) diskError(c);
    return kNone;
}

// This machine has one root where the other had drive letters; a stack's world has one drive.
Ref primOnline(PrimCall& c) {
    Interpreter& in = c.in;
    const Ref w = in.WordFromText(files(c).roots().front());
    if (w == kNone) return kNone;
    const Ref l = in.NewList(w, kNone);
    if (l == kNone) in.UnlockValue(w);
    return l;
}

struct Entry {
    std::string name;  // Windows-1252
    std::string date;
    long size = 0;
};

// The entries of the prefix folder, in the order of their names ignoring case.
std::vector<Entry> folderEntries(PrimCall& c) {
    static const char* const kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                          "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    std::vector<Entry> out;
    files(c).flushAll();
    for (const auto& [entryName, entryPath] : files(c).folderEntries()) {
        Entry e;
        e.name = utf8ToCp1252(entryName);
        struct stat st {};
        if (::stat(entryPath.c_str(), &st) != 0 && ::lstat(entryPath.c_str(), &st) != 0) continue;
        std::tm tm{};
        const std::time_t t = st.st_mtime;
        localtime_r(&t, &tm);
        char buf[64];
        std::snprintf(buf, sizeof buf, "%02u:%02u:%02u %02u %s %04u", unsigned(tm.tm_hour), unsigned(tm.tm_min),
                      unsigned(tm.tm_sec), unsigned(tm.tm_mday), kMonths[unsigned(tm.tm_mon) % 12],
                      unsigned(tm.tm_year + 1900));
        e.date = buf;
        e.size = S_ISDIR(st.st_mode) ? 0 : long(st.st_size);
        out.push_back(std::move(e));
        if (out.size() % 256 == 0) {
            c.in.PollInterrupt();
            if (c.in.stopRequested) break;
        }
    }
    auto key = [](const std::string& s) {
        std::string k = s;
        for (char& ch : k)
            if (ch >= 'a' && ch <= 'z') ch = char(ch - 'a' + 'A');
        return k;
    };
    std::sort(out.begin(), out.end(), [&](const Entry& a, const Entry& b) {
        const std::string ka = key(a.name), kb = key(b.name);
        return ka != kb ? ka < kb : a.name < b.name;
    });
    return out;
}

Ref primCatalog(PrimCall& c) {
    Interpreter& in = c.in;
    const std::vector<Entry> entries = folderEntries(c);
    if (in.stopRequested) return kNone;
    writePrinting(in, "Name         Date                  Size   \n");
    writePrinting(in, "------------ --------------------  -------\n");
    for (const Entry& e : entries) {
        std::string line = e.name;
        if (line.size() >= 24) line += '\n' + std::string(24, ' ');
        else line.resize(24, ' ');
        char size[32];
        std::snprintf(size, sizeof size, "%7ld", e.size);
        line += e.date;
        line += "  ";
        line += size;
        line += '\n';
        writePrinting(in, line);
        in.PollInterrupt();
        if (in.stopRequested) break;
    }
    return kNone;
}

Ref primDir(PrimCall& c) {
    Interpreter& in = c.in;
    const std::vector<Entry> entries = folderEntries(c);
    if (in.stopRequested) return kNone;
    Ref head = kNone, tail = kNone;
    for (const Entry& e : entries) {
        char size[32];
        std::snprintf(size, sizeof size, "%ld", e.size);
        Ref item = kNone, itemTail = kNone;
        bool ok = true;
        for (const std::string* text : {&e.name, &e.date}) {
            const Ref w = in.WordFromText(*text);
            ok = ok && w != kNone && in.AppendToList(item, itemTail, w);
        }
        const Ref s = ok ? in.WordFromText(size) : kNone;
        ok = ok && s != kNone && in.AppendToList(item, itemTail, s);
        if (!ok || !in.AppendToList(head, tail, item)) {
            in.UnlockValue(item);
            in.UnlockValue(head);
            return kNone;
        }
    }
    return head == kNone ? Ref(kEmptyList) : head;
}

// The bytes the file holds when POFILE begins, so that printing into the same file ends.
Ref primPoFile(PrimCall& c) {
    Interpreter& in = c.in;
    std::string name;
    if (!nameInput(c, c.args[0], name)) return kNone;
    files(c).flushAll();
    const auto path = files(c).pathFor(name, ScriptFiles::Use::Read);
    std::FILE* f = path ? OpenPlainFileForReading(*path) : nullptr;
    if (!f) {
        in.RaiseError(kErrCantRead, kNone, c.args[0]);
        return kNone;
    }
    struct stat st {};
    off_t left = ::fstat(::fileno(f), &st) == 0 ? st.st_size : 0;
    std::vector<char> buf(1 << 16);
    while (left > 0) {
        const size_t want = size_t(std::min<off_t>(left, off_t(buf.size())));
        const size_t got = std::fread(buf.data(), 1, want, f);
        if (got == 0) break;
        left -= off_t(got);
        writePrinting(in, std::string_view(buf.data(), got));
        in.PollInterrupt();
        if (in.stopRequested || in.throwInProgress) break;
    }
    std::fclose(f);
    return kNone;
}

// --- life cycle -------------------------------------------------------------------------------

void filesInitialise(Interpreter& in) { scriptFiles(in); }

void filesRunStarted(Interpreter& in) { ++scriptFiles(in).runDepth; }

void filesRunFinished(Interpreter& in) {
    ScriptFiles& f = scriptFiles(in);
    // What is left of a file loaded by a stopped run is not run by the next one.
    if (f.active()) f.stopLoad();
    --f.runDepth;
}

const PrimitiveFamily kFiles("files",
                             {
                                 {"OPEN", primOpen},
                                 {"CLOSE", primClose},
                                 {"CLOSEALL", primCloseAll},
                                 {"ALLOPEN", primAllOpen},
                                 {"SETREAD", primSetRead},
                                 {"SETWRITE", primSetWrite},
                                 {"READER", primReader},
                                 {"WRITER", primWriter},
                                 {"READPOS", primReadPos},
                                 {"WRITEPOS", primWritePos},
                                 {"SETREADPOS", primSetReadPos},
                                 {"SETWRITEPOS", primSetWritePos},
                                 {"FILELEN", primFileLen},
                                 {"FILEP", primFileP},
                                 {"ERASEFILE", primEraseFile},
                                 {"RENAME", primRename},
                                 {"CREATEDIRECTORY", primCreateDirectory},
                                 {"PREFIX", primPrefix},
                                 {"SETPREFIX", primSetPrefix},
                                 {"ONLINE", primOnline},
                                 {"CATALOG", primCatalog},
                                 {"DIR", primDir},
                                 {"POFILE", primPoFile},
                             },
                             FamilyHooks{filesInitialise, filesRunStarted, filesRunFinished, nullptr});

} // namespace

} // namespace cv::script
