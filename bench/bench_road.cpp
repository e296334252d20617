// banner_road_overhead_ms: the median over 200 warm banner loads (the SDK-core page already loaded) of
// the time from loadRequest to adViewDidReceiveAd, minus the time of the same ad fetch done directly
// with curl right after each load. main_thread_max_task_ms: the longest single main-loop task during
// those loads.
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
#include "platform/base/Log.h"
#include "platform/foundation/Sandbox.h"
#include "platform/foundation/UserDefaults.h"
#include "platform/net/NetworkConfiguration.h"
#include "platform/runloop/MainLoop.h"
#include "tools/demo/DemoBannerDelegate.h"
#include "tools/demo/DemoHostApp.h"
#include "tools/demo/DemoServer.h"
#include "tools/demo/DemoTimeline.h"

namespace {

using SteadyClock = std::chrono::steady_clock;

constexpr int kWarmUpLoads = 10;
constexpr int kMeasuredLoads = 200;
constexpr double kLoadTimeoutSeconds = 10.0;

double msSince(SteadyClock::time_point start) {
    return std::chrono::duration<double, std::milli>(SteadyClock::now() - start).count();
}

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    std::size_t n = values.size();
    return n % 2 == 1 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

size_t sink(char*, size_t size, size_t count, void* userp) {
    *static_cast<std::size_t*>(userp) += size * count;
    return size * count;
}

// One easy handle for every fetch, so that it keeps its connection as the SDK's engine does.
class DirectFetcher {
  public:
    DirectFetcher(const std::string& caFile) : easy_(curl_easy_init()) {
        for (const auto& entry : platform::NetworkConfiguration::sharedInstance()->connectToEntries())
            connectTo_ = curl_slist_append(connectTo_, entry.c_str());
        curl_easy_setopt(easy_, CURLOPT_CONNECT_TO, connectTo_);
        curl_easy_setopt(easy_, CURLOPT_CAINFO, caFile.c_str());
        curl_easy_setopt(easy_, CURLOPT_NOSIGNAL, 1L);
        curl_easy_setopt(easy_, CURLOPT_WRITEFUNCTION, &sink);
        curl_easy_setopt(easy_, CURLOPT_WRITEDATA, &bytes_);
    }
    ~DirectFetcher() {
        curl_easy_cleanup(easy_);
        curl_slist_free_all(connectTo_);
    }
    // The milliseconds one GET of `url` took; negative when it failed.
    double fetch(const std::string& url) {
        bytes_ = 0;
        curl_easy_setopt(easy_, CURLOPT_URL, url.c_str());
        auto start = SteadyClock::now();
        CURLcode result = curl_easy_perform(easy_);
        double ms = msSince(start);
        long status = 0;
        curl_easy_getinfo(easy_, CURLINFO_RESPONSE_CODE, &status);
        return (result == CURLE_OK && status == 200 && bytes_ > 0) ? ms : -1;
    }

  private:
    CURL* easy_;
    curl_slist* connectTo_ = nullptr;
    std::size_t bytes_ = 0;
};

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
    int status = 0;
    if (!ok) {
        status = fail(delegate->lastError() ? demo::DemoBannerDelegate::describe(*delegate->lastError())
                                            : std::string("a load or a direct fetch failed"));
    } else {
        std::printf("banner_road_overhead_ms: %.3f ms\n", median(overheads));
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
    char home[] = "/tmp/ruzave-bench-road-XXXXXX";
    if (::mkdtemp(home) == nullptr) return fail("no temporary folder for the app home");
    ::setenv("RUZAVE_APP_HOME", home, 1);
    // Only warnings and errors: the benchmark's own lines stay readable.
    platform::setLogLevel(platform::LogLevel::Warning);
    curl_global_init(CURL_GLOBAL_DEFAULT);
    int status = measure();
    curl_global_cleanup();
    // Written now, or the settings' write-back would bring the home back after it is removed.
    platform::UserDefaults::standard()->synchronize();
    platform::Sandbox::removeItem(home);
    return status;
}
