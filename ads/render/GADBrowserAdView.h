#pragma once
// The web view of the in-app browser: an ad view whose only possible view controller is the browser
// controller that shows it. Its landing pages are not the ad's and hear none of the SDK's events.
// Main thread.
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

  protected:
    bool receivesSDKEvents() const override { return false; }

  private:
    explicit GADBrowserAdView(platform::Rect frame) : GADAdView(frame) {}
};

} // namespace ruzave
