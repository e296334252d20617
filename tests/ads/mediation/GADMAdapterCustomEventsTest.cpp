#include "MediationTestSupport.h"

#include "RecordingConnector.h"
#include "ads/core/public/GADBannerView.h"
#include "ads/core/public/GADRequest.h"
#include "ads/core/slot/GADAd.h"
#include "ads/mediation/GADCustomEventBanner.h"
#include "ads/mediation/GADCustomEventExtras.h"
#include "ads/mediation/GADCustomEventNativeAd.h"
#include "ads/mediation/GADCustomEventRequest.h"
#include "ads/mediation/GADMAdapterCustomEvents.h"
#include "ads/native/GADMediatedNativeAd.h"
#include "platform/testing/Harness.h"
#include "tests/ads/core/slot/SlotTestSupport.h"

using namespace mediationtest;

namespace {

struct Seen {
    static std::vector<std::string>& labels() {
        static std::vector<std::string> v;
        return v;
    }
    static std::optional<platform::Value>& extras() {
        static std::optional<platform::Value> v;
        return v;
    }
};

// Fills from inside its request with a view of the asked size.
class FillingBanner : public ruzave::GADCustomEventBanner {
  public:
    void requestBannerAd(const ruzave::GADAdSize& size, const std::optional<std::string>& parameter,
                         const std::optional<std::string>& label,
                         const std::shared_ptr<ruzave::GADCustomEventRequest>& request) override {
        Seen::labels().push_back(label.value_or("-") + "/" + parameter.value_or("-"));
        Seen::extras() = request->additionalParameters();
        if (auto d = delegate())
            d->customEventBannerDidReceiveAd(*this, platform::View::create({{0, 0}, size.size}));
    }
};

class FailingBanner : public ruzave::GADCustomEventBanner {
  public:
    void requestBannerAd(const ruzave::GADAdSize&, const std::optional<std::string>&, const std::optional<std::string>&,
                         const std::shared_ptr<ruzave::GADCustomEventRequest>&) override {
        if (auto d = delegate()) d->customEventBannerDidFailAd(*this, platform::Error("pub", 9, "empty"));
    }
};

class SilentNative : public ruzave::GADCustomEventNativeAd {
  public:
    void requestNativeAdWithParameter(const std::optional<std::string>&,
                                      const std::shared_ptr<ruzave::GADCustomEventRequest>&,
                                      const std::vector<std::string>&,
                                      const std::vector<std::shared_ptr<ruzave::GADAdLoaderOptions>>&,
                                      const std::shared_ptr<platform::ViewController>&) override {}
};

struct NotAnEvent {};

const platform::ClassRegistrar<FillingBanner, ruzave::GADCustomEventBanner> filling("TestFillingBanner",
                                                                                    {"GADCustomEventBanner"});
const platform::ClassRegistrar<FailingBanner, ruzave::GADCustomEventBanner> failing("TestFailingBanner",
                                                                                    {"GADCustomEventBanner"});
const platform::ClassRegistrar<SilentNative, ruzave::GADCustomEventNativeAd> silentNative("TestSilentNative", {});
const platform::ClassRegistrar<NotAnEvent> plain("TestNotAnEvent", {});

std::string customNetwork(const std::string& id, const std::string& credentials) {
    return R"({"id":")" + id + R"(","adapters":["GADMAdapterCustomEvents"],"data":)" + credentials + "}";
}

} // namespace

TEST_CASE("GADMAdapterCustomEvents: the adapter is registered and current") {
    CHECK(ruzave::GADMAdNetworkAdapter::classImplementsCurrentAdapterAPI("GADMAdapterCustomEvents"));
    CHECK(ruzave::GADMAdNetworkAdapter::classIsAdapterClass("GADMAdapterCustomEvents"));
    CHECK(ruzave::GADMAdNetworkAdapter::availableAdapterNamesInSet({"GADMAdapterCustomEvents", "Nope", "TestNotAnEvent"}) ==
          std::set<std::string>{"GADMAdapterCustomEvents"});
    ruzave::GADMAdapterCustomEvents adapter;
    CHECK(adapter.networkExtrasClass() == std::optional<std::string>("GADCustomEventExtras"));
    CHECK(adapter.adapterVersion() == std::optional<std::string>(ruzave::GADRequest::sdkVersion()));
}

