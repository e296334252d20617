// Many banners at once, against the local ad server, each with its own ad unit and creative.
// banners_100_cost_ratio: the mean time from loadRequest to adViewDidReceiveAd of 100 banners loaded
// together, divided by the median of the same for one banner loaded alone, in the same run.
// banner_main_thread_ms: the main thread's processor time per banner while those 100 load.
// banner_rss_kb: resident memory added per loaded banner over those 100; banner_rss_after_release_kb:
// what stays in all once the 100 are released and the loop has run; banner_heap_after_release_kb: the
// same in bytes the allocator counts as still allocated.
// core_page_requests_per_second: ad URL requests answered by the core page per second, 50 requesters
// asking at once, straight through the core controller.
#include <curl/curl.h>
#include <malloc.h>

#include <chrono>
#include <cstdio>
#include <ctime>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "bench/BenchResident.h"
#include "ads/core/public/GADAdSize.h"
#include "ads/core/public/GADBannerView.h"
#include "ads/core/public/GADBannerViewDelegate.h"
#include "ads/core/public/GADRequest.h"
#include "ads/core/sdkcore/GADHosts.h"
#include "ads/core/sdkcore/GADSDKCoreController.h"
#include "ads/core/sdkcore/GADSDKCoreControllerDelegate.h"
#include "bench/BenchDirectFetcher.h"
#include "platform/base/Log.h"
#include "platform/foundation/Sandbox.h"
#include "platform/foundation/UserDefaults.h"
#include "platform/runloop/MainLoop.h"
#include "platform/ui/View.h"
#include "platform/ui/ViewController.h"
#include "tools/adserver/AdResponses.h"
#include "tools/adserver/CorePage.h"
#include "tools/demo/DemoBannerDelegate.h"
#include "tools/demo/DemoHostApp.h"
#include "tools/demo/DemoServer.h"
#include "tools/demo/DemoTimeline.h"
#include "tools/HeapInUse.h"
#include "bench/BenchQuick.h"

namespace {

using bench::median;
using bench::msSince;
using bench::SteadyClock;

const int kManyBanners = bench::quickOr(100, 4);
const int kSingleLoads = bench::quickOr(20, 2);
const int kAskingAtOnce = bench::quickOr(50, 4);
const int kCorePageRounds = bench::quickOr(20, 2);
constexpr double kTimeoutSeconds = 60.0;
const char* const kUnitPrefix = "ruzave-bench/banner-";


double threadCPUms() {
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) * 1000 + static_cast<double>(ts.tv_nsec) / 1e6;
}

struct Memory {
    long residentKB = 0;
    long allocatedKB = 0;
};

// Resident memory once the loop is idle and the allocator has handed freed pages back, and what the
// allocator counts as allocated. The local server runs in this process: its request log is emptied
// first, so only the app's memory counts.
Memory settledMemory(adserver::AdServer& server) {
    auto& loop = platform::MainLoop::main();
    server.clearLog();
    loop.runFor(0.2);
    loop.runUntilIdle();
    ::malloc_trim(0);
    return Memory{residentKB(), static_cast<long>(tools::heapInUseBytes() / 1024)};
}

// Hears one banner's outcome, with the time it came.
struct Outcome : ruzave::GADBannerViewDelegate {
    SteadyClock::time_point started;
    double ms = -1;
    bool ended = false;
    std::string error;
    void adViewDidReceiveAd(ruzave::GADBannerView&) override {
        if (ended) return;
        ms = msSince(started);
        ended = true;
    }
    void adViewDidFailToReceiveAdWithError(ruzave::GADBannerView&, const platform::Error& e) override {
        if (ended) return;
        ended = true;
        error = e.description;
    }
};

struct Placed {
    std::shared_ptr<ruzave::GADBannerView> banner;
    std::shared_ptr<Outcome> outcome;
};

