// Timer 1 and the automatic timers of the shown card.
#include "player/timers.h"

#include <string>
#include <vector>

#include "core/byte_order.h"
#include "core/clock.h"
#include "player/actions.h"
#include "player/player.h"
#include "player/preferences.h"
#include "stack/chunk_file.h"
#include "stack/record_convert.h"
#include "stack/record_layout.h"
#include "stack/stack_document.h"

namespace cv {

namespace {

// The smallest object records that hold the fields read here.
constexpr uint32_t kButtonTimerEnd = actionlist::kTimerMode + 2;
constexpr uint32_t kGraphicActionEnd = graphic::kAction + 2;
constexpr uint32_t kTextActionEnd = text::kAction + 2;

struct ObjectTimer {
    uint16_t kind;
    uint32_t offset;
    uint16_t actionId; // graphics and text fields: their 'Actn' list
};

struct FiringGuard {
    bool& flag;
    explicit FiringGuard(bool& f) : flag(f) { flag = true; }
    ~FiringGuard() { flag = false; }
};

} // namespace

Timers::Timers(Player& player) : player_(player) {
    auto arrive = std::move(player_.onArrive);
    player_.onArrive = [this, arrive](bool arriveAtStack) {
        registerTimers();
        if (arrive) arrive(arriveAtStack);
    };
    // The work already on timer 1 (the active text field's turn) comes first, as it does
    // whether or not the player has the focus.
    auto tick = std::move(player_.timerHandler);
    player_.timerHandler = [this, tick]() {
        if (tick) tick();
        onTimerTick();
    };
}

void Timers::add(uint32_t ownerId, uint32_t kind, const uint8_t* list, uint32_t size) {
    if (!list || size < kButtonTimerEnd) return;
    const uint16_t mode = get16(list + actionlist::kTimerMode);
    if (mode == 0 || ownerId == 0) return;
    for (TimerSlot& s : slots_) {
        if (s.used()) continue;
        s.ownerId = ownerId;
        s.ownerKind = kind;
        s.countdown = s.interval = geti16(list + actionlist::kTimerInterval);
        s.repeat = mode == 2 ? 1 : 0;
        return;
    }
    // A 21st timer is not registered; the player says nothing about it.
}

void Timers::registerTimers() {
    slots_.fill(TimerSlot{});
    nextSlot_ = 0;
    ++generation_;
    // The seconds count from the arrival, so that a timer of N seconds gets all N of them.
    lastSecondTick_ = clock().ticks();

    const StackDocument& s = theStack();
    Handle card = player_.currentCard();
    if (!s.open() || !card) return;
    auto addActionList = [&](uint16_t id) {
        if (!id || !s.chunkFile) return;
        SetCurrentChunkFile(s.chunkFile);
        Handle h = GetChunk(chunk::kActn, id);
        const uint8_t* d = memRefs().data(h);
        if (d && GetHandleSize(h) >= kButtonTimerEnd) add(get16(d + actionlist::kOwnerId), kTimerOwnerActionList, d, GetHandleSize(h));
    };

    // Loading action lists allocates: the card's objects are listed before any is loaded.
    std::vector<ObjectTimer> objects;
    {
        const uint8_t* rec = memRefs().data(card);
        const uint32_t size = GetHandleSize(card);
        forEachObject(rec, size, [&](uint32_t off, uint16_t kind) {
            const uint32_t len = get32(rec + off + obj::kLength);
            if (kind == obj::kButton && len >= kButtonTimerEnd) objects.push_back({kind, off, 0});
            else if (kind == obj::kGraphic && len >= kGraphicActionEnd)
                objects.push_back({kind, off, get16(rec + off + graphic::kAction)});
            else if (kind == obj::kText && len >= kTextActionEnd)
                objects.push_back({kind, off, get16(rec + off + text::kAction)});
        });
    }

    addActionList(get16(memRefs().data(card) + card::kClickAction));
    addActionList(s.h16(hdr::kClickAction));
    for (const ObjectTimer& o : objects) {
        if (o.kind == obj::kButton) {
            const uint8_t* b = memRefs().data(card) + o.offset;
            add(get16(b + obj::kId), kTimerOwnerButton, b, get32(b + obj::kLength));
        } else {
            addActionList(o.actionId);
        }
    }
}

void Timers::onTimerTick() {
    if (!player_.host().hasFocus()) return;
    if (cardIdleWork) cardIdleWork();
    preferenceCopies().timersAndLinksOn = theStack().open() && theStack().h16(hdr::kTimersOn) != 0;
    countDownTimers();
    if (pluginIdle) pluginIdle();
}

void Timers::countDownTimers() {
    // An owner that is still running (waiting for its media) holds the timers where they are.
    if (firing_) return;
    const uint32_t now = clock().ticks();
    const uint32_t since = now - lastSecondTick_;
    if (since < kTicksPerCountdown) return;
    // Step by whole seconds so that ticks arriving late do not stretch them; after a long
    // pause (no focus) counting starts again from now rather than catching up.
    lastSecondTick_ = since < 2 * kTicksPerCountdown ? lastSecondTick_ + kTicksPerCountdown : now;
    if (!preferenceCopies().timersAndLinksOn || player_.currentTool != kBrowseTool) return;
    bool noted = false;
    for (TimerSlot& s : slots_) {
        if (!s.used() || s.countdown < 0) continue;
        noted = true;
        if (s.countdown > 0) --s.countdown;
    }
    if (noted) fireTimers();
}

void Timers::fireTimers() {
    if (firing_ || !preferenceCopies().timersAndLinksOn || player_.currentTool != kBrowseTool) return;
    FiringGuard guard(firing_);
    const uint64_t generation = generation_;
    const int start = nextSlot_ % kTimerSlots;
    for (int k = 0; k < kTimerSlots; ++k) {
        const int i = (start + k) % kTimerSlots;
        TimerSlot& s = slots_[size_t(i)];
        if (!s.used() || s.countdown != 0) continue;
        const TimerSlot due = s;
        if (s.repeat) s.countdown = s.interval;
        else s = TimerSlot{};
        nextSlot_ = uint16_t((i + 1) % kTimerSlots);
        ++firings_;
        fire(due);
        // The owner went to another card: the slots are that card's now, and none of them is due.
        if (generation_ != generation) break;
    }
}

void Timers::fire(const TimerSlot& slot) {
    if (slot.ownerKind == kTimerOwnerButton) player_.actions().activateButton(uint16_t(slot.ownerId));
    else player_.actions().runActionById(uint16_t(slot.ownerId), false, std::string());
}

} // namespace cv
