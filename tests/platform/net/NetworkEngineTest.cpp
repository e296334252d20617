#include "platform/net/NetworkEngine.h"

#include <doctest/doctest.h>
#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <mutex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "platform/net/TransferOrigin.h"
#include "platform/runloop/MainLoop.h"
#include "tests/platform/net/NetTestSupport.h"
#include "tools/adserver/SilentServer.h"

using nettest::Recorder;
using nettest::ServerFixture;

// A driver of virtual time moves the clock far only when no transfer is left: by then the end of the
// last one must be waiting on the main loop, or the clock races past an answer that is on its way.
TEST_CASE_FIXTURE(ServerFixture, "NetworkEngine: when no transfer is left the end of the last one is already queued") {
    server->route("/page", adserver::Response::text("x"));
    auto& engine = platform::NetworkEngine::shared();
    for (int i = 0; i < 20; ++i) {
        auto recorder = std::make_shared<Recorder>();
        auto connection = platform::URLConnection::create(request("/page"), recorder, platform::TransferOrigin::app());
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

Load load(const platform::URLRequest& request, platform::TransferOrigin origin = platform::TransferOrigin::app()) {
    Load l;
    l.connection = platform::URLConnection::create(request, l.recorder, origin, true);
    return l;
}

platform::TransferOrigin newPage() {
    return platform::TransferOrigin::webContent(platform::TransferOrigin::newPage());
}

bool allDone(const std::vector<Load>& loads) {
    return std::all_of(loads.begin(), loads.end(), [](const Load& l) { return l.recorder->done(); });
}

// Hosts whose connections all go to one server that never answers. After the fixture's mappings.
struct SilentHosts {
    std::unique_ptr<adserver::SilentServer> server = adserver::SilentServer::start();
    std::vector<std::string> names;

    explicit SilentHosts(std::size_t count) {
        REQUIRE(server != nullptr);
        auto config = platform::NetworkConfiguration::sharedInstance();
        for (std::size_t i = 0; i < count; ++i) {
            names.push_back("silent-" + std::to_string(i) + ".ruzave.example");
            config->addHostMapping(names.back(), 443, "127.0.0.1", server->port());
        }
    }
    platform::URLRequest request(std::size_t n) const {
        return ServerFixture::request("/hang?n=" + std::to_string(n), names[n % names.size()]);
    }
};

std::size_t openDescriptors() {
    std::filesystem::directory_iterator listing("/proc/self/fd");
    auto count = static_cast<std::size_t>(std::distance(begin(listing), end(listing)));
    return count - 1;  // the listing's own
}

// This process's TCP connections to `port` on 127.0.0.1, by state: open both ways, or closed by the
// server and not yet by us.
struct ConnectionsTo {
    int open = 0;
    int closedByPeer = 0;
};
ConnectionsTo connectionsTo(std::uint16_t port) {
    char remote[16];
    std::snprintf(remote, sizeof remote, "0100007F:%04X", static_cast<unsigned>(port));
    ConnectionsTo found;
    std::ifstream table("/proc/self/net/tcp");
    std::string line;
    std::getline(table, line);  // the column names
    while (std::getline(table, line)) {
        std::istringstream fields(line);
        std::string slot, local, peer, state;
        fields >> slot >> local >> peer >> state;
        if (peer != remote) continue;
        if (state == "01") ++found.open;         // ESTABLISHED
        if (state == "08") ++found.closedByPeer;  // CLOSE_WAIT
    }
    return found;
}

void cancelAll(std::vector<Load>& loads) {
    // The waiting ones first (the later ones), so that none of them takes a place freed meanwhile.
    for (auto l = loads.rbegin(); l != loads.rend(); ++l) l->connection->cancel();
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

    // Cancelled, waiting or not, they are gone: nothing more is heard of them, and none that waited goes out.
    cancelAll(hanging);
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

TEST_CASE_FIXTURE(HangingHosts,
                  "NetworkEngine: a request that waits its whole timeout for its host fails as timed out unsent") {
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

TEST_CASE_FIXTURE(HangingHosts,
                  "NetworkEngine: a request that waited for its host gets its whole timeout once it starts") {
    auto& engine = platform::NetworkEngine::shared();
    constexpr int PerHost = platform::NetworkEngine::MaximumTransfersPerHost;
    adserver::Response late = adserver::Response::text("late but in time");
    late.delay = std::chrono::seconds(1);
    server->route("/late", late);
    std::vector<Load> loads;
    for (int i = 0; i < PerHost; ++i) loads.push_back(load(request("/held?n=" + std::to_string(i))));
    REQUIRE(runUntil([&] { return server->requestCount("/held") == PerHost; }));

    // It waits most of its timeout; counted from its start, the server's second is well within it.
    auto patient = request("/late");
    patient.setTimeoutInterval(3.0);
    auto queued = std::chrono::steady_clock::now();
    Load waiter = load(patient);
    auto waited = [&] { return std::chrono::steady_clock::now() - queued >= std::chrono::milliseconds(2500); };
    REQUIRE(runUntil(waited));
    CHECK_FALSE(waiter.recorder->done());
    CHECK(server->requestCount("/late") == 0);
    gate->release(1);
    REQUIRE(runUntil([&] { return waiter.recorder->done(); }));
    CHECK(waiter.recorder->finishes == 1);
    CHECK(waiter.recorder->body == "late but in time");

    gate->openAll();
    REQUIRE(runUntil([&] { return engine.activeTransferCount() == 0; }));
}

TEST_CASE_FIXTURE(HangingHosts,
                  "NetworkEngine: a request finds every kept-alive connection closed by the server and goes out "
                  "on a new one") {
    auto& engine = platform::NetworkEngine::shared();
    constexpr int PerHost = platform::NetworkEngine::MaximumTransfersPerHost;
    adserver::Response drop;
    drop.fault = adserver::Fault::Drop;
    server->route("/drop", drop);

    // With no connection kept yet, one the server drops unanswered fails and is not sent again.
    Load dropped = load(request("/drop"));
    REQUIRE(runUntil([&] { return dropped.recorder->done(); }));
    REQUIRE(dropped.recorder->error.has_value());
    CHECK(dropped.recorder->error->code == platform::URLError::NetworkConnectionLost);
    REQUIRE(runUntil([&] { return engine.activeTransferCount() == 0; }));
    CHECK(server->requestCount("/drop") == 1);

    // Both sides' most under way at once, each on a connection of its own, all kept for reuse once done.
    std::vector<Load> loads;
    auto page = newPage();
    for (int i = 0; i < PerHost; ++i) {
        loads.push_back(load(request("/held?n=app" + std::to_string(i))));
        loads.push_back(load(request("/held?n=page" + std::to_string(i)), page));
    }
    REQUIRE(runUntil([&] { return server->requestCount("/held") == 2 * PerHost; }));
    gate->openAll();
    REQUIRE(runUntil([&] { return allDone(loads); }));
    for (auto& l : loads) CHECK(l.recorder->body == "passed");
    // The server closes each once idle for its keep-alive time, all within a moment.
    REQUIRE(runUntil(
        [&] {
            auto connections = connectionsTo(server->port());
            return connections.open == 0 && connections.closedByPeer >= 2 * PerHost;
        },
        30));

    Load after = load(request("/quick?n=after"));
    REQUIRE(runUntil([&] { return after.recorder->done(); }));
    CHECK(after.recorder->finishes == 1);
    CHECK(after.recorder->body == "quick");
    REQUIRE(runUntil([&] { return engine.activeTransferCount() == 0; }));
    CHECK(server->requestCount("/quick") == 1);
}

TEST_CASE_FIXTURE(HangingHosts,
                  "NetworkEngine: a page's loads never hold up the app's own requests to the same host") {
    auto& engine = platform::NetworkEngine::shared();
    constexpr int PerHost = platform::NetworkEngine::MaximumTransfersPerHost;
    // A page's loads hang, answer slowly or trickle a byte at a time, on the host the app talks to, and
    // the page asks for more than the host's places.
    adserver::Response slow = adserver::Response::text(std::string(1 << 20, 's'));
    slow.chunkBytes = 4096;
    slow.chunkDelay = std::chrono::milliseconds(500);
    server->route("/slow", slow);
    adserver::Response trickle = adserver::Response::text(std::string(1000, 't'));
    trickle.unknownLength = true;
    trickle.chunkBytes = 1;
    trickle.chunkDelay = std::chrono::milliseconds(100);
    server->route("/trickle", trickle);
    // The hanging ones last: they keep their server threads to the end.
    for (const std::string kind : {"/slow", "/trickle", "/hang"}) {
        CAPTURE(kind);
        std::vector<Load> page;
        auto origin = newPage();
        for (int i = 0; i < PerHost + 2; ++i) {
            page.push_back(load(request(kind + "?n=" + std::to_string(i)), origin));
        }
        REQUIRE(runUntil([&] { return server->requestCount(kind) == PerHost; }));

        // More app requests than the host's places: all the app's own.
        auto asked = std::chrono::steady_clock::now();
        std::vector<Load> app;
        for (int i = 0; i < PerHost + 2; ++i) app.push_back(load(request("/quick?n=" + std::to_string(i))));
        REQUIRE(runUntil([&] { return allDone(app); }));
        CHECK(std::chrono::steady_clock::now() - asked < std::chrono::seconds(5));
        for (auto& l : app) CHECK(l.recorder->body == "quick");
        CHECK(server->requestCount(kind) == PerHost);
        for (auto& l : page) CHECK_FALSE(l.recorder->done());

        cancelAll(page);
        REQUIRE(runUntil([&] { return engine.activeTransferCount() == 0; }));
    }
}

TEST_CASE_FIXTURE(ServerFixture, "NetworkEngine: pages' loads together stay under the process's descriptor limit "
                                 "and leave the app its reserve") {
    // A phone's limit, set before the engine first runs, which reads it then.
    rlimit descriptors{};
    REQUIRE(getrlimit(RLIMIT_NOFILE, &descriptors) == 0);
    REQUIRE(descriptors.rlim_max >= 256);
    descriptors.rlim_cur = 256;
    REQUIRE(setrlimit(RLIMIT_NOFILE, &descriptors) == 0);
    auto& engine = platform::NetworkEngine::shared();
    const auto limits = engine.limits();
    CHECK(limits.descriptorLimit == 256);
    CHECK(limits.appDescriptors >= 48);
    CHECK(platform::NetworkEngine::limitsFor(1024).webContentTransfers == 256);

    server->route("/quick", adserver::Response::text("quick"));
    // Twelve pages, each with 128 loads spread over many hosts that never answer: far more places by host
    // than descriptors.
    SilentHosts silent(64);
    const std::size_t before = openDescriptors();
    std::vector<Load> pages;
    for (int page = 0; page < 12; ++page) {
        auto origin = newPage();
        for (std::size_t i = 0; i < 128; ++i) pages.push_back(load(silent.request(page * 128 + i), origin));
    }
    REQUIRE(runUntil([&] { return silent.server->waitingConnections() >= limits.webContentTransfers; }));
    // By the time the app's requests have ended, more connections would have come.
    std::vector<Load> app;
    for (int i = 0; i < 8; ++i) app.push_back(load(request("/quick?n=" + std::to_string(i))));
    REQUIRE(runUntil([&] { return allDone(app); }));
    for (auto& l : app) CHECK(l.recorder->body == "quick");
    CHECK(silent.server->waitingConnections() == limits.webContentTransfers);
    // Waiting costs nothing; under way, a socket each, and curl's idle cache at most besides.
    const std::size_t held = openDescriptors();
    CHECK(held <= before + limits.webContentTransfers + limits.idleConnections);
    CHECK(held + limits.appDescriptors <= limits.descriptorLimit);
    for (auto& l : pages) CHECK_FALSE(l.recorder->done());

    cancelAll(pages);
    REQUIRE(runUntil([&] { return engine.activeTransferCount() == 0; }));
}

TEST_CASE_FIXTURE(ServerFixture,
                  "NetworkEngine: a page with hundreds of loads waiting does not shut out other pages") {
    auto& engine = platform::NetworkEngine::shared();
    const std::size_t cap = engine.limits().webContentTransfers;
    server->route("/quick", adserver::Response::text("quick"));
    // The first page fills web content's room with loads that hang and has hundreds more waiting.
    SilentHosts silent(cap / platform::NetworkEngine::MaximumTransfersPerHost + 8);
    std::vector<Load> greedy;
    auto greedyPage = newPage();
    for (std::size_t i = 0; i < cap + 300; ++i) greedy.push_back(load(silent.request(i), greedyPage));
    REQUIRE(runUntil([&] { return silent.server->waitingConnections() == cap; }));

    // Two more pages ask for two loads each; an app request after them makes sure the engine has them.
    auto pageB = newPage();
    auto pageC = newPage();
    std::vector<Load> others;
    for (const std::string name : {"b1", "b2"}) others.push_back(load(request("/quick?n=" + name), pageB));
    for (const std::string name : {"c1", "c2"}) others.push_back(load(request("/quick?n=" + name), pageC));
    Load app = load(request("/quick?n=app"));
    REQUIRE(runUntil([&] { return app.recorder->done(); }));
    CHECK(server->requestCount("/quick") == 1);

    // One place frees: it goes to the pages with none under way, and among them in turn, before the
    // first page has another.
    REQUIRE(silent.server->dropOne());
    REQUIRE(runUntil([&] { return allDone(others); }));
    std::vector<std::string> order;
    for (const auto& r : server->requests("/quick")) order.push_back(r.param("n"));
    CHECK(order == std::vector<std::string>{"app", "b1", "c1", "b2", "c2"});
    for (auto& l : others) CHECK(l.recorder->body == "quick");
    // Then the first page has its place back.
    REQUIRE(runUntil([&] { return silent.server->waitingConnections() == cap; }));
    CHECK(std::count_if(greedy.begin(), greedy.end(), [](const Load& l) { return l.recorder->done(); }) == 1);

    cancelAll(greedy);
    REQUIRE(runUntil([&] { return engine.activeTransferCount() == 0; }));
}
