#include <doctest/doctest.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

#include "platform/runloop/Clock.h"
#include "platform/runloop/MainLoop.h"

using platform::Clock;
using platform::MainLoop;

TEST_CASE("MainLoop: tasks posted from several threads all run, each thread's in order") {
    auto& loop = MainLoop::main();
    constexpr int kThreads = 4, kPerThread = 2000;
    std::vector<std::vector<int>> seen(kThreads);
    std::atomic<int> ran{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            for (int i = 0; i < kPerThread; ++i) {
                loop.post([&, t, i] {
                    CHECK(MainLoop::isMainThread());
                    seen[t].push_back(i);
                    ++ran;
                });
            }
        });
    }
    CHECK(loop.runUntil([&] { return ran == kThreads * kPerThread; }, 20));
    for (auto& th : threads) th.join();
    for (int t = 0; t < kThreads; ++t) {
        REQUIRE(seen[t].size() == kPerThread);
        for (int i = 0; i < kPerThread; ++i) CHECK(seen[t][i] == i);
    }
}

TEST_CASE("MainLoop: a waiting main loop is woken by a post from another thread") {
    auto& loop = MainLoop::main();
    std::atomic<bool> done{false};
    auto start = std::chrono::steady_clock::now();
    std::thread other([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        loop.post([&] { done = true; });
    });
    CHECK(loop.runUntil([&] { return done.load(); }, 5));
    other.join();
    CHECK(std::chrono::steady_clock::now() - start < std::chrono::seconds(2));
}

TEST_CASE("MainLoop: runUntil gives up after its timeout and runUntilIdle never waits") {
    auto& loop = MainLoop::main();
    auto start = std::chrono::steady_clock::now();
    CHECK_FALSE(loop.runUntil([] { return false; }, 0.05));
    CHECK(std::chrono::steady_clock::now() - start >= std::chrono::milliseconds(50));
    int n = 0;
    loop.post([&] { loop.post([&] { ++n; }); ++n; });
    CHECK(loop.runUntilIdle() == 2);
    CHECK(n == 2);
    CHECK(loop.runUntilIdle() == 0);
}

TEST_CASE("MainLoop: delayed tasks on virtual time fire only when advanced, in time order") {
    Clock::useVirtualTime();
    auto& loop = MainLoop::main();
    std::vector<int> order;
    loop.postAfter(2.0, [&] { order.push_back(2); });
    loop.postAfter(0.5, [&] { order.push_back(1); });
    loop.postAfter(2.0, [&] { order.push_back(3); }); // same due time: scheduling order
    auto dropped = loop.postAfter(1.0, [&] { order.push_back(99); });
    CHECK(loop.cancel(dropped));
    CHECK_FALSE(loop.cancel(dropped));
    loop.runUntil([] { return false; }, 0.05);
    CHECK(order.empty());
    Clock::advance(1.0);
    CHECK(order == std::vector<int>{1});
    Clock::advance(1.0);
    CHECK(order == std::vector<int>{1, 2, 3});
}

TEST_CASE("MainLoop: a task scheduled while advancing fires within the same advance when due") {
    Clock::useVirtualTime();
    auto& loop = MainLoop::main();
    std::vector<double> at;
    double t0 = Clock::now();
    loop.postAfter(1.0, [&] {
        at.push_back(Clock::now() - t0);
        loop.postAfter(1.0, [&] { at.push_back(Clock::now() - t0); });
    });
    Clock::advance(5.0);
    REQUIRE(at.size() == 2);
    CHECK(at[0] == doctest::Approx(1.0));
    CHECK(at[1] == doctest::Approx(2.0));
    CHECK(Clock::now() - t0 == doctest::Approx(5.0));
}

TEST_CASE("MainLoop: real-time delayed tasks fire without advancing") {
    auto& loop = MainLoop::main();
    bool fired = false;
    loop.postAfter(0.02, [&] { fired = true; });
    CHECK(loop.runUntil([&] { return fired; }, 5));
}

TEST_CASE("MainLoop: a throwing task is logged and the loop goes on, and the longest task is measured") {
    auto& loop = MainLoop::main();
    loop.resetTaskStats();
    bool after = false;
    loop.post([] { throw std::runtime_error("boom"); });
    loop.post([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(15));
        after = true;
    });
    loop.runUntilIdle();
    CHECK(after);
    CHECK(loop.maxTaskSeconds() >= 0.015);
}

TEST_CASE("MainLoop: every task run is timed into the percentiles") {
    auto& loop = MainLoop::main();
    loop.runUntilIdle();
    loop.resetTaskStats();
    CHECK(loop.taskCount() == 0);
    CHECK(loop.taskSecondsPercentile(0.99) == 0);
    for (int i = 0; i < 199; ++i) loop.post([] {});
    // Busy, not asleep: a task of at least 12 ms, past the tally's range.
    loop.post([] {
        auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(12);
        while (std::chrono::steady_clock::now() < until) {
        }
    });
    loop.runUntilIdle();
    // Only lower bounds on real time: how fast the short tasks ran depends on the machine's load.
    CHECK(loop.taskCount() == 200);
    CHECK(loop.maxTaskSeconds() >= 0.012);
    CHECK(loop.taskSecondsPercentile(1.0) == loop.maxTaskSeconds());
    CHECK(loop.taskSecondsPercentile(0.5) <= loop.taskSecondsPercentile(0.99));
    CHECK(loop.taskSecondsPercentile(0.99) <= loop.taskSecondsPercentile(1.0));
}
