// cvstack transitions STACK --from N --to M -o DIR [--number K] [--speed S] [--frames F]:
// plays each transition (or transition K) from card N to card M on the virtual clock and writes
// DIR/transition-KK.png, a strip of F frames taken evenly through the effect, for people to
// look at.
#include <QFont>
#include <QImage>
#include <QPainter>
#include <cstdio>
#include <filesystem>
#include <set>

#include "apps/cvstack/tool_support.h"
#include "apps/cvstack/verbs.h"
#include "core/clock.h"
#include "player/headless_host.h"
#include "player/player.h"
#include "player/transitions.h"
#include "resources/strings.h"
#include "stack/stack_document.h"

namespace cv::tool {

namespace {

constexpr int kFrameWidth = 320;  // frames are scaled down to this width
constexpr int kGap = 6, kLabel = 18;

// The frames in rows of up to kPerRow, each with its label underneath.
QImage strip(const std::vector<QImage>& frames, const std::vector<std::string>& labels, const std::string& title) {
    constexpr int kPerRow = 5;
    const int w = frames.front().width(), h = frames.front().height();
    const int columns = std::min<int>(kPerRow, int(frames.size()));
    const int rows = (int(frames.size()) + kPerRow - 1) / kPerRow;
    QImage out(columns * (w + kGap) + kGap, kLabel + rows * (h + kLabel + kGap) + kGap, QImage::Format_RGB32);
    out.fill(qRgb(230, 230, 230));
    QPainter p(&out);
    QFont font = p.font();
    font.setPixelSize(12);
    p.setFont(font);
    p.setPen(Qt::black);
    p.drawText(QRect(kGap, 2, out.width() - 2 * kGap, kLabel), Qt::AlignLeft | Qt::AlignVCenter, QString::fromStdString(title));
    for (size_t i = 0; i < frames.size(); ++i) {
        const int x = kGap + int(i % kPerRow) * (w + kGap), y = kLabel + kGap + int(i / kPerRow) * (h + kLabel + kGap);
        p.drawImage(x, y, frames[i]);
        p.drawText(QRect(x, y + h, w, kLabel), Qt::AlignCenter, QString::fromStdString(labels[i]));
    }
    return out;
}

int runTransitions(const std::vector<std::string>& argsIn) {
    std::vector<std::string> args = argsIn;
    const std::string fromText = takeOption(args, "--from");
    const std::string toText = takeOption(args, "--to");
    const std::string numberText = takeOption(args, "--number");
    const std::string speedText = takeOption(args, "--speed");
    const std::string framesText = takeOption(args, "--frames");
    const std::string out = takeOption(args, "-o");
    if (args.size() != 1 || out.empty())
        return usageError("usage: cvstack transitions STACK [--from N] [--to M] [--number K] [--speed S] [--frames F] -o DIR");
    const int from = fromText.empty() ? 1 : std::atoi(fromText.c_str());
    const int to = toText.empty() ? 2 : std::atoi(toText.c_str());
    const int speed = speedText.empty() ? 8 : std::atoi(speedText.c_str());
    const int frameCount = framesText.empty() ? 8 : std::max(1, std::atoi(framesText.c_str()));
    const int only = numberText.empty() ? 0 : std::atoi(numberText.c_str());
    if (!numberText.empty() && (only < 1 || only > kTransitionCount))
        return usageError("--number takes a transition number 1-28");
    ensureGuiApplication();
    if (!openStackForTool(args[0])) return 1;
    const int count = theStack().cardCount();
    if (from < 1 || from > count || to < 1 || to > count) {
        std::fprintf(stderr, "cvstack: %s has %d cards\n", args[0].c_str(), count);
        return 1;
    }
    std::error_code ec;
    std::filesystem::create_directories(out, ec);
    if (ec) {
        std::fprintf(stderr, "cvstack: cannot make %s: %s\n", out.c_str(), ec.message().c_str());
        return 1;
    }

    VirtualClock virtualClock;
    setClock(&virtualClock);
    HeadlessHost host;
    Player player(host);
    // The two cards as stored: nothing of the stack runs.
    showStoredCard(player, from);
    const QImage fromImage = player.screen().convertToFormat(QImage::Format_RGB32);
    showStoredCard(player, to);
    const QImage toImage = player.screen().convertToFormat(QImage::Format_RGB32);

    auto scaled = [](const QImage& image) {
        return image.width() > kFrameWidth ? image.scaledToWidth(kFrameWidth, Qt::SmoothTransformation) : image;
    };
    int failures = 0;
    for (int number = 1; number <= kTransitionCount; ++number) {
        if (only && number != only) continue;
        QImage screen = fromImage.copy();
        std::vector<QImage> frames{scaled(screen)};
        std::vector<std::string> labels{"before"};
        std::set<int> taken;
        setTransitionStepObserver([&](int step, int steps) {
            // Frames at evenly spaced steps, the last one included.
            for (int k = 1; k <= frameCount; ++k) {
                const int at = std::max(1, (k * steps + frameCount - 1) / frameCount);
                if (at == step && taken.insert(step).second) {
                    frames.push_back(scaled(screen));
                    labels.push_back("step " + std::to_string(step) + "/" + std::to_string(steps));
                }
            }
        });
        runTransition(host, screen, toImage, screen.rect(), number, speed);
        setTransitionStepObserver(nullptr);
        frames.push_back(scaled(screen));
        labels.push_back(screen == toImage ? "after" : "after (differs from the new card!)");
        const int nameId = transitionNameId(number);
        const std::string name = nameId ? loadString(nameId).value_or("") : std::string("full-screen fade");
        char file[32];
        std::snprintf(file, sizeof file, "transition-%02d.png", number);
        const std::string path = (std::filesystem::path(out) / file).string();
        if (!strip(frames, labels, std::to_string(number) + " " + name + ", speed " + std::to_string(speed)).save(QString::fromStdString(path))) {
            std::fprintf(stderr, "cvstack: cannot write %s\n", path.c_str());
            ++failures;
        }
    }
    setClock(nullptr);
    return failures ? 1 : 0;
}

const VerbRegistration reg("transitions", runTransitions,
                           "transitions STACK [--from N] [--to M] [--number K] [--speed S] [--frames F] -o DIR");

} // namespace

} // namespace cv::tool
