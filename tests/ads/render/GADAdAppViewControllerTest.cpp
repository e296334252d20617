#include "ads/render/GADAdAppViewController.h"

#include <doctest/doctest.h>

#include "ads/render/GADAdAppAdViewDelegate.h"
#include "ads/render/GADInterstitialViewController.h"
#include "ads/render/GADMRAIDResizeProperties.h"
#include "platform/ui/Application.h"
#include "platform/ui/Button.h"
#include "tests/ads/render/RenderFullScreenTestSupport.h"

using fullscreentest::MRAIDBanner;
using ruzave::GADAdAppViewController;

TEST_CASE_FIXTURE(MRAIDBanner, "GADAdAppViewController: the close button, plain, hidden or an invisible MRAID tap area") {
    // The fixture's slot serves MRAID; this one does not.
    auto fresh = ruzave::GADSlot::initWithFrame(platform::Rect(0, 0, 320, 50));
    auto plain = GADAdAppViewController::init();
    plain->setSlot(fresh);
    plain->view()->setFrame({0, 0, 320, 480});
    plain->beginAppearanceTransition(true, false);
    CHECK(plain->closeButton()->superview() == plain->view());
    CHECK(plain->closeButton()->frame() == platform::Rect(0, 0, 32, 32));
    CHECK(plain->closeButton()->accessibilityLabel() == "Close Advertisement");

    // Custom close on an ad that is not MRAID: no button at all.
    auto custom = GADAdAppViewController::init();
    custom->setSlot(fresh);
    custom->setUseCustomClose(true);
    custom->beginAppearanceTransition(true, false);
    CHECK(custom->closeButton()->superview() == nullptr);

    // An MRAID ad keeps an invisible button where it asked for one.
    auto mraid = GADAdAppViewController::init();
    mraid->setSlot(s.slot);
    mraid->view()->setFrame({0, 0, 300, 250});
    mraid->setUseCustomClose(true);
    mraid->setCustomClosePosition(4);
    mraid->beginAppearanceTransition(true, false);
    CHECK(mraid->closeButton()->superview() == mraid->view());
    CHECK(mraid->closeButton()->frame() ==
          ruzave::GADMRAIDResizeProperties::closeButtonRectForPosition(4, mraid->view()->bounds()));
    // Invisible, yet a touch at its place still lands on it and closes the ad.
    CHECK_FALSE(mraid->closeButton()->currentImage());
    auto frame = mraid->closeButton()->frame();
    platform::Point tap{frame.origin.x + frame.size.width / 2, frame.origin.y + frame.size.height / 2};
    CHECK(mraid->view()->hitTest(tap, nullptr) == mraid->closeButton());
}

TEST_CASE_FIXTURE(MRAIDBanner, "GADAdAppViewController: a page that left the app keeps the screen once on return") {
    auto controller = GADAdAppViewController::init();
    controller->setSlot(s.slot);
    controller->beginAppearanceTransition(true, false);
    // Not loaded: it goes on return.
    CHECK(controller->shouldDismissOnApplicationEnteringForeground());
    controller->loadHTML("<html><body>page</body></html>", std::nullopt);
    REQUIRE(runUntil([&] { return controller->isLoaded(); }));
    controller->adViewDelegate()->opener()->setDidOpenAnotherApplication(true);
    CHECK_FALSE(controller->shouldDismissOnApplicationEnteringForeground());
    CHECK(controller->shouldDismissOnApplicationEnteringForeground());
    controller->setUseCustomClose(true);
    controller->adViewDelegate()->opener()->setDidOpenAnotherApplication(true);
    CHECK(controller->shouldDismissOnApplicationEnteringForeground());
}

TEST_CASE_FIXTURE(MRAIDBanner, "GADInterstitialViewController: made for a slot, loaded with its slot, and the page hears onshow after it is up") {
    CHECK(ruzave::GADInterstitialViewController::initWithSlot(nullptr) == nullptr);
    auto controller = ruzave::GADInterstitialViewController::initWithSlot(s.slot);
    CHECK(controller->adView() == adView);
    CHECK(adView->viewController() == controller);
    CHECK_FALSE(controller->isLoaded()); // the slot holds no valid ad
    controller->presentFromViewController(root, nullptr);
    CHECK(seen().find("onshow") == std::string::npos);
    settle();
    CHECK(seen().find("onshow") != std::string::npos);
    controller->relinquishScreenWithCompletion(nullptr);
    settle();
    CHECK(seen().find("onshow,onhide") != std::string::npos);
    CHECK(controller->adView() == nullptr); // dropped once dismissed
}
