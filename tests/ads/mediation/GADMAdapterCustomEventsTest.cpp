#include "MediationTestSupport.h"

#include "ads/core/public/GADBannerView.h"
#include "ads/core/public/GADRequest.h"
#include "ads/core/slot/GADAd.h"
#include "ads/mediation/GADCustomEventBanner.h"
#include "ads/mediation/GADCustomEventExtras.h"
#include "ads/mediation/GADCustomEventRequest.h"
#include "ads/mediation/GADMAdapterCustomEvents.h"

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

struct NotAnEvent {};

const platform::ClassRegistrar<FillingBanner, ruzave::GADCustomEventBanner> filling("TestFillingBanner",
                                                                                    {"GADCustomEventBanner"});
const platform::ClassRegistrar<FailingBanner, ruzave::GADCustomEventBanner> failing("TestFailingBanner",
                                                                                    {"GADCustomEventBanner"});
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
