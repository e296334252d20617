#include <doctest/doctest.h>

#include "platform/foundation/NotificationCenter.h"
#include "platform/services/NetworkInfo.h"

using platform::NetworkInfo;

TEST_CASE("NetworkInfo: a radio change posts the notification once and every object reads the new value") {
    auto info = NetworkInfo::create();
    CHECK(info->currentRadioAccessTechnology() == std::string("CTRadioAccessTechnologyLTE"));
    auto center = platform::NotificationCenter::defaultCenter();
    std::vector<std::optional<std::string>> seen;
    auto token = center->addObserver(NetworkInfo::radioAccessTechnologyDidChangeNotification, nullptr, nullptr,
                                     [&](const platform::Notification&) { seen.push_back(info->currentRadioAccessTechnology()); });
    NetworkInfo::setRadioAccessTechnologyForTesting(std::string(NetworkInfo::technologyEdge));
    NetworkInfo::setRadioAccessTechnologyForTesting(std::string(NetworkInfo::technologyEdge)); // unchanged: silent
    NetworkInfo::setRadioAccessTechnologyForTesting(std::nullopt);
    REQUIRE(seen.size() == 2);
    CHECK(seen[0] == std::string("CTRadioAccessTechnologyEdge"));
    CHECK_FALSE(seen[1]);
    CHECK_FALSE(NetworkInfo::create()->currentRadioAccessTechnology());
    center->removeObserver(token);
}

TEST_CASE("NetworkInfo: the carrier can be set and removed") {
    auto info = NetworkInfo::create();
    REQUIRE(info->subscriberCellularProvider());
    NetworkInfo::setCarrierForTesting(platform::Carrier{"Orrin", "262", "01", "de", false});
    auto c = info->subscriberCellularProvider();
    REQUIRE(c);
    CHECK(c->mobileCountryCode == "262");
    CHECK(c->isoCountryCode == "de");
    CHECK_FALSE(c->allowsVOIP);
    NetworkInfo::setCarrierForTesting(std::nullopt);
    CHECK_FALSE(info->subscriberCellularProvider());
}
