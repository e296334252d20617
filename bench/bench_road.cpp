// banner_road_overhead_ms: the median over 200 warm banner loads (the SDK-core page already loaded) of
// the time from loadRequest to adViewDidReceiveAd, minus the time of the same ad fetch done directly
// with curl right after each load. main_thread_p99_task_ms and main_thread_max_task_ms: the 99th
// percentile and the longest of the main-loop tasks run during those loads.
#include <curl/curl.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "ads/core/public/GADBannerView.h"
#include "ads/core/slot/GADAd.h"
#include "ads/core/slot/GADSlot.h"
#include "bench/BenchDirectFetcher.h"
#include "platform/base/Log.h"
#include "platform/foundation/Sandbox.h"
#include "platform/foundation/UserDefaults.h"
#include "platform/net/NetworkConfiguration.h"
#include "platform/runloop/MainLoop.h"
#include "tools/demo/DemoBannerDelegate.h"
#include "tools/demo/DemoHostApp.h"
#include "tools/demo/DemoServer.h"
#include "tools/demo/DemoTimeline.h"
#include "bench/BenchQuick.h"

namespace {

using bench::DirectFetcher;
using bench::median;
using bench::msSince;
using bench::SteadyClock;

const int kWarmUpLoads = bench::quickOr(10, 1);
const int kMeasuredLoads = bench::quickOr(200, 5);
constexpr double kLoadTimeoutSeconds = 10.0;

// One banner load: the milliseconds from loadRequest to adViewDidReceiveAd; negative when it failed.
double load(demo::DemoHostApp& app, const demo::DemoBannerDelegate& delegate) {
    std::size_t before = delegate.receivedCount() + delegate.failedCount();
    std::size_t received = delegate.receivedCount();
    auto start = SteadyClock::now();
    app.loadAd();
    platform::MainLoop::main().runUntil(
        [&] { return delegate.receivedCount() + delegate.failedCount() > before; }, kLoadTimeoutSeconds);
    double ms = msSince(start);
    return delegate.receivedCount() > received ? ms : -1;
}

int fail(const std::string& why) {
    std::printf("banner_road_overhead_ms: %s, no figure\n", why.c_str());
    return 1;
}

// The whole measurement; 0 when the figures were printed.
int measure() {
    demo::DemoServer::Options options;
    options.ad.refreshRate.clear();  // no reload timer between the measured loads
    std::string why;
    auto server = demo::DemoServer::start(options, &why);
    if (!server) return fail(why);
    demo::DemoTimeline timeline;
    auto delegate = std::make_shared<demo::DemoBannerDelegate>(timeline);
    auto app = demo::DemoHostApp::launch(options.adUnitID, delegate, &why);
    if (!app) return fail(why);
    DirectFetcher direct(server->server().caFile());
    auto& loop = platform::MainLoop::main();

    bool ok = true;
    // The cold load brings the core page; the warm-up ones settle connections and caches.
    for (int i = 0; i < 1 + kWarmUpLoads && ok; ++i) ok = load(*app, *delegate) >= 0;
    std::vector<double> overheads, roads, directs;
    loop.resetTaskStats();
    for (int i = 0; i < kMeasuredLoads && ok; ++i) {
        double road = load(*app, *delegate);
        auto ad = app->banner()->slot()->ad();
        double curl = (road >= 0 && ad && ad->adURL()) ? direct.fetch(ad->adURL()->absoluteString()) : -1;
        ok = road >= 0 && curl >= 0;
        if (!ok) break;
        roads.push_back(road);
        directs.push_back(curl);
        overheads.push_back(road - curl);
    }
    double maxTaskMs = loop.maxTaskSeconds() * 1000;
    double p99TaskMs = loop.taskSecondsPercentile(0.99) * 1000;
    int status = 0;
    if (!ok) {
        status = fail(delegate->lastError() ? demo::DemoBannerDelegate::describe(*delegate->lastError())
                                            : std::string("a load or a direct fetch failed"));
    } else {
        std::printf("banner_road_overhead_ms: %.3f ms\n", median(overheads));
        std::printf("main_thread_p99_task_ms: %.3f ms\n", p99TaskMs);
        std::printf("main_thread_max_task_ms: %.3f ms\n", maxTaskMs);
        std::printf("banner_road_load_median_ms: %.3f ms\n", median(roads));
        std::printf("banner_road_curl_fetch_median_ms: %.3f ms\n", median(directs));
    }
    app.reset();
    loop.runUntilIdle();
    return status;
}

} // namespace

int main() {
    return bench::runInTemporaryHome("road", measure, fail);
}
