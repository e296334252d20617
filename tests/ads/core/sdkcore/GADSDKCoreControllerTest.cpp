#include <doctest/doctest.h>

#include <chrono>
#include <typeinfo>

#include "ads/core/sdkcore/GADAdViewActiveViewMonitoring.h"
#include "ads/core/sdkcore/GADSDKConstantsReceiver.h"
#include "ads/core/sdkcore/GADSDKCoreController.h"
#include "ads/core/sdkcore/GADSDKCoreGMSGHandler.h"
#include "ads/core/sdkcore/GADSDKCoreWebView.h"
#include "ads/core/slot/GADAd.h"
#include "ads/core/slot/GADBannerAd.h"
#include "ads/core/slot/GADInterstitialAd.h"
#include "ads/core/slot/GADResponseType.h"
#include "ads/core/telemetry/GADAbsoluteTime.h"
#include "ads/render/GADMRAIDInterceptor.h"
#include "platform/foundation/UserDefaults.h"
#include "platform/web/WebView.h"
#include "tests/ads/core/sdkcore/SDKCoreTestSupport.h"

using adserver::CorePageScenario;
using platform::Value;
using platform::testing::Harness;
using ruzave::GADSDKCoreController;
using sdkcoretest::pump;
using sdkcoretest::Requester;

namespace {

std::shared_ptr<Requester> request(const std::shared_ptr<GADSDKCoreController>& c, const std::string& slot = "unit-a") {
    auto r = std::make_shared<Requester>(slot);
    c->buildAdURL(r);
    return r;
}

std::string pageValue(const std::shared_ptr<GADSDKCoreController>& c, const std::string& script) {
    auto view = c->activeSDKCoreWebView()->adView();
    return view ? view->evaluate(script) : std::string();
}

struct ReceiverSpy : ruzave::GADSDKConstantsReceiver {
    int paths = 0, characterSets = 0, adapters = 0, tokens = 0;
    std::optional<std::string> banner;
    std::optional<std::vector<std::string>> adapterNames;
    void setMRAIDImplementationPaths(const std::optional<std::string>& b, const std::optional<std::string>&,
                                     const std::optional<std::string>&) override {
        ++paths;
        banner = b;
    }
    void updateCharacterSets() override { ++characterSets; }
    void updateAvailableAdapterNamesWithPotentialAdapterNames(const std::optional<std::vector<std::string>>& n) override {
        ++adapters;
        adapterNames = n;
    }
    void refreshSignedInUser() override { ++tokens; }
};

void applyConstants(const std::shared_ptr<GADSDKCoreController>& c, const Value& parameters) {
    auto handler = c->activeSDKCoreWebView()->SDKCoreGMSGHandler();
    c->SDKCoreGMSGHandlerDidLoadSDKConstants(*handler, parameters);
}

std::string setting(const char* name) {
    return platform::UserDefaults::standard()->string(std::string("/ruzave/ads/") + name).value_or("<absent>");
}

} // namespace

TEST_CASE_FIXTURE(Harness, "GADSDKCoreController: the first request loads the page and the constants are asked first") {
    CorePageScenario scenario;
    scenario.constants = {{"ping_interval", "30"}, {"refresh_intervals", "{\"active_view_sampling_interval\":\"0.25\"}"}};
    auto server = sdkcoretest::startCoreServer(scenario);
    auto c = GADSDKCoreController::init();
    CHECK(c->activeSDKCoreWebView()->state() == ruzave::GADSDKCoreWebViewStateIdle);
    auto r = request(c);
    REQUIRE(pump(*this, [&] { return !r->answers.empty() && !c->SDKConstantsNeedReload(); }));
    CHECK(r->answers == std::vector<std::string>{"loadAdURL"});
    CHECK(r->requestIDs() == std::vector<std::string>{"1"});
    const std::string* url = platform::findString(r->adURLParameters, "url");
    REQUIRE(url != nullptr);
    CHECK(url->find("slotname=unit-a") != std::string::npos);
    CHECK(sdkcoretest::pageLoads(*server) == 1);
    // The page heard the constants query before the request.
    CHECK(pageValue(c, "ZUDO_received[0].name") == "getSdkConstants");
    CHECK(pageValue(c, "ZUDO_received[0].data.js") == "zudo-sdk-i-v7.5.2");
    CHECK(pageValue(c, "ZUDO_requests.length") == "1");
    CHECK(setting("ping_interval") == "30");
    CHECK(c->activeViewSamplingInterval() == doctest::Approx(0.25));
    CHECK(c->pendingBuildAdURLDelegateCount() == 0);
}

