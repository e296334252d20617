#include "MediationTestSupport.h"
#include "RecordingConnector.h"

#include <algorithm>
#include <iterator>
#include <map>
#include <mutex>

#include "ads/core/public/GADBannerView.h"
#include "ads/core/public/GADBannerViewDelegate.h"
#include "ads/core/public/GADInternalErrorAdditions.h"
#include "ads/core/public/GADInterstitial.h"
#include "ads/core/sdkcore/GADHosts.h"
#include "ads/mediation/GADMAdapterRuzaveDoRurAds.h"
#include "ads/native/GADAdLoader.h"
#include "ads/native/GADAdLoaderConfiguration.h"
#include "ads/native/GADAdLoaderDelegate.h"
#include "ads/native/GADMediatedNativeAd.h"
#include "ads/native/GADNativeAppInstallAd.h"
#include "ads/native/GADNativeContentAd.h"
#include "platform/ui/ViewController.h"
#include "platform/ui/Window.h"
#include "tests/ads/core/sdkcore/SDKCoreTestSupport.h"
#include "tools/adserver/AdResponses.h"
#include "tools/adserver/NativeAds.h"

using namespace mediationtest;
using ruzave::GADMAdapterRuzaveDoRurAds;

namespace {

constexpr const char* kOwn = "GADMAdapterRuzaveDoRurAds";
constexpr const char* kAdPath = "/mads/gma";

std::shared_ptr<GADMAdapterRuzaveDoRurAds> ownAdapter(const std::shared_ptr<ruzave::GADMAdNetworkConnector>& c) {
    return c ? std::dynamic_pointer_cast<GADMAdapterRuzaveDoRurAds>(c->adapter()) : nullptr;
}

// The slot's owner of a mediated native request: asks for the given ad types.
struct NativeTypesOwner : Owner {
    std::shared_ptr<ruzave::GADAdLoaderConfiguration> configuration;
    std::shared_ptr<platform::ViewController> controller = platform::ViewController::create();
    explicit NativeTypesOwner(const std::vector<std::string>& types)
        : configuration(ruzave::GADAdLoaderConfiguration::initWithAdTypes(types, {})) {
        connectorClass = ruzave::GADMAdNetworkConnector::kNativeAdClassName;
    }
    std::shared_ptr<ruzave::GADAdLoaderConfiguration> adLoaderConfigurationForAd(const std::shared_ptr<ruzave::GADAd>&) override {
        return configuration;
    }
    std::shared_ptr<platform::ViewController> rootViewController() const override { return controller; }
};

struct OwnFixture : Fixture {
    void use(const std::shared_ptr<Owner>& o) {
        owner = o;
        slot->setSlotDelegate(o);
        slot->setAdLoadDelegate(o);
    }
    std::shared_ptr<GADMAdapterRuzaveDoRurAds> requesting() {
        auto manager = slot->mediationManager();
        return manager ? ownAdapter(manager->requestingConnector()) : nullptr;
    }
};

struct BannerRecorder : ruzave::GADBannerViewDelegate {
    std::vector<std::string> calls;
    void adViewDidReceiveAd(ruzave::GADBannerView&) override { calls.push_back("received"); }
    void adViewDidFailToReceiveAdWithError(ruzave::GADBannerView&, const platform::Error&) override {
        calls.push_back("failed");
    }
};

// The local server with the core page, the ad route answering per ad unit, and a banner in a window.
struct Road : platform::testing::Harness {
    // Declared before the server, so the server stops before the answers its threads read go away.
    std::mutex answersMutex;
    std::map<std::string, adserver::Response> answers;  // by "slotname"
    std::unique_ptr<adserver::AdServer> server;
    std::shared_ptr<platform::Window> window = platform::Window::create();
    std::shared_ptr<platform::ViewController> controller = platform::ViewController::create();

