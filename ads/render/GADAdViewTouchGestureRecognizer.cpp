#include "ads/render/GADAdViewTouchGestureRecognizer.h"

#include <cmath>
#include <limits>

#include "ads/core/signals/GADGestureModule.h"
#include "platform/ui/Event.h"
#include "platform/ui/Touch.h"

namespace ruzave {
namespace {

int truncatedInt(double value) {
    if (!std::isfinite(value)) return 0;
    if (value >= static_cast<double>(std::numeric_limits<int>::max())) return std::numeric_limits<int>::max();
    if (value <= static_cast<double>(std::numeric_limits<int>::min())) return std::numeric_limits<int>::min();
    return static_cast<int>(value);
}

} // namespace

std::shared_ptr<GADAdViewTouchGestureRecognizer> GADAdViewTouchGestureRecognizer::init() {
    return std::shared_ptr<GADAdViewTouchGestureRecognizer>(new GADAdViewTouchGestureRecognizer());
}

void GADAdViewTouchGestureRecognizer::touchesBegan(const TouchList& touches, const platform::Event& event) {
    GestureRecognizer::touchesBegan(touches, event);
    touchesBeganTimestamp_ = event.timestamp();
}

void GADAdViewTouchGestureRecognizer::touchesEnded(const TouchList& touches, const platform::Event& event) {
    GestureRecognizer::touchesEnded(touches, event);
    setState(platform::GestureRecognizerState::Failed);
    int duration = -1;
    if (touchesBeganTimestamp_ > 0) duration = truncatedInt((event.timestamp() - touchesBeganTimestamp_) * 1000.0);
    touchesBeganTimestamp_ = 0;
    int x = 0, y = 0;
    if (!touches.empty() && touches.front()) {
        auto view = this->view();
        platform::Point p = touches.front()->locationInView(view.get());
        x = truncatedInt(p.x);
        y = truncatedInt(p.y);
    }
    GADGestureModuleRecordTouch(x, y, duration);
}

} // namespace ruzave
