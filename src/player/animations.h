#pragma once
// The player's frame animations and sprites on paths: started by animation actions, stepped by
// timer 1 and by the wait for a button's media, drawn on the card's screen image, cleared when
// the card is left.
#include <cstdint>
#include <span>

namespace cv {

class Player;

// Installs the animation hooks on the player's media hooks and timer work.
void installAnimations(Player& player);

// The animation action (code 56, header included) that `object` of the shown card holds now:
// the button of that id, else the 'Actn' list, else the text link of that id. Empty when none.
std::span<const uint8_t> storedAnimationAction(Player& player, uint16_t object);

} // namespace cv
