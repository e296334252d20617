#pragma once
// An interactive transition driven by a percentage: update() reports progress; finish() or cancel()
// ends the interaction and lets the context's animator run the rest, which completes the transition
// (cancelled or not). Main thread.
#include <memory>

#include "platform/ui/InteractiveTransitioning.h"

namespace platform {

class PercentDrivenInteractiveTransition : public InteractiveTransitioning {
public:
    static std::shared_ptr<PercentDrivenInteractiveTransition> create();

    void startInteractiveTransition(const std::shared_ptr<TransitionContext>& context) override;
    void updateInteractiveTransition(float percentComplete);
    void finishInteractiveTransition();
    void cancelInteractiveTransition();
    float percentComplete() const;
    bool isActive() const { return context_ != nullptr; }

    PercentDrivenInteractiveTransition() = default;

private:
    void end(bool finish);

    std::shared_ptr<TransitionContext> context_;
};

} // namespace platform
