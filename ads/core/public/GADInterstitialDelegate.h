#pragma once
// The app's listener of an interstitial. Every message is optional. All arrive on the main thread but
// the click, which arrives on the thread that saw it. Held weakly.
#include "platform/base/Error.h"

namespace ruzave {

class GADInterstitial;

class GADInterstitialDelegate {
  public:
    virtual ~GADInterstitialDelegate() = default;
    virtual void interstitialDidReceiveAd(GADInterstitial&) {}
    // interstitial:didFailToReceiveAdWithError:
    virtual void interstitialDidFailToReceiveAdWithError(GADInterstitial&, const platform::Error&) {}
    virtual void interstitialWillPresentScreen(GADInterstitial&) {}
    virtual void interstitialWillDismissScreen(GADInterstitial&) {}
    virtual void interstitialDidDismissScreen(GADInterstitial&) {}
    virtual void interstitialWillLeaveApplication(GADInterstitial&) {}
    // From the mediation adapters' click reports.
    virtual void interstitialDidReceiveAdClick(GADInterstitial&) {}
};

// The click message belongs to the delegate itself here, so a listener that only wants clicks (the
// mediation adapters) adopts the same class under this name.
using GADInterstitialAdClickDelegate = GADInterstitialDelegate;

} // namespace ruzave
