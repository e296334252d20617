#pragma once
// A continuous drag: begins once a touch has moved 10 points, changes with each move, ends when the
// touches lift. Translation is measured from where the touch went down; velocity from the last move.
// Main thread.
#include <memory>

#include "platform/ui/GestureRecognizer.h"

namespace platform {

class PanGestureRecognizer : public GestureRecognizer {
public:
    static std::shared_ptr<PanGestureRecognizer> create(Action action = nullptr);

    unsigned minimumNumberOfTouches() const { return minTouches_; }
    void setMinimumNumberOfTouches(unsigned n) { minTouches_ = n == 0 ? 1 : n; }

    // In `view`'s coordinate system (nullptr: the window's).
    Point translationInView(const View* view) const;
    void setTranslation(Point translation, const View* view);
    // Points per second, from the last two samples.
    Point velocityInView(const View* view) const;

    void touchesBegan(const TouchList& touches, const Event& event) override;
    void touchesMoved(const TouchList& touches, const Event& event) override;
    void touchesEnded(const TouchList& touches, const Event& event) override;

    static constexpr float kHysteresis = 10.0f;

protected:
    PanGestureRecognizer() = default;
    void reset() override;

private:
    // A window-space vector expressed in `view`'s space (its linear part only).
    Point toView(Point windowVector, const View* view) const;
    Point fromView(Point viewVector, const View* view) const;

    unsigned minTouches_ = 1;
    Point start_;      // window coordinates
    Point offset_;     // window-space adjustment from setTranslation
    Point last_;
    Point previous_;
    double lastTime_ = 0;
    double previousTime_ = 0;
};

} // namespace platform
