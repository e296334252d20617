// A banner's events end to end against the local ad server: its timing report, its impression and
// click pings, manual pings, and an MRAID creative told of its readiness, size and visibility.
#include <doctest/doctest.h>

#include <chrono>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "ads/core/net/GADClickTrackerCollection.h"
#include "ads/core/public/GADAdSize.h"
#include "ads/core/public/GADBannerView.h"
#include "ads/core/public/GADBannerViewDelegate.h"
#include "ads/core/public/GADRequest.h"
#include "ads/core/sdkcore/GADHosts.h"
#include "ads/core/slot/GADAd.h"
#include "ads/core/slot/GADSlot.h"
#include "ads/core/telemetry/GADActiveViewMonitor.h"
#include "ads/core/telemetry/GADCSI.h"
#include "ads/core/util/GADURLEncoding.h"
#include "ads/render/GADAdView.h"
#include "platform/foundation/UserDefaults.h"
#include "platform/testing/Harness.h"
#include "platform/ui/Application.h"
#include "platform/ui/ViewController.h"
#include "platform/ui/Window.h"
#include "tests/ads/core/sdkcore/SDKCoreTestSupport.h"
#include "tools/adserver/AdResponses.h"
#include "tools/adserver/AdServer.h"
#include "tools/adserver/CorePage.h"
#include "tools/adserver/MRAIDScripts.h"
#include "tools/adserver/TrackingRoutes.h"

using platform::testing::Harness;
using ruzave::GADHosts;

namespace {

constexpr const char* kAdPath = "/mads/gma";

struct Recorder : ruzave::GADBannerViewDelegate {
    void adViewDidReceiveAd(ruzave::GADBannerView&) override { ++received; }
    void adViewDidFailToReceiveAdWithError(ruzave::GADBannerView&, const platform::Error&) override { ++failed; }
    int received = 0;
    int failed = 0;
};

std::string ping(const std::string& pathAndQuery) {
    return "https://" + std::string(GADHosts::kPingHost) + pathAndQuery;
}

// The server with the core page, pings, trackers and MRAID scripts, and a banner in a visible window.
struct EventsRoad : Harness {
    explicit EventsRoad(const adserver::StandardAd& ad, const char* csiProbability = "0") {
        platform::UserDefaults::standard()->set(ruzave::GADCSI::kProbabilityKey, platform::Value(csiProbability));
        server = sdkcoretest::startCoreServer();
        adserver::installPingEndpoints(*server);
        adserver::installTrackingEndpoints(*server);
        adserver::installMRAIDScripts(*server);
        adserver::installStandardAd(*server, GADHosts::kAdServerHost, kAdPath, ad);
        platform::Application::sharedApplication()->setApplicationState(platform::ApplicationState::Active);
        window = platform::Window::create();
        controller = platform::ViewController::create();
        window->setRootViewController(controller);
        window->makeKeyAndVisible();
        banner = ruzave::GADBannerView::initWithAdSize(ruzave::kGADAdSizeBanner);
        REQUIRE(banner);
        controller->view()->addSubview(banner);
        banner->setRootViewController(controller);
        banner->setDelegate(delegate);
    }
    void load() {
        banner->setAdUnitID("events-unit");
        banner->loadRequest(ruzave::GADRequest::request());
    }
    template <class Pred> bool until(Pred pred, double seconds = 20) { return sdkcoretest::pump(*this, pred, seconds); }
    std::shared_ptr<ruzave::GADSlot> slot() const { return banner->slot(); }

    std::unique_ptr<adserver::AdServer> server;
    std::shared_ptr<platform::Window> window;
    std::shared_ptr<platform::ViewController> controller;
    std::shared_ptr<ruzave::GADBannerView> banner;
    std::shared_ptr<Recorder> delegate = std::make_shared<Recorder>();
};

// "name.milliseconds" of `variable` in an "it" list; -1 when absent.
long reported(const std::string& it, const std::string& variable) {
    std::size_t at = it.find(variable + ".");
    if (at == std::string::npos) return -1;
    return std::strtol(it.c_str() + at + variable.size() + 1, nullptr, 10);
}

} // namespace

