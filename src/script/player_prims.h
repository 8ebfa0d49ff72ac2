#pragma once
// The conversions of the player primitives, shared with their tests.
#include <cstdint>
#include <string>
#include <vector>

namespace cv::script {

class Interpreter;

struct PlayerPoint {
    int32_t x = 0, y = 0;
};

// Turtle coordinates (origin at the drawing window's centre, y upward) and window pixels;
// `num`/`den` is the horizontal SETSCRUNCH ratio, the origin is in unscaled columns.
PlayerPoint TurtleToWindow(int64_t originX, int64_t originY, int64_t num, int64_t den, double x, double y);
PlayerPoint WindowToTurtle(int64_t originX, int64_t originY, int64_t num, int64_t den, int32_t wx, int32_t wy);

// The alert string DOALERT sends: style and icon digits, the text with its backslashes
// doubled, each button after a backslash; cut to its digits and last 253 characters.
std::string AlertString(int style, int icon, const std::string& text, const std::vector<std::string>& buttons);

// SETTRANSITION's speed: FAST 0, MEDIUM 8, SLOW 16; a number below 4 is 0, below 12 is 8,
// else 16. -1 for a word that is neither.
int TransitionSpeedOf(const std::string& word, double number, bool numeric);

// The transition the next move or redraw will use (0: none chosen).
int16_t PendingEffect(Interpreter& in);
int16_t PendingSpeed(Interpreter& in);

} // namespace cv::script
