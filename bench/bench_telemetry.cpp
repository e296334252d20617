// ping_retry_10000_max_main_task_ms: 10,000 stored pings retried in one pass against the local ad
// server, which answers 500 to every other one; the longest main-loop task meanwhile (goal <= 4 ms).
// active_view_sample_us: one active-view sample of a banner in a window of 200 views, from the visible
// part through the unit's JSON command (goal <= 200 us).
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "ads/core/net/GADPinger.h"
#include "ads/core/sdkcore/GADHosts.h"
#include "ads/core/slot/GADSlot.h"
#include "ads/core/telemetry/GADActiveViewMonitor.h"
#include "platform/foundation/UserDefaults.h"
#include "platform/net/NetworkConfiguration.h"
#include "platform/runloop/DispatchQueue.h"
#include "platform/runloop/MainLoop.h"
#include "platform/ui/Application.h"
#include "platform/ui/View.h"
#include "platform/ui/Window.h"
#include "tools/adserver/AdServer.h"
#include "bench/BenchQuick.h"

namespace {

using SteadyClock = std::chrono::steady_clock;

const int kGroups = bench::quickOr(10, 2);
const int kPingsPerGroup = bench::quickOr(1000, 50);  // the pinger's largest group
const int kSamples = bench::quickOr(2000, 50);

int fail(const std::string& why) {
    std::fprintf(stderr, "bench_telemetry: %s\n", why.c_str());
    return 1;
}

int pingRetries() {
    adserver::Options options;
    options.hostNames = ruzave::GADHosts::allHosts();
    auto server = adserver::AdServer::start(options);
    if (!server) return fail("the local ad server did not start");
    server->route("/pagead/retry", [](const adserver::Request& r) {
        int n = std::atoi(r.param("n").c_str());
        return adserver::Response::text("", "text/plain", n % 2 ? 500 : 204);
    });
    auto config = platform::NetworkConfiguration::sharedInstance();
    config->setTrustedCAFile(server->caFile());
    if (!config->setHostMappings(server->connectToSpec(443))) return fail("host mapping refused");

    // The store as earlier runs left it.
    auto defaults = platform::UserDefaults::standard();
    defaults->set("/ruzave/ads/maximum_retry_url_count", platform::Value(kPingsPerGroup));
    platform::Value keys = platform::Value::array();
    for (int g = 0; g < kGroups; ++g) {
        std::string key = "/ruzave/ads/bench_group_" + std::to_string(g);
        keys.push_back(key);
        platform::Value group = platform::Value::object();
        for (int i = 0; i < kPingsPerGroup; ++i) {
            int n = g * kPingsPerGroup + i;
            group["https://" + std::string(ruzave::GADHosts::kPingHost) + "/pagead/retry?n=" + std::to_string(n)] =
                platform::Value{{"/ruzave/ads/retry_count", 3}};
        }
        defaults->set(key, group);
    }
    defaults->set("/ruzave/ads/retry_group_keys", keys);

    auto pinger = ruzave::GADPinger::init();
    auto& loop = platform::MainLoop::main();
    loop.resetTaskStats();
    auto start = SteadyClock::now();
    pinger->lockQueue()->async([pinger] { pinger->pingRetryURLs(); });
    const std::size_t total = static_cast<std::size_t>(kGroups) * kPingsPerGroup;
    bool done = loop.runUntil([&] { return server->requestCount("/pagead/retry") >= total; }, 300.0);
    // Let the last completions reach the main loop and the pinger's queue.
    loop.runFor(0.5);
    pinger->lockQueue()->sync([] {});
    double seconds = std::chrono::duration<double>(SteadyClock::now() - start).count();
    if (!done) return fail("only " + std::to_string(server->requestCount("/pagead/retry")) + " pings arrived");
    std::size_t left = 0;
    for (int g = 0; g < kGroups; ++g) {
        auto group = defaults->dictionary("/ruzave/ads/bench_group_" + std::to_string(g));
        left += group ? group->size() : 0;
    }
    std::printf("ping_retry_10000_max_main_task_ms: %.3f ms\n", loop.maxTaskSeconds() * 1000);
    std::printf("ping_retry_10000_pass_s: %.3f s\n", seconds);
    std::printf("ping_retry_10000_still_stored: %zu pings\n", left);
    return 0;
}

// Builds each sample's unit the way the slot does after every refresh.
struct SampleSink : ruzave::GADActiveViewMonitorDelegate {
    std::shared_ptr<ruzave::GADSlot> slot;
    std::size_t bytes = 0;
    void activeViewMonitorDidRefresh(ruzave::GADActiveViewMonitor& monitor) override {
        auto command = ruzave::GADSlot::activeViewJSCommandWithParams(
            slot->activeViewParameters(monitor.shared_from_this(), false));
        if (command) bytes += command->size();
    }
};

int activeViewSample() {
    platform::Application::sharedApplication()->setApplicationState(platform::ApplicationState::Active);
    auto window = platform::Window::create();
    window->makeKeyAndVisible();
    // 200 views: a nest ten deep holding the banner, and 190 siblings around it.
    std::shared_ptr<platform::View> parent = window;
    for (int depth = 0; depth < 10; ++depth) {
        auto v = platform::View::create(platform::Rect(1, 1, 400, 700));
        v->setClipsToBounds(depth % 3 == 0);
        parent->addSubview(v);
        parent = v;
    }
    for (int i = 0; i < 189; ++i) window->addSubview(platform::View::create(platform::Rect(i % 20, i, 50, 20)));
    auto slot = ruzave::GADSlot::initWithFrame(platform::Rect(0, 300, 320, 50));
    auto banner = platform::View::create(platform::Rect(0, 300, 320, 50));
    parent->addSubview(banner);

    auto monitor = ruzave::GADActiveViewMonitor::initWithView(banner);
    auto sink = std::make_shared<SampleSink>();
    sink->slot = slot;
    monitor->setDelegate(sink);
    for (int i = 0; i < 100; ++i) monitor->updateViewBounds();  // warm-up
    std::vector<double> times;
    times.reserve(kSamples);
    for (int i = 0; i < kSamples; ++i) {
        auto t0 = SteadyClock::now();
        monitor->updateViewBounds();
        times.push_back(std::chrono::duration<double, std::micro>(SteadyClock::now() - t0).count());
    }
    if (!monitor->monitoredViewVisible() || sink->bytes == 0) return fail("the banner was not sampled as visible");
    std::sort(times.begin(), times.end());
    std::printf("active_view_sample_us: %.1f us\n", times[times.size() / 2]);
    std::printf("active_view_sample_p99_us: %.1f us\n", times[times.size() * 99 / 100]);
    return 0;
}

} // namespace

int main() {
    int status = activeViewSample();
    if (status == 0) status = pingRetries();
    return status;
}
