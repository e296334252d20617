#include "ads/native/GADInAppPurchaseProductCache.h"

#include <doctest/doctest.h>

#include "platform/runloop/DispatchQueue.h"
#include "tests/ads/native/InAppPurchaseTestSupport.h"

using ruzave::GADInAppPurchaseProductCache;

namespace {

struct Cache : platform::testing::Harness {
    // Asks the store through the cache and waits for the answer on the main queue.
    void ask(const std::set<std::string>& ids) {
        bool done = false;
        cache->requestProductsWithProductIdentifiers(ids, platform::DispatchQueue::main(),
                                                     [&](const auto&, const auto& invalid, const auto&) {
                                                         lastInvalid = invalid.value_or(std::set<std::string>{});
                                                         done = platform::DispatchQueue::main()->isCurrent();
                                                     });
        REQUIRE(runUntil([&] { return done; }));
    }
    std::shared_ptr<GADInAppPurchaseProductCache> cache = GADInAppPurchaseProductCache::sharedInstance();
    std::set<std::string> lastInvalid;
};

} // namespace

TEST_CASE_FIXTURE(Cache, "GADInAppPurchaseProductCache: store answers fill and correct the cache") {
    CHECK_FALSE(cache->cachedProductForProductID("gem"));
    iaptest::stock("gem", "0.99");
    ask({"gem", "ghost"});
    REQUIRE(cache->cachedProductForProductID("gem"));
    CHECK(cache->cachedProductForProductID("gem")->priceString() == "0.99");
    CHECK(cache->isInvalidProductID("ghost"));
    CHECK(lastInvalid == std::set<std::string>{"ghost"});

    // A new price replaces the old one; a product withdrawn from the store leaves the cache.
    iaptest::stock("gem", "1.49");
    iaptest::stock("ghost", "3");
    ask({"gem", "ghost"});
    CHECK(cache->cachedProductForProductID("gem")->priceString() == "1.49");
    CHECK_FALSE(cache->isInvalidProductID("ghost"));
    platform::ProductsRequest::clearCatalogForTesting();
    ask({"gem"});
    CHECK_FALSE(cache->cachedProductForProductID("gem"));
    CHECK(cache->isInvalidProductID("gem"));
    CHECK(cache->cachedProductForProductID("ghost"));
}

TEST_CASE_FIXTURE(Cache, "GADInAppPurchaseProductCache: a failed request changes nothing and invalid names are bounded") {
    iaptest::stock("gem", "0.99");
    ask({"gem"});
    platform::ProductsRequest::scriptFailure(platform::Error("StoreDomain", 1, "down"));
    ask({"gem"});
    CHECK(cache->cachedProductForProductID("gem"));
    platform::ProductsRequest::scriptFailure(std::nullopt);

    std::set<std::string> junk;
    for (std::size_t i = 0; i < GADInAppPurchaseProductCache::kMaximumInvalidProducts + 40; ++i)
        junk.insert("junk-" + std::to_string(i));
    ask(junk);
    std::size_t kept = 0;
    for (const auto& id : junk) kept += cache->isInvalidProductID(id) ? 1 : 0;
    CHECK(kept == GADInAppPurchaseProductCache::kMaximumInvalidProducts);
    CHECK(cache->cachedProductForProductID("gem"));
}
