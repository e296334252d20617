#include "MediationTestSupport.h"

#include <algorithm>

#include "ads/core/telemetry/GADSlotStatistics.h"
#include "ads/mediation/GADCustomEventBanner.h"
#include "ads/mediation/GADCustomEventBannerDelegate.h"
#include "ads/mediation/GADMConfig.h"
#include "ads/native/GADMediatedNativeAd.h"
#include "tests/ads/core/slot/SlotTestSupport.h"

using namespace mediationtest;
using ruzave::GADRequestErrorAdapterNotFound;
using ruzave::GADRequestErrorMediationNoFill;

namespace {

class TestNativeAd : public ruzave::GADMediatedNativeAd {
  public:
    static std::shared_ptr<TestNativeAd> make() { return std::shared_ptr<TestNativeAd>(new TestNativeAd()); }
};

// Delivers a native ad from inside its request.
constexpr char kNativeAdapter[] = "TestNativeAdapter";
class NativeAdapter : public ScriptedAdapter<kNativeAdapter> {
  public:
    bool respondsToGetNativeAd() const override { return true; }
    void getNativeAdWithAdTypes(const std::vector<std::string>&,
                                const std::vector<std::shared_ptr<ruzave::GADAdLoaderOptions>>&) override {
        if (auto c = connector()) c->adapterDidReceiveMediatedNativeAd(*this, TestNativeAd::make());
    }
};
const platform::ClassRegistrar<NativeAdapter, ruzave::GADMAdNetworkAdapter> nativeRegistrar(kNativeAdapter,
                                                                                           {"GADMAdNetworkAdapter"});

// An ad loader's part: processes mediated native ads and keeps the completions it was given.
struct NativeOwner : Owner {
    std::vector<std::function<void(const std::optional<platform::Error>&)>> completions;
    std::vector<std::shared_ptr<ruzave::GADMediatedAd>> mediatedAds;
    NativeOwner() { connectorClass = ruzave::GADMAdNetworkConnector::kNativeAdClassName; }
    bool respondsToProcessMediatedAd() const override { return true; }
    void adProcessMediatedAdWithCompletionHandler(
        const std::shared_ptr<ruzave::GADAd>&, const std::shared_ptr<ruzave::GADMediatedAd>& ad,
        std::function<void(const std::optional<platform::Error>&)> completion) override {
        mediatedAds.push_back(ad);
        completions.push_back(std::move(completion));
    }
};

struct NativeFixture : Fixture {
    std::shared_ptr<NativeOwner> native = std::make_shared<NativeOwner>();
    NativeFixture() {
        owner = native;
        slot->setSlotDelegate(native);
        slot->setAdLoadDelegate(native);
    }
};

// Answers native requests, but only notes them: a network the waterfall should never reach.
constexpr char kNotingNativeAdapter[] = "TestNotingNativeAdapter";
class NotingNativeAdapter : public ScriptedAdapter<kNotingNativeAdapter> {
  public:
    bool respondsToGetNativeAd() const override { return true; }
    void getNativeAdWithAdTypes(const std::vector<std::string>&,
                                const std::vector<std::shared_ptr<ruzave::GADAdLoaderOptions>>&) override {
        Script::log().push_back(std::string(kNotingNativeAdapter) + " native");
    }
};
const platform::ClassRegistrar<NotingNativeAdapter, ruzave::GADMAdNetworkAdapter>
    notingNativeRegistrar(kNotingNativeAdapter, {"GADMAdNetworkAdapter"});

// Fails inside every kind of request, and notes how many of its requests were running at once: a
// waterfall that asks the next network from inside the failed one nests them.
constexpr char kInstantFailureAdapter[] = "TestInstantFailureAdapter";
class InstantFailureAdapter : public ScriptedAdapter<kInstantFailureAdapter> {
  public:
    static inline int requests = 0;
    static inline int running = 0;
    static inline int mostRunning = 0;
    void getBannerWithSize(const ruzave::GADAdSize&) override { fail(); }
    void getInterstitial() override { fail(); }
    bool respondsToGetNativeAd() const override { return true; }
    void getNativeAdWithAdTypes(const std::vector<std::string>&,
                                const std::vector<std::shared_ptr<ruzave::GADAdLoaderOptions>>&) override {
        fail();
    }

  private:
    void fail() {
        ++requests;
        mostRunning = std::max(mostRunning, ++running);
        if (auto c = connector()) c->adapterDidFailAd(*this, platform::Error("other.domain", 1, "nope"));
        --running;
    }
};
const platform::ClassRegistrar<InstantFailureAdapter, ruzave::GADMAdNetworkAdapter>
    instantFailureRegistrar(kInstantFailureAdapter, {"GADMAdNetworkAdapter"});

// Fails inside its request and cancels the waterfall there too, before or after the failure, as an app
// would that tears its ad down while a network answers.
constexpr char kCancellingAdapter[] = "TestCancellingAdapter";
class CancellingAdapter : public ScriptedAdapter<kCancellingAdapter> {
  public:
    static inline std::weak_ptr<ruzave::GADMAdManager> manager;
    static inline bool cancelFirst = false;
    void getBannerWithSize(const ruzave::GADAdSize&) override { failAndCancel(); }
    void getInterstitial() override { failAndCancel(); }

