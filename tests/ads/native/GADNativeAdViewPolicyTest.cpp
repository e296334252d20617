#include <doctest/doctest.h>

#include "ads/core/sdkcore/GADSDKCoreController.h"
#include "ads/core/telemetry/GADActiveViewMonitor.h"
#include "ads/native/GADMediatedNativeContentAd.h"
#include "ads/native/GADNativeAdAttribution.h"
#include "ads/native/GADNativeAdAttributionView.h"
#include "ads/native/GADNativeAdViewPolicy.h"
#include "ads/native/GADNativeAppInstallAdView.h"
#include "ads/native/GADNativeContentAd.h"
#include "ads/native/GADNativeContentAdView.h"
#include "ads/render/GADOverlayView.h"
#include "platform/ui/Application.h"
#include "platform/ui/ViewController.h"
#include "platform/ui/Window.h"
#include "tests/ads/native/NativeTestSupport.h"

using ruzave::GADNativeContentAdView;

namespace {

struct Screen : platform::testing::Harness {
    std::shared_ptr<platform::Window> window = platform::Window::create();
    std::shared_ptr<platform::ViewController> controller = platform::ViewController::create();
    std::shared_ptr<GADNativeContentAdView> adView = GADNativeContentAdView::initWithFrame({{0, 100}, {320, 200}});
    std::shared_ptr<platform::View> headline = platform::View::create({{10, 10}, {200, 30}});
    std::shared_ptr<platform::View> body = platform::View::create({{10, 50}, {200, 100}});
    std::shared_ptr<platform::View> cover = platform::View::create({{0, 0}, {320, 200}});
    Screen() {
        platform::Application::sharedApplication()->setApplicationState(platform::ApplicationState::Active);
        window->setRootViewController(controller);
        window->makeKeyAndVisible();
        for (const auto& v : {headline, body}) adView->addSubview(v);
    }
    static std::shared_ptr<ruzave::GADNativeContentAd> jsonAd(const platform::Value& attribution) {
        return ruzave::GADNativeContentAd::initWithDictionary({{"headline", "H"}, {"body", "B"}, {"attribution", attribution}}, {});
    }
    static std::string clicks(const std::shared_ptr<ruzave::GADSlot>& slot, const std::string& expr) {
        return slot->adView()->evaluate(expr);
    }
};

} // namespace

TEST_CASE("GADNativeAdViewPolicy: a policy needs its view and both attribution names") {
    auto view = platform::View::create();
    CHECK_FALSE(ruzave::GADNativeAdViewPolicy::initWithAdView(nullptr, "1007", "1008"));
    CHECK_FALSE(ruzave::GADNativeAdViewPolicy::initWithAdView(view, "", "1008"));
    auto policy = ruzave::GADNativeAdViewPolicy::initWithAdView(view, "1007", "1008");
    REQUIRE(policy);
    CHECK(policy->attributionView()->isHidden());
    CHECK(policy->attributionView()->superview() == view);
}

TEST_CASE_FIXTURE(Screen, "GADNativeAdViewPolicy: taps go to the visible asset view under them with the layout") {
    auto slot = nativetest::recordingSlot(*this);
    auto ad = jsonAd({{"text", "Ad"}});
    ad->setSlot(slot);
    adView->setHeadlineView(headline);
    adView->setBodyView(body);
    adView->setNativeContentAd(ad);
    CHECK(adView->nativeContentAd() == ad);
    auto policy = adView->nativeAdViewPolicy();
    CHECK_FALSE(policy->attributionView()->isHidden());
    // The overlay lies on top, the badge under it.
    CHECK(adView->subviews().back() == ad->overlayView());

    policy->handleTapAtLocation({20, 20});
    CHECK(clicks(slot, "window.clicks[0].click.asset") == "1001");
    CHECK(clicks(slot, "window.clicks[0].click_point.x + ',' + window.clicks[0].click_point.y") == "20,20");
    CHECK(clicks(slot, "JSON.stringify(window.clicks[0].view_rectangles['1002'])") ==
          "{\"x\":10,\"y\":50,\"width\":200,\"height\":100}");
    CHECK(clicks(slot, "typeof window.clicks[0].view_rectangles['1008']") == "object");

    // A hidden view under the tap is passed over for a visible one.
    adView->addSubview(cover);
    adView->setAdvertiserView(cover);
    cover->setHidden(true);
    policy->handleTapAtLocation({20, 60});
    CHECK(clicks(slot, "window.clicks[1].click.asset") == "1002");
    // Replacing an asset view drops the old one; nil removes the asset.
    adView->setBodyView(nullptr);
    policy->handleTapAtLocation({20, 120});
    CHECK(clicks(slot, "window.clicks.length") == "2");
    auto environment = policy->tapHandlingEnvironmentWithTapLocation({1, 1});
    CHECK_FALSE(environment["view_rectangles"].contains("1002"));
    CHECK(environment["view_rectangles"].contains("1004"));
}

