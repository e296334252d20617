#pragma once
// The publisher's side of the default purchase flow: it delivers paid products and may veto purchases
// before they start. Called on the main thread.
#include <memory>
#include <optional>
#include <string>

namespace ruzave {

class GADDefaultInAppPurchase;

class GADDefaultInAppPurchaseDelegate {
  public:
    virtual ~GADDefaultInAppPurchaseDelegate() = default;
    // The product was paid for: deliver it, then send finishTransaction to the purchase.
    virtual void userDidPayForPurchase(const std::shared_ptr<GADDefaultInAppPurchase>& purchase) = 0;
    // Whether this delegate really takes paid purchases; the flow refuses one that does not.
    virtual bool supportsUserDidPayForPurchase() const { return true; }
    // Asked before each purchase; nullopt: the delegate does not want to be asked.
    virtual std::optional<bool> shouldStartPurchaseForProductID(const std::string& /*productID*/, long /*quantity*/) {
        return std::nullopt;
    }
};

} // namespace ruzave
