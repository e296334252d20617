#include "RewardTestSupport.h"

#include <thread>

#include "ads/core/signals/GADLocation.h"
#include "ads/mediation/GADMAdNetworkConfig.h"
#include "ads/mediation/GADMConfig.h"
#include "ads/mediation/GADMRewardBasedVideoAdConnectorDelegate.h"
#include "MediationTestSupport.h"

using namespace rewardtest;
using ruzave::GADMRewardBasedVideoAdNetworkConnector;

namespace {

// The ad's side of the connector, recorded.
struct Listener : ruzave::GADMRewardBasedVideoAdConnectorDelegate {
    std::vector<std::string> calls;
    void connectorDidSetUpRewardBasedVideoAd(GADMRewardBasedVideoAdNetworkConnector&) override { calls.push_back("setup"); }
    void connectorDidFailToSetUpRewardBasedVideoAdWithError(GADMRewardBasedVideoAdNetworkConnector&,
                                                            const platform::Error& e) override {
        calls.push_back("setup-failed " + std::to_string(e.code) + " " + e.description);
    }
    void connectorDidReceiveRewardBasedVideoAd(GADMRewardBasedVideoAdNetworkConnector&) override { calls.push_back("received"); }
    void connectorDidFailToReceiveRewardBasedVideoAdWithError(GADMRewardBasedVideoAdNetworkConnector&,
                                                              const platform::Error& e) override {
        calls.push_back("failed " + std::to_string(e.code));
    }
    void connectorDidReceiveClick(GADMRewardBasedVideoAdNetworkConnector&) override { calls.push_back("click"); }
    void connectorDidRewardUserWithReward(GADMRewardBasedVideoAdNetworkConnector&,
                                          const std::shared_ptr<ruzave::GADAdReward>& r) override {
        calls.push_back(r ? "reward " + r->type() : "reward none");
    }
};

std::shared_ptr<ruzave::GADMAdNetworkConfig> networkConfig(const std::string& json) {
    auto v = platform::parseJSON(json);
    REQUIRE(v);
    return ruzave::GADMAdNetworkConfig::initWithDictionary(*v);
}

std::shared_ptr<ruzave::GADMConfig> mediationConfig() {
    return ruzave::GADMConfig::initWithAppKey(std::nullopt, platform::parseJSON(answer(network("1", kRewardA))));
}

struct ConnectorFixture : Fixture {
    std::shared_ptr<Listener> listener = std::make_shared<Listener>();
    std::shared_ptr<GADMRewardBasedVideoAdNetworkConnector> connector = GADMRewardBasedVideoAdNetworkConnector::init();
    ConnectorFixture() {
        mediationtest::registerAdapters();
        connector->setDelegate(listener);
        connector->setMediationConfig(mediationConfig());
    }
};

} // namespace

TEST_CASE_FIXTURE(ConnectorFixture, "GADMRewardBasedVideoAdNetworkConnector: set-up fails for a missing network or class or a class of another kind") {
    connector->setUpAdapterWithUserID(std::string("u"));
    connector->setAdNetworkConfig(networkConfig(R"({"id":"1"})"));
    connector->setUpAdapterWithUserID(std::string("u"));
    CHECK(listener->calls == std::vector<std::string>{"setup-failed 7 No network config to initialize adapter.",
                                                      "setup-failed 8 Adapter class is empty."});

    // A banner and interstitial adapter is no reward video adapter.
    auto other = GADMRewardBasedVideoAdNetworkConnector::init();
    other->setDelegate(listener);
    other->setAdNetworkConfig(networkConfig(mediationtest::network("2", mediationtest::kAdapterB)));
    REQUIRE(other->adapterClassName() == mediationtest::kAdapterB);
    other->setUpAdapterWithUserID(std::string("u"));
    CHECK(listener->calls.back() ==
          "setup-failed 8 Adapter class doesn't conform to protocol GADMRewardBasedVideoAdNetworkAdapter.");
    CHECK_FALSE(other->adapter());

    // A reward adapter is made once and set up each time it is asked.
    auto good = GADMRewardBasedVideoAdNetworkConnector::init();
    good->setDelegate(listener);
    good->setAdNetworkConfig(networkConfig(network("3", kRewardA)));
    good->setUpAdapterWithUserID(std::string("u1"));
    auto made = good->adapter();
    REQUIRE(made);
    good->setUpAdapterWithUserID(std::nullopt);
    CHECK(good->adapter() == made);
    CHECK(Script::log() == std::vector<std::string>{kRewardA + std::string(" setup u1"),
                                                    kRewardA + std::string(" setup -")});
    CHECK(listener->calls.back() == "setup");
}

