#include <doctest/doctest.h>

#include <atomic>
#include <thread>

#include "conversion/ACTPinger.h"
#include "conversion/ACTPingerDelegate.h"
#include "conversion/ACTPingRetryQueue.h"
#include "conversion/ACTPingRetryScheduler.h"
#include "platform/runloop/MainLoop.h"
#include "tests/conversion/ConversionTestSupport.h"

using namespace conversiontest;
using ruzave::ACTPinger;

namespace {

struct DelegateRecorder : ruzave::ACTPingerDelegate {
    int successes = 0;
    std::vector<platform::Error> failures;
    bool allOnMain = true;
    void pingDidSucceed(const std::shared_ptr<ACTPinger>&) override {
        ++successes;
        allOnMain = allOnMain && platform::MainLoop::isMainThread();
    }
    void ping(const std::shared_ptr<ACTPinger>&, const platform::Error& error) override {
        failures.push_back(error);
        allOnMain = allOnMain && platform::MainLoop::isMainThread();
    }
};

std::shared_ptr<ACTPinger> pinger(const std::string& pathAndQuery) {
    auto request = platform::URLRequest::withURLString("https://www.ruzaveadservices.example" + pathAndQuery);
    REQUIRE(request.has_value());
    return ACTPinger::initWithRequest(*request);
}

std::shared_ptr<ruzave::ACTPingRetryQueue> retryQueue() {
    return ruzave::ACTApplication::sharedApplication()->retryScheduler()->retryQueue();
}

void answer(adserver::AdServer& server, int status, std::string body = {}) {
    adserver::ConversionEndpoints a;
    a.status = status;
    a.body = std::move(body);
    adserver::installConversionEndpoints(server, a);
}

} // namespace

TEST_CASE_FIXTURE(ServerLaunch, "ACTPinger: the retry marker joins the query once, and only after the first attempt") {
    auto withQuery = pinger("/pagead/conversion/1/?a=1");
    auto bare = pinger("/pagead/conversion/2/");
    withQuery->ping();
    bare->ping();
    CHECK(withQuery->requestString() == "https://www.ruzaveadservices.example/pagead/conversion/1/?a=1&retry=1");
    CHECK(bare->requestString() == "https://www.ruzaveadservices.example/pagead/conversion/2/?retry=1");
    REQUIRE(waitForPings(2));
    std::vector<std::string> queries;
    for (const auto& p : pings()) queries.push_back(p.query);
    CHECK(std::count(queries.begin(), queries.end(), "a=1") == 1);
    CHECK(std::count(queries.begin(), queries.end(), "") == 1);

    // A reloaded ping already carries it.
    auto reloaded = ACTPinger::pingerWithRequestString(withQuery->requestString(), platform::Value::object());
    REQUIRE(reloaded != nullptr);
    CHECK(reloaded->isModifiedForRetry());
    server->clearLog();
    reloaded->ping();
    REQUIRE(waitForPings(1));
    CHECK(pings().front().query == "a=1&retry=1");
    CHECK(reloaded->isEqual(*withQuery));
}

TEST_CASE_FIXTURE(ServerLaunch, "ACTPinger: any 2xx succeeds and other answers below 400 keep the ping for the next launch") {
    auto delegate = std::make_shared<DelegateRecorder>();
    answer(*server, 204);
    auto p = pinger("/pagead/conversion/1/?a=1");
    p->setDelegate(delegate);
    p->setDeduplicationKey("ruzave_conversion_ping:x");
    p->ping();
    REQUIRE(waitForPings(1));
    CHECK(delegate->successes == 1);
    CHECK(storedPings().empty());
    CHECK(platform::UserDefaults::standard()->boolean("ruzave_conversion_ping:x"));
    CHECK(p->delegate() == nullptr);

    answer(*server, 304);
    auto kept = pinger("/pagead/conversion/2/?a=1");
    kept->setDelegate(delegate);
    kept->ping();
    REQUIRE(waitForPings(2));
    CHECK(delegate->successes == 1);
    CHECK(delegate->failures.empty());
    CHECK(storedPings().contains(kept->requestString()));
    CHECK(retryQueue()->count() == 0);
}