TEST_CASE_FIXTURE(Harness, "GADSDKCoreController: two requests during a load share it and get ids 1 and 2 in order") {
    auto server = sdkcoretest::startCoreServer();
    auto c = GADSDKCoreController::init();
    auto a = request(c, "unit-a");
    auto b = request(c, "unit-b");
    REQUIRE(pump(*this, [&] { return !a->answers.empty() && !b->answers.empty(); }));
    CHECK(sdkcoretest::pageLoads(*server) == 1);
    CHECK(a->requestIDs() == std::vector<std::string>{"1"});
    CHECK(b->requestIDs() == std::vector<std::string>{"2"});
    CHECK(pageValue(c, "ZUDO_requests[0].slotname + ',' + ZUDO_requests[1].slotname") == "unit-a,unit-b");
    CHECK(pageValue(c, "ZUDO_requests[1].request_id") == "2");
    // A request on the loaded page is sent at once, without another load.
    auto third = request(c, "unit-c");
    REQUIRE(pump(*this, [&] { return !third->answers.empty(); }));
    CHECK(third->requestIDs() == std::vector<std::string>{"3"});
    CHECK(sdkcoretest::pageLoads(*server) == 1);
}

TEST_CASE_FIXTURE(Harness, "GADSDKCoreController: the page is stale only after more than 3,600,000 ms") {
    auto server = sdkcoretest::startCoreServer();
    auto c = GADSDKCoreController::init();
    auto first = request(c);
    REQUIRE(pump(*this, [&] { return !first->answers.empty(); }));
    const std::uint64_t t0 = c->lastWebViewRefreshTimestamp();
    REQUIRE(t0 > 0);
    auto advanceTo = [&](std::uint64_t target) {
        auto now = ruzave::GADAbsoluteTime::absoluteTimeInMilliseconds();
        if (target > now + 5) advance(static_cast<double>(target - now - 5) / 1000.0);
        while (ruzave::GADAbsoluteTime::absoluteTimeInMilliseconds() < target) advance(0.0001);
        REQUIRE(ruzave::GADAbsoluteTime::absoluteTimeInMilliseconds() == target);
    };
    advanceTo(t0 + 3'600'000);
    auto atHour = request(c);
    CHECK(c->lastWebViewRefreshTimestamp() == t0);
    REQUIRE(pump(*this, [&] { return !atHour->answers.empty(); }));
    CHECK(sdkcoretest::pageLoads(*server) == 1);

    // Answering the last request moved the clock on; one more millisecond past the hour is stale.
    if (ruzave::GADAbsoluteTime::absoluteTimeInMilliseconds() < t0 + 3'600'001) advanceTo(t0 + 3'600'001);
    auto late = request(c);
    CHECK(c->lastWebViewRefreshTimestamp() > t0 + 3'600'000);
    REQUIRE(pump(*this, [&] { return !late->answers.empty(); }));
    CHECK(sdkcoretest::pageLoads(*server) == 2);
    CHECK(late->answers == std::vector<std::string>{"loadAdURL"});
    // The reloaded page is asked for the constants again, first.
    CHECK(pageValue(c, "ZUDO_received[0].name") == "getSdkConstants");
}