TEST_CASE_FIXTURE(ConnectorFixture, "GADMRewardBasedVideoAdNetworkConnector: the first network's class stays and the adapter reads the connector's own request") {
    connector->setAdNetworkConfig(networkConfig(network(
        "1", kRewardA, R"(,"data":{"pubid":"pub-1","gwhirl_share_location":"1","key":"v"})")));
    connector->setAdNetworkConfig(networkConfig(network("2", kRewardB, R"(,"data":{"pubid":"pub-2"})")));
    CHECK(connector->adapterClassName() == kRewardA);
    CHECK(connector->publisherId() == std::optional<std::string>("pub-1"));
    CHECK(connector->isLocationShared());
    CHECK(connector->credentials() == platform::parseJSON(R"({"pubid":"pub-1","key":"v"})").value());
    // Another network of the same class replaces it.
    connector->setAdNetworkConfig(networkConfig(network("3", kRewardA, R"(,"data":{"pubid":"pub-3"})")));
    CHECK(connector->publisherId() == std::optional<std::string>("pub-3"));
    CHECK_FALSE(connector->isLocationShared());
    connector->setAdNetworkConfig(networkConfig(network(
        "1", kRewardA, R"(,"data":{"pubid":"pub-1","gwhirl_share_location":"1"})")));

    CHECK_FALSE(connector->userHasLocation());
    auto request = ruzave::GADRequest::request();
    request->setLocationWithDescription("Main Street");
    request->setGender(2);
    request->setKeywords(platform::Value::array({"k"}));
    connector->setRequest(request);
    request->setGender(1); // the connector keeps its copy
    CHECK(connector->userGender() == 2);
    // A location by description only still counts when sharing is on.
    CHECK(connector->userHasLocation());
    CHECK(connector->userLocationDescription() == std::optional<std::string>("Main Street"));
    CHECK(connector->userKeywords() == platform::Value::array({"k"}));

    connector->setUpAdapterWithUserID(std::nullopt);
    auto extras = ruzave::GADExtras::init();
    request->registerAdNetworkExtras(extras);
    connector->setRequest(request);
    CHECK(connector->networkExtras());
}

TEST_CASE_FIXTURE(ConnectorFixture, "GADMRewardBasedVideoAdNetworkConnector: screen events reach only the linked ad's publisher and each sends its pings") {
    connector->setAdNetworkConfig(networkConfig(network(
        "1", kRewardA,
        R"(,"video_start_urls":["https://ads.ruzave.example/vstart"],"video_complete_urls":["https://ads.ruzave.example/vdone"])")));
    connector->setUpAdapterWithUserID(std::nullopt);
    auto a = adapter(kRewardA);
    REQUIRE(a);
    auto c = a->connector();
    // Not linked: the publisher hears nothing, the ad still hears the load-time calls.
    a->play();
    CHECK(publisher->calls.empty());
    CHECK(listener->calls == std::vector<std::string>{"setup", "reward coins"});

    connector->setRewardBasedVideoAd(ad);
    a->play();
    CHECK(publisher->calls == std::vector<std::string>{"open", "start", "close"});
    CHECK_FALSE(connector->rewardBasedVideoAd()); // closing unlinks
    c->adapterDidGetAdClick(*a);
    c->adapterDidRewardUserWithReward(*a, nullptr);
    CHECK(listener->calls.back() == "reward none");
    CHECK(waitForPing("/vstart", 2));
    CHECK(waitForPing("/vdone", 3));
    // No network click list: the built-in click template, once per click.
    CHECK(waitForPing("/clk", 1));
    CHECK(listener->calls[listener->calls.size() - 2] == "click");

    // A network answering on a thread of its own is heard on the main thread.
    std::thread network([&] { a->fill(); });
    network.join();
    CHECK(listener->calls.back() == "reward none");
    runUntilIdle();
    CHECK(listener->calls.back() == "received");
}

TEST_CASE_FIXTURE(ConnectorFixture,
                  "GADMRewardBasedVideoAdNetworkConnector: a fill or failure its adapter spoke on its "
                  "own thread before the next request answers nothing") {
    connector->setAdNetworkConfig(networkConfig(network("1", kRewardA)));
    connector->setUpAdapterWithUserID(std::nullopt);
    auto a = adapter(kRewardA);
    REQUIRE(a);
    for (bool fill : {true, false}) {
        CAPTURE(fill);
        connector->requestRewardBasedVideoAd();
        runUntilIdle();
        listener->calls.clear();
        // Spoken for that request on the network's thread, and reaching the main thread only after the
        // next request has been made.
        std::thread late([&] { fill ? a->fill() : a->fail(); });
        late.join();
        connector->requestRewardBasedVideoAd();
        runUntilIdle();
        CHECK(listener->calls.empty());
        // The answer to the request made now is heard.
        std::thread answer([&] { a->fail(); });
        answer.join();
        runUntilIdle();
        CHECK(listener->calls == std::vector<std::string>{"failed 1"});
    }
}
