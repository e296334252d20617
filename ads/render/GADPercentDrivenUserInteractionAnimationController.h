#pragma once
// Turns a vertical pan into the progress of the swipe presentation and, when the finger lets go,
// finishes it or sends the page back by the direction the finger was moving. It is also the page's
// transitioning delegate: presentation is interactive, dismissal a plain animation. Main thread.
#include <memory>

#include "platform/ui/PercentDrivenInteractiveTransition.h"
#include "platform/ui/ViewControllerTransitioningDelegate.h"

namespace platform {
class PanGestureRecognizer;
} // namespace platform

namespace ruzave {

class GADPercentDrivenUserInteractionAnimationControllerDelegate;
class GADViewControllerFullScreenSwipeAnimation;

class GADPercentDrivenUserInteractionAnimationController
    : public platform::PercentDrivenInteractiveTransition,
      public platform::ViewControllerTransitioningDelegate,
      public std::enable_shared_from_this<GADPercentDrivenUserInteractionAnimationController> {
  public:
    // nullptr below OS 7.0 or without an animation.
    static std::shared_ptr<GADPercentDrivenUserInteractionAnimationController>
    initWithAnimation(const std::shared_ptr<GADViewControllerFullScreenSwipeAnimation>& animation);

    void handlePanGesture(platform::PanGestureRecognizer& pan);
    // Progress of a pan at `y` (window coordinates), within [0, 1]; 0 when the start leaves no room.
    float progressForLocationY(float y) const;
    bool isAnimatingTopToBottom() const;
    bool isAnimatingBottomToTop() const { return !isAnimatingTopToBottom(); }

    std::shared_ptr<GADViewControllerFullScreenSwipeAnimation> transitionAnimation() const { return animation_; }
    std::shared_ptr<GADPercentDrivenUserInteractionAnimationControllerDelegate> delegate() const {
        return delegate_.lock();
    }
    void setDelegate(const std::weak_ptr<GADPercentDrivenUserInteractionAnimationControllerDelegate>& d) {
        delegate_ = d;
    }

    // platform::ViewControllerTransitioningDelegate
    std::shared_ptr<platform::AnimatedTransitioning>
    animationControllerForPresentedController(platform::ViewController& presented, platform::ViewController& presenting,
                                              platform::ViewController& source) override;
    std::shared_ptr<platform::AnimatedTransitioning>
    animationControllerForDismissedController(platform::ViewController& dismissed) override;
    std::shared_ptr<platform::InteractiveTransitioning>
    interactionControllerForPresentation(platform::AnimatedTransitioning& animator) override;

  private:
    GADPercentDrivenUserInteractionAnimationController() = default;
    void finish();
    void cancel();

    std::shared_ptr<GADViewControllerFullScreenSwipeAnimation> animation_;
    std::weak_ptr<GADPercentDrivenUserInteractionAnimationControllerDelegate> delegate_;
};

} // namespace ruzave
