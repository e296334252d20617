#include "MediationTestSupport.h"

#include <algorithm>

#include "ads/core/public/GADBannerView.h"
#include "ads/core/public/GADInternalErrorAdditions.h"
#include "ads/core/public/GADRequest.h"
#include "ads/core/telemetry/GADSlotStatistics.h"
#include "ads/mediation/GADMAdNetworkConfig.h"
#include "ads/mediation/GADMAdNetworkConnectorBanner.h"
#include "ads/mediation/GADMAdNetworkConnectorInterstitial.h"
#include "ads/mediation/GADMConfig.h"
#include "ads/render/GADBannerAdViewDelegate.h"
#include "ads/render/GADOpener.h"
#include "platform/foundation/NotificationCenter.h"
#include "platform/ui/ViewController.h"
#include "tests/ads/core/slot/SlotTestSupport.h"

using namespace mediationtest;
using ruzave::GADMAdNetworkConnector;

namespace {

std::shared_ptr<ruzave::GADMConfig> config(const std::string& networkJSON) {
    return ruzave::GADMConfig::initWithAppKey(std::string("unit-1"),
                                              platform::parseJSON(R"({"ad_networks":[)" + networkJSON + "]}"));
}

struct EventOwner : Owner, ruzave::GADSlotAdEventDelegate {
    std::vector<std::string> events;
    void slotWillPresentScreen(ruzave::GADSlot&) override { events.push_back("will-present"); }
    void slotWillDismissScreen(ruzave::GADSlot&) override { events.push_back("will-dismiss"); }
    void slotDidDismissScreen(ruzave::GADSlot&) override { events.push_back("did-dismiss"); }
    void slotWillLeaveApplication(ruzave::GADSlot&) override { events.push_back("leave"); }
};

} // namespace

TEST_CASE("GADMAdNetworkConnector: location is shared only when the credentials say 1") {
    registerAdapters();
    auto c = config(R"({"id":"n","adapters":["TestAdapterC"],"data":{"pubid":"a","gwhirl_share_location":"1"}})");
    auto connector = GADMAdNetworkConnector::initWithClassName(GADMAdNetworkConnector::kBannerClassName, c,
                                                               c->adNetworkConfigs()[0]);
    REQUIRE(connector);
    CHECK(connector->credentials() == platform::Value{{"pubid", "a"}});
    CHECK(connector->isLocationShared());
    CHECK(connector->publisherId() == std::optional<std::string>("a"));
    // Detached from any slot: the targeting getters answer nothing.
    CHECK_FALSE(connector->userHasLocation());
    CHECK(connector->userLatitude() == 0);
    CHECK_FALSE(connector->userLocationDescription().has_value());

    auto d = config(R"({"id":"n","adapters":["TestAdapterC"],"data":{"gwhirl_share_location":"0"}})");
    auto other = GADMAdNetworkConnector::initWithConfig(d, d->adNetworkConfigs()[0]);
    CHECK_FALSE(other->isLocationShared());
    CHECK(GADMAdNetworkConnector::initWithConfig(nullptr, nullptr) == nullptr);
    CHECK(GADMAdNetworkConnector::initWithClassName("Nope", d, d->adNetworkConfigs()[0]) == nullptr);
}

