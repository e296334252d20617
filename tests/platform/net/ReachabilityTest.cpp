#include <doctest/doctest.h>

#include <atomic>

#include "platform/net/Reachability.h"
#include "platform/runloop/DispatchQueue.h"
#include "platform/runloop/MainLoop.h"
#include "platform/testing/Harness.h"

using namespace platform;
using platform::testing::Harness;

TEST_CASE_FIXTURE(Harness, "Reachability: targets read the process flags, Wi-Fi by default") {
    CHECK(Reachability::forHostName("") == nullptr);
    CHECK(Reachability::forAddress("ads.example") == nullptr);
    REQUIRE(Reachability::forAddress("::1") != nullptr);
    auto host = Reachability::forHostName("ads.ruzave.example");
    bool ok = false;
    CHECK(host->currentFlags(&ok) == Reachability::Reachable);
    CHECK(ok);
    Reachability::setGlobalFlagsForTesting(Reachability::Reachable | Reachability::IsWWAN);
    CHECK(Reachability::forAddress("127.0.0.1")->currentFlags() == 0x40002u);
    CHECK(Reachability::isReachable(Reachability::Reachable | Reachability::IsWWAN));
    CHECK_FALSE(Reachability::isReachable(Reachability::Reachable | Reachability::ConnectionRequired));
    CHECK(Reachability::isReachable(Reachability::Reachable | Reachability::ConnectionRequired |
                                    Reachability::ConnectionOnTraffic));
    CHECK_FALSE(Reachability::isReachable(0));
}

TEST_CASE_FIXTURE(Harness, "Reachability: a notifier hears changes on the main loop, not the initial reading") {
    auto target = Reachability::forHostName("ads.ruzave.example");
    CHECK_FALSE(target->startNotifier());  // no callback yet
    std::vector<std::uint32_t> heard;
    target->setCallback([&](Reachability& r, std::uint32_t flags) {
        CHECK(MainLoop::isMainThread());
        CHECK(&r == target.get());
        heard.push_back(flags);
    });
    REQUIRE(target->startNotifier());
    runUntilIdle();
    CHECK(heard.empty());

    Reachability::setGlobalFlagsForTesting(0);
    Reachability::setGlobalFlagsForTesting(0);  // no change, no call
    Reachability::setGlobalFlagsForTesting(Reachability::Reachable | Reachability::IsWWAN);
    runUntilIdle();
    CHECK(heard == std::vector<std::uint32_t>{0, 0x40002u});

    // A change already on its way is dropped once the notifier stops.
    Reachability::setGlobalFlagsForTesting(Reachability::Reachable);
    target->stopNotifier();
    runUntilIdle();
    CHECK(heard.size() == 2);
}

TEST_CASE_FIXTURE(Harness, "Reachability: callbacks go to the chosen dispatch queue") {
    auto queue = DispatchQueue::createSerial("reachability.test");
    auto target = Reachability::forAddress("127.0.0.1");
    std::atomic<int> calls{0};
    std::atomic<bool> onQueue{false};
    target->setCallback(
        [&](Reachability&, std::uint32_t) {
            onQueue = queue->isCurrent();
            ++calls;
        },
        queue);
    target->startNotifier();
    Reachability::setGlobalFlagsForTesting(0);
    queue->sync([] {});
    CHECK(calls.load() == 1);
    CHECK(onQueue.load());
}