TEST_CASE_FIXTURE(Harness, "GADSDKCoreController: a failed page fails each waiting requester once and the next request reloads") {
    CorePageScenario broken;
    broken.pageStatus = 500;
    auto server = sdkcoretest::startCoreServer(broken);
    auto c = GADSDKCoreController::init();
    auto a = request(c);
    auto b = request(c);
    REQUIRE(pump(*this, [&] { return a->answers.size() == 1 && b->answers.size() == 1; }));
    CHECK(a->answers == std::vector<std::string>{"failed"});
    CHECK(b->answers == std::vector<std::string>{"failed"});
    CHECK(c->activeSDKCoreWebView()->state() == ruzave::GADSDKCoreWebViewStateFailed);
    CHECK(c->lastWebViewRefreshTimestamp() == 0);
    runUntilIdle();
    CHECK(a->answers.size() == 1);

    adserver::installCorePage(*server, CorePageScenario{});
    auto again = request(c);
    REQUIRE(pump(*this, [&] { return !again->answers.empty(); }));
    CHECK(again->answers == std::vector<std::string>{"loadAdURL"});
    CHECK(sdkcoretest::pageLoads(*server) == 2);
}

TEST_CASE_FIXTURE(Harness, "GADSDKCoreController: a page load that never ends fails after 30 s and the SDK recovers") {
    CorePageScenario slow;
    slow.pageDelayMs = 1500;
    auto server = sdkcoretest::startCoreServer(slow);
    auto c = GADSDKCoreController::init();
    auto r = request(c);
    REQUIRE(runUntil([&] { return sdkcoretest::pageLoads(*server) == 1; }, 10));
    runUntilIdle();
    advance(30.0);
    REQUIRE(runUntil([&] { return !r->answers.empty(); }, 5));
    CHECK(r->answers == std::vector<std::string>{"failed"});
    adserver::installCorePage(*server, CorePageScenario{});
    auto next = request(c);
    REQUIRE(pump(*this, [&] { return !next->answers.empty(); }));
    CHECK(next->answers == std::vector<std::string>{"loadAdURL"});
}

TEST_CASE_FIXTURE(Harness, "GADSDKCoreController: each page answer reaches its requester exactly once") {
    CorePageScenario s;
    s.slots["error"] = CorePageScenario::answer(CorePageScenario::Answer::Error);
    s.slots["invalid"] = CorePageScenario::answer(CorePageScenario::Answer::Invalid);
    s.slots["broken"] = CorePageScenario::answer(CorePageScenario::Answer::BrokenAd);
    s.slots["twice"] = CorePageScenario::answer(CorePageScenario::Answer::Twice);
    s.slots["ad"] = CorePageScenario::answer(CorePageScenario::Answer::Ad);
    s.slots["late"] = CorePageScenario::answer(CorePageScenario::Answer::Late);
    s.slots["late"].lateMs = 5000;
    s.slots["late"].requestScenario = "offline_buffer";
    auto server = sdkcoretest::startCoreServer(s);
    auto c = GADSDKCoreController::init();
    auto error = request(c, "error");
    auto invalid = request(c, "invalid");
    auto broken = request(c, "broken");
    auto twice = request(c, "twice");
    auto ad = request(c, "ad");
    auto late = request(c, "late");
    auto nilParameters = std::make_shared<Requester>();
    nilParameters->setNilParameters();
    c->buildAdURL(nilParameters);
    REQUIRE(pump(*this, [&] {
        for (auto* r : {&error, &invalid, &broken, &twice, &ad, &nilParameters})
            if ((*r)->answers.empty()) return false;
        return true;
    }));
    CHECK(error->answers == std::vector<std::string>{"loadAdURL"});
    CHECK(error->adURLParameters.contains("errors"));
    CHECK(invalid->answers == std::vector<std::string>{"invalid"});
    CHECK(broken->answers == std::vector<std::string>{"invalid"});
    CHECK(ad->answers == std::vector<std::string>{"loadAd"});
    CHECK(nilParameters->answers == std::vector<std::string>{"invalid"});
    CHECK(late->answers.empty());
    advance(5.0);
    REQUIRE(pump(*this, [&] { return !late->answers.empty(); }));
    CHECK(late->answers == std::vector<std::string>{"loadAdURL"});
    CHECK(*platform::findString(late->adURLParameters, "request_scenario") == "offline_buffer");
    pump(*this, [] { return false; }, 0.3);
    CHECK(twice->answers == std::vector<std::string>{"loadAdURL"});
    CHECK(c->pendingBuildAdURLDelegateCount() == 0);
}

