#include "ads/native/GADDefaultInAppPurchase.h"

#include "ads/native/GADDefaultInAppPurchaseFlow.h"
#include "ads/native/GADInAppPurchase.h"
#include "platform/services/PaymentQueue.h"

namespace ruzave {

void GADDefaultInAppPurchase::enableDefaultPurchaseFlowWithDelegate(
    const std::shared_ptr<GADDefaultInAppPurchaseDelegate>& delegate) {
    GADDefaultInAppPurchaseFlow::sharedInstance()->enableDefaultPurchaseFlowWithDelegate(delegate);
}

void GADDefaultInAppPurchase::disableDefaultPurchaseFlow() {
    GADDefaultInAppPurchaseFlow::sharedInstance()->disableDefaultPurchaseFlow();
}

void GADDefaultInAppPurchase::finishTransaction() {
    if (auto transaction = std::move(paymentTransaction_)) {
        paymentTransaction_.reset();
        platform::PaymentQueue::defaultQueue()->finishTransaction(transaction);
    }
    if (auto purchase = std::move(inAppPurchase_)) {
        inAppPurchase_.reset();
        purchase->reportPurchaseStatus(GADInAppPurchase::Success);
    }
}

} // namespace ruzave