TEST_CASE_FIXTURE(ServerLaunch, "ACTPinger: a 404 fails with its status text and the body in quotes") {
    answer(*server, 404, "no such \"page\"");
    auto delegate = std::make_shared<DelegateRecorder>();
    auto p = pinger("/pagead/conversion/1/");
    p->setDelegate(delegate);
    // No retries left: the failure is final at once.
    p->ping();
    p->setRemainingRetryCount(0);
    REQUIRE(waitForPings(1));
    REQUIRE(delegate->failures.size() == 1);
    const platform::Error& error = delegate->failures.front();
    CHECK(error.domain == "com.ruzave.conversion.ibasdk");
    CHECK(error.code == 404);
    CHECK(error.description == platform::HTTPURLResponse::localizedStringForStatusCode(404) + " \"no such \"page\"\"");
    CHECK(log.contains("<Ruzave> ping unsuccessful. Error: " + error.description + "."));
    CHECK(storedPings().empty());
    CHECK(p->delegate() == nullptr);
    CHECK(delegate->allOnMain);
}

TEST_CASE_FIXTURE(ServerLaunch, "ACTPinger: a ping queued after an HTTP error keeps its delegate until it succeeds") {
    answer(*server, 503);
    auto delegate = std::make_shared<DelegateRecorder>();
    auto p = pinger("/pagead/conversion/1/");
    p->setDelegate(delegate);
    p->ping();
    REQUIRE(waitForPings(1));
    CHECK(p->remainingRetryCount() == 199);
    CHECK(p->delegate() == delegate);
    CHECK(retryQueue()->count() == 1);

    answer(*server, 200);
    runUntilIdle();  // the first batch (empty then) was queued at start
    advance(180);
    REQUIRE(waitForPings(2));
    CHECK(delegate->successes == 1);
    CHECK(storedPings().empty());
}

TEST_CASE_FIXTURE(ServerLaunch, "ACTPinger: a stale ping that fails is logged and dropped even with retries left") {
    answer(*server, 500);
    auto delegate = std::make_shared<DelegateRecorder>();
    auto p = pinger("/pagead/conversion/1/");
    p->setDelegate(delegate);
    p->setStaleDate(platform::Clock::wallTime() - 1);
    CHECK(p->remainingRetryCount() == 200);
    CHECK_FALSE(p->shouldRetry());
    p->ping();
    REQUIRE(waitForPings(1));
    CHECK(delegate->failures.size() == 1);
    CHECK(retryQueue()->count() == 0);
    CHECK(storedPings().empty());
    CHECK(log.contains("<Ruzave> ping unsuccessful. Error: "));
}

TEST_CASE_FIXTURE(ServerLaunch, "ACTPinger: a stored stale ping is still sent once after a relaunch") {
    auto request = platform::URLRequest::withURLString("https://www.ruzaveadservices.example/pagead/conversion/9/?a=1&retry=1");
    const double past = platform::Clock::wallTime() - 10;
    platform::UserDefaults::standard()->set(
        ruzave::kACTPingDescriptorStoreKey,
        platform::Value{{request->url().absoluteString(), {{"ruzave_ping_rc", 12}, {"ruzave_ping_stalets", past}}}});
    relaunch();
    ruzave::ACTApplication::sharedApplication();
    REQUIRE(waitForPings(1));
    CHECK(pings().front().query == "a=1&retry=1");
    CHECK(storedPings().empty());
}

TEST_CASE_FIXTURE(ServerLaunch, "ACTPinger: a ping started off the main thread runs its connection on the main loop") {
    auto delegate = std::make_shared<DelegateRecorder>();
    auto p = pinger("/pagead/conversion/1/");
    p->setDelegate(delegate);
    std::thread([p] { p->ping(); }).join();
    REQUIRE(waitForPings(1));
    REQUIRE(runUntil([&] { return delegate->successes == 1; }));
    CHECK(delegate->allOnMain);
}

