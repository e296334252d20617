#pragma once
// Reports the position and duration of every touch on an ad view to the gesture signal module. It
// never recognises, so the web view's own touches are neither delayed nor cancelled. Main thread.
#include <memory>

#include "platform/ui/GestureRecognizer.h"

namespace ruzave {

class GADAdViewTouchGestureRecognizer : public platform::GestureRecognizer {
  public:
    static std::shared_ptr<GADAdViewTouchGestureRecognizer> init();

    double touchesBeganTimestamp() const { return touchesBeganTimestamp_; }

    void touchesBegan(const TouchList& touches, const platform::Event& event) override;
    void touchesEnded(const TouchList& touches, const platform::Event& event) override;

  private:
    GADAdViewTouchGestureRecognizer() = default;
    double touchesBeganTimestamp_ = 0;
};

} // namespace ruzave