TEST_CASE_FIXTURE(Fixture, "GADMAdNetworkConnector: targeting comes from the slot's request") {
    auto request = ruzave::GADRequest::request();
    request->setLocationWithLatitude(48.5f, 9.25f, 30.0f);
    request->setGender(2);
    request->tagForChildDirectedTreatment(true);
    request->setRequestAgent(std::string("agent"));
    ruzave::GADSlot::setAdURLBuilder([](const std::shared_ptr<ruzave::GADSlot>&) {});
    slot->loadRequest(request);
    slot->cancelPendingActions();
    Script::behaviours()[kAdapterC] = Behaviour::Silent;
    mediate(R"({"ad_networks":[{"id":"n","adapters":["TestAdapterC"],"data":{"gwhirl_share_location":"1"}}]})");
    auto connector = slot->mediationManager()->requestingConnector();
    REQUIRE(connector);
    REQUIRE(connector->slot() == slot);
    CHECK(connector->userHasLocation() == slot->request()->location()->isPreciseLocation());
    if (connector->userHasLocation()) CHECK(connector->userLatitude() == doctest::Approx(48.5f));
    CHECK(connector->userGender() == 2);
    CHECK(connector->childDirectedTreatment() == std::optional<bool>(true));
    CHECK(connector->requestAgent() == std::optional<std::string>("agent"));
    CHECK(connector->adapterVersion() == "adapter: TestAdapterC, version: 1.0");
    CHECK(connector->networkExtras() == nullptr);
}

TEST_CASE_FIXTURE(Fixture, "GADMAdNetworkConnector: a network not sharing location sees none of it") {
    std::string data;
    SUBCASE("share flag 0") {
        data = R"(,"data":{"pubid":"a","gwhirl_share_location":"0"})";
    }
    SUBCASE("no share flag") {
        data = R"(,"data":{"pubid":"a"})";
    }
    SUBCASE("share flag 1 as a number") {
        data = R"(,"data":{"pubid":"a","gwhirl_share_location":1})";
    }
    auto request = ruzave::GADRequest::request();
    request->setLocationWithLatitude(48.5f, 9.25f, 30.0f);
    request->location()->setLocationDescription(std::string("Ulm"));
    ruzave::GADSlot::setAdURLBuilder([](const std::shared_ptr<ruzave::GADSlot>&) {});
    slot->loadRequest(request);
    slot->cancelPendingActions();
    Script::behaviours()[kAdapterC] = Behaviour::Silent;
    mediate(R"({"ad_networks":[{"id":"n","adapters":["TestAdapterC"])" + data + "}]}");
    auto connector = slot->mediationManager()->requestingConnector();
    REQUIRE(connector);
    REQUIRE(connector->slot() == slot);
    CHECK_FALSE(connector->isLocationShared());
    CHECK_FALSE(connector->userHasLocation());
    CHECK(connector->userLatitude() == 0);
    CHECK(connector->userLongitude() == 0);
    CHECK(connector->userLocationAccuracyInMeters() == 0);
    CHECK_FALSE(connector->userLocationDescription().has_value());
    // The request's location itself is still what the request holds.
    CHECK(connector->userLocation() == slot->request()->location());
    CHECK(connector->credentials() == platform::Value{{"pubid", "a"}});
}

TEST_CASE_FIXTURE(Fixture, "GADMAdNetworkConnector: a banner connector refuses interstitials and invalid sizes") {
    auto c = config(network("n", kAdapterC));
    auto connector = GADMAdNetworkConnector::initWithClassName(GADMAdNetworkConnector::kBannerClassName, c,
                                                               c->adNetworkConfigs()[0]);
    connector->setUpAdapter();
    connector->getAdFromAdapterWithType(ruzave::GADAdType::interstitialAdType());
    connector->getAdFromAdapterWithType(ruzave::GADAdType::bannerAdTypeForSize(ruzave::kGADAdSizeInvalid));
    // Neither reached the adapter.
    CHECK(Script::log().empty());
    auto interstitial = GADMAdNetworkConnector::initWithClassName(GADMAdNetworkConnector::kInterstitialClassName, c,
                                                                  c->adNetworkConfigs()[0]);
    interstitial->setUpAdapter();
    interstitial->getAdFromAdapterWithType(ruzave::GADAdType::bannerAdTypeForSize(ruzave::kGADAdSizeBanner));
    CHECK(Script::log().empty());
}

