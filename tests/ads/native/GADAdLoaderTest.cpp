#include <doctest/doctest.h>

#include "ads/core/public/GADRequest.h"
#include "ads/core/slot/GADSlot.h"
#include "ads/core/util/GADLog.h"
#include "platform/runloop/DispatchQueue.h"
#include "ads/mediation/GADCustomEventNativeAd.h"
#include "ads/mediation/GADCustomEventNativeAdDelegate.h"
#include "ads/native/GADAdLoader.h"
#include "ads/native/GADMediatedNativeContentAd.h"
#include "platform/foundation/ClassRegistrar.h"
#include "ads/native/GADAdLoaderAdTypes.h"
#include "ads/native/GADAdPreprocessor.h"
#include "ads/native/GADCorrelatorAdLoaderOptions.h"
#include "ads/core/public/GADCorrelator.h"
#include "ads/native/GADAdLoaderConfiguration.h"
#include "ads/native/GADNativeAdAttribution.h"
#include "ads/native/GADNativeAdImage.h"
#include "platform/ui/Image.h"
#include "ads/native/GADNativeAdImageAdLoaderOptions.h"
#include "ads/native/GADNativeAppInstallAd.h"
#include "ads/native/GADNativeContentAd.h"
#include "ads/native/GADNativeContentAdView.h"
#include "ads/native/GADNativeCustomTemplateAd.h"
#include "ads/render/GADAdView.h"
#include "platform/base/Log.h"
#include "platform/foundation/NotificationCenter.h"
#include "platform/ui/Application.h"
#include "platform/testing/ui/TouchInjector.h"
#include "platform/ui/ViewController.h"
#include "platform/ui/Window.h"
#include "tests/ads/core/sdkcore/SDKCoreTestSupport.h"
#include "tests/ads/native/NativeTestSupport.h"

using ruzave::GADAdLoader;

namespace {

constexpr const char* kAdPath = "/mads/gma";

// A publisher's native custom event: delivers a content ad of its own network from inside its request.
struct NetworkContentAd : ruzave::GADMediatedNativeContentAd {
    std::optional<std::string> headline() const override { return "From the network"; }
    std::optional<std::string> body() const override { return "Network body"; }
};

class TestNativeEvent : public ruzave::GADCustomEventNativeAd {
  public:
    static inline std::vector<std::string> seenTypes;
    void requestNativeAdWithParameter(const std::optional<std::string>&, const std::shared_ptr<ruzave::GADCustomEventRequest>&,
                                      const std::vector<std::string>& adTypes,
                                      const std::vector<std::shared_ptr<ruzave::GADAdLoaderOptions>>&,
                                      const std::shared_ptr<platform::ViewController>&) override {
        seenTypes = adTypes;
        if (auto d = delegate()) d->customEventNativeAdDidReceiveMediatedNativeAd(*this, std::make_shared<NetworkContentAd>());
    }
};

const platform::ClassRegistrar<TestNativeEvent, ruzave::GADCustomEventNativeAd> nativeEvent("TestNativeEvent",
                                                                                           {"GADCustomEventNativeAd"});

struct ContentOnly : ruzave::GADNativeContentAdLoaderDelegate {
    std::vector<std::shared_ptr<ruzave::GADNativeContentAd>> ads;
    std::vector<platform::Error> errors;
    void adLoaderDidFailToReceiveAdWithError(GADAdLoader&, const platform::Error& e) override { errors.push_back(e); }
    void adLoaderDidReceiveNativeContentAd(GADAdLoader&, const std::shared_ptr<ruzave::GADNativeContentAd>& ad) override {
        ads.push_back(ad);
    }
    std::size_t calls() const { return ads.size() + errors.size(); }
};

struct Both : ContentOnly, ruzave::GADNativeAppInstallAdLoaderDelegate {
    std::vector<std::shared_ptr<ruzave::GADNativeAppInstallAd>> appAds;
    void adLoaderDidFailToReceiveAdWithError(GADAdLoader& l, const platform::Error& e) override {
        ContentOnly::adLoaderDidFailToReceiveAdWithError(l, e);
    }
    void adLoaderDidReceiveNativeAppInstallAd(GADAdLoader&, const std::shared_ptr<ruzave::GADNativeAppInstallAd>& ad) override {
        appAds.push_back(ad);
    }
    std::size_t calls() const { return ContentOnly::calls() + appAds.size(); }
};

struct TemplateReceiver : ruzave::GADNativeCustomTemplateAdLoaderDelegate {
    std::vector<std::shared_ptr<ruzave::GADNativeCustomTemplateAd>> ads;
    std::vector<platform::Error> errors;
    void adLoaderDidFailToReceiveAdWithError(GADAdLoader&, const platform::Error& e) override {
        errors.push_back(e);
    }
    platform::Value nativeCustomTemplateIDsForAdLoader(GADAdLoader&) override {
        return platform::Value::array({10045});
    }
    void adLoaderDidReceiveNativeCustomTemplateAd(
        GADAdLoader&, const std::shared_ptr<ruzave::GADNativeCustomTemplateAd>& ad) override {
        ads.push_back(ad);
    }
};

// The whole road: the core page, the ad server's native answer, the support page and the pictures.
struct Road : platform::testing::Harness {
    std::unique_ptr<adserver::AdServer> server;
    std::shared_ptr<platform::ViewController> controller = platform::ViewController::create();
    std::shared_ptr<Both> delegate = std::make_shared<Both>();
    std::shared_ptr<GADAdLoader> loader;
    std::string base = std::string("https://") + ruzave::GADHosts::kAdServerHost;

