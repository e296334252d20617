#pragma once
// The store products confirmed so far, process-wide, and the identifiers last reported invalid. Both are
// touched only on the cache's own serial queue: lookups are synchronous calls on it, and store answers
// are merged on it before the caller's handler goes to the caller's queue. Any thread.
#include <deque>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>

#include "ads/native/GADProductsRequest.h"
#include "platform/services/Product.h"

namespace platform {
class DispatchQueue;
} // namespace platform

namespace ruzave {

class GADInAppPurchaseProductCache {
  public:
    // Identifiers come from ads: the invalid ones kept are bounded, the oldest let go first.
    static constexpr std::size_t kMaximumInvalidProducts = 256;

    static std::shared_ptr<GADInAppPurchaseProductCache> sharedInstance();

    std::optional<platform::Product> cachedProductForProductID(const std::string& productID) const;
    bool isInvalidProductID(const std::string& productID) const;
    // Asks the store (every call does), merges the answer, then runs the handler with it on `queue`.
    // Does nothing without a queue or a handler.
    void requestProductsWithProductIdentifiers(const std::set<std::string>& identifiers,
                                               const std::shared_ptr<platform::DispatchQueue>& queue,
                                               GADProductsRequest::CompletionHandler completionHandler);

  private:
    GADInAppPurchaseProductCache();
    void merge(const std::optional<GADProductsRequest::Products>& products,
               const std::optional<std::set<std::string>>& invalid);

    std::shared_ptr<platform::DispatchQueue> lockQueue_;
    std::set<std::string> invalidProducts_;
    std::deque<std::string> invalidOrder_;
    std::map<std::string, platform::Product> validProductIDs_;
};

} // namespace ruzave
