#include "platform/ui/PanGestureRecognizer.h"

#include <cmath>

#include "platform/ui/Event.h"
#include "platform/ui/Touch.h"
#include "platform/ui/View.h"

namespace platform {

std::shared_ptr<PanGestureRecognizer> PanGestureRecognizer::create(Action action) {
    auto r = std::shared_ptr<PanGestureRecognizer>(new PanGestureRecognizer());
    if (action) r->addTarget(std::move(action));
    return r;
}

Point PanGestureRecognizer::toView(Point v, const View* view) const {
    if (view == nullptr) return v;
    Point a = view->convertPointFromView(Point{0, 0}, nullptr);
    Point b = view->convertPointFromView(v, nullptr);
    return {b.x - a.x, b.y - a.y};
}

Point PanGestureRecognizer::fromView(Point v, const View* view) const {
    if (view == nullptr) return v;
    Point a = view->convertPointToView(Point{0, 0}, nullptr);
    Point b = view->convertPointToView(v, nullptr);
    return {b.x - a.x, b.y - a.y};
}

Point PanGestureRecognizer::translationInView(const View* view) const {
    return toView(Point{last_.x - start_.x + offset_.x, last_.y - start_.y + offset_.y}, view);
}

void PanGestureRecognizer::setTranslation(Point translation, const View* view) {
    if (!translation.isFinite()) return;
    Point w = fromView(translation, view);
    offset_ = {w.x - (last_.x - start_.x), w.y - (last_.y - start_.y)};
}

Point PanGestureRecognizer::velocityInView(const View* view) const {
    double dt = lastTime_ - previousTime_;
    if (!(dt > 0)) return {};
    Point v{float((last_.x - previous_.x) / dt), float((last_.y - previous_.y) / dt)};
    return toView(v, view);
}

void PanGestureRecognizer::touchesBegan(const TouchList& touches, const Event& event) {
    bool first = this->touches().empty();
    GestureRecognizer::touchesBegan(touches, event);
    if (first) {
        start_ = last_ = previous_ = locationInView(nullptr);
        lastTime_ = previousTime_ = event.timestamp();
    }
}

void PanGestureRecognizer::touchesMoved(const TouchList&, const Event& event) {
    if (isFinished()) return;
    previous_ = last_;
    previousTime_ = lastTime_;
    last_ = locationInView(nullptr);
    lastTime_ = event.timestamp();
    if (state() == GestureRecognizerState::Possible) {
        if (numberOfTouches() < minTouches_) return;
        if (std::hypot(last_.x - start_.x, last_.y - start_.y) >= kHysteresis) setState(GestureRecognizerState::Began);
    } else if (isRecognizing()) {
        setState(GestureRecognizerState::Changed);
    }
}

void PanGestureRecognizer::touchesEnded(const TouchList& touches, const Event& event) {
    GestureRecognizer::touchesEnded(touches, event);
    if (isRecognizing()) setState(GestureRecognizerState::Ended);
    else if (state() == GestureRecognizerState::Possible) setState(GestureRecognizerState::Failed);
}

void PanGestureRecognizer::reset() {
    start_ = offset_ = last_ = previous_ = {};
    lastTime_ = previousTime_ = 0;
}

} // namespace platform
