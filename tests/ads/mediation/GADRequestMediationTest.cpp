#include "MediationTestSupport.h"

#include "ads/core/public/GADExtras.h"
#include "ads/core/signals/GADDevice.h"
#include "ads/core/signals/GADLocation.h"
#include "ads/mediation/GADCustomEventExtras.h"
#include "ads/mediation/GADMConfig.h"
#include "ads/mediation/GADRequest+Mediation.h"

using namespace mediationtest;
using ruzave::GADRequest;

namespace {

struct RequestFixture : Fixture {
    // Gives the slot `request` as its current one, then a mediation response whose networks stay silent.
    std::shared_ptr<ruzave::GADMAdNetworkConnector> connectorFor(const std::shared_ptr<GADRequest>& request,
                                                                 const std::string& body) {
        ruzave::GADSlot::setAdURLBuilder([](const std::shared_ptr<ruzave::GADSlot>&) {});
        slot->loadRequest(request);
        slot->cancelPendingActions();
        mediate(body);
        return slot->mediationManager()->requestingConnector();
    }
    ~RequestFixture() { ruzave::GADSlot::setAdURLBuilder(nullptr); }
};

std::shared_ptr<ruzave::GADExtras> extrasOf(const GADRequest& request) {
    return std::dynamic_pointer_cast<ruzave::GADExtras>(request.adNetworkExtrasFor("GADExtras"));
}

} // namespace

TEST_CASE_FIXTURE(RequestFixture, "GADRequest: an adapter's request carries the connector's targeting") {
    auto publisher = GADRequest::request();
    publisher->setLocationWithLatitude(48.5f, 9.25f, 30.0f);
    publisher->setGender(2);
    publisher->setBirthday(86400.0 * 365);
    publisher->setKeywords(platform::Value{"a", "b"});
    publisher->tagForChildDirectedTreatment(false);
    publisher->setRequestAgent(std::string("agent/1"));
    const std::string device = ruzave::GADDevice::sharedInstance()->deviceIdentifier();
    publisher->setTestDevices(platform::Value{device, "Simulator"});
    auto connector = connectorFor(publisher, R"({"ad_networks":[{"id":"E","adapters":["TestAdapterE"],
                                                 "data":{"gwhirl_share_location":"1"}}]})");
    REQUIRE(connector);
    REQUIRE(connector->userHasLocation());

    auto request = ruzave::requestWithConnector(connector, connector->adapter());
    REQUIRE(request);
    CHECK(request != slot->request());
    CHECK(request->testDevices() == platform::Value{"Simulator", "Simulator", device});
    CHECK(request->isATestDevice());
    CHECK(request->childDirectedTreatment() == std::optional<bool>(false));
    REQUIRE(request->location());
    CHECK(request->location()->isPreciseLocation());
    CHECK(request->location()->latitude() == doctest::Approx(48.5f));
    CHECK(request->location()->longitude() == doctest::Approx(9.25f));
    CHECK(request->location()->accuracy() == doctest::Approx(30.0f));
    CHECK(request->gender() == 2);
    CHECK(request->birthday() == std::optional<double>(86400.0 * 365));
    CHECK(request->keywords() == platform::Value{"a", "b"});
    CHECK(request->requestAgent() == std::optional<std::string>("agent/1"));
}

TEST_CASE_FIXTURE(RequestFixture,
                  "GADRequest: an adapter's request shares no location the network may not have") {
    auto publisher = GADRequest::request();
    publisher->setLocationWithDescription("Stuttgart");
    SUBCASE("sharing on, only a description") {
        auto connector = connectorFor(publisher, R"({"ad_networks":[{"id":"E","adapters":["TestAdapterE"],
                                                     "data":{"gwhirl_share_location":"1"}}]})");
        REQUIRE(connector);
        auto request = ruzave::requestWithConnector(connector, connector->adapter());
        REQUIRE(request->location());
        CHECK_FALSE(request->location()->isPreciseLocation());
        CHECK(request->location()->locationDescription() == "Stuttgart");
    }
    SUBCASE("sharing off") {
        auto connector =
            connectorFor(publisher, R"({"ad_networks":[{"id":"E","adapters":["TestAdapterE"]}]})");
        REQUIRE(connector);
        auto request = ruzave::requestWithConnector(connector, connector->adapter());
        CHECK(request->location() == nullptr);
        CHECK_FALSE(request->testDevices().has_value());
        CHECK_FALSE(request->childDirectedTreatment().has_value());
    }
}

