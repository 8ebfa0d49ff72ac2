#pragma once
// The window's sound output: the mixer played through the system's default audio device.
namespace cv {

class Player;

// Sends the player's sounds to the default audio device. Without one the player says so
// once on standard error and its sounds play silently, in time, as before.
void installAudioOutput(Player& player);

} // namespace cv