  private:
    void failAndCancel() {
        Script::log().push_back(std::string(kCancellingAdapter) + " request");
        auto m = manager.lock();
        if (m && cancelFirst) m->cancel();
        if (auto c = connector()) c->adapterDidFailAd(*this, platform::Error("other.domain", 1, "nope"));
        if (m && !cancelFirst) m->cancel();
    }
};
const platform::ClassRegistrar<CancellingAdapter, ruzave::GADMAdNetworkAdapter>
    cancellingRegistrar(kCancellingAdapter, {"GADMAdNetworkAdapter"});

// Fills from inside its request and stays reachable, so that the test can speak for it later, as its
// network's SDK would.
class LateWordBanner : public ruzave::GADCustomEventBanner {
  public:
    static inline LateWordBanner* latest = nullptr;
    ~LateWordBanner() override {
        if (latest == this) latest = nullptr;
    }
    void requestBannerAd(const ruzave::GADAdSize& size, const std::optional<std::string>&,
                         const std::optional<std::string>&,
                         const std::shared_ptr<ruzave::GADCustomEventRequest>&) override {
        latest = this;
        if (auto d = delegate())
            d->customEventBannerDidReceiveAd(*this, platform::View::create({{0, 0}, size.size}));
    }
};
const platform::ClassRegistrar<LateWordBanner, ruzave::GADCustomEventBanner>
    lateWordRegistrar("TestLateWordBanner", {ruzave::GADCustomEventBanner::kProtocolName});

std::string networks(int count, const std::string& adapter) {
    std::string list;
    for (int i = 0; i < count; ++i)
        list += (i ? "," : "") + network("N" + std::to_string(i), adapter);
    return list;
}

// Ten thousand networks whose adapters fail inside their requests: each must be asked once its
// predecessor's request has returned, or the stack grows with the list until the process dies.
void failTenThousandAtOnce(Fixture& f, const char* connectorClass,
                           const std::shared_ptr<ruzave::GADAdType>& type) {
    f.owner->connectorClass = connectorClass;
    f.slot->setAdType(type, false);
    InstantFailureAdapter::requests = InstantFailureAdapter::mostRunning = 0;
    f.mediate(R"({"ad_networks":[)" + networks(10000, kInstantFailureAdapter) + "]}");
    CHECK(InstantFailureAdapter::requests == 10000);
    CHECK(InstantFailureAdapter::mostRunning == 1);
    REQUIRE(f.owner->failures.size() == 1);
    CHECK(f.owner->failures[0].code == GADRequestErrorMediationNoFill);
    CHECK_FALSE(f.slot->mediationManager()->requestInProgress());
}

// Three networks fail inside their requests, then one fills inside its own: the ad is that network's,
// received once, and nothing follows it.
void failThreeThenFillAtOnce(Fixture& f, const char* connectorClass, const std::shared_ptr<ruzave::GADAdType>& type,
                             const char* filling) {
    f.owner->connectorClass = connectorClass;
    f.slot->setAdType(type, false);
    Script::behaviours()[kAdapterC] = Behaviour::FillNow;
    InstantFailureAdapter::requests = InstantFailureAdapter::mostRunning = 0;
    f.mediate(R"({"ad_networks":[)" + networks(3, kInstantFailureAdapter) + "," + network("F", filling) + "," +
              network("Z", kAdapterB) + "]}");
    CHECK(InstantFailureAdapter::requests == 3);
    CHECK(InstantFailureAdapter::mostRunning == 1);
    auto manager = f.slot->mediationManager();
    auto received = manager->receivedConnector();
    REQUIRE(received);
    REQUIRE(received->adapter());
    CHECK(received->adapter()->className() == filling);
    CHECK(f.slot->adNetworkClassName() == std::optional<std::string>(filling));
    CHECK(f.owner->loaded == 1);
    CHECK_FALSE(manager->requestInProgress());
    CHECK(manager->adNetworkTimeoutTimer() == nullptr);
    // The network after it is never asked, and no time-out or failure comes later.
    f.advance(20);
    const std::string request = type->isInterstitial() ? " interstitial" : " banner";
    CHECK(std::count(Script::log().begin(), Script::log().end(), std::string(filling) + request) == 1);
    CHECK(std::count(Script::log().begin(), Script::log().end(), std::string(kAdapterB) + request) == 0);
    CHECK(f.owner->loaded == 1);
    CHECK(f.owner->failures.empty());
    CHECK(manager->receivedConnector() == received);
}

} // namespace