    Road() {
        registerAdapters();
        Script::behaviours().clear();
        Script::log().clear();
        server = sdkcoretest::startCoreServer();
        for (const char* path : {"/nofill", "/imp", "/clk"}) server->route(path, adserver::Response::html("", 200));
        adserver::installPingEndpoints(*server);
        server->routeHost(ruzave::GADHosts::kAdServerHost, kAdPath, [this](const adserver::Request& r) {
            std::lock_guard lock(answersMutex);
            auto it = answers.find(r.param("slotname"));
            return it == answers.end() ? adserver::Response::html("", 404) : it->second;
        });
        platform::Application::sharedApplication()->setApplicationState(platform::ApplicationState::Active);
        window->setRootViewController(controller);
        window->makeKeyAndVisible();
    }
    ~Road() { platform::NetworkConfiguration::sharedInstance()->reset(); }
    void mediation(const std::string& unit, const std::string& json) {
        std::lock_guard lock(answersMutex);
        answers[unit] = adserver::Response::json(json).header("X-Zudo-Mediation", "1");
    }
    std::size_t fetches(const std::string& unit) const {
        std::size_t n = 0;
        for (const auto& r : server->requests(kAdPath))
            if (r.param("slotname") == unit) ++n;
        return n;
    }
};

struct Both : ruzave::GADNativeContentAdLoaderDelegate, ruzave::GADNativeAppInstallAdLoaderDelegate {
    std::vector<std::shared_ptr<ruzave::GADNativeContentAd>> contentAds;
    std::vector<std::shared_ptr<ruzave::GADNativeAppInstallAd>> appAds;
    std::vector<platform::Error> errors;
    void adLoaderDidFailToReceiveAdWithError(ruzave::GADAdLoader&, const platform::Error& e) override {
        errors.push_back(e);
    }
    void adLoaderDidReceiveNativeContentAd(ruzave::GADAdLoader&, const std::shared_ptr<ruzave::GADNativeContentAd>& ad) override {
        contentAds.push_back(ad);
    }
    void adLoaderDidReceiveNativeAppInstallAd(ruzave::GADAdLoader&,
                                              const std::shared_ptr<ruzave::GADNativeAppInstallAd>& ad) override {
        appAds.push_back(ad);
    }
    std::size_t calls() const { return contentAds.size() + appAds.size() + errors.size(); }
};

} // namespace

TEST_CASE("GADMAdapterRuzaveDoRurAds: registered with the SDK version and every banner animation") {
    CHECK(ruzave::GADMAdNetworkAdapter::classIsAdapterClass(kOwn));
    CHECK(ruzave::GADMAdNetworkAdapter::classImplementsCurrentAdapterAPI(kOwn));
    GADMAdapterRuzaveDoRurAds adapter;
    CHECK(adapter.adapterVersion() == std::optional<std::string>(ruzave::GADRequest::sdkVersion()));
    CHECK(adapter.networkExtrasClass() == std::optional<std::string>("GADExtras"));
    CHECK(adapter.respondsToGetNativeAd());
    for (std::int32_t animation : {0, 1, 2, 7, 100}) CHECK(adapter.isBannerAnimationOK(animation));
}