TEST_CASE_FIXTURE(Fixture, "GADMAdNetworkConnector: a banner pings one click per view and relays screen events") {
    auto events = std::make_shared<EventOwner>();
    slot->setSlotDelegate(events);
    slot->setAdLoadDelegate(events);
    slot->setAdEventDelegate(events);
    owner = events;
    Script::behaviours()[kAdapterC] = Behaviour::FillNow;
    int presents = 0;
    auto center = platform::NotificationCenter::defaultCenter();
    auto token = center->addObserver(ruzave::GADSlot::kAdModalViewControllerWillPresentFullScreen, nullptr, nullptr,
                                     [&](const platform::Notification&) { ++presents; });
    mediate(R"({"settings":{"click_urls":["https://ping.ruzave.example/clk?n=@gw_adnetid@&r=@gw_adnetrefresh@"]},
                "ad_networks":[)" + network("C", kAdapterC) + "]}");
    auto connector = slot->mediationManager()->receivedConnector();
    REQUIRE(connector);
    auto& adapter = *connector->adapter();
    connector->adapterWillPresentFullScreenModal(adapter);
    connector->adapterDidGetAdClick(adapter);
    connector->adapterDidDismissFullScreenModal(adapter);
    connector->adapterWillLeaveApplication(adapter);
    CHECK(presents == 1);
    CHECK(events->events == std::vector<std::string>{"will-present", "did-dismiss", "leave"});
    REQUIRE(waitForPing("/clk"));
    runUntilIdle();
    CHECK(server->requestCount("/clk") == 1);
    CHECK(pingParam("/clk", "n") == "C");
    CHECK(pingParam("/clk", "r") == "0");
    // A new view re-arms the click ping.
    connector->adapterDidReceiveAdView(adapter, platform::View::create());
    connector->adapterDidGetAdClick(adapter);
    CHECK(waitForPing("/clk", 2));
    CHECK(pingParam("/clk", "r", 1) == "1");
    center->removeObserver(token);
}

TEST_CASE_FIXTURE(Fixture, "GADMAdNetworkConnector: every banner view through one connector pings an impression") {
    Script::behaviours()[kAdapterC] = Behaviour::FillNow;
    mediate(R"({"ad_networks":[)" + network("C", kAdapterC) + "]}");
    auto connector = slot->mediationManager()->receivedConnector();
    REQUIRE(connector);
    CHECK_FALSE(connector->didNetworkRefresh());
    auto& adapter = *connector->adapter();
    connector->adapterDidReceiveAdView(adapter, platform::View::create());
    CHECK(connector->didNetworkRefresh());
    connector->adapterDidReceiveAdView(adapter, platform::View::create());
    CHECK(connector->didNetworkRefresh());
    CHECK(slot->mediationManager()->receivedConnector() == connector);
    // Without templates each view pings the built-in impression template once.
    REQUIRE(waitForPing("/imp", 3));
    runUntilIdle();
    CHECK(server->requestCount("/imp") == 3);
    CHECK(pingParam("/imp", "ad_network_id") == "C");
    std::vector<std::string> refresh;
    for (std::size_t i = 0; i < 3; ++i) refresh.push_back(pingParam("/imp", "nr", i));
    std::sort(refresh.begin(), refresh.end());
    CHECK(refresh == std::vector<std::string>{"0", "1", "1"});
}

TEST_CASE_FIXTURE(Fixture, "GADMAdNetworkConnector: an interstitial dismissed without will-dismiss still sends it") {
    auto events = std::make_shared<EventOwner>();
    events->connectorClass = GADMAdNetworkConnector::kInterstitialClassName;
    slot->setSlotDelegate(events);
    slot->setAdLoadDelegate(events);
    slot->setAdEventDelegate(events);
    owner = events;
    slot->setAdType(ruzave::GADAdType::interstitialAdType(), false);
    Script::behaviours()[kAdapterC] = Behaviour::FillNow;
    mediate(R"({"ad_type":"interstitial","ad_networks":[)" + network("C", kAdapterC) + "]}");
    auto connector = slot->mediationManager()->receivedConnector();
    REQUIRE(connector);
    auto& adapter = *connector->adapter();
    connector->adapterWillPresentInterstitial(adapter);
    connector->adapterDidDismissInterstitial(adapter);
    CHECK(events->events == std::vector<std::string>{"will-present", "will-dismiss", "did-dismiss"});
    // The impression is pinged when the interstitial is about to show.
    CHECK(waitForPing("/imp"));
}

