#include <doctest/doctest.h>

#include <cctype>

#include "platform/foundation/ClassRegistry.h"
#include "platform/services/AdvertisingIdentifierManager.h"

using platform::AdvertisingIdentifierManager;

TEST_CASE("AdvertisingIdentifierManager: gives one stable upper-case UUID while the service is registered") {
    REQUIRE(platform::ClassRegistry::hasClass("AdvertisingIdentifierManager"));
    auto manager = AdvertisingIdentifierManager::sharedManager();
    REQUIRE(manager);
    CHECK(AdvertisingIdentifierManager::sharedManager() == manager);
    auto id = manager->advertisingIdentifier();
    REQUIRE(id.size() == 36);
    for (std::size_t i : {8u, 13u, 18u, 23u}) CHECK(id[i] == '-');
    CHECK(id[14] == '4');
    for (char c : id) CHECK((c == '-' || std::isdigit(static_cast<unsigned char>(c)) || (c >= 'A' && c <= 'F')));
    CHECK(manager->advertisingIdentifier() == id);
    CHECK(manager->isAdvertisingTrackingEnabled());
    manager->setAdvertisingTrackingEnabledForTesting(false);
    CHECK_FALSE(AdvertisingIdentifierManager::sharedManager()->isAdvertisingTrackingEnabled());
}

TEST_CASE("AdvertisingIdentifierManager: an absent service gives no manager, and returns when registered again") {
    auto before = AdvertisingIdentifierManager::sharedManager()->advertisingIdentifier();
    REQUIRE(platform::ClassRegistry::unregisterClass("AdvertisingIdentifierManager"));
    CHECK_FALSE(platform::ClassRegistry::hasClass("AdvertisingIdentifierManager"));
    CHECK(AdvertisingIdentifierManager::sharedManager() == nullptr);
    AdvertisingIdentifierManager::registerClass();
    auto again = AdvertisingIdentifierManager::sharedManager();
    REQUIRE(again);
    CHECK(again->advertisingIdentifier() == before);
}
