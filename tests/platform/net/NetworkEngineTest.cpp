#include "platform/net/NetworkEngine.h"

#include <doctest/doctest.h>
#include <poll.h>
#include <sys/resource.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "platform/net/TransferOrigin.h"
#include "platform/runloop/MainLoop.h"
#include "tests/platform/net/NetTestSupport.h"
#include "tools/adserver/LoopbackListener.h"
#include "tools/adserver/SilentServer.h"
#include "tools/adserver/TrickleServer.h"

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
    return platform::TransferOrigin::webContent(platform::TransferOrigin::newId());
}

bool allDone(const std::vector<Load>& loads) {
    return std::all_of(loads.begin(), loads.end(), [](const Load& l) { return l.recorder->done(); });
}

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

    // A host's whole six answered together: six connections kept alive for the next request to reuse
    // (the server keeps them two seconds). `held` counts the held requests so far.
    void keepSixConnectionsAlive(int& held) {
        constexpr int PerHost = platform::NetworkEngine::MaximumTransfersPerHost;
        std::vector<Load> warm;
        for (int i = 0; i < PerHost; ++i) warm.push_back(load(request("/held?n=" + std::to_string(held + i))));
        held += PerHost;
        REQUIRE(runUntil([&] { return server->requestCount("/held") == static_cast<std::size_t>(held); }));
        gate->release(PerHost);
        REQUIRE(runUntil([&] { return allDone(warm); }));
    }

    // The origin a request of `kind` goes with: the app's, a new page's load, or a new page's ping of
    // `bytes`, admitted into `id`.
    static platform::TransferOrigin originFor(const std::string& kind, std::size_t bytes,
                                              platform::PingScheduler::PingId& id) {
        if (kind == "app") return platform::TransferOrigin::app();
        auto origin = newPage();
        if (kind != "ping") return origin;
        id = platform::NetworkEngine::shared().admitPing(origin, bytes);
        REQUIRE(id != 0);
        return origin.ping(id);
    }
};

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

// Pages' loads on hosts that never answer, each page on hosts of its own with room for `loads` of them,
// so that no page waits for a host another holds.
struct SilentPages {
    static constexpr std::size_t PerHost = platform::NetworkEngine::MaximumTransfersPerHost;
    const std::size_t loads;
    const std::size_t hostsPerPage = (loads + PerHost - 1) / PerHost;
    SilentHosts hosts;
    std::size_t pages = 0;

    SilentPages(std::size_t pageCount, std::size_t loadsPerPage)
        : loads(loadsPerPage), hosts(pageCount * hostsPerPage) {}
    // A new page's loads.
    void add(std::vector<Load>& into) {
        REQUIRE(pages * hostsPerPage < hosts.names.size());
        auto origin = newPage();
        for (std::size_t i = 0; i < loads; ++i) {
            into.push_back(load(hosts.request(pages * hostsPerPage + i % hostsPerPage), origin));
        }
        ++pages;
    }
    std::size_t connections() const { return hosts.server->waitingConnections(); }
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
    adserver::Response trickle = adserver::Response::text(std::string(1000, 't'), "image/png");
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
    // Pages that already load leave the new pages' reserve free, so when all twelve have loads under way
    // before it is taken (as they do on a slow machine), that much stays free.
    const std::size_t filled = limits.webContentTransfers - limits.newDocumentReserve;
    REQUIRE(runUntil([&] { return silent.server->waitingConnections() >= filled; }));
    runUntil([] { return false; }, 0.5);  // whatever else was to start has
    // By the time the app's requests have ended, more connections would have come.
    std::vector<Load> app;
    for (int i = 0; i < 8; ++i) app.push_back(load(request("/quick?n=" + std::to_string(i))));
    REQUIRE(runUntil([&] { return allDone(app); }));
    for (auto& l : app) CHECK(l.recorder->body == "quick");
    // The listener counts connections its client closed too (loads that gave their place to another page).
    CHECK(silent.server->waitingConnections() >= filled);
    // Waiting costs nothing; under way, a socket each, and curl's idle cache at most besides.
    const std::size_t held = openDescriptors();
    CHECK(held <= before + limits.webContentTransfers + limits.idleConnections);
    CHECK(held + limits.appDescriptors <= limits.descriptorLimit);
    for (auto& l : pages) CHECK_FALSE(l.recorder->done());

    cancelAll(pages);
    REQUIRE(runUntil([&] { return engine.activeTransferCount() == 0; }));
}

TEST_CASE_FIXTURE(ServerFixture, "NetworkEngine: the app's side stays within its share of the descriptor limit") {
    // A phone's low limit, set before the engine first runs, which reads it then.
    rlimit descriptors{};
    REQUIRE(getrlimit(RLIMIT_NOFILE, &descriptors) == 0);
    REQUIRE(descriptors.rlim_max >= 128);
    descriptors.rlim_cur = 128;
    REQUIRE(setrlimit(RLIMIT_NOFILE, &descriptors) == 0);
    auto& engine = platform::NetworkEngine::shared();
    const auto limits = engine.limits();
    REQUIRE(limits.descriptorLimit == 128);
    const std::size_t cap = limits.appTransfers;
    CHECK(cap == platform::NetworkEngine::limitsFor(128).appTransfers);
    CHECK(cap >= static_cast<std::size_t>(platform::NetworkEngine::MaximumTransfersPerHost));
    server->route("/quick", adserver::Response::text("quick"));

    // Far more app requests than the limit has descriptors, to hosts that never answer, each host asked
    // no more than it may serve at once.
    SilentHosts silent(60);
    const std::size_t before = openDescriptors();
    std::vector<Load> hanging;
    for (std::size_t i = 0; i < 300; ++i) hanging.push_back(load(silent.request(i)));
    REQUIRE(runUntil([&] { return silent.server->waitingConnections() >= cap; }));

    // One more waits behind them all its timeout and fails unsent; by then more connections would have come.
    auto impatient = request("/quick?n=app");
    impatient.setTimeoutInterval(1.0);
    Load late = load(impatient);
    REQUIRE(runUntil([&] { return late.recorder->done(); }));
    REQUIRE(late.recorder->error.has_value());
    CHECK(late.recorder->error->code == platform::URLError::TimedOut);
    CHECK(server->requestCount("/quick") == 0);
    CHECK(silent.server->waitingConnections() == cap);
    for (auto& l : hanging) CHECK_FALSE(l.recorder->done());

    // The process's own files still open, and web content still has its own places.
    const std::size_t held = openDescriptors();
    CHECK(held <= before + limits.appDescriptors);
    std::FILE* file = std::tmpfile();
    CHECK(file != nullptr);
    if (file != nullptr) std::fclose(file);
    Load page = load(request("/quick?n=page"), newPage());
    REQUIRE(runUntil([&] { return page.recorder->done(); }));
    CHECK(page.recorder->body == "quick");

    cancelAll(hanging);
    REQUIRE(runUntil([&] { return engine.activeTransferCount() == 0; }));
}

TEST_CASE_FIXTURE(ServerFixture, "NetworkEngine: a page with nothing under way gets a place while other pages hold "
                                 "every place with hanging loads") {
    auto& engine = platform::NetworkEngine::shared();
    const auto limits = engine.limits();
    const std::size_t share = limits.documentTransfers;
    const std::size_t half = limits.webContentTransfers / 2;
    REQUIRE(half >= 2 * share);
    server->route("/quick", adserver::Response::text("quick"));
    SilentPages silent(limits.webContentTransfers / share, 128);
    std::vector<Load> greedy;
    // A page alone goes past its share, up to half of web content's places.
    silent.add(greedy);
    std::size_t held = std::min<std::size_t>(128, half);
    REQUIRE(runUntil([&] { return silent.connections() >= held; }));
    // Pages that come after it hold their share each, until too little is left for another share.
    while (limits.webContentTransfers - held > share) {
        silent.add(greedy);
        held += share;
        REQUIRE(runUntil([&] { return silent.connections() >= held; }));
    }

    // Nothing frees, and a new page's load is answered.
    Load fresh = load(request("/quick?n=fresh"), newPage());
    REQUIRE(runUntil([&] { return fresh.recorder->done(); }));
    CHECK(fresh.recorder->body == "quick");
    // No page went past what it may hold meanwhile.
    CHECK(silent.connections() == held);
    for (auto& l : greedy) CHECK_FALSE(l.recorder->done());

    cancelAll(greedy);
    REQUIRE(runUntil([&] { return engine.activeTransferCount() == 0; }));
}

