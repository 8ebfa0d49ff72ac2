// quill: Quillscript on its own.
//   quill -e TEXT [-e TEXT ...]   run each text
//   quill FILE...                 run each file
//   quill                         interactive prompt (with --canvas, the drawing is shown in
//                                 a window as it is drawn; closing it ends the session)
//   --canvas WIDTHxHEIGHT         a drawing window for the turtle (white)
//   --snapshot OUT.png            the drawing window written when the scripts have run
//   --sandbox DIR                 confine the scripts' files as a stack's are: DIR is read as
//                                 the stack's folder, and what they write goes to DIR's own
//                                 data folder in the person's data directory
// Without --sandbox the scripts are the person's own and reach their files.
// Texts and files run in order, each as one script run, in one shared workspace. Printed
// text goes to stdout, error messages to stderr; the exit status is 1 when any run ended with
// an error message. Inside, text is Windows-1252; the terminal sees UTF-8.
#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <optional>
#include <pthread.h>
#include <sstream>
#include <string>
#include <termios.h>
#include <utility>
#include <unistd.h>
#include <poll.h>
#include <vector>

#include "apps/quill/canvas.h"
#include "core/text_encoding.h"
#include "core/ui.h"
#include "script/interpreter.h"
#include "script/script_files.h"

using namespace cv;
using namespace cv::script;

namespace {

std::atomic<bool> gInterrupt{false};
// Escape pressed in the drawing window: stops the running script only.
std::atomic<bool> gWindowEscape{false};
// The drawing window was closed: the input ends as at Ctrl+D.
std::atomic<bool> gWindowClosed{false};

void onSigint(int) { gInterrupt.store(true); }

// Standard input, read through one buffer by the prompt, by line reads (READWORD, a TO
// without END) and by typed characters (READCHAR, KEYP). Waits end on Ctrl+C.
class Stdin {
public:
    // One byte, waited for; -1 at the end of input or on Ctrl+C.
    int get() {
        if (!buffered() && !fill(-1)) return -1;
        return static_cast<unsigned char>(buf_[pos_++]);
    }
    void unget() {
        if (pos_ > 0) --pos_;
    }
    // True when a byte can be had without waiting.
    bool ready() { return buffered() || fill(0); }
    // Takes in whatever has arrived, without waiting.
    void drain() {
        while (fill(0)) {
        }
    }
    // The bytes not yet read, up to the first newline.
    std::string pendingLine() const {
        const size_t nl = buf_.find('\n', pos_);
        return buf_.substr(pos_, nl == std::string::npos ? std::string::npos : nl - pos_);
    }
    bool pendingLineComplete() const { return buf_.find('\n', pos_) != std::string::npos; }
    // Removes the first unread Escape; true when there was one.
    bool takeEscape() {
        const size_t at = buf_.find('\x1b', pos_);
        if (at == std::string::npos) return false;
        buf_.erase(at, 1);
        return true;
    }

private:
    bool buffered() const { return pos_ < buf_.size(); }
    // Reads what is there, waiting up to `timeoutMs` (-1: until input or Ctrl+C).
    bool fill(int timeoutMs) {
        if (eof_) return false;
        while (true) {
            if (gWindowClosed.load()) {
                eof_ = true;
                return false;
            }
            if (timeoutMs < 0 && gInterrupt.load()) return false;
            pollfd p{STDIN_FILENO, POLLIN, 0};
            const int r = poll(&p, 1, timeoutMs < 0 ? 100 : timeoutMs);
            if (r < 0 && errno != EINTR) {
                eof_ = true;
                return false;
            }
            if (r <= 0) {
                if (timeoutMs >= 0) return false;
                continue;
            }
            char tmp[4096];
            const ssize_t n = read(STDIN_FILENO, tmp, sizeof tmp);
            if (n < 0 && (errno == EINTR || errno == EAGAIN)) {
                if (timeoutMs >= 0) return false;
                continue;
            }
            if (n <= 0) {
                eof_ = true;
                return false;
            }
            buf_.erase(0, pos_);
            pos_ = 0;
            buf_.append(tmp, size_t(n));
            return true;
        }
    }

    std::string buf_;
    size_t pos_ = 0;
    bool eof_ = false;
};

Stdin gStdin;

// While a script runs on a terminal, typed keys are read without waiting so that Escape can
// stop it; other keys are kept for the next read.
class Terminal {
public:
    Terminal() : tty_(isatty(STDIN_FILENO) == 1) {
        if (tty_) tty_ = tcgetattr(STDIN_FILENO, &saved_) == 0;
    }
    ~Terminal() { restore(); }
    bool tty() const { return tty_; }

