#include "ads/native/GADInAppPurchaseTransactionReporter.h"

namespace ruzave {

std::shared_ptr<GADInAppPurchaseTransactionReporter> GADInAppPurchaseTransactionReporter::sharedInstance() {
    static const std::shared_ptr<GADInAppPurchaseTransactionReporter> instance(new GADInAppPurchaseTransactionReporter());
    return instance;
}

} // namespace ruzave
