#include <doctest/doctest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>

#include "FetchTestSupport.h"
#include "ads/core/net/GADPinger.h"
#include "platform/foundation/UserDefaults.h"
#include "platform/runloop/DispatchQueue.h"

using fetchtest::ServerFixture;
using ruzave::GADPinger;

namespace {

constexpr const char* kGroup = "/ruzave/ads/crash_reporting";

std::string pingURL(const std::string& path) { return ServerFixture::url(path, ruzave::GADHosts::kPingHost); }

platform::Value group(const std::string& key = kGroup) {
    return platform::UserDefaults::standard()->dictionary(key).value_or(platform::Value::object());
}

long long retriesLeft(const std::string& retryURL) {
    auto g = group();
    if (!g.contains(retryURL)) return -1;
    return platform::integerValue(g[retryURL]["/ruzave/ads/retry_count"]);
}

// Lets the pinger's queue finish what it has.
void drain(ServerFixture& f, const std::shared_ptr<GADPinger>& pinger) {
    std::atomic<bool> done{false};
    pinger->lockQueue()->async([&] { done = true; });
    REQUIRE(f.settle([&] { return done.load(); }));
    done = false;
    pinger->lockQueue()->async([&] { done = true; });
    REQUIRE(f.settle([&] { return done.load(); }));
}

// Holds the answers of a route while shut (30 s at most), so that the pinger's passes come while its
// pings are in flight, however busy the machine is. Opened again when it goes out of scope.
struct AnswerGate {
    struct State {
        std::mutex mutex;
        std::condition_variable changed;
        bool open = false;
    };
    std::shared_ptr<State> state = std::make_shared<State>();

    ~AnswerGate() { setOpen(true); }
    void setOpen(bool open) {
        {
            std::lock_guard<std::mutex> lock(state->mutex);
            state->open = open;
        }
        state->changed.notify_all();
    }
    adserver::Handler answer(adserver::Response response) const {
        return [state = state, response](const adserver::Request&) {
            std::unique_lock<std::mutex> lock(state->mutex);
            state->changed.wait_for(lock, std::chrono::seconds(30), [&] { return state->open; });
            return response;
        };
    }
};

// Waits until the pinger's queue has run what was queued on it so far, and what that queued.
void passQueue(ServerFixture& f, const std::shared_ptr<GADPinger>& pinger) {
    for (int i = 0; i < 2; ++i) {
        std::atomic<bool> done{false};
        pinger->lockQueue()->async([&] { done = true; });
        REQUIRE(f.runUntil([&] { return done.load(); }));
    }
}

} // namespace

TEST_CASE_FIXTURE(ServerFixture, "GADPinger: a failing ping is retried every 60 s three times, then forgotten") {
    server->route("/first", adserver::Response::html("no", 500));
    server->route("/retry", adserver::Response::html("no", 503));
    auto pinger = GADPinger::init();
    pinger->start();
    pinger->pingWithRetryGroupKey(std::string(kGroup), platform::URL::parse(pingURL("/first")), pingURL("/retry"));
    REQUIRE(settle([&] { return server->requestCount("/first") == 1; }));
    drain(*this, pinger);
    CHECK(retriesLeft(pingURL("/retry")) == 3);

    advance(59);
    drain(*this, pinger);
    CHECK(server->requestCount("/retry") == 0);
    for (int pass = 1; pass <= 3; ++pass) {
        advance(pass == 1 ? 1 : 60);
        REQUIRE(settle([&] { return server->requestCount("/retry") == static_cast<std::size_t>(pass); }));
        drain(*this, pinger);
        CHECK(retriesLeft(pingURL("/retry")) == 3 - pass);
    }
    advance(60);
    drain(*this, pinger);
    CHECK(retriesLeft(pingURL("/retry")) == -1);
    advance(60);
    drain(*this, pinger);
    CHECK(server->requestCount("/retry") == 3);
    CHECK(server->requestCount("/first") == 1);
    // The group stays known even when empty.
    CHECK(platform::UserDefaults::standard()->array("/ruzave/ads/retry_group_keys") ==
          std::optional<platform::Value>(platform::Value::array({kGroup})));
}