// Pages with something under way leave the last places to pages with none: those start their first load
// there while the others' loads, still connecting, keep every other place.
TEST_CASE_FIXTURE(ServerFixture,
                  "NetworkEngine: when pages hold every place but the new pages' reserve, each new page's first load "
                  "goes out there and the others' loads still connecting keep theirs") {
    auto& engine = platform::NetworkEngine::shared();
    const auto limits = engine.limits();
    const std::size_t cap = limits.webContentTransfers;
    const std::size_t share = limits.documentTransfers;
    server->route("/quick", adserver::Response::text("quick"));
    // Enough pages to fill web content's room with loads that hang, each with more waiting.
    const std::size_t greedyPages = (cap + share - 1) / share;
    SilentPages silent(greedyPages, share + 20);
    std::vector<Load> greedy;
    for (std::size_t page = 0; page < greedyPages; ++page) silent.add(greedy);
    REQUIRE(runUntil([&] { return silent.connections() >= cap - limits.newDocumentReserve; }));

    // Two more pages ask for two loads each: the first of each goes out on the reserve with nothing freed,
    // the second waits, as they now have one under way.
    auto pageB = newPage();
    auto pageC = newPage();
    std::vector<Load> others;
    for (const std::string name : {"b1", "b2"}) others.push_back(load(request("/quick?n=" + name), pageB));
    for (const std::string name : {"c1", "c2"}) others.push_back(load(request("/quick?n=" + name), pageC));
    REQUIRE(runUntil([&] { return others[0].recorder->done() && others[2].recorder->done(); }));
    CHECK(others[0].recorder->body == "quick");
    CHECK(others[2].recorder->body == "quick");
    // No load gave its place for them: the pages' loads, never written, keep theirs and none fails.
    for (auto& l : greedy) CHECK_FALSE(l.recorder->done());

    cancelAll(greedy);
    REQUIRE(runUntil([&] { return allDone(others); }));
    for (auto& l : others) CHECK(l.recorder->body == "quick");
    REQUIRE(runUntil([&] { return engine.activeTransferCount() == 0; }));
}

TEST_CASE_FIXTURE(HangingHosts, "NetworkEngine: a request with a body is never sent twice") {
    auto& engine = platform::NetworkEngine::shared();
    adserver::Response drop;
    drop.fault = adserver::Fault::Drop;
    server->route("/drop", drop);
    // Drops the first copy it reads of each request, answers the next.
    auto heard = std::make_shared<std::mutex>();
    auto seen = std::make_shared<std::set<std::string>>();
    server->route("/drop-first", [heard, seen](const adserver::Request& r) {
        std::lock_guard lock(*heard);
        adserver::Response answer = adserver::Response::text("answered");
        if (seen->insert(r.param("n")).second) answer.fault = adserver::Fault::Drop;
        return answer;
    });
    int held = 0;
    // Each request goes out right after a host's whole six have ended, so that their connections are
    // kept alive for it to reuse (the server keeps them two seconds).
    auto sendBesideKeptConnections = [&](const std::string& method, const std::string& body, const std::string& path) {
        keepSixConnectionsAlive(held);
        auto r = request(path);
        r.setHTTPMethod(method);
        if (!body.empty()) r.setHTTPBody(std::string_view(body));
        Load sent = load(r);
        REQUIRE(runUntil([&] { return sent.recorder->done() && engine.activeTransferCount() == 0; }));
        runUntilIdle();
        return sent;
    };

    struct Case {
        std::string method;
        std::string body;
    };
    // A body, whatever the method, and methods that are not idempotent even without one: read once,
    // failed when dropped.
    for (const Case& c : {Case{"POST", "a=1"}, Case{"POST", ""}, Case{"PATCH", "a=1"}, Case{"PUT", "a=1"},
                          Case{"DELETE", "a=1"}}) {
        CAPTURE(c.method);
        CAPTURE(c.body);
        const std::string path = "/drop?n=" + c.method + c.body;
        std::size_t before = server->requestCount("/drop");
        Load sent = sendBesideKeptConnections(c.method, c.body, path);
        CHECK(server->requestCount("/drop") == before + 1);
        CHECK(server->requests("/drop").back().method == c.method);
        CHECK(server->requests("/drop").back().body == c.body);
        REQUIRE(sent.recorder->error.has_value());
        CHECK(sent.recorder->error->code == platform::URLError::NetworkConnectionLost);
        CHECK(sent.recorder->failures == 1);
    }
    // Without a body, an idempotent request dropped on a kept connection is sent once more and answered.
    for (const std::string method : {"GET", "DELETE"}) {
        CAPTURE(method);
        Load sent = sendBesideKeptConnections(method, "", "/drop-first?n=" + method);
        auto copies = server->requests("/drop-first");
        CHECK(std::count_if(copies.begin(), copies.end(), [&](const adserver::Request& r) {
                  return r.param("n") == method;
              }) == 2);
        CHECK(sent.recorder->finishes == 1);
        CHECK(sent.recorder->body == "answered");
    }
}

TEST_CASE("NetworkEngine: limitsFor keeps the app six places and web content one at low limits, all within the "
          "limit") {
    using platform::NetworkEngine;
    constexpr std::size_t PerHost = NetworkEngine::MaximumTransfersPerHost;
    constexpr std::size_t AtWorst = NetworkEngine::DescriptorsPerTransferAtWorst;
    for (std::size_t limit = 15; limit <= 5000; ++limit) {
        CAPTURE(limit);
        const auto l = NetworkEngine::limitsFor(limit);
        CHECK(l.descriptorLimit == limit);
        CHECK(l.appTransfers >= PerHost);
        CHECK(l.webContentTransfers >= 1);
        CHECK(l.webContentTransfers <= NetworkEngine::MaximumWebContentTransfers);
        CHECK(l.documentTransfers >= 1);
        CHECK(l.documentTransfers <= l.webContentTransfers);
        CHECK(l.appTransfers * AtWorst <= l.appDescriptors);
        CHECK(l.reservedDescriptors + l.idleConnections + l.webContentTransfers * AtWorst + l.appDescriptors <= limit);
        // Web content gives way to the app only at low limits, and the reserve only at the lowest.
        if (limit >= 64) CHECK(l.webContentTransfers >= PerHost);
        if (limit >= 35) CHECK(l.reservedDescriptors == std::min(NetworkEngine::ReservedDescriptors, limit / 2));
        if (limit >= 128) CHECK(l.reservedDescriptors == NetworkEngine::ReservedDescriptors);
        if (l.webContentTransfers >= 8 * PerHost) CHECK(l.documentTransfers == l.webContentTransfers / 8);
    }
    // The figures the header gives.
    struct Row {
        std::size_t limit, reserved, idle, web, page, app;
    };
    for (const Row& row : {Row{64, 32, 8, 6, 6, 6}, Row{128, 64, 16, 16, 6, 8}, Row{256, 64, 32, 53, 6, 27},
                           Row{1024, 64, 32, 256, 32, 208}}) {
        CAPTURE(row.limit);
        const auto l = NetworkEngine::limitsFor(row.limit);
        CHECK(l.reservedDescriptors == row.reserved);
        CHECK(l.idleConnections == row.idle);
        CHECK(l.webContentTransfers == row.web);
        CHECK(l.documentTransfers == row.page);
        CHECK(l.appTransfers == row.app);
    }
}

namespace {

// Hosts, over plain HTTP, whose loads each bring a byte a second, forever.
struct TricklingHosts {
    std::unique_ptr<adserver::TrickleServer> server = adserver::TrickleServer::start(std::chrono::seconds(1));
    std::vector<std::string> names;

