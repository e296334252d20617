// A search request end to end: the search dictionary travels with the request parameters through the
// core page into the ad URL the ad server sees.
#include <doctest/doctest.h>

#include "ads/core/public/GADBannerView.h"
#include "ads/core/public/GADBannerViewDelegate.h"
#include "ads/core/public/GADSearchRequest.h"
#include "ads/core/sdkcore/GADHosts.h"
#include "platform/base/Value.h"
#include "platform/net/NetworkConfiguration.h"
#include "platform/testing/Harness.h"
#include "platform/ui/Application.h"
#include "platform/ui/ViewController.h"
#include "platform/ui/Window.h"
#include "tests/ads/core/sdkcore/SDKCoreTestSupport.h"
#include "tools/adserver/AdServer.h"

namespace {

struct Settled : ruzave::GADBannerViewDelegate {
    void adViewDidReceiveAd(ruzave::GADBannerView&) override { ++calls; }
    void adViewDidFailToReceiveAdWithError(ruzave::GADBannerView&, const platform::Error&) override { ++calls; }
    int calls = 0;
};

} // namespace

TEST_CASE_FIXTURE(platform::testing::Harness, "GADSearchRequest: the search dictionary reaches the ad server") {
    auto server = sdkcoretest::startCoreServer();
    server->routeHost(ruzave::GADHosts::kAdServerHost, "/mads/gma",
                      [](const adserver::Request&) { return adserver::Response::html("<div>search ad</div>"); });
    platform::Application::sharedApplication()->setApplicationState(platform::ApplicationState::Active);
    auto window = platform::Window::create();
    auto controller = platform::ViewController::create();
    window->setRootViewController(controller);
    window->makeKeyAndVisible();
    auto banner = ruzave::GADBannerView::initWithAdSize(ruzave::kGADAdSizeBanner);
    controller->view()->addSubview(banner);
    banner->setRootViewController(controller);
    auto delegate = std::make_shared<Settled>();
    banner->setDelegate(delegate);
    banner->setAdUnitID("search-unit");

    auto request = ruzave::GADSearchRequest::request();
    request->setQuery(std::string("running shoes"));
    request->setBackgroundSolid(platform::Color::white(0.5f));
    request->setCallButtonColor(ruzave::GADSearchRequest::kCallButtonColorDark);
    banner->loadRequest(request);
    REQUIRE(sdkcoretest::pump(*this, [&] { return delegate->calls > 0; }, 20));

    auto sent = server->requests("/mads/gma");
    REQUIRE(sent.size() == 1);
    auto search = platform::parseJSON(sent[0].param("search"));
    REQUIRE(search);
    CHECK(*search == platform::Value({{"q", "running shoes"}, {"bgcolor", "#7f7f7f"}, {"headersize", "0"},
                                      {"bthick", "0"}, {"callbuttoncolor", "dark"}}));
    platform::NetworkConfiguration::sharedInstance()->reset();
}
