#pragma once
// What a banner custom event tells the adapter that runs it. Main thread.
#include <memory>

#include "platform/base/Error.h"

namespace platform {
class View;
class ViewController;
} // namespace platform

namespace ruzave {

class GADCustomEventBanner;

class GADCustomEventBannerDelegate {
  public:
    virtual ~GADCustomEventBannerDelegate() = default;
    virtual void customEventBannerDidReceiveAd(GADCustomEventBanner& banner, const std::shared_ptr<platform::View>& view) = 0;
    virtual void customEventBannerDidFailAd(GADCustomEventBanner& banner, const platform::Error& error) = 0;
    virtual void customEventBannerWasClicked(GADCustomEventBanner& banner) = 0;
    virtual void customEventBannerWillPresentModal(GADCustomEventBanner& banner) = 0;
    virtual void customEventBannerWillDismissModal(GADCustomEventBanner& banner) = 0;
    virtual void customEventBannerDidDismissModal(GADCustomEventBanner& banner) = 0;
    virtual void customEventBannerWillLeaveApplication(GADCustomEventBanner& banner) = 0;
    virtual void customEventBannerClickDidOccurInAd(GADCustomEventBanner& banner,
                                                   const std::shared_ptr<platform::View>& view) = 0;
    virtual std::shared_ptr<platform::ViewController> viewControllerForPresentingModalView() = 0;
};

} // namespace ruzave