TEST_CASE_FIXTURE(Fixture, "GADMAdNetworkConnector: an interstitial the network takes back before it shows fails the slot's ad") {
    owner->connectorClass = GADMAdNetworkConnector::kInterstitialClassName;
    slot->setAdType(ruzave::GADAdType::interstitialAdType(), false);
    Script::behaviours()[kAdapterC] = Behaviour::FillNow;
    mediate(R"({"ad_type":"interstitial","ad_networks":[)" + network("C", kAdapterC) + "]}");
    REQUIRE(owner->loaded == 1);
    REQUIRE(slot->state() == ruzave::GADSlotStateValidAd);
    auto connector = slot->mediationManager()->receivedConnector();
    REQUIRE(connector);
    auto& adapter = *connector->adapter();
    const platform::Error gone(ruzave::kGADErrorDomain, ruzave::GADRequestErrorNoFill, "gone");
    connector->adapterDidFailInterstitial(adapter, gone);
    REQUIRE(owner->failures.size() == 1);
    CHECK(owner->failures[0].code == ruzave::GADRequestErrorNoFill);
    CHECK(owner->failures[0].description == "gone");
    CHECK(slot->state() == ruzave::GADSlotStateInvalidAd);
    // Told once: a second word of the same loss changes nothing.
    connector->adapterDidFailInterstitial(adapter, gone);
    CHECK(owner->failures.size() == 1);
}

TEST_CASE_FIXTURE(Fixture,
                  "GADMAdNetworkConnector: an interstitial taken back once the slot's next load has begun "
                  "changes nothing, and that load is answered once") {
    slottest::FakeNeighbours fakes;
    owner->connectorClass = GADMAdNetworkConnector::kInterstitialClassName;
    slot->setAdType(ruzave::GADAdType::interstitialAdType(), false);
    Script::behaviours()[kAdapterC] = Behaviour::FillNow;
    mediate(R"({"ad_type":"interstitial","ad_networks":[)" + network("C", kAdapterC) + "]}");
    REQUIRE(owner->loaded == 1);
    auto connector = slot->mediationManager()->receivedConnector();
    REQUIRE(connector);
    auto& adapter = *connector->adapter();
    const platform::Error gone(ruzave::kGADErrorDomain, ruzave::GADRequestErrorNoFill, "gone");

    // The app loads again before presenting it; the network takes it back meanwhile.
    auto fetcher = slottest::startFetch(fakes, *slot);
    connector->adapterDidFailInterstitial(adapter, gone);
    CHECK(owner->failures.empty());
    CHECK(slot->state() == ruzave::GADSlotStateFetchingAdContent);
    CHECK_FALSE(fetcher->cancelled);
    fetcher->succeed(ruzave::GADResponseTypeStandard, std::string("<p>next</p>"));
    connector->adapterDidFailInterstitial(adapter, gone);
    REQUIRE(runUntil([&] { return owner->loaded == 2; }));
    connector->adapterDidFailInterstitial(adapter, gone);
    advance(20);
    CHECK(owner->loaded == 2);
    CHECK(owner->failures.empty());
    CHECK(slot->state() == ruzave::GADSlotStateValidAd);
    CHECK(slot->ad() == fetcher->ad_);
}

TEST_CASE_FIXTURE(Fixture, "GADMAdNetworkConnector: callbacks from another adapter are ignored") {
    Script::behaviours()[kAdapterB] = Behaviour::Silent;
    mediate(R"({"ad_networks":[)" + network("B", kAdapterB) + "]}");
    auto connector = slot->mediationManager()->requestingConnector();
    REQUIRE(connector);
    AdapterC stranger;
    connector->adapterDidReceiveAdView(stranger, platform::View::create());
    connector->adapterDidFailAd(stranger, platform::Error("x", 1, "y"));
    CHECK(owner->views.empty());
    CHECK(owner->failures.empty());
    CHECK(slot->mediationManager()->requestInProgress());
}

