#include <doctest/doctest.h>

#include <atomic>

#include "ads/core/telemetry/GADStatisticDictionary.h"
#include "platform/runloop/DispatchQueue.h"
#include "platform/testing/Harness.h"

using namespace ruzave;

namespace {
struct Listener : GADStatisticDictionaryDelegate {
    std::shared_ptr<platform::DispatchQueue> queue = platform::DispatchQueue::createSerial("test.listener");
    std::atomic<int> calls{0};
    bool silent = false;
    std::shared_ptr<platform::DispatchQueue> notificationQueue() override { return silent ? nullptr : queue; }
    void didUpdateStatisticDictionary(const std::shared_ptr<GADStatisticDictionary>&) override { ++calls; }
};
} // namespace

TEST_CASE("GADStatisticDictionary: counters and lists start from missing keys and spare foreign values") {
    auto d = GADStatisticDictionary::init();
    d->incrementNumberForKey("up", false);
    d->decrementNumberForKey("down", false);
    d->setObject(7, "plain", false);
    d->incrementNumberForKey("plain", false);
    d->setObject("text", "string", false);
    d->incrementNumberForKey("string", false);
    d->addObject("a", "list", false);
    d->addObject("b", "list", false);
    d->setObject(platform::Value::array({1}), "fixed", false);
    d->addObject(2, "fixed", false);
    CHECK(d->objectForKey("up") == platform::Value(1));
    CHECK(d->objectForKey("down") == platform::Value(-1));
    CHECK(d->objectForKey("plain") == platform::Value(7));
    CHECK(d->objectForKey("string") == platform::Value("text"));
    CHECK(d->objectForKey("list") == platform::Value::array({"a", "b"}));
    CHECK(d->objectForKey("fixed") == platform::Value::array({1}));
    CHECK_FALSE(d->objectForKey("absent"));
}

TEST_CASE("GADStatisticDictionary: a snapshot does not grow with later appends") {
    auto d = GADStatisticDictionary::init();
    d->addObject(1, "list", false);
    const platform::Value snapshot = d->dictionary();
    d->addObject(2, "list", false);
    CHECK(snapshot["list"].size() == 1);
    CHECK(d->dictionary()["list"].size() == 2);
}

TEST_CASE("GADStatisticDictionary: a burst of notifying changes makes one call and subscripts make none") {
    auto listener = std::make_shared<Listener>();
    auto d = GADStatisticDictionary::initWithQueueLabel("test.stats", listener);
    // Hold the queue so that the whole burst lands before the notification step.
    std::atomic<bool> release{false};
    d->serialQueue()->async([&] {
        while (!release) {
        }
    });
    for (int i = 0; i < 10; ++i) d->incrementNumberForKey("n", true);
    release = true;
    d->objectForKey("n");
    listener->queue->sync([] {});
    d->serialQueue()->sync([] {});
    listener->queue->sync([] {});
    CHECK(listener->calls == 1);
    d->setObjectForKeyedSubscript(1, "quiet");
    d->serialQueue()->sync([] {});
    listener->queue->sync([] {});
    CHECK(listener->calls == 1);
    d->incrementNumberForKey("n", true);
    // The change queues the notification step behind the first sync: drain the queue twice.
    d->serialQueue()->sync([] {});
    d->serialQueue()->sync([] {});
    listener->queue->sync([] {});
    CHECK(listener->calls == 2);
}

TEST_CASE("GADStatisticDictionary: silent or departed delegates are never called, and a frozen one ignores changes") {
    auto listener = std::make_shared<Listener>();
    listener->silent = true;
    auto d = GADStatisticDictionary::initWithDelegate(listener);
    d->incrementNumberForKey("n", true);
    d->serialQueue()->sync([] {});
    listener->queue->sync([] {});
    CHECK(listener->calls == 0);
    {
        auto gone = std::make_shared<Listener>();
        d->setDelegate(gone);
    }
    d->incrementNumberForKey("n", true);
    d->serialQueue()->sync([] {});
    CHECK(d->delegate() == nullptr);
    d->didFinishModifying();
    d->incrementNumberForKey("n", true);
    CHECK(d->objectForKey("n") == platform::Value(2));
    CHECK(d->description().find("\"n\": 2") != std::string::npos);
}
