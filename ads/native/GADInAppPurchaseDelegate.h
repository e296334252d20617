#pragma once
// Receives the purchases that in-app-purchase ads start: the publisher's own handler, or the SDK's
// default purchase flow. Called on the main thread.
#include <memory>

namespace ruzave {

class GADInAppPurchase;

class GADInAppPurchaseDelegate {
  public:
    virtual ~GADInAppPurchaseDelegate() = default;
    // Run the purchase, then report its outcome with GADInAppPurchase::reportPurchaseStatus.
    virtual void didReceiveInAppPurchase(const std::shared_ptr<GADInAppPurchase>& purchase) = 0;
};

} // namespace ruzave