TEST_CASE_FIXTURE(Fixture, "GADMAdapterCustomEvents: custom events that cannot run fail as errors, not no-fills") {
    mediate(R"({"ad_networks":[)" + customNetwork("a", R"({"label":"x"})") + "," +
            customNetwork("b", R"({"class_name":"Missing"})") + "," +
            customNetwork("c", R"({"class_name":"TestNotAnEvent"})") + "," +
            customNetwork("d", R"({"class_name":"TestFailingBanner"})") + "]}");
    REQUIRE(owner->failures.size() == 1);
    CHECK(owner->failures[0].code == ruzave::GADRequestErrorMediationNoFill);
    REQUIRE(waitForPing("/nofill"));
    CHECK(pingParam("/nofill", "aec") == "2,2,2,2");
}

TEST_CASE_FIXTURE(Fixture, "GADMAdapterCustomEvents: a banner custom event fills from inside its request") {
    auto request = ruzave::GADRequest::request();
    auto extras = ruzave::GADCustomEventExtras::init();
    extras->setExtras(platform::Value{{"k", "v"}}, std::string("a"));
    request->registerAdNetworkExtras(extras);
    ruzave::GADSlot::setAdURLBuilder([](const std::shared_ptr<ruzave::GADSlot>&) {});
    slot->loadRequest(request);
    slot->cancelPendingActions();

    mediate(R"({"ad_networks":[)" +
            customNetwork("b", R"({"class_name":"TestFillingBanner","label":"b","parameter":"p"})") + "," +
            customNetwork("a", R"({"class_name":"TestFillingBanner","label":"a","parameter":"p"})") + "]}");
    REQUIRE(owner->views.size() == 1);
    CHECK(owner->views[0]->frame().size.width == 320);
    CHECK(Seen::labels() == std::vector<std::string>{"b/p"});
    // Extras for label "a" are not handed to the custom event of label "b".
    CHECK_FALSE(Seen::extras().has_value());
    CHECK(slot->adNetworkClassName() == std::optional<std::string>("GADMAdapterCustomEvents"));
    auto adapter = std::dynamic_pointer_cast<ruzave::GADMAdapterCustomEvents>(
        slot->mediationManager()->receivedConnector()->adapter());
    REQUIRE(adapter);
    CHECK(adapter->customEventBanner() != nullptr);
}

TEST_CASE_FIXTURE(Fixture,
                  "GADMAdapterCustomEvents: a banner custom event's late ad or failure once the slot's "
                  "next load has begun changes nothing") {
    slottest::FakeNeighbours fakes;
    mediate(R"({"ad_networks":[)" + customNetwork("b", R"({"class_name":"TestFillingBanner"})") + "]}");
    REQUIRE(owner->loaded == 1);
    auto adapter = std::dynamic_pointer_cast<ruzave::GADMAdapterCustomEvents>(
        slot->mediationManager()->receivedConnector()->adapter());
    REQUIRE(adapter);
    auto event = adapter->customEventBanner();
    REQUIRE(event);
    auto fetcher = slottest::startFetch(fakes, *slot);
    REQUIRE(event->delegate());
    event->delegate()->customEventBannerDidReceiveAd(*event, platform::View::create());
    event->delegate()->customEventBannerDidFailAd(*event, platform::Error("pub", 9, "gone"));
    CHECK(owner->views.size() == 1);
    CHECK(owner->loaded == 1);
    CHECK(owner->failures.empty());
    CHECK(slot->state() == ruzave::GADSlotStateFetchingAdContent);
    CHECK_FALSE(fetcher->cancelled);
}

