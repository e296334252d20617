#pragma once
// Told of the screens a native ad opens and of leaving the application. Held weakly; every method has
// a default body. Main thread for the ad's own events, the posting thread for a mediated network's.
namespace ruzave {

class GADNativeAd;

class GADNativeAdDelegate {
  public:
    virtual ~GADNativeAdDelegate() = default;
    virtual void nativeAdWillPresentScreen(GADNativeAd&) {}
    virtual void nativeAdWillDismissScreen(GADNativeAd&) {}
    virtual void nativeAdDidDismissScreen(GADNativeAd&) {}
    virtual void nativeAdWillLeaveApplication(GADNativeAd&) {}
};

} // namespace ruzave
