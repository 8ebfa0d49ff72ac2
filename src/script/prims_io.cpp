// Text input and the workspace files: reading lines and characters (from the reader file, a
// file being loaded, or the person), KEYP and MOUSE, the read dialog's prompt and place, and
// LOAD and SAVE.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>

#include "core/ui.h"
#include "script/script_files.h"
#include "script/workspace_store.h"

namespace cv::script {

namespace {

namespace fs = std::filesystem;

// A line typed by the person: the read dialog while output is drawn in a drawing window,
// otherwise the run's own line input (the player's decides both). No input gives an empty line.
void readTypedLine(Interpreter& in, std::string& line) {
    line.clear();
    if (in.lineInput && in.lineInput->choosesReadDialog()) {
        if (!in.ReadInteractiveLine(line)) line.clear();
        return;
    }
    if (in.turtleIO && in.drawingWindow) {
        const auto answer = in.ui().askText("READ", in.family<ReadDialogSettings>().prompt, "");
        if (answer) line = *answer;
        if (!line.empty() && (line[0] == '>' || line[0] == '?')) line.erase(0, 1);
        return;
    }
    if (!in.ReadInteractiveLine(line)) line.clear();
}

// READWORD's line: the reader file, else a file being loaded, else the person.
void readInputLine(Interpreter& in, std::string& line) {
    ScriptFiles& f = scriptFiles(in);
    line.clear();
    if (f.reader >= 0) {
        OpenFile& s = f.slot(f.reader);
        if (f.prepareRead(s)) ReadStreamLine(in, s.stream, line);
        return;
    }
    if (f.active()) {
        f.readLine(line);
        return;
    }
    readTypedLine(in, line);
}

Ref primReadWord(PrimCall& c) {
    std::string line;
    readInputLine(c.in, line);
    return c.in.WordFromText(line);
}

Ref primReadList(PrimCall& c) {
    std::string line;
    readInputLine(c.in, line);
    return c.in.ParseText(line);
}

// One typed character; false (the run stopped) when none can come.
bool typedChar(Interpreter& in, std::string& into) {
    const int ch = in.host().readChar();
    if (ch < 0) {
        in.stopRequested = true;
        return false;
    }
    into.push_back(char(ch));
    return true;
}

Ref primReadChar(PrimCall& c) {
    std::string s;
    if (!typedChar(c.in, s)) return kNone;
    return c.in.WordFromText(s);
}

Ref primReadChars(PrimCall& c) {
    Interpreter& in = c.in;
    const int32_t n = in.ToInteger(c.args[0], c.index);
    if (in.stopRequested || in.throwInProgress) return kNone;
    if (n < 1) {
        in.RaisePrimError(kErrDoesntLike, c.index, c.args[0]);
        return kNone;
    }
    std::string s;
    for (int32_t i = 0; i < n; ++i)
        if (!typedChar(in, s)) return kNone;
    return in.WordFromText(s);
}

Ref primKeyP(PrimCall& c) {
    Interpreter& in = c.in;
    ScriptFiles& f = scriptFiles(in);
    if (f.reader < 0) return in.host().charWaiting() ? kTrue : kFalse;
    OpenFile& s = f.slot(f.reader);
    if (!f.prepareRead(s)) return kFalse;
    const int ch = std::getc(s.stream);
    if (ch == EOF) {
        std::clearerr(s.stream);
        return kFalse;
    }
    std::ungetc(ch, s.stream);
    return kTrue;
}

// Window pixels and turtle coordinates: the turtle's origin is the centre of the window.
void windowOrigin(Interpreter& in, int& x, int& y) {
    x = in.drawingWindow ? in.drawingWindow->width() / 2 : 0;
    y = in.drawingWindow ? in.drawingWindow->height() / 2 : 0;
}

Ref primButtonP(PrimCall& c) { return c.in.host().pointerButtonDown() ? kTrue : kFalse; }

// TOOT frequency duration: a tone, the duration in 60ths of a second as WAIT counts them.
Ref primToot(PrimCall& c) {
    Interpreter& in = c.in;
    const double frequency = in.ToFloat(c.args[0], c.index);
    const int32_t ticks = in.ToInteger(c.args[1], c.index);
    if (in.stopRequested || in.throwInProgress || ticks <= 0) return kNone;
    in.host().tone(frequency, uint64_t(ticks) * 1000 / 60);
    waitTicks(in, ticks);
    return kNone;
}

Ref primMouse(PrimCall& c) {
    Interpreter& in = c.in;
    int x = 0, y = 0, ox = 0, oy = 0;
    windowOrigin(in, ox, oy);
    int tx = 0, ty = 0;
    if (in.drawingWindow && in.host().pointerPosition(x, y)) {
        tx = x - ox;
        ty = oy - y;
    }
    const Ref a = in.NewInteger(tx);
    const Ref b = a != kNone ? in.NewInteger(ty) : kNone;
    Ref head = kNone, tail = kNone;
    if (b == kNone || !in.AppendToList(head, tail, a) || !in.AppendToList(head, tail, b)) {
        in.UnlockValue(a);
        in.UnlockValue(b);
        in.UnlockValue(head);
        return kNone;
    }
    return head;
}

Ref primSetRwPrompt(PrimCall& c) {
    if (!c.in.CheckWord(c.args[0], c.index)) return kNone;
    c.in.family<ReadDialogSettings>().prompt = c.in.TextOf(c.args[0]);
    return kNone;
}

// A rectangle list: four expressions giving left, top, right and bottom in turtle coordinates.
Ref primSetRwRect(PrimCall& c) {
    Interpreter& in = c.in;
    const Ref list = c.args[0];
    if (list == kNone) {
        in.RaisePrimError(kErrNotEnoughInputs, c.index, kNone);
        return kNone;
    }
    int32_t v[4] = {0, 0, 0, 0};
    int count = 0;
    bool ok = in.isList(list) && !in.IsEmptyList(list);
    Ref cursor = ok ? list : kNone;
    while (ok && in.isList(cursor)) {
        const Ref before = cursor;
        const Ref x = in.EvalExpression(cursor, false);
        if (in.stopRequested || in.throwInProgress) {
            in.UnlockValue(x);
            return kNone;
        }
        ok = count < 4 && x != kNone && in.IsNumeric(x, kReportSilent) && cursor != before;
        if (ok) v[count++] = in.ToInteger(x, kReportSilent);
        in.UnlockValue(x);
    }
    if (!ok || count != 4) {
        in.RaisePrimError(kErrDoesntLike, c.index, list);
        return kNone;
    }
    int ox = 0, oy = 0;
    windowOrigin(in, ox, oy);
    ReadDialogSettings& d = in.family<ReadDialogSettings>();
    d.rect[0] = ox + v[0];
    d.rect[1] = oy - v[1];
    d.rect[2] = ox + v[2];
    d.rect[3] = oy - v[3];
    d.rectSet = true;
    return kNone;
}

// --- LOAD and SAVE ----------------------------------------------------------------------------

Ref primLoad(PrimCall& c) {
    Interpreter& in = c.in;
    if (!in.CheckWord(c.args[0], c.index)) return kNone;
    // A file that loads itself must still give way to Escape.
    in.PollInterrupt();
    if (in.stopRequested) return kNone;
    ScriptFiles& f = scriptFiles(in);
    f.flushAll();
    const auto path = f.pathFor(in.TextOf(c.args[0]), ScriptFiles::Use::Read);
    if (!path || !f.startLoad(*path)) in.RaiseError(kErrCantRead, kNone, c.args[0]);
    return kNone;
}

// Writes `text` to `path` through a new file beside it, so that a failed save leaves the old
// file whole.
bool replaceFile(const std::string& path, const std::string& text) {
    struct stat old {};
    const bool exists = ::stat(path.c_str(), &old) == 0;
    if (exists && (!S_ISREG(old.st_mode) || ::access(path.c_str(), W_OK) != 0)) return false;
    std::string temp;
    int fd = -1;
    for (int n = 0; n < 100 && fd < 0; ++n) {
        temp = path + ".sv" + std::to_string(::getpid()) + "_" + std::to_string(n);
        fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOCTTY, 0666);
        if (fd < 0 && errno != EEXIST) return false;
    }
    if (fd < 0) return false;
    if (exists) ::fchmod(fd, old.st_mode & 07777);
    bool ok = true;
    size_t done = 0;
    while (ok && done < text.size()) {
        const ssize_t w = ::write(fd, text.data() + done, text.size() - done);
        if (w < 0 && errno == EINTR) continue;
        ok = w > 0;
        if (ok) done += size_t(w);
    }
    if (::close(fd) != 0) ok = false;
    if (ok && std::rename(temp.c_str(), path.c_str()) != 0) ok = false;
    if (!ok) ::unlink(temp.c_str());
    return ok;
}

Ref primSave(PrimCall& c) {
    Interpreter& in = c.in;
    if (!in.CheckWord(c.args[0], c.index)) return kNone;
    ScriptFiles& f = scriptFiles(in);
    auto path = f.pathFor(in.TextOf(c.args[0]), ScriptFiles::Use::Write);
    if (!path) {
        in.RaiseError(kErrCantWrite, kNone, c.args[0]);
        return kNone;
    }
    // Through a link, the file it names is saved (in a world, only a link that stays in it).
    std::error_code ec;
    if (fs::is_symlink(*path, ec)) {
        const fs::path target = fs::weakly_canonical(*path, ec);
        if (!ec) path = target.string();
    }
    const std::string text = WorkspaceListing(in);
    if (in.stopRequested || in.throwInProgress) return kNone;
    // A file open in the table would go on being written where nobody can read it.
    if (f.isOpen(*path) || !replaceFile(*path, text)) in.RaiseError(kErrCantWrite, kNone, c.args[0]);
    return kNone;
}

const PrimitiveFamily kInput("input", {
    {"READWORD", primReadWord},
    {"READLIST", primReadList},
    {"RL", primReadList},
    {"READCHAR", primReadChar},
    {"RC", primReadChar},
    {"READCHARS", primReadChars},
    {"RCS", primReadChars},
    {"KEYP", primKeyP},
    {"MOUSE", primMouse},
    {"BUTTONP", primButtonP},
    {"TOOT", primToot},
    {"SETRWPROMPT", primSetRwPrompt},
    {"SETRWRECT", primSetRwRect},
    {"LOAD", primLoad},
    {"SAVE", primSave},
});

} // namespace

} // namespace cv::script