    explicit TricklingHosts(std::size_t count) {
        REQUIRE(server != nullptr);
        auto config = platform::NetworkConfiguration::sharedInstance();
        for (std::size_t i = 0; i < count; ++i) {
            names.push_back("trickle-" + std::to_string(i) + ".ruzave.example");
            config->addHostMapping(names.back(), 80, "127.0.0.1", server->port());
        }
    }
    platform::URLRequest request(std::size_t n) const {
        auto r = platform::URLRequest::withURLString("http://" + names[n % names.size()] + "/t?n=" + std::to_string(n));
        REQUIRE(r.has_value());
        return *r;
    }
};

} // namespace

TEST_CASE_FIXTURE(HangingHosts, "NetworkEngine: a page's hanging or trickling loads on a host never hold another "
                                "page's loads there") {
    auto& engine = platform::NetworkEngine::shared();
    constexpr int PerHost = platform::NetworkEngine::MaximumTransfersPerHost;
    adserver::Response trickle = adserver::Response::text(std::string(1000, 't'), "image/png");
    trickle.unknownLength = true;
    trickle.chunkBytes = 1;
    trickle.chunkDelay = std::chrono::milliseconds(100);
    server->route("/trickle", trickle);
    for (const std::string kind : {"/trickle", "/hang"}) {
        CAPTURE(kind);
        std::vector<Load> hostile;
        auto origin = newPage();
        for (int i = 0; i < PerHost + 2; ++i) hostile.push_back(load(request(kind + "?n=" + std::to_string(i)), origin));
        REQUIRE(runUntil([&] { return server->requestCount(kind) == PerHost; }));

        // Another page asks the same host for more than its places: all answered, none behind the first's.
        auto asked = std::chrono::steady_clock::now();
        std::vector<Load> other;
        auto otherPage = newPage();
        for (int i = 0; i < PerHost + 2; ++i) other.push_back(load(request("/quick?n=" + std::to_string(i)), otherPage));
        REQUIRE(runUntil([&] { return allDone(other); }));
        CHECK(std::chrono::steady_clock::now() - asked < std::chrono::seconds(5));
        for (auto& l : other) CHECK(l.recorder->body == "quick");
        // The first page still has only its own six.
        CHECK(server->requestCount(kind) == PerHost);
        for (auto& l : hostile) CHECK_FALSE(l.recorder->done());

        cancelAll(hostile);
        REQUIRE(runUntil([&] { return engine.activeTransferCount() == 0; }));
    }
}

TEST_CASE_FIXTURE(ServerFixture, "NetworkEngine: a page's load that trickles gives its place back") {
    auto& engine = platform::NetworkEngine::shared();
    constexpr int PerHost = platform::NetworkEngine::MaximumTransfersPerHost;
    TricklingHosts trickling(1);
    auto page = newPage();
    std::vector<Load> trickles;
    for (int i = 0; i < PerHost + 1; ++i) trickles.push_back(load(trickling.request(i), page));
    REQUIRE(runUntil([&] { return trickling.server->requestCount() == PerHost; }));

    // The six fail within a window and a little; the seventh then goes out.
    REQUIRE(runUntil([&] { return trickles[0].recorder->done(); },
                     platform::NetworkEngine::WebContentRateWindowSeconds + 10));
    for (int i = 0; i < PerHost; ++i) {
        CAPTURE(i);
        REQUIRE(runUntil([&] { return trickles[i].recorder->done(); }, 5));
        REQUIRE(trickles[i].recorder->error.has_value());
        CHECK(trickles[i].recorder->error->code == platform::URLError::TimedOut);
    }
    REQUIRE(runUntil([&] { return trickling.server->requestCount() == PerHost + 1; }, 5));
    trickles.back().connection->cancel();
    REQUIRE(runUntil([&] { return engine.activeTransferCount() == 0; }));
}

// The least rate is far below a slow network's: a load that keeps moving at three times it (an image on a
// poor phone network) outlasts several windows and completes, while one beside it on the same host that
// brings a byte at a time gives its place back.
TEST_CASE_FIXTURE(ServerFixture, "NetworkEngine: a page's slow but moving load keeps its place and completes, and a "
                                 "trickle beside it does not") {
    auto& engine = platform::NetworkEngine::shared();
    constexpr std::size_t PerWindow = platform::NetworkEngine::MinimumWebContentBytesPerWindow;
    constexpr int Window = platform::NetworkEngine::WebContentRateWindowSeconds;
    // An image type, so that the server streams the pieces as they are paced rather than compressing
    // them all together to the end.
    constexpr std::size_t Piece = 24;
    const auto pause = std::chrono::milliseconds(100);
    static_assert(Piece * 10 * Window >= 3 * PerWindow);
    adserver::Response moving = adserver::Response::text(std::string(Piece * 10 * (Window + 5), 'm'), "image/png");
    moving.chunkBytes = Piece;
    moving.chunkDelay = pause;
    adserver::Response trickle = adserver::Response::text(std::string(PerWindow, 't'), "image/png");
    trickle.unknownLength = true;
    trickle.chunkBytes = 1;
    trickle.chunkDelay = pause;
    server->route("/moving", moving);
    server->route("/trickle", trickle);
    for (bool chunked : {true, false}) {
        CAPTURE(chunked);
        moving.unknownLength = chunked;
        server->route("/moving", moving);
        auto page = newPage();
        Load slow = load(request("/moving"), page);
        Load dribble = load(request("/trickle"), page);
        REQUIRE(runUntil([&] { return slow.recorder->done() && dribble.recorder->done(); }, 3 * Window));
        CHECK(slow.recorder->failures == 0);
        CHECK(slow.recorder->body == moving.body);
        REQUIRE(dribble.recorder->error.has_value());
        CHECK(dribble.recorder->error->code == platform::URLError::TimedOut);
        CHECK(dribble.recorder->body.size() < PerWindow);
        REQUIRE(runUntil([&] { return engine.activeTransferCount() == 0; }));
    }
}

namespace {
// Answers each connection's request with `head` at once and its five-byte body `bodyAfter` later, from
// a thread of its own; stops (closing what it holds) when it goes.
class EarlyHeadServer {
public:
    EarlyHeadServer(std::string head, std::chrono::seconds bodyAfter) : head_(std::move(head)), bodyAfter_(bodyAfter) {
        fd_ = adserver::listenOnLoopback(port_);
        REQUIRE(fd_ >= 0);
        thread_ = std::thread([this] { run(); });
    }
    ~EarlyHeadServer() {
        {
            std::lock_guard lock(mutex_);
            stopping_ = true;
        }
        changed_.notify_all();
        thread_.join();
        ::close(fd_);
    }
    std::uint16_t port() const { return port_; }

private:
    void run() {
        std::vector<int> clients;
        std::unique_lock lock(mutex_);
        std::optional<std::chrono::steady_clock::time_point> bodyAt;
        while (!stopping_) {
            lock.unlock();
            int client = ::accept4(fd_, nullptr, nullptr, SOCK_CLOEXEC);
            if (client >= 0) {
                char buffer[4096];
                std::string request;
                while (request.find("\r\n\r\n") == std::string::npos) {
                    ssize_t n = ::recv(client, buffer, sizeof buffer, 0);
                    if (n <= 0) break;
                    request.append(buffer, static_cast<std::size_t>(n));
                }
                (void)!::send(client, head_.data(), head_.size(), MSG_NOSIGNAL);
                clients.push_back(client);
                bodyAt = std::chrono::steady_clock::now() + bodyAfter_;
            }
            lock.lock();
            if (bodyAt && std::chrono::steady_clock::now() >= *bodyAt) {
                for (int c : clients) (void)!::send(c, "early", 5, MSG_NOSIGNAL);
                bodyAt.reset();
            }
            changed_.wait_for(lock, std::chrono::milliseconds(50));
        }
        for (int c : clients) ::close(c);
    }

    std::string head_;
    std::chrono::seconds bodyAfter_;
    int fd_ = -1;
    std::uint16_t port_ = 0;
    std::thread thread_;
    std::mutex mutex_;
    std::condition_variable changed_;
    bool stopping_ = false;
};
} // namespace

