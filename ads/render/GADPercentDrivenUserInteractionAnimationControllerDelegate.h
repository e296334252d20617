#pragma once
// Hears how a swipe presentation ended (the slot). Main thread.
namespace ruzave {

class GADPercentDrivenUserInteractionAnimationController;

class GADPercentDrivenUserInteractionAnimationControllerDelegate {
  public:
    virtual ~GADPercentDrivenUserInteractionAnimationControllerDelegate() = default;
    virtual void animationControllerDidFinishAnimationTransition(GADPercentDrivenUserInteractionAnimationController&) = 0;
    virtual void animationControllerDidCancelAnimationTransition(GADPercentDrivenUserInteractionAnimationController&) = 0;
    // The page the swipe brought in has been dismissed, by whatever route.
    virtual void animationControllerDidDismissViewController(GADPercentDrivenUserInteractionAnimationController&) {}
};

} // namespace ruzave
