// The app's requests beside web content, at a 1,024-descriptor limit: how long an app request to a host
// takes while a page's 8 loads to that host hang, or trickle a byte at a time; and what twelve pages of
// 128 hanging loads each (on hosts of their own) hold in descriptors and connections, and whether the
// app's requests still get through.
#include <fcntl.h>
#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/net/NetworkConfiguration.h"
#include "platform/net/TransferOrigin.h"
#include "platform/net/URLConnection.h"
#include "platform/runloop/MainLoop.h"
#include "tools/adserver/AdServer.h"
#include "tools/adserver/SilentServer.h"

namespace {

using Clock = std::chrono::steady_clock;

const char* const Host = "ads.ruzave.example";
constexpr int Pages = 12;
constexpr int LoadsPerPage = 128;
constexpr int HostsPerPage = 22;  // six loads each, as a page's own limit lets them go
constexpr int AppRequests = 8;

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

Load load(const std::string& url, platform::TransferOrigin origin, double timeout = 120) {
    Load l;
    auto request = *platform::URLRequest::withURLString(url);
    request.setTimeoutInterval(timeout);
    l.connection = platform::URLConnection::create(request, l.delegate, origin, true);
    return l;
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
    auto origin = platform::TransferOrigin::webContent(platform::TransferOrigin::newPage());
    for (int i = 0; i < 8; ++i) page.push_back(load(base + path + "?n=" + std::to_string(i), origin));
    runUntil([&] { return server.requestCount(path) >= 6; }, 10);
    auto asked = Clock::now();
    Load app = load(base + "/quick", platform::TransferOrigin::app());
    runUntil([&] { return app.delegate->ended; }, 120);
    double ms = std::chrono::duration<double, std::milli>(Clock::now() - asked).count();
    cancel(page);
    return app.delegate->ended && !app.delegate->failed ? ms : -1;
}

} // namespace

int main() {
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
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

    const std::size_t before = openDescriptors(descriptors.rlim_cur);
    std::vector<Load> pages;
    for (int page = 0; page < Pages; ++page) {
        auto origin = platform::TransferOrigin::webContent(platform::TransferOrigin::newPage());
        for (int i = 0; i < LoadsPerPage; ++i) {
            pages.push_back(load("https://" + silentHost(page, i % HostsPerPage) + "/hang?n=" + std::to_string(i),
                                 origin));
        }
    }
    // Until the connections stop growing for a second.
    std::size_t seen = 0;
    auto still = Clock::now();
    runUntil(
        [&] {
            std::size_t now = silent->waitingConnections();
            if (now != seen) {
                seen = now;
                still = Clock::now();
            }
            return Clock::now() - still > std::chrono::seconds(1);
        },
        30);
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
    cancel(pages);
    return 0;
}
