#include <doctest/doctest.h>

#include "platform/services/ProductsRequest.h"
#include "platform/testing/Harness.h"

using platform::Product;
using platform::ProductsRequest;

namespace {

struct Delegate : platform::ProductsRequestDelegate {
    int responses = 0, finishes = 0, failures = 0;
    platform::ProductsResponse response;
    platform::Error error;
    void productsRequestDidReceiveResponse(ProductsRequest&, const platform::ProductsResponse& r) override {
        ++responses;
        response = r;
    }
    void requestDidFinish(ProductsRequest&) override { ++finishes; }
    void requestDidFailWithError(ProductsRequest&, const platform::Error& e) override {
        ++failures;
        error = e;
    }
};

void fillCatalog() {
    ProductsRequest::addProductForTesting(
        Product("upgrade", *platform::Price::fromString("0.99"), platform::Locale("en_US", "USD"), "Upgrade"));
    ProductsRequest::addProductForTesting(
        Product("coins", *platform::Price::fromString("120"), platform::Locale("ja_JP", "JPY"), "Coins"));
}

} // namespace

TEST_CASE_FIXTURE(platform::testing::Harness, "ProductsRequest: answers known products with exact prices and lists unknown identifiers") {
    fillCatalog();
    auto delegate = std::make_shared<Delegate>();
    auto request = ProductsRequest::initWithProductIdentifiers({"upgrade", "coins", "nope"});
    request->setDelegate(delegate);
    request->start();
    request->start(); // a second start must not answer twice
    request.reset();  // the request keeps itself alive while it runs
    runUntilIdle();

    CHECK(delegate->responses == 1);
    CHECK(delegate->finishes == 1);
    REQUIRE(delegate->response.products.size() == 2);
    // Sorted by identifier.
    const auto& coins = delegate->response.products[0];
    const auto& upgrade = delegate->response.products[1];
    CHECK(upgrade.productIdentifier() == "upgrade");
    CHECK(upgrade.priceString() == "0.99");
    CHECK(upgrade.priceMinorUnits() == 99);
    CHECK(upgrade.currencyCode() == "USD");
    CHECK(coins.priceMinorUnits() == 120);
    CHECK(coins.currencyCode() == "JPY");
    REQUIRE(delegate->response.invalidProductIdentifiers.size() == 1);
    CHECK(delegate->response.invalidProductIdentifiers[0] == "nope");
}

TEST_CASE_FIXTURE(platform::testing::Harness, "ProductsRequest: a scripted failure, a delay on virtual time and cancellation") {
    fillCatalog();
    ProductsRequest::setResponseDelayForTesting(2.0);
    auto delegate = std::make_shared<Delegate>();
    auto request = ProductsRequest::initWithProductIdentifiers({"upgrade"});
    request->setDelegate(delegate);
    ProductsRequest::scriptFailure(platform::Error(ProductsRequest::errorDomain, 0, "Cannot connect"));
    request->start();
    runUntilIdle();
    advance(1.9);
    CHECK(delegate->failures == 0);
    advance(0.2);
    CHECK(delegate->failures == 1);
    CHECK(delegate->responses == 0);
    CHECK(delegate->error.description == "Cannot connect");

    ProductsRequest::scriptFailure(std::nullopt);
    auto cancelled = ProductsRequest::initWithProductIdentifiers({"upgrade"});
    cancelled->setDelegate(delegate);
    cancelled->start();
    cancelled->cancel();
    advance(5);
    CHECK(delegate->responses == 0);
}
