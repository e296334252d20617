#include <doctest/doctest.h>

#include <string>
#include <vector>

#include "platform/services/PlatformAdInterstitial.h"
#include "platform/testing/Harness.h"
#include "platform/ui/Device.h"
#include "platform/ui/View.h"
#include "platform/ui/ViewController.h"
#include "platform/ui/Window.h"

using platform::PlatformAdInterstitial;
using platform::PlatformAdOutcome;

namespace {

struct Events : platform::PlatformAdInterstitialDelegate {
    std::vector<std::string> log;
    void interstitialAdWillLoad(PlatformAdInterstitial&) override { log.push_back("willLoad"); }
    void interstitialAdDidLoad(PlatformAdInterstitial&) override { log.push_back("didLoad"); }
    void interstitialAdDidUnload(PlatformAdInterstitial& ad) override {
        log.push_back(std::string("didUnload") + (ad.isLoaded() ? "+stillLoaded" : ""));
    }
    void interstitialAdDidFailWithError(PlatformAdInterstitial&, const platform::Error& e) override {
        log.push_back("didFail:" + std::to_string(e.code));
    }
    bool interstitialAdActionShouldBegin(PlatformAdInterstitial&, bool willLeave) override {
        log.push_back(std::string("shouldBegin:") + (willLeave ? "leave" : "stay"));
        return true;
    }
    void interstitialAdActionDidFinish(PlatformAdInterstitial&) override { log.push_back("didFinish"); }
};

} // namespace

TEST_CASE_FIXTURE(platform::testing::Harness, "PlatformAdInterstitial: loads on creation, shows once in a view, and unloading removes it") {
    PlatformAdInterstitial::script(PlatformAdOutcome::loaded(0.5));
    auto events = std::make_shared<Events>();
    auto ad = PlatformAdInterstitial::create();
    ad->setDelegate(events);
    auto container = platform::View::create(platform::Rect(0, 0, 320, 480));
    CHECK_FALSE(ad->presentInView(container)); // not loaded yet
    advance(0.5);
    CHECK(events->log == std::vector<std::string>{"willLoad", "didLoad"});

    CHECK_FALSE(ad->presentInView(nullptr));
    REQUIRE(ad->presentInView(container));
    CHECK_FALSE(ad->presentInView(container)); // once
    REQUIRE(container->subviews().size() == 1);
    CHECK(container->subviews()[0] == ad->adView());
    CHECK(ad->adView()->frame().size.height == 480);

    CHECK(ad->tapForTesting(true));
    ad->finishActionForTesting();
    ad->unloadForTesting();
    ad->unloadForTesting(); // reported once
    CHECK(container->subviews().empty());
    CHECK(events->log == std::vector<std::string>{"willLoad", "didLoad", "shouldBegin:leave", "didFinish", "didUnload"});
    CHECK_FALSE(ad->tapForTesting(false));
}

TEST_CASE_FIXTURE(platform::testing::Harness, "PlatformAdInterstitial: failures are reported and a released ad hears nothing") {
    PlatformAdInterstitial::script(PlatformAdOutcome::failed(PlatformAdOutcome::ConfigurationError));
    PlatformAdInterstitial::script(PlatformAdOutcome::loaded(1));
    auto events = std::make_shared<Events>();
    auto failing = PlatformAdInterstitial::create();
    failing->setDelegate(events);
    {
        auto dropped = PlatformAdInterstitial::create();
        dropped->setDelegate(events);
    }
    advance(2);
    CHECK(events->log == std::vector<std::string>{"didFail:4"});
    CHECK_FALSE(failing->isLoaded());
}

TEST_CASE_FIXTURE(platform::testing::Harness, "PlatformAdInterstitial: the platform presents from a controller on tablets only") {
    PlatformAdInterstitial::script(PlatformAdOutcome::loaded());
    PlatformAdInterstitial::script(PlatformAdOutcome::loaded());
    auto events = std::make_shared<Events>();
    auto window = platform::Window::create();
    auto root = platform::ViewController::create();
    window->setRootViewController(root);
    window->makeKeyAndVisible();
    auto phoneAd = PlatformAdInterstitial::create();
    auto padAd = PlatformAdInterstitial::create();
    padAd->setDelegate(events);
    runUntilIdle();
    CHECK_FALSE(phoneAd->presentFromViewController(root));

    platform::Device::currentDevice()->setUserInterfaceIdiom(platform::UserInterfaceIdiom::Pad);
    REQUIRE(padAd->presentFromViewController(root));
    advance(1);
    REQUIRE(root->presentedViewController());
    CHECK(root->presentedViewController()->view() == padAd->adView());

    // Unloading a shown ad takes it off the screen.
    padAd->unloadForTesting();
    advance(1);
    CHECK(root->presentedViewController() == nullptr);
    CHECK(events->log.back() == "didUnload");
}
