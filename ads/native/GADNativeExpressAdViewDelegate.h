#pragma once
// Told of a native express ad view's ad events, with the express view as the sender. Every method has
// a default body, so a delegate hears only what it takes. Held weakly. Main thread.
#include "platform/base/Error.h"

namespace ruzave {

class GADNativeExpressAdView;

class GADNativeExpressAdViewDelegate {
  public:
    virtual ~GADNativeExpressAdViewDelegate() = default;
    virtual void nativeExpressAdViewDidReceiveAd(GADNativeExpressAdView&) {}
    // nativeExpressAdView:didFailToReceiveAdWithError:
    virtual void nativeExpressAdViewDidFailToReceiveAdWithError(GADNativeExpressAdView&, const platform::Error&) {}
    virtual void nativeExpressAdViewWillPresentScreen(GADNativeExpressAdView&) {}
    virtual void nativeExpressAdViewWillDismissScreen(GADNativeExpressAdView&) {}
    virtual void nativeExpressAdViewDidDismissScreen(GADNativeExpressAdView&) {}
    virtual void nativeExpressAdViewWillLeaveApplication(GADNativeExpressAdView&) {}
};

} // namespace ruzave
