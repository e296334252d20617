#pragma once
// Hears a platform ad interstitial's life, on the main thread.
#include "platform/base/Error.h"

namespace platform {

class PlatformAdInterstitial;

class PlatformAdInterstitialDelegate {
public:
    virtual ~PlatformAdInterstitialDelegate() = default;
    virtual void interstitialAdWillLoad(PlatformAdInterstitial&) {}
    virtual void interstitialAdDidLoad(PlatformAdInterstitial&) {}
    // The ad expired or was taken away; it can no longer be shown.
    virtual void interstitialAdDidUnload(PlatformAdInterstitial&) = 0;
    virtual void interstitialAdDidFailWithError(PlatformAdInterstitial&, const Error&) = 0;
    // The user tapped the ad; false stops the action.
    virtual bool interstitialAdActionShouldBegin(PlatformAdInterstitial&, bool /*willLeaveApplication*/) { return true; }
    virtual void interstitialAdActionDidFinish(PlatformAdInterstitial&) {}
};

} // namespace platform