TEST_CASE_FIXTURE(Screen, "GADNativeAdViewPolicy: a tap in the badge left of its icons is a click on the attribution text") {
    auto slot = nativetest::recordingSlot(*this);
    auto ad = jsonAd({{"text", "Sponsored"}});
    ad->setSlot(slot);
    controller->view()->addSubview(adView);
    adView->setNativeContentAd(ad);
    adView->layoutIfNeeded();
    auto badge = adView->nativeAdViewPolicy()->attributionView();
    REQUIRE(badge->frame().size.width > 0);
    platform::Point inBadge{badge->frame().origin.x + 2, badge->frame().origin.y + 2};
    adView->nativeAdViewPolicy()->handleTapAtLocation(inBadge);
    CHECK(clicks(slot, "window.clicks[0].click.asset") == "1008");
}

TEST_CASE_FIXTURE(Screen, "GADNativeAdViewPolicy: a badge without text or icons stays hidden and its corner goes to the assets") {
    auto slot = nativetest::recordingSlot(*this);
    auto ad = jsonAd(platform::Value::object());
    ad->setSlot(slot);
    auto corner = platform::View::create({{300, 0}, {20, 20}});
    adView->addSubview(corner);
    adView->setLogoView(corner);
    adView->setNativeContentAd(ad);
    auto policy = adView->nativeAdViewPolicy();
    CHECK(policy->attributionView()->isHidden());
    policy->handleTapAtLocation({310, 5});
    CHECK(clicks(slot, "window.clicks[0].click.asset") == "1006");
    CHECK(clicks(slot, "Object.keys(window.clicks[0].view_rectangles).join()") == "1006");
    // Setting the same ad again leaves the overlay where it was.
    auto overlay = ad->overlayView();
    adView->setNativeContentAd(ad);
    CHECK(overlay->superview() == adView);
}

TEST_CASE_FIXTURE(Screen, "GADNativeAdViewPolicy: an ad view off screen records the impression once it shows") {
    struct NetworkAd : ruzave::GADMediatedNativeContentAd {
        std::optional<std::string> headline() const override { return "h"; }
        std::optional<std::string> body() const override { return "b"; }
    };
    auto wrapper = ruzave::GADMediatedNativeAd::initWithMediatedNativeAd(std::make_shared<NetworkAd>());
    int impressions = 0;
    wrapper->addImpressionHandler([&] { ++impressions; });
    auto ad = ruzave::GADNativeContentAd::initWithMediatedNativeAd(wrapper, {});
    adView->setNativeContentAd(ad);
    adView->layoutSubviews();
    REQUIRE(adView->nativeAdViewPolicy()->isMonitoringImpression());
    const double interval = adView->nativeAdViewPolicy()->impressionMonitor()->samplingInterval();
    CHECK(impressions == 0);
    controller->view()->addSubview(adView);
    advance(interval + 0.01);
    runUntilIdle();
    CHECK(impressions == 1);
    CHECK_FALSE(adView->nativeAdViewPolicy()->isMonitoringImpression());
    adView->layoutSubviews();
    CHECK(impressions == 1);

    // Laid out while visible: at once, without a monitor.
    auto shown = GADNativeContentAdView::initWithFrame({{0, 0}, {100, 100}});
    controller->view()->addSubview(shown);
    auto second = ruzave::GADNativeContentAd::initWithMediatedNativeAd(
        ruzave::GADMediatedNativeAd::initWithMediatedNativeAd(std::make_shared<NetworkAd>()), {});
    shown->setNativeContentAd(second);
    shown->layoutSubviews();
    CHECK(second->hasRecordedImpression());
    CHECK_FALSE(shown->nativeAdViewPolicy()->isMonitoringImpression());
}

