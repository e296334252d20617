#include "ads/render/GADPercentDrivenUserInteractionAnimationController.h"

#include <algorithm>
#include <cmath>

#include "ads/core/signals/GADDevice.h"
#include "ads/render/GADPercentDrivenUserInteractionAnimationControllerDelegate.h"
#include "ads/render/GADSwipeToViewControllerConfigurations.h"
#include "ads/render/GADViewControllerFullScreenSwipeAnimation.h"
#include "platform/ui/PanGestureRecognizer.h"
#include "platform/ui/Screen.h"

namespace ruzave {

std::shared_ptr<GADPercentDrivenUserInteractionAnimationController>
GADPercentDrivenUserInteractionAnimationController::initWithAnimation(
    const std::shared_ptr<GADViewControllerFullScreenSwipeAnimation>& animation) {
    if (!animation || !GADDevice::sharedInstance()->isOSAtLeastMajor(7, 0, 0)) return nullptr;
    std::shared_ptr<GADPercentDrivenUserInteractionAnimationController> c(
        new GADPercentDrivenUserInteractionAnimationController());
    c->animation_ = animation;
    std::weak_ptr<GADPercentDrivenUserInteractionAnimationController> weak = c;
    animation->setDismissalEndedHandler([weak] {
        auto self = weak.lock();
        if (!self) return;
        if (auto d = self->delegate()) d->animationControllerDidDismissViewController(*self);
    });
    return c;
}

float GADPercentDrivenUserInteractionAnimationController::progressForLocationY(float y) const {
    const double startY = animation_->startY();
    const double height = platform::Screen::mainScreen()->bounds().size.height;
    double progress = 0;
    if (animation_->direction() == GADSwipeDirectionTopToBottom) {
        const double room = height - startY;
        if (room > 0) progress = (y - startY) / room;
    } else {
        if (startY > 0) progress = (startY - y) / startY;
    }
    if (!std::isfinite(progress)) return 0;
    return static_cast<float>(std::clamp(progress, 0.0, 1.0));
}

bool GADPercentDrivenUserInteractionAnimationController::isAnimatingTopToBottom() const {
    const auto direction = animation_->direction();
    return animation_->isPresenting() ? direction == GADSwipeDirectionTopToBottom
                                      : direction == GADSwipeDirectionBottomToTop;
}

void GADPercentDrivenUserInteractionAnimationController::handlePanGesture(platform::PanGestureRecognizer& pan) {
    auto self = shared_from_this();
    switch (pan.state()) {
    case platform::GestureRecognizerState::Began:
        // The presentation this pan started is the interactive transition: it follows from here.
    case platform::GestureRecognizerState::Changed:
        updateInteractiveTransition(progressForLocationY(pan.locationInView(nullptr).y));
        return;
    case platform::GestureRecognizerState::Ended: {
        const float vy = pan.velocityInView(nullptr).y;
        if ((isAnimatingTopToBottom() && vy > 0) || (isAnimatingBottomToTop() && vy < 0)) finish();
        else cancel();
        return;
    }
    default:
        cancel();
        return;
    }
}

void GADPercentDrivenUserInteractionAnimationController::finish() {
    finishInteractiveTransition();
    if (auto d = delegate()) d->animationControllerDidFinishAnimationTransition(*this);
}

void GADPercentDrivenUserInteractionAnimationController::cancel() {
    cancelInteractiveTransition();
    if (auto d = delegate()) d->animationControllerDidCancelAnimationTransition(*this);
}

std::shared_ptr<platform::AnimatedTransitioning>
GADPercentDrivenUserInteractionAnimationController::animationControllerForPresentedController(
    platform::ViewController&, platform::ViewController&, platform::ViewController&) {
    animation_->willAnimatePresentation();
    return animation_;
}

std::shared_ptr<platform::AnimatedTransitioning>
GADPercentDrivenUserInteractionAnimationController::animationControllerForDismissedController(
    platform::ViewController&) {
    animation_->willAnimateDismissal();
    return animation_;
}

std::shared_ptr<platform::InteractiveTransitioning>
GADPercentDrivenUserInteractionAnimationController::interactionControllerForPresentation(
    platform::AnimatedTransitioning&) {
    return shared_from_this();
}

} // namespace ruzave
