#pragma once
// Receives the ads a publisher banner hands over for the app to render itself. Held weakly; main thread.
#include <memory>

namespace ruzave {

class VODBannerView;
class VODCustomRenderedAd;

class VODCustomRenderedBannerViewDelegate {
  public:
    virtual ~VODCustomRenderedBannerViewDelegate() = default;
    // bannerView:didReceiveCustomRenderedAd:
    virtual void bannerViewDidReceiveCustomRenderedAd(VODBannerView& bannerView,
                                                      const std::shared_ptr<VODCustomRenderedAd>& ad) = 0;
};

} // namespace ruzave
