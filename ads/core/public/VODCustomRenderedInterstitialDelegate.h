#pragma once
// Receives the ads a publisher interstitial hands over for the app to render and present itself. Held
// weakly; main thread.
#include <memory>

namespace ruzave {

class VODInterstitial;
class VODCustomRenderedAd;

class VODCustomRenderedInterstitialDelegate {
  public:
    virtual ~VODCustomRenderedInterstitialDelegate() = default;
    // interstitial:didReceiveCustomRenderedAd:
    virtual void interstitialDidReceiveCustomRenderedAd(VODInterstitial& interstitial,
                                                        const std::shared_ptr<VODCustomRenderedAd>& ad) = 0;
};

} // namespace ruzave