TEST_CASE_FIXTURE(Harness, "GADSDKCoreController: pages that never answer, navigate away, send garbage or run forever time out and later requests are served") {
    CorePageScenario s;
    s.slots["none"] = CorePageScenario::answer(CorePageScenario::Answer::None);
    s.slots["away"] = CorePageScenario::answer(CorePageScenario::Answer::NavigateAway);
    s.slots["garbage"] = CorePageScenario::answer(CorePageScenario::Answer::Garbage);
    s.slots["forever"] = CorePageScenario::answer(CorePageScenario::Answer::RunForever);
    auto server = sdkcoretest::startCoreServer(s);
    auto c = GADSDKCoreController::init();
    c->activeSDKCoreWebView();
    auto none = request(c, "none");
    auto away = request(c, "away");
    auto garbage = request(c, "garbage");
    REQUIRE(pump(*this, [&] { return pageValue(c, "ZUDO_requests.length") == "3"; }, 20));
    pump(*this, [] { return false; }, 0.3);
    CHECK(none->answers.empty());
    advance(31.0);
    REQUIRE(runUntil([&] { return !none->answers.empty() && !away->answers.empty() && !garbage->answers.empty(); }, 5));
    for (auto* r : {&none, &away}) CHECK((*r)->answers == std::vector<std::string>{"failed"});
    // Its last message names its id with no ad: a refused request, answered once.
    CHECK(garbage->answers == std::vector<std::string>{"invalid"});
    CHECK(c->activeSDKCoreWebView()->state() == ruzave::GADSDKCoreWebViewStateLoaded);
    // A script that runs forever stops the page at once: what it was asked fails without waiting for
    // the timeout, and the next request loads the page again.
    auto started = std::chrono::steady_clock::now();
    auto forever = request(c, "forever");
    REQUIRE(pump(*this, [&] { return !forever->answers.empty(); }, 20));
    CHECK(forever->answers == std::vector<std::string>{"failed"});
    CHECK(std::chrono::steady_clock::now() - started < std::chrono::seconds(10));
    CHECK(c->activeSDKCoreWebView()->state() == ruzave::GADSDKCoreWebViewStateFailed);
    auto next = request(c, "fine");
    REQUIRE(pump(*this, [&] { return !next->answers.empty(); }));
    CHECK(next->answers == std::vector<std::string>{"loadAdURL"});
}

TEST_CASE_FIXTURE(Harness, "GADSDKCoreController: answers reach only a requester still waiting for that request id") {
    CorePageScenario s;
    s.slots["ad"] = CorePageScenario::answer(CorePageScenario::Answer::Ad);
    s.slots["invalid"] = CorePageScenario::answer(CorePageScenario::Answer::Invalid);
    s.slots["none"] = CorePageScenario::answer(CorePageScenario::Answer::None);
    auto server = sdkcoretest::startCoreServer(s);
    auto c = GADSDKCoreController::init();
    // A requester that has started over since these were sent (a slot with a newer request).
    std::vector<std::shared_ptr<Requester>> moved;
    for (const char* slot : {"ad", "invalid", "none", "url"}) {
        auto r = std::make_shared<Requester>(slot);
        r->waiting = false;
        c->buildAdURL(r);
        moved.push_back(r);
    }
    auto nilParameters = std::make_shared<Requester>();
    nilParameters->setNilParameters();
    nilParameters->waiting = false;
    c->buildAdURL(nilParameters);
    auto current = request(c, "url");
    REQUIRE(pump(*this, [&] { return !current->answers.empty() && c->pendingBuildAdURLDelegateCount() == 1; }));
    CHECK(current->answers == std::vector<std::string>{"loadAdURL"});
    CHECK(current->askedWaiting == current->requestIDs());
    advance(31.0);  // "none" times out
    REQUIRE(runUntil([&] { return c->pendingBuildAdURLDelegateCount() == 0; }, 5));
    runUntilIdle();
    for (const auto& r : moved) {
        CHECK(r->answers.empty());
        // Each was asked about its own id, once.
        CHECK(r->askedWaiting == r->requestIDs());
    }
    CHECK(nilParameters->answers.empty());
    CHECK(nilParameters->askedWaiting == nilParameters->requestIDs());
}

