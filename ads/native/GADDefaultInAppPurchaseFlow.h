#pragma once
// The SDK's own purchase flow, used when the publisher switched it on: asks the publisher whether a
// purchase may start, finds the product (cache or store), adds its payment to the default payment
// queue, hands each paid transaction to the publisher to deliver, and reports failed, cancelled and
// unknown purchases back to the ad. Main thread.
#include <cstddef>
#include <memory>
#include <vector>

#include "ads/native/GADInAppPurchaseDelegate.h"
#include "platform/services/PaymentTransactionObserver.h"

namespace platform {
struct Error;
class Product;
} // namespace platform

namespace ruzave {

class GADDefaultInAppPurchaseDelegate;

class GADDefaultInAppPurchaseFlow : public GADInAppPurchaseDelegate,
                                    public platform::PaymentTransactionObserver,
                                    public std::enable_shared_from_this<GADDefaultInAppPurchaseFlow> {
  public:
    static constexpr const char* kUnavailableTitle = "Whoops!";
    static constexpr const char* kUnavailableMessage = "Sorry, the product is currently unavailable.";
    // Payments whose transactions never come back are not kept forever: the oldest is let go.
    static constexpr std::size_t kMaximumActivePurchases = 64;

    static std::shared_ptr<GADDefaultInAppPurchaseFlow> sharedInstance();

    // Ignored for a null delegate, the current one, or one that takes no paid purchases.
    void enableDefaultPurchaseFlowWithDelegate(const std::shared_ptr<GADDefaultInAppPurchaseDelegate>& delegate);
    void disableDefaultPurchaseFlow();
    bool isDefaultPurchaseFlowEnabled() const { return delegate_ != nullptr; }
    std::size_t activeInAppPurchaseCount() const { return activeInAppPurchases_.size(); }

    void didReceiveInAppPurchase(const std::shared_ptr<GADInAppPurchase>& purchase) override;
    void paymentQueueUpdatedTransactions(platform::PaymentQueue& queue,
                                         const std::vector<std::shared_ptr<platform::PaymentTransaction>>& transactions) override;

  private:
    GADDefaultInAppPurchaseFlow() = default;
    void purchaseProduct(const platform::Product& product, const std::shared_ptr<GADInAppPurchase>& purchase);
    void enqueueInAppPurchase(const std::shared_ptr<GADInAppPurchase>& purchase);
    std::shared_ptr<GADInAppPurchase> dequeueInAppPurchaseForTransaction(const platform::PaymentTransaction& transaction);
    void completeTransaction(const std::shared_ptr<platform::PaymentTransaction>& transaction);
    void failedTransaction(const std::shared_ptr<platform::PaymentTransaction>& transaction);
    void rejectUnknownProduct(const std::shared_ptr<GADInAppPurchase>& purchase, const platform::Error* error);
    static void notifyUserOfUnavailableProduct();

    // In the order the payments were added; matching takes the first equal one.
    std::vector<std::shared_ptr<GADInAppPurchase>> activeInAppPurchases_;
    std::shared_ptr<GADDefaultInAppPurchaseDelegate> delegate_;
};

} // namespace ruzave
