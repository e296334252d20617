#include "platform/ui/GestureRecognizer.h"

#include <algorithm>

#include "platform/ui/Event.h"
#include "platform/ui/Touch.h"
#include "platform/ui/View.h"

namespace platform {

std::shared_ptr<GestureRecognizer> GestureRecognizer::create(Action action) {
    auto r = std::shared_ptr<GestureRecognizer>(new GestureRecognizer());
    if (action) r->addTarget(std::move(action));
    return r;
}

GestureRecognizer::~GestureRecognizer() = default;

std::size_t GestureRecognizer::addTarget(Action action) {
    if (!action) return 0;
    std::size_t token = nextToken_++;
    targets_.emplace_back(token, std::move(action));
    return token;
}

void GestureRecognizer::removeTarget(std::size_t token) {
    targets_.erase(std::remove_if(targets_.begin(), targets_.end(), [&](auto& t) { return t.first == token; }),
                   targets_.end());
}

void GestureRecognizer::setEnabled(bool enabled) {
    if (enabled_ == enabled) return;
    enabled_ = enabled;
    if (enabled) return;
    if (isRecognizing()) setState(GestureRecognizerState::Cancelled);
    resetState();
}

Point GestureRecognizer::locationInView(const View* view) const {
    if (touches_.empty()) return {};
    float x = 0, y = 0;
    for (auto& t : touches_) {
        Point p = t->locationInView(view);
        x += p.x;
        y += p.y;
    }
    float n = float(touches_.size());
    return {x / n, y / n};
}

Point GestureRecognizer::locationOfTouch(std::size_t index, const View* view) const {
    if (index >= touches_.size()) return {};
    return touches_[index]->locationInView(view);
}

void GestureRecognizer::touchesBegan(const TouchList& touches, const Event&) {
    for (auto& t : touches)
        if (std::find(touches_.begin(), touches_.end(), t) == touches_.end()) touches_.push_back(t);
}

void GestureRecognizer::touchesMoved(const TouchList&, const Event&) {}
void GestureRecognizer::touchesEnded(const TouchList&, const Event&) {}

void GestureRecognizer::touchesCancelled(const TouchList&, const Event&) {
    if (isRecognizing()) setState(GestureRecognizerState::Cancelled);
    else if (state_ == GestureRecognizerState::Possible) setState(GestureRecognizerState::Failed);
}

bool GestureRecognizer::canRecognizeSimultaneouslyWith(GestureRecognizer& other) {
    if (auto d = delegate(); d && d->gestureRecognizerShouldRecognizeSimultaneously(*this, other)) return true;
    if (auto d = other.delegate(); d && d->gestureRecognizerShouldRecognizeSimultaneously(other, *this)) return true;
    return false;
}

bool GestureRecognizer::shouldReceiveTouch(const Touch& touch) {
    if (!enabled_) return false;
    if (auto d = delegate()) return d->gestureRecognizerShouldReceiveTouch(*this, touch);
    return true;
}

bool GestureRecognizer::isRecognizing() const {
    return state_ == GestureRecognizerState::Began || state_ == GestureRecognizerState::Changed;
}

bool GestureRecognizer::isFinished() const {
    return state_ == GestureRecognizerState::Ended || state_ == GestureRecognizerState::Cancelled ||
           state_ == GestureRecognizerState::Failed;
}

void GestureRecognizer::resetState() {
    state_ = GestureRecognizerState::Possible;
    touches_.clear();
    reset();
}

void GestureRecognizer::preventBy(GestureRecognizer&) {
    if (state_ == GestureRecognizerState::Possible) setState(GestureRecognizerState::Failed);
    else if (isRecognizing()) setState(GestureRecognizerState::Cancelled);
}

void GestureRecognizer::setState(GestureRecognizerState state) {
    if (state == state_ && state != GestureRecognizerState::Changed) return;
    bool beginning = state_ == GestureRecognizerState::Possible &&
                     (state == GestureRecognizerState::Began || state == GestureRecognizerState::Ended);
    if (beginning) {
        if (auto d = delegate(); d && !d->gestureRecognizerShouldBegin(*this)) state = GestureRecognizerState::Failed;
    }
    state_ = state;
    if (state == GestureRecognizerState::Failed || state == GestureRecognizerState::Possible) return;
    auto self = shared_from_this();
    for (auto& [token, action] : std::vector<std::pair<std::size_t, Action>>(targets_)) action(*this);
}

void GestureRecognizer::reset() {}

} // namespace platform
