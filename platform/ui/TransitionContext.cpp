#include "platform/ui/TransitionContext.h"

#include <algorithm>
#include <cmath>

#include "platform/ui/AnimatedTransitioning.h"

namespace platform {

std::shared_ptr<TransitionContext> TransitionContext::create(std::shared_ptr<ViewController> from,
                                                             std::shared_ptr<ViewController> to,
                                                             std::shared_ptr<View> container, bool animated,
                                                             bool interactive,
                                                             std::shared_ptr<AnimatedTransitioning> animator,
                                                             Completion completion) {
    auto c = std::make_shared<TransitionContext>();
    c->from_ = std::move(from);
    c->to_ = std::move(to);
    c->container_ = std::move(container);
    c->animated_ = animated;
    c->interactive_ = interactive;
    c->animator_ = std::move(animator);
    c->completion_ = std::move(completion);
    return c;
}

void TransitionContext::completeTransition(bool didComplete) {
    if (completed_) return;
    completed_ = true;
    auto self = shared_from_this();
    auto completion = std::move(completion_);
    completion_ = nullptr;
    if (completion) completion(didComplete);
    if (animator_) animator_->animationEnded(didComplete);
}

void TransitionContext::updateInteractiveTransition(float p) {
    if (!std::isfinite(p)) return;
    percent_ = std::clamp(p, 0.0f, 1.0f);
}

void TransitionContext::finishInteractiveTransition() {
    cancelled_ = false;
    percent_ = 1;
}

void TransitionContext::cancelInteractiveTransition() { cancelled_ = true; }

} // namespace platform
