#include "../../mediation/MediationTestSupport.h"
#include "SlotTestSupport.h"

#include "ads/mediation/GADMConfig.h"
#include "platform/base/Log.h"

using namespace mediationtest;

TEST_CASE_FIXTURE(Fixture, "GADSlot: a mediation body that is not a JSON object fails once with code 7") {
    std::string body;
    SUBCASE("an array") {
        body = R"([{"ad_networks":[]}])";
    }
    SUBCASE("no JSON at all") {
        body = "<html>not json</html>";
    }
    SUBCASE("empty") {
        body = "";
    }
    Script::behaviours()[kAdapterC] = Behaviour::FillNow;
    mediate(body);
    REQUIRE(owner->failures.size() == 1);
    CHECK(owner->failures[0].code == ruzave::GADRequestErrorInvalidMediationResponse);
    CHECK(Script::log().empty());
    CHECK_FALSE(slot->mediationManager()->requestInProgress());
    // No waterfall ran, so there is no no-fill report either.
    runUntilIdle();
    CHECK(server->requestCount("/nofill") == 0);
}

TEST_CASE_FIXTURE(Fixture, "GADSlot: an interstitial slot refuses a banner configuration with code 10") {
    owner->connectorClass = ruzave::GADMAdNetworkConnector::kInterstitialClassName;
    slot->setAdType(ruzave::GADAdType::interstitialAdType(), false);
    Script::behaviours()[kAdapterC] = Behaviour::FillNow;
    mediate(R"({"ad_type":"banner","ad_networks":[)" + network("C", kAdapterC) + "]}");
    REQUIRE(owner->failures.size() == 1);
    CHECK(owner->failures[0].code == ruzave::GADRequestErrorIncompatibleAdType);
    CHECK(owner->failures[0].description.rfind(
              "Unable to request an interstitial when mediation configuration was for ", 0) == 0);
    CHECK(Script::log().empty());
}

TEST_CASE_FIXTURE(Fixture, "GADSlot: a custom size string picks the banner the waterfall runs for") {
    Script::behaviours()[kAdapterC] = Behaviour::Silent;
    auto ad = ruzave::GADAd::init();
    ad->setResponseType(ruzave::GADResponseTypeMediation);
    ad->setAdHTML(R"({"ad_networks":[)" + network("C", kAdapterC) + "]}");
    ad->setCustomAdSizeString(std::string("300x250"));
    ad->setMediationDelegate(owner);
    slot->processMediationAdResponse(ad);
    auto manager = slot->mediationManager();
    REQUIRE(manager->requestInProgress());
    REQUIRE(manager->adType());
    CHECK(ruzave::GADAdSizeEqualToSize(manager->adType()->adSize(), ruzave::kGADAdSizeMediumRectangle));
    // The configuration named no type: it takes the one asked for.
    CHECK(ruzave::GADAdSizeEqualToSize(slot->mediationConfiguration()->adType()->adSize(),
                                       ruzave::kGADAdSizeMediumRectangle));
    CHECK(Script::log() == std::vector<std::string>{"TestAdapterC banner"});
}

TEST_CASE_FIXTURE(Fixture,
                  "GADSlot: a configuration for another banner size still runs for the slot's size") {
    Script::behaviours()[kAdapterC] = Behaviour::Silent;
    mediate(R"({"ad_type":"leaderboard","ad_networks":[)" + network("C", kAdapterC) + "]}");
    auto manager = slot->mediationManager();
    REQUIRE(manager->requestInProgress());
    CHECK(ruzave::GADAdSizeEqualToSize(manager->adType()->adSize(), ruzave::kGADAdSizeBanner));
    CHECK(owner->failures.empty());
    // While the network is asked, no class name is known.
    CHECK_FALSE(slot->adNetworkClassName().has_value());
}

TEST_CASE_FIXTURE(Fixture, "GADSlot: a configuration without an ad type takes the slot's banner with a warning") {
    Script::behaviours()[kAdapterC] = Behaviour::Silent;
    platform::LogCapture log;
    mediate(R"({"ad_networks":[)" + network("C", kAdapterC) + "]}");
    const std::string expected = "Warning: mediated ad type is unknown or invalid. Resetting type to " +
                                 slot->adType()->description() + ".";
    // The SDK writes its lines from its logging queue: read them once that queue has caught up.
    CHECK(slottest::logged(log, expected));
    CHECK(expected.find("kGADAdSizeBanner") != std::string::npos);
    auto manager = slot->mediationManager();
    REQUIRE(manager->requestInProgress());
    CHECK(ruzave::GADAdSizeEqualToSize(manager->adType()->adSize(), ruzave::kGADAdSizeBanner));
    CHECK(ruzave::GADAdSizeEqualToSize(slot->mediationConfiguration()->adType()->adSize(), ruzave::kGADAdSizeBanner));
    CHECK(owner->failures.empty());
}
