#include "ads/core/public/GADMobileAds.h"

#include "ads/core/telemetry/GADCrashReporter.h"
#include "ads/native/GADInAppPurchaseTransactionReporter.h"

namespace ruzave {

void GADMobileAds::disableAutomatedInAppPurchaseReporting() {
    GADInAppPurchaseTransactionReporter::sharedInstance()->disableReporting();
}

void GADMobileAds::disableSDKCrashReporting() { GADCrashReporter::sharedInstance()->disableReporting(); }

} // namespace ruzave
