#include "platform/net/NetworkEngine.h"

#include <doctest/doctest.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/runloop/MainLoop.h"
#include "tests/platform/net/NetTestSupport.h"

using nettest::Recorder;
using nettest::ServerFixture;

// A driver of virtual time moves the clock far only when no transfer is left: by then the end of the
// last one must be waiting on the main loop, or the clock races past an answer that is on its way.
TEST_CASE_FIXTURE(ServerFixture, "NetworkEngine: when no transfer is left the end of the last one is already queued") {
    server->route("/page", adserver::Response::text("x"));
    auto& engine = platform::NetworkEngine::shared();
    for (int i = 0; i < 20; ++i) {
        auto recorder = std::make_shared<Recorder>();
        auto connection = platform::URLConnection::create(request("/page"), recorder);
        REQUIRE(runUntil([&] { return engine.activeTransferCount() > 0 || recorder->done(); }));
        // Without the main loop: only the network thread moves.
        auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (engine.activeTransferCount() > 0 && std::chrono::steady_clock::now() < deadline) std::this_thread::yield();
        REQUIRE(engine.activeTransferCount() == 0);
        runUntilIdle();
        CHECK(recorder->finishes == 1);
    }
}

namespace {

const char* const DeadHostA = "dead-a.ruzave.example";
const char* const DeadHostB = "dead-b.ruzave.example";

// Holds each request it is asked until the test lets it go, counting how many it holds at once.
struct Gate {
    std::mutex mutex;
    std::condition_variable changed;
    int tokens = 0;  // requests that may go
    bool open = false;
    int held = 0;
    int mostHeld = 0;

    adserver::Response pass() {
        std::unique_lock lock(mutex);
        mostHeld = std::max(mostHeld, ++held);
        // Bounded, so that a failing test cannot keep the server from stopping.
        changed.wait_for(lock, std::chrono::seconds(30), [this] { return open || tokens > 0; });
        if (!open && tokens > 0) --tokens;
        --held;
        return adserver::Response::text("passed");
    }
    void release(int count) {
        std::lock_guard lock(mutex);
        tokens += count;
        changed.notify_all();
    }
    void openAll() {
        std::lock_guard lock(mutex);
        open = true;
        changed.notify_all();
    }
    int most() {
        std::lock_guard lock(mutex);
        return mostHeld;
    }
};

struct HangingHosts : ServerFixture {
    std::shared_ptr<Gate> gate = std::make_shared<Gate>();

    HangingHosts() : ServerFixture(std::vector<std::string>{DeadHostA, DeadHostB}) {
        adserver::Response hang = adserver::Response::text("late");
        hang.delay = std::chrono::seconds(60);  // cut short when the server stops
        server->route("/hang", hang);
        server->route("/quick", adserver::Response::text("quick"));
        server->route("/held", [gate = gate](const adserver::Request&) { return gate->pass(); });
    }
    ~HangingHosts() { gate->openAll(); }

    std::size_t requestsFrom(const std::string& path, const std::string& host) const {
        auto logged = server->requests(path);
        return static_cast<std::size_t>(
            std::count_if(logged.begin(), logged.end(), [&](const adserver::Request& r) { return r.host == host; }));
    }
};

struct Load {
    std::shared_ptr<Recorder> recorder = std::make_shared<Recorder>();
    std::shared_ptr<platform::URLConnection> connection;
};

Load load(const platform::URLRequest& request) {
    Load l;
    l.connection = platform::URLConnection::create(request, l.recorder);
    return l;
}

} // namespace

