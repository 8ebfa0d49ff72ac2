#pragma once
// The end screen "CV_PLAYER_SPLASH": the picture "PLAYEREND" in a frameless dialog, centred,
// that closes itself after a while (on the real clock, whatever clock the player runs on).
class QWidget;

namespace cv {

constexpr int kEndScreenMs = 3000;

// Shows the end screen and returns when it has closed; at once when the picture is missing.
void showEndScreen(QWidget* owner, int durationMs = kEndScreenMs);

} // namespace cv
