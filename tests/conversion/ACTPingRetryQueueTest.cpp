#include <doctest/doctest.h>

#include "conversion/ACTPinger.h"
#include "conversion/ACTPingRetryQueue.h"
#include "conversion/ACTPingRetryScheduler.h"
#include "tests/conversion/ConversionTestSupport.h"

using namespace conversiontest;
using ruzave::ACTPinger;
using ruzave::ACTPingRetryQueue;

namespace {

std::shared_ptr<ACTPinger> reloaded(const std::string& path) {
    return ACTPinger::pingerWithRequestString("https://www.ruzaveadservices.example" + path,
                                              platform::Value{{"ruzave_ping_rc", 10}, {"ruzave_ping_stalets", 4e9}});
}

std::vector<std::shared_ptr<ACTPinger>> numbered(int from, int to) {
    std::vector<std::shared_ptr<ACTPinger>> out;
    for (int i = from; i < to; ++i) out.push_back(reloaded("/pagead/conversion/" + std::to_string(i) + "/"));
    return out;
}

// Pings to a closed local port with no retries left: they fail at once and leave the queue for good.
std::vector<std::shared_ptr<ACTPinger>> doomed(int count) {
    std::vector<std::shared_ptr<ACTPinger>> out;
    for (int i = 0; i < count; ++i) {
        out.push_back(ACTPinger::pingerWithRequestString("http://127.0.0.1:1/" + std::to_string(i),
                                                         platform::Value{{"ruzave_ping_rc", 0}, {"ruzave_ping_stalets", 4e9}}));
    }
    return out;
}

} // namespace

TEST_CASE_FIXTURE(Launch, "ACTPingRetryQueue: holds at most 500 pingers") {
    ACTPingRetryQueue queue;
    queue.addPingersFromSet(numbered(0, 480));
    queue.addPingersFromSet(numbered(480, 560));
    CHECK(queue.count() == 500);
    queue.addPinger(reloaded("/pagead/conversion/x/"));
    CHECK(queue.count() == 500);
    queue.addPinger(nullptr);
    CHECK(queue.count() == 500);
}

TEST_CASE_FIXTURE(ServerLaunch, "ACTPingRetryQueue: a batch sends 50 and equal requests once") {
    ACTPingRetryQueue twins;
    // Two stored descriptors that rebuild the same request.
    twins.addPinger(reloaded("/pagead/conversion/dup/"));
    twins.addPinger(reloaded("/pagead/conversion/dup/"));
    twins.addPinger(reloaded("/pagead/conversion/other/"));
    twins.retry();
    REQUIRE(waitForPings(2));
    CHECK(server->requestCount("/pagead/conversion/dup/") == 1);
    CHECK(twins.count() == 0);

    auto queue = std::make_shared<ACTPingRetryQueue>();
    queue->addPingersFromSet(numbered(0, 60));
    server->clearLog();
    queue->retry();
    CHECK(queue->count() == 10);
    REQUIRE(waitForPings(50));
    CHECK(server->requestCount("/pagead/conversion/49/") == 1);
    CHECK(server->requestCount("/pagead/conversion/50/") == 0);
    queue->retry();
    // A ping whose connection breaks (a kept-alive connection the server has closed) waits in the
    // library's retry queue: the next batch sends it.
    auto appQueue = ruzave::ACTApplication::sharedApplication()->retryScheduler()->retryQueue();
    REQUIRE(runUntil([&] {
        return pings().size() + appQueue->count() >= 60 && platform::NetworkEngine::shared().activeTransferCount() == 0;
    }, 30));
    advance(180);
    REQUIRE(waitForPings(60));
    for (int i = 0; i < 60; ++i) CHECK(server->requestCount("/pagead/conversion/" + std::to_string(i) + "/") == 1);
    CHECK(queue->count() == 0);
    queue->retry();  // an empty batch is nothing
    CHECK(pings().size() == 60);
}

TEST_CASE_FIXTURE(Launch, "ACTPingRetryScheduler: a batch at once, then every 180 seconds until stopped") {
    auto queue = std::make_shared<ACTPingRetryQueue>();
    auto scheduler = ruzave::ACTPingRetryScheduler::initWithRetryQueue(queue);
    queue->addPingersFromSet(doomed(160));
    scheduler->startScheduling();
    CHECK(scheduler->isScheduling());
    CHECK(queue->count() == 110);
    scheduler->startScheduling();  // already scheduling: no second batch
    CHECK(queue->count() == 110);
    advance(179.9);
    CHECK(queue->count() == 110);
    advance(0.1);
    CHECK(queue->count() == 60);
    scheduler->stopScheduling();
    CHECK_FALSE(scheduler->isScheduling());
    advance(360);
    CHECK(queue->count() == 60);

    // Started again: at once, and the old session's timer does not add a batch of its own.
    scheduler->startScheduling();
    CHECK(queue->count() == 10);
    advance(180);
    CHECK(queue->count() == 0);
    // A scheduler that is gone leaves a harmless timer behind.
    scheduler.reset();
    advance(180);
    REQUIRE(runUntil([] { return platform::NetworkEngine::shared().activeTransferCount() == 0; }));
}

TEST_CASE_FIXTURE(ServerLaunch, "ACTPingRetryQueue: the library's start resends the stored pings of the last launch") {
    auto store = ruzave::ACTApplication::sharedApplication()->pingerStore();
    for (const auto& p : numbered(0, 3)) store->addPinger(p);
    relaunch();
    auto application = ruzave::ACTApplication::sharedApplication();
    CHECK(application->retryScheduler()->retryQueue()->count() == 3);
    REQUIRE(waitForPings(3));
    CHECK(storedPings().empty());
}