// The least rate is of a body under way: an interim head, or a final head sent ahead of a body the server
// is still making, starts no window.
TEST_CASE_FIXTURE(ServerFixture, "NetworkEngine: an answer whose 103 or 200 head comes at once and whose body comes "
                                 "at 17 s completes as web content") {
    constexpr int BodyAfter = platform::NetworkEngine::WebContentRateWindowSeconds + 2;
    EarlyHeadServer interim("HTTP/1.1 103 Early Hints\r\nLink: </style.css>; rel=preload\r\n\r\n"
                            "HTTP/1.1 200 OK\r\nContent-Length: 5\r\n\r\n",
                            std::chrono::seconds(BodyAfter));
    EarlyHeadServer final("HTTP/1.1 200 OK\r\nContent-Length: 5\r\n\r\n", std::chrono::seconds(BodyAfter));
    auto config = platform::NetworkConfiguration::sharedInstance();
    config->addHostMapping("interim.ruzave.example", 80, "127.0.0.1", interim.port());
    config->addHostMapping("final.ruzave.example", 80, "127.0.0.1", final.port());
    auto page = newPage();
    std::vector<Load> loads;
    for (const char* host : {"interim", "final"}) {
        auto r = platform::URLRequest::withURLString(std::string("http://") + host + ".ruzave.example/late");
        REQUIRE(r.has_value());
        loads.push_back(load(*r, page));
    }
    REQUIRE(runUntil([&] { return allDone(loads); }, 3 * BodyAfter));
    for (const auto& l : loads) {
        CHECK(l.recorder->failures == 0);
        CHECK(l.recorder->body == "early");
    }
}

// A server may close a kept-alive connection the moment it has read a request. The network library sends
// web content's request once more when that happens, as a browser does, but never a third time, however
// many kept connections it could try: a page's ping or load the server keeps dropping fails. The app's own
// request beside them shows the connections were there to try.
TEST_CASE_FIXTURE(HangingHosts, "NetworkEngine: a page's ping or load that a server drops on kept-alive connections "
                                "is read at most twice and fails") {
    auto& engine = platform::NetworkEngine::shared();
    adserver::Response drop;
    drop.fault = adserver::Fault::Drop;
    server->route("/drop", drop);
    int held = 0;
    for (const std::string kind : {"ping", "load", "app"}) {
        CAPTURE(kind);
        keepSixConnectionsAlive(held);
        const std::string target = "/drop?n=" + kind;
        platform::PingScheduler::PingId id = 0;
        const auto origin = originFor(kind, target.size(), id);
        Load sent = load(request(target), origin);
        REQUIRE(runUntil([&] { return sent.recorder->done() && engine.activeTransferCount() == 0; }));
        runUntilIdle();
        engine.releasePing(id);
        auto copies = server->requests("/drop");
        const auto reads = std::count_if(copies.begin(), copies.end(),
                                         [&](const adserver::Request& r) { return r.param("n") == kind; });
        MESSAGE(kind << " read " << reads << " times");
        CHECK(sent.recorder->failures == 1);
        CHECK(sent.recorder->finishes == 0);
        if (kind == "app") {
            CHECK(reads > 2);
        } else {
            CHECK(reads >= 1);
            CHECK(reads <= 2);
        }
    }
    CHECK(engine.pingCounts().admitted == 0);
}

// A server closes its kept-alive connections once they idle past its timeout (two seconds here), and a
// secure connection it closed still looks alive to the network library. A page's ping or load on one goes
// once more on a connection of its own, and arrives, read once: it never fails for want of a third try on
// the other dead ones.
TEST_CASE_FIXTURE(HangingHosts, "NetworkEngine: a page's ping or load on kept connections the server has closed goes "
                                "once more on a new connection and is read once") {
    auto& engine = platform::NetworkEngine::shared();
    server->route("/ok", adserver::Response::text("ok"));
    int held = 0;
    for (const std::string kind : {"ping", "load"}) {
        CAPTURE(kind);
        keepSixConnectionsAlive(held);
        // Past the server's keep-alive timeout: it has closed every one of them.
        runUntil([] { return false; }, 3);

        platform::PingScheduler::PingId id = 0;
        Load sent = load(request("/ok?n=" + kind), originFor(kind, 16, id));
        REQUIRE(runUntil([&] { return sent.recorder->done(); }));
        engine.releasePing(id);
        CHECK(sent.recorder->finishes == 1);
        auto copies = server->requests("/ok");
        CHECK(std::count_if(copies.begin(), copies.end(), [&](const adserver::Request& r) { return r.param("n") == kind; }) ==
              1);
    }
}

// A load still connecting keeps its place until it has held it StuckConnectionSeconds (a slow network's
// handshake is left alone); then it hands the place to a document that never had one. Put back, it has had
// its place: it is no newcomer itself, and the newcomer, stuck in turn, never gives the place back to it,
// or each would take it from the other for ever, and the network thread, spinning, would serve nothing else.
TEST_CASE_FIXTURE(ServerFixture, "NetworkEngine: at 64 descriptors documents whose only load never connects each give "
                                 "their place to a newcomer once, and the engine goes on serving the app") {
    nettest::limitDescriptors(64);
    auto& engine = platform::NetworkEngine::shared();
    server->route("/quick", adserver::Response::text("quick"));
    Load warm = load(request("/quick"));
    REQUIRE(runUntil([&] { return warm.recorder->done(); }, 60));
    SilentHosts silent(8);
    std::vector<Load> stuck;
    const std::size_t places = engine.limits().webContentTransfers;
    for (std::size_t i = 0; i < places + 2; ++i) stuck.push_back(load(silent.request(i), newPage()));
    REQUIRE(runUntil([&] { return silent.server->waitingConnections() >= places; }));
    // Well within StuckConnectionSeconds, the two newcomers still wait.
    runUntil([] { return false; }, platform::NetworkEngine::StuckConnectionSeconds - 2);
    CHECK(engine.observations().loadsPutBack == 0);
    CHECK(silent.server->waitingConnections() == places);

    // Each of the two newcomers takes one stuck load's place, and connects in it.
    REQUIRE(runUntil([&] { return engine.observations().loadsPutBack >= 2; }));
    // Past the newcomers' own StuckConnectionSeconds: none gives its place back to what was put back.
    runUntil([] { return false; }, platform::NetworkEngine::StuckConnectionSeconds + 1.5);
    const auto seen = engine.observations();
    CHECK(seen.loadsPutBack == 2);
    CHECK(seen.mostPutBacksOfOne == 1);
    CHECK(seen.loadsGivenWay == 0);
    CHECK(silent.server->waitingConnections() == places + 2);
    for (auto& l : stuck) CHECK_FALSE(l.recorder->done());
    Load app = load(request("/quick"));
    REQUIRE(runUntil([&] { return app.recorder->done(); }, 10));
    CHECK(app.recorder->finishes == 1);
    for (auto& l : stuck) l.connection->cancel();
}

