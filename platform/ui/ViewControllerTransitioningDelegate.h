#pragma once
// Supplies the animators (and interaction controllers) for a controller's custom presentation and
// dismissal. nullptr: the standard transition. Main thread.
#include <memory>

namespace platform {

class AnimatedTransitioning;
class InteractiveTransitioning;
class ViewController;

class ViewControllerTransitioningDelegate {
public:
    virtual ~ViewControllerTransitioningDelegate() = default;
    virtual std::shared_ptr<AnimatedTransitioning> animationControllerForPresentedController(
        ViewController& /*presented*/, ViewController& /*presenting*/, ViewController& /*source*/) {
        return nullptr;
    }
    virtual std::shared_ptr<AnimatedTransitioning> animationControllerForDismissedController(
        ViewController& /*dismissed*/) {
        return nullptr;
    }
    virtual std::shared_ptr<InteractiveTransitioning> interactionControllerForPresentation(
        AnimatedTransitioning& /*animator*/) {
        return nullptr;
    }
    virtual std::shared_ptr<InteractiveTransitioning> interactionControllerForDismissal(
        AnimatedTransitioning& /*animator*/) {
        return nullptr;
    }
};

} // namespace platform
