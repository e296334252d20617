// Publisher banners end to end: what a publisher's own ad server is sent (the page view's correlator,
// the user, key values, sizes), an ad handed to the app to render, and app events from a creative.
#include <doctest/doctest.h>

#include <memory>
#include <string>
#include <vector>

#include "ads/core/public/GADAppEventDelegate.h"
#include "ads/core/public/GADBannerViewDelegate.h"
#include "ads/core/public/GADCorrelator.h"
#include "ads/core/public/VODBannerView.h"
#include "ads/core/public/VODCustomRenderedAd.h"
#include "ads/core/public/VODCustomRenderedBannerViewDelegate.h"
#include "ads/core/public/VODRequest.h"
#include "ads/core/sdkcore/GADHosts.h"
#include "ads/core/slot/GADSlot.h"
#include "platform/net/NetworkConfiguration.h"
#include "platform/testing/Harness.h"
#include "platform/ui/Application.h"
#include "platform/ui/ViewController.h"
#include "platform/ui/Window.h"
#include "tests/ads/core/sdkcore/SDKCoreTestSupport.h"
#include "tools/adserver/AdServer.h"

using platform::testing::Harness;
using ruzave::GADHosts;

namespace {

constexpr const char* kAdPath = "/mads/gma";
const std::string kAdHTML =
    "<html><body style=\"margin:0\"><div style=\"width:320px;height:50px;background:#0a0\">Ad</div></body></html>";

struct Recorder : ruzave::GADBannerViewDelegate, ruzave::GADAppEventDelegate, ruzave::VODCustomRenderedBannerViewDelegate {
    void adViewDidReceiveAd(ruzave::GADBannerView&) override { calls.push_back("received"); }
    void adViewDidFailToReceiveAdWithError(ruzave::GADBannerView&, const platform::Error& e) override {
        calls.push_back("failed " + std::to_string(e.code));
    }
    void adViewDidReceiveAppEvent(ruzave::GADBannerView&, const std::string& name,
                                  const std::optional<std::string>& info) override {
        events.push_back(name + "=" + info.value_or("(none)"));
    }
    void bannerViewDidReceiveCustomRenderedAd(ruzave::VODBannerView&,
                                              const std::shared_ptr<ruzave::VODCustomRenderedAd>& ad) override {
        calls.push_back("custom");
        customAds.push_back(ad);
    }
    std::vector<std::string> calls;
    std::vector<std::string> events;
    std::vector<std::shared_ptr<ruzave::VODCustomRenderedAd>> customAds;
};

struct Road : Harness {
    Road() {
        server = sdkcoretest::startCoreServer();
        answerWith([](const adserver::Request&) { return adserver::Response::html(kAdHTML); });
        platform::Application::sharedApplication()->setApplicationState(platform::ApplicationState::Active);
        window = platform::Window::create();
        controller = platform::ViewController::create();
        window->setRootViewController(controller);
        window->makeKeyAndVisible();
    }
    ~Road() { platform::NetworkConfiguration::sharedInstance()->reset(); }
    void answerWith(adserver::Handler handler) { server->routeHost(GADHosts::kAdServerHost, kAdPath, std::move(handler)); }
    std::shared_ptr<ruzave::VODBannerView> banner(const std::string& unit) {
        auto b = ruzave::VODBannerView::initWithAdSize(ruzave::kGADAdSizeBanner);
        REQUIRE(b);
        controller->view()->addSubview(b);
        b->setRootViewController(controller);
        b->setAdUnitID(unit);
        b->setDelegate(delegate);
        banners.push_back(b);
        return b;
    }
    bool settled(std::size_t calls) {
        return sdkcoretest::pump(*this, [&] { return delegate->calls.size() >= calls; }, 20);
    }
    std::vector<adserver::Request> fetches() const { return server->requests(kAdPath); }

    std::unique_ptr<adserver::AdServer> server;
    std::shared_ptr<platform::Window> window;
    std::shared_ptr<platform::ViewController> controller;
    std::vector<std::shared_ptr<ruzave::VODBannerView>> banners;
    std::shared_ptr<Recorder> delegate = std::make_shared<Recorder>();
};

} // namespace

