#pragma once
// The one source of time for the whole program. The real clock follows steady_clock; the
// virtual clock (headless sessions, tests) moves only when told to, and a wait on it jumps
// straight to its deadline, so timed behaviour is exact and instant under test.
#include <cstdint>

namespace cv {

class Clock {
public:
    virtual ~Clock() = default;
    // Milliseconds since the clock was made.
    virtual uint64_t nowMs() const = 0;
    // Blocks (real clock) or jumps (virtual clock) until nowMs() >= deadline.
    virtual void sleepUntilMs(uint64_t deadline) = 0;
    // The system tick: milliseconds / 17.
    uint32_t ticks() const { return static_cast<uint32_t>(nowMs() / 17); }
};

class RealClock final : public Clock {
public:
    RealClock();
    uint64_t nowMs() const override;
    void sleepUntilMs(uint64_t deadline) override;
private:
    int64_t startNs_;
};

class VirtualClock final : public Clock {
public:
    explicit VirtualClock(uint64_t startMs = 0) : now_(startMs) {}
    uint64_t nowMs() const override { return now_; }
    void sleepUntilMs(uint64_t deadline) override { if (deadline > now_) now_ = deadline; }
    void advance(uint64_t ms) { now_ += ms; }
private:
    uint64_t now_;
};

// The process-wide clock. Starts as a RealClock; headless sessions install a VirtualClock.
Clock& clock();
// Installs `c` as the process clock (not owned; must outlive its use). nullptr restores the real clock.
void setClock(Clock* c);

} // namespace cv
