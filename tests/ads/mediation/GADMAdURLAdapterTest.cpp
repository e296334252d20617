#include "MediationTestSupport.h"
#include "RecordingConnector.h"

#include <thread>

#include "ads/core/public/GADBannerView.h"
#include "ads/core/public/GADBannerViewDelegate.h"
#include "ads/core/public/GADInterstitial.h"
#include "ads/core/sdkcore/GADHosts.h"
#include "ads/core/sdkcore/GADSDKCoreController.h"
#include "ads/core/sdkcore/GADSDKCoreWebView.h"
#include "ads/core/slot/GADBannerAd.h"
#include "ads/mediation/GADMAdURLAdapter.h"
#include "ads/render/GADAdView.h"
#include "platform/services/AdvertisingIdentifierManager.h"
#include "platform/ui/ViewController.h"
#include "platform/ui/Window.h"
#include "tests/ads/core/sdkcore/SDKCoreTestSupport.h"

using namespace mediationtest;
using ruzave::GADMAdURLAdapter;

namespace {

constexpr const char* kURLAdapter = "GADMAdURLAdapter";
const std::string kAdHTML =
    "<html><body style=\"margin:0\"><div style=\"width:320px;height:50px;background:#00a\">Page ad</div></body></html>";

std::shared_ptr<GADMAdURLAdapter> urlAdapter(const std::shared_ptr<ruzave::GADMAdNetworkConnector>& c) {
    return c ? std::dynamic_pointer_cast<GADMAdURLAdapter>(c->adapter()) : nullptr;
}

// An adapter driven directly, its connector recording what it hears.
struct Direct : platform::testing::Harness {
    std::shared_ptr<RecordingConnector> connector =
        RecordingConnector::make(kURLAdapter, platform::Value{{"k", "v"}, {"n", 3}});
    std::shared_ptr<GADMAdURLAdapter> adapter = urlAdapter(connector);
    Direct() {
        REQUIRE(adapter);
        platform::Application::sharedApplication()->setApplicationState(platform::ApplicationState::Active);
    }
};

std::shared_ptr<ruzave::GADAd> bannerAd() {
    return ruzave::GADBannerAd::initWithDictionary(
        platform::Value{{"ad_html", kAdHTML}, {"ad_base_url", "https://ads.ruzave.example/"}});
}

struct BannerRecorder : ruzave::GADBannerViewDelegate {
    std::vector<std::string> calls;
    void adViewDidReceiveAd(ruzave::GADBannerView&) override { calls.push_back("received"); }
    void adViewDidFailToReceiveAdWithError(ruzave::GADBannerView&, const platform::Error&) override {
        calls.push_back("failed");
    }
};

} // namespace

TEST_CASE_FIXTURE(Direct, "GADMAdURLAdapter: registered with version 1.0.0 and native requests fail with code 11") {
    CHECK(ruzave::GADMAdNetworkAdapter::classIsAdapterClass(kURLAdapter));
    CHECK(adapter->adapterVersion() == std::optional<std::string>("1.0.0"));
    CHECK(adapter->networkExtrasClass() == std::optional<std::string>("GADExtras"));
    CHECK(adapter->CSIIdentifier() == -1);
    CHECK(adapter->requestedAdType() == 0);
    for (std::int32_t animation : {0, 3, 9}) CHECK(adapter->isBannerAnimationOK(animation));
    adapter->getNativeAdWithAdTypes({"1"}, {});
    REQUIRE(connector->errors.size() == 1);
    CHECK(connector->errors[0].code == 11);
    CHECK(connector->errors[0].description == "Request for native ad fetching isn't implemented.");
}