TEST_CASE_FIXTURE(ServerLaunch, "ACTPinger: a redirect loop or a dropped connection is retried, never lost") {
    adserver::ConversionEndpoints loop;
    loop.redirectLoop = true;
    adserver::installConversionEndpoints(*server, loop);
    auto looping = pinger("/pagead/conversion/1/?a=1");
    looping->ping();
    REQUIRE(runUntil([&] { return retryQueue()->count() == 1; }));
    CHECK(looping->remainingRetryCount() == 199);
    CHECK(storedPings().contains(looping->requestString()));

    server->route("/pagead/conversion/2/", [](const adserver::Request&) {
        adserver::Response r = adserver::Response::text(std::string(200000, 'x'), "text/plain", 500);
        r.fault = adserver::Fault::Truncate;
        r.truncateAt = 100;
        return r;
    });
    auto dropped = pinger("/pagead/conversion/2/");
    dropped->ping();
    REQUIRE(runUntil([&] { return retryQueue()->count() == 2; }));
    CHECK(storedPings().contains(dropped->requestString()));
}

TEST_CASE_FIXTURE(ServerLaunch, "ACTPinger: a server that hangs times the ping out and keeps it for a retry") {
    adserver::ConversionEndpoints hanging;
    hanging.delay = std::chrono::milliseconds(2500);
    adserver::installConversionEndpoints(*server, hanging);
    auto request = platform::URLRequest::withURLString("https://www.ruzaveadservices.example/pagead/conversion/1/");
    request->setTimeoutInterval(0.5);
    auto p = ACTPinger::initWithRequest(*request);
    p->ping();
    REQUIRE(runUntil([&] { return retryQueue()->count() == 1; }, 10));
    CHECK(p->remainingRetryCount() == 199);
    CHECK(storedPings().contains(p->requestString()));
}

TEST_CASE("ACTPinger: rebuilding a stored ping clamps its count and refuses what is no ping URL") {
    platform::testing::Harness harness;
    auto p = ACTPinger::pingerWithRequestString("https://h.example/p?q=1",
                                                platform::Value{{"ruzave_ping_rc", 5000}, {"ruzave_ping_stalets", 77.5}});
    REQUIRE(p != nullptr);
    CHECK(p->remainingRetryCount() == 200);
    CHECK(p->staleDate() == 77.5);
    CHECK(ACTPinger::pingerWithRequestString("https://h.example/p", platform::Value{{"ruzave_ping_rc", -3}})->remainingRetryCount() == 0);
    CHECK(ACTPinger::pingerWithRequestString("https://h.example/p", platform::Value{{"ruzave_ping_rc", "12"}})->remainingRetryCount() == 12);
    CHECK(ACTPinger::pingerWithRequestString("https://h.example/p", platform::Value{{"ruzave_ping_rc", "junk"}})->remainingRetryCount() == 0);
    // Absent parameters keep the defaults; a missing stale date is repaired, not left empty.
    auto plain = ACTPinger::pingerWithRequestString("https://h.example/p", std::nullopt);
    CHECK(plain->remainingRetryCount() == 200);
    CHECK_FALSE(plain->parameters().has_value());
    auto repaired = ACTPinger::pingerWithRequestString("https://h.example/p", platform::Value{{"ruzave_ping_rc", 3}});
    REQUIRE(repaired->parameters().has_value());
    CHECK(repaired->shouldRetry());

    CHECK(ACTPinger::pingerWithRequestString(std::nullopt, std::nullopt) == nullptr);
    CHECK(ACTPinger::pingerWithRequestString("not a url", std::nullopt) == nullptr);
    CHECK(ACTPinger::pingerWithRequestString("file:///etc/passwd", std::nullopt) == nullptr);
    CHECK(ACTPinger::pingerWithRequestString("javascript:alert(1)", std::nullopt) == nullptr);
}
