#include "ads/render/GADPushTransitionView.h"

#include "platform/runloop/DispatchQueue.h"
#include "platform/ui/Layer.h"
#include "platform/ui/LayoutConstraint.h"

namespace ruzave {

std::shared_ptr<GADPushTransitionView> GADPushTransitionView::initWithFrame(platform::Rect frame) {
    std::shared_ptr<GADPushTransitionView> view(new GADPushTransitionView(frame));
    view->commonInit();
    return view;
}

void GADPushTransitionView::commonInit() {
    setClipsToBounds(true);
    clippingView_ = platform::View::create({{0, 0}, bounds().size});
    clippingView_->setClipsToBounds(true);
    clippingView_->setTranslatesAutoresizingMaskIntoConstraints(false);
    addSubview(clippingView_);
    std::map<std::string, std::shared_ptr<platform::View>> views = {{"_clippingView", clippingView_}};
    addConstraints(platform::LayoutConstraint::constraintsWithVisualFormat("H:|[_clippingView]|", {}, views));
    addConstraints(platform::LayoutConstraint::constraintsWithVisualFormat("V:|[_clippingView]|", {}, views));
}

void GADPushTransitionView::setViews(const std::vector<std::shared_ptr<platform::View>>& views) {
    currentViewIndex_ = 0;
    setCurrentView(views.empty() ? nullptr : views[0]);
    views_ = views;
    ++animationGroupIdentifier_;
    dispatchAnimation();
}

void GADPushTransitionView::setPresentationDuration(double seconds) {
    presentationDuration_ = seconds;
    ++animationGroupIdentifier_;
    dispatchAnimation();
}

void GADPushTransitionView::setAnimationDuration(double seconds) {
    animationDuration_ = seconds;
    ++animationGroupIdentifier_;
    dispatchAnimation();
}

void GADPushTransitionView::setCurrentView(const std::shared_ptr<platform::View>& view) {
    if (currentView_) currentView_->removeFromSuperview();
    currentView_ = view;
    if (!view) return;
    clippingView_->addSubview(view);
    view->setTranslatesAutoresizingMaskIntoConstraints(false);
    using platform::LayoutAttribute;
    using platform::LayoutConstraint;
    addConstraint(LayoutConstraint::constraintWithItem(view, LayoutAttribute::CenterX, platform::LayoutRelation::Equal,
                                                       clippingView_, LayoutAttribute::CenterX, 1.0f, 0));
    addConstraint(LayoutConstraint::constraintWithItem(view, LayoutAttribute::CenterY, platform::LayoutRelation::Equal,
                                                       clippingView_, LayoutAttribute::CenterY, 1.0f, 0));
}

void GADPushTransitionView::dispatchAnimation() {
    if (views_.size() < 2) return;
    std::weak_ptr<GADPushTransitionView> weakSelf = std::static_pointer_cast<GADPushTransitionView>(shared_from_this());
    std::int32_t group = animationGroupIdentifier_;
    platform::mainQueue()->asyncAfter(presentationDuration_ + animationDuration_, [weakSelf, group] {
        auto self = weakSelf.lock();
        if (self && self->animationGroupIdentifier_ == group) self->animate();
    });
}

void GADPushTransitionView::animate() {
    if (views_.empty()) return;
    dispatchAnimation();
    currentViewIndex_ = static_cast<std::uint32_t>((currentViewIndex_ + 1) % views_.size());
    setCurrentView(views_[currentViewIndex_]);
    platform::Transition push;
    push.type = "push";
    push.subtype = "fromTop";
    push.duration = animationDuration_;
    push.timingFunction = "easeInEaseOut";
    clippingView_->layer()->addAnimation(push, kPushAnimationKey);
}

} // namespace ruzave