TEST_CASE_FIXTURE(Harness, "GADSDKCoreController: the page has the SDK fetch its ad, and a failed fetch refuses the request") {
    CorePageScenario s;
    s.fallback = CorePageScenario::answer(CorePageScenario::Answer::Fetch);
    auto server = sdkcoretest::startCoreServer(s);
    server->route("/mads/gma", [](const adserver::Request& q) {
        if (q.param("slotname") == "broken") return adserver::Response::html("<p>server error</p>", 500);
        return adserver::Response::html("<p>fetched " + q.param("request_id") + "</p>").header("x-zudo-use-https", "0");
    });
    auto c = GADSDKCoreController::init();
    auto ok = request(c, "ok");
    auto broken = request(c, "broken");
    REQUIRE(pump(*this, [&] { return !ok->answers.empty() && !broken->answers.empty(); }));
    CHECK(ok->answers == std::vector<std::string>{"loadAd"});
    REQUIRE(ok->lastAd != nullptr);
    CHECK(ok->lastAd->adHTML().value_or("<none>") == "<p>fetched " + ok->requestIDs().at(0) + "</p>");
    // A 500 page is no successful fetch.
    CHECK(broken->answers == std::vector<std::string>{"invalid"});
    CHECK(pageValue(c, "(function () { for (var i = 0; i < ZUDO_received.length; i++) {"
                       " var d = ZUDO_received[i].data; if (d && d.success === 'false') return String(d.response.response_code);"
                       " } return 'none'; })()") == "500");
    // What the page fetches sets nothing process-wide.
    CHECK(!platform::UserDefaults::standard()->object("/ruzave/ads/use_https"));
    CHECK(c->pendingBuildAdURLDelegateCount() == 0);
}

TEST_CASE_FIXTURE(Harness, "GADSDKCoreController: mediation parameters call the adapter-less function") {
    auto server = sdkcoretest::startCoreServer();
    auto c = GADSDKCoreController::init();
    auto r = std::make_shared<Requester>("med");
    r->setParameter("ruzave-ad-url-mediation", "1");
    r->setParameter("odd", "line\xE2\x80\xA8sep");
    c->buildAdURL(r);
    REQUIRE(pump(*this, [&] { return !r->answers.empty(); }));
    CHECK(platform::findString(r->adURLParameters, "url")->find("mediation=1") != std::string::npos);
    CHECK(pageValue(c, "ZUDO_requests[0].odd") == "line\xE2\x80\xA8sep");
}

TEST_CASE_FIXTURE(Harness, "GADSDKCoreController: constants of the wrong type are skipped and later requests are served") {
    CorePageScenario s;
    s.constants = {{"refresh_intervals", "[1,2]"},
                   {"whitelisted_ad_request_domains", "{\"a\":1}"},
                   {"active_view_unload_cache_size", "lots"},
                   {"clickthrough_confirm_schemes", "not json"}};
    auto server = sdkcoretest::startCoreServer(s);
    auto c = GADSDKCoreController::init();
    auto r = request(c);
    REQUIRE(pump(*this, [&] { return !r->answers.empty() && !c->SDKConstantsNeedReload(); }));
    CHECK(c->activeViewSamplingInterval() == doctest::Approx(0.4));
    CHECK(c->activeViewUnloadCacheMaxSize() == 3);
    CHECK(!platform::UserDefaults::standard()->object("/ruzave/ads/whitelisted_ad_request_domains"));
    auto next = request(c);
    REQUIRE(pump(*this, [&] { return !next->answers.empty(); }));
    CHECK(next->answers == std::vector<std::string>{"loadAdURL"});
}

