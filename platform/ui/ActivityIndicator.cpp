#include "platform/ui/ActivityIndicator.h"

namespace platform {

namespace {
float side(ActivityIndicatorStyle s) { return s == ActivityIndicatorStyle::WhiteLarge ? 37.0f : 20.0f; }
} // namespace

ActivityIndicator::ActivityIndicator(ActivityIndicatorStyle style)
    : View(Rect(0, 0, side(style), side(style))), style_(style) {
    setHidden(true);
    setOpaque(false);
}

std::shared_ptr<ActivityIndicator> ActivityIndicator::create(ActivityIndicatorStyle style) {
    return std::shared_ptr<ActivityIndicator>(new ActivityIndicator(style));
}

void ActivityIndicator::startAnimating() {
    animating_ = true;
    setHidden(false);
}

void ActivityIndicator::stopAnimating() {
    animating_ = false;
    if (hidesWhenStopped_) setHidden(true);
}

void ActivityIndicator::setHidesWhenStopped(bool v) {
    hidesWhenStopped_ = v;
    setHidden(v && !animating_);
}

Size ActivityIndicator::intrinsicContentSize() const { return {side(style_), side(style_)}; }

} // namespace platform
