#pragma once
// Asks the store about a set of product identifiers. The store is a test catalog; the answer (or a
// scripted failure) reaches the delegate on the main loop after the catalog's delay. A started request
// keeps itself alive until it has answered or is cancelled. Main thread.
#include <memory>
#include <optional>
#include <set>
#include <string>

#include "platform/base/Error.h"
#include "platform/services/Product.h"
#include "platform/services/ProductsRequestDelegate.h"

namespace platform {

class ProductsRequest : public std::enable_shared_from_this<ProductsRequest> {
public:
    static constexpr const char* errorDomain = "ProductsRequestErrorDomain";

    static std::shared_ptr<ProductsRequest> initWithProductIdentifiers(std::set<std::string> identifiers);

    const std::set<std::string>& productIdentifiers() const { return identifiers_; }
    void setDelegate(std::weak_ptr<ProductsRequestDelegate> delegate) { delegate_ = std::move(delegate); }
    std::weak_ptr<ProductsRequestDelegate> delegate() const { return delegate_; }
    // Starting twice does nothing.
    void start();
    // No delegate call follows.
    void cancel();

    // Tests: the store's catalog. Adding a product with a known identifier replaces it.
    static void addProductForTesting(const Product& product);
    static void clearCatalogForTesting();
    // Tests: every request from now on fails with `error` (nullopt: they answer again).
    static void scriptFailure(std::optional<Error> error);
    // Tests: virtual seconds between start and answer (0 by default: the next main-loop turn).
    static void setResponseDelayForTesting(double seconds);

private:
    explicit ProductsRequest(std::set<std::string> identifiers) : identifiers_(std::move(identifiers)) {}
    void answer();

    std::set<std::string> identifiers_;
    std::weak_ptr<ProductsRequestDelegate> delegate_;
    bool started_ = false;
    bool cancelled_ = false;
};

} // namespace platform
