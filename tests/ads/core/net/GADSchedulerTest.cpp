#include <doctest/doctest.h>

#include <thread>

#include "ads/core/net/GADScheduler.h"
#include "ads/core/net/GADTimerAdditions.h"
#include "platform/runloop/DispatchQueue.h"
#include "platform/runloop/MainLoop.h"
#include "platform/runloop/Timer.h"
#include "platform/testing/Harness.h"

using namespace ruzave;

TEST_CASE_FIXTURE(platform::testing::Harness, "GADScheduler: task identifiers count from 1 and refusals use none") {
    auto s = GADScheduler::initWithInterval(60);
    CHECK(s->taskIDScheduledOnQueue(platform::mainQueue(), nullptr) == -1);
    CHECK(s->taskIDScheduledOnQueue(nullptr, [] {}) == -1);
    CHECK(s->taskIDScheduledOnQueue(platform::mainQueue(), [] {}) == 1);
    CHECK(s->taskIDScheduledOnQueue(platform::mainQueue(), [] {}) == 2);
    s->unscheduleTaskWithID(1);
    s->unscheduleTaskWithID(42);
    CHECK(s->taskCount() == 1);
    CHECK(s->taskIDScheduledOnQueue(platform::mainQueue(), [] {}) == 3);
}

TEST_CASE_FIXTURE(platform::testing::Harness, "GADScheduler: runs its tasks each period, once per start, and again after a restart") {
    auto s = GADScheduler::initWithInterval(60);
    int runs = 0;
    s->taskIDScheduledOnQueue(platform::mainQueue(), [&] { ++runs; });
    s->start();
    s->start();
    advance(60);
    runUntilIdle();
    CHECK(runs == 1);
    advance(60);
    runUntilIdle();
    CHECK(runs == 2);
    s->stop();
    advance(120);
    runUntilIdle();
    CHECK(runs == 2);
    s->start();
    advance(60);
    runUntilIdle();
    CHECK(runs == 3);
}

TEST_CASE_FIXTURE(platform::testing::Harness, "GADScheduler: a released scheduler stops firing") {
    int runs = 0;
    {
        auto s = GADScheduler::initWithInterval(1);
        s->taskIDScheduledOnQueue(platform::mainQueue(), [&] { ++runs; });
        s->start();
    }
    advance(5);
    runUntilIdle();
    CHECK(runs == 0);
    CHECK(platform::MainLoop::main().pendingDelayedCount() == 0);
}

TEST_CASE_FIXTURE(platform::testing::Harness, "GADScheduler: a period of 0 or less reaches the timer unchanged and without tolerance") {
    for (double period : {0.0, -3.0}) {
        auto s = GADScheduler::initWithInterval(period);
        CHECK(s->interval() == period);
        int runs = 0;
        s->taskIDScheduledOnQueue(platform::mainQueue(), [&] { ++runs; });
        s->start();
        REQUIRE(s->timer());
        CHECK(s->timer()->tolerance() == 0);
        // The platform fires at its own minimum interval: a hundredth of a second sees many runs.
        advance(0.01);
        runUntilIdle();
        CHECK(runs > 10);
        s->stop();
    }
    auto sixty = GADScheduler::initWithInterval(60);
    sixty->start();
    CHECK(sixty->timer()->interval() == 60);
    CHECK(sixty->timer()->tolerance() == doctest::Approx(6));
    sixty->stop();
}

TEST_CASE_FIXTURE(platform::testing::Harness, "GADScheduler: block timers carry tolerance and fire on the main thread") {
    auto plain = gad_scheduledTimerWithTimeInterval(5, false, 0, [](platform::Timer&) {});
    CHECK(plain->tolerance() == 0);
    plain->invalidate();
    auto s = GADScheduler::initWithInterval(60);
    s->start();
    s->stop();
    bool onMain = false;
    std::shared_ptr<platform::Timer> timer;
    std::thread([&] {
        timer = gad_scheduledTimerWithTimeInterval(2, false, 0.5, [&](platform::Timer&) {
            onMain = platform::MainLoop::isMainThread();
        });
    }).join();
    CHECK(timer->tolerance() == doctest::Approx(0.5));
    advance(2);
    runUntilIdle();
    CHECK(onMain);
}
