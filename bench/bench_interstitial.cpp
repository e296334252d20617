// interstitial_road_overhead_ms: the median over 100 warm interstitial loads (the SDK-core page
// already loaded; a new interstitial for each, as apps make them) of the time from loadRequest to
// interstitialDidReceiveAd, minus the time of the same ad fetch done directly with curl right after.
// mraid_expand_ms: the median over 30 expands of the demo banner's ad, from the page's expand message
// to the ad view shown on the expanded full screen, on the real clock.
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "ads/core/public/GADBannerView.h"
#include "ads/core/public/GADInterstitial.h"
#include "ads/core/public/GADInterstitialDelegate.h"
#include "ads/core/public/GADRequest.h"
#include "ads/core/slot/GADAd.h"
#include "ads/core/slot/GADSlot.h"
#include "ads/render/GADAdView.h"
#include "ads/render/GADViewController.h"
#include "bench/BenchDirectFetcher.h"
#include "platform/base/Log.h"
#include "platform/foundation/Sandbox.h"
#include "platform/foundation/UserDefaults.h"
#include "platform/runloop/MainLoop.h"
#include "platform/ui/ViewController.h"
#include "tools/demo/DemoBannerDelegate.h"
#include "tools/demo/DemoHostApp.h"
#include "tools/demo/DemoInterstitial.h"
#include "tools/demo/DemoServer.h"
#include "tools/demo/DemoTimeline.h"
#include "bench/BenchQuick.h"

namespace {

using bench::median;
using bench::msSince;
using bench::SteadyClock;

const int kWarmUpLoads = bench::quickOr(5, 1);
const int kMeasuredLoads = bench::quickOr(100, 3);
const int kMeasuredExpands = bench::quickOr(30, 2);
constexpr double kTimeoutSeconds = 10.0;

struct Outcome : ruzave::GADInterstitialDelegate {
    void interstitialDidReceiveAd(ruzave::GADInterstitial&) override { received = true; }
    void interstitialDidFailToReceiveAdWithError(ruzave::GADInterstitial&, const platform::Error&) override {
        failed = true;
    }
    bool received = false;
    bool failed = false;
};

// One load of a new interstitial: the milliseconds to interstitialDidReceiveAd (negative on failure),
// and the ad URL it fetched.
double loadInterstitial(std::string* adURL) {
    auto outcome = std::make_shared<Outcome>();
    auto interstitial = ruzave::GADInterstitial::initWithAdUnitID(std::string(demo::DemoInterstitial::kAdUnitID));
    interstitial->setDelegate(outcome);
    auto start = SteadyClock::now();
    interstitial->loadRequest(ruzave::GADRequest::request());
    platform::MainLoop::main().runUntil([&] { return outcome->received || outcome->failed; }, kTimeoutSeconds);
    double ms = msSince(start);
    auto ad = interstitial->slot()->ad();
    if (!outcome->received || !ad || !ad->adURL()) return -1;
    *adURL = ad->adURL()->absoluteString();
    return ms;
}

// One expand of the banner's ad from its page's message: milliseconds until the ad view is on the
// expanded full screen (negative on failure); the screen is closed again before returning.
double expandOnce(demo::DemoHostApp& app) {
    auto& loop = platform::MainLoop::main();
    auto root = app.rootViewController();
    auto adView = app.banner()->slot()->adView();
    adView->setTouched(true);
    auto start = SteadyClock::now();
    adView->evaluate("location.href='gmsg://mobileads.ruzave.example/open?a=expand'");
    bool shown = loop.runUntil(
        [&] {
            auto up = root->presentedViewController();
            return up && adView->superview() == up->view() && adView->window();
        },
        kTimeoutSeconds);
    double ms = msSince(start);
    auto expanded = std::dynamic_pointer_cast<ruzave::GADViewController>(root->presentedViewController());
    loop.runUntil([&] { return expanded && !expanded->isBeingPresented(); }, kTimeoutSeconds);
    if (expanded) expanded->relinquishScreenWithCompletion(nullptr);
    loop.runUntil([&] { return root->presentedViewController() == nullptr; }, kTimeoutSeconds);
    return shown ? ms : -1;
}

int fail(const std::string& why) {
    std::printf("interstitial_road_overhead_ms: %s, no figure\n", why.c_str());
    return 1;
}

int measure() {
    demo::DemoServer::Options options;
    options.ad.refreshRate.clear();
    std::string why;
    auto server = demo::DemoServer::start(options, &why);
    if (!server) return fail(why);
    demo::DemoTimeline timeline;
    auto delegate = std::make_shared<demo::DemoBannerDelegate>(timeline);
    auto app = demo::DemoHostApp::launch(options.adUnitID, delegate, &why);
    if (!app) return fail(why);
    auto& loop = platform::MainLoop::main();
    app->loadAd();
    if (!loop.runUntil([&] { return delegate->receivedCount() > 0; }, kTimeoutSeconds)) return fail("no banner");
    bench::DirectFetcher direct(server->server().caFile());

    std::string adURL;
    for (int i = 0; i < kWarmUpLoads; ++i)
        if (loadInterstitial(&adURL) < 0) return fail("a warm-up load failed");
    std::vector<double> overheads, roads, directs;
    for (int i = 0; i < kMeasuredLoads; ++i) {
        double road = loadInterstitial(&adURL);
        double curl = road >= 0 ? direct.fetch(adURL) : -1;
        if (road < 0 || curl < 0) return fail("a load or a direct fetch failed");
        roads.push_back(road);
        directs.push_back(curl);
        overheads.push_back(road - curl);
    }
    std::vector<double> expands;
    for (int i = 0; i < kMeasuredExpands; ++i) {
        double ms = expandOnce(*app);
        if (ms < 0) return fail("an expand did not show");
        expands.push_back(ms);
    }
    std::printf("interstitial_road_overhead_ms: %.3f ms\n", median(overheads));
    std::printf("interstitial_road_load_median_ms: %.3f ms\n", median(roads));
    std::printf("interstitial_road_curl_fetch_median_ms: %.3f ms\n", median(directs));
    std::printf("mraid_expand_ms: %.3f ms\n", median(expands));
    app.reset();
    loop.runUntilIdle();
    return 0;
}

} // namespace

int main() {
    return bench::runInTemporaryHome("interstitial", measure, fail);
}
