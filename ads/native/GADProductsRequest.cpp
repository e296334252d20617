#include "ads/native/GADProductsRequest.h"

#include "ads/core/public/GADInternalErrorAdditions.h"
#include "platform/runloop/DispatchQueue.h"
#include "platform/services/ProductsRequest.h"

namespace ruzave {

void GADProductsRequest::requestProductsWithProductIdentifiers(const std::set<std::string>& identifiers,
                                                               const std::shared_ptr<platform::DispatchQueue>& queue,
                                                               CompletionHandler completionHandler) {
    if (!queue || !completionHandler) return;
    auto request = initWithProductIdentifiers(identifiers);
    if (!request) {
        queue->async([completionHandler] {
            completionHandler(std::nullopt, std::nullopt, gad_errorWithCode(3, std::string("Couldn't initialize.")));
        });
        return;
    }
    // The handler holds the request until it has run; deliver() lets go of it then.
    request->requestWithQueue(queue, [request, completionHandler](const auto& products, const auto& invalid,
                                                                  const auto& error) {
        completionHandler(products, invalid, error);
    });
}

std::shared_ptr<GADProductsRequest> GADProductsRequest::initWithProductIdentifiers(
    const std::set<std::string>& identifiers) {
    if (identifiers.empty()) return nullptr;
    auto platformRequest = platform::ProductsRequest::initWithProductIdentifiers(identifiers);
    if (!platformRequest) return nullptr;
    std::shared_ptr<GADProductsRequest> request(new GADProductsRequest());
    request->productsRequest_ = std::move(platformRequest);
    return request;
}

void GADProductsRequest::requestWithQueue(const std::shared_ptr<platform::DispatchQueue>& queue,
                                          CompletionHandler completionHandler) {
    completionHandler_ = std::move(completionHandler);
    queue_ = queue;
    productsRequest_->setDelegate(weak_from_this());
    productsRequest_->start();
}

void GADProductsRequest::productsRequestDidReceiveResponse(platform::ProductsRequest&,
                                                           const platform::ProductsResponse& response) {
    Products products;
    for (const auto& product : response.products) products[product.productIdentifier()] = product;
    std::set<std::string> invalid(response.invalidProductIdentifiers.begin(), response.invalidProductIdentifiers.end());
    deliver(std::move(products), std::move(invalid), std::nullopt);
}

void GADProductsRequest::requestDidFailWithError(platform::ProductsRequest&, const platform::Error& error) {
    deliver(std::nullopt, std::nullopt, error);
}

void GADProductsRequest::deliver(std::optional<Products> products, std::optional<std::set<std::string>> invalid,
                                 std::optional<platform::Error> error) {
    auto handler = std::move(completionHandler_);
    auto queue = std::move(queue_);
    completionHandler_ = nullptr;
    queue_.reset();
    if (!handler || !queue) return;
    queue->async([handler = std::move(handler), products = std::move(products), invalid = std::move(invalid),
                  error = std::move(error)] { handler(products, invalid, error); });
}

} // namespace ruzave
