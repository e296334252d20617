#include <doctest/doctest.h>

#include "IAdTestSupport.h"
#include "ads/core/public/GADRequestError.h"
#include "ads/mediation/GADMAdapterIAdInterstitial.h"
#include "platform/ui/Button.h"
#include "platform/ui/Image.h"

using namespace mediationtest;
using platform::PlatformAdInterstitial;
using platform::PlatformAdOutcome;
using platform::UserInterfaceIdiom;
using ruzave::GADMAdapterIAdInterstitial;
using ruzave::GADMAdapterIAdIntrinsicImages;

namespace {

struct InterstitialFixture : IAdFixture {
    std::shared_ptr<GADMAdapterIAdInterstitial> impl() { return adapter->interstitialAdapter(); }
    // Loads one interstitial and clears what the connector heard.
    void load() {
        PlatformAdInterstitial::script(PlatformAdOutcome::loaded());
        makeAdapter();
        adapter->getInterstitial();
        runUntilIdle();
        REQUIRE(connector->events == std::vector<std::string>{"interstitial"});
        connector->events.clear();
    }
    void settle() {
        runUntilIdle();
        advance(1);
        runUntilIdle();
    }
};

} // namespace

TEST_CASE_FIXTURE(InterstitialFixture, "GADMAdapterIAdInterstitial: phones before OS 7 fail at once with code 10") {
    device("6.1.4");
    makeAdapter();
    adapter->getInterstitial();
    REQUIRE(connector->events == std::vector<std::string>{"failInterstitial"});
    CHECK(connector->errors[0].domain == ruzave::kGADErrorDomain);
    CHECK(connector->errors[0].code == ruzave::GADRequestErrorIncompatibleAdType);
    CHECK(connector->errors[0].description == GADMAdapterIAdInterstitial::kPreIOS7PhoneMessage);
    CHECK_FALSE(impl()->iAdInterstitial());
    CHECK(GADMAdapterIAdInterstitial::currentPlatformIsSupported());
    device("4.2");
    CHECK_FALSE(GADMAdapterIAdInterstitial::currentPlatformIsSupported());
}

TEST_CASE_FIXTURE(InterstitialFixture, "GADMAdapterIAdInterstitial: a second load while one is held changes nothing") {
    load();
    auto held = impl()->iAdInterstitial();
    adapter->getInterstitial();
    runUntilIdle();
    CHECK(impl()->iAdInterstitial() == held);
    CHECK(connector->events.empty());
}

TEST_CASE_FIXTURE(InterstitialFixture, "GADMAdapterIAdInterstitial: a failed load is reported and dropped, and a new load may start") {
    PlatformAdInterstitial::script(PlatformAdOutcome::failed(PlatformAdOutcome::ServerFailure));
    makeAdapter();
    adapter->getInterstitial();
    runUntilIdle();
    REQUIRE(connector->events == std::vector<std::string>{"failInterstitial"});
    CHECK(connector->errors[0].domain == PlatformAdOutcome::errorDomain);
    CHECK_FALSE(impl()->iAdInterstitial());
    PlatformAdInterstitial::script(PlatformAdOutcome::loaded());
    adapter->getInterstitial();
    runUntilIdle();
    CHECK(connector->events == std::vector<std::string>{"failInterstitial", "interstitial"});
}

TEST_CASE_FIXTURE(InterstitialFixture, "GADMAdapterIAdInterstitial: presenting without a loaded ad does nothing") {
    makeAdapter();
    adapter->presentInterstitialFromRootViewController(root);
    PlatformAdInterstitial::script(PlatformAdOutcome::loaded(5));
    adapter->getInterstitial();
    adapter->presentInterstitialFromRootViewController(root);
    settle();
    CHECK(connector->events.empty());
    CHECK_FALSE(root->presentedViewController());
}

TEST_CASE_FIXTURE(InterstitialFixture, "GADMAdapterIAdInterstitial: from OS 7 on the ad shows in our controller and the close button ends it once") {
    load();
    auto ad = impl()->iAdInterstitial();
    adapter->presentInterstitialFromRootViewController(root);
    settle();
    CHECK(connector->events == std::vector<std::string>{"willPresent"});
    auto vc = impl()->interstitialPresentationViewController();
    REQUIRE(root->presentedViewController() == vc);
    REQUIRE(vc->view()->subviews().size() == 2);
    CHECK(vc->view()->subviews()[0] == vc->iAdInterstitialView());
    CHECK(vc->view()->subviews()[1] == vc->closeButton());
    CHECK(vc->closeButton()->frame().size.width == 50);
    CHECK(vc->closeButton()->imageForState(platform::ControlStateNormal));
    CHECK(ad->adView()->superview() == vc->iAdInterstitialView());

    // A second presentation of the shown ad is no presentation.
    adapter->presentInterstitialFromRootViewController(root);
    vc->closeButton()->sendActions();
    CHECK(connector->events == std::vector<std::string>{"willPresent"}); // queued, not during the touch
    settle();
    CHECK(connector->events == std::vector<std::string>{"willPresent", "didDismiss"});
    CHECK_FALSE(root->presentedViewController());
    CHECK(vc->view()->subviews().empty());
    CHECK_FALSE(impl()->iAdInterstitial());
    CHECK_FALSE(ad->delegate().lock());
}

