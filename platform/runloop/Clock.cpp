#include "platform/runloop/Clock.h"

#include <atomic>
#include <chrono>
#include <mutex>

#include "platform/runloop/MainLoop.h"

namespace platform {
namespace {

struct ClockState {
    std::mutex mutex;
    bool isVirtual = false;
    double virtualNow = 0;
    double virtualWall = 0;
    std::chrono::steady_clock::time_point origin = std::chrono::steady_clock::now();
};

// Never destroyed: the main loop's timer thread may read the clock while the process exits.
ClockState& state() {
    static ClockState* s = new ClockState;
    return *s;
}

double realNow() {
    // Starts at 1 s rather than 0 so that "no time yet" (0) never equals a real reading.
    auto d = std::chrono::steady_clock::now() - state().origin;
    return 1.0 + std::chrono::duration<double>(d).count();
}

double realWall() {
    return std::chrono::duration<double>(std::chrono::system_clock::now().time_since_epoch()).count();
}

} // namespace

double Clock::now() {
    auto& s = state();
    std::lock_guard<std::mutex> lock(s.mutex);
    return s.isVirtual ? s.virtualNow : realNow();
}

double Clock::wallTime() {
    auto& s = state();
    std::lock_guard<std::mutex> lock(s.mutex);
    return s.isVirtual ? s.virtualWall : realWall();
}

bool Clock::isVirtual() {
    auto& s = state();
    std::lock_guard<std::mutex> lock(s.mutex);
    return s.isVirtual;
}

void Clock::useVirtualTime() {
    auto& s = state();
    std::lock_guard<std::mutex> lock(s.mutex);
    if (s.isVirtual) return;
    s.virtualNow = realNow();
    s.virtualWall = realWall();
    s.isVirtual = true;
}

void Clock::useRealTime() {
    auto& s = state();
    {
        std::lock_guard<std::mutex> lock(s.mutex);
        if (!s.isVirtual) return;
        // Keep monotonic readings monotonic across the switch.
        double real = realNow();
        if (s.virtualNow > real) s.origin -= std::chrono::duration_cast<std::chrono::steady_clock::duration>(
                                                 std::chrono::duration<double>(s.virtualNow - real));
        s.isVirtual = false;
    }
    MainLoop::main().wakeUp();
}

void Clock::setWallTime(double secondsSince1970) {
    auto& s = state();
    std::lock_guard<std::mutex> lock(s.mutex);
    if (s.isVirtual) s.virtualWall = secondsSince1970;
}

namespace detail {
// Moves virtual time to `t` (never backwards). Used by the main loop while advancing.
void setVirtualNow(double t) {
    auto& s = state();
    std::lock_guard<std::mutex> lock(s.mutex);
    if (!s.isVirtual || t <= s.virtualNow) return;
    s.virtualWall += t - s.virtualNow;
    s.virtualNow = t;
}
} // namespace detail

} // namespace platform