TEST_CASE_FIXTURE(platform::testing::Harness,
                  "GADMAdapterRuzaveDoRurAds: a banner click comes before its screen or exit and an interstitial click only alone") {
    auto c = RecordingConnector::make(kOwn, platform::Value::object());
    auto adapter = ownAdapter(c);
    REQUIRE(adapter);
    adapter->getBannerWithSize(ruzave::kGADAdSizeBanner);
    auto banner = adapter->bannerView();
    REQUIRE(banner);
    CHECK_FALSE(banner->slot()->reloadable());
    runUntilIdle();
    c->events.clear();

    adapter->adViewWillLeaveApplication(*banner);
    CHECK(c->events == std::vector<std::string>{"click", "leave"});
    c->events.clear();
    adapter->adViewWillPresentScreen(*banner);
    adapter->adViewWillDismissScreen(*banner);
    adapter->adViewDidDismissScreen(*banner);
    CHECK(c->events == std::vector<std::string>{"click", "willPresentModal", "willDismissModal", "didDismissModal"});

    // A replaced banner is winding down: nothing it says reaches the connector.
    adapter->getBannerWithSize(ruzave::kGADAdSizeBanner);
    REQUIRE(adapter->bannerView() != banner);
    runUntilIdle();
    c->events.clear();
    adapter->adViewDidReceiveAd(*banner);
    adapter->adViewWillLeaveApplication(*banner);
    CHECK(c->events.empty());

    adapter->getInterstitial();
    auto interstitial = adapter->interstitial();
    REQUIRE(interstitial);
    runUntil([] { return false; }, 0.05);
    c->events.clear();
    adapter->interstitialWillLeaveApplication(*interstitial);
    CHECK(c->events == std::vector<std::string>{"leave"});
    c->events.clear();
    adapter->interstitialDidReceiveAdClick(*interstitial);
    adapter->interstitialWillPresentScreen(*interstitial);
    adapter->interstitialWillDismissScreen(*interstitial);
    adapter->interstitialDidDismissScreen(*interstitial);
    CHECK(c->events == std::vector<std::string>{"click", "willPresent", "willDismiss", "didDismiss"});
    c->errors.clear();
    platform::Error noFill = ruzave::GADRequestError::errorWithCode(ruzave::GADRequestErrorNoFill);
    adapter->interstitialDidFailToReceiveAdWithError(*interstitial, noFill);
    REQUIRE(c->errors.size() == 1);
    CHECK(c->errors[0].domain == noFill.domain);
    CHECK(c->errors[0].code == noFill.code);
    CHECK(c->errors[0].description == noFill.description);
}

TEST_CASE_FIXTURE(platform::testing::Harness,
                  "GADMAdapterRuzaveDoRurAds: a native request through a banner connector fails at once with code 11") {
    auto c = RecordingConnector::make(kOwn, platform::Value::object());
    auto adapter = ownAdapter(c);
    REQUIRE(adapter);
    adapter->getNativeAdWithAdTypes({"1", "2"}, {});
    REQUIRE(c->errors.size() == 1);
    CHECK(c->errors[0].domain == ruzave::kGADErrorDomain);
    CHECK(c->errors[0].code == 11);
    CHECK(c->errors[0].description ==
          "Connector used GADMAdNetworkConnector isn't a valid connector for requesting native ad");
    CHECK_FALSE(adapter->adLoader());
}

TEST_CASE_FIXTURE(OwnFixture,
                  "GADMAdapterRuzaveDoRurAds: custom templates are not asked of the inner loader and alone fail at once") {
    SUBCASE("content, app install and templates") {
        auto o = std::make_shared<NativeTypesOwner>(std::vector<std::string>{"1", "3", "2"});
        use(o);
        mediate(R"({"ad_networks":[{"id":"R","adapters":["GADMAdapterRuzaveDoRurAds"],"data":{"pubid":"own"}}]})");
        auto adapter = requesting();
        REQUIRE(adapter);
        auto loader = adapter->adLoader();
        REQUIRE(loader);
        CHECK(loader->adLoaderConfiguration()->adTypes() == std::vector<std::string>{"1", "2"});
        // The loader took the adapter as its delegate, so its outcome will be heard.
        CHECK(loader->delegate() != nullptr);
        CHECK(loader->adUnitID() == "own");
        CHECK(loader->rootViewController() == o->controller);
        CHECK(owner->failures.empty());
    }
    SUBCASE("templates only") {
        use(std::make_shared<NativeTypesOwner>(std::vector<std::string>{"3"}));
        mediate(R"({"ad_networks":[{"id":"R","adapters":["GADMAdapterRuzaveDoRurAds"],"data":{"pubid":"own"}}]})");
        // No time passes: the waterfall ends on the adapter's own failure, not on its timer.
        REQUIRE(owner->failures.size() == 1);
        REQUIRE(waitForPing("/nofill"));
        CHECK(pingParam("/nofill", "aec") == "2");
    }
}