TEST_CASE("GADSlot: a sampled load reports its stages to the report server") {
    EventsRoad road(adserver::StandardAd{}, "1");
    // The ad answers late enough that the fetch is seen under way, however busy the machine.
    road.server->routeHost(GADHosts::kAdServerHost, kAdPath, [](const adserver::Request&) {
        adserver::Response r = adserver::standardAdResponse(adserver::StandardAd{});
        r.delay = std::chrono::milliseconds(300);
        return r;
    });
    road.load();
    // Time spent fetching and then rendering, on the virtual clock.
    REQUIRE(road.until([&] { return road.slot()->state() == ruzave::GADSlotStateFetchingAdContent; }));
    road.advance(0.8123);
    REQUIRE(road.until([&] { return road.delegate->received == 1; }));
    REQUIRE(road.until([&] { return road.server->requestCount("/csi") == 1; }));
    auto report = road.server->requests("/csi").at(0);
    CHECK(report.param("action") == "load_ad_ios");
    CHECK(report.param("s") == "diri_sdk");
    const std::string it = report.param("it");
    CAPTURE(it);
    const long arf = reported(it, "arf_ios"), ttc = reported(it, "ttc_ios");
    // At least the wait; the pump's small nudges of the clock add a little.
    CHECK(arf >= 812);
    CHECK(ttc >= arf);
    // The network stage runs from the page's answer to the response, so it saw the same wait.
    CHECK(reported(it, "nwl_ios") >= 812);
    CHECK(report.param("sdkVersion") == ruzave::GADRequest::sdkVersion());
}

TEST_CASE("GADSlot: impression pings go out once per ad and click pings on every click") {
    adserver::StandardAd ad;
    ad.impressionURLs = {ping("/pagead/imp?n=1")};
    ad.clickURLs = {ping("/pagead/clk?n=1"),
                    ping("/track/redirect?to=" + ruzave::gad_stringByEscapingAsURLParameter(
                                                     ping("/track/redirect?to=itms-apps%3A%2F%2Fapp%2Fid1")))};
    EventsRoad road(ad);
    road.load();
    REQUIRE(road.until([&] { return road.delegate->received == 1; }));
    REQUIRE(road.until([&] { return road.server->requestCount("/pagead/imp") == 1; }));
    road.slot()->didMakeAdImpression();
    road.slot()->pingClickURLs();
    road.slot()->pingClickURLs();
    auto trackers = ruzave::GADClickTrackerCollection::sharedInstance();
    REQUIRE(road.until([&] {
        return road.server->requestCount("/pagead/clk") == 2 && trackers->runningTrackerCount() == 0;
    }));
    CHECK(road.server->requestCount("/pagead/imp") == 1);
    // Each click followed both http hops and stopped at the app link.
    CHECK(road.server->requestCount("/track/redirect") == 4);

    // Manual impressions: pinged once, then the set is empty.
    road.slot()->ad()->addManualImpressionURLsFromArray({*platform::URL::parse(ping("/pagead/manual"))});
    road.slot()->pingManualTrackingURLs();
    road.slot()->pingManualTrackingURLs();
    REQUIRE(road.until([&] { return road.server->requestCount("/pagead/manual") == 1 && trackers->runningTrackerCount() == 0; }));
    CHECK(road.slot()->ad()->manualImpressionURLs().empty());
}

TEST_CASE("GADSlot: an MRAID creative hears it is ready, then its size, then that it is viewable") {
    adserver::StandardAd ad;
    ad.html = "<html><body style='margin:0'><script src='mraid.js'></script>"
              "<div style='width:320px;height:50px;background:#00f'>ad</div><script>"
              "var seen = [];"
              "mraid.addEventListener('ready', function () { seen.push('ready'); });"
              "mraid.addEventListener('sizeChange', function (w, h) { seen.push('size ' + w + 'x' + h); });"
              "mraid.addEventListener('viewableChange', function (v) { seen.push('viewable ' + v); });"
              "</script></body></html>";
    EventsRoad road(ad);
    road.load();
    REQUIRE(road.until([&] { return road.delegate->received == 1; }));
    auto slot = road.slot();
    CHECK(slot->isMRAIDEnabled());
    REQUIRE(road.until([&] { return slot->adView()->evaluate("seen.join('|')").find("viewable true") != std::string::npos; }));
    CHECK(slot->adView()->evaluate("seen.join('|')") == "ready|size 320x50|viewable true");
    REQUIRE(slot->activeViewMonitor());
    CHECK(slot->activeViewMonitor()->monitoredViewVisible());
    CHECK(slot->activeViewID() >= 1);

    // Leaving the window: the next sample says not visible and the page's verdict follows.
    road.banner->removeFromSuperview();
    slot->activeViewMonitor()->sample();
    REQUIRE(road.until([&] { return slot->adView()->evaluate("seen.join('|')").find("viewable false") != std::string::npos; }));
    CHECK_FALSE(slot->activeViewMonitor()->monitoredViewVisible());
}