TEST_CASE_FIXTURE(RequestFixture,
                  "GADRequest: mediation extras go into a new object and leave the publisher's as it was") {
    auto publisher = GADRequest::request();
    auto extras = ruzave::GADExtras::init();
    const platform::Value original{
        {"_mediationRequestUrl", "https://ads.ruzave.example/m?x=1"}, {"p", "1"}, {"gw", "0"}};
    extras->setAdditionalParameters(original);
    publisher->registerAdNetworkExtras(extras);
    auto connector = connectorFor(publisher, R"({"ad_networks":[{"id":"E","adapters":["TestAdapterE"],
        "data":{"pubid":"pub","mad_hac":"h1"},"extras":{"k":"v","n":5},"ad":{"html":"<b>"}}]})");
    REQUIRE(connector);

    auto request = ruzave::requestWithConnector(connector, connector->adapter());
    auto merged = extrasOf(*request);
    REQUIRE(merged);
    CHECK(merged != extras);
    CHECK(merged->additionalParameters() ==
          platform::Value{{"_mediationRequestUrl", "https://ads.ruzave.example/m?x=1"},
                          {"p", "1"},
                          {"gw", "1"},
                          {"_requestUrl", "https://ads.ruzave.example/m?x=1"},
                          {"mad_hac", "h1"},
                          {"k", "v"},
                          {"_ad", {{"html", "<b>"}}}});
    CHECK(request->parameters()["extras"] == merged->additionalParameters());
    // The publisher's object and the slot's request are untouched, so a second adapter request starts
    // from the same parameters.
    CHECK(extras->additionalParameters() == original);
    CHECK(extrasOf(*slot->request()) == extras);
    auto again = ruzave::requestWithConnector(connector, connector->adapter());
    CHECK(extrasOf(*again)->additionalParameters() == merged->additionalParameters());
    CHECK(extrasOf(*again) != merged);
}

TEST_CASE_FIXTURE(RequestFixture, "GADRequest: without publisher extras the request still says gw 1") {
    auto connector =
        connectorFor(GADRequest::request(), R"({"ad_networks":[)" + network("E", kAdapterE) + "]}");
    REQUIRE(connector);
    auto request = ruzave::requestWithConnector(connector, connector->adapter());
    REQUIRE(extrasOf(*request));
    CHECK(extrasOf(*request)->additionalParameters() == platform::Value{{"gw", "1"}});
}

TEST_CASE_FIXTURE(RequestFixture, "GADRequest: extras of another class stay registered and unchanged") {
    auto publisher = GADRequest::request();
    auto custom = ruzave::GADCustomEventExtras::init();
    custom->setExtras(platform::Value{{"k", "v"}}, std::string("l"));
    publisher->registerAdNetworkExtras(custom);
    ruzave::GADSlot::setAdURLBuilder([](const std::shared_ptr<ruzave::GADSlot>&) {});
    slot->loadRequest(publisher);
    slot->cancelPendingActions();
    // A custom-event network's connector, attached to the slot's manager without asking for an ad.
    auto c = ruzave::GADMConfig::initWithAppKey(
        std::string("unit-1"),
        platform::parseJSON(R"({"ad_networks":[{"id":"C","adapters":["GADMAdapterCustomEvents"]}]})"));
    REQUIRE(c);
    auto connector = ruzave::GADMAdNetworkConnector::initWithClassName(
        ruzave::GADMAdNetworkConnector::kBannerClassName, c, c->adNetworkConfigs()[0]);
    connector->setUpAdapter();
    connector->setAdManager(slot->mediationManager());
    REQUIRE(connector->networkExtras() == custom);

    auto request = ruzave::requestWithConnector(connector, connector->adapter());
    CHECK(request->adNetworkExtrasFor("GADCustomEventExtras") == custom);
    CHECK(custom->allExtras() == std::map<std::string, platform::Value>{{"l", platform::Value{{"k", "v"}}}});
    REQUIRE(extrasOf(*request));
    CHECK(extrasOf(*request)->additionalParameters() == platform::Value{{"gw", "1"}});
    CHECK(request->privateMediationExtras()->at("mcan") == "GADMAdapterCustomEvents");
}

TEST_CASE_FIXTURE(RequestFixture, "GADRequest: the adapter list names every network and the asking adapter") {
    auto connector = connectorFor(GADRequest::request(), R"({"ad_networks":[
        {"id":"A","adapters":["Missing","TestAdapterE"]},{"id":"B"},{"id":"C","adapters":[7,"TestAdapterC"]}]})");
    REQUIRE(connector);
    REQUIRE(connector->adapter());
    CHECK(connector->adapter()->className() == kAdapterE);
    auto request = ruzave::requestWithConnector(connector, connector->adapter());
    REQUIRE(request->privateMediationExtras());
    CHECK(*request->privateMediationExtras() ==
          platform::Value{{"man", {{"Missing", "TestAdapterE"}, nullptr, {7, "TestAdapterC"}}},
                          {"mcan", "TestAdapterE"}});
}

TEST_CASE_FIXTURE(RequestFixture,
                  "GADRequest: the extras steps do nothing without a connector or an adapter") {
    auto connector =
        connectorFor(GADRequest::request(), R"({"ad_networks":[)" + network("E", kAdapterE) + "]}");
    REQUIRE(connector);
    auto request = GADRequest::request();
    ruzave::configureNetworkExtrasWithConnector(*request, connector, nullptr);
    ruzave::configureNetworkExtrasWithConnector(*request, nullptr, connector->adapter());
    ruzave::addAdapterListWithConnector(*request, connector, nullptr);
    ruzave::addAdapterListWithConnector(*request, nullptr, connector->adapter());
    CHECK(extrasOf(*request) == nullptr);
    CHECK_FALSE(request->privateMediationExtras().has_value());

    auto plain = ruzave::requestWithConnector(nullptr, nullptr);
    REQUIRE(plain);
    CHECK(extrasOf(*plain) == nullptr);
    CHECK_FALSE(plain->privateMediationExtras().has_value());
    CHECK_FALSE(plain->testDevices().has_value());
}