Placed place(demo::DemoHostApp& app, int unit, float originY) {
    Placed p;
    p.outcome = std::make_shared<Outcome>();
    p.banner = ruzave::GADBannerView::initWithAdSize(ruzave::kGADAdSizeBanner, platform::Point{0, originY});
    if (!p.banner) return p;
    p.banner->setAdUnitID(kUnitPrefix + std::to_string(unit));
    p.banner->setRootViewController(app.rootViewController());
    p.banner->setDelegate(p.outcome);
    app.rootViewController()->view()->addSubview(p.banner);
    return p;
}

void release(std::vector<Placed>& placed) {
    for (auto& p : placed) {
        if (!p.banner) continue;
        p.banner->setDelegate(std::weak_ptr<ruzave::GADBannerViewDelegate>());
        p.banner->removeFromSuperview();
    }
    placed.clear();
}

// Loads every banner together; false when one failed or did not end in time.
bool loadTogether(std::vector<Placed>& placed, std::string* why) {
    for (auto& p : placed) {
        if (!p.banner) {
            *why = "a banner view could not be made";
            return false;
        }
        p.outcome->started = SteadyClock::now();
        p.banner->loadRequest(ruzave::GADRequest::request());
    }
    platform::MainLoop::main().runUntil(
        [&] {
            for (const auto& p : placed)
                if (!p.outcome->ended) return false;
            return true;
        },
        kTimeoutSeconds);
    for (const auto& p : placed) {
        if (p.outcome->ms < 0) {
            *why = p.outcome->ended ? "a load failed: " + p.outcome->error : "a load did not end in time";
            return false;
        }
    }
    return true;
}

// A requester of ad URLs that only counts its answers.
struct CountingRequester : ruzave::GADSDKCoreControllerDelegate {
    explicit CountingRequester(std::string unit) : unit_(std::move(unit)) {}
    std::optional<platform::Value> requestParameters() override {
        platform::Value p = platform::Value::object();
        p["slotname"] = unit_;
        p["request_id"] = requestID_;
        return p;
    }
    std::int32_t requestedAdType() override { return 1; }
    void setRequestID(const std::string& requestID) override { requestID_ = requestID; }
    void loadAdURLWithParameters(const platform::Value&) override { answered = true; }
    void loadAd(const std::shared_ptr<ruzave::GADAd>&, const std::optional<platform::Value>&) override {
        failed = answered = true;
    }
    void invalidJavaScriptRequest() override { failed = answered = true; }
    void failedJavaScriptFile() override { failed = answered = true; }
    std::int32_t CSIIdentifier() override { return 0; }

    bool answered = false;
    bool failed = false;

  private:
    std::string unit_;
    std::string requestID_;
};

// Answers per second over `kCorePageRounds` rounds of `kAskingAtOnce` requests; negative on failure.
double corePageRequestsPerSecond() {
    auto controller = ruzave::GADSDKCoreController::sharedInstance();
    auto& loop = platform::MainLoop::main();
    double seconds = 0;
    int answered = 0;
    for (int round = 0; round < kCorePageRounds; ++round) {
        std::vector<std::shared_ptr<CountingRequester>> requesters;
        for (int i = 0; i < kAskingAtOnce; ++i)
            requesters.push_back(std::make_shared<CountingRequester>(kUnitPrefix + std::to_string(i)));
        auto start = SteadyClock::now();
        for (auto& r : requesters) controller->buildAdURL(r);
        bool all = loop.runUntil(
            [&] {
                for (const auto& r : requesters)
                    if (!r->answered) return false;
                return true;
            },
            kTimeoutSeconds);
        seconds += msSince(start) / 1000;
        for (const auto& r : requesters)
            if (!r->answered || r->failed) all = false;
        if (!all) return -1;
        answered += kAskingAtOnce;
    }
    return answered / seconds;
}

int fail(const std::string& why) {
    std::printf("banners_100_cost_ratio: %s, no figure\n", why.c_str());
    return 1;
}