TEST_CASE_FIXTURE(Fixture, "GADMAdManager: networks failing inside their requests then one filling inside its own give that one's ad once") {
    SUBCASE("a banner") {
        failThreeThenFillAtOnce(*this, ruzave::GADMAdNetworkConnector::kBannerClassName,
                                ruzave::GADAdType::bannerAdTypeForSize(ruzave::kGADAdSizeBanner), kAdapterC);
        CHECK(owner->views.size() == 1);
        // Three errors and a fill, in the banner's impression ping.
        REQUIRE(waitForPing("/imp"));
        CHECK(pingParam("/imp", "aec") == "2,2,2,0");
        CHECK(pingParam("/imp", "ad_network_id") == "F");
    }
    SUBCASE("an interstitial") {
        failThreeThenFillAtOnce(*this, ruzave::GADMAdNetworkConnector::kInterstitialClassName,
                                ruzave::GADAdType::interstitialAdType(), kAdapterC);
        CHECK(slot->slotStats()->adapterExitCodesParameter() == std::optional<std::string>("2,2,2,0"));
        slot->presentMediatedInterstitialFromRootViewController(nullptr);
        CHECK(Script::log().back() == "TestAdapterC present");
    }
}

TEST_CASE_FIXTURE(NativeFixture, "GADMAdManager: native networks failing inside their requests then one filling inside its own complete once") {
    InstantFailureAdapter::requests = InstantFailureAdapter::mostRunning = 0;
    mediate(R"({"ad_networks":[)" + networks(3, kInstantFailureAdapter) + "," + network("N", kNativeAdapter) + "," +
            network("Z", kNotingNativeAdapter) + "]}");
    CHECK(InstantFailureAdapter::requests == 3);
    CHECK(InstantFailureAdapter::mostRunning == 1);
    REQUIRE(native->completions.size() == 1);
    REQUIRE(native->mediatedAds.size() == 1);
    CHECK(native->mediatedAds[0]->adNetworkClassName() == kNativeAdapter);
    native->completions[0](std::nullopt);
    CHECK(native->loaded == 1);
    advance(20);
    CHECK(std::count(Script::log().begin(), Script::log().end(), "TestNotingNativeAdapter native") == 0);
    CHECK(native->loaded == 1);
    CHECK(native->failures.empty());
    CHECK_FALSE(slot->mediationManager()->requestInProgress());
}

TEST_CASE_FIXTURE(Fixture, "GADMAdManager: a cancel from inside a failing request asks no further network and reports nothing") {
    auto manager = slot->mediationManager();
    CancellingAdapter::manager = manager;
    Script::behaviours()[kAdapterC] = Behaviour::FillNow;
    auto waterfall = [&](bool interstitial, bool cancelFirst) {
        CancellingAdapter::cancelFirst = cancelFirst;
        if (interstitial) {
            owner->connectorClass = ruzave::GADMAdNetworkConnector::kInterstitialClassName;
            slot->setAdType(ruzave::GADAdType::interstitialAdType(), false);
        }
        mediate(R"({"ad_networks":[)" + network("X", kCancellingAdapter) + "," + network("C", kAdapterC) + "]}");
    };
    SUBCASE("a banner, cancelled after the failure") { waterfall(false, false); }
    SUBCASE("a banner, cancelled before the failure") { waterfall(false, true); }
    SUBCASE("an interstitial, cancelled after the failure") { waterfall(true, false); }
    SUBCASE("an interstitial, cancelled before the failure") { waterfall(true, true); }
    auto askedC = [] {
        return std::count_if(Script::log().begin(), Script::log().end(),
                             [](const std::string& line) { return line.rfind("TestAdapterC ", 0) == 0; });
    };
    CHECK(std::count(Script::log().begin(), Script::log().end(), "TestCancellingAdapter request") == 1);
    CHECK(askedC() == 0);
    CHECK_FALSE(manager->requestInProgress());
    CHECK(manager->requestingConnector() == nullptr);
    CHECK(manager->receivedConnector() == nullptr);
    advance(20);
    CHECK(owner->failures.empty());
    CHECK(owner->views.empty());
    CHECK(owner->loaded == 0);
    CHECK(askedC() == 0);

    // The next waterfall runs as usual.
    Script::log().clear();
    mediate(R"({"ad_networks":[)" + network("C", kAdapterC) + "]}");
    CHECK(owner->loaded == 1);
    CHECK(slot->adNetworkClassName() == std::optional<std::string>(kAdapterC));
    CancellingAdapter::manager.reset();
}

TEST_CASE_FIXTURE(Fixture, "GADMAdManager: a banner waterfall of ten thousand networks failing at once ends in one failure on a flat stack") {
    failTenThousandAtOnce(*this, ruzave::GADMAdNetworkConnector::kBannerClassName,
                          ruzave::GADAdType::bannerAdTypeForSize(ruzave::kGADAdSizeBanner));
}

TEST_CASE_FIXTURE(Fixture, "GADMAdManager: an interstitial waterfall of ten thousand networks failing at once ends in one failure on a flat stack") {
    failTenThousandAtOnce(*this, ruzave::GADMAdNetworkConnector::kInterstitialClassName,
                          ruzave::GADAdType::interstitialAdType());
}

TEST_CASE_FIXTURE(Fixture, "GADMAdManager: a native waterfall of ten thousand networks failing at once ends in one failure on a flat stack") {
    failTenThousandAtOnce(*this, ruzave::GADMAdNetworkConnector::kNativeAdClassName,
                          ruzave::GADAdType::bannerAdTypeForSize(ruzave::kGADAdSizeBanner));
}

