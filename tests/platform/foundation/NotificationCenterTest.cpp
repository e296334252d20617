#include <doctest/doctest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "platform/foundation/NotificationCenter.h"
#include "platform/runloop/DispatchQueue.h"
#include "platform/testing/Harness.h"

using platform::Notification;
using platform::NotificationCenter;
using platform::Value;

namespace {

using Calls = std::vector<std::string>;

NotificationCenter::Block record(Calls& calls, std::string tag) {
    return [&calls, tag](const Notification&) { calls.push_back(tag); };
}

} // namespace

TEST_CASE_FIXTURE(platform::testing::Harness,
                  "NotificationCenter: observers match by name and object, with wildcards") {
    auto center = NotificationCenter::defaultCenter();
    int a = 0;
    int b = 0;
    Calls calls;
    center->addObserver("N", &a, nullptr, record(calls, "N/a"));
    center->addObserver("N", nullptr, nullptr, record(calls, "N/*"));
    center->addObserver("", &a, nullptr, record(calls, "*/a"));
    center->addObserver("", nullptr, nullptr, record(calls, "*/*"));

    center->post("N", &a);
    CHECK(calls == Calls{"N/a", "N/*", "*/a", "*/*"});
    calls.clear();
    center->post("N", &b);
    CHECK(calls == Calls{"N/*", "*/*"});
    calls.clear();
    center->post("M", &a);
    CHECK(calls == Calls{"*/a", "*/*"});
    calls.clear();
    // A post without an object reaches only observers that accept any object.
    center->post("N");
    CHECK(calls == Calls{"N/*", "*/*"});
}

TEST_CASE_FIXTURE(platform::testing::Harness,
                  "NotificationCenter: the notification carries its name, object and user info") {
    auto center = NotificationCenter::defaultCenter();
    int sender = 0;
    Notification seen;
    center->addObserver(platform::kApplicationDidBecomeActive, nullptr, nullptr,
                        [&](const Notification& n) { seen = n; });
    center->post(platform::kApplicationDidBecomeActive, &sender, Value{{"reason", "test"}});
    CHECK(seen.name == "UIApplicationDidBecomeActiveNotification");
    CHECK(seen.object == &sender);
    CHECK(seen.userInfo == Value{{"reason", "test"}});
}

TEST_CASE_FIXTURE(platform::testing::Harness,
                  "NotificationCenter: an observer removed during a post is not called") {
    auto center = NotificationCenter::defaultCenter();
    Calls calls;
    NotificationCenter::Token later{};
    NotificationCenter::Token self{};
    int owner = 0;
    self = center->addObserver("N", nullptr, nullptr, [&](const Notification&) {
        calls.push_back("first");
        center->removeObserver(later);
        center->removeObserver(self);
        center->removeObserver(&owner);
    });
    later = center->addObserver("N", nullptr, nullptr, record(calls, "later"));
    center->addObserver("N", nullptr, nullptr, record(calls, "owned"), &owner);
    center->addObserver("N", nullptr, nullptr, record(calls, "kept"));

    center->post("N");
    CHECK(calls == Calls{"first", "kept"});
    calls.clear();
    center->post("N");
    CHECK(calls == Calls{"kept"});
}

TEST_CASE_FIXTURE(platform::testing::Harness,
                  "NotificationCenter: removal by owner drops only that owner's observers") {
    auto center = NotificationCenter::defaultCenter();
    Calls calls;
    int ownerA = 0;
    int ownerB = 0;
    int object = 0;
    center->addObserver("N", nullptr, nullptr, record(calls, "A/N"), &ownerA);
    center->addObserver("M", &object, nullptr, record(calls, "A/M"), &ownerA);
    center->addObserver("M", nullptr, nullptr, record(calls, "A/M*"), &ownerA);
    center->addObserver("N", nullptr, nullptr, record(calls, "B/N"), &ownerB);

    // Exactly this name and object: the wildcard-object registration for M stays.
    center->removeObserver(&ownerA, "M", &object);
    center->post("M", &object);
    CHECK(calls == Calls{"A/M*"});
    calls.clear();

    center->removeObserver(&ownerA);
    center->removeObserver(static_cast<const void*>(nullptr)); // no owner: removes nothing
    center->post("N");
    center->post("M", &object);
    CHECK(calls == Calls{"B/N"});
}

TEST_CASE_FIXTURE(platform::testing::Harness,
                  "NotificationCenter: queued observers run later on their queue") {
    auto center = NotificationCenter::defaultCenter();
    Calls calls;
    center->addObserver("N", nullptr, platform::DispatchQueue::main(), record(calls, "main"));
    center->addObserver("N", nullptr, nullptr, record(calls, "sync"));
    auto serial = platform::DispatchQueue::createSerial("observer");
    std::atomic<int> onSerial{0};
    std::atomic<int> offSerial{0};
    center->addObserver("N", nullptr, serial, [&](const Notification& n) {
        (serial->isCurrent() && n.userInfo == Value{{"k", 1}} ? onSerial : offSerial)++;
    });

    center->post("N", nullptr, Value{{"k", 1}});
    CHECK(calls == Calls{"sync"});
    CHECK(runUntil([&] { return calls.size() == 2; }));
    CHECK(calls == Calls{"sync", "main"});
    serial->sync([] {});
    CHECK(onSerial == 1);
    CHECK(offSerial == 0);
}

TEST_CASE_FIXTURE(platform::testing::Harness,
                  "NotificationCenter: a queued observer removed before its turn is not called") {
    auto center = NotificationCenter::defaultCenter();
    int calls = 0;
    auto token = center->addObserver("N", nullptr, platform::DispatchQueue::main(),
                                     [&](const Notification&) { ++calls; });
    center->post("N");
    center->removeObserver(token);
    runUntilIdle();
    CHECK(calls == 0);
}

TEST_CASE_FIXTURE(platform::testing::Harness,
                  "NotificationCenter: posting from inside an observer is delivered at once") {
    auto center = NotificationCenter::defaultCenter();
    Calls calls;
    center->addObserver("A", nullptr, nullptr, [&](const Notification&) {
        calls.push_back("A begins");
        // Added during a post: heard from the next post on, not this one.
        center->addObserver("A", nullptr, nullptr, record(calls, "added"));
        center->post("B");
        calls.push_back("A ends");
    });
    center->addObserver("B", nullptr, nullptr, record(calls, "B"));
    center->post("A");
    CHECK(calls == Calls{"A begins", "B", "A ends"});
}

TEST_CASE_FIXTURE(platform::testing::Harness,
                  "NotificationCenter: posts from many threads reach every observer") {
    auto center = NotificationCenter::defaultCenter();
    std::atomic<int> count{0};
    center->addObserver("N", nullptr, nullptr, [&](const Notification&) { ++count; });
    std::atomic<bool> stop{false};
    // Another thread keeps adding and removing observers meanwhile.
    std::thread churn([&] {
        while (!stop) {
            auto token = center->addObserver("N", nullptr, nullptr, [](const Notification&) {});
            center->removeObserver(token);
        }
    });
    std::vector<std::thread> posters;
    for (int t = 0; t < 4; ++t)
        posters.emplace_back([&] {
            for (int i = 0; i < 500; ++i)
                center->post("N");
        });
    for (auto& p : posters)
        p.join();
    stop = true;
    churn.join();
    CHECK(count == 2000);
}
