#include <doctest/doctest.h>

#include <thread>

#include "platform/runloop/Clock.h"
#include "platform/runloop/MainLoop.h"
#include "platform/runloop/Timer.h"

using platform::Clock;
using platform::MainLoop;
using platform::Timer;

TEST_CASE("Timer: a repeating timer fires once per interval and lives until invalidated") {
    Clock::useVirtualTime();
    int fired = 0;
    std::weak_ptr<Timer> weak;
    {
        auto t = Timer::scheduledTimer(60, true, [&](Timer&) { ++fired; });
        weak = t;
    }
    // Nobody else holds it: the loop keeps it.
    Clock::advance(59.9);
    CHECK(fired == 0);
    Clock::advance(0.1);
    CHECK(fired == 1);
    Clock::advance(180);
    CHECK(fired == 4);
    REQUIRE(weak.lock());
    weak.lock()->invalidate();
    MainLoop::main().runUntilIdle();
    CHECK(weak.expired());
    Clock::advance(600);
    CHECK(fired == 4);
}

TEST_CASE("Timer: one-shot timers invalidate themselves, and invalidation inside the block stops repeats") {
    Clock::useVirtualTime();
    int once = 0, rep = 0;
    auto a = Timer::scheduledTimer(1, false, [&](Timer&) { ++once; });
    auto b = Timer::scheduledTimer(1, true, [&](Timer& t) {
        if (++rep == 2) t.invalidate();
    });
    Clock::advance(10);
    CHECK(once == 1);
    CHECK_FALSE(a->isValid());
    CHECK(rep == 2);
    CHECK_FALSE(b->isValid());
}

TEST_CASE("Timer: created and invalidated from other threads, it fires on the main thread only while valid") {
    Clock::useVirtualTime();
    int fired = 0;
    bool onMain = true;
    std::shared_ptr<Timer> t;
    std::thread([&] { t = Timer::scheduledTimer(5, true, [&](Timer&) {
                          ++fired;
                          onMain = onMain && MainLoop::isMainThread();
                      }); }).join();
    Clock::advance(5);
    CHECK(fired == 1);
    std::thread([&] { t->invalidate(); }).join();
    Clock::advance(50);
    CHECK(fired == 1);
    CHECK(onMain);
}

TEST_CASE("Timer: a new fire date re-arms, and timers fire in time order") {
    Clock::useVirtualTime();
    std::vector<char> order;
    auto a = Timer::scheduledTimer(3, false, [&](Timer&) { order.push_back('a'); });
    auto b = Timer::scheduledTimer(2, false, [&](Timer&) { order.push_back('b'); });
    a->setFireDate(Clock::now() + 1);
    Clock::advance(10);
    CHECK(order == std::vector<char>{'a', 'b'});
}

TEST_CASE("Timer: a repeating timer with no period does not spin") {
    Clock::useVirtualTime();
    int fired = 0;
    auto t = Timer::scheduledTimer(0, true, [&](Timer&) { ++fired; });
    Clock::advance(0.01);
    t->invalidate();
    CHECK(fired > 0);
    CHECK(fired <= 101);
}
