#pragma once
// Drives a view controller transition interactively. Main thread.
#include <memory>

namespace platform {

class TransitionContext;

class InteractiveTransitioning {
public:
    virtual ~InteractiveTransitioning() = default;
    virtual void startInteractiveTransition(const std::shared_ptr<TransitionContext>& context) = 0;
};

} // namespace platform
