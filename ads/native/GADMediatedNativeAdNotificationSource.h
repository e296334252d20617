#pragma once
// Lets an ad network adapter announce the screens its native ad opens: each call posts the matching
// notification, with the network's ad as the object, on the default centre. The caller's thread.
#include "ads/native/GADMediatedNativeAd.h"

namespace ruzave {

class GADMediatedNativeAdNotificationSource {
  public:
    static void mediatedNativeAdWillPresentScreen(const GADMediatedNativeAd& ad);
    static void mediatedNativeAdWillDismissScreen(const GADMediatedNativeAd& ad);
    static void mediatedNativeAdDidDismissScreen(const GADMediatedNativeAd& ad);
    static void mediatedNativeAdWillLeaveApplication(const GADMediatedNativeAd& ad);
};

} // namespace ruzave
