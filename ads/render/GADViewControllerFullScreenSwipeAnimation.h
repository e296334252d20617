#pragma once
// The swipe transition's animator: it brings the store page in from above or below, optionally pushing
// a picture of the ad ahead of it, and on dismissal sends the page back the way it came. The frames the
// presentation used are kept for that dismissal. Main thread.
#include <cstdint>
#include <functional>
#include <memory>

#include "platform/ui/AnimatedTransitioning.h"
#include "platform/ui/Geometry.h"

namespace platform {
class View;
} // namespace platform

namespace ruzave {

class GADAnimationContext;

class GADViewControllerFullScreenSwipeAnimation : public platform::AnimatedTransitioning {
  public:
    // nullptr below OS 7.0.
    static std::shared_ptr<GADViewControllerFullScreenSwipeAnimation> init();

    void willAnimatePresentation() { presenting_ = true; }
    void willAnimateDismissal() { presenting_ = false; }
    bool isPresenting() const { return presenting_; }

    // platform::AnimatedTransitioning
    double transitionDuration(platform::TransitionContext* context) override;
    void animateTransition(platform::TransitionContext& context) override;
    void animationEnded(bool transitionCompleted) override;

    std::shared_ptr<GADAnimationContext>
    animationContextForTopToBottomAnimationPresentationWithTransitionContext(platform::TransitionContext& context);
    std::shared_ptr<GADAnimationContext>
    animationContextForBottomToTopAnimationPresentationWithTransitionContext(platform::TransitionContext& context);
    std::shared_ptr<GADAnimationContext>
    animationContextForTopToBottomAnimationDismissalWithTransitionContext(platform::TransitionContext& context);
    std::shared_ptr<GADAnimationContext>
    animationContextForBottomToTopAnimationDismissalWithTransitionContext(platform::TransitionContext& context);
    std::shared_ptr<GADAnimationContext> animationContextForRestoringAnimationToSavedState(platform::TransitionContext& context);
    // True (and the picture dropped, its frames zeroed) unless both of the context's picture frames have
    // exactly the size of the draggable view's bounds.
    bool removeDraggableViewAnimationIfInvalidForAnimationContext(GADAnimationContext& context);

    std::int32_t direction() const { return direction_; }
    void setDirection(std::int32_t direction) { direction_ = direction; }
    float startY() const { return startY_; }
    void setStartY(float y) { startY_ = y; }
    // Held weakly: the view (the banner) owns the slot that owns this animator.
    std::shared_ptr<platform::View> draggableView() const { return draggableView_.lock(); }
    void setDraggableView(const std::shared_ptr<platform::View>& view) { draggableView_ = view; }
    double transitionDuration() const { return transitionDuration_; }
    void setTransitionDuration(double seconds) { transitionDuration_ = seconds; }
    bool draggableViewShownOnPresentation() const { return draggableViewShownOnPresentation_; }
    platform::Rect draggableViewEndFrameAfterAnimation() const { return draggableViewEndFrameAfterAnimation_; }
    platform::Rect animatedViewFrameBeforeAnimation() const { return animatedViewFrameBeforeAnimation_; }

    // Told when a dismissal run has ended with the page gone (the interactive controller listens).
    void setDismissalEndedHandler(std::function<void()> handler) { dismissalEnded_ = std::move(handler); }

    GADViewControllerFullScreenSwipeAnimation() = default;

  private:
    std::shared_ptr<GADAnimationContext> presentationContext(platform::TransitionContext& context, bool topToBottom);

    bool presenting_ = false;
    std::int32_t direction_ = 0;
    float startY_ = 0;
    std::weak_ptr<platform::View> draggableView_;
    double transitionDuration_ = 0;
    bool draggableViewShownOnPresentation_ = false;
    platform::Rect draggableViewEndFrameAfterAnimation_ = platform::Rect::zero();
    platform::Rect animatedViewFrameBeforeAnimation_ = platform::Rect::zero();
    // Which way the run under way goes (the flag may change before its animation ends).
    bool runPresenting_ = false;
    std::function<void()> dismissalEnded_;
};

} // namespace ruzave
