#include "platform/runloop/Clock.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <mutex>

#include "platform/runloop/MainLoop.h"

namespace platform {
namespace {

// Virtual time counts whole nanoseconds, so that any sum of advances is exact: a timer due 60 s after
// a reading fires after advances of 59.9 s and 0.1 s, whatever the reading was.
struct ClockState {
    std::mutex mutex;
    bool isVirtual = false;
    std::int64_t virtualNow = 0;
    // The wall clock reads `wallBase` at `wallBaseNow` and moves with the monotonic reading.
    double wallBase = 0;
    std::int64_t wallBaseNow = 0;
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

double seconds(std::int64_t nanoseconds) {
    return static_cast<double>(nanoseconds) / 1e9;
}

double virtualWall(const ClockState& s) {
    return s.wallBase + seconds(s.virtualNow - s.wallBaseNow);
}

} // namespace

namespace detail {
std::int64_t nanoseconds(double seconds) {
    // Far enough for any due date (centuries), and clear of overflow when two are added.
    constexpr double limit = 4e18;
    double n = seconds * 1e9;
    if (std::isnan(n)) return 0;
    return std::llround(std::clamp(n, -limit, limit));
}

std::int64_t virtualNanoseconds() {
    auto& s = state();
    std::lock_guard<std::mutex> lock(s.mutex);
    return s.virtualNow;
}

// Moves virtual time to `t` (never backwards). Used by the main loop while advancing.
void setVirtualNanoseconds(std::int64_t t) {
    auto& s = state();
    std::lock_guard<std::mutex> lock(s.mutex);
    if (s.isVirtual && t > s.virtualNow) s.virtualNow = t;
}
} // namespace detail

double Clock::now() {
    auto& s = state();
    std::lock_guard<std::mutex> lock(s.mutex);
    return s.isVirtual ? seconds(s.virtualNow) : realNow();
}

double Clock::wallTime() {
    auto& s = state();
    std::lock_guard<std::mutex> lock(s.mutex);
    return s.isVirtual ? virtualWall(s) : realWall();
}

std::int64_t Clock::nanoseconds() {
    auto& s = state();
    std::lock_guard<std::mutex> lock(s.mutex);
    if (s.isVirtual) return s.virtualNow;
    const auto d = std::chrono::steady_clock::now() - s.origin;
    return 1'000'000'000 + std::chrono::duration_cast<std::chrono::nanoseconds>(d).count();
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
    // Whole seconds (the monotonic reading rounded up, so it never goes back): due times the tests
    // compute from a reading and an interval then land where their advances do.
    s.virtualNow = detail::nanoseconds(std::ceil(realNow()));
    s.wallBase = std::floor(realWall());
    s.wallBaseNow = s.virtualNow;
    s.isVirtual = true;
}

void Clock::useRealTime() {
    auto& s = state();
    {
        std::lock_guard<std::mutex> lock(s.mutex);
        if (!s.isVirtual) return;
        // Keep monotonic readings monotonic across the switch.
        double real = realNow();
        double reached = seconds(s.virtualNow);
        if (reached > real) s.origin -= std::chrono::duration_cast<std::chrono::steady_clock::duration>(
                                            std::chrono::duration<double>(reached - real));
        s.isVirtual = false;
    }
    MainLoop::main().wakeUp();
}

void Clock::setWallTime(double secondsSince1970) {
    auto& s = state();
    std::lock_guard<std::mutex> lock(s.mutex);
    if (!s.isVirtual) return;
    s.wallBase = secondsSince1970;
    s.wallBaseNow = s.virtualNow;
}

} // namespace platform
