#include "ads/native/GADDefaultInAppPurchaseFlow.h"

#include <algorithm>

#include "ads/core/util/GADLogger.h"
#include "ads/native/GADDefaultInAppPurchase.h"
#include "ads/native/GADDefaultInAppPurchaseDelegate.h"
#include "ads/native/GADInAppPurchase.h"
#include "ads/native/GADInAppPurchaseProductCache.h"
#include "platform/base/Error.h"
#include "platform/runloop/DispatchQueue.h"
#include "platform/services/PaymentQueue.h"
#include "platform/ui/AlertView.h"

namespace ruzave {

std::shared_ptr<GADDefaultInAppPurchaseFlow> GADDefaultInAppPurchaseFlow::sharedInstance() {
    static const std::shared_ptr<GADDefaultInAppPurchaseFlow> instance(new GADDefaultInAppPurchaseFlow());
    return instance;
}

void GADDefaultInAppPurchaseFlow::enableDefaultPurchaseFlowWithDelegate(
    const std::shared_ptr<GADDefaultInAppPurchaseDelegate>& delegate) {
    if (!delegate || delegate == delegate_ || !delegate->supportsUserDidPayForPurchase()) return;
    if (!delegate_) platform::PaymentQueue::defaultQueue()->addTransactionObserver(weak_from_this());
    delegate_ = delegate;
}

void GADDefaultInAppPurchaseFlow::disableDefaultPurchaseFlow() {
    if (!delegate_) return;
    delegate_.reset();
    platform::PaymentQueue::defaultQueue()->removeTransactionObserver(shared_from_this());
}

void GADDefaultInAppPurchaseFlow::didReceiveInAppPurchase(const std::shared_ptr<GADInAppPurchase>& purchase) {
    if (!purchase) return;
    if (delegate_) {
        auto allowed = delegate_->shouldStartPurchaseForProductID(purchase->productID(), purchase->quantity());
        if (allowed && !*allowed) {
            purchase->reportPurchaseStatus(GADInAppPurchase::Error);
            notifyUserOfUnavailableProduct();
            return;
        }
    }
    const auto& productID = purchase->productID();
    if (productID.empty()) {
        purchase->reportPurchaseStatus(GADInAppPurchase::InvalidProduct);
        return;
    }
    // No store product id is this long (an ad's is refused at its message; the app's own may be):
    // refused without asking the store.
    if (productID.size() > GADInAppPurchase::kMaximumProductIDLength) {
        rejectUnknownProduct(purchase, nullptr);
        return;
    }
    auto cache = GADInAppPurchaseProductCache::sharedInstance();
    if (auto product = cache->cachedProductForProductID(productID)) {
        purchaseProduct(*product, purchase);
        return;
    }
    auto weak = weak_from_this();
    cache->requestProductsWithProductIdentifiers(
        {productID}, platform::DispatchQueue::main(),
        [weak, purchase, productID](const auto& products, const auto&, const auto& error) {
            auto self = weak.lock();
            if (!self) return;
            if (!error && products) {
                if (auto it = products->find(productID); it != products->end()) {
                    self->purchaseProduct(it->second, purchase);
                    return;
                }
            }
            self->rejectUnknownProduct(purchase, error ? &*error : nullptr);
        });
}

void GADDefaultInAppPurchaseFlow::rejectUnknownProduct(const std::shared_ptr<GADInAppPurchase>& purchase,
                                                       const platform::Error* error) {
    purchase->reportPurchaseStatus(GADInAppPurchase::InvalidProduct);
    auto logger = GADLogger::sharedInstance();
    if (error && !error->description.empty()) logger->logPublicMessage(error->description);
    // A hostile identifier is not echoed whole into the log.
    auto shown = purchase->productID().substr(0, 256);
    logger->logPublicMessage("\"" + shown +
                             "\" is not a valid product ID or could not be validated. Verify your ad configuration.");
    notifyUserOfUnavailableProduct();
}

void GADDefaultInAppPurchaseFlow::purchaseProduct(const platform::Product& product,
                                                  const std::shared_ptr<GADInAppPurchase>& purchase) {
    enqueueInAppPurchase(purchase);
    platform::Payment payment{product.productIdentifier(), purchase->quantity()};
    if (!platform::PaymentQueue::defaultQueue()->addPayment(payment)) {
        // The queue refused it (a quantity of 0 after an invalid value): no transaction will come back.
        std::erase(activeInAppPurchases_, purchase);
        purchase->reportPurchaseStatus(GADInAppPurchase::Error);
    }
}

void GADDefaultInAppPurchaseFlow::enqueueInAppPurchase(const std::shared_ptr<GADInAppPurchase>& purchase) {
    if (std::find(activeInAppPurchases_.begin(), activeInAppPurchases_.end(), purchase) != activeInAppPurchases_.end())
        return;
    activeInAppPurchases_.push_back(purchase);
    if (activeInAppPurchases_.size() > kMaximumActivePurchases) activeInAppPurchases_.erase(activeInAppPurchases_.begin());
}

std::shared_ptr<GADInAppPurchase> GADDefaultInAppPurchaseFlow::dequeueInAppPurchaseForTransaction(
    const platform::PaymentTransaction& transaction) {
    const auto& payment = transaction.payment();
    auto it = std::find_if(activeInAppPurchases_.begin(), activeInAppPurchases_.end(), [&](const auto& p) {
        return p->quantity() == payment.quantity && p->productID() == payment.productIdentifier;
    });
    if (it != activeInAppPurchases_.end()) {
        auto purchase = *it;
        activeInAppPurchases_.erase(it);
        return purchase;
    }
    // A transaction that no ad started: its purchase has no report URLs, so its reports ping nothing.
    auto purchase = GADInAppPurchase::initWithViewController(nullptr);
    purchase->setProductID(payment.productIdentifier);
    purchase->setQuantity(payment.quantity);
    return purchase;
}

void GADDefaultInAppPurchaseFlow::paymentQueueUpdatedTransactions(
    platform::PaymentQueue&, const std::vector<std::shared_ptr<platform::PaymentTransaction>>& transactions) {
    for (const auto& transaction : transactions) {
        if (!transaction) continue;
        switch (transaction->transactionState()) {
        case platform::PaymentTransaction::Purchased: completeTransaction(transaction); break;
        case platform::PaymentTransaction::Failed: failedTransaction(transaction); break;
        default: break;
        }
    }
}

void GADDefaultInAppPurchaseFlow::completeTransaction(const std::shared_ptr<platform::PaymentTransaction>& transaction) {
    auto purchase = GADDefaultInAppPurchase::init();
    purchase->setProductID(transaction->payment().productIdentifier);
    purchase->setQuantity(static_cast<std::int32_t>(transaction->payment().quantity));
    purchase->setPaymentTransaction(transaction);
    purchase->setInAppPurchase(dequeueInAppPurchaseForTransaction(*transaction));
    // The delegate may switch the flow off from inside the call.
    if (auto delegate = delegate_) delegate->userDidPayForPurchase(purchase);
}

void GADDefaultInAppPurchaseFlow::failedTransaction(const std::shared_ptr<platform::PaymentTransaction>& transaction) {
    auto purchase = dequeueInAppPurchaseForTransaction(*transaction);
    const auto& error = transaction->error();
    bool cancelled = error && error->code == platform::PaymentQueue::PaymentCancelled;
    purchase->reportPurchaseStatus(cancelled ? GADInAppPurchase::Cancel : GADInAppPurchase::Error);
    platform::PaymentQueue::defaultQueue()->finishTransaction(transaction);
}

void GADDefaultInAppPurchaseFlow::notifyUserOfUnavailableProduct() {
    platform::AlertView::create(kUnavailableTitle, kUnavailableMessage, {}, "OK")->show();
}

} // namespace ruzave
