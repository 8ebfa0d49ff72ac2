// cvstack render STACK --card N -o OUT.png|.ppm|.jpg|.bmp: one card as it is stored, in the
// picture format the name ends in.
// cvstack export STACK -o DIR: every card as card-NNN.png and an index.html.
// Neither runs anything of the stack: cards are drawn as stored, not arrived at.
#include <QDir>
#include <QFile>
#include <QImage>
#include <QTextStream>
#include <cstdio>
#include <filesystem>
#include <string_view>
#include <unistd.h>

#include "apps/cvstack/tool_support.h"
#include "apps/cvstack/verbs.h"
#include "core/text_encoding.h"
#include "player/headless_host.h"
#include "player/player.h"
#include "player/session.h"
#include "stack/stack_document.h"

namespace cv::tool {

namespace {

// Written in the format the name ends in.
bool saveImage(const QImage& image, const std::string& path) {
    const char* format = pictureFormatFor(path);
    return format && image.save(QString::fromStdString(path), format, std::string_view(format) == "JPEG" ? 90 : -1);
}

int runRender(const std::vector<std::string>& argsIn) {
    std::vector<std::string> args = argsIn;
    const std::string cardText = takeOption(args, "--card");
    const std::string out = takeOption(args, "-o");
    if (args.size() != 1 || out.empty())
        return usageError("usage: cvstack render STACK [--card N] -o OUT.png|.ppm|.jpg|.bmp");
    if (!pictureFormatFor(out))
        return usageError("cannot write " + out + ": the picture's name says its format, and ends in " + kPictureEndings);
    const int number = cardText.empty() ? 1 : std::atoi(cardText.c_str());
    ensureGuiApplication();
    if (!openStackForTool(args[0])) return 1;
    if (number < 1 || number > theStack().cardCount()) {
        std::fprintf(stderr, "cvstack: %s has %d cards; there is no card %s\n", args[0].c_str(),
                     theStack().cardCount(), cardText.c_str());
        return 1;
    }
    HeadlessHost host;
    Player player(host);
    showStoredCard(player, number);
    if (!saveImage(player.screen(), out)) {
        std::fprintf(stderr, "cvstack: cannot write %s\n", out.c_str());
        return 1;
    }
    return 0;
}

QString htmlEscape(const QString& s) { return s.toHtmlEscaped(); }

// How far an export is: a bar redrawn in place on a terminal, a line a card otherwise (a log
// or a pipe keeps every line, and no carriage returns).
class Progress {
public:
    explicit Progress(int count) : count_(count), terminal_(isatty(fileno(stderr)) != 0) {}
    void card(int n) {
        if (!terminal_) {
            std::fprintf(stderr, "exporting card %d of %d\n", n, count_);
            return;
        }
        constexpr int kWidth = 30;
        const int filled = count_ > 0 ? n * kWidth / count_ : kWidth;
        std::fprintf(stderr, "\rexporting [%s%s] %d of %d cards", std::string(size_t(filled), '#').c_str(),
                     std::string(size_t(kWidth - filled), '-').c_str(), n, count_);
        std::fflush(stderr);
    }
    void done() {
        if (terminal_ && count_ > 0) std::fprintf(stderr, "\n");
    }

private:
    int count_;
    bool terminal_;
};

int runExport(const std::vector<std::string>& argsIn) {
    std::vector<std::string> args = argsIn;
    const std::string out = takeOption(args, "-o");
    if (args.size() != 1 || out.empty()) return usageError("usage: cvstack export STACK -o DIR");
    ensureGuiApplication();
    if (!openStackForTool(args[0])) return 1;
    std::error_code ec;
    std::filesystem::create_directories(out, ec);
    if (ec) {
        std::fprintf(stderr, "cvstack: cannot make %s: %s\n", out.c_str(), ec.message().c_str());
        return 1;
    }
    HeadlessHost host;
    Player player(host);
    const int count = theStack().cardCount();
    Progress progress(count);
    const QString stackName = QString::fromStdString(std::filesystem::path(args[0]).filename().string());
    QString html;
    QTextStream h(&html);
    h << "<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\"><title>" << htmlEscape(stackName)
      << "</title>\n<style>body{font-family:sans-serif;background:#eee}figure{display:inline-block;margin:12px;"
         "background:#fff;padding:8px;box-shadow:0 1px 3px #999}figcaption{margin-top:4px}</style></head>\n<body>\n<h1>"
      << htmlEscape(stackName) << "</h1>\n<p>" << count << " cards</p>\n";
    for (int n = 1; n <= count; ++n) {
        showStoredCard(player, n);
        char name[32];
        std::snprintf(name, sizeof name, "card-%03d.png", n);
        const std::string file = (std::filesystem::path(out) / name).string();
        if (!saveImage(player.screen(), file)) {
            std::fprintf(stderr, "cvstack: cannot write %s\n", file.c_str());
            return 1;
        }
        const QString cardName = QString::fromStdString(cp1252ToUtf8(CardName(CardByNumber(n))));
        h << "<figure><img src=\"" << name << "\" alt=\"card " << n << "\"><figcaption>" << n << ". "
          << htmlEscape(cardName) << "</figcaption></figure>\n";
        progress.card(n);
    }
    progress.done();
    h << "</body></html>\n";
    QFile index(QString::fromStdString((std::filesystem::path(out) / "index.html").string()));
    if (!index.open(QIODevice::WriteOnly)) {
        std::fprintf(stderr, "cvstack: cannot write index.html in %s\n", out.c_str());
        return 1;
    }
    index.write(html.toUtf8());
    std::printf("%s/index.html\n", out.c_str());
    return 0;
}

VerbRegistration render("render", runRender, "render STACK [--card N] -o OUT.png|.ppm|.jpg|.bmp   one card as a picture");
VerbRegistration exportVerb("export", runExport, "export STACK -o DIR   every card as PNG, with an index.html");

} // namespace

} // namespace cv::tool
