#pragma once
// The web view of the in-app browser: an ad view whose only possible view controller is the browser
// controller that shows it. Main thread.
#include <memory>

#include "ads/render/GADAdView.h"

namespace ruzave {

class GADBrowserViewController;

class GADBrowserAdView : public GADAdView {
  public:
    static std::shared_ptr<GADBrowserAdView> initWithFrame(platform::Rect frame);

    // Anything but a browser controller, nothing included, is ignored.
    void setViewController(const std::weak_ptr<platform::ViewController>& controller) override;
    std::shared_ptr<GADBrowserViewController> browserViewController() const;

  private:
    explicit GADBrowserAdView(platform::Rect frame) : GADAdView(frame) {}
};

} // namespace ruzave