TEST_CASE_FIXTURE(ServerFixture, "GADPinger: any 2xx answer is success and removes the retry URL") {
    server->route("/ok", adserver::Response::html("", 204));
    auto pinger = GADPinger::init();
    pinger->pingWithRetryGroupKey(std::string(kGroup), platform::URL::parse(pingURL("/ok")), pingURL("/retry"));
    REQUIRE(settle([&] { return server->requestCount("/ok") == 1; }));
    drain(*this, pinger);
    CHECK(retriesLeft(pingURL("/retry")) == -1);
    CHECK(group().empty());
}

TEST_CASE_FIXTURE(ServerFixture, "GADPinger: a retry URL in flight is neither sent again nor counted down") {
    AnswerGate gate;
    server->route("/slow", gate.answer(adserver::Response::html("late", 500)));
    server->route("/retry", adserver::Response::html("no", 500));
    auto pinger = GADPinger::init();
    pinger->start();
    // The first send itself is still in flight when the pass comes.
    pinger->pingWithRetryGroupKey(std::string(kGroup), platform::URL::parse(pingURL("/slow")), pingURL("/retry"));
    REQUIRE(runUntil([&] { return server->requestCount("/slow") == 1; }));
    advance(60);
    passQueue(*this, pinger);
    gate.setOpen(true);
    REQUIRE(settle([&] { return retriesLeft(pingURL("/retry")) == 3 && server->requests().size() == 1; }));
    drain(*this, pinger);
    CHECK(server->requestCount("/retry") == 0);
    CHECK(retriesLeft(pingURL("/retry")) == 3);

    // A retry that is itself slow is skipped by the next pass too.
    pinger->storeRetryURLString(pingURL("/slow"), "/ruzave/ads/auto-iap");
    gate.setOpen(false);
    advance(60);
    REQUIRE(runUntil([&] { return server->requestCount("/slow") == 2; }));
    // That pass's /retry has its answer and the pinger has heard it, so the next pass sends it again
    // however slowly a loaded machine carried it; only the slow one is left in flight.
    REQUIRE(runUntil([&] {
        return server->requestCount("/retry") == 1 && platform::NetworkEngine::shared().activeTransferCount() == 1;
    }));
    runUntilIdle();
    passQueue(*this, pinger);
    advance(60);
    passQueue(*this, pinger);
    gate.setOpen(true);
    REQUIRE(settle([&] { return server->requestCount("/slow") == 2 && server->requestCount("/retry") == 2; }));
    drain(*this, pinger);
    CHECK(platform::integerValue(group("/ruzave/ads/auto-iap")[pingURL("/slow")]["/ruzave/ads/retry_count"]) == 2);
}

TEST_CASE_FIXTURE(ServerFixture, "GADPinger: a full group takes no new URL and a stored URL keeps its count") {
    auto pinger = GADPinger::init();
    for (int i = 0; i < 11; ++i) pinger->storeRetryURLString(pingURL("/r" + std::to_string(i)), kGroup);
    CHECK(group().size() == 10);
    CHECK_FALSE(group().contains(pingURL("/r10")));

    auto defaults = platform::UserDefaults::standard();
    auto g = group();
    g[pingURL("/r0")]["/ruzave/ads/retry_count"] = 1;
    defaults->set(kGroup, g);
    pinger->storeRetryURLString(pingURL("/r0"), kGroup);
    CHECK(retriesLeft(pingURL("/r0")) == 1);
    // Missing arguments store nothing.
    pinger->storeRetryURLString("", "/ruzave/ads/other");
    CHECK(pinger->retryGroupKeys() == std::vector<std::string>{kGroup});
}

TEST_CASE_FIXTURE(ServerFixture, "GADPinger: a retry URL stored before a restart is retried one period after the next start") {
    server->route("/retry", adserver::Response::html("ok"));
    {
        auto before = GADPinger::init();
        before->storeRetryURLString(pingURL("/retry"), kGroup);
    }
    platform::UserDefaults::resetStandardForTesting();

    auto after = GADPinger::init();
    CHECK(after->retryGroupKeys() == std::vector<std::string>{kGroup});
    after->start();
    advance(59);
    drain(*this, after);
    CHECK(server->requestCount("/retry") == 0);
    advance(1);
    REQUIRE(settle([&] { return server->requestCount("/retry") == 1; }));
    drain(*this, after);
    CHECK(retriesLeft(pingURL("/retry")) == -1);
}

