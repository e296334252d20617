#pragma once
// Tells its owner of each tap, as a browser gives user activation: a touch counts when its one finger
// lifts within a tap's reach of where it went down (the web view's own rule for a click), never for a pan,
// a second finger or a cancelled touch. It tells as the finger lifts, before the views under it hear the
// touch end, so a page acting on its touchend or click already finds the tap. It never recognises:
// nothing it watches is delayed or cancelled. Main thread.
#include <functional>
#include <memory>

#include "platform/ui/GestureRecognizer.h"

namespace ruzave {

class GADTapWatchGestureRecognizer : public platform::GestureRecognizer {
  public:
    using TapHandler = std::function<void()>;

    static std::shared_ptr<GADTapWatchGestureRecognizer> initWithHandler(TapHandler handler);

    void touchesBegan(const TouchList& touches, const platform::Event& event) override;
    void touchesMoved(const TouchList& touches, const platform::Event& event) override;
    void touchesEnded(const TouchList& touches, const platform::Event& event) override;

  protected:
    void reset() override;

  private:
    explicit GADTapWatchGestureRecognizer(TapHandler handler) : handler_(std::move(handler)) {}
    // Fails the watch when a touch has left the tap's reach of where the finger went down.
    void checkReach(const TouchList& touches);

    TapHandler handler_;
    platform::Point start_;
};

} // namespace ruzave
