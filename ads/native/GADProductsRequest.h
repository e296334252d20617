#pragma once
// One store products request with one completion handler, run on a chosen queue: the products found by
// identifier, the identifiers the store does not know, or the error. The request keeps itself alive
// until its handler has been dispatched. Started on the main thread; the handler runs on its queue.
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>

#include "platform/base/Error.h"
#include "platform/services/Product.h"
#include "platform/services/ProductsRequestDelegate.h"

namespace platform {
class DispatchQueue;
class ProductsRequest;
} // namespace platform

namespace ruzave {

class GADProductsRequest : public platform::ProductsRequestDelegate,
                           public std::enable_shared_from_this<GADProductsRequest> {
  public:
    using Products = std::map<std::string, platform::Product>;
    using CompletionHandler = std::function<void(const std::optional<Products>& products,
                                                 const std::optional<std::set<std::string>>& invalidIdentifiers,
                                                 const std::optional<platform::Error>& error)>;

    // Does nothing without a queue or a handler. A request that cannot be made answers with the
    // internal error 3 "Couldn't initialize.".
    static void requestProductsWithProductIdentifiers(const std::set<std::string>& identifiers,
                                                      const std::shared_ptr<platform::DispatchQueue>& queue,
                                                      CompletionHandler completionHandler);
    // nullptr for an empty set: there is nothing to ask the store.
    static std::shared_ptr<GADProductsRequest> initWithProductIdentifiers(const std::set<std::string>& identifiers);

    void requestWithQueue(const std::shared_ptr<platform::DispatchQueue>& queue, CompletionHandler completionHandler);

    void productsRequestDidReceiveResponse(platform::ProductsRequest& request,
                                           const platform::ProductsResponse& response) override;
    void requestDidFailWithError(platform::ProductsRequest& request, const platform::Error& error) override;

  private:
    GADProductsRequest() = default;
    // Takes the handler and queue (each answers once) and runs the handler on the queue.
    void deliver(std::optional<Products> products, std::optional<std::set<std::string>> invalid,
                 std::optional<platform::Error> error);

    std::shared_ptr<platform::ProductsRequest> productsRequest_;
    CompletionHandler completionHandler_;
    std::shared_ptr<platform::DispatchQueue> queue_;
};

} // namespace ruzave
