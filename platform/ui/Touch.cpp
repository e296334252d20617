#include "platform/ui/Touch.h"

#include "platform/ui/Window.h"

namespace platform {

std::shared_ptr<Touch> Touch::create(const std::shared_ptr<Window>& window, Point windowPoint, double timestamp) {
    auto t = std::make_shared<Touch>();
    t->window_ = window;
    t->location_ = t->previous_ = windowPoint;
    t->timestamp_ = timestamp;
    return t;
}

void Touch::update(TouchPhase phase, Point windowPoint, double timestamp) {
    phase_ = phase;
    previous_ = location_;
    location_ = windowPoint;
    timestamp_ = timestamp;
}

Point Touch::convert(Point p, const View* view) const {
    auto w = window_.lock();
    if (!w || view == nullptr) return p;
    return view->convertPointFromView(p, w.get());
}

Point Touch::locationInView(const View* view) const { return convert(location_, view); }
Point Touch::previousLocationInView(const View* view) const { return convert(previous_, view); }

} // namespace platform
