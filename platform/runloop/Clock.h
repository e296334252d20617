#pragma once
// Every delay, timer and clock of the process reads this. Real by default; tests switch it to
// virtual time and advance it, which fires due timers and delayed blocks in time order. Any thread.

#include <cstdint>

namespace platform {

class Clock {
public:
    // Monotonic seconds (arbitrary origin, never goes back).
    static double now();
    // The same reading in whole nanoseconds, exact: in virtual time it is the sum of the advances, so
    // intervals read in whole units come out whole (a double of seconds does not hold a millisecond).
    static std::int64_t nanoseconds();
    // Seconds since 1970.
    static double wallTime();

    static bool isVirtual();
    // Switches to virtual time, frozen until advance() moves it, at the current readings rounded to whole
    // seconds (the monotonic one up). It counts whole nanoseconds: advances add up exactly.
    static void useVirtualTime();
    // Back to real time (tests rarely need this).
    static void useRealTime();
    // Virtual time only: moves time forward by `seconds`. On the main thread it fires, in time order,
    // every timer and delayed block that falls due, running the main loop's ready tasks after each;
    // blocks due on other queues are dispatched to them in order. Real time: does nothing.
    static void advance(double seconds);
    // Virtual time only: sets the wall clock reading (the monotonic one is not moved).
    static void setWallTime(double secondsSince1970);
};

} // namespace platform
