// quill: Quillscript on its own.
//   quill -e TEXT [-e TEXT ...]   run each text
//   quill FILE...                 run each file
//   quill                         interactive prompt
// Texts and files run in order, each as one script run, in one shared workspace. Printed
// text goes to stdout, error messages to stderr; the exit status is 1 when any run ended with
// an error message. Inside, text is Windows-1252; the terminal sees UTF-8.
#include <atomic>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <optional>
#include <pthread.h>
#include <sstream>
#include <string>
#include <termios.h>
#include <utility>
#include <unistd.h>
#include <poll.h>
#include <vector>

#include "core/text_encoding.h"
#include "core/ui.h"
#include "script/interpreter.h"

using namespace cv;
using namespace cv::script;

namespace {

std::atomic<bool> gInterrupt{false};

void onSigint(int) { gInterrupt.store(true); }

// While a script runs on a terminal, typed keys are read without waiting so that Escape can
// stop it; other keys are kept for the next line read.
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
    // True when Escape was typed since the last look.
    bool escapeTyped() {
        if (!raw_) return false;
        bool escape = false;
        pollfd p{STDIN_FILENO, POLLIN, 0};
        while (poll(&p, 1, 0) > 0 && (p.revents & POLLIN)) {
            char c;
            if (read(STDIN_FILENO, &c, 1) != 1) break;
            if (c == 27) escape = true;
            else typedAhead_.push_back(c);
        }
        return escape;
    }
    std::string takeTypedAhead() { return std::exchange(typedAhead_, std::string()); }

private:
    bool tty_ = false;
    bool raw_ = false;
    termios saved_{};
    std::string typedAhead_;
};

Terminal* gTerminal = nullptr;

class StdoutOutput final : public TextOutput {
public:
    void write(std::string_view bytes) override {
        const std::string utf8 = cp1252ToUtf8(bytes);
        std::fwrite(utf8.data(), 1, utf8.size(), stdout);
    }
};

class StdinInput final : public LineInput {
public:
    bool readLine(char prompt, std::string& line) override {
        const bool wasRaw = gTerminal && gTerminal->tty();
        std::string ahead;
        if (wasRaw) {
            ahead = gTerminal->takeTypedAhead();
            gTerminal->restore();
            std::printf("%c ", prompt);
            std::fputs(ahead.c_str(), stdout);
        }
        std::fflush(stdout);
        std::string raw;
        int ch;
        bool any = false;
        while ((ch = std::fgetc(stdin)) != EOF) {
            any = true;
            if (ch == '\n') break;
            raw.push_back(char(ch));
        }
        if (wasRaw) gTerminal->beginRun();
        if (!any && ahead.empty()) return false;
        if (!raw.empty() && raw.back() == '\r') raw.pop_back();
        line = utf8ToCp1252(ahead + raw);
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
};

class QuillHost final : public ScriptHost {
public:
    bool interruptRequested() override {
        bool stop = gInterrupt.exchange(false);
        if (gTerminal && gTerminal->escapeTyped()) stop = true;
        return stop;
    }
};

struct Job {
    bool isFile;
    std::string value;
};

struct Run {
    std::vector<Job> jobs;
    int status = 0;
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
    auto runText = [&](const std::string& utf8) {
        const std::string text = utf8ToCp1252(utf8);
        if (gTerminal) gTerminal->beginRun();
        in.RunScript(text.data(), text.size(), &input, &out, nullptr);
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
            int ch;
            bool any = false;
            while ((ch = std::fgetc(stdin)) != EOF) {
                any = true;
                if (ch == '\n') break;
                line.push_back(char(ch));
            }
            if (!any) break;
            if (!line.empty() && line.back() == '\r') line.pop_back();
            if (!line.empty() && (line[0] == '?' || line[0] == '>')) line.erase(0, 1);
            gInterrupt.store(false);
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
    runAll(*static_cast<Run*>(arg));
    return nullptr;
}

int usage() {
    std::fprintf(stderr, "usage: quill [-e TEXT]... [FILE]...\n");
    return 2;
}

} // namespace

int main(int argc, char** argv) {
    Run run;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "-e") {
            if (i + 1 >= argc) return usage();
            run.jobs.push_back({false, argv[++i]});
        } else if (a == "-h" || a == "--help") {
            return usage() == 2 ? 0 : 0;
        } else {
            run.jobs.push_back({true, a});
        }
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
    if (pthread_create(&thread, &attr, runThread, &run) == 0) pthread_join(thread, nullptr);
    else runAll(run);
    pthread_attr_destroy(&attr);
    terminal.restore();
    return run.status;
}
