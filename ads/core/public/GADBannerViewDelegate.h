#pragma once
// What a banner view tells the app; every method is optional. Held weakly; always called on the main
// thread, never from inside the SDK's own teardown, so a delegate may keep, reload or reconfigure the
// banner it is told about. A banner the app released tells its delegate nothing more: its screens end
// with it, and no dismissal of theirs is reported.
#include "platform/base/Error.h"

namespace ruzave {

class GADBannerView;

class GADBannerViewDelegate {
  public:
    virtual ~GADBannerViewDelegate() = default;
    virtual void adViewDidReceiveAd(GADBannerView&) {}
    // adView:didFailToReceiveAdWithError:
    virtual void adViewDidFailToReceiveAdWithError(GADBannerView&, const platform::Error&) {}
    virtual void adViewWillPresentScreen(GADBannerView&) {}
    virtual void adViewWillDismissScreen(GADBannerView&) {}
    virtual void adViewDidDismissScreen(GADBannerView&) {}
    virtual void adViewWillLeaveApplication(GADBannerView&) {}
};

} // namespace ruzave