TEST_CASE_FIXTURE(OwnFixture, "GADMAdapterRuzaveDoRurAds: stopBeingDelegate silences and cancels the inner loads") {
    auto o = std::make_shared<NativeTypesOwner>(std::vector<std::string>{"1"});
    o->connectorClass = ruzave::GADMAdNetworkConnector::kBannerClassName;
    use(o);
    mediate(R"({"ad_networks":[{"id":"R","adapters":["GADMAdapterRuzaveDoRurAds"],"data":{"pubid":"own"}}]})");
    auto adapter = requesting();
    REQUIRE(adapter);
    auto banner = adapter->bannerView();
    REQUIRE(banner);
    CHECK(banner->adUnitID() == "own");
    CHECK(banner->rootViewController() == o->controller);
    REQUIRE(banner->slot()->isMakingRequest());
    adapter->stopBeingDelegate();
    CHECK_FALSE(banner->delegate());
    CHECK_FALSE(banner->slot()->isMakingRequest());
    runUntil([] { return false; }, 0.3);
    CHECK(owner->failures.empty());
    CHECK(owner->views.empty());
    CHECK(slot->mediationManager()->requestInProgress());

    auto c = RecordingConnector::make(kOwn, platform::Value::object());
    auto interstitialAdapter = ownAdapter(c);
    interstitialAdapter->getInterstitial();
    auto interstitial = interstitialAdapter->interstitial();
    REQUIRE(interstitial);
    REQUIRE(interstitial->slot()->isMakingRequest());
    interstitialAdapter->stopBeingDelegate();
    CHECK_FALSE(interstitial->delegate());
    CHECK_FALSE(interstitial->slot()->isMakingRequest());
    runUntil([] { return false; }, 0.3);
    CHECK(c->events.empty());
}

TEST_CASE_FIXTURE(Road,
                  "GADMAdapterRuzaveDoRurAds: in a waterfall of five the own network fills after three failures and never refreshes") {
    Script::behaviours()[kAdapterB] = Behaviour::FailNoFill;
    Script::behaviours()[kAdapterC] = Behaviour::Silent;
    Script::behaviours()[kAdapterD] = Behaviour::FillNow;
    mediation("outer", R"({"qdata":"w","settings":{"ad_network_timeout_millis":2000},"ad_networks":[)" +
                           network("A", "NoSuchAdapterClass") + "," + network("B", kAdapterB) + "," +
                           network("C", kAdapterC) +
                           R"(,{"id":"R","adapters":["GADMAdapterRuzaveDoRurAds"],"data":{"pubid":"own-unit"}},)" +
                           network("D", kAdapterD) + "]}");
    adserver::StandardAd own;
    own.refreshRate = "30";
    {
        std::lock_guard lock(answersMutex);
        answers["own-unit"] = adserver::standardAdResponse(own);
    }

    auto delegate = std::make_shared<BannerRecorder>();
    auto banner = ruzave::GADBannerView::initWithAdSize(ruzave::kGADAdSizeBanner);
    controller->view()->addSubview(banner);
    banner->setRootViewController(controller);
    banner->setDelegate(delegate);
    banner->setAdUnitID("outer");
    banner->loadRequest(ruzave::GADRequest::request());

    REQUIRE(sdkcoretest::pump(*this, [&] { return Script::log().size() >= 2; }, 20));
    std::vector<std::string> asked;
    std::copy_if(Script::log().begin(), Script::log().end(), std::back_inserter(asked),
                 [](const std::string& line) { return line.find(" banner") != std::string::npos; });
    CHECK(asked == std::vector<std::string>{"TestAdapterB banner", "TestAdapterC banner"});
    advance(2.1);  // C's time is up
    REQUIRE(sdkcoretest::pump(*this, [&] { return !delegate->calls.empty(); }, 30));
    CHECK(delegate->calls == std::vector<std::string>{"received"});
    CHECK(banner->adNetworkClassName() == std::optional<std::string>(kOwn));
    CHECK(fetches("own-unit") == 1);
    // D was never asked.
    CHECK(std::find(Script::log().begin(), Script::log().end(), "TestAdapterD banner") == Script::log().end());

    auto adapter = ownAdapter(banner->slot()->mediationManager()->receivedConnector());
    REQUIRE(adapter);
    auto inner = adapter->bannerView();
    REQUIRE(inner);
    CHECK(banner->mediatedAdView() == inner);
    CHECK_FALSE(inner->slot()->reloadable());
    CHECK_FALSE(inner->slot()->isReloadTimerArmed());

    REQUIRE(sdkcoretest::pump(*this, [&] { return server->requestCount("/imp") >= 1; }, 20));
    auto ping = server->requests("/imp")[0];
    CHECK(ping.param("aec") == "4,1,3,0");
    CHECK(ping.param("ad_network_id") == "R");

    // The own ad's 30 s refresh rate is not the inner banner's to use.
    advance(31);
    runUntil([] { return false; }, 0.3);
    CHECK(fetches("own-unit") == 1);
    CHECK(delegate->calls.size() == 1);
}

