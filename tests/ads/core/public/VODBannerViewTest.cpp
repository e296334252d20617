#include <doctest/doctest.h>

#include <memory>
#include <string>
#include <vector>

#include "ads/core/public/GADAdSizeDelegate.h"
#include "ads/core/public/GADAppEventDelegate.h"
#include "ads/core/public/GADBannerViewDelegate.h"
#include "ads/core/public/GADCorrelator.h"
#include "ads/core/public/GADRequest.h"
#include "ads/core/public/GADRequestError.h"
#include "ads/core/public/VODBannerView.h"
#include "ads/core/public/VODCustomRenderedAd.h"
#include "ads/core/public/VODCustomRenderedBannerViewDelegate.h"
#include "ads/core/slot/GADAd.h"
#include "ads/core/slot/GADSlot.h"
#include "ads/render/GADAdView.h"
#include "platform/testing/Harness.h"
#include "platform/ui/ViewController.h"
#include "platform/ui/Window.h"
#include "tests/ads/core/slot/SlotTestSupport.h"

using namespace ruzave;
using platform::testing::Harness;
using slottest::FakeNeighbours;

namespace {

struct Failures : GADBannerViewDelegate {
    void adViewDidFailToReceiveAdWithError(GADBannerView&, const platform::Error& error) override {
        errors.push_back(error);
    }
    std::vector<platform::Error> errors;
};

struct CustomRenderer : VODCustomRenderedBannerViewDelegate {
    void bannerViewDidReceiveCustomRenderedAd(VODBannerView&, const std::shared_ptr<VODCustomRenderedAd>& ad) override {
        ads.push_back(ad);
    }
    std::vector<std::shared_ptr<VODCustomRenderedAd>> ads;
};

struct AppEvents : GADAppEventDelegate {
    void adViewDidReceiveAppEvent(GADBannerView&, const std::string& name, const std::optional<std::string>& info) override {
        events.push_back(name + "=" + info.value_or("(none)"));
    }
    std::vector<std::string> events;
};

struct SizeChanges : GADAdSizeDelegate {
    void adViewWillChangeAdSizeTo(GADBannerView& banner, const GADAdSize& size) override {
        sizes.push_back(size);
        sizeWhenTold = banner.adSize();
    }
    std::vector<GADAdSize> sizes;
    GADAdSize sizeWhenTold{};
};

// A publisher banner in a window, ready to load through fakes.
struct Placed {
    Placed() {
        window = platform::Window::create();
        controller = platform::ViewController::create();
        window->setRootViewController(controller);
        window->makeKeyAndVisible();
        banner = VODBannerView::initWithAdSize(kGADAdSizeBanner);
        REQUIRE(banner);
        controller->view()->addSubview(banner);
        banner->setRootViewController(controller);
        banner->setAdUnitID("pub-unit");
        banner->setDelegate(failures);
    }
    // Loads and answers with a custom-rendering response.
    void loadCustomAd(FakeNeighbours& fakes, const std::string& html) {
        auto ad = GADAd::init();
        ad->setAdBaseURL(platform::URL::parse("https://ads.ruzave.example/creatives/7/page.html?x=1"));
        auto fetcher = slottest::startFetch(fakes, *banner->slot(), ad);
        REQUIRE(fetcher);
        fetcher->succeed(GADResponseTypeCustomRendering, html);
    }
    std::shared_ptr<platform::Window> window;
    std::shared_ptr<platform::ViewController> controller;
    std::shared_ptr<VODBannerView> banner;
    std::shared_ptr<Failures> failures = std::make_shared<Failures>();
};

} // namespace