    explicit Road(std::vector<std::string> types = {"1", "2"}) {
        server = sdkcoretest::startCoreServer();
        adserver::NativeAds::installSupportPage(*server);
        adserver::NativeAds::installPictures(*server);
        platform::Application::sharedApplication()->setApplicationState(platform::ApplicationState::Active);
        loader = GADAdLoader::initWithAdUnitID("native-unit", controller, types, {});
        REQUIRE(loader);
        // Both takes content and app-install ads, not custom templates.
        loader->setDelegate(delegate);
        if (std::find(types.begin(), types.end(), "3") == types.end()) REQUIRE(loader->delegate() == delegate);
    }
    ~Road() { platform::NetworkConfiguration::sharedInstance()->reset(); }
    void answer(const std::string& json) {
        server->routeHost(ruzave::GADHosts::kAdServerHost, kAdPath,
                          [json](const adserver::Request&) { return adserver::NativeAds::nativeResponse(json); });
    }
    bool load(std::size_t calls = 1, double seconds = 30) {
        loader->loadRequest(ruzave::GADRequest::request());
        return sdkcoretest::pump(*this, [&] { return delegate->calls() >= calls; }, seconds);
    }
};

} // namespace

TEST_CASE("GADAdLoader: ad types map to classes and unknown ones to errors") {
    CHECK(ruzave::GADClassForAdLoaderAdType("2") == "GADNativeAppInstallAd");
    platform::Error error;
    CHECK_FALSE(ruzave::GADClassForAdLoaderAdType("4", &error));
    CHECK(error.code == 12);
    CHECK(error.description == "Invalid ad format requested: \"4\".");
    CHECK_FALSE(ruzave::GADNativeAdClassForFormat("banner", 1, &error));
    CHECK(error.description == "Invalid ad format: \"banner\", 1.");
}

TEST_CASE("GADURLsFromWhitespaceSeparatedString: every white space and line break separates URLs") {
    auto strings = [](const std::string& text) {
        std::vector<std::string> out;
        for (const auto& url :
             ruzave::GADURLsFromWhitespaceSeparatedString(text).value_or(std::vector<platform::URL>{}))
            out.push_back(url.absoluteString());
        return out;
    };
    CHECK(strings(" https://a.example/1\t\thttps://b.example/2  ") ==
          std::vector<std::string>{"https://a.example/1", "https://b.example/2"});
    CHECK(strings("https://a.example/1\nhttps://b.example/2\r\nhttps://c.example/3\fhttps://d.example/4\v") ==
          std::vector<std::string>{"https://a.example/1", "https://b.example/2", "https://c.example/3",
                                   "https://d.example/4"});
    // No-break space and the line separator are white space too; a stray byte is not.
    CHECK(strings("https://a.example/1\u00a0https://b.example/2\u2028https://c.example/3") ==
          std::vector<std::string>{"https://a.example/1", "https://b.example/2", "https://c.example/3"});
    CHECK(strings("https://a.example/1 \xC3 https://b.example/2\x85https://c.example/3") ==
          std::vector<std::string>{"https://a.example/1"});
    CHECK_FALSE(ruzave::GADURLsFromWhitespaceSeparatedString(" \t\r\n "));
    CHECK_FALSE(ruzave::GADURLsFromWhitespaceSeparatedString(""));
}

