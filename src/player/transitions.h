#pragma once
// The card transitions: 28 effects that replace the card on screen by the newly composed card.
// Every effect draws into the screen image step by step, tells the host which part changed,
// and paces itself by the program clock, so that it lasts the same time on a slow display and
// jumps straight through on the virtual clock.
#include <QImage>
#include <QPoint>
#include <QRect>
#include <functional>

namespace cv {

class Host;
class Player;

// The numbers stored in action lists.
enum TransitionNumber : int {
    kTransLeftToRight = 1,
    kTransRightToLeft = 2,
    kTransFastest = 3,
    kTransBottomToTop = 4,
    kTransFadeToBlack = 5,
    kTransFadeToWhite = 6,
    kTransBlocks = 7,
    kTransDiagonalRight = 8,
    kTransDiagonalLeft = 9,
    kTransBlinds = 10,
    kTransTopToBottom = 11,
    kTransBars = 12,
    kTransRain = 13,
    kTransDissolve = 14,
    kTransBarnOpen = 15,
    kTransBarnClose = 16,
    kTransMouthOpen = 17,
    kTransMouthClose = 18,
    kTransIrisOpen = 19,
    kTransIrisClose = 20,
    kTransZoomIn = 21,
    kTransZoomOut = 22,
    kTransRazorLeft = 23,
    kTransRazorRight = 24,
    kTransBowTies = 25,
    kTransDiamondDissolve = 26,
    kTransFadeToButtonColour = 27,
    kTransFullScreenFade = 28,
};

constexpr int kTransitionCount = 28;

// Unknown numbers play as "Fastest"; speeds other than 8, 16 and 32 as 8.
int correctedTransitionNumber(int number);
int correctedTransitionSpeed(int speed);
// String id of a transition's name (the names list, in menu order), or 0 for number 28.
int transitionNameId(int number);

// Plays transition `number` at `speed` inside `rect` of `screen`, ending with `next` shown
// there exactly. Nothing happens without a new image.
void runTransition(Host& host, QImage& screen, const QImage& next, const QRect& rect, int number, int speed);

// Makes `player` show its cards through the transitions.
void installTransitions(Player& player);

// The running action list's settings: where Zoom effects start or end (by default the card's
// centre) and the colour of "Fade to button color".
void setTransitionCentre(QPoint centre);
void resetTransitionCentre();
void setTransitionButtonColour(QRgb colour);
QRgb transitionButtonColour();

// Called after each drawn step with the steps done so far (1-based) and the effect's total,
// e.g. so that a headless session can take a snapshot in the middle of an effect. Composite
// effects (Zoom, the full-screen fade) count all their phases in one sequence.
using TransitionStepObserver = std::function<void(int step, int steps)>;
void setTransitionStepObserver(TransitionStepObserver observer);

} // namespace cv
