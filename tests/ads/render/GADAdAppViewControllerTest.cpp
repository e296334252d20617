#include "ads/render/GADAdAppViewController.h"

#include <doctest/doctest.h>

#include "ads/render/GADAdAppAdViewDelegate.h"
#include "ads/render/GADInterstitialViewController.h"
#include "ads/render/GADIntrinsicImages.h"
#include "ads/render/GADMRAIDResizeProperties.h"
#include "platform/testing/web/WebViewTesting.h"
#include "platform/ui/Application.h"
#include "platform/ui/Button.h"
#include "platform/ui/Image.h"
#include "platform/ui/Screen.h"
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
    // The drawn close control, 25 points at the screen's density.
    auto drawn = plain->closeButton()->currentImage();
    REQUIRE(drawn);
    CHECK(drawn == ruzave::GADIntrinsicImages::sharedInstance()->closeButton());
    CHECK(drawn->size().width == doctest::Approx(25));
    CHECK(drawn->pixelWidth() == static_cast<int>(25 * platform::Screen::mainScreen()->scale()));

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
    // Invisible (a clear image), yet a touch at its place still lands on it and closes the ad.
    auto clear = mraid->closeButton()->currentImage();
    REQUIRE(clear);
    CHECK(clear == ruzave::GADIntrinsicImages::sharedInstance()->transparentImage());
    CHECK(clear->size().width == doctest::Approx(10));
    for (int y = 0; y < clear->pixelHeight(); ++y)
        for (int x = 0; x < clear->pixelWidth(); ++x) REQUIRE(clear->bitmap().pixel(x, y) == 0u);
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

TEST_CASE_FIXTURE(MRAIDBanner, "GADAdAppViewController: the MRAID creative hears it shows on appearing and not on leaving") {
    // Notes the "visible" of every visibility event the creative's page receives.
    adView->evaluate("window.vis=[];var was=window.ZUDO_ReceiveMessage;window.ZUDO_ReceiveMessage=function(n,i){"
                     "if(n=='onAdVisibilityChanged')vis.push(i.visible);was(n,i);};");
    auto visibility = [&] {
        runUntilIdle();
        return adView->evaluate("vis.join(',')");
    };
    auto controller = GADAdAppViewController::init();
    controller->setSlot(s.slot);
    controller->presentFromViewController(root, nullptr);
    settle();
    CHECK(visibility() == "1");
    controller->relinquishScreenWithCompletion(nullptr);
    settle();
    CHECK(visibility() == "1,0");
}

TEST_CASE_FIXTURE(MRAIDBanner, "GADAdAppViewController: a URL handed over before the view appears loads at once and only once") {
    auto controller = GADAdAppViewController::init();
    controller->setSlot(s.slot);
    const auto target = *platform::URL::parse("https://127.0.0.1:9/landing");
    controller->load(target);
    runUntilIdle();
    auto count = [&] {
        int n = 0;
        for (const auto& nav : platform::WebViewTesting::navigations(*controller->adView()->webView()))
            if (nav.first == target.absoluteString()) ++n;
        return n;
    };
    CHECK(count() == 1);
    controller->presentFromViewController(root, nullptr);
    settle();
    CHECK(count() == 1);
    controller->relinquishScreenWithCompletion(nullptr);
    settle();
}
