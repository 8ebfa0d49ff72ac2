// cvstack render STACK --card N -o OUT.png|OUT.ppm: one card as it is stored.
// cvstack export STACK -o DIR: every card as card-NNN.png and an index.html.
// Neither runs anything of the stack: cards are drawn as stored, not arrived at.
#include <QDir>
#include <QFile>
#include <QImage>
#include <QTextStream>
#include <cstdio>
#include <filesystem>

#include "apps/cvstack/tool_support.h"
#include "apps/cvstack/verbs.h"
#include "core/text_encoding.h"
#include "player/headless_host.h"
#include "player/player.h"
#include "stack/stack_document.h"

namespace cv::tool {

namespace {

bool saveImage(const QImage& image, const std::string& path) {
    const bool ppm = path.size() > 4 && (path.substr(path.size() - 4) == ".ppm" || path.substr(path.size() - 4) == ".PPM");
    return image.save(QString::fromStdString(path), ppm ? "PPM" : "PNG");
}

int runRender(const std::vector<std::string>& argsIn) {
    std::vector<std::string> args = argsIn;
    const std::string cardText = takeOption(args, "--card");
    const std::string out = takeOption(args, "-o");
    if (args.size() != 1 || out.empty()) return usageError("usage: cvstack render STACK [--card N] -o OUT.png");
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
        std::fprintf(stderr, "\rexporting card %d of %d", n, count);
    }
    std::fprintf(stderr, "\n");
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

VerbRegistration render("render", runRender, "render STACK [--card N] -o OUT.png|.ppm   one card as a picture");
VerbRegistration exportVerb("export", runExport, "export STACK -o DIR   every card as PNG, with an index.html");

} // namespace

} // namespace cv::tool
