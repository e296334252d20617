#pragma once
// An animator for a custom view controller transition. Main thread.

namespace platform {

class TransitionContext;

class AnimatedTransitioning {
public:
    virtual ~AnimatedTransitioning() = default;
    virtual double transitionDuration(TransitionContext* context) = 0;
    // Must end with context.completeTransition(...), now or later.
    virtual void animateTransition(TransitionContext& context) = 0;
    virtual void animationEnded(bool /*transitionCompleted*/) {}
};

} // namespace platform
