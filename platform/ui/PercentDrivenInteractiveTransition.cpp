#include "platform/ui/PercentDrivenInteractiveTransition.h"

#include "platform/ui/AnimatedTransitioning.h"
#include "platform/ui/TransitionContext.h"

namespace platform {

std::shared_ptr<PercentDrivenInteractiveTransition> PercentDrivenInteractiveTransition::create() {
    return std::make_shared<PercentDrivenInteractiveTransition>();
}

void PercentDrivenInteractiveTransition::startInteractiveTransition(const std::shared_ptr<TransitionContext>& c) {
    context_ = c;
}

void PercentDrivenInteractiveTransition::updateInteractiveTransition(float p) {
    if (context_) context_->updateInteractiveTransition(p);
}

float PercentDrivenInteractiveTransition::percentComplete() const {
    return context_ ? context_->percentComplete() : 0.0f;
}

void PercentDrivenInteractiveTransition::finishInteractiveTransition() { end(true); }
void PercentDrivenInteractiveTransition::cancelInteractiveTransition() { end(false); }

void PercentDrivenInteractiveTransition::end(bool finish) {
    auto context = std::move(context_);
    context_ = nullptr;
    if (!context) return;
    if (finish) context->finishInteractiveTransition();
    else context->cancelInteractiveTransition();
    // The animator plays out the remainder and completes the transition.
    if (auto animator = context->animator()) animator->animateTransition(*context);
    else context->completeTransition(finish);
}

} // namespace platform