TEST_CASE_FIXTURE(platform::testing::Harness, "GADAdLoader: the configuration refuses unknown types and keeps one option of each kind") {
    platform::LogCapture log;
    CHECK_FALSE(ruzave::GADAdLoaderConfiguration::initWithAdTypes({"1", "4"}, {}));
    CHECK_FALSE(ruzave::GADAdLoaderConfiguration::initWithAdTypes({}, {}));
    auto first = std::make_shared<ruzave::GADNativeAdImageAdLoaderOptions>();
    first->shouldRequestMultipleImages = true;
    auto second = std::make_shared<ruzave::GADNativeAdImageAdLoaderOptions>();
    auto config = ruzave::GADAdLoaderConfiguration::initWithAdTypes({"1", "2"}, {first, second, nullptr});
    REQUIRE(config);
    CHECK(config->adTypeClasses() == std::vector<std::string>{"GADNativeContentAd", "GADNativeAppInstallAd"});
    REQUIRE(config->options().size() == 1);
    auto kept = std::dynamic_pointer_cast<ruzave::GADNativeAdImageAdLoaderOptions>(config->options()[0]);
    REQUIRE(kept);
    CHECK(kept->shouldRequestMultipleImages);
    CHECK(kept != first); // a copy
    ruzave::GADLoggingQueue()->sync([] {});
    CHECK(log.contains("Options already provided for"));
    CHECK(log.contains("Error: Invalid ad loader option will be ignored"));
}

TEST_CASE_FIXTURE(platform::testing::Harness, "GADAdLoader: a delegate missing a requested type's protocol is not taken") {
    auto loader = GADAdLoader::initWithAdUnitID("u", nullptr, {"1", "2"}, {});
    auto both = std::make_shared<Both>();
    loader->setDelegate(both);
    auto contentOnly = std::make_shared<ContentOnly>();
    loader->setDelegate(contentOnly);
    CHECK(loader->delegate() == both);
    loader->setDelegate(nullptr);
    CHECK_FALSE(loader->delegate());
    CHECK(loader->frame().size.width == 320);
    CHECK(loader->frame().size.height == 50);
}

TEST_CASE_FIXTURE(platform::testing::Harness, "GADAdLoader: without usable ad types every load fails later with code 0") {
    auto loader = GADAdLoader::initWithAdUnitID("u", nullptr, {"1", "4"}, {});
    auto d = std::make_shared<ContentOnly>();
    loader->setDelegate(d);
    loader->loadRequest(ruzave::GADRequest::request());
    loader->loadRequest(ruzave::GADRequest::request());
    CHECK(d->errors.empty());
    runUntilIdle();
    REQUIRE(d->errors.size() == 2);
    CHECK(d->errors[0].code == 0);
    CHECK(d->errors[0].description == "Must specify at least one ad type.");
}

TEST_CASE_FIXTURE(platform::testing::Harness, "GADAdLoader: the slot gets a native copy of the request with one format per type") {
    ruzave::GADSlot::setAdURLBuilder([](const std::shared_ptr<ruzave::GADSlot>&) {});
    platform::Application::sharedApplication()->setApplicationState(platform::ApplicationState::Active);
    auto loader = GADAdLoader::initWithAdUnitID("u", nullptr, {"2", "1"}, {});
    auto request = ruzave::GADRequest::request();
    loader->loadRequest(request);
    auto sent = loader->slot()->request();
    REQUIRE(sent);
    CHECK(sent != request);
    CHECK(sent->responseType() == 3);
    CHECK(*sent->formatParameters() == platform::Value::array({{{"format", 2}}, {{"format", 1}}}));
    CHECK_FALSE(request->formatParameters());
    ruzave::GADSlot::setAdURLBuilder(nullptr);
}

