#include <doctest/doctest.h>

#include "ads/core/signals/GADGestureModule.h"
#include "ads/render/GADAdView.h"
#include "ads/render/GADAdViewTouchGestureRecognizer.h"
#include "platform/testing/Harness.h"
#include "platform/testing/ui/TouchInjector.h"
#include "platform/ui/Event.h"
#include "platform/ui/Window.h"

using platform::Rect;
using platform::testing::Harness;

namespace {

struct TouchFixture : Harness {
    std::shared_ptr<platform::Window> window = platform::Window::create(Rect(0, 0, 320, 568));
    std::shared_ptr<ruzave::GADAdView> view = ruzave::GADAdView::initWithFrame(Rect(0, 100, 320, 50));
    TouchFixture() {
        window->addSubview(view);
        window->makeKeyAndVisible();
    }
};

} // namespace

TEST_CASE_FIXTURE(TouchFixture, "GADAdViewTouchGestureRecognizer: a touch reports its truncated position and duration") {
    auto before = ruzave::GADGestureModuleRecordedTouches().size();
    platform::TouchInjector finger(window);
    REQUIRE(finger.down({10.9f, 120.7f}, 1.0));
    REQUIRE(finger.up({10.9f, 120.7f}, 1.2505));
    auto touches = ruzave::GADGestureModuleRecordedTouches();
    REQUIRE(touches.size() == before + 1);
    // In the ad view's coordinates.
    CHECK(touches.back().x == 10);
    CHECK(touches.back().y == 20);
    CHECK(touches.back().durationMilliseconds == 250);
    CHECK(view->isTouched());
    CHECK(view->touchGestureRecognizer()->touchesBeganTimestamp() == 0);
}

TEST_CASE_FIXTURE(TouchFixture, "GADAdViewTouchGestureRecognizer: an end without a beginning has no duration and no touch gives 0, 0") {
    auto recognizer = view->touchGestureRecognizer();
    auto before = ruzave::GADGestureModuleRecordedTouches().size();
    recognizer->touchesEnded({}, platform::Event(5.0, {}));
    auto touches = ruzave::GADGestureModuleRecordedTouches();
    REQUIRE(touches.size() == before + 1);
    CHECK(touches.back().x == 0);
    CHECK(touches.back().y == 0);
    CHECK(touches.back().durationMilliseconds == -1);
}

TEST_CASE_FIXTURE(TouchFixture, "GADAdViewTouchGestureRecognizer: a second touch times itself, not from the first") {
    platform::TouchInjector finger(window);
    REQUIRE(finger.down({5, 105}, 1.0));
    REQUIRE(finger.up({5, 105}, 1.1));
    REQUIRE(finger.down({5, 105}, 3.0));
    REQUIRE(finger.up({5, 105}, 3.5005));
    CHECK(ruzave::GADGestureModuleRecordedTouches().back().durationMilliseconds == 500);
}