// When web content is full and a document that has had no place waits, the written load that has held its
// place longest gives it back: documents whose loads trickle make room for a newcomer a second, each of which
// holds its place three seconds, and the newcomers never give way to the trickles or to one another.
TEST_CASE_FIXTURE(ServerFixture, "NetworkEngine: at 64 descriptors documents' trickling loads give their places to a "
                                 "new document a second and every newcomer's load completes") {
    nettest::limitDescriptors(64);
    auto& engine = platform::NetworkEngine::shared();
    adserver::Response image = adserver::Response::text("GIF89a", "image/gif");
    image.delay = std::chrono::seconds(3);
    server->route("/image", image);
    server->route("/quick", adserver::Response::text("quick"));
    // The first secure connection pays for the trust store and the server's set-up.
    Load warm = load(request("/quick"));
    REQUIRE(runUntil([&] { return warm.recorder->done(); }, 60));

    // Ten bytes a second each: far below the least rate, but a window (15 s) passes before that tells.
    auto trickle = adserver::TrickleServer::start(std::chrono::milliseconds(100));
    REQUIRE(trickle != nullptr);
    platform::NetworkConfiguration::sharedInstance()->addHostMapping("trickle.ruzave.example", 80, "127.0.0.1",
                                                                     trickle->port());
    constexpr std::size_t Trickling = 5;
    std::vector<Load> trickles;
    for (std::size_t i = 0; i < Trickling; ++i) {
        auto r = platform::URLRequest::withURLString("http://trickle.ruzave.example/t?n=" + std::to_string(i));
        REQUIRE(r.has_value());
        trickles.push_back(load(*r, newPage()));
    }
    REQUIRE(runUntil([&] { return trickle->requestCount() == Trickling; }));
    const auto before = engine.observations();

    constexpr int Newcomers = 20;
    std::vector<Load> newcomers;
    for (int i = 0; i < Newcomers; ++i) {
        newcomers.push_back(load(request("/image?n=" + std::to_string(i)), newPage()));
        runUntil([] { return false; }, 1.0);
    }
    REQUIRE(runUntil([&] { return allDone(newcomers); }, 30));
    for (int i = 0; i < Newcomers; ++i) {
        CAPTURE(i);
        CHECK(newcomers[static_cast<std::size_t>(i)].recorder->finishes == 1);
        CHECK(newcomers[static_cast<std::size_t>(i)].recorder->body == "GIF89a");
    }
    REQUIRE(allDone(trickles));
    for (auto& l : trickles) {
        REQUIRE(l.recorder->error.has_value());
        CHECK(l.recorder->error->code == platform::URLError::TimedOut);
    }
    const auto after = engine.observations();
    MESSAGE("loads given way " << after.loadsGivenWay - before.loadsGivenWay << ", put back "
                               << after.loadsPutBack - before.loadsPutBack << ", longest new document wait "
                               << after.longestNewDocumentWait << " s");
    // Trickles gave their places to newcomers (once a newcomer ends as the next comes, the next takes its
    // place instead, and the trickles left fail at their least rate), and no newcomer gave one up.
    CHECK(after.loadsGivenWay - before.loadsGivenWay >= 1);
    CHECK(after.loadsGivenWay - before.loadsGivenWay <= Trickling);
    CHECK(after.longestNewDocumentWait < 3);
    REQUIRE(runUntil([&] { return engine.activeTransferCount() == 0; }));
}

// A head that trickles (each byte keeping the transfer's inactivity timeout from running out) still ends
// at the request's timeout from its writing, on either side.
TEST_CASE_FIXTURE(ServerFixture, "NetworkEngine: a response head arriving at 3 bytes a second fails as timed out at "
                                 "the request's timeout") {
    auto heads = adserver::TrickleServer::start(std::chrono::milliseconds(333), adserver::TrickleServer::Trickle::Head);
    REQUIRE(heads != nullptr);
    platform::NetworkConfiguration::sharedInstance()->addHostMapping("head.ruzave.example", 80, "127.0.0.1",
                                                                     heads->port());
    constexpr double Timeout = 3;
    std::vector<Load> loads;
    for (auto origin : {platform::TransferOrigin::app(), newPage()}) {
        auto r = platform::URLRequest::withURLString("http://head.ruzave.example/head");
        REQUIRE(r.has_value());
        r->setTimeoutInterval(Timeout);
        loads.push_back(load(*r, origin));
    }
    const auto began = std::chrono::steady_clock::now();
    REQUIRE(runUntil([&] { return allDone(loads); }, 20));
    const double took = std::chrono::duration<double>(std::chrono::steady_clock::now() - began).count();
    MESSAGE("the trickling heads failed after " << took << " s");
    CHECK(took >= Timeout);
    CHECK(took < 10);
    CHECK(heads->requestCount() == 2);
    for (const Load& l : loads) {
        CHECK(l.recorder->finishes == 0);
        REQUIRE(l.recorder->error.has_value());
        CHECK(l.recorder->error->code == platform::URLError::TimedOut);
    }
}

namespace {

// Room for a loaded two-core machine under the sanitizers around a promise of one second.
constexpr double ReadSoon = 3;
constexpr int StuckSeconds = platform::NetworkEngine::StuckConnectionSeconds;

double secondsSince(std::chrono::steady_clock::time_point from) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - from).count();
}

// A relay on 127.0.0.1 in front of `target` that holds each connection it accepts for `delay` before it
// passes bytes on, both ways: a server whose handshakes take that long. One thread of its own; closes
// what it holds when it goes.
class SlowHandshakeRelay {
public:
    SlowHandshakeRelay(std::uint16_t target, std::chrono::milliseconds delay) : target_(target), delay_(delay) {
        listener_ = adserver::listenOnLoopback(port_);
        REQUIRE(listener_ >= 0);
        thread_ = std::thread([this] { run(); });
    }
    ~SlowHandshakeRelay() {
        stopping_ = true;
        thread_.join();
        ::close(listener_);
    }
    std::uint16_t port() const { return port_; }

private:
    using Steady = std::chrono::steady_clock;
    struct Pair {
        int client = -1;
        int server = -1;  // -1 while held
        Steady::time_point due;
    };

    void run() {
        std::vector<Pair> pairs;
        while (!stopping_) {
            for (int client; (client = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC)) >= 0;)
                pairs.push_back({client, -1, Steady::now() + delay_});
            for (Pair& p : pairs) {
                if (p.server < 0 && Steady::now() >= p.due) connectOn(p);
            }
            std::vector<pollfd> ready;
            for (const Pair& p : pairs) {
                if (p.server < 0) continue;
                ready.push_back({p.client, POLLIN, 0});
                ready.push_back({p.server, POLLIN, 0});
            }
            ::poll(ready.data(), ready.size(), 20);
            std::size_t at = 0;
            for (Pair& p : pairs) {
                if (p.server < 0) continue;
                const bool open = (ready[at].revents == 0 || copy(p.client, p.server)) &&
                                  (ready[at + 1].revents == 0 || copy(p.server, p.client));
                at += 2;
                if (!open) close(p);
            }
            std::erase_if(pairs, [](const Pair& p) { return p.client < 0; });
        }
        for (Pair& p : pairs) close(p);
    }
    // Closes the pair when the target cannot be reached.
    void connectOn(Pair& p) const {
        p.server = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        address.sin_port = htons(target_);
        if (p.server < 0 || ::connect(p.server, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) close(p);
    }
    // False once either end is done.
    static bool copy(int from, int to) {
        char buffer[16384];
        const ssize_t n = ::recv(from, buffer, sizeof buffer, MSG_DONTWAIT);
        if (n < 0) return errno == EAGAIN || errno == EINTR;
        for (ssize_t sent = 0; n > 0 && sent < n;) {
            const ssize_t m = ::send(to, buffer + sent, static_cast<std::size_t>(n - sent), MSG_NOSIGNAL);
            if (m < 0 && errno != EINTR) return false;
            if (m > 0) sent += m;
        }
        return n > 0;
    }
    static void close(Pair& p) {
        for (int* fd : {&p.client, &p.server}) {
            if (*fd >= 0) ::close(*fd);
            *fd = -1;
        }
    }

    std::uint16_t target_;
    std::chrono::milliseconds delay_;
    int listener_ = -1;
    std::uint16_t port_ = 0;
    std::atomic<bool> stopping_{false};
    std::thread thread_;
};

// Host names under the ad server's certificate whose handshakes take 2.5 s, one for each newcomer, so
// that none finds a connection another left for reuse.
struct SlowHandshakeHosts : ServerFixture {
    static constexpr int Count = 20;
    static std::vector<std::string> names() {
        std::vector<std::string> out;
        for (int i = 0; i < Count; ++i) out.push_back("handshake-" + std::to_string(i) + ".ruzave.example");
        return out;
    }
    std::unique_ptr<SlowHandshakeRelay> relay;

    SlowHandshakeHosts() : ServerFixture(names()) {
        relay = std::make_unique<SlowHandshakeRelay>(server->port(), std::chrono::milliseconds(2500));
        auto config = platform::NetworkConfiguration::sharedInstance();
        for (const std::string& name : names()) config->addHostMapping(name, 443, "127.0.0.1", relay->port());
    }
};

} // namespace