TEST_CASE_FIXTURE(Road, "GADMAdapterRuzaveDoRurAds: an own-network content ad reaches the publisher's ad loader") {
    adserver::NativeAds::installSupportPage(*server);
    adserver::NativeAds::installPictures(*server);
    const std::string base = std::string("https://") + ruzave::GADHosts::kAdServerHost;
    mediation("native-unit", R"({"qdata":"n","ad_networks":[)" + network("B", kAdapterB) +
                                 R"(,{"id":"R","adapters":["GADMAdapterRuzaveDoRurAds"],"data":{"pubid":"own-native"}}]})");
    Script::behaviours()[kAdapterB] = Behaviour::FailOther;
    {
        std::lock_guard lock(answersMutex);
        answers["own-native"] = adserver::NativeAds::nativeResponse(adserver::NativeAds::contentAdResponse(base));
    }

    auto delegate = std::make_shared<Both>();
    auto loader = ruzave::GADAdLoader::initWithAdUnitID("native-unit", controller, {"1", "2"}, {});
    REQUIRE(loader);
    loader->setDelegate(delegate);
    REQUIRE(loader->delegate() == delegate);
    loader->loadRequest(ruzave::GADRequest::request());
    REQUIRE(sdkcoretest::pump(*this, [&] { return delegate->calls() >= 1; }, 60));
    for (const auto& e : delegate->errors) MESSAGE(e.description);
    REQUIRE(delegate->contentAds.size() == 1);
    auto ad = delegate->contentAds[0];
    CHECK(ad->headline() == "Fresh bread daily");
    CHECK(ad->adNetworkClassName() == kOwn);
    CHECK(ad->adUnitID() == "native-unit");
    CHECK(ad->rootViewController() == controller);
    // The wrapper stays with the ad for the mediation reports, without a second copy of it.
    REQUIRE(ad->mediatedNativeAd());
    CHECK_FALSE(ad->mediatedNativeAd()->mediatedNativeAd());
    CHECK(loader->pendingNativeAdCount() == 0);
    CHECK(fetches("own-native") == 1);

    ad->recordImpression();
    REQUIRE(sdkcoretest::pump(*this, [&] { return server->requestCount("/imp") >= 1; }, 20));
    CHECK(server->requests("/imp")[0].param("ad_network_id") == "R");
    CHECK(server->requests("/imp")[0].param("aec").rfind("2", 0) == 0);
    runUntil([] { return false; }, 0.3);
    CHECK(delegate->calls() == 1);
}