TEST_CASE_FIXTURE(Harness, "VODBannerView: valid sizes are boxed in order up to the first null") {
    FakeNeighbours fakes;
    Placed placed;
    auto& banner = placed.banner;
    CHECK_FALSE(banner->validAdSizes());
    banner->setValidAdSizesWithSizes({&kGADAdSizeBanner, &kGADAdSizeMediumRectangle, nullptr, &kGADAdSizeLeaderboard});
    auto sizes = banner->validAdSizes();
    REQUIRE(sizes);
    REQUIRE(sizes->size() == 2);
    CHECK(GADAdSizeEqualToSize(GADAdSizeFromNSValue((*sizes)[0]), kGADAdSizeBanner));
    CHECK(GADAdSizeEqualToSize(GADAdSizeFromNSValue((*sizes)[1]), kGADAdSizeMediumRectangle));
    // The slot sends them as the multi-size text, with manual impressions when asked.
    banner->setEnableManualImpressions(true);
    CHECK(banner->slot()->manualImpressionsEnabled());
    banner->loadRequest(GADRequest::request());
    REQUIRE(fakes.urlRequests.size() == 1);
    auto p = banner->slot()->requestParameters();
    REQUIRE(p);
    CHECK((*p)["sz"] == "320x50|300x250");
    CHECK((*p)["d_imp_hdr"] == "1");
    CHECK_FALSE(p->contains("correlation_id"));
}

TEST_CASE_FIXTURE(Harness, "VODBannerView: only a reset correlator lets a new load pre-empt the running one") {
    FakeNeighbours fakes;
    Placed placed;
    auto& banner = placed.banner;
    // Without a correlator a running load is never pre-empted.
    banner->loadRequest(GADRequest::request());
    banner->loadRequest(GADRequest::request());
    CHECK(fakes.urlRequests.size() == 1);
    CHECK(banner->previousCorrelationID() == 0);
    banner->slot()->cancelLoad();
    banner->slot()->resetState();

    auto correlator = GADCorrelator::init();
    banner->setCorrelator(correlator);
    CHECK(banner->correlator() == correlator);
    banner->loadRequest(GADRequest::request());
    REQUIRE(fakes.urlRequests.size() == 2);
    CHECK(banner->previousCorrelationID() == correlator->correlationID());
    auto p = banner->slot()->requestParameters();
    REQUIRE(p);
    CHECK((*p)["correlation_id"] == correlator->correlationID());

    banner->loadRequest(GADRequest::request()); // same page view: dropped
    CHECK(fakes.urlRequests.size() == 2);
    correlator->reset();
    banner->loadRequest(GADRequest::request()); // a new page view replaces the running request
    REQUIRE(fakes.urlRequests.size() == 3);
    CHECK(banner->previousCorrelationID() == correlator->correlationID());
    p = banner->slot()->requestParameters();
    CHECK((*p)["correlation_id"] == correlator->correlationID());
}

TEST_CASE_FIXTURE(Harness, "VODBannerView: a custom ad without a renderer is refused with code 12") {
    FakeNeighbours fakes;
    Placed placed;
    placed.loadCustomAd(fakes, "<p>mine</p>");
    runUntilIdle();
    REQUIRE(placed.failures->errors.size() == 1);
    const platform::Error& error = placed.failures->errors[0];
    CHECK(error.code == GADRequestErrorInvalidArgument);
    CHECK(error.description.find("Ignoring delegate callback. Delegate does not conform to "
                                 "VODCustomRenderedBannerViewDelegate.\nBanner view: <VODBannerView: 0x") == 0);
    CHECK(error.description.find("\nDelegate: (null)") != std::string::npos);
    CHECK(placed.banner->slot()->state() == GADSlotStateInvalidAd);
}

