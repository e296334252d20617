#pragma once
// Hears a products request's answer, on the main thread.
#include "platform/base/Error.h"
#include "platform/services/ProductsResponse.h"

namespace platform {

class ProductsRequest;

class ProductsRequestDelegate {
public:
    virtual ~ProductsRequestDelegate() = default;
    virtual void productsRequestDidReceiveResponse(ProductsRequest& request, const ProductsResponse& response) = 0;
    // After a response.
    virtual void requestDidFinish(ProductsRequest&) {}
    // Instead of a response.
    virtual void requestDidFailWithError(ProductsRequest&, const Error&) {}
};

} // namespace platform