TEST_CASE_FIXTURE(platform::testing::Harness, "GADAdLoader: the correlator option puts the loader into the page view") {
    ruzave::GADSlot::setAdURLBuilder([](const std::shared_ptr<ruzave::GADSlot>&) {});
    platform::Application::sharedApplication()->setApplicationState(platform::ApplicationState::Active);
    auto correlator = ruzave::GADCorrelator::init();
    auto option = std::make_shared<ruzave::GADCorrelatorAdLoaderOptions>();
    option->correlator = correlator;
    // A copy shares the correlator itself.
    auto copied = std::dynamic_pointer_cast<ruzave::GADCorrelatorAdLoaderOptions>(option->copyOptions());
    REQUIRE(copied);
    CHECK(copied->correlator == correlator);

    auto loader = GADAdLoader::initWithAdUnitID("u", nullptr, {"1"}, {option});
    REQUIRE(loader);
    CHECK(loader->slot()->correlator() == correlator);
    loader->loadRequest(ruzave::GADRequest::request());
    auto p = loader->slot()->requestParameters();
    REQUIRE(p);
    CHECK((*p)["correlation_id"] == correlator->correlationID());

    // Without the option, or with unusable ad types, the slot has none.
    CHECK_FALSE(GADAdLoader::initWithAdUnitID("u", nullptr, {"1"}, {})->slot()->correlator());
    CHECK_FALSE(GADAdLoader::initWithAdUnitID("u", nullptr, {"9"}, {option})->slot()->correlator());
    ruzave::GADSlot::setAdURLBuilder(nullptr);
}

TEST_CASE_FIXTURE(Road, "GADAdLoader: a content ad arrives with its pictures, attribution, click and impression") {
    answer(adserver::NativeAds::contentAdResponse(base));
    REQUIRE(load());
    REQUIRE(delegate->ads.size() == 1);
    CHECK(delegate->errors.empty());
    auto ad = delegate->ads[0];
    CHECK(ad->headline() == "Fresh bread daily");
    CHECK(ad->images().size() == 1); // one picture unless multiple images are asked for
    REQUIRE(ad->images()[0]->image());
    CHECK(ad->images()[0]->image()->pixelWidth() == 32);
    REQUIRE(ad->logo()->image());
    REQUIRE(ad->attribution()->icons());
    CHECK(ad->attribution()->icons()->size() == 1);
    CHECK(ad->adUnitID() == "native-unit");
    CHECK(ad->rootViewController() == controller);
    CHECK(loader->pendingNativeAdCount() == 0);
    CHECK(loader->pendingPreprocessorCount() == 0);
    // The processed JSON is what the ad holds.
    CHECK((*ad->adConfiguration())["processed_by"] == "native_ads");

    // Shown in the app's own view: laid out on screen, it records the impression; a finger on the
    // headline is a click with its place.
    auto window = platform::Window::create();
    window->setRootViewController(controller);
    window->makeKeyAndVisible();
    auto adView = ruzave::GADNativeContentAdView::initWithFrame({{0, 100}, {320, 200}});
    auto headline = platform::View::create({{10, 10}, {200, 30}});
    adView->addSubview(headline);
    adView->setHeadlineView(headline);
    adView->setNativeContentAd(ad);
    controller->view()->addSubview(adView);
    adView->layoutIfNeeded();
    CHECK(ad->hasRecordedImpression());
    REQUIRE(platform::TouchInjector::tap({20, 120}, window));
    REQUIRE(sdkcoretest::pump(*this, [&] { return server->requestCount("/native/click") == 1; }, 20));
    auto click = server->requests("/native/click")[0];
    CHECK(click.param("x") == "20");
    CHECK(click.param("y") == "20");
    CHECK(click.param("view_width") == "320");
    CHECK(click.param("asset") == "1001");
    ad->recordImpression();
    REQUIRE(sdkcoretest::pump(*this, [&] { return server->requestCount("/native/impression") == 1; }, 20));
    runUntil([] { return false; }, 0.3);
    CHECK(server->requestCount("/native/impression") == 1);
}