TEST_CASE_FIXTURE(Screen, "GADNativeAdViewPolicy: the impression waits for a visible sample and is recorded once") {
    struct Interval {
        std::shared_ptr<ruzave::GADSDKCoreController> core = ruzave::GADSDKCoreController::sharedInstance();
        double saved = core->activeViewSamplingInterval();
        ~Interval() { core->setActiveViewSamplingInterval(saved); }
    } interval;
    interval.core->setActiveViewSamplingInterval(1.0);
    auto ad = jsonAd(platform::Value());
    adView->setNativeContentAd(ad);
    auto policy = adView->nativeAdViewPolicy();

    // Off-window: one monitor, however often the view is laid out.
    adView->layoutSubviews();
    policy->adViewDidMoveToSuperview();
    auto monitor = policy->impressionMonitor();
    REQUIRE(monitor != nullptr);
    adView->layoutSubviews();
    CHECK(policy->impressionMonitor() == monitor);
    CHECK(monitor->isMonitoring());
    advance(3.5);
    runUntilIdle();
    CHECK_FALSE(ad->hasRecordedImpression());

    // In the window but hidden: still nothing.
    adView->setHidden(true);
    controller->view()->addSubview(adView);
    advance(3.0);
    runUntilIdle();
    CHECK_FALSE(ad->hasRecordedImpression());
    CHECK(policy->impressionMonitor() == monitor);

    // Shown: the next sample at the monitor's interval records it, not an earlier look.
    adView->setHidden(false);
    advance(0.25);
    runUntilIdle();
    CHECK_FALSE(ad->hasRecordedImpression());
    advance(1.0);
    runUntilIdle();
    CHECK(ad->hasRecordedImpression());
    CHECK(policy->impressionMonitor() == nullptr);
    CHECK_FALSE(monitor->isMonitoring());
    CHECK(monitor->delegate() == nullptr);

    // Moving off screen and back neither starts a new monitor nor records again.
    adView->removeFromSuperview();
    adView->layoutSubviews();
    controller->view()->addSubview(adView);
    adView->layoutSubviews();
    advance(2.0);
    runUntilIdle();
    CHECK(policy->impressionMonitor() == nullptr);
}

TEST_CASE_FIXTURE(Screen, "GADNativeAdViewPolicy: an ad view that goes away while watched leaves no sampling behind") {
    auto ad = jsonAd(platform::Value());
    std::weak_ptr<ruzave::GADActiveViewMonitor> monitor;
    {
        auto view = GADNativeContentAdView::initWithFrame({{0, 0}, {100, 100}});
        view->setNativeContentAd(ad);
        view->layoutSubviews();
        monitor = view->nativeAdViewPolicy()->impressionMonitor();
        REQUIRE_FALSE(monitor.expired());
    }
    advance(5.0);
    runUntilIdle();
    CHECK(monitor.expired());
    CHECK_FALSE(ad->hasRecordedImpression());
}

TEST_CASE("GADNativeAdViewPolicy: an app-install ad view names its assets from 2001") {
    auto view = ruzave::GADNativeAppInstallAdView::initWithFrame({{0, 0}, {100, 100}});
    auto icon = platform::View::create({{0, 0}, {10, 10}});
    view->addSubview(icon);
    view->setIconView(icon);
    view->setStoreView(icon); // one view, one name: the later
    auto environment = view->nativeAdViewPolicy()->tapHandlingEnvironmentWithTapLocation({0, 0});
    CHECK(environment["view_rectangles"].contains("2005"));
    CHECK_FALSE(environment["view_rectangles"].contains("2003"));
    CHECK(view->iconView() == icon);
}