// A handshake slower than a phone's worst is still no stuck connection: newcomers in the middle of theirs
// keep their places, take none from one another, and each is put back at most once.
TEST_CASE_FIXTURE(SlowHandshakeHosts, "NetworkEngine: at 64 descriptors newcomers whose handshakes take 2.5 s, one a "
                                      "second beside trickles, are each received within six seconds") {
    nettest::limitDescriptors(64);
    auto& engine = platform::NetworkEngine::shared();
    server->route("/image", adserver::Response::text("GIF89a", "image/gif"));
    server->route("/quick", adserver::Response::text("quick"));
    Load warm = load(request("/quick"));
    REQUIRE(runUntil([&] { return warm.recorder->done(); }, 60));
    auto trickle = adserver::TrickleServer::start(std::chrono::milliseconds(100));
    REQUIRE(trickle != nullptr);
    platform::NetworkConfiguration::sharedInstance()->addHostMapping("trickle.ruzave.example", 80, "127.0.0.1",
                                                                     trickle->port());
    const std::size_t trickling = engine.limits().webContentTransfers - engine.limits().newDocumentReserve;
    std::vector<Load> trickles;
    for (std::size_t i = 0; i < trickling; ++i) {
        auto r = platform::URLRequest::withURLString("http://trickle.ruzave.example/t?n=" + std::to_string(i));
        REQUIRE(r.has_value());
        trickles.push_back(load(*r, newPage()));
    }
    REQUIRE(runUntil([&] { return trickle->requestCount() == trickling; }));

    const std::vector<std::string> hosts = names();
    std::vector<Load> newcomers;
    std::vector<std::chrono::steady_clock::time_point> asked;
    std::vector<double> took(hosts.size(), -1);
    auto noteReceived = [&] {
        for (std::size_t i = 0; i < newcomers.size(); ++i) {
            if (took[i] < 0 && newcomers[i].recorder->done()) took[i] = secondsSince(asked[i]);
        }
        return std::all_of(took.begin(), took.end(), [](double t) { return t >= 0; });
    };
    for (std::size_t i = 0; i < hosts.size(); ++i) {
        asked.push_back(std::chrono::steady_clock::now());
        newcomers.push_back(load(request("/image?n=" + std::to_string(i), hosts[i]), newPage()));
        runUntil([&] {
            noteReceived();
            return false;
        }, 1.0);
    }
    REQUIRE(runUntil(noteReceived, 30));
    MESSAGE("the slowest newcomer received after " << *std::max_element(took.begin(), took.end()) << " s");
    for (std::size_t i = 0; i < hosts.size(); ++i) {
        CAPTURE(i);
        CHECK(took[i] < StuckSeconds + ReadSoon);
        CHECK(newcomers[i].recorder->finishes == 1);
        CHECK(newcomers[i].recorder->body == "GIF89a");
    }
    CHECK(server->requestCount("/image") == hosts.size());
    CHECK(engine.observations().mostPutBacksOfOne <= 1);
    cancelAll(trickles);
}

// Beside a view that holds its share of the pings' places and has more waiting, a newcomer's load takes
// the place one load gives, and the view's pings take none while it waits: one load fails for it, not one
// for each ping that could start.
TEST_CASE_FIXTURE(HangingHosts, "NetworkEngine: at 256 descriptors a newcomer's load costs one load its place beside "
                                "a view at its share with 20 pings waiting") {
    const auto limits = nettest::limitDescriptors(256);
    auto& engine = platform::NetworkEngine::shared();
    // The view and six others hold pings that hang, so that its share of the ordinary ping places is what
    // it holds, and loads that hang hold every other place.
    constexpr std::size_t Views = 7;
    const std::size_t share = (limits.pingTransfers - limits.pingReserve + Views - 1) / Views;
    const std::uint64_t view = platform::TransferOrigin::newId();
    const std::uint64_t ad = platform::TransferOrigin::newId();
    std::vector<Load> pings;
    auto ping = [&](const std::string& n, platform::TransferOrigin origin) {
        const std::string target = "/hang?n=" + n;
        const platform::PingScheduler::PingId id = engine.admitPing(origin, target.size());
        REQUIRE(id != 0);
        pings.push_back(load(request(target), origin.ping(id)));
    };
    for (std::size_t i = 1; i < Views; ++i) ping("other" + std::to_string(i), newPage());
    for (std::size_t i = 0; i < share; ++i)
        ping("view" + std::to_string(i), platform::TransferOrigin::webContent(platform::TransferOrigin::newId(), view, ad));
    REQUIRE(runUntil([&] { return server->requestCount("/hang") == pings.size(); }));
    std::vector<Load> loads;
    for (std::size_t i = pings.size(); i < limits.webContentTransfers; ++i)
        loads.push_back(load(request("/hang?n=load" + std::to_string(i)), newPage()));
    REQUIRE(runUntil([&] { return server->requestCount("/hang") == limits.webContentTransfers; }));
    constexpr std::size_t Waiting = 20;
    for (std::size_t i = 0; i < Waiting; ++i)
        ping("waiting" + std::to_string(i), platform::TransferOrigin::webContent(platform::TransferOrigin::newId(), view, ad));
    REQUIRE(runUntil([&] { return engine.pingCounts().waiting == Waiting; }));

    const auto before = engine.observations();
    Load newcomer = load(request("/quick?n=newcomer"), newPage());
    REQUIRE(runUntil([&] { return newcomer.recorder->done(); }));
    CHECK(newcomer.recorder->finishes == 1);
    CHECK(newcomer.recorder->body == "quick");
    // The place it leaves goes to a waiting ping, which could have taken any place freed meanwhile.
    auto waitingRead = [&] {
        auto read = server->requests("/hang");
        return std::count_if(read.begin(), read.end(),
                             [](const adserver::Request& r) { return r.param("n").starts_with("waiting"); });
    };
    REQUIRE(runUntil([&] { return waitingRead() >= 1; }));
    const auto failed = std::count_if(loads.begin(), loads.end(), [](const Load& l) { return l.recorder->done(); });
    MESSAGE("loads failed for the newcomer: " << failed);
    CHECK(failed <= 1);
    CHECK(engine.observations().loadsGivenWay - before.loadsGivenWay <= 1);
    cancelAll(pings);
    cancelAll(loads);
}

namespace {

// Documents whose one load never gets past its handshake, held past StuckConnectionSeconds in every
// place of web content (six at 64 descriptors, sixteen at 128); then a new document loads three images,
// its later two owed places as much as its first. Each stuck load that gives a place waits again, and
// still fails at its own timeout.
void newDocumentBesideStuckHandshakes(ServerFixture& f, rlim_t limit) {
    const auto limits = nettest::limitDescriptors(limit);
    auto& engine = platform::NetworkEngine::shared();
    f.server->route("/image", adserver::Response::text("GIF89a", "image/gif"));
    f.server->route("/quick", adserver::Response::text("quick"));
    Load warm = load(f.request("/quick"));
    REQUIRE(f.runUntil([&] { return warm.recorder->done(); }, 60));
    constexpr double Timeout = StuckSeconds + 4;
    const std::size_t places = limits.webContentTransfers;
    SilentHosts silent(places);
    std::vector<Load> stuck;
    const auto began = std::chrono::steady_clock::now();
    for (std::size_t i = 0; i < places; ++i) {
        auto r = silent.request(i);
        r.setTimeoutInterval(Timeout);
        stuck.push_back(load(r, newPage()));
    }
    REQUIRE(f.runUntil([&] { return silent.server->waitingConnections() == places; }));
    f.runUntil([] { return false; }, StuckSeconds + 0.5);
    REQUIRE_FALSE(std::any_of(stuck.begin(), stuck.end(), [](const Load& l) { return l.recorder->done(); }));

    const auto asked = std::chrono::steady_clock::now();
    std::vector<Load> images;
    auto page = newPage();
    for (int i = 0; i < 3; ++i) images.push_back(load(f.request("/image?n=" + std::to_string(i)), page));
    REQUIRE(f.runUntil([&] { return allDone(images); }));
    const double took = secondsSince(asked);
    MESSAGE("three images received after " << took << " s beside " << places << " stuck handshakes");
    CHECK(took < ReadSoon);
    for (const Load& l : images) {
        CHECK(l.recorder->finishes == 1);
        CHECK(l.recorder->body == "GIF89a");
    }
    CHECK(f.server->requestCount("/image") == 3);
    const auto seen = engine.observations();
    CHECK(seen.loadsPutBack >= 1);
    CHECK(seen.loadsGivenWay == 0);
    CHECK_FALSE(std::any_of(stuck.begin(), stuck.end(), [](const Load& l) { return l.recorder->done(); }));

    // A load put back and started again has its timeout from then: none outlives two.
    REQUIRE(f.runUntil([&] { return allDone(stuck); }, 2 * Timeout + 5));
    MESSAGE("the stuck loads ended " << secondsSince(began) << " s after they began");
    for (const Load& l : stuck) {
        CHECK(l.recorder->finishes == 0);
        REQUIRE(l.recorder->error.has_value());
        CHECK(l.recorder->error->code == platform::URLError::TimedOut);
    }
}

} // namespace