TEST_CASE_FIXTURE(Road, "VODBannerView: the ads of one page view reach the ad server with one correlator and the targeting") {
    auto correlator = ruzave::GADCorrelator::init();
    auto top = banner("top-unit");
    auto bottom = banner("bottom-unit");
    top->setCorrelator(correlator);
    bottom->setCorrelator(correlator);
    bottom->setValidAdSizesWithSizes({&ruzave::kGADAdSizeBanner, &ruzave::kGADAdSizeMediumRectangle, nullptr});

    auto request = ruzave::VODRequest::request();
    request->setPublisherProvidedID(std::string("  reader-9 "));
    request->setCustomTargeting(std::map<std::string, std::string>{{"section", "news"}});
    request->setCategoryExclusions(std::vector<std::string>{"gambling"});
    top->loadRequest(request);
    REQUIRE(settled(1));
    bottom->loadRequest(ruzave::VODRequest::request());
    REQUIRE(settled(2));
    CHECK(delegate->calls == std::vector<std::string>{"received", "received"});

    auto sent = fetches();
    REQUIRE(sent.size() == 2);
    const std::string id = std::to_string(correlator->correlationID());
    CHECK(sent[0].param("correlation_id") == id);
    CHECK(sent[1].param("correlation_id") == id);
    CHECK(sent[0].param("ppid") == "reader-9");
    CHECK(sent[0].param("custom_targeting") == "{\"section\":\"news\"}");
    CHECK(sent[0].param("category_exclusions") == "[\"gambling\"]");
    CHECK(sent[1].param("ppid").empty());
    CHECK(sent[1].param("sz") == "320x50|300x250");

    // The next page view: a reset correlator and a fresh load.
    correlator->reset();
    top->loadRequest(ruzave::VODRequest::request());
    REQUIRE(settled(3));
    sent = fetches();
    REQUIRE(sent.size() == 3);
    CHECK(sent[2].param("correlation_id") == std::to_string(correlator->correlationID()));
    CHECK(sent[2].param("correlation_id") != id);
}

TEST_CASE_FIXTURE(Road, "VODBannerView: a custom-rendering answer is handed to the app instead of shown") {
    answerWith([](const adserver::Request&) {
        return adserver::Response::html("<div id=\"native-look\">Buy now</div>")
            .header("X-Zudo-Custom-Rendering-Allowed", "1");
    });
    auto b = banner("custom-unit");
    b->setCustomRenderedBannerViewDelegate(delegate);
    b->loadRequest(ruzave::VODRequest::request());
    REQUIRE(settled(1));
    REQUIRE(delegate->calls == std::vector<std::string>{"custom"});
    auto ad = delegate->customAds[0];
    CHECK(ad->adHTML() == "<div id=\"native-look\">Buy now</div>");
    REQUIRE(ad->adBaseURL());
    CHECK(ad->adBaseURL()->absoluteString() == std::string("https://") + GADHosts::kAdServerHost + "/");
    CHECK(b->slot()->state() == ruzave::GADSlotStateRenderingAd);
    ad->finishedRenderingAdView(platform::View::create(platform::Rect(0, 0, 320, 50)));
    CHECK(b->slot()->state() == ruzave::GADSlotStateValidAd);

    // Without a renderer the same answer fails the load with code 12.
    auto plain = banner("custom-unit-2");
    plain->loadRequest(ruzave::VODRequest::request());
    REQUIRE(settled(2));
    CHECK(delegate->calls[1] == "failed 12");
}

TEST_CASE_FIXTURE(Road, "VODBannerView: app events sent by the creative reach the app event delegate") {
    answerWith([](const adserver::Request&) {
        return adserver::Response::html(
            "<html><body><div style=\"width:320px;height:50px\">Ad</div><script>"
            "location.href = 'gmsg://ads/appEvent?name=theme&info=dark';"
            "</script></body></html>");
    });
    auto b = banner("event-unit");
    b->setAppEventDelegate(delegate);
    b->loadRequest(ruzave::VODRequest::request());
    REQUIRE(settled(1));
    REQUIRE(sdkcoretest::pump(*this, [&] { return !delegate->events.empty(); }, 10));
    CHECK(delegate->events == std::vector<std::string>{"theme=dark"});
}