TEST_CASE("GADMAdapterCustomEvents: extras are kept per label") {
    auto extras = ruzave::GADCustomEventExtras::init();
    extras->setExtras(platform::Value{{"k", 1}}, std::string("a"));
    CHECK(extras->extrasForLabel("a") == platform::Value{{"k", 1}});
    CHECK_FALSE(extras->extrasForLabel("b").has_value());
    extras->setExtras(platform::Value{{"k", 2}}, std::nullopt);
    CHECK(extras->allExtras().size() == 1);
    extras->setExtras(std::nullopt, std::string("a"));
    CHECK(extras->allExtras().empty());
}

TEST_CASE_FIXTURE(Fixture, "GADMAdapterCustomEvents: a mediated banner end to end from the local ad server") {
    const std::string body = R"({"qdata":"e2e","ad_networks":[)" + network("A", "NoSuchAdapter") + "," +
                             network("B", kAdapterB) + "," +
                             customNetwork("C", R"({"class_name":"TestFillingBanner","label":"l"})") + "]}";
    server->route("/mediated", adserver::Response::json(body).header("X-Zudo-Mediation", "1"));
    Script::behaviours()[kAdapterB] = Behaviour::Silent;

    auto banner = ruzave::GADBannerView::initWithAdSize(ruzave::kGADAdSizeBanner);
    REQUIRE(banner);
    banner->setAdUnitID("e2e-unit");
    auto ad = ruzave::GADAd::init();
    ad->setAdURL(platform::URL::parse(url("/mediated")));
    banner->slot()->loadAd(ad, std::nullopt);
    REQUIRE(runUntil([&] { return banner->slot()->mediationManager()->requestInProgress(); }));
    advance(10.1);
    REQUIRE(runUntil([&] { return banner->slot()->state() == ruzave::GADSlotStateValidAd; }));
    CHECK(banner->adNetworkClassName() == std::optional<std::string>("GADMAdapterCustomEvents"));
    CHECK(banner->mediatedAdView() != nullptr);
    REQUIRE(waitForPing("/imp"));
    CHECK(pingParam("/imp", "aec") == "4,3,0");
    CHECK(pingParam("/imp", "qdata") == "e2e");
    CHECK(pingParam("/imp", "ad_loc") == "e2e-unit");
    CHECK(pingParam("/imp", "ad_network_id") == "C");
}

TEST_CASE_FIXTURE(platform::testing::Harness, "GADMAdapterCustomEvents: native ads need a native connector") {
    auto connector = RecordingConnector::make("GADMAdapterCustomEvents", platform::Value{{"class_name", "TestSilentNative"}});
    auto adapter = std::dynamic_pointer_cast<ruzave::GADMAdapterCustomEvents>(connector->adapter());
    REQUIRE(adapter);
    // Asked for a native ad through a connector of another kind: refused before any custom event is made.
    adapter->getNativeAdWithAdTypes({"1"}, {});
    REQUIRE(connector->errors.size() == 1);
    CHECK(connector->errors[0].domain == "ad_mediation");
    CHECK(connector->errors[0].description.find("isn't a valid connector for requesting native ad") != std::string::npos);
    // A native custom event answering with an ad anyway: only the code 11 failure, no ad handed on.
    SilentNative event;
    adapter->customEventNativeAdDidReceiveMediatedNativeAd(event, ruzave::GADMediatedNativeAd::initWithMediatedNativeAd(nullptr));
    CHECK(connector->events == std::vector<std::string>{"failAd", "failAd"});
    REQUIRE(connector->errors.size() == 2);
    CHECK(connector->errors[1].domain == ruzave::kGADErrorDomain);
    CHECK(connector->errors[1].code == ruzave::GADRequestErrorInternalError);
    CHECK(connector->errors[1].description ==
          "Native ad response received for connector which can't processed native ad.");
}
