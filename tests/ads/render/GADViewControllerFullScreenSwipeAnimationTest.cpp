#include <doctest/doctest.h>

#include "ads/core/signals/GADDevice.h"
#include "ads/render/GADAnimationContext.h"
#include "ads/render/GADSwipeToViewControllerConfigurations.h"
#include "ads/render/GADViewControllerFullScreenSwipeAnimation.h"
#include "platform/testing/Harness.h"
#include "platform/ui/TransitionContext.h"
#include "platform/ui/View.h"
#include "platform/ui/ViewController.h"
#include "platform/ui/Window.h"

using platform::Rect;
using platform::testing::Harness;
using ruzave::GADViewControllerFullScreenSwipeAnimation;

namespace {

// A 320 x 480 container with the ad at (0, 100, 320, 50), and a page to present over it.
struct Stage : Harness {
    Stage() {
        ruzave::GADDevice::sharedInstance()->updateOperatingSystemVersionProperties();
        animation = GADViewControllerFullScreenSwipeAnimation::init();
        REQUIRE(animation);
        container->addSubview(ad);
        animation->setTransitionDuration(0.5);
    }
    std::shared_ptr<platform::TransitionContext> context(bool presenting) {
        auto from = presenting ? root : page;
        auto to = presenting ? page : root;
        return platform::TransitionContext::create(from, to, container, true, false, animation,
                                                   [this](bool done) { completions.push_back(done); });
    }
    std::shared_ptr<platform::View> container = platform::View::create({0, 0, 320, 480});
    std::shared_ptr<platform::View> ad = platform::View::create({0, 100, 320, 50});
    std::shared_ptr<platform::ViewController> root = platform::ViewController::create();
    std::shared_ptr<platform::ViewController> page = platform::ViewController::create();
    std::shared_ptr<GADViewControllerFullScreenSwipeAnimation> animation;
    std::vector<bool> completions;
};

} // namespace

TEST_CASE_FIXTURE(Stage, "GADViewControllerFullScreenSwipeAnimation: a draggable ad is pushed ahead of the page") {
    animation->setDraggableView(ad);
    animation->setDirection(ruzave::GADSwipeDirectionTopToBottom);
    animation->willAnimatePresentation();
    auto down = context(true);
    auto c = animation->animationContextForTopToBottomAnimationPresentationWithTransitionContext(*down);
    CHECK(c->animatedViewController() == page);
    CHECK(c->draggableViewSnapshot() != nullptr);
    CHECK(c->draggableViewStartFrame() == Rect(0, 100, 320, 50));
    CHECK(c->draggableViewEndFrame() == Rect(0, 480, 320, 50));
    CHECK(c->animatedViewStartFrame() == Rect(0, -380, 320, 480));
    CHECK(c->animatedViewEndFrame() == Rect(0, 0, 320, 480));
    CHECK(animation->draggableViewShownOnPresentation());

    auto up = animation->animationContextForBottomToTopAnimationPresentationWithTransitionContext(*down);
    CHECK(up->draggableViewEndFrame() == Rect(0, -50, 320, 50));
    CHECK(up->animatedViewStartFrame() == Rect(0, 150, 320, 480));
    CHECK(animation->animatedViewFrameBeforeAnimation() == Rect(0, 150, 320, 480));
}

TEST_CASE_FIXTURE(Stage, "GADViewControllerFullScreenSwipeAnimation: without a picture the page starts at the finger") {
    animation->setStartY(200);
    animation->willAnimatePresentation();
    auto t = context(true);
    auto down = animation->animationContextForTopToBottomAnimationPresentationWithTransitionContext(*t);
    CHECK(down->draggableViewSnapshot() == nullptr);
    CHECK(down->animatedViewStartFrame() == Rect(0, -280, 320, 480));
    auto up = animation->animationContextForBottomToTopAnimationPresentationWithTransitionContext(*t);
    CHECK(up->animatedViewStartFrame() == Rect(0, 200, 320, 480));
    CHECK_FALSE(animation->draggableViewShownOnPresentation());
    CHECK(animation->draggableViewEndFrameAfterAnimation() == Rect::zero());
}

TEST_CASE_FIXTURE(Stage, "GADViewControllerFullScreenSwipeAnimation: a run moves the page and the dismissal sends it back") {
    animation->setDraggableView(ad);
    animation->setDirection(ruzave::GADSwipeDirectionBottomToTop);
    animation->willAnimatePresentation();
    auto show = context(true);
    animation->animateTransition(*show);
    // The page is on top, at its start, until the animation has run.
    REQUIRE(page->view()->superview() == container);
    CHECK(container->subviews().back() != page->view()); // the picture rides above it
    CHECK(page->view()->frame() == Rect(0, 0, 320, 480)); // changes apply at once
    CHECK(completions.empty());
    const auto before = container->subviews().size();
    advance(0.5);
    runUntilIdle();
    CHECK(completions == std::vector<bool>{true});
    // The picture stood in for the ad only while things moved.
    CHECK(container->subviews().size() == before - 1);

    // The ad changed size while the page was up: no picture on the way back, the page still returns.
    ad->setFrame({0, 100, 320, 100});
    animation->willAnimateDismissal();
    auto hide = context(false);
    auto back = animation->animationContextForBottomToTopAnimationDismissalWithTransitionContext(*hide);
    CHECK(back->draggableViewSnapshot() == nullptr);
    CHECK(back->draggableViewStartFrame() == Rect::zero());
    CHECK(back->animatedViewStartFrame() == Rect(0, 0, 320, 480));
    CHECK(back->animatedViewEndFrame() == Rect(0, 150, 320, 480));
    CHECK(animation->draggableViewEndFrameAfterAnimation() == Rect::zero());
}

TEST_CASE_FIXTURE(Stage, "GADViewControllerFullScreenSwipeAnimation: an unchanged ad travels back with the page") {
    animation->setDraggableView(ad);
    animation->setDirection(ruzave::GADSwipeDirectionTopToBottom);
    animation->willAnimatePresentation();
    auto show = context(true);
    animation->animationContextForTopToBottomAnimationPresentationWithTransitionContext(*show);
    animation->willAnimateDismissal();
    auto hide = context(false);
    auto back = animation->animationContextForTopToBottomAnimationDismissalWithTransitionContext(*hide);
    CHECK(back->animatedViewController() == page);
    CHECK(back->draggableViewSnapshot() != nullptr);
    CHECK(back->draggableViewStartFrame() == Rect(0, 480, 320, 50));
    CHECK(back->draggableViewEndFrame() == Rect(0, 100, 320, 50));
    CHECK(back->animatedViewEndFrame() == Rect(0, -380, 320, 480));
    CHECK(animation->transitionDuration(hide.get()) == 0.5);
}
