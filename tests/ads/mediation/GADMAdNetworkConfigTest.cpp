#include "MediationTestSupport.h"

#include "ads/mediation/GADMAdNetworkConfig.h"

using ruzave::GADMAdNetworkConfig;
using namespace mediationtest;

TEST_CASE("GADMAdNetworkConfig: a numeric id becomes its decimal text, a missing one fails") {
    auto c = GADMAdNetworkConfig::initWithDictionary(platform::Value{{"id", 42}});
    REQUIRE(c);
    CHECK(c->networkID() == "42");
    platform::Error error;
    CHECK_FALSE(GADMAdNetworkConfig::initWithDictionary(platform::Value{{"data", platform::Value::object()}}, &error));
    CHECK(error.code == ruzave::GADRequestErrorInvalidMediationResponse);
    CHECK(error.description == "The DoRur Mediation response was invalid: An ad network config has no network ID.");
}

TEST_CASE("GADMAdNetworkConfig: the first current adapter is chosen and old ones are reported") {
    registerAdapters();
    auto dict = platform::parseJSON(
        R"({"id":"n","adapters":["Missing",7,"TestOldAdapter","TestAdapterC","TestAdapterB"],"allocation_id":"al"})");
    platform::Error error;
    auto c = GADMAdNetworkConfig::initWithDictionary(*dict, &error);
    REQUIRE(c);
    CHECK(c->adapterClass() == std::optional<std::string>(kAdapterC));
    CHECK(c->allocationID() == std::optional<std::string>("al"));
    CHECK(error.code == ruzave::GADRequestErrorAdapterNotFound);
    CHECK(error.description == "Ad network adapter TestOldAdapter implements an old API. Please update the adapter.");

    platform::Error onlyOld;
    auto d = GADMAdNetworkConfig::initWithDictionary(*platform::parseJSON(R"({"id":"n","adapters":["TestOldAdapter"]})"),
                                                     &onlyOld);
    REQUIRE(d);
    CHECK_FALSE(d->adapterClass().has_value());
    CHECK(onlyOld.description.find("No valid adapters found for this ad network.") != std::string::npos);

    platform::Error none;
    GADMAdNetworkConfig::initWithDictionary(*platform::parseJSON(R"({"id":"n","adapters":["Missing"]})"), &none);
    CHECK(none.description.rfind("Cannot find an ad network adapter with the name(s): [\"Missing\"].", 0) == 0);
}

TEST_CASE("GADMAdNetworkConfig: pubid is a string or a number, and values of the wrong kind are dropped") {
    auto c = GADMAdNetworkConfig::initWithDictionary(*platform::parseJSON(
        R"({"id":"n","data":{"pubid":123},"extras":"x","imp_urls":{},"clickurl":["a"],"allocation_id":3})"));
    REQUIRE(c);
    CHECK(c->publisherID() == std::optional<std::string>("123"));
    CHECK_FALSE(c->extras().has_value());
    CHECK_FALSE(c->impressionURLs().has_value());
    CHECK(c->clickURLs().has_value());
    CHECK_FALSE(c->allocationID().has_value());
    auto d = GADMAdNetworkConfig::initWithDictionary(*platform::parseJSON(R"({"id":"n","data":{"pubid":[1]}})"));
    CHECK_FALSE(d->publisherID().has_value());
    CHECK(d->description() == R"(networkID:n adapter:(null) data:{"pubid":[1]})");
}

TEST_CASE("GADMAdNetworkConfig: a JSON true or false id reads as the number 1 or 0") {
    auto yes = GADMAdNetworkConfig::initWithDictionary(platform::Value{{"id", true}});
    REQUIRE(yes);
    CHECK(yes->networkID() == "1");
    auto no = GADMAdNetworkConfig::initWithDictionary(platform::Value{{"id", false}});
    REQUIRE(no);
    CHECK(no->networkID() == "0");
    platform::Error error;
    CHECK_FALSE(GADMAdNetworkConfig::initWithDictionary(platform::Value{{"id", nullptr}}, &error));
    CHECK(error.description.find("invalid network ID") != std::string::npos);
}
