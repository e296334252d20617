#include "ads/render/GADImpressionTicketGestureRecognizer.h"

#include <cmath>

#include "platform/ui/Touch.h"
#include "platform/ui/View.h"

namespace ruzave {

std::shared_ptr<GADImpressionTicketGestureRecognizer> GADImpressionTicketGestureRecognizer::init() {
    return std::shared_ptr<GADImpressionTicketGestureRecognizer>(new GADImpressionTicketGestureRecognizer());
}

void GADImpressionTicketGestureRecognizer::reset() {
    platform::GestureRecognizer::reset();
    gestureState_ = 0;
    distanceMoved_ = 0;
}

void GADImpressionTicketGestureRecognizer::fail() {
    setState(platform::GestureRecognizerState::Failed);
}

void GADImpressionTicketGestureRecognizer::touchesBegan(const TouchList& touches, const platform::Event& event) {
    platform::GestureRecognizer::touchesBegan(touches, event);
    if (touches.size() != 1) fail();
}

void GADImpressionTicketGestureRecognizer::touchesMoved(const TouchList& touches, const platform::Event& event) {
    platform::GestureRecognizer::touchesMoved(touches, event);
    if (state() == platform::GestureRecognizerState::Failed || touches.empty() || !touches.front()) return;
    auto view = this->view();
    const platform::Point p = touches.front()->locationInView(view.get());
    const platform::Point q = touches.front()->previousLocationInView(view.get());
    const float dx = p.x - q.x;
    const float adx = std::fabs(dx);
    // Exactly the limit is still level; a NaN drift is not.
    if (!(std::fabs(p.y - q.y) <= kMaximumVerticalDrift)) {
        fail();
        return;
    }
    // A leg may turn only once it is long enough; the turning move starts the next leg.
    auto turn = [&] {
        if (distanceMoved_ < kMinimumLegDistance) {
            fail();
            return;
        }
        distanceMoved_ = adx;
        ++gestureState_;
    };
    switch (gestureState_) {
    case 0:
        if (p.x >= q.x) {
            distanceMoved_ += adx;
            gestureState_ = 1;
        } else {
            fail();
        }
        break;
    case 1:
    case 3:
        if (p.x >= q.x) distanceMoved_ += adx;
        else turn();
        break;
    case 2:
        // A move with no horizontal change continues the leftward leg.
        if (p.x > q.x) turn();
        else distanceMoved_ += adx;
        break;
    case 4:
        if (p.x > q.x) fail();
        else distanceMoved_ += adx;
        break;
    default:
        break;
    }
}

void GADImpressionTicketGestureRecognizer::touchesEnded(const TouchList& touches, const platform::Event& event) {
    platform::GestureRecognizer::touchesEnded(touches, event);
    if (state() == platform::GestureRecognizerState::Possible && gestureState_ == 4) {
        setState(platform::kGestureRecognizerStateRecognized);
        return;
    }
    fail();
    gestureState_ = 0;
}

void GADImpressionTicketGestureRecognizer::touchesCancelled(const TouchList& touches, const platform::Event& event) {
    platform::GestureRecognizer::touchesCancelled(touches, event);
    fail();
    resetState();
}

} // namespace ruzave