TEST_CASE_FIXTURE(Harness, "GADSDKCoreController: settings store plain constants and never remove one") {
    auto c = GADSDKCoreController::init();
    applyConstants(c, Value{{"ping_interval", "30"}, {"prefetch_enabled", "1"}});
    CHECK(setting("ping_interval") == "30");
    applyConstants(c, Value{{"ping_interval", ""}, {"url_time_to_live", 5}});
    CHECK(setting("ping_interval") == "30");
    CHECK(setting("url_time_to_live") == "<absent>");
    CHECK(setting("prefetch_enabled") == "1");
    CHECK(!c->SDKConstantsNeedReload());
}

TEST_CASE_FIXTURE(Harness, "GADSDKCoreController: settings keep string whitelist entries and only usable confirmation schemes") {
    auto c = GADSDKCoreController::init();
    auto defaults = platform::UserDefaults::standard();
    applyConstants(c, Value{{"whitelisted_ad_request_domains", "[\"a.example\", 5]"}});
    CHECK(defaults->object("/ruzave/ads/whitelisted_ad_request_domains") == Value::array({"a.example"}));
    applyConstants(c, Value{{"whitelisted_ad_request_domains", "[]"}});
    CHECK(defaults->object("/ruzave/ads/whitelisted_ad_request_domains") == Value::array());
    applyConstants(c, Value{{"clickthrough_confirm_schemes", "{\"sms\": 5}"}});
    CHECK(!defaults->object("/ruzave/ads/clickthrough_confirm_schemes"));
    applyConstants(c, Value{{"clickthrough_confirm_schemes", "{\"tel\": \"Call\", \"x\": 5}"}});
    CHECK(defaults->object("/ruzave/ads/clickthrough_confirm_schemes") == Value{{"tel", "Call"}, {"x", 5}});
}

TEST_CASE_FIXTURE(Harness, "GADSDKCoreController: settings applied at once, cache size, redirects and sampling intervals") {
    auto c = GADSDKCoreController::init();
    auto spy = std::make_shared<ReceiverSpy>();
    c->setSDKConstantsReceiver(spy);
    applyConstants(c, Value{{"active_view_unload_cache_size", "0"}, {"mraid_disable_redirect", "true"}});
    CHECK(c->activeViewUnloadCacheMaxSize() == 3);
    CHECK(ruzave::GADMRAIDInterceptor::isAllowed());
    CHECK(spy->paths == 0);
    CHECK(spy->adapters == 1);
    CHECK(!spy->adapterNames);
    applyConstants(c, Value{{"active_view_unload_cache_size", "5"},
                            {"mraid_disable_redirect", "1"},
                            {"use_new_web_views_for_active_view", "YES"},
                            {"mraid_banner_path", "/mraid/b.js"},
                            {"adapter_class_names", "[\"A\",\"B\"]"},
                            {"refresh_intervals", "{\"active_view_sampling_interval\": 0.25, \"swipe_to_view_sampling_interval\": true}"}});
    CHECK(c->activeViewUnloadCacheMaxSize() == 5);
    CHECK(!ruzave::GADMRAIDInterceptor::isAllowed());
    CHECK(c->useNewWebViewsForActiveViewProcessing());
    CHECK(spy->banner == std::optional<std::string>("/mraid/b.js"));
    CHECK(spy->adapterNames == std::optional<std::vector<std::string>>({"A", "B"}));
    CHECK(c->activeViewSamplingInterval() == doctest::Approx(0.25));
    CHECK(c->swipeToViewSamplingInterval() == 0);
    applyConstants(c, Value{{"refresh_intervals", "{broken"}});
    CHECK(c->activeViewSamplingInterval() == doctest::Approx(0.25));
    // The page sends the interval as text too.
    applyConstants(c, Value{{"refresh_intervals", "{\"active_view_sampling_interval\": \"0.5\"}"}});
    CHECK(c->activeViewSamplingInterval() == doctest::Approx(0.5));
    CHECK(spy->characterSets == 4);
    CHECK(spy->tokens == 4);
    CHECK(GADSDKCoreController::stringListFromSetting("A, B,,C") == std::vector<std::string>{"A", "B", "C"});
}

