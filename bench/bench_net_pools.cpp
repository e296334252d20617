// The two pools at a 1,024-descriptor limit: how long an app request to a host takes while a page's 8
// loads to that host hang, or trickle a byte at a time; how long a fourth page's load takes while three
// pages hold 128 hanging loads each; how many times a server receives a POST it reads and drops unanswered
// on kept-alive connections; what twelve pages of 128 hanging loads each (on hosts of their own) hold in
// descriptors and connections, and whether the app's requests still get through; and what 1,800 app
// requests to 300 hanging hosts hold, and whether a file still opens beside them. Then, at 128, 256 and
// 1,024 descriptors (each in a process of its own, as the engine reads the limit once), how long a new
// page's first load takes beside a page whose loads trickle on the same host, and beside five pages of
// trickling loads that fill web content. At 128 and 1,024 descriptors, how long the next document in a web
// view takes to load its images from the ad host while the last document's 16 pings hang there (kept past
// its close); at 64 and 128, how long a new document's first load takes while every place of web content
// is held by a different document's one load, which the server has read and never answers.
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/net/NetworkConfiguration.h"
#include "platform/net/NetworkEngine.h"
#include "platform/net/TransferOrigin.h"
#include "platform/net/URLConnection.h"
#include "platform/runloop/MainLoop.h"
#include "platform/web/WebView.h"
#include "tools/adserver/AdServer.h"
#include "tools/adserver/SilentServer.h"
#include "tools/adserver/TrickleServer.h"

