#include <doctest/doctest.h>

#include "ads/render/GADPushTransitionView.h"
#include "platform/testing/Harness.h"
#include "platform/ui/Layer.h"

using ruzave::GADPushTransitionView;

TEST_CASE_FIXTURE(platform::testing::Harness, "GADPushTransitionView: views cycle after presentation plus animation time") {
    auto push = GADPushTransitionView::initWithFrame({{0, 0}, {20, 20}});
    auto a = platform::View::create({{0, 0}, {5, 5}});
    auto b = platform::View::create({{0, 0}, {5, 5}});
    push->setPresentationDuration(2);
    push->setAnimationDuration(0.5);
    push->setViews({a, b});
    CHECK(push->currentView() == a);
    CHECK(a->superview() == push->clippingView());
    advance(2.4);
    runUntilIdle();
    CHECK(push->currentView() == a);
    advance(0.2);
    runUntilIdle();
    CHECK(push->currentView() == b);
    CHECK_FALSE(a->superview());
    auto transition = push->clippingView()->layer()->animationForKey(GADPushTransitionView::kPushAnimationKey);
    REQUIRE(transition);
    CHECK(transition->type == "push");
    CHECK(transition->subtype == "fromTop");
    advance(2.5);
    runUntilIdle();
    CHECK(push->currentView() == a);
}

TEST_CASE_FIXTURE(platform::testing::Harness, "GADPushTransitionView: a change restarts the timing and one view never moves") {
    auto push = GADPushTransitionView::initWithFrame({{0, 0}, {20, 20}});
    auto a = platform::View::create();
    auto b = platform::View::create();
    push->setViews({a, b});
    advance(4.9);
    push->setAnimationDuration(1.0); // steps scheduled before this do nothing
    advance(0.2);
    runUntilIdle();
    CHECK(push->currentView() == a);
    advance(5.0);
    runUntilIdle();
    CHECK(push->currentView() == b);
    push->setViews({a});
    advance(20);
    runUntilIdle();
    CHECK(push->currentView() == a);
    push->setViews({});
    CHECK_FALSE(push->currentView());
}