TEST_CASE_FIXTURE(ServerFixture, "NetworkEngine: at 64 descriptors a new document's three images beside stuck "
                                 "handshakes in every place are received within a second") {
    newDocumentBesideStuckHandshakes(*this, 64);
}

TEST_CASE_FIXTURE(ServerFixture, "NetworkEngine: at 128 descriptors a new document's three images beside stuck "
                                 "handshakes in every place are received within a second") {
    newDocumentBesideStuckHandshakes(*this, 128);
}

namespace {

// Documents each with one ping to a host that never completes its handshake, and a healthy document's
// ping beside them: read once the stuck hops have held their places StuckConnectionSeconds, as the first
// to take one a stuck hop gives. The stuck hops put back are never sent, and their pings live on.
void healthyPingBesideStuckHandshakes(HangingHosts& f, rlim_t limit, std::size_t stuckDocuments) {
    const auto limits = nettest::limitDescriptors(limit);
    auto& engine = platform::NetworkEngine::shared();
    Load warm = load(f.request("/quick"));
    REQUIRE(f.runUntil([&] { return warm.recorder->done(); }, 60));
    SilentHosts silent(1);
    std::vector<Load> stuck;
    for (std::size_t i = 0; i < stuckDocuments; ++i) {
        platform::PingScheduler::PingId id = 0;
        const auto origin = HangingHosts::originFor("ping", 32, id);
        stuck.push_back(load(silent.request(i), origin));
    }
    const std::size_t ordinary = limits.pingTransfers - limits.pingReserve;
    REQUIRE(f.runUntil([&] { return silent.server->waitingConnections() >= std::min(stuckDocuments, ordinary); }));
    // Their host turns slow on the platform's clock, which the pings' lives and hosts run by.
    f.runUntil([] { return false; }, 0.5);
    f.advance(1.5);

    platform::PingScheduler::PingId id = 0;
    const auto asked = std::chrono::steady_clock::now();
    Load healthy = load(f.request("/quick?n=healthy"), HangingHosts::originFor("ping", 32, id));
    REQUIRE(f.runUntil([&] { return f.server->requestCount("/quick") == 2; }, 3 * StuckSeconds));
    const double took = secondsSince(asked);
    MESSAGE("the healthy ping read after " << took << " s beside " << stuckDocuments << " stuck pings ("
                                           << limits.pingTransfers << " ping places)");
    CHECK(took < StuckSeconds + ReadSoon);
    REQUIRE(f.runUntil([&] { return healthy.recorder->done(); }));
    CHECK(healthy.recorder->finishes == 1);
    f.runUntilIdle();
    CHECK(f.server->requestCount("/quick") == 2);

    const auto seen = engine.observations();
    MESSAGE("ping hops put back " << seen.pingHopsPutBack);
    // The stuck hops' host, never known to answer, is tried on the reserve by one hop at a time: the
    // healthy ping has a reserve place, or a stuck hop's.
    CHECK(seen.mostPutBacksOfOne <= 1);
    CHECK(seen.loadsPutBack == 0);
    CHECK_FALSE(std::any_of(stuck.begin(), stuck.end(), [](const Load& l) { return l.recorder->done(); }));
    cancelAll(stuck);
}

} // namespace

TEST_CASE_FIXTURE(HangingHosts, "NetworkEngine: at 64 descriptors a healthy document's ping beside 5 documents' pings "
                                "stuck in their handshakes is read within six seconds") {
    healthyPingBesideStuckHandshakes(*this, 64, 5);
}

TEST_CASE_FIXTURE(HangingHosts, "NetworkEngine: at 64 descriptors a healthy document's ping beside 20 documents' pings "
                                "stuck in their handshakes is read within six seconds") {
    healthyPingBesideStuckHandshakes(*this, 64, 20);
}

TEST_CASE_FIXTURE(HangingHosts, "NetworkEngine: at 128 descriptors a healthy document's ping beside 5 documents' pings "
                                "stuck in their handshakes is read within six seconds") {
    healthyPingBesideStuckHandshakes(*this, 128, 5);
}

TEST_CASE_FIXTURE(HangingHosts, "NetworkEngine: at 128 descriptors a healthy document's ping beside 20 documents' "
                                "pings stuck in their handshakes is read within six seconds") {
    healthyPingBesideStuckHandshakes(*this, 128, 20);
}

namespace {

// Hosts under the ad server's certificate for the slow-handshake shapes below, each shape its own, so that
// no shape meets a host another marked slow or answering. The server closes each connection after its
// answer: every request pays a handshake.
struct SlowEverywhere : ServerFixture {
    static constexpr int Shapes = 4;
    static constexpr int Views = 5;
    static std::string host(int shape, const std::string& name) {
        return name + "-" + std::to_string(shape) + ".slow.ruzave.example";
    }
    static std::vector<std::string> names() {
        std::vector<std::string> out;
        for (int shape = 0; shape < Shapes; ++shape) {
            for (const std::string name : {"click", "track", "load"}) out.push_back(host(shape, name));
            for (int v = 0; v < Views; ++v) out.push_back(host(shape, "view" + std::to_string(v)));
        }
        return out;
    }

    SlowEverywhere() : ServerFixture(names()) {
        for (const char* path : {"/p", "/click", "/track", "/slow"})
            server->route(path, adserver::Response::text("ok").header("Connection", "close"));
    }

    // Maps the shape's hosts to a relay whose handshakes take `delay`.
    std::unique_ptr<SlowHandshakeRelay> slowHosts(int shape, std::chrono::milliseconds delay) {
        auto relay = std::make_unique<SlowHandshakeRelay>(server->port(), delay);
        auto config = platform::NetworkConfiguration::sharedInstance();
        for (const std::string& name : names()) {
            if (name.find("-" + std::to_string(shape) + ".") != std::string::npos)
                config->addHostMapping(name, 443, "127.0.0.1", relay->port());
        }
        return relay;
    }

    // How often the server read each `n` of `path` for the shape (`s`).
    std::map<std::string, int> readsOf(const std::string& path, int shape) const {
        std::map<std::string, int> reads;
        for (const auto& r : server->requests(path)) {
            if (r.param("s") == std::to_string(shape)) ++reads[r.param("n")];
        }
        return reads;
    }
};

// A ping the page of `origin` makes, admitted as it is made; let go once it ends.
struct MadePing {
    Load load;
    platform::PingScheduler::PingId id = 0;
};
MadePing makePing(const platform::TransferOrigin& origin, const platform::URLRequest& r) {
    MadePing ping;
    ping.id = platform::NetworkEngine::shared().admitPing(origin, r.url().absoluteString().size());
    REQUIRE(ping.id != 0);
    ping.load = load(r, origin.ping(ping.id));
    return ping;
}
void releaseEnded(std::vector<MadePing>& pings) {
    for (MadePing& p : pings) {
        if (p.id != 0 && p.load.recorder->done()) platform::NetworkEngine::shared().releasePing(std::exchange(p.id, 0));
    }
}

} // namespace