TEST_CASE_FIXTURE(Fixture, "GADMAdManager: a run of 3000 networks without adapters records a code and a duration for each") {
    mediate(R"({"ad_networks":[)" + networks(3000, "NoSuchAdapter") + "," + network("B", kAdapterB) + "]}");
    CHECK(Script::log() == std::vector<std::string>{"TestAdapterB banner"});
    auto stats = slot->slotStats();
    auto codes = stats->adapterExitCodesParameter();
    auto durations = stats->adapterDurationsParameter();
    REQUIRE(codes.has_value());
    REQUIRE(durations.has_value());
    std::string fours, zeros;
    for (int i = 0; i < 3000; ++i) {
        fours += i ? ",4" : "4";
        zeros += i ? ",0" : "0";
    }
    CHECK(*codes == fours);
    CHECK(*durations == zeros);
    // B never answers: the waterfall ends with its time-out.
    CHECK(owner->failures.empty());
    advance(10.1);
    REQUIRE(owner->failures.size() == 1);
    CHECK(owner->failures[0].code == GADRequestErrorMediationNoFill);
}

TEST_CASE_FIXTURE(Fixture, "GADMAdManager: no adapter, a time-out and a fill record exit codes 4, 3, 0") {
    Script::behaviours()[kAdapterB] = Behaviour::Silent;
    Script::behaviours()[kAdapterC] = Behaviour::FillNow;
    mediate(R"({"qdata":"q1","ad_networks":[)" + network("A", "NoSuchAdapter") + "," + network("B", kAdapterB) +
            "," + network("C", kAdapterC) + "]}");
    auto manager = slot->mediationManager();
    REQUIRE(manager->requestInProgress());
    CHECK(Script::log() == std::vector<std::string>{"TestAdapterB banner"});
    advance(9.9);
    CHECK(owner->views.empty());
    advance(0.2);
    // B timed out: its adapter was told to stop, and C filled at once.
    CHECK(Script::log() ==
          std::vector<std::string>{"TestAdapterB banner", "TestAdapterB stop", "TestAdapterC banner"});
    REQUIRE(owner->views.size() == 1);
    CHECK(owner->loaded == 1);
    CHECK(slot->state() == ruzave::GADSlotStateValidAd);
    CHECK(slot->adNetworkClassName() == std::optional<std::string>(kAdapterC));
    CHECK_FALSE(manager->requestInProgress());
    CHECK(manager->adNetworkTimeoutTimer() == nullptr);

    REQUIRE(waitForPing("/imp"));
    CHECK(pingParam("/imp", "aec") == "4,3,0");
    CHECK(pingParam("/imp", "ad_network_id") == "C");
    CHECK(pingParam("/imp", "qdata") == "q1");
    CHECK(pingParam("/imp", "ad_loc") == "unit-1");
    CHECK(pingParam("/imp", "nr") == "0");
    auto durations = pingParam("/imp", "adt");
    CHECK(durations.find(",10000,") != std::string::npos);
    // The impression report empties the lists.
    CHECK_FALSE(slot->slotStats()->adapterExitCodesParameter().has_value());
}

TEST_CASE_FIXTURE(Fixture, "GADMAdManager: an empty network list pings no-fill and fails with code 9") {
    mediate(R"({"qdata":"abc","ad_networks":[]})");
    REQUIRE(owner->failures.size() == 1);
    CHECK(owner->failures[0].code == GADRequestErrorMediationNoFill);
    CHECK(owner->failures[0].description == "Request Error: No ad to show from all configured ad networks.");
    REQUIRE(waitForPing("/nofill"));
    CHECK(pingParam("/nofill", "qdata") == "abc");
    CHECK(pingParam("/nofill", "ad_loc") == "unit-1");
    CHECK(pingParam("/nofill", "js") == ruzave::GADRequest::sdkVersion());
    CHECK_FALSE(slot->mediationManager()->requestInProgress());
}

