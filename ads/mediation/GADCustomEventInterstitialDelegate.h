#pragma once
// What an interstitial custom event tells the adapter that runs it. Main thread.
#include <memory>

#include "platform/base/Error.h"

namespace ruzave {

class GADCustomEventInterstitial;

class GADCustomEventInterstitialDelegate {
  public:
    virtual ~GADCustomEventInterstitialDelegate() = default;
    virtual void customEventInterstitialDidReceiveAd(GADCustomEventInterstitial& interstitial) = 0;
    // customEventInterstitial:didReceiveAd: (the older form with the ad object).
    virtual void customEventInterstitialDidReceiveAd(GADCustomEventInterstitial& interstitial,
                                                     const std::shared_ptr<void>& ad) = 0;
    virtual void customEventInterstitialDidFailAd(GADCustomEventInterstitial& interstitial,
                                                  const platform::Error& error) = 0;
    virtual void customEventInterstitialWasClicked(GADCustomEventInterstitial& interstitial) = 0;
    virtual void customEventInterstitialWillPresent(GADCustomEventInterstitial& interstitial) = 0;
    virtual void customEventInterstitialWillDismiss(GADCustomEventInterstitial& interstitial) = 0;
    virtual void customEventInterstitialDidDismiss(GADCustomEventInterstitial& interstitial) = 0;
    virtual void customEventInterstitialWillLeaveApplication(GADCustomEventInterstitial& interstitial) = 0;
};

} // namespace ruzave
