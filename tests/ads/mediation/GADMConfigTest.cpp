#include "MediationTestSupport.h"

#include "ads/mediation/GADMAdNetworkConfig.h"
#include "ads/mediation/GADMConfig.h"

using ruzave::GADMConfig;
using namespace mediationtest;

namespace {
std::shared_ptr<GADMConfig> parse(const std::string& json, platform::Error* error = nullptr) {
    return GADMConfig::initWithAppKey(std::string("unit"), platform::parseJSON(json), error);
}
} // namespace

TEST_CASE("GADMConfig: settings give refresh, timeout and animation, with their limits") {
    auto c = parse(R"({"settings":{"refresh":"29999.5","ad_network_timeout_millis":2500,"ad_transition_anim":3},
                       "ad_networks":[]})");
    REQUIRE(c);
    CHECK(c->refreshInterval() == doctest::Approx(29999.5));
    CHECK(c->adNetworkTimeout() == doctest::Approx(2.5));
    CHECK(c->bannerAnimationType() == 3);
    CHECK(c->appKey() == std::optional<std::string>("unit"));

    for (const char* refresh : {"30000", "45000"}) {
        auto d = parse(std::string(R"({"settings":{"refresh":)") + refresh + R"(},"ad_networks":[]})");
        CHECK(d->refreshInterval() == 0);
    }
    for (const char* anim : {"9", "-1"}) {
        auto d = parse(std::string(R"({"settings":{"ad_transition_anim":)") + anim + R"(},"ad_networks":[]})");
        CHECK(d->bannerAnimationType() == 8);
    }
    auto defaults = parse(R"({"ad_networks":[]})");
    CHECK(defaults->adNetworkTimeout() == 10.0);
    CHECK(defaults->bannerAnimationType() == 8);
    CHECK_FALSE(defaults->noFillURLs().has_value());
    // Its description: the object, then the settings line, then the networks.
    const std::string text = defaults->description();
    CHECK(text.rfind("<GADMConfig: ", 0) == 0);
    CHECK(text.find(">:\nqdata:(null) adTypeString:") != std::string::npos);
    CHECK(text.find(" refresh:0.000000 transition:8 ad_networks:") != std::string::npos);
}

TEST_CASE("GADMConfig: a timeout that is not a positive finite number keeps 10 seconds") {
    for (const char* bad : {"0", "-5", "\"abc\"", "\"1e400\"", "{}"}) {
        auto c = parse(std::string(R"({"settings":{"ad_network_timeout_millis":)") + bad + R"(},"ad_networks":[]})");
        REQUIRE(c);
        CHECK(c->adNetworkTimeout() == 10.0);
    }
}

TEST_CASE("GADMConfig: settings of the wrong kind are ignored") {
    auto c = parse(R"({"settings":{"imp_urls":"x","click_urls":{},"nofill_urls":[1],"refresh":[]},
                       "qdata":5,"ad_networks":[]})");
    REQUIRE(c);
    CHECK_FALSE(c->impressionURLs().has_value());
    CHECK_FALSE(c->clickURLs().has_value());
    CHECK(c->noFillURLs().has_value());
    CHECK(c->refreshInterval() == 0);
    CHECK_FALSE(c->qdata().has_value());
    CHECK(parse(R"({"settings":"x","ad_networks":[]})"));
}

TEST_CASE("GADMConfig: ad types come from an exact, case-sensitive table") {
    CHECK(GADMConfig::adTypeFromString(std::string("interstitial"))->isInterstitial());
    auto mrec = GADMConfig::adTypeFromString(std::string("mrec"));
    CHECK(ruzave::GADAdSizeEqualToSize(mrec->adSize(), ruzave::kGADAdSizeMediumRectangle));
    auto capital = GADMConfig::adTypeFromString(std::string("Banner"));
    CHECK_FALSE(capital->isValid());
    CHECK_FALSE(GADMConfig::adTypeFromString(std::nullopt)->isValid());
    auto leaderboard = GADMConfig::peekAdTypeFromConfig(platform::Value{{"ad_type", "leaderboard"}});
    CHECK(ruzave::GADAdSizeEqualToSize(leaderboard->adSize(), ruzave::kGADAdSizeLeaderboard));
}

TEST_CASE("GADMConfig: a document without a network array fails with code 7") {
    for (const char* json : {R"({})", R"({"ad_networks":{}})", R"([1,2])"}) {
        platform::Error error;
        CHECK_FALSE(parse(json, &error));
        CHECK(error.code == ruzave::GADRequestErrorInvalidMediationResponse);
    }
    platform::Error error;
    CHECK_FALSE(GADMConfig::initWithAppKey(std::string("u"), std::nullopt, &error));
    CHECK(error.code == ruzave::GADRequestErrorInvalidMediationResponse);
}

TEST_CASE("GADMConfig: elements that are no object are skipped and a bad network id fails the whole") {
    registerAdapters();
    auto c = parse(std::string(R"({"ad_networks":["str",)") + network("N", kAdapterC) + "]}");
    REQUIRE(c);
    REQUIRE(c->adNetworkConfigs().size() == 1);
    CHECK(c->adNetworkConfigs()[0]->networkID() == "N");

    platform::Error error;
    CHECK_FALSE(parse(std::string(R"({"ad_networks":[)") + network("N", kAdapterC) + R"(,{"id":[1]}]})", &error));
    CHECK(error.code == ruzave::GADRequestErrorInvalidMediationResponse);
    CHECK(error.description ==
          "The DoRur Mediation response was invalid: An ad network config has an invalid network ID.");
}

TEST_CASE("GADMConfig: a network without a usable adapter stays in the list") {
    auto c = parse(R"({"ad_networks":[{"id":"x","adapters":[]},{"id":"y"}]})");
    REQUIRE(c);
    REQUIRE(c->adNetworkConfigs().size() == 2);
    CHECK_FALSE(c->adNetworkConfigs()[0]->adapterClass().has_value());
}