TEST_CASE_FIXTURE(Harness, "GADSDKCoreController: after requestReload the next active-view user gets a new shared web view") {
    auto c = GADSDKCoreController::init();
    auto first = c->SDKCoreWebViewForActiveViewProcessing();
    CHECK(c->SDKCoreWebViewForActiveViewProcessing() == first);
    c->SDKCoreGMSGHandlerDidReceiveSDKCoreUpdateNotification(*c->activeSDKCoreWebView()->SDKCoreGMSGHandler());
    auto second = c->SDKCoreWebViewForActiveViewProcessing();
    CHECK(second != first);
    CHECK(c->SDKCoreWebViewForActiveViewProcessing() == second);
    runUntilIdle();
}

namespace {
struct Monitor : ruzave::GADAdViewActiveViewMonitoring {
    int stops = 0;
    void adViewDidChangeActiveViewVisibility(bool) override {}
    void adViewDidStopActiveViewMonitoring() override { ++stops; }
};
} // namespace

TEST_CASE_FIXTURE(Harness, "GADSDKCoreController: the unload cache keeps the three most recent running web views") {
    auto c = GADSDKCoreController::init();
    applyConstants(c, Value{{"use_new_web_views_for_active_view", "1"}});
    std::vector<std::shared_ptr<ruzave::GADSDKCoreWebView>> views;
    std::vector<std::shared_ptr<Monitor>> monitors;
    for (int i = 0; i < 5; ++i) {
        auto view = c->SDKCoreWebViewForActiveViewProcessing();
        auto monitor = std::make_shared<Monitor>();
        view->setActiveViewObserver(monitor, static_cast<std::uint32_t>(i + 1));
        views.push_back(view);
        monitors.push_back(monitor);
    }
    for (auto& v : views) c->finishedUsingSDKCoreWebViewForActiveViewProcessing(v);
    runUntilIdle();
    CHECK(!views[0]->isActiveViewRunning());
    CHECK(!views[1]->isActiveViewRunning());
    for (int i = 2; i < 5; ++i) CHECK(views[i]->isActiveViewRunning());
    CHECK(monitors[0]->stops == 1);
    CHECK(monitors[1]->stops == 1);
    CHECK(monitors[4]->stops == 0);
}

TEST_CASE_FIXTURE(Harness, "GADSDKCoreController: a fetched ad builds the requested kind, and is_mediation inside it makes a mediation response") {
    Value fetched = Value::object();
    fetched["ad_html"] = "<p>ad</p>";
    fetched["ad_base_url"] = "https://ads.ruzave.example/";
    fetched["refresh_rate"] = 45;
    auto plain = GADSDKCoreController::adWithFetchedAd(fetched, 0);
    auto banner = GADSDKCoreController::adWithFetchedAd(fetched, 1);
    auto interstitial = GADSDKCoreController::adWithFetchedAd(fetched, 2);
    REQUIRE(plain);
    const ruzave::GADAd& plainAd = *plain;
    CHECK(typeid(plainAd) == typeid(ruzave::GADAd));
    REQUIRE(std::dynamic_pointer_cast<ruzave::GADBannerAd>(banner));
    CHECK(banner->reloadInterval() == 45);
    CHECK(std::dynamic_pointer_cast<ruzave::GADInterstitialAd>(interstitial));
    CHECK(banner->adHTML() == std::optional<std::string>("<p>ad</p>"));
    CHECK(banner->responseType() == 0);
    CHECK_FALSE(banner->responseHeaders());
    CHECK_FALSE(GADSDKCoreController::adWithFetchedAd(fetched, 3));
    CHECK_FALSE(GADSDKCoreController::adWithFetchedAd(fetched, -1));

    fetched["is_mediation"] = "1";
    auto mediated = GADSDKCoreController::adWithFetchedAd(fetched, 1);
    REQUIRE(mediated);
    CHECK(mediated->responseType() == ruzave::GADResponseTypeMediation);
    REQUIRE(mediated->responseHeaders());
    CHECK((*mediated->responseHeaders())["x-zudo-mediation"] == 1);
    CHECK((*mediated->responseHeaders())["Content-Type"] == "application/json");
    fetched["is_mediation"] = false;
    CHECK(GADSDKCoreController::adWithFetchedAd(fetched, 1)->responseType() == 0);
}