TEST_CASE_FIXTURE(Direct, "GADMAdURLAdapter: a second get fails with code 0 and leaves the first inner object") {
    adapter->getBannerWithSize(ruzave::kGADAdSizeBanner);
    auto banner = adapter->banner();
    REQUIRE(banner);
    CHECK(adapter->requestedAdType() == 1);
    CHECK_FALSE(banner->slot()->reloadable());
    CHECK(banner->adUnitID().empty());
    adapter->getInterstitial();
    adapter->getBannerWithSize(ruzave::kGADAdSizeMediumRectangle);
    REQUIRE(connector->errors.size() == 2);
    for (const auto& e : connector->errors) {
        CHECK(e.code == 0);
        CHECK(e.description == "Adapter already initialized. Please create new instance.");
        CHECK(e.domain.size() > std::string(".GADMAdURLAdapter").size());
        CHECK(e.domain.substr(e.domain.size() - std::string(".GADMAdURLAdapter").size()) == ".GADMAdURLAdapter");
    }
    CHECK(adapter->banner() == banner);
    CHECK_FALSE(adapter->interstitial());
    CHECK(ruzave::GADAdSizeEqualToSize(banner->adSize(), ruzave::kGADAdSizeBanner));
}

TEST_CASE_FIXTURE(Direct, "GADMAdURLAdapter: banner parameters carry the format and frames and smart entries only for full width") {
    adapter->getBannerWithSize(ruzave::kGADAdSizeBanner);
    platform::Value p = adapter->buildRequestParameters();
    CHECK(p.size() == 6);
    CHECK(p["ruzave-ad-url-mediation"] == "1");
    CHECK(p["data"] == platform::Value{{"k", "v"}, {"n", 3}});
    CHECK((p["lat"] == "0" || p["lat"] == "1"));
    CHECK(p["request_id"] == "");
    const platform::Value& r = p["request_param"];
    CHECK(r["format"] == "banner");
    CHECK(r["ad_frame"]["w"] == 320);
    CHECK(r["ad_frame"]["h"] == 50);
    CHECK(r.contains("ad_bounds"));
    CHECK_FALSE(r.contains("smart_w"));
    CHECK_FALSE(r.contains("smart_h"));

    auto smartConnector = RecordingConnector::make(kURLAdapter, platform::Value::object());
    auto smart = urlAdapter(smartConnector);
    smart->getBannerWithSize(ruzave::kGADAdSizeSmartBannerPortrait);
    REQUIRE(smart->banner());
    platform::Value s = smart->buildRequestParameters()["request_param"];
    CHECK(s["smart_w"] == "full");
    CHECK(s["smart_h"] == "auto");

    auto fullConnector = RecordingConnector::make(kURLAdapter, platform::Value::object());
    auto full = urlAdapter(fullConnector);
    full->getInterstitial();
    REQUIRE(full->interstitial());
    CHECK(full->requestedAdType() == 2);
    platform::Value i = full->buildRequestParameters()["request_param"];
    CHECK(i["format"] == "interstitial_mb");
    CHECK_FALSE(i.contains("ad_frame"));
    CHECK_FALSE(i.contains("ad_bounds"));
}

TEST_CASE_FIXTURE(Direct, "GADMAdURLAdapter: the core controller's queue reads the main-thread snapshot with its request id") {
    adapter->getBannerWithSize(ruzave::kGADAdSizeBanner);
    // The core controller may already be asking; what matters is what another thread reads.
    std::optional<platform::Value> read;
    std::thread queue([&] {
        adapter->setRequestID("77");
        read = adapter->requestParameters();
    });
    queue.join();
    REQUIRE(read);
    CHECK((*read)["request_id"] == "77");
    CHECK((*read)["request_param"]["format"] == "banner");
    CHECK((*read)["request_param"]["ad_frame"]["w"] == 320);
    CHECK(adapter->requestID() == "77");
    CHECK(adapter->isWaitingForRequestID("77"));
    CHECK_FALSE(adapter->isWaitingForRequestID("76"));
}

