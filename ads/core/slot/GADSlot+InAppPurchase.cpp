#include "ads/core/slot/GADSlot.h"
#include "ads/core/slot/GADSlotDelegate.h"
#include "ads/core/util/GADLogger.h"
#include "ads/core/util/GADRunOnMainThread.h"
#include "ads/native/GADDefaultInAppPurchaseFlow.h"
#include "ads/native/GADInAppPurchase.h"

namespace ruzave {

std::shared_ptr<GADInAppPurchaseDelegate> GADSlot::inAppPurchaseDelegate() const {
    auto flow = GADDefaultInAppPurchaseFlow::sharedInstance();
    if (flow->isDefaultPurchaseFlowEnabled()) return flow;
    if (auto owner = slotDelegate()) {
        if (auto answer = owner->inAppPurchaseDelegate()) return *answer;
    }
    return nullptr;
}

void GADSlot::didReceiveInAppPurchase(const std::shared_ptr<GADInAppPurchase>& purchase) {
    auto delegate = inAppPurchaseDelegate();
    if (!delegate) {
        GADLogger::sharedInstance()->logPublicMessage(
            "You must set the in-app purchase delegate. Transaction cannot be completed.");
        return;
    }
    GADRunOnMainThread([delegate, purchase] { delegate->didReceiveInAppPurchase(purchase); });
}

} // namespace ruzave