// Where every handshake outlasts StuckConnectionSeconds, a hop that gave its place away once keeps its next
// one, as does the hop it gave it to: each completes by the second try it gets, so a click goes out however
// fast the other views' pings come, and those keep completing too.
namespace {
struct SlowHandshakeClicks : SlowEverywhere {
    void run(int s);
};

void SlowHandshakeClicks::run(int s) {
    nettest::limitDescriptors(64);
    auto& engine = platform::NetworkEngine::shared();
    struct Shape {
        int handshakeMs;
        int views;
        double everySeconds;  // each view's pings
    };
    const Shape shapes[Shapes] = {{5500, 5, 0.5}, {7000, 5, 0.5}, {5500, 1, 2}, {7000, 1, 2}};
    using Steady = std::chrono::steady_clock;
    {
        const Shape shape = shapes[s];
        CAPTURE(shape.handshakeMs);
        CAPTURE(shape.views);
        auto relay = slowHosts(s, std::chrono::milliseconds(shape.handshakeMs));
        const std::string tag = "?s=" + std::to_string(s) + "&n=";
        std::vector<platform::TransferOrigin> views;
        for (int v = 0; v < shape.views; ++v) {
            const auto id = platform::TransferOrigin::newId();
            views.push_back(platform::TransferOrigin::webContent(id, id, id));
        }
        std::vector<MadePing> pings;
        int made = 0;
        auto pingEach = [&] {
            for (int v = 0; v < shape.views; ++v) {
                const std::string n = std::to_string(v) + "-" + std::to_string(made);
                pings.push_back(makePing(views[static_cast<std::size_t>(v)], request("/p" + tag + n, host(s, "view" + std::to_string(v)))));
            }
            ++made;
        };
        // The views ping on the platform's clock, which moves with real time: lives and slow hosts run.
        Steady::time_point nextPing = Steady::now();
        auto keepPinging = [&](const std::function<bool()>& until, double seconds) {
            const auto end = Steady::now() + std::chrono::duration_cast<Steady::duration>(std::chrono::duration<double>(seconds));
            while (Steady::now() < end) {
                if (Steady::now() >= nextPing) {
                    pingEach();
                    nextPing += std::chrono::duration_cast<Steady::duration>(std::chrono::duration<double>(shape.everySeconds));
                }
                releaseEnded(pings);
                if (runUntil(until, 0.1)) return true;
                advance(0.1);
            }
            return until();
        };
        // Their first pings hold the places, still in their handshakes.
        keepPinging([] { return false; }, 2);

        const auto healthyId = platform::TransferOrigin::newId();
        const auto healthy = platform::TransferOrigin::webContent(healthyId, healthyId, healthyId);
        const auto touched = Steady::now();
        pings.push_back(makePing(healthy, request("/click" + tag + "touch", host(s, "click"))));
        pings.push_back(makePing(healthy, request("/track" + tag + "touch", host(s, "track"))));
        const std::size_t viewsReadBefore = server->requestCount("/p");
        const std::size_t clicksBefore = server->requestCount("/click");
        const std::size_t tracksBefore = server->requestCount("/track");
        const std::shared_ptr<Recorder> track = pings.back().load.recorder;
        std::optional<double> clickAfter, trackAfter;
        auto heard = [&] {
            if (!clickAfter && server->requestCount("/click") > clicksBefore) clickAfter = secondsSince(touched);
            if (!trackAfter && server->requestCount("/track") > tracksBefore) trackAfter = secondsSince(touched);
            return clickAfter && (trackAfter || track->done()) &&
                   server->requestCount("/p") >= viewsReadBefore + 2;
        };
        CHECK(keepPinging(heard, platform::PingScheduler::LifeSeconds + 2));
        MESSAGE("click read after " << clickAfter.value_or(-1) << " s, httpTrack after " << trackAfter.value_or(-1)
                                    << " s; views' pings read meanwhile " << server->requestCount("/p") - viewsReadBefore);
        CHECK(clickAfter.value_or(99) < 20);
        // The view's second hop waits for its view's turn; a stuck hop gives its place only to a view whose turn
        // comes first, so the places do not change hands between the busy views for ever.
        CHECK(trackAfter.value_or(99) < 20);
        CHECK(server->requestCount("/p") >= viewsReadBefore + 2);

        for (auto& p : pings) p.load.connection->cancel();
        REQUIRE(runUntil([&] { return engine.activeTransferCount() == 0; }));
        runUntilIdle();
        for (auto& p : pings) engine.releasePing(std::exchange(p.id, 0));
        for (const std::string path : {"/p", "/click", "/track"}) {
            for (const auto& [n, count] : readsOf(path, s)) {
                CAPTURE(n);
                CHECK(count == 1);
            }
        }
        CHECK(engine.observations().mostPutBacksOfOne <= 1);
    }
}
} // namespace

// One case a shape, each in a process of its own (the engine reads the descriptor limit once), so that they
// run side by side.
TEST_CASE_FIXTURE(SlowHandshakeClicks, "NetworkEngine: at 64 descriptors where every handshake takes 5.5 s, beside 5 "
                                       "views pinging twice a second, a healthy view's click and httpTrack are read "
                                       "once within 20 s and no transfer is put back twice") {
    run(0);
}

TEST_CASE_FIXTURE(SlowHandshakeClicks, "NetworkEngine: at 64 descriptors where every handshake takes 7 s, beside 5 "
                                       "views pinging twice a second, a healthy view's click and httpTrack are read "
                                       "once within 20 s and no transfer is put back twice") {
    run(1);
}

TEST_CASE_FIXTURE(SlowHandshakeClicks, "NetworkEngine: at 64 descriptors where every handshake takes 5.5 s, beside a "
                                       "view pinging every 2 s, a healthy view's click and httpTrack are read once "
                                       "within 20 s and no transfer is put back twice") {
    run(2);
}

TEST_CASE_FIXTURE(SlowHandshakeClicks, "NetworkEngine: at 64 descriptors where every handshake takes 7 s, beside a "
                                       "view pinging every 2 s, a healthy view's click and httpTrack are read once "
                                       "within 20 s and no transfer is put back twice") {
    run(3);
}

// Newcomers every 100 ms beside loads whose handshakes outlast StuckConnectionSeconds or never end: each of
// the first loads hands its place on once, the newcomers that took those places keep them whatever comes
// next, and those whose handshake ends are read once.
TEST_CASE_FIXTURE(SlowEverywhere, "NetworkEngine: at 64 descriptors beside a new document every 100 ms, loads whose "
                                  "handshakes take 7 s or never end each give their place once, and the newcomers "
                                  "that took them keep them") {
    nettest::limitDescriptors(64);
    auto& engine = platform::NetworkEngine::shared();
    const std::size_t places = engine.limits().webContentTransfers;
    using Steady = std::chrono::steady_clock;
    for (const bool never : {true, false}) {
        CAPTURE(never);
        const int shape = never ? 0 : 1;
        std::unique_ptr<SlowHandshakeRelay> relay;
        std::optional<SilentHosts> silent;
        if (never)
            silent.emplace(1);
        else
            relay = slowHosts(shape, std::chrono::milliseconds(7000));
        auto slowLoad = [&](int n) {
            auto r = never ? silent->request(static_cast<std::size_t>(n))
                           : request("/slow?s=" + std::to_string(shape) + "&n=" + std::to_string(n), host(shape, "load"));
            r.setTimeoutInterval(30);
            return load(r, newPage());
        };
        const auto before = engine.observations();
        std::vector<Load> loads;
        for (std::size_t i = 0; i < places; ++i) loads.push_back(slowLoad(static_cast<int>(i)));
        const auto began = Steady::now();
        // Past the first loads' mark, and the newcomers' that took their places, while one comes every 100 ms:
        // with a 7 s handshake those newcomers are read meanwhile.
        const double run = 2 * StuckSeconds + (never ? 1.5 : 4.0);
        while (secondsSince(began) < run) {
            loads.push_back(slowLoad(static_cast<int>(loads.size())));
            runUntil([] { return false; }, 0.1);
        }
        const auto seen = engine.observations();
        MESSAGE("loads put back " << seen.loadsPutBack - before.loadsPutBack << " of " << loads.size());
        CHECK(seen.loadsPutBack - before.loadsPutBack == places);
        CHECK(seen.mostPutBacksOfOne == 1);
        if (!never) {
            std::map<std::string, int> reads = readsOf("/slow", shape);
            // The first six newcomers took the places given at the mark: read after their own handshake.
            CHECK(reads.size() >= places);
            for (const auto& [n, count] : reads) {
                CAPTURE(n);
                CHECK(count == 1);
            }
        }
        cancelAll(loads);
        REQUIRE(runUntil([&] { return engine.activeTransferCount() == 0; }));
    }
}
