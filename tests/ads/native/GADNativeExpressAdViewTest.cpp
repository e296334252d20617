#include <doctest/doctest.h>

#include "ads/core/public/GADBannerView.h"
#include "ads/core/public/GADRequest.h"
#include "ads/native/GADNativeExpressAdView.h"
#include "ads/native/GADNativeExpressAdViewDelegate.h"
#include "platform/ui/Application.h"
#include "platform/ui/ViewController.h"
#include "platform/ui/Window.h"
#include "tests/ads/core/sdkcore/SDKCoreTestSupport.h"

using ruzave::GADNativeExpressAdView;

namespace {

// Takes only received ads: it must never be sent anything else.
struct OnlyReceived : ruzave::GADNativeExpressAdViewDelegate {
    std::vector<const GADNativeExpressAdView*> senders;
    void nativeExpressAdViewDidReceiveAd(GADNativeExpressAdView& view) override { senders.push_back(&view); }
};

struct Everything : ruzave::GADNativeExpressAdViewDelegate {
    std::vector<std::string> calls;
    void nativeExpressAdViewDidReceiveAd(GADNativeExpressAdView&) override { calls.push_back("received"); }
    void nativeExpressAdViewDidFailToReceiveAdWithError(GADNativeExpressAdView&, const platform::Error& e) override {
        calls.push_back("failed " + std::to_string(e.code));
    }
    void nativeExpressAdViewWillLeaveApplication(GADNativeExpressAdView&) override { calls.push_back("leave"); }
};

} // namespace

TEST_CASE_FIXTURE(platform::testing::Harness, "GADNativeExpressAdView: properties read back the inner banner's values") {
    auto view = GADNativeExpressAdView::initWithAdSize(ruzave::kGADAdSizeBanner, {10, 20});
    REQUIRE(view);
    CHECK(view->frame().origin.x == 10);
    CHECK(view->frame().origin.y == 20);
    CHECK(view->frame().size.width == GADNativeExpressAdView::initWithAdSize(ruzave::kGADAdSizeBanner)->frame().size.width);
    auto banner = view->bannerView();
    REQUIRE(banner);
    CHECK(view->subviews().size() == 1);
    view->setAdUnitID("express-unit");
    CHECK(banner->adUnitID() == "express-unit");
    auto controller = platform::ViewController::create();
    view->setRootViewController(controller);
    CHECK(banner->rootViewController() == controller);
    view->setAutoloadEnabled(true);
    CHECK(banner->isAutoloadEnabled());
    CHECK(view->isAutoloadEnabled());
    CHECK(view->adSize().size.width == 320);
}

TEST_CASE_FIXTURE(platform::testing::Harness, "GADNativeExpressAdView: banner events reach the delegate with the express view as sender") {
    auto view = GADNativeExpressAdView::initWithAdSize(ruzave::kGADAdSizeBanner);
    auto only = std::make_shared<OnlyReceived>();
    view->setDelegate(only);
    auto banner = view->bannerView();
    view->adViewDidReceiveAd(*banner);
    view->adViewDidFailToReceiveAdWithError(*banner, platform::Error("d", 1, "no fill"));
    view->adViewWillLeaveApplication(*banner);
    REQUIRE(only->senders.size() == 1);
    CHECK(only->senders[0] == view.get());
}

TEST_CASE_FIXTURE(platform::testing::Harness, "GADNativeExpressAdView: an express ad loads through the banner road") {
    auto server = sdkcoretest::startCoreServer();
    server->routeHost(ruzave::GADHosts::kAdServerHost, "/mads/gma", [](const adserver::Request&) {
        return adserver::Response::html("<html><body style=\"background:#123456\">express</body></html>");
    });
    platform::Application::sharedApplication()->setApplicationState(platform::ApplicationState::Active);
    auto window = platform::Window::create();
    auto controller = platform::ViewController::create();
    window->setRootViewController(controller);
    window->makeKeyAndVisible();
    auto view = GADNativeExpressAdView::initWithAdSize(ruzave::kGADAdSizeBanner);
    controller->view()->addSubview(view);
    auto delegate = std::make_shared<Everything>();
    view->setDelegate(delegate);
    view->setRootViewController(controller);
    view->setAdUnitID("express-unit");
    view->loadRequest(ruzave::GADRequest::request());
    REQUIRE(sdkcoretest::pump(*this, [&] { return !delegate->calls.empty(); }, 20));
    CHECK(delegate->calls == std::vector<std::string>{"received"});
    platform::NetworkConfiguration::sharedInstance()->reset();
}
