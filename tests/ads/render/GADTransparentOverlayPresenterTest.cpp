#include "ads/render/GADTransparentOverlayPresenter.h"

#include <doctest/doctest.h>

#include <numbers>

#include "ads/render/GADUnclickableView.h"
#include "ads/render/GADViewController.h"
#include "platform/ui/Application.h"
#include "platform/ui/Device.h"
#include "platform/ui/Screen.h"
#include "tests/ads/render/RenderFullScreenTestSupport.h"

using fullscreentest::MRAIDBanner;
using ruzave::GADTransparentOverlayPresenter;

namespace {

// A transparent overlay for the banner's slot, presented from the root controller.
struct Overlay : MRAIDBanner {
    Overlay() {
        controller->setSlot(s.slot);
        controller->setPresenter(presenter);
    }
    std::shared_ptr<ruzave::GADViewController> controller = ruzave::GADViewController::init();
    std::shared_ptr<GADTransparentOverlayPresenter> presenter = GADTransparentOverlayPresenter::init();
};

// The device's OS version is read once, when the SDK first looks at the device.
struct OldOS {
    OldOS() { platform::Device::currentDevice()->setSystemVersion("7.1"); }
};
struct OldOverlay : OldOS, Overlay {};

} // namespace

TEST_CASE("GADTransparentOverlayPresenter: a size centred in a frame") {
    CHECK(GADTransparentOverlayPresenter::frameWithSize({100, 50}, {0, 20, 320, 460}) == platform::Rect(110, 225, 100, 50));
}

TEST_CASE_FIXTURE(Overlay, "GADTransparentOverlayPresenter: laid over the window, it slides in from below and is never turned") {
    platform::Application::sharedApplication()->setStatusBarOrientation(platform::InterfaceOrientation::LandscapeRight);
    controller->presentFromViewController(root, nullptr);
    CHECK(presenter->pivotView()->superview() == window);
    CHECK(controller->view()->superview() == presenter->cropView());
    CHECK(presenter->pivotView()->transform().isIdentity());
    auto settled = GADTransparentOverlayPresenter::frameWithSize(presenter->pivotView()->bounds().size,
                                                                 platform::Screen::mainScreen()->applicationFrame());
    settle();
    CHECK(presenter->pivotView()->frame().minY() == doctest::Approx(settled.minY()).epsilon(0.001));
    CHECK(s.events->calls == std::vector<std::string>{"willPresent"});
    CHECK(presenter->presentationViewController() == root);
    controller->relinquishScreenWithCompletion(nullptr);
    settle();
    CHECK(presenter->pivotView()->superview() == nullptr);
}

TEST_CASE_FIXTURE(OldOverlay, "GADTransparentOverlayPresenter: below OS 8 the pivot turns with the status bar") {
    platform::Application::sharedApplication()->setStatusBarOrientation(platform::InterfaceOrientation::LandscapeRight);
    auto t = presenter->transformForOrientation(platform::InterfaceOrientation::LandscapeRight);
    auto expected = platform::AffineTransform::rotation(std::numbers::pi_v<float> / 2);
    CHECK(t.a == doctest::Approx(expected.a));
    CHECK(t.b == doctest::Approx(expected.b));
    CHECK(presenter->transformForOrientation(platform::InterfaceOrientation::Portrait).isIdentity());
    controller->presentFromViewController(root, nullptr);
    CHECK(presenter->pivotView()->transform().b == doctest::Approx(expected.b));
    controller->relinquishScreenWithCompletion(nullptr);
    settle();
}

TEST_CASE_FIXTURE(Overlay, "GADTransparentOverlayPresenter: the overlay goes when its banner leaves the window") {
    controller->presentFromViewController(root, nullptr);
    settle();
    adView->removeFromSuperview();
    s.slot->bannerDidMoveToWindow(nullptr);
    settle();
    CHECK_FALSE(controller->view()->window());
    CHECK(presenter->pivotView()->superview() == nullptr);
    CHECK(s.events->calls == std::vector<std::string>{"willPresent", "willDismiss", "didDismiss"});
    // Already off screen: a second notice does nothing.
    s.slot->bannerDidMoveToWindow(nullptr);
    settle();
    CHECK(s.events->calls.size() == 3);
}