TEST_CASE_FIXTURE(Fixture, "GADMAdManager: each no-fill template is its own ping with its own sequence number") {
    mediate(R"({"qdata":"abc","settings":{"nofill_urls":[)"
            R"("https://ping.ruzave.example/nf1?seq=@gw_seqnum@&q=@gw_qdata@&qq=@@gw_qdata@@&alloc=@gw_allocid@&nr=@gw_adnetrefresh@",)"
            R"(7,"https://ping.ruzave.example/nf2?seq=@gw_seqnum@&net=@gw_adnetid@"]},"ad_networks":[]})");
    REQUIRE(owner->failures.size() == 1);
    REQUIRE(waitForPing("/nf1"));
    REQUIRE(waitForPing("/nf2"));
    CHECK(pingParam("/nf1", "q") == "abc");
    // The doubled at-signs are an escape, and keywords without a value stay as written.
    CHECK(pingParam("/nf1", "qq") == "@@gw_qdata@@");
    CHECK(pingParam("/nf1", "alloc") == "@gw_allocid@");
    CHECK(pingParam("/nf2", "net") == "@gw_adnetid@");
    CHECK(pingParam("/nf1", "nr") == "0");
    CHECK_FALSE(pingParam("/nf1", "seq").empty());
    CHECK(pingParam("/nf1", "seq") != pingParam("/nf2", "seq"));
    // The configuration's own templates replace the built-in one.
    runUntilIdle();
    CHECK(server->requestCount("/nofill") == 0);
}

TEST_CASE_FIXTURE(Fixture, "GADMAdManager: failures record 1 only for the public no-fill error, else 2") {
    Script::behaviours()[kAdapterB] = Behaviour::FailNoFill;
    Script::behaviours()[kAdapterC] = Behaviour::FailOther;
    mediate(R"({"ad_networks":[)" + network("B", kAdapterB) + "," + network("C", kAdapterC) +
            R"(],"settings":{"nofill_urls":["https://ping.ruzave.example/custom?aec=@gw_aec@&net=@gw_adnetid@"]}})");
    REQUIRE(owner->failures.size() == 1);
    CHECK(owner->failures[0].code == GADRequestErrorMediationNoFill);
    REQUIRE(waitForPing("/custom"));
    CHECK(pingParam("/custom", "aec") == "1,2");
    // No network identifier in a no-fill ping: the keyword stays as it was.
    CHECK(pingParam("/custom", "net") == "@gw_adnetid@");
    CHECK(server->requestCount("/nofill") == 0);
}

TEST_CASE_FIXTURE(Fixture, "GADMAdManager: a connector class that cannot be made fails with code 8") {
    owner->connectorClass = "NoSuchConnector";
    mediate(R"({"ad_networks":[)" + network("C", kAdapterC) + "]}");
    REQUIRE(owner->failures.size() == 1);
    CHECK(owner->failures[0].code == GADRequestErrorAdapterNotFound);
    CHECK(Script::log().empty());
    CHECK(waitForPing("/nofill"));
}

TEST_CASE_FIXTURE(Fixture, "GADMAdManager: the configured timeout gives each network its time") {
    Script::behaviours()[kAdapterC] = Behaviour::FillNow;
    mediate(R"({"settings":{"ad_network_timeout_millis":2500},"ad_networks":[)" + network("B", kAdapterB) + "," +
            network("C", kAdapterC) + "]}");
    advance(2.4);
    CHECK(owner->views.empty());
    advance(0.2);
    CHECK(owner->views.size() == 1);
}

TEST_CASE_FIXTURE(Fixture, "GADMAdManager: a nil view fails the network, and an answer after the time-out is ignored") {
    Script::behaviours()[kAdapterB] = Behaviour::NilView;
    Script::behaviours()[kAdapterC] = Behaviour::Silent;
    mediate(R"({"ad_networks":[)" + network("B", kAdapterB) + "," + network("C", kAdapterC) + "]}");
    CHECK(owner->views.empty());
    auto manager = slot->mediationManager();
    auto late = manager->requestingConnector();
    REQUIRE(late);
    advance(10.1);
    // C timed out: the list is exhausted, the slot failed once.
    REQUIRE(owner->failures.size() == 1);
    CHECK(owner->failures[0].code == GADRequestErrorMediationNoFill);
    // The timed-out adapter answers late: nothing changes.
    auto adapter = std::dynamic_pointer_cast<AdapterC>(late->adapter());
    REQUIRE(adapter);
    late->adapterDidReceiveAdView(*adapter, platform::View::create());
    CHECK(owner->views.empty());
    CHECK(owner->failures.size() == 1);
    REQUIRE(waitForPing("/nofill"));
    CHECK(pingParam("/nofill", "aec") == "2,3");
}

TEST_CASE_FIXTURE(Fixture, "GADMAdManager: an interstitial that arrives twice ends the waterfall once") {
    owner->connectorClass = ruzave::GADMAdNetworkConnector::kInterstitialClassName;
    slot->setAdType(ruzave::GADAdType::interstitialAdType(), false);
    Script::behaviours()[kAdapterC] = Behaviour::FillTwice;
    mediate(R"({"ad_type":"interstitial","ad_networks":[)" + network("C", kAdapterC) + "]}");
    CHECK(owner->loaded == 1);
    auto manager = slot->mediationManager();
    CHECK(manager->requestingConnector() == nullptr);
    REQUIRE(manager->receivedConnector());
    slot->presentMediatedInterstitialFromRootViewController(nullptr);
    CHECK(Script::log().back() == "TestAdapterC present");
    // Only one exit code was recorded.
    CHECK(slot->slotStats()->adapterExitCodesParameter() == std::optional<std::string>("0"));
}

TEST_CASE_FIXTURE(Fixture, "GADMAdManager: a second view through the same connector is a refresh") {
    Script::behaviours()[kAdapterC] = Behaviour::FillNow;
    mediate(R"({"ad_networks":[)" + network("C", kAdapterC) + "]}");
    auto manager = slot->mediationManager();
    auto connector = manager->receivedConnector();
    REQUIRE(connector);
    REQUIRE(waitForPing("/imp"));
    auto adapter = connector->adapter();
    connector->adapterDidReceiveAdView(*adapter, platform::View::create());
    CHECK(owner->views.size() == 2);
    CHECK(manager->receivedConnector() == connector);
    CHECK(connector->didNetworkRefresh());
    REQUIRE(waitForPing("/imp", 2));
    CHECK(pingParam("/imp", "nr", 1) == "1");
    CHECK(pingParam("/imp", "aec", 1) == "0");
    // A failure on its own refresh stops there with code 3.
    connector->adapterDidFailAd(*adapter, platform::Error("x", 5, "gone"));
    REQUIRE(owner->failures.size() == 1);
    CHECK(owner->failures[0].code == ruzave::GADRequestErrorServerError);
    CHECK(owner->failures[0].description == "gone");
    CHECK(slot->hasAutoRefreshed());
}

TEST_CASE_FIXTURE(Fixture,
                  "GADMAdManager: the shown network's refresh or failure once the slot's next load has "
                  "begun changes nothing, while it is under way or after it is answered") {
    slottest::FakeNeighbours fakes;
    Script::behaviours()[kAdapterC] = Behaviour::FillNow;
    for (bool nextFails : {false, true}) {
        CAPTURE(nextFails);
        mediate(R"({"ad_networks":[)" + network("C", kAdapterC) + "]}");
        auto shown = slot->mediationManager()->receivedConnector();
        REQUIRE(shown);
        auto adapter = shown->adapter();
        const auto views = owner->views.size();
        const int loaded = owner->loaded;
        const auto failures = owner->failures.size();
        // All the network may still say of its ad.
        const auto lateWords = [&] {
            shown->adapterDidReceiveAdView(*adapter, platform::View::create());
            shown->adapterDidFailAd(*adapter, platform::Error("x", 5, "gone"));
        };
        const auto unchanged = [&](std::size_t moreViews, int moreLoaded, std::size_t moreFailures) {
            CHECK(owner->views.size() == views + moreViews);
            CHECK(owner->loaded == loaded + moreLoaded);
            CHECK(owner->failures.size() == failures + moreFailures);
        };

        auto fetcher = slottest::startFetch(fakes, *slot);
        lateWords();
        unchanged(0, 0, 0);
        CHECK(slot->state() == ruzave::GADSlotStateFetchingAdContent);
        CHECK_FALSE(fetcher->cancelled);
        if (nextFails) {
            fetcher->fail(ruzave::GADRequestError::errorWithCode(ruzave::GADRequestErrorNoFill));
            unchanged(0, 0, 1);
        } else {
            fetcher->succeed(ruzave::GADResponseTypeStandard, std::string("<p>next</p>"));
            REQUIRE(slot->state() == ruzave::GADSlotStateRenderingAd);
            lateWords();
            unchanged(1, 0, 0);
            CHECK(slot->state() == ruzave::GADSlotStateRenderingAd);
            REQUIRE(runUntil([&] { return owner->loaded == loaded + 1; }));
        }
        const auto answered = slot->state();
        lateWords();
        advance(20);
        unchanged(nextFails ? 0 : 1, nextFails ? 0 : 1, nextFails ? 1 : 0);
        CHECK(slot->state() == answered);
        CHECK(slot->ad() == (nextFails ? nullptr : fetcher->ad_));
    }
}

TEST_CASE_FIXTURE(Fixture, "GADMAdManager: cancel stops the attempt but keeps the ad on screen") {
    Script::behaviours()[kAdapterC] = Behaviour::FillNow;
    mediate(R"({"ad_networks":[)" + network("C", kAdapterC) + "]}");
    auto manager = slot->mediationManager();
    auto shown = manager->receivedConnector();
    REQUIRE(shown);
    // A refresh waterfall whose network never answers, then the slot cancels before its next fetch.
    mediate(R"({"ad_networks":[)" + network("B", kAdapterB) + "]}");
    REQUIRE(manager->requestInProgress());
    auto pending = manager->requestingConnector();
    manager->cancel();
    CHECK_FALSE(manager->requestInProgress());
    CHECK(manager->adNetworkTimeoutTimer() == nullptr);
    CHECK(manager->requestingConnector() == nullptr);
    CHECK(pending->adManager() == nullptr);
    CHECK(manager->receivedConnector() == shown);
    CHECK(shown->adManager() == manager);
    advance(20);
    CHECK(owner->failures.empty());
    // The banner still reports its clicks.
    shown->adapterDidGetAdClick(*shown->adapter());
    CHECK(waitForPing("/clk"));
    // Resizing goes to the shown network's adapter.
    CHECK(manager->changeAdTypeTo(ruzave::GADAdType::bannerAdTypeForSize(ruzave::kGADAdSizeLeaderboard)));
    CHECK(Script::log().back() == "TestAdapterC size 728");
}

TEST_CASE_FIXTURE(Fixture, "GADMAdManager: a second start during a waterfall keeps the running list") {
    mediate(R"({"ad_networks":[)" + network("B", kAdapterB) + "]}");
    auto manager = slot->mediationManager();
    auto first = manager->config();
    Script::behaviours()[kAdapterC] = Behaviour::FillNow;
    auto second = ruzave::GADMConfig::initWithAppKey(std::string("unit-1"),
                                                     platform::parseJSON(R"({"ad_networks":[)" +
                                                                         network("C", kAdapterC) + "]}"));
    REQUIRE(second);
    manager->mediateForAdType(slot->adType(), second);
    CHECK(manager->config() == second);
    CHECK(Script::log() == std::vector<std::string>{"TestAdapterB banner"});
    advance(10.1);
    // B's list had nothing more: C of the second configuration was never asked.
    REQUIRE(owner->failures.size() == 1);
    CHECK(owner->failures[0].code == GADRequestErrorMediationNoFill);
}

TEST_CASE_FIXTURE(NativeFixture, "GADMAdManager: a mediated native ad completes once") {
    mediate(R"({"ad_networks":[)" + network("N", kNativeAdapter) + "]}");
    REQUIRE(native->completions.size() == 1);
    auto manager = slot->mediationManager();
    auto connector = manager->requestingConnector();
    REQUIRE(connector);
    CHECK(native->loaded == 0);
    REQUIRE(native->mediatedAds.size() == 1);
    CHECK(native->mediatedAds[0]->adNetworkClassName() == kNativeAdapter);
    auto completion = native->completions[0];
    completion(std::nullopt);
    CHECK(native->loaded == 1);
    CHECK(manager->receivedConnector() == connector);
    CHECK(slot->state() == ruzave::GADSlotStateValidAd);
    // A second call, even with an error, changes nothing.
    completion(platform::Error("pub", 1, "late"));
    CHECK(native->loaded == 1);
    CHECK(native->failures.empty());
}

TEST_CASE_FIXTURE(NativeFixture,
                  "GADMAdManager: a native network answers its own request once, and the slot's "
                  "next native load is answered too") {
    mediate(R"({"ad_networks":[)" + network("N", kNativeAdapter) + "]}");
    REQUIRE(native->completions.size() == 1);
    auto manager = slot->mediationManager();
    auto first = manager->requestingConnector();
    REQUIRE(first);
    // A second fill, or a failure, while the app processes the first answers nothing.
    first->adapterDidReceiveMediatedNativeAd(*first->adapter(), TestNativeAd::make());
    first->adapterDidFailAd(*first->adapter(), platform::Error("x", 1, "late"));
    CHECK(native->completions.size() == 1);
    CHECK(native->failures.empty());
    native->completions[0](std::nullopt);
    CHECK(native->loaded == 1);

    // The loader's next load through the same slot: the network kept from the first does not refuse it.
    mediate(R"({"ad_networks":[)" + network("N", kNativeAdapter) + "]}");
    REQUIRE(native->completions.size() == 2);
    native->completions[1](std::nullopt);
    CHECK(native->loaded == 2);
    CHECK(manager->receivedConnector() != first);
    advance(20);
    CHECK(native->failures.empty());
}

TEST_CASE_FIXTURE(NativeFixture, "GADMAdManager: a native completion from a cancelled waterfall does nothing") {
    mediate(R"({"ad_networks":[)" + network("N", kNativeAdapter) + "]}");
    REQUIRE(native->completions.size() == 1);
    auto manager = slot->mediationManager();
    manager->cancel();
    native->completions[0](std::nullopt);
    CHECK(native->loaded == 0);
    CHECK(manager->receivedConnector() == nullptr);
    CHECK(slot->state() != ruzave::GADSlotStateValidAd);

    // The next waterfall's completion still works; the old one, failing late, does not move it on.
    mediate(R"({"ad_networks":[)" + network("N", kNativeAdapter) + "]}");
    REQUIRE(native->completions.size() == 2);
    native->completions[0](platform::Error("pub", 1, "old"));
    CHECK(native->failures.empty());
    native->completions[1](std::nullopt);
    CHECK(native->loaded == 1);
}

TEST_CASE_FIXTURE(Fixture, "GADMAdManager: an adapter that fails twice moves the waterfall on once") {
    Script::behaviours()[kAdapterB] = Behaviour::FailTwice;
    Script::behaviours()[kAdapterC] = Behaviour::Silent;
    mediate(R"({"ad_networks":[)" + network("B", kAdapterB) + "," + network("C", kAdapterC) + "]}");
    // C was asked once, when B's failed request had returned; B's second failure went nowhere.
    CHECK(Script::log() ==
          std::vector<std::string>{"TestAdapterB banner", "TestAdapterB stop", "TestAdapterC banner"});
    CHECK(slot->slotStats()->adapterExitCodesParameter() == std::optional<std::string>("2"));
    advance(10.1);
    REQUIRE(owner->failures.size() == 1);
    CHECK(owner->failures[0].code == GADRequestErrorMediationNoFill);
    REQUIRE(waitForPing("/nofill"));
    CHECK(pingParam("/nofill", "aec") == "2,3");
}

TEST_CASE_FIXTURE(Fixture,
                  "GADMAdManager: a network's fill, failure or click after the app loads again answers no "
                  "request, and that load is answered once, by its own outcome") {
    slottest::FakeNeighbours fakes;
    Script::behaviours()[kAdapterC] = Behaviour::FillNow;
    enum class Road { Banner, Interstitial, CustomEvent };
    enum class Word { Fill, Failure, Click };
    // When the network speaks: right after the app's load, queued just before it, or while the core page
    // takes its time over the ad URL.
    enum class When { RightAfter, QueuedBefore, CorePageSlow };
    for (Road road : {Road::Banner, Road::Interstitial, Road::CustomEvent}) {
        for (Word word : {Word::Fill, Word::Failure, Word::Click}) {
            for (When when : {When::RightAfter, When::QueuedBefore, When::CorePageSlow}) {
                for (bool nextFails : {false, true}) {
                    CAPTURE(static_cast<int>(road));
                    CAPTURE(static_cast<int>(word));
                    CAPTURE(static_cast<int>(when));
                    CAPTURE(nextFails);
                    server->clearLog();
                    const bool interstitial = road == Road::Interstitial;
                    owner = std::make_shared<Owner>();
                    owner->connectorClass = interstitial
                                                ? ruzave::GADMAdNetworkConnector::kInterstitialClassName
                                                : ruzave::GADMAdNetworkConnector::kBannerClassName;
                    slot = ruzave::GADSlot::init();
                    slot->setAdUnitID("unit-1");
                    slot->setAdType(interstitial
                                        ? ruzave::GADAdType::interstitialAdType()
                                        : ruzave::GADAdType::bannerAdTypeForSize(ruzave::kGADAdSizeBanner),
                                    false);
                    slot->setSlotDelegate(owner);
                    slot->setAdLoadDelegate(owner);
                    const std::string net =
                        road == Road::CustomEvent
                            ? R"({"id":"E","adapters":["GADMAdapterCustomEvents"],"data":{"class_name":"TestLateWordBanner"}})"
                            : network("C", kAdapterC);
                    mediate(std::string("{") + (interstitial ? R"("ad_type":"interstitial",)" : "") +
                            R"("ad_networks":[)" + net + "]}");
                    REQUIRE(owner->loaded == 1);
                    REQUIRE(slot->state() == ruzave::GADSlotStateValidAd);
                    if (!interstitial) REQUIRE(waitForPing("/imp"));
                    auto shown = slot->mediationManager()->receivedConnector();
                    REQUIRE(shown);
                    auto adapter = shown->adapter();
                    REQUIRE(adapter);
                    auto* custom = LateWordBanner::latest;
                    if (road == Road::CustomEvent) REQUIRE(custom);
                    const auto say = [=] {
                        if (road == Road::CustomEvent) {
                            auto d = custom->delegate();
                            if (!d) return;
                            if (word == Word::Fill)
                                d->customEventBannerDidReceiveAd(*custom, platform::View::create());
                            if (word == Word::Failure)
                                d->customEventBannerDidFailAd(*custom, platform::Error("x", 5, "gone"));
                            if (word == Word::Click) d->customEventBannerWasClicked(*custom);
                            return;
                        }
                        if (word == Word::Fill && interstitial)
                            shown->adapterDidReceiveInterstitial(*adapter);
                        if (word == Word::Fill && !interstitial)
                            shown->adapterDidReceiveAdView(*adapter, platform::View::create());
                        if (word == Word::Failure)
                            shown->adapterDidFailAd(*adapter, platform::Error("x", 5, "gone"));
                        if (word == Word::Click) shown->adapterDidGetAdClick(*adapter);
                    };

                    if (when == When::QueuedBefore) platform::mainQueue()->async(say);
                    slot->loadRequest(ruzave::GADRequest::request());
                    REQUIRE(slot->state() == ruzave::GADSlotStateRequestingAdURL);
                    if (when == When::RightAfter) say();
                    if (when == When::CorePageSlow) {
                        advance(5);
                        runUntilIdle();
                        say();
                    }
                    runUntilIdle();
                    CHECK(slot->state() == ruzave::GADSlotStateRequestingAdURL);
                    CHECK(owner->loaded == 1);
                    CHECK(owner->failures.empty());

                    // The core page answers, and the ad server fails the fetch (503) or brings a page.
                    slot->didReceiveAdURL();
                    slot->loadAd(ruzave::GADAd::init(), std::nullopt);
                    auto fetcher = fakes.lastFetcher();
                    REQUIRE(fetcher);
                    if (nextFails) {
                        fetcher->fail(
                            ruzave::GADRequestError::errorWithCode(ruzave::GADRequestErrorServerError));
                    } else {
                        fetcher->succeed(ruzave::GADResponseTypeStandard, std::string("<p>next</p>"));
                        REQUIRE(runUntil([&] { return owner->loaded == 2; }));
                    }
                    advance(20);
                    runUntilIdle();
                    CHECK(owner->loaded == (nextFails ? 1 : 2));
                    REQUIRE(owner->failures.size() == (nextFails ? 1u : 0u));
                    if (nextFails) CHECK(owner->failures[0].code == ruzave::GADRequestErrorServerError);

                    // What the ping host read: the click once, and no impression of a late view.
                    if (word == Word::Click) REQUIRE(waitForPing("/clk"));
                    REQUIRE(runUntil(
                        [] { return platform::NetworkEngine::shared().activeTransferCount() == 0; }));
                    runUntilIdle();
                    CHECK(server->requestCount("/clk") == (word == Word::Click ? 1u : 0u));
                    CHECK(server->requestCount("/imp") == (interstitial ? 0u : 1u));
                }
            }
        }
    }
}