TEST_CASE_FIXTURE(Harness, "VODBannerView: a custom ad goes to the app and its reports drive the slot") {
    FakeNeighbours fakes;
    Placed placed;
    auto renderer = std::make_shared<CustomRenderer>();
    placed.banner->setCustomRenderedBannerViewDelegate(renderer);
    placed.loadCustomAd(fakes, "<p>mine</p>");
    runUntilIdle();
    CHECK(placed.failures->errors.empty());
    REQUIRE(renderer->ads.size() == 1);
    auto custom = renderer->ads[0];
    CHECK(custom->adHTML() == "<p>mine</p>");
    REQUIRE(custom->adBaseURL());
    CHECK(custom->adBaseURL()->absoluteString() == "https://ads.ruzave.example/");
    auto slot = placed.banner->slot();
    CHECK(slot->state() == GADSlotStateRenderingAd);
    CHECK_FALSE(VODCustomRenderedAd::init());

    slot->ad()->addManualImpressionURLsFromArray({*platform::URL::parse("https://ads.ruzave.example/pagead/manual")});
    custom->recordImpression();
    CHECK(slot->viewHasMadeImpression());
    custom->finishedRenderingAdView(platform::View::create(platform::Rect(0, 0, 320, 50)));
    CHECK(slot->state() == GADSlotStateValidAd);
    placed.banner->recordImpression();
    CHECK(slot->ad()->manualImpressionURLs().empty());

    // The ad outlives the banner it came from without calling into it.
    placed.banner->removeFromSuperview();
    placed.banner.reset();
    custom->recordClick();
    custom->recordImpression();
}

TEST_CASE_FIXTURE(Harness, "VODBannerView: app events and size changes reach their delegates") {
    FakeNeighbours fakes;
    Placed placed;
    auto& banner = placed.banner;
    auto slot = banner->slot();
    // Nobody listening: nothing happens.
    slot->slotDelegate()->slotDidReceiveAppEventWithInfo(*slot, "early", std::nullopt);
    auto events = std::make_shared<AppEvents>();
    banner->setAppEventDelegate(events);
    slot->slotDelegate()->slotDidReceiveAppEventWithInfo(*slot, "color", std::string("red"));
    slot->slotDelegate()->slotDidReceiveAppEventWithInfo(*slot, "bare", std::nullopt);
    CHECK(events->events == std::vector<std::string>{"color=red", "bare=(none)"});

    // A size delegate that answers nothing is simply not heard from.
    struct Silent : GADAdSizeDelegate {};
    auto silent = std::make_shared<Silent>();
    banner->setAdSizeDelegate(silent);
    banner->setValidAdSizesWithSizes({&kGADAdSizeBanner, &kGADAdSizeMediumRectangle, nullptr});
    slot->setNewAdSize({300, 250});
    slot->setViewForAdUsingView(slot->adView());
    CHECK(GADAdSizeEqualToSize(banner->adSize(), kGADAdSizeMediumRectangle));

    auto sizes = std::make_shared<SizeChanges>();
    banner->setAdSizeDelegate(sizes);
    slot->setNewAdSize({320, 50});
    slot->setViewForAdUsingView(slot->adView());
    REQUIRE(sizes->sizes.size() == 1);
    CHECK(GADAdSizeEqualToSize(sizes->sizes[0], kGADAdSizeBanner));
    CHECK(GADAdSizeEqualToSize(sizes->sizeWhenTold, kGADAdSizeMediumRectangle)); // told before the change
    CHECK(GADAdSizeEqualToSize(banner->adSize(), kGADAdSizeBanner));
    // A size outside the valid list is not taken.
    slot->setNewAdSize({728, 90});
    slot->setViewForAdUsingView(slot->adView());
    CHECK(sizes->sizes.size() == 1);
    CHECK(fakes.urlRequests.empty());
}

TEST_CASE_FIXTURE(Harness, "VODBannerView: resize takes the size without a request") {
    FakeNeighbours fakes;
    Placed placed;
    placed.banner->resize(kGADAdSizeMediumRectangle);
    CHECK(placed.banner->frame().size.width == 300);
    CHECK(placed.banner->frame().size.height == 250);
    REQUIRE(placed.banner->slot()->adType());
    CHECK(GADAdSizeEqualToSize(placed.banner->slot()->adType()->adSize(), kGADAdSizeMediumRectangle));
    runUntilIdle();
    CHECK(fakes.urlRequests.empty());
    CHECK_FALSE(VODBannerView::initWithAdSize(GADAdSize{{0, 0}, 0}));
}
