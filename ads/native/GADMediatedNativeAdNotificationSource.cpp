#include "ads/native/GADMediatedNativeAdNotificationSource.h"

#include "ads/native/GADNativeAd.h"
#include "platform/foundation/NotificationCenter.h"

namespace ruzave {

namespace {
void post(const char* name, const GADMediatedNativeAd& ad) {
    platform::NotificationCenter::defaultCenter()->post(name, &ad);
}
} // namespace

void GADMediatedNativeAdNotificationSource::mediatedNativeAdWillPresentScreen(const GADMediatedNativeAd& ad) {
    post(GADNativeAd::kWillPresentScreenNotification, ad);
}
void GADMediatedNativeAdNotificationSource::mediatedNativeAdWillDismissScreen(const GADMediatedNativeAd& ad) {
    post(GADNativeAd::kWillDismissScreenNotification, ad);
}
void GADMediatedNativeAdNotificationSource::mediatedNativeAdDidDismissScreen(const GADMediatedNativeAd& ad) {
    post(GADNativeAd::kDidDismissScreenNotification, ad);
}
void GADMediatedNativeAdNotificationSource::mediatedNativeAdWillLeaveApplication(const GADMediatedNativeAd& ad) {
    post(GADNativeAd::kWillLeaveApplicationNotification, ad);
}

} // namespace ruzave
