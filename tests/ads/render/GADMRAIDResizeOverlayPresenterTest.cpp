#include "ads/render/GADMRAIDResizeOverlayPresenter.h"

#include <doctest/doctest.h>

#include "ads/render/GADExpandedAdAppViewController.h"
#include "ads/render/GADMRAIDResizeProperties.h"
#include "ads/render/GADUnclickableView.h"
#include "platform/ui/Screen.h"
#include "tests/ads/render/RenderFullScreenTestSupport.h"

using fullscreentest::MRAIDBanner;
using ruzave::GADMRAIDResizeOverlayPresenter;
using ruzave::GADMRAIDResizeProperties;

TEST_CASE("GADMRAIDResizeOverlayPresenter: frames move into the bounds without changing size") {
    platform::Rect bounds(0, 0, 320, 480);
    CHECK(GADMRAIDResizeOverlayPresenter::adjustedContentFrame({40, 10, 300, 50}, bounds) == platform::Rect(20, 10, 300, 50));
    CHECK(GADMRAIDResizeOverlayPresenter::adjustedContentFrame({-15, -5, 300, 50}, bounds) == platform::Rect(0, 0, 300, 50));
    CHECK(GADMRAIDResizeOverlayPresenter::adjustedContentFrame({0, 450, 300, 50}, bounds) == platform::Rect(0, 430, 300, 50));
    // Larger than the bounds: the leading edges meet.
    CHECK(GADMRAIDResizeOverlayPresenter::adjustedContentFrame({50, 50, 400, 600}, bounds) == platform::Rect(0, 0, 400, 600));
}

TEST_CASE_FIXTURE(MRAIDBanner, "GADMRAIDResizeOverlayPresenter: properties are checked against the screen") {
    CHECK(GADMRAIDResizeOverlayPresenter::initWithReferenceView(nullptr) == nullptr);
    auto presenter = GADMRAIDResizeOverlayPresenter::initWithReferenceView(root->view());
    presenter->setMRAIDEventHandler(s.slot);
    CHECK(presenter->dismissToDefaultState());
    float width = platform::Screen::mainScreen()->applicationFrame().width();
    // 20 points out on the right, not allowed off screen: valid, since moved left it fits.
    auto moved = GADMRAIDResizeProperties::init({300, 50}, {width - 280, 0}, 0, false);
    CHECK(presenter->resizePropertiesAreValid(moved, root->view()));
    // The same with off screen allowed, but the top-right close area off screen: refused.
    auto refused = GADMRAIDResizeProperties::init({300, 50}, {width - 280, 0}, 0, true);
    CHECK_FALSE(presenter->resizePropertiesAreValid(refused, root->view()));
    CHECK_FALSE(presenter->isReadyToPresent()); // no properties yet
    presenter->setResizeProperties(refused);
    CHECK(presenter->resizeProperties() == nullptr);
    CHECK(seen().rfind("onError:Received invalid resize properties <GADMRAIDResizeProperties", 0) == 0);
    presenter->setResizeProperties(moved);
    CHECK(presenter->resizeProperties() == moved);
}

TEST_CASE_FIXTURE(MRAIDBanner, "GADMRAIDResizeOverlayPresenter: the resized ad sits at the moved frame and touches around it fall through") {
    float width = platform::Screen::mainScreen()->applicationFrame().width();
    opener->openWebAppWithResizeProperties(GADMRAIDResizeProperties::init({300, 50}, {width - 280, 0}, 0, false));
    settle();
    auto controller = std::dynamic_pointer_cast<ruzave::GADViewController>(adView->viewController());
    REQUIRE(controller);
    auto presenter = std::dynamic_pointer_cast<GADMRAIDResizeOverlayPresenter>(controller->presenter());
    REQUIRE(presenter);
    auto frame = controller->view()->convertRectToView(controller->view()->bounds(), nullptr);
    CHECK(frame.maxX() == doctest::Approx(width));
    CHECK(frame.width() == doctest::Approx(300));
    // A touch on the ad reaches the ad, one beside it reaches the app.
    auto pivot = presenter->pivotView();
    auto inside = pivot->convertPointFromView({frame.midX(), frame.midY()}, nullptr);
    auto hit = pivot->hitTest(inside);
    REQUIRE(hit);
    CHECK(hit->isDescendantOfView(controller->view().get()));
    auto outside = pivot->convertPointFromView({10, 400}, nullptr);
    CHECK(pivot->hitTest(outside) == nullptr);
    CHECK(window->hitTest({10, 400})->isDescendantOfView(root->view().get()));
}

TEST_CASE_FIXTURE(MRAIDBanner, "GADMRAIDResizeOverlayPresenter: a frame that stops fitting after rotation ends the resize") {
    opener->openWebAppWithResizeProperties(GADMRAIDResizeProperties::init({300, 50}, {0, 0}, 0, false));
    settle();
    auto controller = std::dynamic_pointer_cast<ruzave::GADViewController>(adView->viewController());
    REQUIRE(controller);
    auto presenter = std::dynamic_pointer_cast<GADMRAIDResizeOverlayPresenter>(controller->presenter());
    // Settled: repositioning with nothing changed stops at once.
    presenter->repositionContentIfNeeded();
    runUntilIdle();
    CHECK(controller->view()->window());
    // The crop shrinks under the ad (as a rotation to a narrower frame would).
    presenter->cropView()->setBounds({0, 0, 200, 480});
    presenter->cropView()->setFrame({0, 0, 200, 480});
    for (int i = 0; i < 5; ++i) {
        presenter->repositionContentIfNeeded();
        advance(GADMRAIDResizeOverlayPresenter::kRepositionDelay);
    }
    settle();
    CHECK(seen().find("onError:Resize properties became invalid after device rotation.") != std::string::npos);
    CHECK_FALSE(controller->view()->window());
    CHECK(adView->superview() == root->view());
}