TEST_CASE_FIXTURE(Road, "GADAdLoader: an app-install ad arrives with its decoded JPEG icon") {
    answer(adserver::NativeAds::appInstallAdResponse(base));
    REQUIRE(load());
    REQUIRE(delegate->appAds.size() == 1);
    auto ad = delegate->appAds[0];
    CHECK(ad->starRating() == 4.5);
    REQUIRE(ad->icon()->image());
    CHECK(ad->icon()->image()->pixelWidth() == 8);
}

TEST_CASE("GADAdLoader: a template the loader did not ask for is an invalid response") {
    Road road({"1"});
    road.answer(adserver::NativeAds::appInstallAdResponse(road.base));
    REQUIRE(road.load());
    REQUIRE(road.delegate->errors.size() == 1);
    CHECK(road.delegate->errors[0].code == 13);
}

TEST_CASE_FIXTURE(Road, "GADAdLoader: bad native JSON fails exactly once and nothing is kept") {
    std::string many = "{\"ads\":[{\"type\":\"native\",\"template_id\":1,\"headline\":\"h\",\"body\":\"b\",\"images\":[";
    for (int i = 0; i < 10000; ++i) many += std::string(i ? "," : "") + "{\"url\":\"gopher://x.example/" + std::to_string(i) + "\"}";
    many += "]}]}";
    const std::vector<std::pair<std::string, long>> cases = {
        {"{\"ads\":[{\"type\":\"native\",\"template_id\":1}]}", 13},           // missing assets
        {"{\"ads\":[{\"type\":\"native\",\"template_id\":1,\"headline\":5,\"body\":[]}]}", 13},  // wrong types
        {"{\"ads\":\"none\"}", 13},
        {"not json", 13},
        {"{\"ads\":[{\"type\":\"native\",\"template_id\":1,\"headline\":\"h\",\"body\":\"b\","
         "\"attribution\":{\"image\":{\"url\":\"" + base + "/native/img/none.png\"}}}]}", 11},  // a failing badge
    };
    for (const auto& entry : cases) {
        const std::string& json = entry.first;
        const long code = entry.second;
        CAPTURE(json);
        delegate->errors.clear();
        answer(json);
        REQUIRE(load());
        runUntil([] { return false; }, 0.2);
        REQUIRE(delegate->errors.size() == 1);
        CHECK(delegate->errors[0].code == code);
        CHECK(delegate->ads.empty());
        CHECK(loader->pendingNativeAdCount() == 0);
        CHECK(loader->pendingPreprocessorCount() == 0);
    }
    // Ten thousand pictures of another scheme: only the first is kept, it fails, the ad still comes.
    // (On a machine loaded enough to push the support page past its script time limit the load fails
    // instead; either way the delegate hears exactly one outcome.)
    delegate->errors.clear();
    answer(many);
    REQUIRE(load(1, 120));
    for (const auto& e : delegate->errors) MESSAGE(e.description);
    CHECK(delegate->ads.size() + delegate->errors.size() == 1);
}

TEST_CASE_FIXTURE(Road, "GADAdLoader: a support page that never answers fails the load once") {
    // The page only says it was asked, so that the answer's time-out is known to be running.
    server->route(adserver::NativeAds::kSupportPagePath,
                  adserver::Response::html("<html><script>var ruzave={zudo:{nativeAds:{preProcessJsonGmsg:function(){"
                                           "location.href='gmsg://mobileads.ruzave.example/testAsked';}}}};</script></html>"));
    bool asked = false;
    auto center = platform::NotificationCenter::defaultCenter();
    auto token = center->addObserver("testAsked", nullptr, nullptr, [&](const platform::Notification&) { asked = true; });
    answer(adserver::NativeAds::contentAdResponse(base));
    loader->loadRequest(ruzave::GADRequest::request());
    REQUIRE(sdkcoretest::pump(*this, [&] { return asked; }, 20));
    center->removeObserver(token);
    advance(ruzave::GADAdPreprocessor::kAnswerTimeoutSeconds + 0.1);
    REQUIRE(sdkcoretest::pump(*this, [&] { return delegate->calls() == 1; }, 20));
    REQUIRE(delegate->errors.size() == 1);
    CHECK(delegate->errors[0].code == 13);
    advance(60);
    runUntil([] { return false; }, 0.2);
    CHECK(delegate->calls() == 1);
}

