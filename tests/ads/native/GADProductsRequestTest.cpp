#include "ads/native/GADProductsRequest.h"

#include <doctest/doctest.h>

#include "ads/core/public/GADInternalErrorAdditions.h"
#include "platform/runloop/DispatchQueue.h"
#include "tests/ads/native/InAppPurchaseTestSupport.h"

using ruzave::GADProductsRequest;

namespace {

struct Answer {
    std::optional<GADProductsRequest::Products> products;
    std::optional<std::set<std::string>> invalid;
    std::optional<platform::Error> error;
    bool onMain = false;
};

struct Asker : platform::testing::Harness {
    std::vector<Answer> answers;
    GADProductsRequest::CompletionHandler handler() {
        return [this](const auto& products, const auto& invalid, const auto& error) {
            answers.push_back({products, invalid, error, platform::DispatchQueue::main()->isCurrent()});
        };
    }
    void ask(const std::set<std::string>& ids) {
        GADProductsRequest::requestProductsWithProductIdentifiers(ids, platform::DispatchQueue::main(), handler());
    }
};

} // namespace

TEST_CASE_FIXTURE(Asker, "GADProductsRequest: known and unknown identifiers come back apart on the queue") {
    iaptest::stock("gem", "0.99");
    iaptest::stock("coin", "12", "JPY");
    platform::ProductsRequest::setResponseDelayForTesting(2);
    ask({"gem", "coin", "ghost"});
    runUntilIdle();
    CHECK(answers.empty());
    advance(2);
    REQUIRE(runUntil([&] { return !answers.empty(); }));
    REQUIRE(answers.size() == 1);
    const auto& a = answers[0];
    CHECK(a.onMain);
    CHECK_FALSE(a.error);
    REQUIRE(a.products);
    CHECK(a.products->size() == 2);
    CHECK(a.products->at("coin").currencyCode() == "JPY");
    CHECK(a.products->at("gem").priceString() == "0.99");
    CHECK(*a.invalid == std::set<std::string>{"ghost"});
}

TEST_CASE_FIXTURE(Asker, "GADProductsRequest: a store failure an empty request and a missing handler") {
    platform::ProductsRequest::scriptFailure(platform::Error("StoreDomain", 5, "offline"));
    ask({"gem"});
    ask({});
    GADProductsRequest::requestProductsWithProductIdentifiers({"gem"}, nullptr, handler());
    GADProductsRequest::requestProductsWithProductIdentifiers({"gem"}, platform::DispatchQueue::main(), nullptr);
    runUntilIdle();
    REQUIRE(answers.size() == 2);
    for (const auto& a : answers) {
        CHECK_FALSE(a.products);
        CHECK_FALSE(a.invalid);
        REQUIRE(a.error);
    }
    // The empty request cannot be made and answers first, without reaching the store.
    CHECK(answers[0].error->domain == ruzave::kGADInternalErrorDomain);
    CHECK(answers[0].error->code == 3);
    CHECK(answers[0].error->description == "Couldn't initialize.");
    CHECK(answers[1].error->domain == "StoreDomain");
}
