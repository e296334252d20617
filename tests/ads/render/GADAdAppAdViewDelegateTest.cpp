#include <doctest/doctest.h>

#include <string>

#include "../core/slot/SlotTestSupport.h"
#include "ads/core/telemetry/GADStatisticDictionary.h"
#include "ads/render/GADAdAppAdViewDelegate.h"
#include "ads/render/GADAdAppGMSGHandler.h"
#include "ads/render/GADAdView.h"
#include "ads/render/GADAppEventGMSGHandler.h"
#include "ads/render/GADMRAIDInterceptor.h"
#include "ads/render/GADNotification.h"
#include "platform/foundation/UserDefaults.h"
#include "platform/testing/Harness.h"

using platform::WebViewNavigationType;
using platform::testing::Harness;
using ruzave::GADAdAppAdViewDelegate;
using ruzave::GADMRAIDInterceptor;
using namespace slottest;

namespace {

struct ClickCounter : FakeOwner {
    void slotDidReceiveAdClick(ruzave::GADSlot&) override { ++clicks; }
    int clicks = 0;
};

struct ExpandedFixture : Harness {
    FakeNeighbours fakes;
    std::shared_ptr<ClickCounter> owner = std::make_shared<ClickCounter>();
    std::shared_ptr<ruzave::GADSlot> slot = makeSlot(owner);
    std::shared_ptr<ruzave::GADAdView> view = ruzave::GADAdView::initWithFrame(platform::Rect(0, 0, 320, 480));
    ExpandedFixture() { GADMRAIDInterceptor::resetCanInitWithRequestCounter(); }

    template <class T>
    bool has(const std::shared_ptr<GADAdAppAdViewDelegate>& d) {
        for (const auto& h : d->gmsgHandlers())
            if (std::dynamic_pointer_cast<T>(h)) return true;
        return false;
    }
};

} // namespace

TEST_CASE_FIXTURE(ExpandedFixture, "GADAdAppAdViewDelegate: the page holds one interceptor enable while it loads") {
    auto delegate = GADAdAppAdViewDelegate::initWithSlot(slot);
    view->setDelegate(delegate);
    delegate->adViewDidStartLoad(view);
    delegate->adViewDidStartLoad(view);
    CHECK(GADMRAIDInterceptor::enableCount() == 1);
    delegate->adViewDidFinishLoad(view);
    CHECK(GADMRAIDInterceptor::enableCount() == 0);
    delegate->adViewDidFinishLoad(view);
    CHECK(GADMRAIDInterceptor::enableCount() == 0);
    delegate->adViewDidStartLoad(view);
    delegate->adView(view, platform::Error("WebKitErrorDomain", 1, "failed"));
    CHECK(GADMRAIDInterceptor::enableCount() == 0);
    // A delegate that goes mid-load gives its enable back.
    delegate->adViewDidStartLoad(view);
    CHECK(GADMRAIDInterceptor::enableCount() == 1);
    delegate.reset();
    CHECK(GADMRAIDInterceptor::enableCount() == 0);
}

TEST_CASE_FIXTURE(ExpandedFixture, "GADAdAppAdViewDelegate: a real page load stamps the landing page times once") {
    startFetch(fakes, *slot)->succeed(ruzave::GADResponseTypeStandard, std::string("<p>ad</p>"));
    REQUIRE(runUntil([&] { return slot->state() == ruzave::GADSlotStateValidAd; }));
    auto delegate = GADAdAppAdViewDelegate::initWithSlot(slot);
    view->setDelegate(delegate);
    view->loadHTMLString("<p>landing</p>", platform::URL::parse("https://shop.example/landing"));
    REQUIRE(runUntil([&] { return delegate->hasLoadedAtLeastOnce(); }));
    auto stats = slot->ad()->statistics();
    auto start = stats->objectForKey("tlanding_page_load_start");
    auto end = stats->objectForKey("tlanding_page_load_end");
    REQUIRE(start);
    REQUIRE(end);
    CHECK(end->get<double>() >= start->get<double>());
    CHECK_FALSE(delegate->holdsInterceptorEnable());
    advance(1);
    delegate->adViewDidStartLoad(view);
    CHECK(*stats->objectForKey("tlanding_page_load_start") == *start);
    delegate->adViewDidFinishLoad(view);
    CHECK(stats->objectForKey("tlanding_page_load_end")->get<double>() > end->get<double>());
}

TEST_CASE_FIXTURE(ExpandedFixture, "GADAdAppAdViewDelegate: a link click pings the click URLs unless switched off") {
    startFetch(fakes, *slot)->succeed(ruzave::GADResponseTypeStandard, std::string("<p>ad</p>"));
    REQUIRE(runUntil([&] { return slot->state() == ruzave::GADSlotStateValidAd; }));
    auto delegate = GADAdAppAdViewDelegate::initWithSlot(slot);
    auto clicks = [&] { return owner->clicks; };
    auto before = clicks();
    CHECK(delegate->adView(view, *platform::URLRequest::withURLString("https://shop.example/a"),
                           WebViewNavigationType::LinkClicked).value_or(true));
    CHECK(delegate->adView(view, *platform::URLRequest::withURLString("https://shop.example/b"),
                           WebViewNavigationType::Other).value_or(true));
    runUntilIdle();
    CHECK(clicks() == before + 1);
    platform::UserDefaults::standard()->set(GADAdAppAdViewDelegate::kDisableClickPingKey, platform::Value("1"));
    delegate->adView(view, *platform::URLRequest::withURLString("https://shop.example/c"), WebViewNavigationType::LinkClicked);
    runUntilIdle();
    CHECK(clicks() == before + 1);
}

TEST_CASE_FIXTURE(ExpandedFixture, "GADAdAppAdViewDelegate: app events reach only an interstitial's page") {
    auto banner = GADAdAppAdViewDelegate::initWithSlot(slot);
    CHECK(has<ruzave::GADAdAppGMSGHandler>(banner));
    CHECK_FALSE(has<ruzave::GADAppEventGMSGHandler>(banner));
    slot->setAdType(ruzave::GADAdType::interstitialAdType(), false);
    auto interstitial = GADAdAppAdViewDelegate::initWithSlot(slot);
    CHECK(has<ruzave::GADAdAppGMSGHandler>(interstitial));
    CHECK(has<ruzave::GADAppEventGMSGHandler>(interstitial));
    CHECK(interstitial->MRAIDScriptKind() == ruzave::GADMRAIDScriptKind::ExpandedBanner);
}

