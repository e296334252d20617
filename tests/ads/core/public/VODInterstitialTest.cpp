#include <doctest/doctest.h>

#include <memory>
#include <string>
#include <vector>

#include "ads/core/public/GADAppEventDelegate.h"
#include "ads/core/public/GADCorrelator.h"
#include "ads/core/public/GADInterstitialDelegate.h"
#include "ads/core/public/GADRequest.h"
#include "ads/core/public/GADRequestError.h"
#include "ads/core/public/VODCustomRenderedAd.h"
#include "ads/core/public/VODCustomRenderedInterstitialDelegate.h"
#include "ads/core/public/VODInterstitial.h"
#include "ads/core/slot/GADAd.h"
#include "ads/core/slot/GADSlot.h"
#include "platform/base/Log.h"
#include "platform/testing/Harness.h"
#include "platform/ui/ViewController.h"
#include "platform/ui/Window.h"
#include "tests/ads/core/slot/SlotTestSupport.h"

using namespace ruzave;
using platform::testing::Harness;
using slottest::FakeNeighbours;

namespace {

struct Recorder : GADInterstitialDelegate, GADAppEventDelegate {
    void interstitialDidFailToReceiveAdWithError(GADInterstitial&, const platform::Error& e) override {
        errors.push_back(e);
    }
    void interstitialWillPresentScreen(GADInterstitial&) override { ++presentations; }
    void interstitialDidReceiveAppEvent(GADInterstitial&, const std::string& name,
                                        const std::optional<std::string>& info) override {
        events.push_back(name + "=" + info.value_or("(none)"));
    }
    std::vector<platform::Error> errors;
    std::vector<std::string> events;
    int presentations = 0;
};

struct CustomRenderer : VODCustomRenderedInterstitialDelegate {
    void interstitialDidReceiveCustomRenderedAd(VODInterstitial& i, const std::shared_ptr<VODCustomRenderedAd>& ad) override {
        ads.push_back(ad);
        enabledWhenTold = i.isCustomAdRenderingEnabled();
    }
    std::vector<std::shared_ptr<VODCustomRenderedAd>> ads;
    bool enabledWhenTold = false;
};

struct Loaded {
    explicit Loaded(FakeNeighbours& fakes) : fakes_(fakes) {
        window = platform::Window::create();
        root = platform::ViewController::create();
        window->setRootViewController(root);
        window->makeKeyAndVisible();
        interstitial = VODInterstitial::initWithAdUnitID("pub-interstitial");
        REQUIRE(interstitial);
        interstitial->setDelegate(recorder);
    }
    void loadCustomAd() {
        auto ad = GADAd::init();
        ad->setAdBaseURL(platform::URL::parse("https://ads.ruzave.example/a/b"));
        auto fetcher = slottest::startFetch(fakes_, *interstitial->slot(), ad);
        REQUIRE(fetcher);
        fetcher->succeed(GADResponseTypeCustomRendering, "<div>full</div>");
    }
    FakeNeighbours& fakes_;
    std::shared_ptr<platform::Window> window;
    std::shared_ptr<platform::ViewController> root;
    std::shared_ptr<VODInterstitial> interstitial;
    std::shared_ptr<Recorder> recorder = std::make_shared<Recorder>();
};

} // namespace

TEST_CASE_FIXTURE(Harness, "VODInterstitial: a custom-rendered ad is presented by the app, never by the interstitial") {
    FakeNeighbours fakes;
    Loaded loaded(fakes);
    auto renderer = std::make_shared<CustomRenderer>();
    loaded.interstitial->setCustomRenderedInterstitialDelegate(renderer);
    loaded.loadCustomAd();
    runUntilIdle();
    REQUIRE(renderer->ads.size() == 1);
    CHECK(renderer->enabledWhenTold);
    CHECK(renderer->ads[0]->adHTML() == "<div>full</div>");
    CHECK(renderer->ads[0]->adBaseURL()->absoluteString() == "https://ads.ruzave.example/");
    renderer->ads[0]->finishedRenderingAdView(nullptr);
    CHECK(loaded.interstitial->isReady());

    platform::LogCapture log;
    loaded.interstitial->presentFromRootViewController(loaded.root);
    runUntilIdle();
    CHECK(slottest::logged(log, VODInterstitial::kCustomRenderingPresentMessage));
    CHECK_FALSE(loaded.interstitial->hasBeenUsed());
    CHECK(loaded.recorder->presentations == 0);
    CHECK_FALSE(loaded.root->presentedViewController());
    // Still loadable: the object was never used.
    CHECK(loaded.recorder->errors.empty());
}

TEST_CASE_FIXTURE(Harness, "VODInterstitial: a refused custom ad leaves custom rendering off") {
    FakeNeighbours fakes;
    Loaded loaded(fakes);
    loaded.loadCustomAd();
    runUntilIdle();
    REQUIRE(loaded.recorder->errors.size() == 1);
    const platform::Error& error = loaded.recorder->errors[0];
    CHECK(error.code == GADRequestErrorInvalidArgument);
    CHECK(error.description.find("Ignoring delegate callback. Delegate does not conform to "
                                 "VODCustomRenderedInterstitialDelegate.\nInterstitial: <VODInterstitial: 0x") == 0);
    CHECK(error.description.find("\nDelegate: (null)") != std::string::npos);
    CHECK_FALSE(loaded.interstitial->isCustomAdRenderingEnabled());

    // A delegate that went away counts as none.
    {
        auto gone = std::make_shared<CustomRenderer>();
        loaded.interstitial->setCustomRenderedInterstitialDelegate(gone);
    }
    loaded.loadCustomAd();
    runUntilIdle();
    CHECK(loaded.recorder->errors.size() == 2);
    CHECK_FALSE(loaded.interstitial->isCustomAdRenderingEnabled());
}

TEST_CASE_FIXTURE(Harness, "VODInterstitial: app events and the correlator work as on the banner") {
    FakeNeighbours fakes;
    Loaded loaded(fakes);
    auto& interstitial = loaded.interstitial;
    auto slot = interstitial->slot();
    slot->slotDelegate()->slotDidReceiveAppEventWithInfo(*slot, "before", std::nullopt);
    interstitial->setAppEventDelegate(loaded.recorder);
    slot->slotDelegate()->slotDidReceiveAppEventWithInfo(*slot, "level", std::string("3"));
    CHECK(loaded.recorder->events == std::vector<std::string>{"level=3"});

    auto correlator = GADCorrelator::init();
    interstitial->setCorrelator(correlator);
    CHECK(slot->correlator() == correlator);
    interstitial->loadRequest(GADRequest::request());
    REQUIRE(fakes.urlRequests.size() == 1);
    CHECK(interstitial->previousCorrelationID() == correlator->correlationID());
    interstitial->loadRequest(GADRequest::request());
    CHECK(fakes.urlRequests.size() == 1);
    correlator->reset();
    interstitial->loadRequest(GADRequest::request());
    CHECK(fakes.urlRequests.size() == 2);
    auto p = slot->requestParameters();
    REQUIRE(p);
    CHECK((*p)["correlation_id"] == correlator->correlationID());
    CHECK((*p)["format"] == "interstitial_mb");
}
