#include <doctest/doctest.h>

#include <cmath>
#include <functional>

#include "platform/runloop/Clock.h"
#include "platform/runloop/Timer.h"

using platform::Clock;
using platform::Timer;

TEST_CASE("Clock: virtual time stands still until advanced, and moves both readings") {
    Clock::useVirtualTime();
    double n = Clock::now(), w = Clock::wallTime();
    CHECK(w > 1.6e9);
    CHECK(Clock::now() == n);
    Clock::advance(3.5);
    CHECK(Clock::now() == doctest::Approx(n + 3.5));
    CHECK(Clock::wallTime() == doctest::Approx(w + 3.5));
    Clock::advance(-1); // never backwards
    Clock::advance(std::nan(""));
    CHECK(Clock::now() == doctest::Approx(n + 3.5));
    Clock::setWallTime(1000);
    CHECK(Clock::wallTime() == 1000);
}

TEST_CASE("Clock: switching back to real time keeps the monotonic reading monotonic") {
    Clock::useVirtualTime();
    Clock::advance(100);
    double v = Clock::now();
    Clock::useRealTime();
    CHECK(Clock::now() >= v);
}

TEST_CASE("Clock: virtual advances add up exactly, so what falls due after an interval fires after advances summing to it") {
    Clock::useVirtualTime();
    const double start = Clock::now(), wall = Clock::wallTime();
    for (int i = 0; i < 600; ++i) Clock::advance(0.1);
    CHECK(Clock::now() == start + 60);
    CHECK(Clock::wallTime() == wall + 60);
    Clock::setWallTime(1000.25);
    for (int i = 0; i < 10; ++i) Clock::advance(0.1);
    CHECK(Clock::wallTime() == 1001.25);

    // Timers set at readings with all sorts of fractions: each fires at the advance that completes its
    // interval, never one early and never one late.
    int early = 0, fired = 0;
    for (int k = 1; k <= 200; ++k) {
        bool done = false;
        auto timer = Timer::scheduledTimer(0.3, false, [&](Timer&) { done = true; });
        Clock::advance(0.2);
        early += done;
        Clock::advance(0.1);
        fired += done;
        Clock::advance(0.001 * k);
    }
    CHECK(early == 0);
    CHECK(fired == 200);
}

TEST_CASE("Clock: a timer that keeps re-arming for an instant already reached runs once per pass and never holds "
          "time still") {
    Clock::useVirtualTime();
    const double start = Clock::now();
    // A check that reads the deadline a rounding short of due re-arms for "now" for ever.
    int runs = 0;
    std::function<void()> rearm = [&] {
        ++runs;
        Timer::scheduledTimer(0, false, [&](Timer&) { rearm(); });
    };
    Timer::scheduledTimer(1, false, [&](Timer&) { rearm(); });
    // A chain a few timers deep at one instant still runs whole within one advance.
    int chained = 0;
    Timer::scheduledTimer(2, false, [&](Timer&) {
        ++chained;
        Timer::scheduledTimer(0, false, [&](Timer&) {
            ++chained;
            Timer::scheduledTimer(0, false, [&](Timer&) { ++chained; });
        });
    });
    bool later = false;
    Timer::scheduledTimer(5, false, [&](Timer&) { later = true; });
    Clock::advance(10);
    CHECK(Clock::now() == start + 10);
    CHECK(chained == 3);
    // The runaway ran a bounded number of passes, and what it left waits for the next advance.
    CHECK(runs > 1);
    CHECK(runs <= 1001);
    const int before = runs;
    Clock::advance(1);
    CHECK(runs > before);
    CHECK(runs <= before + 1001);
    CHECK(later);
}
