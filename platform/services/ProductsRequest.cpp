#include "platform/services/ProductsRequest.h"

#include <map>

#include "platform/runloop/MainLoop.h"

namespace platform {
namespace {

struct Catalog {
    std::map<std::string, Product> products;
    std::optional<Error> failure;
    double delay = 0;
};

Catalog& catalog() {
    static Catalog c;
    return c;
}

} // namespace

std::shared_ptr<ProductsRequest> ProductsRequest::initWithProductIdentifiers(std::set<std::string> identifiers) {
    return std::shared_ptr<ProductsRequest>(new ProductsRequest(std::move(identifiers)));
}

void ProductsRequest::start() {
    if (started_ || cancelled_) return;
    started_ = true;
    auto self = shared_from_this(); // alive until it answers
    auto delay = catalog().delay;
    if (delay > 0)
        MainLoop::main().postAfter(delay, [self] { self->answer(); });
    else
        MainLoop::main().post([self] { self->answer(); });
}

void ProductsRequest::cancel() { cancelled_ = true; }

void ProductsRequest::answer() {
    if (cancelled_) return;
    cancelled_ = true; // answers once
    auto delegate = delegate_.lock();
    if (!delegate) return;
    auto& c = catalog();
    if (c.failure) {
        delegate->requestDidFailWithError(*this, *c.failure);
        return;
    }
    ProductsResponse response;
    for (const auto& id : identifiers_) {
        if (auto it = c.products.find(id); it != c.products.end())
            response.products.push_back(it->second);
        else
            response.invalidProductIdentifiers.push_back(id);
    }
    delegate->productsRequestDidReceiveResponse(*this, response);
    if (auto again = delegate_.lock()) again->requestDidFinish(*this);
}

void ProductsRequest::addProductForTesting(const Product& product) {
    catalog().products[product.productIdentifier()] = product;
}

void ProductsRequest::clearCatalogForTesting() { catalog().products.clear(); }

void ProductsRequest::scriptFailure(std::optional<Error> error) { catalog().failure = std::move(error); }

void ProductsRequest::setResponseDelayForTesting(double seconds) {
    catalog().delay = seconds > 0 ? seconds : 0;
}

} // namespace platform
