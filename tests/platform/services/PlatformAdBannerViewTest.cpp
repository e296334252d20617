#include <doctest/doctest.h>

#include <string>
#include <vector>

#include "platform/services/PlatformAdBannerView.h"
#include "platform/testing/Harness.h"
#include "platform/ui/Device.h"

using platform::PlatformAdBannerView;
using platform::PlatformAdOutcome;

namespace {

struct Events : platform::PlatformAdBannerViewDelegate {
    std::vector<std::string> log;
    bool allow = true;
    void bannerViewWillLoadAd(PlatformAdBannerView&) override { log.push_back("willLoad"); }
    void bannerViewDidLoadAd(PlatformAdBannerView& v) override {
        log.push_back(std::string("didLoad") + (v.isBannerLoaded() ? "+loaded" : ""));
    }
    void bannerViewDidFailToReceiveAdWithError(PlatformAdBannerView&, const platform::Error& e) override {
        log.push_back("didFail:" + std::to_string(e.code));
    }
    bool bannerViewActionShouldBegin(PlatformAdBannerView&, bool willLeave) override {
        log.push_back(std::string("shouldBegin:") + (willLeave ? "leave" : "stay"));
        return allow;
    }
    void bannerViewActionDidFinish(PlatformAdBannerView&) override { log.push_back("didFinish"); }
};

} // namespace

TEST_CASE_FIXTURE(platform::testing::Harness, "PlatformAdBannerView: scripted outcomes arrive in order after their virtual delay") {
    PlatformAdBannerView::script(PlatformAdOutcome::loaded(2.0));
    PlatformAdBannerView::script(PlatformAdOutcome::failed(PlatformAdOutcome::ServerFailure));
    auto events = std::make_shared<Events>();
    auto banner = PlatformAdBannerView::initWithAdType(PlatformAdBannerView::Banner);
    REQUIRE(banner);
    banner->setDelegate(events);
    runUntilIdle();
    advance(1.9);
    CHECK(events->log.empty());
    advance(0.2);
    CHECK(events->log == std::vector<std::string>{"willLoad", "didLoad+loaded"});

    // A tap asks the delegate first; refused, no action runs.
    events->allow = false;
    CHECK_FALSE(banner->tapForTesting(true));
    CHECK_FALSE(banner->isBannerViewActionInProgress());
    events->allow = true;
    CHECK(banner->tapForTesting(false));
    CHECK_FALSE(banner->tapForTesting(false)); // one action at a time
    banner->finishActionForTesting();
    banner->finishActionForTesting(); // finishes once
    CHECK(events->log == std::vector<std::string>{"willLoad", "didLoad+loaded", "shouldBegin:leave", "shouldBegin:stay",
                                                  "didFinish"});

    // The next rotation fails: the banner is no longer loaded and cannot be tapped.
    events->log.clear();
    banner->loadNextForTesting();
    runUntilIdle();
    CHECK(events->log == std::vector<std::string>{"didFail:1"});
    CHECK_FALSE(banner->isBannerLoaded());
    CHECK_FALSE(banner->tapForTesting(false));

    // Unscripted: no inventory.
    banner->loadNextForTesting();
    runUntilIdle();
    CHECK(events->log.back() == "didFail:3");
}

TEST_CASE_FIXTURE(platform::testing::Harness, "PlatformAdBannerView: a released banner's pending outcome is dropped, and a newer load replaces an older one") {
    PlatformAdBannerView::script(PlatformAdOutcome::loaded(1.0));
    auto events = std::make_shared<Events>();
    {
        auto banner = PlatformAdBannerView::create();
        banner->setDelegate(events);
    }
    advance(2);
    CHECK(events->log.empty());

    PlatformAdBannerView::script(PlatformAdOutcome::loaded(5.0));
    PlatformAdBannerView::script(PlatformAdOutcome::failed(PlatformAdOutcome::LoadingThrottled, 1.0));
    auto banner = PlatformAdBannerView::create();
    banner->setDelegate(events);
    banner->loadNextForTesting();
    advance(6);
    CHECK(events->log == std::vector<std::string>{"didFail:2"});
}

TEST_CASE_FIXTURE(platform::testing::Harness, "PlatformAdBannerView: sizes by ad type, width and content size identifier") {
    auto rect = PlatformAdBannerView::initWithAdType(PlatformAdBannerView::MediumRectangle);
    CHECK(rect->sizeThatFits({320, 50}).width == 300);
    CHECK(rect->sizeThatFits({320, 50}).height == 250);

    auto banner = PlatformAdBannerView::initWithAdType(PlatformAdBannerView::Banner);
    CHECK(banner->sizeThatFits({320, 250}).height == 50);
    CHECK(banner->sizeThatFits({320, 250}).width == 320);
    CHECK(banner->sizeThatFits({568, 32}).height == 32);
    // Unusable widths take the screen's.
    CHECK(banner->sizeThatFits({std::nanf(""), 0}).width == 320);
    CHECK(banner->sizeThatFits({-5, 0}).width == 320);

    auto old = PlatformAdBannerView::create();
    CHECK(old->requiredContentSizeIdentifiers().size() == 2);
    old->setCurrentContentSizeIdentifier(PlatformAdBannerView::contentSizeIdentifierLandscape);
    CHECK(old->frame().size.width == 480);
    CHECK(old->frame().size.height == 32);
    old->setCurrentContentSizeIdentifier("bogus");
    CHECK(old->currentContentSizeIdentifier() == PlatformAdBannerView::contentSizeIdentifierLandscape);

    platform::Device::currentDevice()->setUserInterfaceIdiom(platform::UserInterfaceIdiom::Pad);
    CHECK(banner->sizeThatFits({768, 90}).height == 66);
    CHECK(PlatformAdBannerView::sizeFromBannerContentSizeIdentifier(PlatformAdBannerView::contentSizeIdentifierPortrait).width == 768);

    PlatformAdBannerView::setAdTypeInitializerAvailableForTesting(false);
    CHECK(PlatformAdBannerView::initWithAdType(PlatformAdBannerView::Banner) == nullptr);
    CHECK(PlatformAdBannerView::create() != nullptr);
}