TEST_CASE_FIXTURE(Direct, "GADMAdURLAdapter: adid is empty without the service or with tracking limited") {
    auto manager = platform::AdvertisingIdentifierManager::sharedManager();
    REQUIRE(manager);
    manager->setAdvertisingIdentifierForTesting("0B0B0B0B-1111-2222-3333-444444444444");
    manager->setAdvertisingTrackingEnabledForTesting(true);
    adapter->getBannerWithSize(ruzave::kGADAdSizeBanner);
    CHECK(adapter->buildRequestParameters()["adid"] == "0B0B0B0B-1111-2222-3333-444444444444");

    manager->setAdvertisingTrackingEnabledForTesting(false);
    platform::Value limited = adapter->buildRequestParameters();
    CHECK(limited["adid"] == "");
    CHECK(limited["lat"] == "1");

    manager->setAdvertisingTrackingEnabledForTesting(true);
    REQUIRE(platform::ClassRegistry::unregisterClass(platform::AdvertisingIdentifierManager::className));
    platform::Value absent = adapter->buildRequestParameters();
    platform::AdvertisingIdentifierManager::registerClass();
    CHECK(absent["adid"] == "");
    CHECK(absent["ruzave-ad-url-mediation"] == "1");
}

TEST_CASE_FIXTURE(platform::testing::Harness, "GADMAdURLAdapter: the core page's failures give codes 1 3 4 5 only with an inner object") {
    struct Case {
        std::function<void(GADMAdURLAdapter&)> answer;
        long code;
        std::string message;
    };
    const std::vector<Case> cases = {
        {[](GADMAdURLAdapter& a) { a.loadAdURLWithParameters(platform::Value{{"url", "https://x.example/"}}); }, 1,
         "Adapter can't load ad URL."},
        {[](GADMAdURLAdapter& a) { a.loadAd(nullptr, std::nullopt); }, 3, "Ad received is empty."},
        {[](GADMAdURLAdapter& a) { a.invalidJavaScriptRequest(); }, 4, "Failed to load ad. Check network connection."},
        {[](GADMAdURLAdapter& a) { a.failedJavaScriptFile(); }, 5, "Failed to load ad. Check network connection."},
    };
    for (const auto& entry : cases) {
        CAPTURE(entry.code);
        auto idle = RecordingConnector::make(kURLAdapter, platform::Value::object());
        entry.answer(*urlAdapter(idle));
        CHECK(idle->events.empty());

        auto c = RecordingConnector::make(kURLAdapter, platform::Value::object());
        auto a = urlAdapter(c);
        a->getInterstitial();
        entry.answer(*a);
        // A second answer to the same request is not a second outcome.
        entry.answer(*a);
        REQUIRE(c->errors.size() == 1);
        CHECK(c->errors[0].code == entry.code);
        CHECK(c->errors[0].description == entry.message);
    }
}

TEST_CASE_FIXTURE(Direct, "GADMAdURLAdapter: after stopBeingDelegate a late ad is not loaded and nothing is reported") {
    adapter->getBannerWithSize(ruzave::kGADAdSizeBanner);
    adapter->setRequestID("5");
    adapter->stopBeingDelegate();
    CHECK_FALSE(adapter->shouldRespondToSDKCore());
    CHECK_FALSE(adapter->isWaitingForRequestID("5"));
    CHECK_FALSE(adapter->banner()->delegate());
    adapter->loadAd(bannerAd(), platform::Value::object());
    adapter->failedJavaScriptFile();
    CHECK_FALSE(adapter->banner()->slot()->isMakingRequest());
    runUntil([] { return false; }, 0.2);
    CHECK(connector->events.empty());
}

TEST_CASE_FIXTURE(Direct, "GADMAdURLAdapter: the fetched ad is given once and a later load of the inner slot does not reuse it") {
    auto controller = platform::ViewController::create();
    adapter->getBannerWithSize(ruzave::kGADAdSizeBanner);
    auto banner = adapter->banner();
    banner->setRootViewController(controller);
    adapter->loadAd(bannerAd(), platform::Value{{"X-Test", "1"}});
    auto slot = banner->slot();
    auto first = slot->loadingAd() ? slot->loadingAd() : slot->ad();
    REQUIRE(first);
    CHECK(first->adHTML() == kAdHTML);
    // Neither the request the slot ran nor the one it would run next still carries the ad.
    CHECK_FALSE(slot->request()->adNetworkExtrasFor("GADExtras"));
    REQUIRE(slot->nextRequest());
    CHECK_FALSE(slot->nextRequest()->adNetworkExtrasFor("GADExtras"));
    REQUIRE(runUntil([&] { return slot->state() == ruzave::GADSlotStateValidAd; }, 10));
    slot->loadNextRequestWithAutoRefresh(false);
    CHECK(slot->state() == ruzave::GADSlotStateRequestingAdURL);
    CHECK(slot->loadingAd() != first);
}

