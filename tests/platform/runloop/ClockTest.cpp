#include <doctest/doctest.h>

#include <cmath>

#include "platform/runloop/Clock.h"

using platform::Clock;

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
