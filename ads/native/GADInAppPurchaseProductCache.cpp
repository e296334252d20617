#include "ads/native/GADInAppPurchaseProductCache.h"

#include <algorithm>

#include "platform/runloop/DispatchQueue.h"

namespace ruzave {

std::shared_ptr<GADInAppPurchaseProductCache> GADInAppPurchaseProductCache::sharedInstance() {
    static const std::shared_ptr<GADInAppPurchaseProductCache> instance(new GADInAppPurchaseProductCache());
    return instance;
}

GADInAppPurchaseProductCache::GADInAppPurchaseProductCache()
    : lockQueue_(platform::DispatchQueue::createSerial("com.ruzave.ads.iap-cache")) {}

std::optional<platform::Product> GADInAppPurchaseProductCache::cachedProductForProductID(
    const std::string& productID) const {
    std::optional<platform::Product> product;
    lockQueue_->sync([&] {
        if (auto it = validProductIDs_.find(productID); it != validProductIDs_.end()) product = it->second;
    });
    return product;
}

bool GADInAppPurchaseProductCache::isInvalidProductID(const std::string& productID) const {
    bool invalid = false;
    lockQueue_->sync([&] { invalid = invalidProducts_.count(productID) > 0; });
    return invalid;
}

void GADInAppPurchaseProductCache::requestProductsWithProductIdentifiers(
    const std::set<std::string>& identifiers, const std::shared_ptr<platform::DispatchQueue>& queue,
    GADProductsRequest::CompletionHandler completionHandler) {
    if (!queue || !completionHandler) return;
    auto self = sharedInstance();
    GADProductsRequest::requestProductsWithProductIdentifiers(
        identifiers, lockQueue_,
        [self, queue, completionHandler](const auto& products, const auto& invalid, const auto& error) {
            self->merge(products, invalid); // on the lock queue
            queue->async([completionHandler, products, invalid, error] { completionHandler(products, invalid, error); });
        });
}

void GADInAppPurchaseProductCache::merge(const std::optional<GADProductsRequest::Products>& products,
                                         const std::optional<std::set<std::string>>& invalid) {
    if (products)
        for (const auto& [identifier, product] : *products) validProductIDs_.insert_or_assign(identifier, product);
    if (invalid) {
        for (const auto& identifier : *invalid) {
            validProductIDs_.erase(identifier);
            if (invalidProducts_.insert(identifier).second) invalidOrder_.push_back(identifier);
        }
    }
    if (products) {
        for (const auto& [identifier, product] : *products) {
            if (invalidProducts_.erase(identifier) > 0) std::erase(invalidOrder_, identifier);
        }
    }
    while (invalidOrder_.size() > kMaximumInvalidProducts) {
        invalidProducts_.erase(invalidOrder_.front());
        invalidOrder_.pop_front();
    }
}

} // namespace ruzave
