#pragma once
// A purchase that the default flow got paid for: the publisher delivers the product and then finishes
// it, which completes the store transaction and reports success to the ad. Main thread.
#include <cstdint>
#include <memory>
#include <string>

namespace platform {
class PaymentTransaction;
} // namespace platform

namespace ruzave {

class GADDefaultInAppPurchaseDelegate;
class GADInAppPurchase;

class GADDefaultInAppPurchase {
  public:
    static std::shared_ptr<GADDefaultInAppPurchase> init() {
        return std::shared_ptr<GADDefaultInAppPurchase>(new GADDefaultInAppPurchase());
    }
    // Switch the shared default purchase flow on (with the publisher's delegate) and off.
    static void enableDefaultPurchaseFlowWithDelegate(const std::shared_ptr<GADDefaultInAppPurchaseDelegate>& delegate);
    static void disableDefaultPurchaseFlow();

    const std::string& productID() const { return productID_; }
    void setProductID(const std::string& productID) { productID_ = productID; }
    std::int32_t quantity() const { return quantity_; }
    void setQuantity(std::int32_t quantity) { quantity_ = quantity; }
    const std::shared_ptr<platform::PaymentTransaction>& paymentTransaction() const { return paymentTransaction_; }
    void setPaymentTransaction(const std::shared_ptr<platform::PaymentTransaction>& t) { paymentTransaction_ = t; }
    const std::shared_ptr<GADInAppPurchase>& inAppPurchase() const { return inAppPurchase_; }
    void setInAppPurchase(const std::shared_ptr<GADInAppPurchase>& purchase) { inAppPurchase_ = purchase; }

    // Finishes the transaction on the default payment queue and reports success; both are let go, so
    // a second call does nothing.
    void finishTransaction();

  private:
    GADDefaultInAppPurchase() = default;
    std::string productID_;
    std::int32_t quantity_ = 0;
    std::shared_ptr<platform::PaymentTransaction> paymentTransaction_;
    std::shared_ptr<GADInAppPurchase> inAppPurchase_;
};

} // namespace ruzave