    void beginRun() {
        if (!tty_ || raw_) return;
        termios t = saved_;
        t.c_lflag &= ~tcflag_t(ICANON | ECHO);
        t.c_cc[VMIN] = 0;
        t.c_cc[VTIME] = 0;
        if (tcsetattr(STDIN_FILENO, TCSANOW, &t) == 0) raw_ = true;
    }
    void restore() {
        if (raw_) tcsetattr(STDIN_FILENO, TCSANOW, &saved_);
        raw_ = false;
    }
    bool raw() const { return raw_; }
    // True when Escape was typed since the last look.
    bool escapeTyped() {
        if (!raw_) return false;
        gStdin.drain();
        return gStdin.takeEscape();
    }

private:
    bool tty_ = false;
    bool raw_ = false;
    termios saved_{};
};

Terminal* gTerminal = nullptr;

class StdoutOutput final : public TextOutput {
public:
    void write(std::string_view bytes) override {
        const std::string utf8 = cp1252ToUtf8(bytes);
        std::fwrite(utf8.data(), 1, utf8.size(), stdout);
    }
};

// One line of standard input without its newline; false at the end of input.
bool readStdinLine(std::string& raw) {
    raw.clear();
    bool any = false;
    int ch;
    while ((ch = gStdin.get()) >= 0) {
        any = true;
        if (ch == '\n') break;
        raw.push_back(char(ch));
    }
    if (!raw.empty() && raw.back() == '\r') raw.pop_back();
    return any;
}

class StdinInput final : public LineInput {
public:
    bool readLine(char prompt, std::string& line) override {
        const bool tty = gTerminal && gTerminal->tty();
        if (tty) {
            // Keys typed while the script ran start the line.
            gStdin.drain();
            gTerminal->restore();
            std::printf("%c ", prompt);
            std::fputs(gStdin.pendingLine().c_str(), stdout);
            if (gStdin.pendingLineComplete()) std::fputs("\n", stdout);
        }
        std::fflush(stdout);
        std::string raw;
        const bool any = readStdinLine(raw);
        if (tty) gTerminal->beginRun();
        if (!any) return false;
        line = utf8ToCp1252(raw);
        return true;
    }
};

class QuillUi final : public HeadlessUi {
public:
    void messageBox(std::string_view, std::string_view text) override {
        std::fflush(stdout);
        const std::string utf8 = cp1252ToUtf8(text);
        std::fprintf(stderr, "%s\n", utf8.c_str());
        std::fflush(stderr);
    }
    // Questions (the read dialog of a script that draws its text) are asked on the terminal.
    std::optional<std::string> askText(std::string_view, std::string_view prompt, std::string_view) override {
        const bool tty = gTerminal && gTerminal->tty();
        const bool raw = tty && gTerminal->raw();
        if (raw) {
            gStdin.drain();
            gTerminal->restore();
        }
        if (tty) std::printf("%s ", cp1252ToUtf8(prompt).c_str());
        std::fflush(stdout);
        std::string line;
        const bool any = readStdinLine(line);
        if (raw) gTerminal->beginRun();
        if (!any) return std::nullopt;
        return utf8ToCp1252(line);
    }
};

class QuillHost final : public ScriptHost {
public:
    bool interruptRequested() override {
        bool stop = gInterrupt.exchange(false);
        if (gWindowEscape.exchange(false)) stop = true;
        if (gTerminal && gTerminal->escapeTyped()) stop = true;
        return stop;
    }
    // A character from standard input (on a terminal, keys as typed, not echoed); a UTF-8
    // sequence is one character. Escape on a terminal stops the script.
    int readChar() override {
        std::fflush(stdout);
        const int b = gStdin.get();
        if (b < 0) return -1;
        if (b == 27 && gTerminal && gTerminal->raw()) return -1;
        if (b < 0xC0) return b;
        std::string seq(1, char(b));
        const int more = b >= 0xF0 ? 3 : b >= 0xE0 ? 2 : 1;
        for (int i = 0; i < more; ++i) {
            const int n = gStdin.get();
            if (n < 0) break;
            if ((n & 0xC0) != 0x80) {
                gStdin.unget();
                break;
            }
            seq.push_back(char(n));
        }
        const std::string c = utf8ToCp1252(seq);
        return c.size() == 1 ? static_cast<unsigned char>(c[0]) : '?';
    }
    bool charWaiting() override {
        if (gTerminal && gTerminal->raw()) gStdin.drain();
        return gStdin.ready();
    }
};

struct Job {
    bool isFile;
    std::string value;
};

struct Run {
    std::vector<Job> jobs;
    quill::Canvas* shown = nullptr;  // the canvas whose window is shown, told when the run ends
    int status = 0;
    DrawingSurface* window = nullptr;
    std::string sandbox;  // the folder that plays the stack's folder, or empty
};

std::optional<std::string> readFile(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    if (!f) return std::nullopt;
    return std::string(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
}

void runAll(Run& run) {
    Interpreter in;
    QuillUi ui;
    QuillHost host;
    StdoutOutput out;
    StdinInput input;
    in.setUi(&ui);
    in.setHost(&host);
    if (!run.sandbox.empty())
        scriptFiles(in).setWorld(FileWorld(FileWorld::DataFolderFor(FileWorld::DataHome(), run.sandbox), {run.sandbox}));
    auto runText = [&](const std::string& utf8) {
        const std::string text = utf8ToCp1252(utf8);
        if (gTerminal) gTerminal->beginRun();
        in.RunScript(text.data(), text.size(), &input, &out, run.window);
        if (gTerminal) gTerminal->restore();
        std::fflush(stdout);
    };
    if (run.jobs.empty()) {
        // The interactive prompt: each line is one run.
        const bool tty = gTerminal && gTerminal->tty();
        while (true) {
            if (tty) std::printf("? ");
            std::fflush(stdout);
            std::string line;
            if (!readStdinLine(line)) break;
            if (!line.empty() && (line[0] == '?' || line[0] == '>')) line.erase(0, 1);
            gInterrupt.store(false);
            gWindowEscape.store(false);
            runText(line);
        }
        if (tty) std::printf("\n");
    }
    for (const Job& job : run.jobs) {
        if (!job.isFile) {
            runText(job.value);
            continue;
        }
        const auto text = readFile(job.value);
        if (!text) {
            std::fprintf(stderr, "quill: cannot read %s\n", job.value.c_str());
            run.status = 1;
            continue;
        }
        runText(*text);
    }
    std::fflush(stdout);
    if (in.errorsShown() > 0) run.status = 1;
}

void* runThread(void* arg) {
    Run& run = *static_cast<Run*>(arg);
    runAll(run);
    if (run.shown) run.shown->quitWindow();
    return nullptr;
}

int usage() {
    std::fprintf(stderr, "usage: quill [--sandbox DIR] [--canvas WIDTHxHEIGHT [--snapshot OUT.png]] [-e TEXT]... [FILE]...\n");
    return 2;
}

} // namespace

int main(int argc, char** argv) {
    Run run;
    quill::CanvasOptions canvasOptions;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (const int taken = quill::parseCanvasOption(argc, argv, i, canvasOptions); taken != 0) {
            if (taken < 0) return usage();
            i += taken - 1;
        } else if (a == "-e") {
            if (i + 1 >= argc) return usage();
            run.jobs.push_back({false, argv[++i]});
        } else if (a == "--sandbox") {
            if (i + 1 >= argc) return usage();
            std::error_code ec;
            const char* folder = argv[++i];
            if (!std::filesystem::is_directory(folder, ec)) {
                std::fprintf(stderr, "quill: %s is no folder\n", folder);
                return 2;
            }
            run.sandbox = std::filesystem::absolute(folder, ec).lexically_normal().string();
        } else if (a == "-h" || a == "--help") {
            return usage() == 2 ? 0 : 0;
        } else {
            run.jobs.push_back({true, a});
        }
    }
    if (!canvasOptions.snapshot.empty() && canvasOptions.width == 0) return usage();
    // The interactive prompt shows its drawing as it is made, when there is a screen to show it.
    if (canvasOptions.width > 0 && run.jobs.empty()) {
        canvasOptions.window = quill::displayAvailable();
        if (!canvasOptions.window) std::fprintf(stderr, "quill: no display; the drawing is not shown\n");
    }
    std::unique_ptr<quill::Canvas> canvas;
    if (canvasOptions.width > 0) {
        canvas = std::make_unique<quill::Canvas>(canvasOptions);
        if (!canvas->ok()) {
            std::fprintf(stderr, "quill: cannot make a canvas of %dx%d\n", canvasOptions.width, canvasOptions.height);
            return 2;
        }
        run.window = canvas->surface();
    }
    Terminal terminal;
    gTerminal = &terminal;
    struct sigaction sa {};
    sa.sa_handler = onSigint;
    sigemptyset(&sa.sa_mask);
    sigaction(SIGINT, &sa, nullptr);

    // Deep recursion in scripts needs a deep native stack.
    pthread_attr_t attr;
    pthread_attr_init(&attr);
    pthread_attr_setstacksize(&attr, size_t(64) << 20);
    pthread_t thread;
    if (canvasOptions.window) run.shown = canvas.get();
    if (pthread_create(&thread, &attr, runThread, &run) == 0) {
        if (run.shown && run.shown->runWindow([] { gWindowEscape.store(true); })) {
            // Closed by the person: the session ends as at the end of input, and a running
            // script is stopped.
            gWindowClosed.store(true);
            gInterrupt.store(true);
        }
        pthread_join(thread, nullptr);
    } else {
        run.shown = nullptr;
        runAll(run);
    }
    pthread_attr_destroy(&attr);
    terminal.restore();
    if (canvas && !canvas->finish()) run.status = 1;
    return run.status;
}
