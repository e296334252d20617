#include <doctest/doctest.h>
#include <atomic>
#include <thread>

#include "IAdTestSupport.h"
#include "ads/core/public/GADRequestError.h"
#include "ads/mediation/GADMAdapterIAdBanner.h"

using namespace mediationtest;
using platform::PlatformAdBannerView;
using platform::PlatformAdOutcome;
using platform::UserInterfaceIdiom;
using ruzave::GADMAdapterIAdUtilities;

namespace {

std::shared_ptr<PlatformAdBannerView> bannerOf(const ruzave::GADMAdapterIAd& adapter) {
    return adapter.bannerAdapter() ? adapter.bannerAdapter()->bannerView() : nullptr;
}

} // namespace

TEST_CASE("GADMAdapterIAd: the adapter is registered under its class name") {
    CHECK(ruzave::GADMAdNetworkAdapter::classIsAdapterClass("GADMAdapterIAd"));
    CHECK(ruzave::GADMAdNetworkAdapter::classImplementsCurrentAdapterAPI("GADMAdapterIAd"));
    ruzave::GADMAdapterIAd adapter;
    CHECK(adapter.adapterVersion() == std::optional<std::string>("1.0.0"));
    CHECK_FALSE(adapter.networkExtrasClass());
}

TEST_CASE_FIXTURE(IAdFixture, "GADMAdapterIAd: the OS version is split and compared piece by piece") {
    int major = -1, minor = -1, bug = -1;
    device("7");
    GADMAdapterIAdUtilities::getOSMajor(&major, &minor, &bug);
    CHECK((major == 7 && minor == 0 && bug == 0));
    CHECK(GADMAdapterIAdUtilities::isOSAtLeast(7, 0, 0));
    GADMAdapterIAdUtilities::getOSMajor(nullptr, &minor, nullptr);
    device("6.1.4");
    CHECK_FALSE(GADMAdapterIAdUtilities::isOSAtLeast(7, 0, 0));
    CHECK(GADMAdapterIAdUtilities::isOSAtLeast(6, 1, 4));
    CHECK_FALSE(GADMAdapterIAdUtilities::isOSAtLeast(6, 1, 5));
    CHECK(GADMAdapterIAdUtilities::isOSAtLeast(5, 9, 9));
    GADMAdapterIAdUtilities::getOSMajor(&major, &minor, &bug);
    CHECK((major == 6 && minor == 1 && bug == 4));
    // Which banner runs where.
    CHECK_FALSE(ruzave::GADMAdapterIAdBannerIOS7::currentPlatformIsSupported());
    CHECK(ruzave::GADMAdapterIAdBannerPreIOS7::currentPlatformIsSupported());
    device("4.3");
    CHECK_FALSE(ruzave::GADMAdapterIAdBannerPreIOS7::currentPlatformIsSupported());
    makeAdapter();
    CHECK(std::dynamic_pointer_cast<ruzave::GADMAdapterIAdBannerPreIOS7>(adapter->bannerAdapter()));
    device("7.0");
    makeAdapter();
    CHECK(std::dynamic_pointer_cast<ruzave::GADMAdapterIAdBannerIOS7>(adapter->bannerAdapter()));
    CHECK(adapter->interstitialAdapter());
}

TEST_CASE_FIXTURE(IAdFixture, "GADMAdapterIAd: the screen scale is read once, on the main thread") {
    platform::Screen::mainScreen()->setScale(3);
    GADMAdapterIAdUtilities::sharedInstance().resetForTesting();
    std::atomic<float> fromWorker = 0;
    std::thread worker([&] { fromWorker = GADMAdapterIAdUtilities::sharedInstance().screenScale(); });
    CHECK(runUntil([&] { return fromWorker != 0; }));
    worker.join();
    CHECK(fromWorker == 3.0f);
    platform::Screen::mainScreen()->setScale(1);
    CHECK(GADMAdapterIAdUtilities::sharedInstance().screenScale() == 3.0f);
}

TEST_CASE_FIXTURE(IAdFixture, "GADMAdapterIAd: before OS 7 only the network's sizes are taken") {
    device("6.1.4");
    makeAdapter();
    adapter->getBannerWithSize(ruzave::kGADAdSizeBanner);
    auto view = bannerOf(*adapter);
    REQUIRE(view);
    CHECK(connector->events.empty());
    CHECK(view->currentContentSizeIdentifier() == PlatformAdBannerView::contentSizeIdentifierPortrait);

    adapter->getBannerWithSize(ruzave::kGADAdSizeMediumRectangle);
    REQUIRE(connector->events == std::vector<std::string>{"failAd"});
    CHECK(connector->errors[0].domain == ruzave::kGADErrorDomain);
    CHECK(connector->errors[0].code == ruzave::GADRequestErrorIncompatibleAdType);
    CHECK(connector->errors[0].description ==
          "Invalid size (" + ruzave::NSStringFromGADAdSize(ruzave::kGADAdSizeMediumRectangle) + ") for iAd on phone.");
    CHECK(bannerOf(*adapter) == view);

    // A landscape phone size takes the landscape identifier, also when changed to.
    adapter->changeAdSizeTo(ruzave::GADAdSizeFromCGSize({480, 32}));
    CHECK(view->currentContentSizeIdentifier() == PlatformAdBannerView::contentSizeIdentifierLandscape);

    // Tablets: the medium rectangle only where banners are made by ad type.
    device("6.0", UserInterfaceIdiom::Pad);
    makeAdapter();
    adapter->getBannerWithSize(ruzave::kGADAdSizeMediumRectangle);
    REQUIRE(bannerOf(*adapter));
    CHECK(bannerOf(*adapter)->adType() == PlatformAdBannerView::MediumRectangle);
    adapter->getBannerWithSize(ruzave::kGADAdSizeBanner);
    REQUIRE(connector->errors.size() == 1);
    CHECK(connector->errors[0].description.find("for iAd on tablet.") != std::string::npos);

    PlatformAdBannerView::setAdTypeInitializerAvailableForTesting(false);
    makeAdapter();
    adapter->getBannerWithSize(ruzave::kGADAdSizeMediumRectangle);
    CHECK(connector->events == std::vector<std::string>{"failAd"});
    adapter->getBannerWithSize(ruzave::GADAdSizeFromCGSize({1024, 90}));
    REQUIRE(bannerOf(*adapter));
    CHECK(bannerOf(*adapter)->requiredContentSizeIdentifiers().size() == 2);
    CHECK(bannerOf(*adapter)->currentContentSizeIdentifier() == PlatformAdBannerView::contentSizeIdentifierLandscape);
}

