#include "core/clock.h"

#include <chrono>
#include <thread>

namespace cv {

namespace {
int64_t steadyNs() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}
Clock* g_clock = nullptr;
} // namespace

RealClock::RealClock() : startNs_(steadyNs()) {}

uint64_t RealClock::nowMs() const {
    return static_cast<uint64_t>((steadyNs() - startNs_) / 1000000);
}

void RealClock::sleepUntilMs(uint64_t deadline) {
    const uint64_t now = nowMs();
    if (deadline > now)
        std::this_thread::sleep_for(std::chrono::milliseconds(deadline - now));
}

Clock& clock() {
    static RealClock real;
    return g_clock ? *g_clock : real;
}

void setClock(Clock* c) { g_clock = c; }

} // namespace cv