TEST_CASE_FIXTURE(HangingHosts, "NetworkEngine: a host that hangs holds only its own transfers") {
    auto& engine = platform::NetworkEngine::shared();
    constexpr int PerHost = platform::NetworkEngine::MaximumTransfersPerHost;
    // Two hosts (mapped to the same address as every other) that never answer, each asked more than it may
    // serve at once.
    std::vector<Load> hanging;
    for (int i = 0; i < PerHost + 2; ++i) {
        hanging.push_back(load(request("/hang?n=" + std::to_string(i), DeadHostA)));
        hanging.push_back(load(request("/hang?n=" + std::to_string(i), DeadHostB)));
    }
    REQUIRE(runUntil([&] { return server->requestCount("/hang") == 2 * PerHost; }));

    // Another host's request goes out at once and ends long before the hanging ones would.
    Load quick = load(request("/quick"));
    REQUIRE(runUntil([&] { return quick.recorder->done(); }));
    CHECK(quick.recorder->body == "quick");
    CHECK(requestsFrom("/hang", DeadHostA) == PerHost);
    CHECK(requestsFrom("/hang", DeadHostB) == PerHost);

    // Cancelled, waiting or not, they are gone: nothing more is heard of them. The waiting ones go first,
    // so that none of them is still queued when a place frees up, and none goes out.
    for (auto l = hanging.rbegin(); l != hanging.rend(); ++l) l->connection->cancel();
    REQUIRE(runUntil([&] { return engine.activeTransferCount() == 0; }));
    runUntilIdle();
    for (auto& l : hanging) CHECK_FALSE(l.recorder->done());
    CHECK(server->requestCount("/hang") == 2 * PerHost);
}

TEST_CASE_FIXTURE(HangingHosts, "NetworkEngine: a host's seventh transfer waits until one of its first six ends") {
    auto& engine = platform::NetworkEngine::shared();
    constexpr int PerHost = platform::NetworkEngine::MaximumTransfersPerHost;
    std::vector<Load> loads;
    for (int i = 0; i < PerHost + 2; ++i) loads.push_back(load(request("/held?n=" + std::to_string(i))));
    REQUIRE(runUntil([&] { return server->requestCount("/held") == PerHost; }));
    // By the time a later request of another host has ended, a seventh of this one would have come.
    Load other = load(request("/quick", nettest::OtherHost));
    REQUIRE(runUntil([&] { return other.recorder->done(); }));
    CHECK(server->requestCount("/held") == PerHost);

    // The first waiting one is cancelled: it never goes out, and the one behind it takes the free place.
    loads[PerHost].connection->cancel();
    REQUIRE(runUntil([&] { return engine.activeTransferCount() == PerHost + 1; }));
    gate->release(1);
    REQUIRE(runUntil([&] { return server->requestCount("/held") == PerHost + 1; }));
    CHECK(server->requests("/held").back().param("n") == std::to_string(PerHost + 1));

    gate->openAll();
    REQUIRE(runUntil([&] { return engine.activeTransferCount() == 0; }));
    runUntilIdle();
    for (int i = 0; i < PerHost + 2; ++i) {
        CAPTURE(i);
        if (i == PerHost) {
            CHECK_FALSE(loads[i].recorder->done());
        } else {
            CHECK(loads[i].recorder->finishes == 1);
            CHECK(loads[i].recorder->body == "passed");
        }
    }
    CHECK(server->requestCount("/held") == PerHost + 1);
    CHECK(gate->most() == PerHost);
}

TEST_CASE_FIXTURE(HangingHosts, "NetworkEngine: a transfer waiting for its host times out as one under way would") {
    auto& engine = platform::NetworkEngine::shared();
    constexpr int PerHost = platform::NetworkEngine::MaximumTransfersPerHost;
    std::vector<Load> loads;
    for (int i = 0; i < PerHost; ++i) loads.push_back(load(request("/held?n=" + std::to_string(i))));
    REQUIRE(runUntil([&] { return server->requestCount("/held") == PerHost; }));

    auto impatient = request("/held?n=late");
    impatient.setTimeoutInterval(0.3);
    Load late = load(impatient);
    Load patient = load(request("/held?n=patient"));
    REQUIRE(runUntil([&] { return late.recorder->done(); }));
    REQUIRE(late.recorder->error.has_value());
    CHECK(late.recorder->error->code == platform::URLError::TimedOut);
    CHECK(server->requestCount("/held") == PerHost);

    // The one behind it still has its turn.
    gate->release(1);
    REQUIRE(runUntil([&] { return server->requestCount("/held") == PerHost + 1; }));
    CHECK(server->requests("/held").back().param("n") == "patient");
    gate->openAll();
    REQUIRE(runUntil([&] { return engine.activeTransferCount() == 0; }));
    runUntilIdle();
    CHECK(patient.recorder->finishes == 1);
    CHECK(late.recorder->failures == 1);
}