TEST_CASE_FIXTURE(ServerFixture, "GADPinger: an empty or malformed URL completes with failure and sends nothing") {
    auto pinger = GADPinger::init();
    std::atomic<int> failures{0};
    pinger->pingURLString("", [&](bool ok) { failures += ok ? 0 : 1; });
    pinger->pingURLString("http://bad host/", [&](bool ok) { failures += ok ? 0 : 1; });
    pinger->pingURLString(pingURL("/never"), nullptr);
    REQUIRE(settle([&] { return failures.load() == 2; }));
    drain(*this, pinger);
    CHECK(server->requests().empty());
    // Missing parts: nothing at all.
    pinger->pingWithRetryGroupKey(std::nullopt, platform::URL::parse(pingURL("/x")), pingURL("/y"));
    pinger->pingWithRetryGroupKey(std::string(kGroup), std::nullopt, pingURL("/y"));
    drain(*this, pinger);
    CHECK(server->requests().empty());
    CHECK(group().empty());
}

TEST_CASE_FIXTURE(ServerFixture, "GADPinger: unusable settings fall back to the defaults") {
    auto defaults = platform::UserDefaults::standard();
    SUBCASE("non-positive") {
        defaults->set("/ruzave/ads/ping_interval", "-5");
        defaults->set("/ruzave/ads/maximum_retry_url_count", "0");
        defaults->set("/ruzave/ads/url_time_to_live", "-1");
    }
    SUBCASE("garbage and absurd") {
        defaults->set("/ruzave/ads/ping_interval", "1e300");
        defaults->set("/ruzave/ads/maximum_retry_url_count", "99999999999");
        defaults->set("/ruzave/ads/url_time_to_live", "lots");
    }
    auto pinger = GADPinger::init();
    CHECK(pinger->pingInterval() == 60);
    CHECK(pinger->maximumRetryURLCount() == 10);
    CHECK(pinger->URLRetryCount() == 3);

    defaults->set("/ruzave/ads/ping_interval", "30");
    defaults->set("/ruzave/ads/maximum_retry_url_count", "2");
    defaults->set("/ruzave/ads/url_time_to_live", "5");
    auto tuned = GADPinger::init();
    CHECK(tuned->pingInterval() == 30);
    CHECK(tuned->maximumRetryURLCount() == 2);
    CHECK(tuned->URLRetryCount() == 5);
}

TEST_CASE_FIXTURE(ServerFixture, "GADPinger: a large retry pass keeps few pings on the wire and a second pass sends none twice") {
    auto busy = std::make_shared<std::atomic<int>>(0);
    auto peak = std::make_shared<std::atomic<int>>(0);
    server->route("/pagead/many", [busy, peak](const adserver::Request&) {
        int now = ++*busy;
        int seen = peak->load();
        while (now > seen && !peak->compare_exchange_weak(seen, now)) {}
        adserver::Response r = adserver::Response::text("", "text/plain", 204);
        r.delay = std::chrono::milliseconds(20);
        --*busy;
        return r;
    });
    constexpr int kStored = 60;
    platform::Value stored = platform::Value::object();
    for (int i = 0; i < kStored; ++i)
        stored[pingURL("/pagead/many?i=" + std::to_string(i))] = platform::Value{{"/ruzave/ads/retry_count", 3}};
    auto defaults = platform::UserDefaults::standard();
    defaults->set(kGroup, stored);
    defaults->set("/ruzave/ads/retry_group_keys", platform::Value::array({kGroup}));
    auto pinger = GADPinger::init();
    pinger->lockQueue()->async([pinger] { pinger->pingRetryURLs(); });
    // A second pass while the first is still sending finds everything in flight.
    pinger->lockQueue()->async([pinger] { pinger->pingRetryURLs(); });
    REQUIRE(settle([&] { return group().empty(); }));
    drain(*this, pinger);
    CHECK(server->requestCount("/pagead/many") == static_cast<std::size_t>(kStored));
    CHECK(peak->load() <= static_cast<int>(GADPinger::kMaximumConcurrentRetries));
}
