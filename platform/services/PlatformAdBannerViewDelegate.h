#pragma once
// Hears a platform ad banner's life, on the main thread. Every method is optional.
#include "platform/base/Error.h"

namespace platform {

class PlatformAdBannerView;

class PlatformAdBannerViewDelegate {
public:
    virtual ~PlatformAdBannerViewDelegate() = default;
    virtual void bannerViewWillLoadAd(PlatformAdBannerView&) {}
    virtual void bannerViewDidLoadAd(PlatformAdBannerView&) {}
    virtual void bannerViewDidFailToReceiveAdWithError(PlatformAdBannerView&, const Error&) {}
    // The user tapped the ad; false stops the action.
    virtual bool bannerViewActionShouldBegin(PlatformAdBannerView&, bool /*willLeaveApplication*/) { return true; }
    virtual void bannerViewActionDidFinish(PlatformAdBannerView&) {}
};

} // namespace platform