TEST_CASE_FIXTURE(Fixture, "GADMAdNetworkConnector: auto-click protection is that of the slot's opener") {
    Script::behaviours()[kAdapterB] = Behaviour::Silent;
    mediate(R"({"ad_networks":[)" + network("B", kAdapterB) + "]}");
    auto connector = slot->mediationManager()->requestingConnector();
    REQUIRE(connector);
    auto opener = slot->adViewDelegate()->opener();
    REQUIRE(opener);
    CHECK_FALSE(connector->isAutoClickProtected());
    opener->setAutoClickProtected(true);
    CHECK(connector->isAutoClickProtected());
    // Detached from the manager, the connector no longer reaches the slot.
    slot->mediationManager()->cancel();
    CHECK(connector->adManager() == nullptr);
    CHECK_FALSE(connector->isAutoClickProtected());
}

TEST_CASE_FIXTURE(Fixture, "GADMAdNetworkConnector: the core page's click protection reaches the connector of a fetched waterfall") {
    server->route("/mediated", adserver::Response::json(R"({"ad_networks":[)" + network("B", kAdapterB) + "]}")
                                   .header("X-Zudo-Mediation", "1"));
    Script::behaviours()[kAdapterB] = Behaviour::Silent;
    auto banner = ruzave::GADBannerView::initWithAdSize(ruzave::kGADAdSizeBanner);
    REQUIRE(banner);
    banner->setAdUnitID("protected-unit");
    auto controller = platform::ViewController::create();
    banner->setRootViewController(controller);
    auto bannerSlot = banner->slot();
    ruzave::GADSlot::setAdURLBuilder([](const std::shared_ptr<ruzave::GADSlot>&) {});
    bannerSlot->loadRequest(ruzave::GADRequest::request());
    REQUIRE(bannerSlot->state() == ruzave::GADSlotStateRequestingAdURL);
    bannerSlot->loadAdURLWithParameters(
        platform::Value{{"url", url("/mediated")}, {"enable_auto_click_protection", "1"}});
    REQUIRE(runUntil([&] { return bannerSlot->mediationManager()->requestInProgress(); }));
    auto connector = bannerSlot->mediationManager()->requestingConnector();
    REQUIRE(connector);
    CHECK(connector->isAutoClickProtected());
    ruzave::GADSlot::setAdURLBuilder(nullptr);
}

TEST_CASE_FIXTURE(Fixture, "GADMAdNetworkConnector: a view the manager refuses pings no impression and keeps the exit codes") {
    Script::behaviours()[kAdapterB] = Behaviour::Silent;
    Script::behaviours()[kAdapterC] = Behaviour::Silent;
    mediate(R"({"ad_networks":[)" + network("B", kAdapterB) + "," + network("C", kAdapterC) + "]}");
    auto manager = slot->mediationManager();
    auto late = manager->requestingConnector();
    REQUIRE(late);
    advance(10.1);
    // B timed out and C is being asked; B's view now comes too late.
    auto current = manager->requestingConnector();
    REQUIRE(current);
    REQUIRE(current != late);
    late->adapterDidReceiveAdView(*late->adapter(), platform::View::create());
    CHECK(owner->views.empty());
    CHECK(slot->slotStats()->adapterExitCodesParameter() == std::optional<std::string>("3"));
    // C fills: its impression still carries B's time-out, so nothing reset the lists in between.
    current->adapterDidReceiveAdView(*current->adapter(), platform::View::create());
    REQUIRE(owner->views.size() == 1);
    REQUIRE(waitForPing("/imp"));
    runUntilIdle();
    CHECK(server->requestCount("/imp") == 1);
    CHECK(pingParam("/imp", "aec") == "3,0");
    CHECK(pingParam("/imp", "ad_network_id") == "C");
}
