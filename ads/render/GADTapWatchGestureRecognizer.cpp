#include "ads/render/GADTapWatchGestureRecognizer.h"

#include <cmath>

#include "platform/ui/Touch.h"
#include "platform/web/WebView.h"

namespace ruzave {

std::shared_ptr<GADTapWatchGestureRecognizer>
GADTapWatchGestureRecognizer::initWithHandler(TapHandler handler) {
    return std::shared_ptr<GADTapWatchGestureRecognizer>(
        new GADTapWatchGestureRecognizer(std::move(handler)));
}

void GADTapWatchGestureRecognizer::touchesBegan(const TouchList& touches, const platform::Event& event) {
    GestureRecognizer::touchesBegan(touches, event);
    if (state() != platform::GestureRecognizerState::Possible) return;
    // A second finger makes a pinch or a scroll, not a tap.
    if (this->touches().size() != 1) return setState(platform::GestureRecognizerState::Failed);
    start_ = this->touches().front()->locationInView(nullptr);
}

void GADTapWatchGestureRecognizer::checkReach(const TouchList& touches) {
    // Per axis, as the web view decides whether a click follows.
    for (const auto& touch : touches) {
        platform::Point p = touch->locationInView(nullptr);
        if (std::abs(p.x - start_.x) > platform::WebView::TapSlop ||
            std::abs(p.y - start_.y) > platform::WebView::TapSlop)
            return setState(platform::GestureRecognizerState::Failed);
    }
}

void GADTapWatchGestureRecognizer::touchesMoved(const TouchList& touches, const platform::Event&) {
    if (state() == platform::GestureRecognizerState::Possible) checkReach(touches);
}

void GADTapWatchGestureRecognizer::touchesEnded(const TouchList& touches, const platform::Event&) {
    if (state() != platform::GestureRecognizerState::Possible) return;
    checkReach(touches);
    if (state() != platform::GestureRecognizerState::Possible) return;
    setState(platform::GestureRecognizerState::Failed);
    if (handler_) handler_();
}

void GADTapWatchGestureRecognizer::reset() {
    start_ = {};
}

} // namespace ruzave
