#include "ads/render/GADViewControllerFullScreenSwipeAnimation.h"

#include "ads/core/signals/GADDevice.h"
#include "ads/render/GADAnimationContext.h"
#include "ads/render/GADSwipeToViewControllerConfigurations.h"
#include "platform/ui/TransitionContext.h"
#include "platform/ui/View.h"
#include "platform/ui/ViewController.h"

namespace ruzave {

std::shared_ptr<GADViewControllerFullScreenSwipeAnimation> GADViewControllerFullScreenSwipeAnimation::init() {
    if (!GADDevice::sharedInstance()->isOSAtLeastMajor(7, 0, 0)) return nullptr;
    return std::make_shared<GADViewControllerFullScreenSwipeAnimation>();
}

double GADViewControllerFullScreenSwipeAnimation::transitionDuration(platform::TransitionContext*) {
    return transitionDuration_;
}

void GADViewControllerFullScreenSwipeAnimation::animateTransition(platform::TransitionContext& transition) {
    auto from = transition.fromViewController();
    auto to = transition.toViewController();
    auto container = transition.containerView();
    // The moving page always goes on top.
    if (container) {
        auto below = presenting_ ? from : to;
        auto above = presenting_ ? to : from;
        if (below) container->addSubview(below->view());
        if (above) container->addSubview(above->view());
    }

    std::shared_ptr<GADAnimationContext> context;
    const bool topToBottom = direction_ == GADSwipeDirectionTopToBottom;
    if (presenting_) {
        context = topToBottom ? animationContextForTopToBottomAnimationPresentationWithTransitionContext(transition)
                              : animationContextForBottomToTopAnimationPresentationWithTransitionContext(transition);
    } else {
        context = topToBottom ? animationContextForTopToBottomAnimationDismissalWithTransitionContext(transition)
                              : animationContextForBottomToTopAnimationDismissalWithTransitionContext(transition);
    }
    runPresenting_ = presenting_;

    auto snapshot = context->draggableViewSnapshot();
    if (snapshot) {
        snapshot->setFrame(context->draggableViewStartFrame());
        if (container) container->addSubview(snapshot);
    }
    auto animated = context->animatedViewController();
    auto page = animated ? animated->view() : nullptr;
    if (page) page->setFrame(context->animatedViewStartFrame());

    // A cancelled run (the finger let go the wrong way) leaves everything where it started.
    const bool cancelled = transition.transitionWasCancelled();
    auto shared = transition.shared_from_this();
    platform::View::animate(
        transitionDuration(&transition),
        [&] {
            if (cancelled) return;
            if (snapshot) snapshot->setFrame(context->draggableViewEndFrame());
            if (page) page->setFrame(context->animatedViewEndFrame());
        },
        [shared, snapshot](bool) {
            // The picture stood in for the ad only while things moved.
            if (snapshot) snapshot->removeFromSuperview();
            shared->completeTransition(!shared->transitionWasCancelled());
        });
}

void GADViewControllerFullScreenSwipeAnimation::animationEnded(bool transitionCompleted) {
    if (!runPresenting_ && transitionCompleted && dismissalEnded_) dismissalEnded_();
}

std::shared_ptr<GADAnimationContext>
GADViewControllerFullScreenSwipeAnimation::presentationContext(platform::TransitionContext& transition,
                                                               bool topToBottom) {
    auto context = GADAnimationContext::init();
    context->setAnimatedViewController(transition.toViewController());
    auto container = transition.containerView();
    const platform::Rect B = container ? container->bounds() : platform::Rect::zero();
    float startY = 0;
    auto draggable = draggableView();
    bool shown = false;
    if (draggable) {
        const platform::Rect C = draggable->convertRectToView(draggable->bounds(), container.get());
        context->setDraggableViewSnapshot(draggable->snapshotView());
        const platform::Rect end = topToBottom ? platform::Rect(C.origin.x, B.size.height, C.size.width, C.size.height)
                                               : platform::Rect(C.origin.x, -C.size.height, C.size.width, C.size.height);
        draggableViewEndFrameAfterAnimation_ = end;
        context->setDraggableViewEndFrame(end);
        context->setDraggableViewStartFrame(C);
        draggableViewShownOnPresentation_ = true;
        startY = topToBottom ? C.origin.y - B.size.height : C.origin.y + C.size.height;
        // A view without area gives no picture: the page then follows the finger alone.
        shown = !removeDraggableViewAnimationIfInvalidForAnimationContext(*context) &&
                context->draggableViewSnapshot() != nullptr;
        if (!shown) {
            context->setDraggableViewSnapshot(nullptr);
            context->setDraggableViewStartFrame(platform::Rect::zero());
            context->setDraggableViewEndFrame(platform::Rect::zero());
            draggableViewEndFrameAfterAnimation_ = platform::Rect::zero();
        }
    }
    if (!shown) {
        draggableViewShownOnPresentation_ = false;
        startY = topToBottom ? startY_ - B.size.height : startY_;
    }
    const platform::Rect start(B.origin.x, startY, B.size.width, B.size.height);
    animatedViewFrameBeforeAnimation_ = start;
    context->setAnimatedViewStartFrame(start);
    context->setAnimatedViewEndFrame(B);
    return context;
}

std::shared_ptr<GADAnimationContext>
GADViewControllerFullScreenSwipeAnimation::animationContextForTopToBottomAnimationPresentationWithTransitionContext(
    platform::TransitionContext& context) {
    return presentationContext(context, true);
}

std::shared_ptr<GADAnimationContext>
GADViewControllerFullScreenSwipeAnimation::animationContextForBottomToTopAnimationPresentationWithTransitionContext(
    platform::TransitionContext& context) {
    return presentationContext(context, false);
}

std::shared_ptr<GADAnimationContext>
GADViewControllerFullScreenSwipeAnimation::animationContextForTopToBottomAnimationDismissalWithTransitionContext(
    platform::TransitionContext& context) {
    return animationContextForRestoringAnimationToSavedState(context);
}

std::shared_ptr<GADAnimationContext>
GADViewControllerFullScreenSwipeAnimation::animationContextForBottomToTopAnimationDismissalWithTransitionContext(
    platform::TransitionContext& context) {
    return animationContextForRestoringAnimationToSavedState(context);
}

std::shared_ptr<GADAnimationContext>
GADViewControllerFullScreenSwipeAnimation::animationContextForRestoringAnimationToSavedState(
    platform::TransitionContext& transition) {
    auto context = GADAnimationContext::init();
    auto dismissed = transition.fromViewController();
    context->setAnimatedViewController(dismissed);
    auto draggable = draggableView();
    if (draggable && draggableViewShownOnPresentation_) {
        auto container = transition.containerView();
        context->setDraggableViewEndFrame(draggable->convertRectToView(draggable->bounds(), container.get()));
        context->setDraggableViewStartFrame(draggableViewEndFrameAfterAnimation_);
        context->setDraggableViewSnapshot(draggable->snapshotView());
    }
    removeDraggableViewAnimationIfInvalidForAnimationContext(*context);
    auto page = dismissed ? dismissed->view() : nullptr;
    context->setAnimatedViewStartFrame(page ? page->frame() : platform::Rect::zero());
    context->setAnimatedViewEndFrame(animatedViewFrameBeforeAnimation_);
    return context;
}

bool GADViewControllerFullScreenSwipeAnimation::removeDraggableViewAnimationIfInvalidForAnimationContext(
    GADAnimationContext& context) {
    auto draggable = draggableView();
    const platform::Size size = draggable ? draggable->bounds().size : platform::Size::zero();
    if (context.draggableViewStartFrame().size == size && context.draggableViewEndFrame().size == size) return false;
    context.setDraggableViewSnapshot(nullptr);
    context.setDraggableViewStartFrame(platform::Rect::zero());
    context.setDraggableViewEndFrame(platform::Rect::zero());
    draggableViewEndFrameAfterAnimation_ = platform::Rect::zero();
    return true;
}

} // namespace ruzave