namespace {

using Clock = std::chrono::steady_clock;

const char* const Host = "ads.ruzave.example";
constexpr int Pages = 12;
constexpr int LoadsPerPage = 128;
constexpr int HostsPerPage = 22;  // six loads each, as a page's own limit lets them go
constexpr int AppRequests = 8;
constexpr int FloodRequests = 1800;
constexpr int FloodHosts = 300;
constexpr int HangingHosts = 16;  // a document's own host each, for one hanging load

struct Done : platform::URLConnectionDelegate {
    bool ended = false;
    bool failed = false;
    void didFinishLoading(const std::shared_ptr<platform::URLConnection>&) override { ended = true; }
    void didFailWithError(const std::shared_ptr<platform::URLConnection>&, const platform::Error&) override {
        ended = failed = true;
    }
};

struct Load {
    std::shared_ptr<Done> delegate = std::make_shared<Done>();
    std::shared_ptr<platform::URLConnection> connection;
};

Load load(platform::URLRequest request, platform::TransferOrigin origin, double timeout = 120) {
    Load l;
    request.setTimeoutInterval(timeout);
    l.connection = platform::URLConnection::create(request, l.delegate, origin, true);
    return l;
}

Load load(const std::string& url, platform::TransferOrigin origin, double timeout = 120) {
    return load(*platform::URLRequest::withURLString(url), origin, timeout);
}

bool allEnded(const std::vector<Load>& loads) {
    return std::all_of(loads.begin(), loads.end(), [](const Load& l) { return l.delegate->ended; });
}

void cancel(std::vector<Load>& loads) {
    for (auto l = loads.rbegin(); l != loads.rend(); ++l) l->connection->cancel();
}

bool runUntil(const std::function<bool()>& pred, double seconds) {
    return platform::MainLoop::main().runUntil(pred, seconds);
}

// Probed one by one: listing /proc/self/fd needs a descriptor of its own, which may be the one missing.
std::size_t openDescriptors(rlim_t limit) {
    std::size_t count = 0;
    for (rlim_t fd = 0; fd < limit; ++fd) count += fcntl(static_cast<int>(fd), F_GETFD) != -1 ? 1 : 0;
    return count;
}

// Milliseconds until an app request to the host is answered while a page has 8 loads of `path` there.
double appRequestBeside(adserver::AdServer& server, const std::string& path) {
    const std::string base = std::string("https://") + Host;
    std::vector<Load> page;
    auto origin = platform::TransferOrigin::webContent(platform::TransferOrigin::newId());
    for (int i = 0; i < 8; ++i) page.push_back(load(base + path + "?n=" + std::to_string(i), origin));
    runUntil([&] { return server.requestCount(path) >= 6; }, 10);
    auto asked = Clock::now();
    Load app = load(base + "/quick", platform::TransferOrigin::app());
    runUntil([&] { return app.delegate->ended; }, 120);
    double ms = std::chrono::duration<double, std::milli>(Clock::now() - asked).count();
    cancel(page);
    return app.delegate->ended && !app.delegate->failed ? ms : -1;
}

platform::TransferOrigin newPage() {
    return platform::TransferOrigin::webContent(platform::TransferOrigin::newId());
}

// Until the silent server has connections and they stop growing for three seconds (connections come in
// bursts as the kernel retries the ones its backlog turned away).
void untilStill(const adserver::SilentServer& silent) {
    std::size_t seen = 0;
    auto still = Clock::now();
    runUntil(
        [&] {
            std::size_t now = silent.waitingConnections();
            if (now != seen) {
                seen = now;
                still = Clock::now();
            }
            return seen > 0 && Clock::now() - still > std::chrono::seconds(3);
        },
        60);
}

// Cancels and waits until the engine has let go of every transfer.
void cancelAndDrain(std::vector<Load>& loads) {
    cancel(loads);
    auto& engine = platform::NetworkEngine::shared();
    runUntil([&] { return engine.activeTransferCount() == 0; }, 30);
}

// Milliseconds until a fourth page's load is answered while three pages hold 128 hanging loads each (-1:
// it failed, after waiting 10 s for a place).
double fourthPageBeside(const std::vector<std::string>& silentHosts) {
    std::vector<Load> pages;
    for (int page = 0; page < 3; ++page) {
        auto origin = newPage();
        for (int i = 0; i < LoadsPerPage; ++i) {
            const std::string& host = silentHosts[(page * HostsPerPage + i % HostsPerPage) % silentHosts.size()];
            pages.push_back(load("https://" + host + "/hang?n=" + std::to_string(i), origin));
        }
    }
    runUntil([] { return false; }, 2);
    auto asked = Clock::now();
    Load fourth = load(std::string("https://") + Host + "/quick?n=fourth", newPage(), 10);
    runUntil([&] { return fourth.delegate->ended; }, 30);
    double ms = std::chrono::duration<double, std::milli>(Clock::now() - asked).count();
    cancelAndDrain(pages);
    return fourth.delegate->ended && !fourth.delegate->failed ? ms : -1;
}

// How many times the server receives a request of `method` to `path` sent right after six app requests
// left six connections to the host kept alive.
std::size_t receptionsOnKeptAlive(adserver::AdServer& server, const std::string& method, const std::string& path) {
    std::vector<Load> warm;
    for (int i = 0; i < 6; ++i) warm.push_back(load(std::string("https://") + Host + "/slowish?n=" + std::to_string(i),
                                                    platform::TransferOrigin::app()));
    runUntil([&] { return allEnded(warm); }, 10);
    auto request = *platform::URLRequest::withURLString(std::string("https://") + Host + path);
    request.setHTTPMethod(method);
    if (method == "POST") request.setHTTPBody(std::string_view("a=1"));
    Load sent = load(request, platform::TransferOrigin::app(), 10);
    runUntil([&] { return sent.delegate->ended; }, 30);
    runUntil([] { return false; }, 0.5);
    return server.requestCount(path);
}

// Milliseconds until a new page's first load to the host is answered while another page has 128 loads
// there that trickle a byte a second (-1: it failed or took over a minute).
double newPageBesideTricklingPage(adserver::AdServer& server) {
    const std::string base = std::string("https://") + Host;
    std::vector<Load> page;
    auto origin = newPage();
    for (int i = 0; i < LoadsPerPage; ++i) page.push_back(load(base + "/trickle?n=" + std::to_string(i), origin));
    runUntil([&] { return server.requestCount("/trickle") >= 6; }, 10);
    runUntil([] { return false; }, 0.5);  // whatever else was to start has
    auto asked = Clock::now();
    Load fresh = load(base + "/quick?n=beside-one", newPage());
    runUntil([&] { return fresh.delegate->ended; }, 70);
    double ms = std::chrono::duration<double, std::milli>(Clock::now() - asked).count();
    bool answered = fresh.delegate->ended && !fresh.delegate->failed;
    cancelAndDrain(page);
    return answered ? ms : -1;
}

// The same beside five pages of 128 loads each, on trickling hosts of their own, started one after another:
// together they fill web content.
double newPageBesideFiveTricklingPages(const std::vector<std::string>& tricklingHosts,
                                       const adserver::TrickleServer& trickle) {
    std::vector<Load> pages;
    for (int page = 0; page < 5; ++page) {
        auto origin = newPage();
        for (int i = 0; i < LoadsPerPage; ++i) {
            const std::string& host = tricklingHosts[(page * HostsPerPage + i % HostsPerPage) % tricklingHosts.size()];
            pages.push_back(load("http://" + host + "/t?n=" + std::to_string(i), origin));
        }
        runUntil([] { return false; }, 0.3);
    }
    // Until the connections stop growing for a second.
    std::size_t seen = 0;
    auto still = Clock::now();
    runUntil(
        [&] {
            if (trickle.openConnections() != seen) {
                seen = trickle.openConnections();
                still = Clock::now();
            }
            return seen > 0 && Clock::now() - still > std::chrono::seconds(1);
        },
        10);
    auto asked = Clock::now();
    Load fresh = load(std::string("https://") + Host + "/quick?n=beside-five", newPage());
    runUntil([&] { return fresh.delegate->ended; }, 70);
    double ms = std::chrono::duration<double, std::milli>(Clock::now() - asked).count();
    bool answered = fresh.delegate->ended && !fresh.delegate->failed;
    cancelAndDrain(pages);
    return answered ? ms : -1;
}

// Milliseconds until the next document in a web view has loaded its 8 images from the ad host, while the
// last document's 16 pings to the host, read and never answered, go on as the view's kept pings (-1: it
// did not load within a minute).
struct ViewDelegate : platform::WebViewDelegate {
    int finished = 0;
    void didFinishLoad(platform::WebView&) override { ++finished; }
    void didFailLoad(platform::WebView&, const platform::Error&) override { ++finished; }
};

double nextDocumentBesideKeptPings(adserver::AdServer& server) {
    auto view = platform::WebView::create(platform::Rect(0, 0, 320, 50));
    auto delegate = std::make_shared<ViewDelegate>();
    view->setDelegate(delegate);
    const std::string base = std::string("https://") + Host;
    view->loadHTMLString("<p>first ad</p>", platform::URL::parse(base + "/first.html"));
    runUntil([&] { return delegate->finished == 1; }, 10);
    std::vector<Load> pings;
    for (int i = 0; i < 16; ++i) {
        Load ping;
        ping.connection = view->connectionForPage(*platform::URLRequest::withURLString(base + "/hang?ping=" + std::to_string(i)),
                                                  ping.delegate, nullptr, platform::PageLoad::Beacon);
        if (ping.connection) ping.connection->start();
        pings.push_back(std::move(ping));
    }
    runUntil([&] { return server.requestCount("/hang") >= 6; }, 10);
    std::string html = "<body>";
    for (int i = 0; i < 8; ++i) html += "<img src=\"" + base + "/image.gif?n=" + std::to_string(i) + "\">";
    auto asked = Clock::now();
    view->loadHTMLString(html + "</body>", platform::URL::parse(base + "/next.html"));
    runUntil([&] { return delegate->finished == 2; }, 60);
    double ms = std::chrono::duration<double, std::milli>(Clock::now() - asked).count();
    const bool loaded = delegate->finished == 2 && server.requestCount("/image.gif") >= 8;
    // The last ad's pings are still counted: they go on beside the next ad.
    const std::size_t kept = platform::NetworkEngine::shared().pingCounts().admitted;
    view.reset();
    for (auto& ping : pings) {
        if (ping.connection) ping.connection->cancel();
    }
    runUntil([] { return platform::NetworkEngine::shared().activeTransferCount() == 0; }, 10);
    return loaded && kept > 0 ? ms : -1;
}

// Milliseconds until a new document's first load is answered while `documents` others each hold one
// load the server has read and never answers, as many as web content has places (-1: it failed, or took
// over a minute).
double newDocumentBesideOneHangingLoadEach(adserver::AdServer& server, std::size_t documents) {
    const std::string base = std::string("https://") + Host;
    const std::size_t before = server.requestCount("/hang");
    std::vector<Load> held;
    for (std::size_t i = 0; i < documents; ++i) {
        held.push_back(load("https://d" + std::to_string(i) + ".hang.example/hang?one=" + std::to_string(i), newPage()));
        runUntil([&] { return server.requestCount("/hang") >= before + i + 1; }, 10);
    }
    auto asked = Clock::now();
    Load fresh = load(base + "/quick?n=beside-one-each", newPage());
    runUntil([&] { return fresh.delegate->ended; }, 70);
    double ms = std::chrono::duration<double, std::milli>(Clock::now() - asked).count();
    bool answered = fresh.delegate->ended && !fresh.delegate->failed;
    cancelAndDrain(held);
    return answered ? ms : -1;
}

// Both figures at one descriptor limit, in this process (before the engine has run).
void newPageFiguresAt(rlim_t limit) {
    rlimit descriptors{};
    getrlimit(RLIMIT_NOFILE, &descriptors);
    descriptors.rlim_cur = std::min<rlim_t>(limit, descriptors.rlim_max);
    setrlimit(RLIMIT_NOFILE, &descriptors);
    adserver::Options options;
    options.hostNames = {Host};
    for (int i = 0; i < HangingHosts; ++i) options.hostNames.push_back("d" + std::to_string(i) + ".hang.example");
    auto server = adserver::AdServer::start(options);
    auto trickle = adserver::TrickleServer::start(std::chrono::seconds(1));
    if (!server || !trickle) {
        std::printf("net_new_page_beside_trickling_page_%lu: the servers did not start, no figure\n",
                    static_cast<unsigned long>(limit));
        return;
    }
    // An image, so that the server sends each byte as it comes rather than compressing them to the end.
    adserver::Response trickling = adserver::Response::text(std::string(1000, 't'), "image/png");
    trickling.unknownLength = true;
    trickling.chunkBytes = 1;
    trickling.chunkDelay = std::chrono::seconds(1);
    server->route("/trickle", trickling);
    server->route("/quick", adserver::Response::text("quick"));
    auto config = platform::NetworkConfiguration::sharedInstance();
    config->setHostMappings(server->connectToSpec(443));
    config->setTrustedCAFile(server->caFile());
    std::vector<std::string> hosts;
    for (int i = 0; i < 5 * HostsPerPage; ++i) {
        hosts.push_back("t" + std::to_string(i) + ".trickle.example");
        config->addHostMapping(hosts.back(), 80, "127.0.0.1", trickle->port());
    }
    Load warm = load(std::string("https://") + Host + "/quick", platform::TransferOrigin::app());
    runUntil([&] { return warm.delegate->ended; }, 10);
    const auto l = static_cast<unsigned long>(limit);
    if (limit != 64) {
        std::printf("net_new_page_beside_trickling_page_%lu: %.1f ms\n", l, newPageBesideTricklingPage(*server));
        std::printf("net_new_page_beside_five_trickling_pages_%lu: %.1f ms\n", l,
                    newPageBesideFiveTricklingPages(hosts, *trickle));
    }
    if (limit == 128 || limit == 1024) {
        adserver::Response hang = adserver::Response::text("late");
        hang.delay = std::chrono::seconds(120);
        server->route("/hang", hang);
        server->route("/image.gif", adserver::Response::text("GIF89a", "image/gif"));
        std::printf("net_next_document_beside_16_kept_pings_%lu: %.1f ms\n", l, nextDocumentBesideKeptPings(*server));
    }
    if (limit == 64 || limit == 128) {
        adserver::Response hang = adserver::Response::text("late");
        hang.delay = std::chrono::seconds(120);
        server->route("/hang", hang);
        const std::size_t documents = platform::NetworkEngine::shared().limits().webContentTransfers;
        std::printf("net_new_document_beside_one_hanging_load_each_of_%zu_%lu: %.1f ms\n", documents, l,
                    newDocumentBesideOneHangingLoadEach(*server, std::min<std::size_t>(documents, HangingHosts)));
    }
}

// Each limit in a child process of its own, forked before this one starts any thread.
void newPageFigures() {
    for (rlim_t limit : {64, 128, 256, 1024}) {
        pid_t child = fork();
        if (child == 0) {
            newPageFiguresAt(limit);
            std::fflush(stdout);
            std::exit(0);
        }
        if (child > 0) waitpid(child, nullptr, 0);
    }
}

} // namespace