TEST_CASE_FIXTURE(InterstitialFixture, "GADMAdapterIAdInterstitial: the network unloading a shown ad dismisses it once") {
    load();
    auto ad = impl()->iAdInterstitial();
    adapter->presentInterstitialFromRootViewController(root);
    settle();
    ad->unloadForTesting();
    ad->unloadForTesting();
    settle();
    CHECK(connector->events == std::vector<std::string>{"willPresent", "didDismiss"});
    CHECK_FALSE(root->presentedViewController());
}

TEST_CASE_FIXTURE(InterstitialFixture, "GADMAdapterIAdInterstitial: an ad unloaded before it was shown is a failure, not a dismissal") {
    load();
    auto ad = impl()->iAdInterstitial();
    ad->unloadForTesting();
    ad->unloadForTesting();
    settle();
    REQUIRE(connector->events == std::vector<std::string>{"failInterstitial"});
    CHECK(connector->errors[0].domain == ruzave::kGADErrorDomain);
    CHECK(connector->errors[0].code == ruzave::GADRequestErrorNoFill);
    CHECK(connector->errors[0].description == GADMAdapterIAdInterstitial::kUnloadedBeforeShownMessage);
    CHECK_FALSE(impl()->iAdInterstitial());
    adapter->presentInterstitialFromRootViewController(root);
    settle();
    CHECK(connector->events == std::vector<std::string>{"failInterstitial"});
    CHECK_FALSE(root->presentedViewController());
    // A new load may start.
    PlatformAdInterstitial::script(PlatformAdOutcome::loaded());
    adapter->getInterstitial();
    runUntilIdle();
    CHECK(connector->events == std::vector<std::string>{"failInterstitial", "interstitial"});
}

TEST_CASE_FIXTURE(InterstitialFixture, "GADMAdapterIAdInterstitial: on tablets before OS 7 the platform presents the ad itself") {
    device("6.1", UserInterfaceIdiom::Pad);
    load();
    auto ad = impl()->iAdInterstitial();
    adapter->presentInterstitialFromRootViewController(root);
    settle();
    CHECK(connector->events == std::vector<std::string>{"willPresent"});
    CHECK(ad->isPresented());
    REQUIRE(root->presentedViewController());
    CHECK(root->presentedViewController() != impl()->interstitialPresentationViewController());
    CHECK_FALSE(impl()->interstitialPresentationViewController()->closeButton()->superview());
    // Leaving the app is reported; the action's end closes the ad.
    REQUIRE(ad->tapForTesting(true));
    ad->finishActionForTesting();
    settle();
    CHECK(connector->events == std::vector<std::string>{"willPresent", "leave", "didDismiss"});
}

TEST_CASE_FIXTURE(InterstitialFixture, "GADMAdapterIAdInterstitial: the close image suits the screen scale") {
    for (float scale : {1.0f, 2.0f}) {
        CAPTURE(scale);
        platform::Screen::mainScreen()->setScale(scale);
        ruzave::GADMAdapterIAdUtilities::sharedInstance().resetForTesting();
        const std::string chosen = GADMAdapterIAdIntrinsicImages::chooseImage("single", "double");
        CHECK(chosen == (scale == 1.0f ? "single" : "double"));
    }
    platform::Screen::mainScreen()->setScale(2);
    ruzave::GADMAdapterIAdUtilities::sharedInstance().resetForTesting();
    GADMAdapterIAdIntrinsicImages fresh;
    auto image = fresh.closeButton();
    REQUIRE(image);
    CHECK(image->bitmap().width() == 50);
    CHECK(image->scale() == 2.0f);
    CHECK(image->size().width == 25);
    CHECK(image->bitmap().countOpaquePixels() > 0);
    platform::Screen::mainScreen()->setScale(1);
    ruzave::GADMAdapterIAdUtilities::sharedInstance().resetForTesting();
    GADMAdapterIAdIntrinsicImages single;
    REQUIRE(single.closeButton());
    CHECK(single.closeButton()->bitmap().width() == 25);
    CHECK(single.closeButton()->scale() == 1.0f);
    CHECK(single.closeButton() == single.closeButton());
    CHECK_FALSE(GADMAdapterIAdIntrinsicImages::imageWithBase64EncodedString("not base64 png"));
}