TEST_CASE_FIXTURE(IAdFixture, "GADMAdapterIAd: from OS 7 on any size is taken and fitted") {
    device("7.0.0");
    makeAdapter();
    adapter->getBannerWithSize(ruzave::kGADAdSizeMediumRectangle);
    auto view = bannerOf(*adapter);
    REQUIRE(view);
    CHECK(connector->events.empty());
    CHECK(view->adType() == PlatformAdBannerView::Banner);
    CHECK(view->autoresizingMask() == unsigned(platform::AutoresizingFlexibleWidth));
    platform::Size fitted = view->sizeThatFits({300, 250});
    CHECK(view->frame().size.width == fitted.width);
    CHECK(view->frame().size.height == fitted.height);
    adapter->changeAdSizeTo(ruzave::GADAdSizeFromCGSize({500, 50}));
    CHECK(view->frame().size.width == view->sizeThatFits({500, 50}).width);

    device("8.1", UserInterfaceIdiom::Pad);
    adapter->getBannerWithSize(ruzave::kGADAdSizeMediumRectangle);
    REQUIRE(bannerOf(*adapter));
    CHECK(bannerOf(*adapter)->adType() == PlatformAdBannerView::MediumRectangle);
}

TEST_CASE_FIXTURE(IAdFixture, "GADMAdapterIAd: animation type 7 is refused by both banners") {
    for (const char* version : {"6.1", "9.3"}) {
        CAPTURE(version);
        device(version);
        makeAdapter();
        CHECK_FALSE(adapter->isBannerAnimationOK(7));
        CHECK(adapter->isBannerAnimationOK(0));
        CHECK(adapter->isBannerAnimationOK(8));
    }
}

TEST_CASE_FIXTURE(IAdFixture, "GADMAdapterIAd: a loaded banner is shown and a failed one is hidden only before OS 7") {
    for (const char* version : {"6.1", "9.3"}) {
        CAPTURE(version);
        device(version);
        makeAdapter();
        PlatformAdBannerView::script(PlatformAdOutcome::failed(PlatformAdOutcome::InventoryUnavailable));
        PlatformAdBannerView::script(PlatformAdOutcome::loaded());
        adapter->getBannerWithSize(ruzave::kGADAdSizeBanner);
        auto view = bannerOf(*adapter);
        REQUIRE(view);
        runUntilIdle();
        REQUIRE(connector->events == std::vector<std::string>{"failAd"});
        CHECK(connector->errors[0].domain == PlatformAdOutcome::errorDomain);
        CHECK(view->isHidden() == (std::string(version) == "6.1"));
        view->loadNextForTesting();
        runUntilIdle();
        REQUIRE(connector->events == std::vector<std::string>{"failAd", "adView"});
        CHECK(connector->views[0] == view);
        CHECK_FALSE(view->isHidden());
    }
}

TEST_CASE_FIXTURE(IAdFixture, "GADMAdapterIAd: a dismissal is reported only after a presentation") {
    makeAdapter();
    PlatformAdBannerView::script(PlatformAdOutcome::loaded());
    adapter->getBannerWithSize(ruzave::kGADAdSizeBanner);
    auto view = bannerOf(*adapter);
    runUntilIdle();
    connector->events.clear();

    REQUIRE(view->tapForTesting(false));
    view->finishActionForTesting();
    CHECK(connector->events == std::vector<std::string>{"click", "willPresentModal", "didDismissModal"});
    connector->events.clear();

    // Leaving the app is a click only, and its end dismisses nothing.
    REQUIRE(view->tapForTesting(true));
    view->finishActionForTesting();
    CHECK(connector->events == std::vector<std::string>{"click"});
}

TEST_CASE_FIXTURE(IAdFixture, "GADMAdapterIAd: after stopping, the banner reaches the connector no more") {
    makeAdapter();
    PlatformAdBannerView::script(PlatformAdOutcome::loaded());
    adapter->getBannerWithSize(ruzave::kGADAdSizeBanner);
    auto view = bannerOf(*adapter);
    adapter->stopBeingDelegate();
    runUntilIdle();
    CHECK_FALSE(view->delegate().lock());
    CHECK(connector->events.empty());
}