TEST_CASE_FIXTURE(Road, "GADAdLoader: a mediated native ad from a custom event reaches the delegate") {
    const std::string config = R"({"qdata":"n","ad_networks":[{"id":"C","adapters":["GADMAdapterCustomEvents"],)"
                               R"("data":{"class_name":"TestNativeEvent","parameter":"p"}}]})";
    server->routeHost(ruzave::GADHosts::kAdServerHost, kAdPath, [config](const adserver::Request&) {
        return adserver::Response::json(config).header("X-Zudo-Mediation", "1");
    });
    REQUIRE(load());
    REQUIRE(delegate->ads.size() == 1);
    auto ad = delegate->ads[0];
    CHECK(ad->headline() == "From the network");
    CHECK(ad->adNetworkClassName() == "GADMAdapterCustomEvents");
    CHECK_FALSE(ad->slot());
    CHECK(TestNativeEvent::seenTypes == std::vector<std::string>{"1", "2"});
    CHECK(loader->pendingNativeAdCount() == 0);
}

TEST_CASE("GADAdLoader: a custom template ad of a requested template arrives, another template does not") {
    Road road({"3"});
    auto receiver = std::make_shared<TemplateReceiver>();
    road.loader->setDelegate(receiver);
    auto answerTemplate = [&](const std::string& id) {
        road.answer("{\"ads\":[{\"type\":\"native\",\"template_id\":3,\"custom_template_id\":\"" + id +
                    "\",\"custom_assets\":[{\"name\":\"Caption\",\"type\":\"string\",\"string_value\":\"Hi\"},"
                    "{\"name\":\"Picture\",\"type\":\"image\",\"image_value\":{\"url\":\"" + road.base +
                    "/native/img/logo.png\"}}]}]}");
    };
    answerTemplate("10045");
    road.loader->loadRequest(ruzave::GADRequest::request());
    REQUIRE(sdkcoretest::pump(road, [&] { return receiver->ads.size() + receiver->errors.size() == 1; }, 30));
    REQUIRE(receiver->ads.size() == 1);
    CHECK(receiver->ads[0]->stringForKey("Caption") == "Hi");
    REQUIRE(receiver->ads[0]->imageForKey("Picture"));
    auto sent = road.loader->slot()->request()->formatParameters();
    REQUIRE(sent);
    CHECK((*sent)[0]["custom_template_ids"] == platform::Value::array({"10045"}));

    answerTemplate("777");
    road.loader->loadRequest(ruzave::GADRequest::request());
    REQUIRE(sdkcoretest::pump(road, [&] { return receiver->errors.size() == 1; }, 30));
    CHECK(receiver->errors[0].code == 13);
}

TEST_CASE("GADAdLoader: the support page runs the click handler of a custom template ad, click after click") {
    Road road({"3"});
    auto receiver = std::make_shared<TemplateReceiver>();
    road.loader->setDelegate(receiver);
    road.answer("{\"ads\":[{\"type\":\"native\",\"template_id\":3,\"custom_template_id\":\"10045\","
                "\"custom_assets\":[{\"name\":\"Caption\",\"type\":\"string\",\"string_value\":\"Hi\"}],"
                "\"tracking_urls_and_actions\":{\"ruzave_click_tracking_url\":\"" +
                road.base + "/native/click\"}}]}");
    road.loader->loadRequest(ruzave::GADRequest::request());
    REQUIRE(sdkcoretest::pump(
        road, [&] { return receiver->ads.size() + receiver->errors.size() == 1; }, 30));
    REQUIRE(receiver->ads.size() == 1);
    auto ad = receiver->ads[0];
    int handled = 0;
    ad->performClickOnAssetWithKey("Caption", [&] { ++handled; });
    REQUIRE(sdkcoretest::pump(
        road, [&] { return handled == 1; }, 20));
    ad->performClickOnAssetWithKey("Caption", [&] { handled += 10; });
    REQUIRE(sdkcoretest::pump(
        road, [&] { return handled == 11; }, 20));
    REQUIRE(sdkcoretest::pump(
        road, [&] { return road.server->requestCount("/native/click") == 2; }, 20));
    CHECK(road.server->requests("/native/click")[0].param("asset") == "Caption");
}
