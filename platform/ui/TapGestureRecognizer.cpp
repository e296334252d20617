#include "platform/ui/TapGestureRecognizer.h"

#include <cmath>

#include "platform/ui/Event.h"
#include "platform/ui/Touch.h"

namespace platform {

std::shared_ptr<TapGestureRecognizer> TapGestureRecognizer::create(Action action) {
    auto r = std::shared_ptr<TapGestureRecognizer>(new TapGestureRecognizer());
    if (action) r->addTarget(std::move(action));
    return r;
}

void TapGestureRecognizer::touchesBegan(const TouchList& touches, const Event& event) {
    GestureRecognizer::touchesBegan(touches, event);
    if (state() != GestureRecognizerState::Possible) return;
    if (taps_ > 0 && event.timestamp() - lastUp_ > kMaximumTapInterval) return setState(GestureRecognizerState::Failed);
    down_ += unsigned(touches.size());
    if (down_ > touchesRequired_) return setState(GestureRecognizerState::Failed);
    if (taps_ == 0 && !touches.empty()) start_ = touches.front()->locationInView(nullptr);
}

void TapGestureRecognizer::touchesMoved(const TouchList& touches, const Event&) {
    if (state() != GestureRecognizerState::Possible) return;
    for (auto& t : touches) {
        Point p = t->locationInView(nullptr);
        if (std::hypot(p.x - start_.x, p.y - start_.y) > kAllowableMovement)
            return setState(GestureRecognizerState::Failed);
    }
}

void TapGestureRecognizer::touchesEnded(const TouchList& touches, const Event& event) {
    if (state() != GestureRecognizerState::Possible) return;
    touchesMoved(touches, event);
    if (state() != GestureRecognizerState::Possible) return;
    if (down_ < touchesRequired_) return setState(GestureRecognizerState::Failed);
    down_ = 0;
    lastUp_ = event.timestamp();
    if (++taps_ >= tapsRequired_) setState(GestureRecognizerState::Ended);
}

void TapGestureRecognizer::reset() {
    taps_ = 0;
    down_ = 0;
    lastUp_ = 0;
    start_ = {};
}

} // namespace platform
