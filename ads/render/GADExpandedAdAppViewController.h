#pragma once
// Borrows a banner's own ad view for an MRAID expand or resize: a picture of the ad stands in the
// banner's place while the view is on the full screen, and the view goes back where it was when the
// screen starts to leave, however it leaves. Main thread.
#include <memory>

#include "ads/render/GADAdAppViewController.h"

namespace platform {
class ImageView;
}

namespace ruzave {

class GADExpandedAdAppViewController : public GADAdAppViewController {
  public:
    // nullptr for a null view.
    static std::shared_ptr<GADExpandedAdAppViewController> initWithAdView(const std::shared_ptr<GADAdView>& adView);
    ~GADExpandedAdAppViewController() override;

    bool isLoaded() const override { return true; }
    std::shared_ptr<platform::ImageView> renderedBanner() const { return renderedBanner_; }

  protected:
    void configureView() override;
    // However the screen goes, the ad view goes back to the banner as the dismissal begins.
    void willBeginDismissal() override;

  private:
    GADExpandedAdAppViewController() = default;
    std::shared_ptr<platform::ImageView> renderedBanner_;
};

} // namespace ruzave
