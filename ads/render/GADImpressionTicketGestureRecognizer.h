#pragma once
// Recognises one finger zig-zagging almost level across an ad: right, left, right, left. Each of the
// first three legs must cover 15 points before it turns; a move of more than 5 points up or down, or a
// move the wrong way, fails the gesture. Ad views use it to open their debug dialog. Main thread.
#include <cstdint>
#include <memory>

#include "platform/ui/GestureRecognizer.h"

namespace ruzave {

class GADImpressionTicketGestureRecognizer : public platform::GestureRecognizer {
  public:
    static constexpr float kMinimumLegDistance = 15.0f;
    static constexpr float kMaximumVerticalDrift = 5.0f;

    static std::shared_ptr<GADImpressionTicketGestureRecognizer> init();

    // 0: no movement yet; 1 to 4: the leg under way (right, left, right, left).
    std::int32_t gestureState() const { return gestureState_; }
    // The horizontal distance of the current leg, in points.
    float distanceMoved() const { return distanceMoved_; }

    void touchesBegan(const TouchList& touches, const platform::Event& event) override;
    void touchesMoved(const TouchList& touches, const platform::Event& event) override;
    void touchesEnded(const TouchList& touches, const platform::Event& event) override;
    void touchesCancelled(const TouchList& touches, const platform::Event& event) override;

  protected:
    void reset() override;

  private:
    GADImpressionTicketGestureRecognizer() = default;
    void fail();

    std::int32_t gestureState_ = 0;
    float distanceMoved_ = 0;
};

} // namespace ruzave