int measure() {
    demo::DemoServer::Options options;
    options.ad.refreshRate.clear();  // no reload timers while measuring
    std::string why;
    auto server = demo::DemoServer::start(options, &why);
    if (!server) return fail(why);

    // Every bench ad unit gets an ad URL from the core page, and a creative of its own behind it.
    adserver::CorePageScenario scenario;
    scenario.host = ruzave::GADHosts::kSDKCoreHost;
    scenario.path = ruzave::GADHosts::kSDKCorePagePath;
    scenario.adBase = std::string("https://") + ruzave::GADHosts::kAdServerHost;
    for (int i = 0; i < kManyBanners + kSingleLoads + 1; ++i)
        scenario.slots[kUnitPrefix + std::to_string(i)] =
            adserver::CorePageScenario::answer(adserver::CorePageScenario::Answer::AdURL);
    scenario.fallback = adserver::CorePageScenario::answer(adserver::CorePageScenario::Answer::Invalid);
    scenario.constants = server->constants();
    adserver::installCorePage(server->server(), scenario);
    adserver::StandardAd base = options.ad;
    server->server().routeHost(ruzave::GADHosts::kAdServerHost, demo::DemoServer::kAdPath,
                               [base](const adserver::Request& request) {
                                   adserver::StandardAd ad = base;
                                   const std::string unit = request.param("slotname");
                                   const std::string marker = "Ruzave demo banner";
                                   if (auto at = ad.html.find(marker); at != std::string::npos)
                                       ad.html.replace(at, marker.size(), "Banner of " + unit);
                                   return adserver::standardAdResponse(ad);
                               });

    demo::DemoTimeline timeline;
    auto delegate = std::make_shared<demo::DemoBannerDelegate>(timeline);
    auto app = demo::DemoHostApp::launch(kUnitPrefix + std::to_string(kManyBanners + kSingleLoads), delegate, &why);
    if (!app) return fail(why);
    auto& loop = platform::MainLoop::main();

    // The cold load brings the core page.
    app->loadAd();
    loop.runUntil([&] { return delegate->receivedCount() + delegate->failedCount() > 0; }, kTimeoutSeconds);
    if (delegate->receivedCount() == 0) return fail("the first banner did not load");

    // One banner alone, a fresh one each time (which also warms connections and caches).
    std::vector<double> singles;
    for (int i = 0; i < kSingleLoads; ++i) {
        std::vector<Placed> one{place(*app, kManyBanners + i, 80)};
        if (!loadTogether(one, &why)) return fail(why);
        singles.push_back(one.front().outcome->ms);
        release(one);
    }
    const double single = median(singles);

    const Memory before = settledMemory(server->server());
    std::vector<Placed> many;
    const double cpuStarted = threadCPUms();
    for (int i = 0; i < kManyBanners; ++i) many.push_back(place(*app, i, 80 + 50.0f * static_cast<float>(i)));
    if (!loadTogether(many, &why)) return fail(why);
    const double mainThreadMs = (threadCPUms() - cpuStarted) / kManyBanners;
    double sum = 0;
    for (const auto& p : many) sum += p.outcome->ms;
    const double mean = sum / kManyBanners;
    const Memory loaded = settledMemory(server->server());
    release(many);
    const Memory after = settledMemory(server->server());

    const double perSecond = corePageRequestsPerSecond();

    std::printf("banners_100_cost_ratio: %.3f ratio\n", mean / single);
    std::printf("banners_100_mean_load_ms: %.3f ms\n", mean);
    std::printf("banner_single_load_median_ms: %.3f ms\n", single);
    std::printf("banner_main_thread_ms: %.3f ms\n", mainThreadMs);
    std::printf("banner_rss_kb: %.1f KB\n", static_cast<double>(loaded.residentKB - before.residentKB) / kManyBanners);
    std::printf("banner_rss_after_release_kb: %ld KB\n", after.residentKB - before.residentKB);
    std::printf("banner_heap_after_release_kb: %ld KB\n", after.allocatedKB - before.allocatedKB);
    if (perSecond > 0)
        std::printf("core_page_requests_per_second: %.0f requests/s\n", perSecond);
    else
        std::printf("core_page_requests_per_second: a request was not answered, no figure\n");
    app.reset();
    loop.runUntilIdle();
    return perSecond > 0 ? 0 : 1;
}

} // namespace

int main() {
    return bench::runInTemporaryHome("banners", measure, fail);
}
