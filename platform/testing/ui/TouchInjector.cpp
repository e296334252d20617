#include "platform/testing/ui/TouchInjector.h"

#include <algorithm>

#include "platform/runloop/Clock.h"
#include "platform/ui/Application.h"
#include "platform/ui/Event.h"
#include "platform/ui/Touch.h"
#include "platform/ui/Window.h"

namespace platform {

TouchInjector::TouchInjector(std::shared_ptr<Window> window)
    : window_(window ? std::move(window) : Application::sharedApplication()->keyWindow()) {}

bool TouchInjector::send() {
    Event event(touch_->timestamp(), {touch_});
    window_->sendEvent(event);
    return true;
}

bool TouchInjector::down(Point point, double offset) {
    if (!window_ || touch_ || !point.isFinite()) return false;
    touch_ = Touch::create(window_, point, Clock::now() + offset);
    return send();
}

bool TouchInjector::move(Point point, double offset) {
    if (!window_ || !touch_ || !point.isFinite()) return false;
    touch_->update(TouchPhase::Moved, point, Clock::now() + offset);
    return send();
}

bool TouchInjector::up(double offset) {
    if (!touch_) return false;
    return up(touch_->locationInView(nullptr), offset);
}

bool TouchInjector::up(Point point, double offset) {
    if (!window_ || !touch_ || !point.isFinite()) return false;
    touch_->update(TouchPhase::Ended, point, Clock::now() + offset);
    send();
    touch_.reset();
    return true;
}

bool TouchInjector::cancel(double offset) {
    if (!window_ || !touch_) return false;
    touch_->update(TouchPhase::Cancelled, touch_->locationInView(nullptr), Clock::now() + offset);
    send();
    touch_.reset();
    return true;
}

bool TouchInjector::tap(Point point, std::shared_ptr<Window> window) {
    TouchInjector finger(std::move(window));
    return finger.down(point) && finger.up(point);
}

bool TouchInjector::pan(Point from, Point to, int steps, double duration, std::shared_ptr<Window> window) {
    TouchInjector finger(std::move(window));
    steps = std::max(1, steps);
    if (!(duration >= 0)) duration = 0;
    if (!finger.down(from)) return false;
    for (int i = 1; i <= steps; ++i) {
        float f = float(i) / float(steps);
        Point p{from.x + (to.x - from.x) * f, from.y + (to.y - from.y) * f};
        finger.move(p, duration * f);
    }
    return finger.up(to, duration);
}

} // namespace platform
