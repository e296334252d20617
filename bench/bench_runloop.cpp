// Run loop figures: main-loop throughput under posting from four threads, and a serial queue's
// async-then-sync round trip.
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <thread>
#include <vector>

#include "platform/runloop/DispatchQueue.h"
#include "platform/runloop/MainLoop.h"
#include "bench/BenchQuick.h"

using Steady = std::chrono::steady_clock;

int main() {
    auto& loop = platform::MainLoop::main();
    constexpr int kThreads = 4;
    const int kTotal = bench::quickOr(1'000'000, 20'000);
    std::atomic<int> ran{0};
    auto start = Steady::now();
    std::vector<std::thread> producers;
    for (int t = 0; t < kThreads; ++t) {
        producers.emplace_back([&] {
            for (int i = 0; i < kTotal / kThreads; ++i) loop.post([&] { ran.fetch_add(1, std::memory_order_relaxed); });
        });
    }
    loop.runUntil([&] { return ran.load() == kTotal; }, 120);
    for (auto& p : producers) p.join();
    double secs = std::chrono::duration<double>(Steady::now() - start).count();
    std::printf("main_loop_tasks_per_second: %.0f tasks/s\n", kTotal / secs);

    auto q = platform::DispatchQueue::createSerial("bench.roundtrip");
    std::vector<double> samples;
    for (int i = 0, n = bench::quickOr(20000, 1000); i < n; ++i) {
        int v = 0;
        auto t0 = Steady::now();
        q->async([&] { v = 1; });
        q->sync([&] { v += 1; });
        samples.push_back(std::chrono::duration<double, std::micro>(Steady::now() - t0).count());
        if (v != 2) return 1;
    }
    std::nth_element(samples.begin(), samples.begin() + samples.size() / 2, samples.end());
    std::printf("serial_queue_async_sync_roundtrip_us: %.2f us\n", samples[samples.size() / 2]);
    return 0;
}
