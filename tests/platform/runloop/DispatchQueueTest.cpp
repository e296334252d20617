#include <doctest/doctest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/runloop/Clock.h"
#include "platform/runloop/DispatchQueue.h"
#include "platform/runloop/MainLoop.h"

using platform::Clock;
using platform::DispatchGroup;
using platform::DispatchQueue;
using platform::MainLoop;

TEST_CASE("DispatchQueue: a serial queue keeps FIFO order across async and sync from many threads") {
    auto q = DispatchQueue::createSerial("test.fifo");
    std::vector<int> log; // touched only on the queue
    std::atomic<bool> overlap{false};
    std::atomic<int> inside{0};
    auto body = [&](int v) {
        if (inside.fetch_add(1) != 0) overlap = true;
        log.push_back(v);
        inside.fetch_sub(1);
    };
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&, t] {
            for (int i = 0; i < 500; ++i) {
                int v = t * 1000 + i;
                if (i % 7 == 0) {
                    std::size_t before = 0;
                    q->sync([&] { before = log.size(); body(v); });
                    (void)before;
                } else {
                    q->async([&, v] { body(v); });
                }
            }
        });
    }
    for (auto& th : threads) th.join();
    std::size_t n = 0;
    q->sync([&] { n = log.size(); });
    CHECK(n == 2000);
    CHECK_FALSE(overlap.load());
    // Per producer thread, values appear in the order they were submitted.
    std::vector<int> last(4, -1);
    for (int v : log) {
        CHECK(v % 1000 > last[v / 1000]);
        last[v / 1000] = v % 1000;
    }
}

TEST_CASE("DispatchQueue: sync runs on the caller's thread after everything queued before it") {
    auto q = DispatchQueue::createSerial("test.sync");
    std::atomic<int> done{0};
    for (int i = 0; i < 100; ++i) q->async([&] { ++done; });
    std::thread::id ranOn;
    int seen = -1;
    q->sync([&] {
        ranOn = std::this_thread::get_id();
        seen = done.load();
        CHECK(q->isCurrent());
    });
    CHECK(ranOn == std::this_thread::get_id());
    CHECK(seen == 100);
    CHECK_FALSE(q->isCurrent());
}

TEST_CASE("DispatchQueue: nested syncs that come back to the first queue do not deadlock") {
    auto a = DispatchQueue::createSerial("test.a");
    auto b = DispatchQueue::createSerial("test.b");
    int depth = 0;
    a->sync([&] {
        b->sync([&] {
            a->sync([&] { depth = 3; });
        });
    });
    CHECK(depth == 3);
    bool inner = false;
    a->sync([&] { a->sync([&] { inner = true; }); });
    CHECK(inner);
}

TEST_CASE("DispatchQueue: many workers blocked in sync do not starve the queue they wait for") {
    auto q = DispatchQueue::createSerial("test.starve");
    auto group = DispatchGroup::create();
    std::atomic<int> ran{0};
    for (int i = 0; i < 40; ++i) {
        group->async(DispatchQueue::global(), [&] { q->sync([&] { ++ran; }); });
    }
    CHECK(group->wait(20));
    CHECK(ran == 40);
}

TEST_CASE("DispatchQueue: the main queue runs on the main thread, also for sync from a background thread") {
    auto main = DispatchQueue::main();
    CHECK(main->isCurrent());
    std::atomic<bool> done{false};
    bool ranOnMain = false;
    std::thread bg([&] {
        CHECK_FALSE(main->isCurrent());
        main->sync([&] { ranOnMain = MainLoop::isMainThread(); });
        done = true;
    });
    CHECK(MainLoop::main().runUntil([&] { return done.load(); }, 10));
    bg.join();
    CHECK(ranOnMain);
    bool inline_ = false;
    main->sync([&] { inline_ = true; }); // from main: at once
    CHECK(inline_);
}

TEST_CASE("DispatchQueue: asyncAfter honours virtual time on serial and main queues") {
    Clock::useVirtualTime();
    auto q = DispatchQueue::createSerial("test.after");
    std::atomic<int> onQueue{0};
    int onMain = 0;
    q->asyncAfter(180, [&] { ++onQueue; });
    DispatchQueue::main()->asyncAfter(0.1, [&] { ++onMain; });
    MainLoop::main().runUntil([] { return false; }, 0.05);
    CHECK(onMain == 0);
    Clock::advance(0.1);
    CHECK(onMain == 1);
    Clock::advance(179);
    q->sync([] {});
    CHECK(onQueue == 0);
    Clock::advance(1);
    q->sync([] {});
    CHECK(onQueue == 1);
}

TEST_CASE("DispatchQueue: groups notify once all blocks finish, and global queues run concurrently") {
    auto group = DispatchGroup::create();
    std::atomic<int> concurrent{0}, peak{0}, done{0};
    std::mutex mutex;
    std::condition_variable changed;
    for (int i = 0; i < 4; ++i) {
        group->async(DispatchQueue::global(DispatchQueue::Priority::High), [&] {
            int now = ++concurrent;
            int p = peak.load();
            while (now > p && !peak.compare_exchange_weak(p, now)) {
            }
            // Each block stays until another one runs beside it (a serial queue never gets there and
            // gives up after the bound), so the overlap does not hang on how busy the machine is.
            {
                std::unique_lock<std::mutex> lock(mutex);
                changed.notify_all();
                changed.wait_for(lock, std::chrono::seconds(10), [&] { return peak.load() > 1; });
            }
            --concurrent;
            ++done;
        });
    }
    bool notified = false;
    group->notify(DispatchQueue::main(), [&] { notified = true; });
    CHECK(MainLoop::main().runUntil([&] { return notified; }, 10));
    CHECK(done == 4);
    CHECK(peak > 1);
    CHECK(group->wait(0));
}

TEST_CASE("DispatchQueue: background blocks are counted while they wait and run, and not after") {
    auto q = DispatchQueue::createSerial("test.count");
    std::mutex gate;
    std::unique_lock<std::mutex> closed(gate);
    std::atomic<int> ran{0};
    // The first block holds the queue, the second waits behind it: a clock driver must see both.
    q->async([&] {
        std::lock_guard<std::mutex> pass(gate);
        ++ran;
    });
    q->async([&] { ++ran; });
    CHECK(DispatchQueue::backgroundBlockCount() >= 1);
    // A block on the main queue is the main loop's, not background work.
    DispatchQueue::main()->async([] {});
    closed.unlock();
    auto group = DispatchGroup::create();
    group->async(q, [] {});
    REQUIRE(group->wait(10));
    CHECK(ran == 2);
    // The group's own notification may still be leaving its worker; it ends at once.
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (DispatchQueue::backgroundBlockCount() > 0 && std::chrono::steady_clock::now() < deadline) std::this_thread::yield();
    CHECK(DispatchQueue::backgroundBlockCount() == 0);
    MainLoop::main().runUntilIdle();
}
