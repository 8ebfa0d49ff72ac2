// The transition engine: corrects the number and speed, runs the effect, and keeps the step
// clock that paces every effect.
#include "player/transitions.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <optional>

#include "core/clock.h"
#include "core/ui.h"
#include "player/host.h"
#include "player/player.h"
#include "player/transition_engine.h"
#include "resources/strings.h"

namespace cv {

namespace {

struct Settings {
    std::optional<QPoint> centre;
    QRgb buttonColour = qRgb(0, 0, 0);
    TransitionStepObserver observer;
};

Settings& settings() {
    static Settings s;
    return s;
}

// How long a wait sleeps before giving the host a turn, so that the window stays alive.
constexpr uint64_t kPumpSliceMs = 4;

} // namespace

int correctedTransitionNumber(int number) { return number >= 1 && number <= kTransitionCount ? number : kTransFastest; }

int correctedTransitionSpeed(int speed) { return speed == 8 || speed == 16 || speed == 32 ? speed : 8; }

int transitionNameId(int number) {
    // The names list is in menu order, not in number order.
    static constexpr int kNumberOfName[] = {1, 2, 3, 4, 11, 5, 6, 7, 8, 9, 10, 12, 13, 14, 15, 16,
                                            20, 19, 18, 17, 26, 25, 24, 23, 22, 21, 27};
    for (int i = 0; i < int(std::size(kNumberOfName)); ++i)
        if (kNumberOfName[i] == number) return 2750 + i;
    return 0;
}

void setTransitionCentre(QPoint centre) { settings().centre = centre; }
void resetTransitionCentre() { settings().centre.reset(); }
void setTransitionButtonColour(QRgb colour) { settings().buttonColour = colour; }
QRgb transitionButtonColour() { return settings().buttonColour; }
void setTransitionStepObserver(TransitionStepObserver observer) { settings().observer = std::move(observer); }

namespace transition {

Run::Run(Host& h, QImage& s, const QImage& n, const QRect& r, int sp)
    : host(h), screen(s), next(n), rect(r), speed(sp), L(r.x()), T(r.y()), W(r.width()), H(r.height()),
      R(r.x() + r.width()), B(r.y() + r.height()) {}

void Run::copyRectFromImage(const QRect& r) {
    if (r.width() <= 0 || r.height() <= 0) return;  // Qt would normalise a negative size
    const QRect c = r & rect;
    if (c.isEmpty()) return;
    const size_t bytes = size_t(c.width()) * 4;
    for (int y = c.top(); y < c.top() + c.height(); ++y)
        std::memcpy(screenRow(y) + c.left(), nextRow(y) + c.left(), bytes);
}

void Run::present(const QRect& r) {
    if (r.width() <= 0 || r.height() <= 0) return;
    const QRect c = r & rect;
    if (!c.isEmpty()) host.present(c);
}

uint64_t Run::nowTicks() { return clock().nowMs() / 17; }

void Run::waitUntilTick(uint64_t tick) {
    const uint64_t deadline = tick * 17;
    while (true) {
        const uint64_t now = clock().nowMs();
        if (now >= deadline) return;
        // Input that arrives meanwhile stays queued for after the effect.
        host.pump();
        clock().sleepUntilMs(std::min(deadline, now + kPumpSliceMs));
    }
}

void Run::planSteps(int total) {
    planned_ = total;
    reported_ = 0;
}

void Run::stepDrawn() {
    ++reported_;
    if (settings().observer) settings().observer(reported_, std::max(planned_, reported_));
}

void Run::startSteps(int n, int stepSpeed) {
    steps_ = std::max(n, 0);
    step_ = 0;
    stepSpeed_ = stepSpeed;
    startTick_ = nowTicks();
    if (planned_ == 0) planSteps(steps_);
}

void Run::endStep() {
    stepDrawn();
    advance();
}

void Run::advance() {
    ++step_;
    if (steps_ < 1 || stepSpeed_ <= 0) return;
    // Step k ends once (now - start) x 4 >= k x speed x 32 / n. The per-step time is kept as a
    // fraction: rounded down to whole ticks, effects of many steps (Blinds has 9 x H/9) would
    // run shorter than their nominal 8 x speed ticks, or not be paced at all.
    const uint64_t num = uint64_t(stepSpeed_) * 32 * uint64_t(step_);
    const uint64_t den = 4 * uint64_t(steps_);
    waitUntilTick(startTick_ + (num + den - 1) / den);
}

void Run::finishSteps() {
    while (step_ < steps_) advance();
}

} // namespace transition

void runTransition(Host& host, QImage& screen, const QImage& nextIn, const QRect& rectIn, int number, int speed) {
    if (nextIn.isNull() || screen.isNull()) return;
    number = correctedTransitionNumber(number);
    speed = correctedTransitionSpeed(speed);
    if (screen.format() != QImage::Format_RGB32) screen.convertTo(QImage::Format_RGB32);
    QImage converted;
    const QImage* next = &nextIn;
    if (nextIn.format() != QImage::Format_RGB32) {
        converted = nextIn.convertToFormat(QImage::Format_RGB32);
        if (converted.isNull()) {
            ui().messageBox(loadString(4132).value_or(""), loadString(4076).value_or(""));
            return;
        }
        next = &converted;
    }
    const QRect rect = rectIn & screen.rect() & next->rect();
    if (rect.isEmpty()) return;

    using namespace transition;
    Run run(host, screen, *next, rect, speed);
    const QPoint centre = settings().centre.value_or(QPoint(rect.x() + rect.width() / 2, rect.y() + rect.height() / 2));
    try {
        switch (number) {
        case kTransLeftToRight:
        case kTransRightToLeft:
        case kTransBottomToTop:
        case kTransTopToBottom: wipe(run, number); break;
        case kTransFastest: fastest(run, speed); break;
        // The fades morph an 8-bit palette; on a true-colour screen they show as "Fastest".
        case kTransFadeToBlack:
        case kTransFadeToWhite:
        case kTransFadeToButtonColour: fastest(run, 8); break;
        case kTransBlocks: blocks(run); break;
        case kTransDiagonalRight: diagonal(run, true); break;
        case kTransDiagonalLeft: diagonal(run, false); break;
        case kTransBlinds: blinds(run); break;
        case kTransBars: bars(run); break;
        case kTransRain: rain(run); break;
        case kTransDissolve: dissolve(run); break;
        case kTransBarnOpen: barn(run, true, true); break;
        case kTransBarnClose: barn(run, true, false); break;
        case kTransMouthOpen: barn(run, false, true); break;
        case kTransMouthClose: barn(run, false, false); break;
        case kTransIrisOpen: iris(run, true); break;
        case kTransIrisClose: iris(run, false); break;
        case kTransZoomIn: zoom(run, false, centre); break;
        case kTransZoomOut: zoom(run, true, centre); break;
        case kTransRazorLeft:
        case kTransRazorRight:
        case kTransBowTies:
        case kTransDiamondDissolve: pattern(run, number); break;
        case kTransFullScreenFade: fullScreenFade(run); break;
        }
    } catch (const std::bad_alloc&) {
        // No room for a mask or a copy of the screen: show the card plainly.
        Run plain(host, screen, *next, rect, speed);
        fastest(plain, speed);
        plain.finishSteps();
        return;
    }
    run.finishSteps();
}

void installTransitions(Player& player) {
    player.transition = [&player](QImage& screen, const QImage& next, const QRect& rect, int number, int speed) {
        runTransition(player.host(), screen, next, rect, number, speed);
    };
    // Each action list that runs sets the Zoom centre and the fade colour.
    player.onActionHeader = [previous = std::move(player.onActionHeader)](QPoint centre, QRgb colour) {
        setTransitionCentre(centre);
        setTransitionButtonColour(colour);
        if (previous) previous(centre, colour);
    };
}

} // namespace cv
