#pragma once
// What a native custom event tells the adapter that runs it. Main thread.
#include <memory>

#include "platform/base/Error.h"

namespace ruzave {

class GADCustomEventNativeAd;
class GADMediatedNativeAd;

class GADCustomEventNativeAdDelegate {
  public:
    virtual ~GADCustomEventNativeAdDelegate() = default;
    virtual void customEventNativeAdDidReceiveMediatedNativeAd(GADCustomEventNativeAd& customEvent,
                                                               const std::shared_ptr<GADMediatedNativeAd>& ad) = 0;
    virtual void customEventNativeAdDidFailToLoadWithError(GADCustomEventNativeAd& customEvent,
                                                           const platform::Error& error) = 0;
};

} // namespace ruzave
