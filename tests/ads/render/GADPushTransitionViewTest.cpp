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

TEST_CASE_FIXTURE(platform::testing::Harness, "GADPushTransitionView: three views cycle every 5 seconds and a new list starts at its first") {
    auto push = GADPushTransitionView::initWithFrame({{0, 0}, {20, 20}});
    auto a = platform::View::create();
    auto b = platform::View::create();
    auto c = platform::View::create();
    push->setViews({a, b, c});
    auto at = [&](double seconds) {
        advance(seconds);
        runUntilIdle();
        return push->currentView();
    };
    CHECK(push->currentView() == a);
    CHECK(at(4.9) == a);
    CHECK(at(0.2) == b);
    CHECK(at(4.8) == b);
    CHECK(at(0.2) == c);
    CHECK(at(5.0) == a);
    CHECK(at(5.0) == b);
    // A new list in the middle of a cycle: its first view at once, its second one full period later.
    auto d = platform::View::create();
    auto e = platform::View::create();
    advance(2.0);
    push->setViews({d, e});
    CHECK(push->currentView() == d);
    CHECK_FALSE(b->superview());
    CHECK(at(3.5) == d);
    CHECK(at(1.6) == e);
    CHECK(at(5.0) == d);
    // An empty list clears the view and nothing comes back.
    push->setViews({});
    CHECK_FALSE(push->currentView());
    CHECK(push->clippingView()->subviews().empty());
    CHECK_FALSE(at(30.0));
}
