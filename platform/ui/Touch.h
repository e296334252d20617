#pragma once
// One finger on the screen: phase, where it is and was (in window coordinates), the view it began in,
// tap count and timestamp (Clock seconds). Main thread.
#include <memory>

#include "platform/ui/Geometry.h"

namespace platform {

class View;
class Window;

enum class TouchPhase { Began = 0, Moved = 1, Stationary = 2, Ended = 3, Cancelled = 4 };

class Touch {
public:
    static std::shared_ptr<Touch> create(const std::shared_ptr<Window>& window, Point windowPoint, double timestamp);

    TouchPhase phase() const { return phase_; }
    double timestamp() const { return timestamp_; }
    unsigned tapCount() const { return tapCount_; }
    std::shared_ptr<View> view() const { return view_.lock(); }
    std::shared_ptr<Window> window() const { return window_.lock(); }
    // In `view`'s coordinates (nullptr: the window's).
    Point locationInView(const View* view) const;
    Point previousLocationInView(const View* view) const;

    // Moves the touch (the previous location becomes the current one).
    void update(TouchPhase phase, Point windowPoint, double timestamp);
    void setView(const std::shared_ptr<View>& view) { view_ = view; }
    void setTapCount(unsigned count) { tapCount_ = count; }

private:
    Point convert(Point windowPoint, const View* view) const;

    TouchPhase phase_ = TouchPhase::Began;
    Point location_;
    Point previous_;
    double timestamp_ = 0;
    unsigned tapCount_ = 1;
    std::weak_ptr<View> view_;
    std::weak_ptr<Window> window_;
};

} // namespace platform