TEST_CASE_FIXTURE(platform::testing::Harness, "GADMAdURLAdapter: the core page fills an ad-URL network of a mediated banner") {
    registerAdapters();
    adserver::CorePageScenario scenario;
    scenario.slots["outer"] = adserver::CorePageScenario::answer(adserver::CorePageScenario::Answer::AdURL);
    scenario.fallback = adserver::CorePageScenario::answer(adserver::CorePageScenario::Answer::Ad);
    scenario.fallback.fetchedAdJSON =
        platform::Value{{"ad_html", kAdHTML}, {"ad_base_url", "https://ads.ruzave.example/"}}.dump();
    auto server = sdkcoretest::startCoreServer(scenario);
    for (const char* path : {"/nofill", "/imp"}) server->route(path, adserver::Response::html("", 200));
    const std::string config = R"({"qdata":"u","ad_networks":[{"id":"U","adapters":["GADMAdURLAdapter"],)"
                               R"("data":{"k":"v"}}]})";
    server->routeHost(ruzave::GADHosts::kAdServerHost, "/mads/gma", [config](const adserver::Request&) {
        return adserver::Response::json(config).header("X-Zudo-Mediation", "1");
    });
    platform::Application::sharedApplication()->setApplicationState(platform::ApplicationState::Active);
    auto window = platform::Window::create();
    auto controller = platform::ViewController::create();
    window->setRootViewController(controller);
    window->makeKeyAndVisible();
    auto delegate = std::make_shared<BannerRecorder>();
    auto banner = ruzave::GADBannerView::initWithAdSize(ruzave::kGADAdSizeBanner);
    controller->view()->addSubview(banner);
    banner->setRootViewController(controller);
    banner->setDelegate(delegate);
    banner->setAdUnitID("outer");
    banner->loadRequest(ruzave::GADRequest::request());

    REQUIRE(sdkcoretest::pump(*this, [&] { return !delegate->calls.empty(); }, 30));
    CHECK(delegate->calls == std::vector<std::string>{"received"});
    CHECK(banner->adNetworkClassName() == std::optional<std::string>(kURLAdapter));
    // One ad fetch: the outer banner's mediation answer; the network's ad came from the page itself.
    CHECK(server->requestCount("/mads/gma") == 1);
    auto adapter = urlAdapter(banner->slot()->mediationManager()->receivedConnector());
    REQUIRE(adapter);
    REQUIRE(adapter->banner());
    CHECK(banner->mediatedAdView() == adapter->banner());
    REQUIRE(adapter->banner()->adView());

    auto page = ruzave::GADSDKCoreController::sharedInstance()->activeSDKCoreWebView()->adView();
    REQUIRE(page);
    CHECK(page->evaluate("ZUDO_requests.length") == "2");
    CHECK(page->evaluate("ZUDO_requests[1]['ruzave-ad-url-mediation']") == "1");
    CHECK(page->evaluate("ZUDO_requests[1].request_param.format") == "banner");
    CHECK(page->evaluate("ZUDO_requests[1].data.k") == "v");
    CHECK(page->evaluate("ZUDO_requests[1].request_id") == adapter->requestID());
    CHECK(page->evaluate("typeof ZUDO_requests[1].adid") == "string");
    REQUIRE(sdkcoretest::pump(*this, [&] { return server->requestCount("/imp") >= 1; }, 20));
    CHECK(server->requests("/imp")[0].param("ad_network_id") == "U");
    platform::NetworkConfiguration::sharedInstance()->reset();
}