int main() {
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    newPageFigures();
    // Set before the network engine first runs: it reads the limit then.
    rlimit descriptors{};
    getrlimit(RLIMIT_NOFILE, &descriptors);
    descriptors.rlim_cur = std::min<rlim_t>(1024, descriptors.rlim_max);
    setrlimit(RLIMIT_NOFILE, &descriptors);

    adserver::Options options;
    options.hostNames = {Host};
    auto server = adserver::AdServer::start(options);
    auto silent = adserver::SilentServer::start();
    if (!server || !silent) {
        std::printf("net_app_request_beside_hanging_page: the servers did not start, no figure\n");
        return 1;
    }
    adserver::Response hang = adserver::Response::text("late");
    hang.delay = std::chrono::seconds(60);
    server->route("/hang", hang);
    adserver::Response trickle = adserver::Response::text(std::string(300, 't'));
    trickle.unknownLength = true;
    trickle.chunkBytes = 1;
    trickle.chunkDelay = std::chrono::milliseconds(100);
    server->route("/trickle", trickle);
    server->route("/quick", adserver::Response::text("quick"));
    adserver::Response slowish = adserver::Response::text("slowish");
    slowish.delay = std::chrono::milliseconds(300);
    server->route("/slowish", slowish);
    adserver::Response drop;
    drop.fault = adserver::Fault::Drop;
    server->route("/drop", drop);
    // Drops the first it hears, answers the others.
    auto heard = std::make_shared<std::atomic<int>>(0);
    server->route("/drop-once", [heard](const adserver::Request&) {
        adserver::Response r = adserver::Response::text("answered");
        if (heard->fetch_add(1) == 0) r.fault = adserver::Fault::Drop;
        return r;
    });

    auto config = platform::NetworkConfiguration::sharedInstance();
    config->setHostMappings(server->connectToSpec(443));
    config->setTrustedCAFile(server->caFile());
    auto silentHost = [](int page, int host) {
        return "p" + std::to_string(page) + "-h" + std::to_string(host) + ".silent.example";
    };
    for (int page = 0; page < Pages; ++page) {
        for (int host = 0; host < HostsPerPage; ++host) {
            config->addHostMapping(silentHost(page, host), 443, "127.0.0.1", silent->port());
        }
    }

    // Warm: the first request pays for the TLS set-up.
    Load warm = load(std::string("https://") + Host + "/quick", platform::TransferOrigin::app());
    runUntil([&] { return warm.delegate->ended; }, 10);

    std::printf("net_app_request_beside_hanging_page: %.1f ms\n", appRequestBeside(*server, "/hang"));
    std::printf("net_app_request_beside_trickling_page: %.1f ms\n", appRequestBeside(*server, "/trickle"));
    std::printf("net_post_receptions_dropped_on_kept_alive: %zu receptions\n",
                receptionsOnKeptAlive(*server, "POST", "/drop"));
    std::printf("net_get_receptions_dropped_once_on_kept_alive: %zu receptions\n",
                receptionsOnKeptAlive(*server, "GET", "/drop-once"));
    {
        auto fourthSilent = adserver::SilentServer::start();
        std::vector<std::string> hosts;
        for (int i = 0; i < 3 * HostsPerPage; ++i) {
            hosts.push_back("f" + std::to_string(i) + ".silent.example");
            config->addHostMapping(hosts.back(), 443, "127.0.0.1", fourthSilent->port());
        }
        std::printf("net_fourth_page_beside_three_hanging_pages: %.1f ms\n", fourthPageBeside(hosts));
    }

    const std::size_t before = openDescriptors(descriptors.rlim_cur);
    std::vector<Load> pages;
    for (int page = 0; page < Pages; ++page) {
        auto origin = platform::TransferOrigin::webContent(platform::TransferOrigin::newId());
        for (int i = 0; i < LoadsPerPage; ++i) {
            pages.push_back(load("https://" + silentHost(page, i % HostsPerPage) + "/hang?n=" + std::to_string(i),
                                 origin));
        }
    }
    untilStill(*silent);
    const std::size_t held = openDescriptors(descriptors.rlim_cur);
    std::vector<Load> app;
    auto asked = Clock::now();
    for (int i = 0; i < AppRequests; ++i) {
        app.push_back(load(std::string("https://") + Host + "/quick?n=" + std::to_string(i),
                           platform::TransferOrigin::app(), 10));
    }
    runUntil([&] { return std::all_of(app.begin(), app.end(), [](const Load& l) { return l.delegate->ended; }); },
             30);
    double appMs = std::chrono::duration<double, std::milli>(Clock::now() - asked).count();
    auto failed = std::count_if(app.begin(), app.end(), [](const Load& l) { return l.delegate->failed; });
    std::printf("net_descriptors_before_pages: %zu descriptors\n", before);
    std::printf("net_twelve_hanging_pages_descriptors: %zu descriptors\n", held - before);
    std::printf("net_twelve_hanging_pages_connections: %zu connections\n", silent->waitingConnections());
    std::printf("net_app_requests_beside_twelve_hanging_pages: %.1f ms\n", appMs);
    std::printf("net_app_requests_failed_beside_twelve_hanging_pages: %lld of %d requests\n",
                static_cast<long long>(failed), AppRequests);
    cancelAndDrain(pages);

    // The app's side flooded: 1,800 requests to 300 hosts that never answer.
    auto floodSilent = adserver::SilentServer::start();
    for (int host = 0; host < FloodHosts; ++host) {
        config->addHostMapping("a" + std::to_string(host) + ".silent.example", 443, "127.0.0.1", floodSilent->port());
    }
    const std::size_t beforeFlood = openDescriptors(descriptors.rlim_cur);
    std::vector<Load> flood;
    for (int i = 0; i < FloodRequests; ++i) {
        flood.push_back(load("https://a" + std::to_string(i % FloodHosts) + ".silent.example/hang?n=" +
                                 std::to_string(i),
                             platform::TransferOrigin::app()));
    }
    untilStill(*floodSilent);
    const std::size_t heldByFlood = openDescriptors(descriptors.rlim_cur);
    std::FILE* file = std::tmpfile();
    auto floodFailed = std::count_if(flood.begin(), flood.end(), [](const Load& l) { return l.delegate->failed; });
    std::printf("net_app_flood_descriptors: %zu descriptors\n", heldByFlood - beforeFlood);
    std::printf("net_app_flood_connections: %zu connections\n", floodSilent->waitingConnections());
    std::printf("net_app_flood_failed_at_once: %lld of %d requests\n", static_cast<long long>(floodFailed),
                FloodRequests);
    std::printf("net_app_flood_file_opens: %s\n", file != nullptr ? "yes" : "no");
    if (file != nullptr) std::fclose(file);
    cancel(flood);
    return 0;
}
