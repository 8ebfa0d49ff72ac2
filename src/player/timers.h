#pragma once
// Timer 1's work and the automatic timers: every 55 ms the card's idle work runs, and once a
// second the automatic timers of the shown card count down; a timer that reaches 0 runs its
// button's or action list's actions, once or every interval, while the card is shown.
#include <array>
#include <cstdint>
#include <functional>

namespace cv {

class Player;

constexpr int kTimerSlots = 20;
// The countdown's step: about one second of ticks (17 ms each).
constexpr uint32_t kTicksPerCountdown = 60;

enum TimerOwnerKind : uint32_t { kTimerOwnerButton = 0, kTimerOwnerActionList = 1 };

struct TimerSlot {
    uint32_t ownerId = 0;    // 0: the slot is free
    uint32_t ownerKind = kTimerOwnerButton;
    int32_t countdown = 0;   // seconds left
    int32_t interval = 0;
    uint32_t repeat = 0;     // 1: fires every interval

    bool used() const { return ownerId != 0; }
};

class Timers {
public:
    // Takes over the player's arrival and timer 1 hooks (after those already installed).
    explicit Timers(Player& player);

    // A card was entered: its timers, in the order the card, the stack and the objects give them.
    void registerTimers();
    // Timer 1.
    void onTimerTick();
    // At most once per countdown step: counts the slots down and fires those that are due.
    void countDownTimers();
    void fireTimers();

    const std::array<TimerSlot, kTimerSlots>& table() const { return slots_; }
    uint16_t nextSlot() const { return nextSlot_; }
    // Firings since the player started (owners that no longer exist included).
    uint64_t firings() const { return firings_; }

    // Work of the tick that other parts of the player add: the card's idle work (animations)
    // and the plug-ins' idle event. Both run only while the player has the focus.
    std::function<void()> cardIdleWork;
    std::function<void()> pluginIdle;

private:
    void add(uint32_t ownerId, uint32_t kind, const uint8_t* list, uint32_t size);
    void fire(const TimerSlot& slot);

    Player& player_;
    std::array<TimerSlot, kTimerSlots> slots_{};
    uint16_t nextSlot_ = 0;
    uint32_t lastSecondTick_ = 0;
    uint64_t generation_ = 0; // counts registrations, so a scan knows the table was rebuilt
    uint64_t firings_ = 0;
    bool firing_ = false;
};

} // namespace cv
