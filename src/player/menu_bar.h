#pragma once
// The menu bar that a card may hide: removing it when present, else attaching it, and
// refitting the window to the card.
#include <cstdint>

namespace cv {

class Player;

// Where a card keeps its menu-bar setting: bit 0x0001 of the card setting at offset 56 set
// means the card is shown without the menu bar (0, the usual value, keeps the bar).
constexpr uint32_t kCardMenuBarOffset = 56;
constexpr uint16_t kCardHidesMenuBar = 0x0001;

void toggleMenuBar(Player& player);
// Whether a card record asks for the menu bar.
bool cardWantsMenuBar(const uint8_t* card, uint32_t size);

} // namespace cv
