#pragma once
// A discrete tap: the required number of touches go down and up, each within 10 points of where it
// started, the required number of times, each tap within 0.35 s of the last. Main thread.
#include <memory>

#include "platform/ui/GestureRecognizer.h"

namespace platform {

class TapGestureRecognizer : public GestureRecognizer {
public:
    static std::shared_ptr<TapGestureRecognizer> create(Action action = nullptr);

    unsigned numberOfTapsRequired() const { return tapsRequired_; }
    void setNumberOfTapsRequired(unsigned n) { tapsRequired_ = n == 0 ? 1 : n; }
    unsigned numberOfTouchesRequired() const { return touchesRequired_; }
    void setNumberOfTouchesRequired(unsigned n) { touchesRequired_ = n == 0 ? 1 : n; }

    void touchesBegan(const TouchList& touches, const Event& event) override;
    void touchesMoved(const TouchList& touches, const Event& event) override;
    void touchesEnded(const TouchList& touches, const Event& event) override;

    static constexpr float kAllowableMovement = 10.0f;
    static constexpr double kMaximumTapInterval = 0.35;

protected:
    TapGestureRecognizer() = default;
    void reset() override;

private:
    unsigned tapsRequired_ = 1;
    unsigned touchesRequired_ = 1;
    unsigned taps_ = 0;
    unsigned down_ = 0;
    double lastUp_ = 0;
    Point start_;
};

} // namespace platform
