// The main road end to end: a banner view asks the SDK-core page served by the local ad server over
// TLS for its ad URL, fetches the ad from the same server and shows it. Then the app's own requests
// against what its creatives load, and against what they make the SDK send for them: hanging on the
// same hosts, or on hosts of their own by the thousand.
#include <doctest/doctest.h>

#include <fcntl.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "ads/core/net/GADClickTrackerCollection.h"
#include "ads/core/public/GADAdSize.h"
#include "ads/core/public/GADBannerView.h"
#include "ads/core/public/GADBannerViewDelegate.h"
#include "ads/core/public/GADRequest.h"
#include "ads/core/public/GADRequestError.h"
#include "ads/core/sdkcore/GADHosts.h"
#include "ads/core/slot/GADSlot.h"
#include "ads/native/GADDefaultInAppPurchase.h"
#include "ads/render/GADAdView.h"
#include "ads/render/GADMRAIDInterceptor.h"
#include "platform/foundation/UserDefaults.h"
#include "platform/net/NetworkConfiguration.h"
#include "platform/testing/Harness.h"
#include "platform/testing/ui/TouchInjector.h"
#include "platform/ui/AlertView.h"
#include "platform/ui/Application.h"
#include "platform/ui/ViewController.h"
#include "platform/ui/Window.h"
#include "platform/web/ScriptContext.h"
#include "platform/web/SubresourceQueue.h"
#include "platform/net/NetworkEngine.h"
#include "platform/net/PingScheduler.h"
#include "platform/web/WebPage.h"
#include "platform/web/WebView.h"
#include "tests/ads/core/sdkcore/SDKCoreTestSupport.h"
#include "tests/ads/native/InAppPurchaseTestSupport.h"
#include "tools/adserver/AdResponses.h"
#include "tools/adserver/AdServer.h"
#include "tools/adserver/CorePage.h"
#include "tools/adserver/MRAIDScripts.h"
#include "tools/adserver/SilentServer.h"

using adserver::CorePageScenario;
using platform::testing::Harness;
using ruzave::GADHosts;

namespace {

constexpr const char* kAdPath = "/mads/gma";
const std::string kAdHTML =
    "<html><body style=\"margin:0\"><div style=\"width:320px;height:50px;background:#0a0\">Ad</div></body></html>";

struct Recorder : ruzave::GADBannerViewDelegate {
    void adViewDidReceiveAd(ruzave::GADBannerView&) override { calls.push_back("received"); }
    void adViewDidFailToReceiveAdWithError(ruzave::GADBannerView&, const platform::Error& error) override {
        calls.push_back("failed");
        errors.push_back(error);
    }
    std::vector<std::string> calls;
    std::vector<platform::Error> errors;
};

// The local server with the core page and an ad route, and a banner in a window, ready to load.
struct Road : Harness {
    explicit Road(const CorePageScenario& scenario = {}, int adStatus = 200) {
        server = sdkcoretest::startCoreServer(scenario);
        server->routeHost(GADHosts::kAdServerHost, kAdPath, [adStatus](const adserver::Request&) {
            return adStatus == 200 ? adserver::Response::html(kAdHTML)
                                   : adserver::Response::html("<html><body>error</body></html>", adStatus);
        });
        platform::Application::sharedApplication()->setApplicationState(platform::ApplicationState::Active);
        window = platform::Window::create();
        controller = platform::ViewController::create();
        window->setRootViewController(controller);
        window->makeKeyAndVisible();
        banner = ruzave::GADBannerView::initWithAdSize(ruzave::kGADAdSizeBanner);
        REQUIRE(banner);
        controller->view()->addSubview(banner);
        banner->setRootViewController(controller);
        banner->setDelegate(delegate);
    }

    void load(const std::string& adUnitID) {
        banner->setAdUnitID(adUnitID);
        banner->loadRequest(ruzave::GADRequest::request());
    }
    bool settled() { return sdkcoretest::pump(*this, [&] { return !delegate->calls.empty(); }, 20); }
    std::size_t adFetches() const { return server->requestCount(kAdPath); }
    ruzave::GADSlotState state() const { return banner->slot()->state(); }

    std::unique_ptr<adserver::AdServer> server;
    std::shared_ptr<platform::Window> window;
    std::shared_ptr<platform::ViewController> controller;
    std::shared_ptr<ruzave::GADBannerView> banner;
    std::shared_ptr<Recorder> delegate = std::make_shared<Recorder>();
};

CorePageScenario scenarioFor(const std::string& unit, CorePageScenario::Answer answer) {
    CorePageScenario s;
    s.slots[unit] = CorePageScenario::answer(answer);
    return s;
}

} // namespace

TEST_CASE("GADBannerView: an ad unit loads through the core page and the ad server into adViewDidReceiveAd") {
    Road road;
    road.load("e2e-unit");
    REQUIRE(road.settled());
    CHECK(road.delegate->calls == std::vector<std::string>{"received"});
    CHECK(road.state() == ruzave::GADSlotStateValidAd);
    CHECK(road.banner->hasLoadedAd());
    // The page built the URL from the parameters the slot sent it: the unit and the request id.
    auto fetches = road.server->requests(kAdPath);
    REQUIRE(fetches.size() == 1);
    CHECK(fetches[0].host == GADHosts::kAdServerHost);
    CHECK(fetches[0].param("slotname") == "e2e-unit");
    CHECK(fetches[0].param("request_id") == "1");
    CHECK(fetches[0].param("js") == ruzave::GADRequest::sdkVersion());
    CHECK(sdkcoretest::pageLoads(*road.server) == 1);
    // The next load reuses the loaded page and gets the next id.
    road.delegate->calls.clear();
    road.banner->loadRequest(ruzave::GADRequest::request());
    REQUIRE(road.settled());
    CHECK(road.delegate->calls == std::vector<std::string>{"received"});
    REQUIRE(road.adFetches() == 2);
    CHECK(road.server->requests(kAdPath)[1].param("request_id") == "2");
    CHECK(sdkcoretest::pageLoads(*road.server) == 1);
}

TEST_CASE("GADBannerView: a ready ad in the page's loadAd answer is shown without a fetch") {
    CorePageScenario s;
    auto answer = CorePageScenario::answer(CorePageScenario::Answer::Ad);
    platform::Value fetched = platform::Value::object();
    fetched["ad_html"] = kAdHTML;
    fetched["ad_base_url"] = "https://ads.ruzave.example/";
    answer.fetchedAdJSON = platform::toJSON(fetched);
    s.slots["ready"] = answer;
    Road road(s);
    road.load("ready");
    REQUIRE(road.settled());
    CHECK(road.delegate->calls == std::vector<std::string>{"received"});
    CHECK(road.state() == ruzave::GADSlotStateValidAd);
    CHECK(road.adFetches() == 0);
}

TEST_CASE("GADBannerView: a page answer with errors fails with code 0 and fetches nothing") {
    Road road(scenarioFor("bad-unit", CorePageScenario::Answer::Error));
    road.load("bad-unit");
    REQUIRE(road.settled());
    CHECK(road.delegate->calls == std::vector<std::string>{"failed"});
    CHECK(road.delegate->errors[0].code == ruzave::GADRequestErrorInvalidRequest);
    CHECK(road.state() == ruzave::GADSlotStateInvalidAd);
    CHECK(road.adFetches() == 0);
}

TEST_CASE("GADBannerView: a request the page refuses with invalidRequest fails with code 0") {
    Road road(scenarioFor("refused", CorePageScenario::Answer::Invalid));
    road.load("refused");
    REQUIRE(road.settled());
    CHECK(road.delegate->calls == std::vector<std::string>{"failed"});
    CHECK(road.delegate->errors[0].code == ruzave::GADRequestErrorInvalidRequest);
    CHECK(road.state() == ruzave::GADSlotStateInvalidAd);
    CHECK(road.adFetches() == 0);
}

TEST_CASE("GADBannerView: a page that never answers fails with code 2 after 30 seconds, and the next unit is served") {
    Road road(scenarioFor("silent", CorePageScenario::Answer::None));
    road.load("silent");
    // The page has the request and stays quiet.
    REQUIRE(sdkcoretest::pump(road, [&] {
        return road.banner->slot()->requestID().has_value() && road.server->requestCount(GADHosts::kSDKCorePagePath) == 1;
    }));
    sdkcoretest::pump(road, [] { return false; }, 0.3);
    CHECK(road.delegate->calls.empty());
    CHECK(road.state() == ruzave::GADSlotStateRequestingAdURL);
    road.advance(30.5);
    REQUIRE(road.settled());
    CHECK(road.delegate->calls == std::vector<std::string>{"failed"});
    CHECK(road.delegate->errors[0].code == ruzave::GADRequestErrorNetworkError);
    CHECK(road.state() == ruzave::GADSlotStateSDKCoreFailed);

    road.delegate->calls.clear();
    road.load("e2e-unit");
    REQUIRE(road.settled());
    CHECK(road.delegate->calls == std::vector<std::string>{"received"});
}

TEST_CASE("GADBannerView: a core page that fails to load fails the request with code 2") {
    CorePageScenario s;
    s.pageStatus = 500;
    Road road(s);
    road.load("e2e-unit");
    REQUIRE(road.settled());
    CHECK(road.delegate->calls == std::vector<std::string>{"failed"});
    CHECK(road.delegate->errors[0].code == ruzave::GADRequestErrorNetworkError);
    CHECK(road.state() == ruzave::GADSlotStateSDKCoreFailed);
    CHECK(road.adFetches() == 0);
}

TEST_CASE("GADBannerView: an ad server answering 500 fails the load with code 3") {
    Road road({}, 500);
    road.load("e2e-unit");
    REQUIRE(road.settled());
    CHECK(road.delegate->calls == std::vector<std::string>{"failed"});
    CHECK(road.delegate->errors[0].code == ruzave::GADRequestErrorServerError);
    CHECK(road.state() == ruzave::GADSlotStateInvalidAd);
    CHECK(road.adFetches() == 1);
    CHECK_FALSE(road.banner->hasLoadedAd());
}

TEST_CASE("GADBannerView: a creative stopped at its own limits fails with code 2 and a description naming "
          "the cause") {
    std::string pastNodeCap = "<html><body>";
    pastNodeCap.reserve(12 * 100'100);
    for (int i = 0; i < 100'001; ++i)
        pastNodeCap += "<b></b>";
    pastNodeCap += "</body></html>";
    const struct {
        std::string name;
        std::string html;
        const char* cause;
    } creatives[] = {
        {"markup past the node cap", pastNodeCap, "markup"},
        {"a script past its time", "<html><body>ad<script>for (;;) {}</script></body></html>", "time limit"},
    };
    for (const auto& creative : creatives) {
        CAPTURE(creative.name);
        Road road;
        road.server->routeHost(
            GADHosts::kAdServerHost, kAdPath,
            [html = creative.html](const adserver::Request&) { return adserver::Response::html(html); });
        road.load("e2e-unit");
        REQUIRE(road.settled());
        CHECK(road.delegate->calls == std::vector<std::string>{"failed"});
        const platform::Error& error = road.delegate->errors.at(0);
        CHECK(error.domain == ruzave::kGADErrorDomain);
        CHECK(error.code == ruzave::GADRequestErrorNetworkError);
        // The text apps knew still leads; the web view's reason follows it.
        CHECK(error.description.rfind(
                  ruzave::GADRequestError::defaultDescription(ruzave::GADRequestErrorNetworkError), 0) == 0);
        CHECK(error.description.find(creative.cause) != std::string::npos);
        CHECK(error.userInfo.value(ruzave::kGADLocalizedDescriptionKey, std::string()) == error.description);
        auto cause = error.underlying();
        REQUIRE(cause);
        CHECK(cause->domain == platform::ScriptContext::ErrorDomain);
        if (std::string(creative.cause) == "markup") {
            // Whichever of its limits the parse reaches first: the node cap, or its time on a slow machine.
            CHECK((cause->code == platform::WebPage::MarkupLimitCode ||
                   cause->code == platform::ScriptContext::TimeLimitCode));
        } else {
            CHECK(cause->code == platform::ScriptContext::TimeLimitCode);
        }
        CHECK(road.state() == ruzave::GADSlotStateInvalidAd);
    }
}

// --- The app's requests against what its creatives load.

namespace {

constexpr const char* kHangPath = "/hang.png";
constexpr int kHangingImages = 8;

// An image on `host` that the server never answers (while anyone waits for it).
std::string hangingImage(const std::string& host, int n) {
    return "https://" + host + kHangPath + "?n=" + std::to_string(n);
}

// A host name of a creative's own, mapped to a listener that never answers.
std::string silentHost(int page, int host) {
    return "p" + std::to_string(page) + "-h" + std::to_string(host) + ".silent.ruzave.example";
}

// What the process holds open now.
std::size_t openDescriptors() {
    std::error_code ec;
    std::size_t count = 0;
    for (auto it = std::filesystem::directory_iterator("/proc/self/fd", ec);
         !ec && it != std::filesystem::directory_iterator(); it.increment(ec))
        ++count;
    return count - 1; // the iterator's own
}

// The server answers each ad unit with the ad `adFor` makes for it, the hanging image on the ad and ping
// hosts, and pings; a listener that never answers stands behind the silent hosts mapped to it. Banners
// go into a visible window.
struct IsolationRoad : Harness {
    using AdMaker = std::function<adserver::StandardAd(const std::string& unit)>;

    explicit IsolationRoad(AdMaker adFor) {
        server = sdkcoretest::startCoreServer();
        adserver::installPingEndpoints(*server);
        adserver::Response hang = adserver::Response::text("", "image/png");
        hang.delay = std::chrono::hours(1);
        for (const char* host : {GADHosts::kAdServerHost, GADHosts::kPingHost})
            server->routeHost(host, kHangPath, [hang](const adserver::Request&) { return hang; });
        server->routeHost(GADHosts::kAdServerHost, kAdPath, [adFor](const adserver::Request& request) {
            adserver::StandardAd ad = adFor(request.param("slotname"));
            ad.refreshRate.clear();
            return adserver::standardAdResponse(ad);
        });
        silent = adserver::SilentServer::start();
        REQUIRE(silent);
        platform::Application::sharedApplication()->setApplicationState(platform::ApplicationState::Active);
        window = platform::Window::create();
        controller = platform::ViewController::create();
        window->setRootViewController(controller);
        window->makeKeyAndVisible();
    }

    // Before the first load: the network engine reads the map per transfer, but each change drops its
    // pooled connections.
    void mapSilentHost(const std::string& host) const {
        platform::NetworkConfiguration::sharedInstance()->addHostMapping(host, 443, "127.0.0.1",
                                                                         silent->port());
    }

    std::shared_ptr<ruzave::GADBannerView> place(const std::string& unit) {
        auto banner = ruzave::GADBannerView::initWithAdSize(ruzave::kGADAdSizeBanner, platform::Point{0, 20});
        REQUIRE(banner);
        controller->view()->addSubview(banner);
        banner->setRootViewController(controller);
        banner->setDelegate(delegate);
        banner->setAdUnitID(unit);
        banners.push_back(banner);
        return banner;
    }

    int count(const std::string& call) const {
        return static_cast<int>(std::count(delegate->calls.begin(), delegate->calls.end(), call));
    }
    // Loads and waits for the outcome; true when the ad came.
    bool loaded(const std::shared_ptr<ruzave::GADBannerView>& banner, double seconds = 10) {
        const std::size_t before = delegate->calls.size();
        banner->loadRequest(ruzave::GADRequest::request());
        return until([&] { return delegate->calls.size() > before; }, seconds) &&
               delegate->calls.back() == "received";
    }
    std::size_t heard(const std::string& path, const std::string& host) const {
        std::size_t n = 0;
        for (const auto& request : server->requests(path))
            n += request.host == host ? 1 : 0;
        return n;
    }
    template <class Pred> bool until(Pred pred, double seconds = 10) {
        return sdkcoretest::pump(*this, pred, seconds);
    }

    std::unique_ptr<adserver::AdServer> server;
    std::unique_ptr<adserver::SilentServer> silent;
    std::shared_ptr<platform::Window> window;
    std::shared_ptr<platform::ViewController> controller;
    std::vector<std::shared_ptr<ruzave::GADBannerView>> banners;
    std::shared_ptr<Recorder> delegate = std::make_shared<Recorder>();
};

// Every creative of the unit adds the hanging image kHangingImages times on `host`.
IsolationRoad::AdMaker hangingOn(const std::string& host, const std::vector<std::string>& clickURLs = {}) {
    return [host, clickURLs](const std::string&) {
        adserver::ImageCreative creative;
        for (int i = 0; i < kHangingImages; ++i)
            creative.imageURLs.push_back(hangingImage(host, i));
        creative.linkURL = "https://shop.ruzave.example/landing";
        adserver::StandardAd ad;
        ad.html = adserver::imageCreativeHTML(creative);
        ad.clickURLs = clickURLs;
        return ad;
    };
}

// Room for every load the pages start, whoever caps them: run dry, the sanitizers' own checks fail.
void allowDescriptors(rlim_t wanted) {
    rlimit current{};
    REQUIRE(::getrlimit(RLIMIT_NOFILE, &current) == 0);
    if (current.rlim_cur >= wanted) return;
    current.rlim_cur = std::min(wanted, current.rlim_max);
    REQUIRE(::setrlimit(RLIMIT_NOFILE, &current) == 0);
}

} // namespace

TEST_CASE("GADBannerView: a creative's hanging loads on the ad host never delay the next ad request") {
    IsolationRoad road(hangingOn(GADHosts::kAdServerHost));
    auto banner = road.place("hanging-on-ads");
    REQUIRE(road.loaded(banner));
    // Its images are under way on the ad host, and hang there.
    REQUIRE(road.until([&] { return road.heard(kHangPath, GADHosts::kAdServerHost) >= 6; }));
    banner->loadRequest(ruzave::GADRequest::request());
    // Heard at once, not when the images give up a minute later.
    REQUIRE(road.until([&] { return road.server->requestCount(kAdPath) == 2; }));
    CHECK(road.until([&] { return road.count("received") == 2; }));
}

TEST_CASE("GADBannerView: a tap's click ping goes out at once while the creative's loads hang on the ping host") {
    const std::string click = "https://" + std::string(GADHosts::kPingHost) + "/pagead/aclk?n=1";
    IsolationRoad road(hangingOn(GADHosts::kPingHost, {click}));
    auto banner = road.place("hanging-on-pings");
    REQUIRE(road.loaded(banner));
    REQUIRE(road.until([&] { return road.heard(kHangPath, GADHosts::kPingHost) >= 6; }));
    road.advance(0.2); // a tap sooner after the load would be taken for part of it
    const platform::Rect frame = banner->convertRectToView(banner->bounds(), nullptr);
    REQUIRE(platform::TouchInjector::tap({frame.midX(), frame.midY()}, road.window));
    CHECK(banner->adView()->isTouched());
    CHECK(road.until([&] { return road.server->requestCount("/pagead/aclk") == 1; }));
}

TEST_CASE(
    "GADBannerView: twelve creatives hanging 128 loads each hold a bounded share of descriptors, and the "
    "next ad still loads") {
    constexpr int kPages = 12, kHosts = 32, kPerHost = 4;
    allowDescriptors(4 * kPages * kHosts * kPerHost);
    IsolationRoad road([](const std::string& unit) {
        adserver::ImageCreative creative;
        if (unit.rfind("silent-", 0) == 0) {
            const int page = std::stoi(unit.substr(7));
            for (int h = 0; h < kHosts; ++h)
                for (int i = 0; i < kPerHost; ++i)
                    creative.imageURLs.push_back("https://" + silentHost(page, h) +
                                                 "/i.png?n=" + std::to_string(i));
        }
        adserver::StandardAd ad;
        ad.html = adserver::imageCreativeHTML(creative);
        return ad;
    });
    for (int p = 0; p < kPages; ++p)
        for (int h = 0; h < kHosts; ++h)
            road.mapSilentHost(silentHost(p, h));
    for (int p = 0; p < kPages; ++p)
        REQUIRE(road.loaded(road.place("silent-" + std::to_string(p))));

    // Descriptors grow while the loads connect: wait until they settle (a second without growth).
    std::size_t held = openDescriptors();
    for (int quiet = 0, round = 0; quiet < 10 && round < 150; ++round) {
        road.runUntil([] { return false; }, 0.1);
        const std::size_t now = openDescriptors();
        quiet = now > held ? 0 : quiet + 1;
        held = std::max(held, now);
    }
    CAPTURE(held);
    CHECK(held < 400);
    CHECK(road.loaded(road.place("plain")));
}

TEST_CASE("GADBannerView: a creative's pixel goes out behind a thousand loads it dropped on hanging hosts") {
    const std::string pixel = "https://" + std::string(GADHosts::kPingHost) + "/pagead/pixel";
    IsolationRoad road([pixel](const std::string&) {
        adserver::ImageCreative creative;
        for (int i = 0; i < 1000; ++i)
            creative.imageURLs.push_back("https://" + silentHost(0, i % 20) +
                                         "/i.png?n=" + std::to_string(i));
        creative.removeImages = true;
        creative.imagesPerTurn = 100;
        creative.pixelURL = pixel;
        adserver::StandardAd ad;
        ad.html = adserver::imageCreativeHTML(creative);
        return ad;
    });
    for (int h = 0; h < 20; ++h)
        road.mapSilentHost(silentHost(0, h));
    auto banner = road.place("pixel-behind-dead-hosts");
    REQUIRE(road.loaded(banner));
    for (int turn = 0; turn < 10; ++turn) {
        road.advance(1.0);
        road.runUntilIdle();
    }
    REQUIRE(banner->adView()->evaluate("added") == "1000");
    CHECK(road.until([&] { return road.server->requestCount("/pagead/pixel") == 1; }));
    // In place of one of those waiting: the page holds no more than its bound.
    CHECK(banner->adView()->webView()->currentPage()->pendingLoadCount() <=
          platform::SubresourceQueue::MaximumPendingLoads);
}

// --- What a creative makes the SDK send for it: script messages naming any URL, as many as it likes.

namespace {

// A creative that, once loaded, sends `count` script messages `action` ("httpTrack" or "click"), each
// naming the URL that the script expression `urlOf` gives for the message's number `i`; `perTurn` at a
// time (0: all at once), a tenth of a second apart. It counts those it tried in its variable `sent`.
std::string pingingCreative(const std::string& action, const std::string& urlOf, int count, int perTurn = 0) {
    const std::string n = std::to_string(count);
    return "<html><body style=\"margin:0\"><div style=\"width:320px;height:50px;background:#0a0\">ad</div>"
           "<script>var sent = 0;\n"
           "function pingSome() {\n"
           "  for (var end = Math.min(sent + " +
           std::to_string(perTurn > 0 ? perTurn : count) + ", " + n +
           "); sent < end; sent++) {\n"
           "    var i = sent;\n"
           "    try {\n"
           "      location.href = 'gmsg://mobileads.ruzave.example/" +
           action + "?u=' + encodeURIComponent(" + urlOf +
           ");\n"
           "    } catch (e) {}\n"
           "  }\n"
           "  if (sent < " +
           n +
           ") setTimeout(pingSome, 100);\n"
           "}\n"
           "window.addEventListener('load', pingSome);</script></body></html>";
}

// `unit`'s ad requests the server heard.
std::size_t adRequests(const IsolationRoad& road, const std::string& unit) {
    std::size_t n = 0;
    for (const auto& request : road.server->requests(kAdPath))
        n += request.param("slotname") == unit ? 1 : 0;
    return n;
}

// A banner's creative sends 12 pings to `path` on the ad host, where they hang or trickle; returns once
// they are under way (as many as the host lets run at once).
void startPinging(IsolationRoad& road, const std::shared_ptr<ruzave::GADBannerView>& banner,
                  const std::string& path) {
    REQUIRE(road.loaded(banner));
    road.until([&] { return road.heard(path, GADHosts::kAdServerHost) >= 6; }, 5);
    REQUIRE(road.heard(path, GADHosts::kAdServerHost) >= 1);
}

// The descriptors open now, probed one by one: listing them would need one more.
std::size_t descriptorsInUse(rlim_t limit) {
    std::size_t count = 0;
    for (rlim_t fd = 0; fd < limit; ++fd)
        count += ::fcntl(static_cast<int>(fd), F_GETFD) != -1 ? 1 : 0;
    return count;
}

// Whether a few files of the process's own open now.
bool filesOpen() {
    int fds[4];
    int opened = 0;
    for (int& fd : fds) {
        fd = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
        if (fd < 0) break;
        ++opened;
    }
    for (int i = 0; i < opened; ++i)
        ::close(fds[i]);
    return opened == 4;
}

} // namespace

TEST_CASE("GADBannerView: a creative's tracking pings to hanging or trickling URLs on the ad host never delay the next "
          "ad request") {
    adserver::Response hang = adserver::Response::text("", "image/png");
    hang.delay = std::chrono::hours(1);
    // A byte every 2 s keeps a transfer alive past any inactivity timeout.
    adserver::Response trickle = adserver::Response::text(std::string(1000, 'x'), "image/png");
    trickle.chunkBytes = 1;
    trickle.chunkDelay = std::chrono::seconds(2);
    const struct {
        std::string unit;
        std::string action;
        std::string path;
        adserver::Response answer;
    } creatives[] = {
        {"tracks-hanging", "httpTrack", "/ping-hanging", hang},
        {"clicks-hanging", "click", "/click-hanging", hang},
        {"tracks-trickling", "httpTrack", "/ping-trickling", trickle},
    };
    for (const auto& creative : creatives) {
        CAPTURE(creative.unit);
        // Each on a server of its own, under a path of its own: what the last one left waiting goes nowhere.
        const std::string html = pingingCreative(
            creative.action, "'https://" + std::string(GADHosts::kAdServerHost) + creative.path + "?n=' + i", 12);
        IsolationRoad road([html](const std::string&) {
            adserver::StandardAd ad;
            ad.html = html;
            return ad;
        });
        road.server->routeHost(GADHosts::kAdServerHost, creative.path,
                               [answer = creative.answer](const adserver::Request&) { return answer; });
        auto banner = road.place(creative.unit);
        startPinging(road, banner, creative.path);
        banner->loadRequest(ruzave::GADRequest::request());
        // Heard now, not once the pings give up a minute later.
        const bool heard = road.until([&] { return adRequests(road, creative.unit) == 2; });
        CHECK(heard);
        if (heard) CHECK(road.until([&] { return road.count("received") == 2; }));
    }
}

TEST_CASE("GADBannerView: a creative's flood of pings never runs the process out of descriptors, and user defaults "
          "still write") {
    // A phone's common limit; set before the network engine starts, which reads it then (each case runs
    // in a process of its own).
    constexpr rlim_t kLimit = 256;
    rlimit limit{};
    REQUIRE(::getrlimit(RLIMIT_NOFILE, &limit) == 0);
    REQUIRE(limit.rlim_max >= kLimit);
    limit.rlim_cur = kLimit;
    REQUIRE(::setrlimit(RLIMIT_NOFILE, &limit) == 0);
    // 1,200 pings to 100 hosts of the creative's own that never answer: 12 each, 400 a turn.
    constexpr int kHosts = 100;
    const std::string html = pingingCreative(
        "httpTrack",
        "'https://p0-h' + (i % " + std::to_string(kHosts) + ") + '.silent.ruzave.example/ping?n=' + i", 1200, 400);
    IsolationRoad road([html](const std::string& unit) {
        adserver::StandardAd ad;
        if (unit == "flood") ad.html = html;
        return ad;
    });
    for (int h = 0; h < kHosts; ++h)
        road.mapSilentHost(silentHost(0, h));
    auto flood = road.place("flood");
    REQUIRE(road.loaded(flood));
    REQUIRE(road.until([&] { return flood->adView()->evaluate("sent") == "1200"; }));

    // While the pings connect (and connect again as their places free): the process's own files open,
    // and its settings write.
    auto defaults = platform::UserDefaults::standard();
    std::size_t most = 0, refused = 0, unwritten = 0;
    for (int round = 0; round < 30; ++round) {
        road.runUntil([] { return false; }, 0.1);
        most = std::max(most, descriptorsInUse(kLimit));
        refused += filesOpen() ? 0 : 1;
        defaults->set("flood.round", round);
        unwritten += defaults->synchronize() ? 0 : 1;
    }
    CAPTURE(most);
    CHECK(refused == 0);
    CHECK(unwritten == 0);
    // And the app's ads still come.
    CHECK(road.loaded(road.place("after-flood")));
}

TEST_CASE("GADBannerView: after the banner's release a new ad loads at once, its creative's hanging pings "
          "notwithstanding") {
    const std::string html = pingingCreative(
        "httpTrack", "'https://" + std::string(GADHosts::kAdServerHost) + kHangPath + "?n=' + i", 12);
    IsolationRoad road([html](const std::string& unit) {
        adserver::StandardAd ad;
        if (unit == "released") ad.html = html;
        return ad;
    });
    startPinging(road, road.place("released"), kHangPath);
    road.banners.back()->removeFromSuperview();
    road.banners.clear();
    road.runUntilIdle();

    auto next = road.place("next");
    next->loadRequest(ruzave::GADRequest::request());
    // Heard and answered now, not once the released creative's pings give up a minute later.
    CHECK(road.until([&] { return adRequests(road, "next") == 1; }));
    CHECK(road.until([&] { return road.count("received") == 2; }));
}

// --- Every message and MRAID call that names a URL, pointed at a hanging host.

namespace {

// A creative that, once loaded, names `hang` (plus a tag) in a purchase's `reports` report URLs and, when
// `every`, in each other message and MRAID call that takes a URL: tracking, click, each kind of open,
// precache, a picture to store, a calendar event and a video, when its fire() runs. It sets `sent` then.
std::string everyRoadCreative(const std::string& hang, int reports, bool every = true) {
    const std::string others =
        "  go('httpTrack', 'u=' + u('track'));\n"
        "  go('click', 'u=' + u('click'));\n"
        "  go('open', 'a=in_app_store&product_id=gem&wait_for_fetch=false&u=' + u('store'));\n"
        "  go('open', 'a=webapp&u=' + u('webapp'));\n"
        "  go('open', 'a=app&u=' + u('app'));\n"
        "  go('open', 'a=call&u=' + u('call'));\n"
        "  go('open', 'a=video&u=' + u('video'));\n"
        "  go('open', 'a=browser&u=' + u('browser'));\n"
        "  go('precache', 'src=' + u('precache'));\n"
        "  go('mraid', 'a=storePicture&iurl=' + u('picture'));\n"
        "  go('mraid', 'a=createCalendarEvent&summary=s&start=2030-01-01T10:00:00Z&location=' + u('calendar'));\n"
        "  go('video', 'action=new&x=0&y=0&w=10&h=10');\n"
        "  go('video', 'action=src&src=' + u('videosrc'));\n";
    return "<html><body style=\"margin:0\"><div style=\"width:320px;height:50px;background:#0a0\">ad</div>"
           "<script>var sent = 0, H = '" + hang + "';\n"
           "function go(kind, q) { try { location.href = 'gmsg://mobileads.ruzave.example/' + kind + '?' + q; }"
           " catch (e) {} }\n"
           "function u(tag) { return encodeURIComponent(H + tag); }\n"
           "function fire() {\n"
           "  var r = []; for (var i = 0; i < " + std::to_string(reports) + "; i++) r.push(H + 'report' + i);\n"
           "  go('open', 'a=in_app_purchase&product_id=&quantity=1&report_urls=' + encodeURIComponent(r.join(' ')));\n" +
           (every ? others : std::string()) +
           "  sent = 1;\n"
           "}</script></body></html>";
}

} // namespace

TEST_CASE("GADBannerView: whatever URL a creative's messages name hangs, the next ad request goes out at once") {
    auto publisher = std::make_shared<iaptest::Publisher>();
    // The default purchase flow answers a purchase with no product at once: its reports go out then.
    ruzave::GADDefaultInAppPurchase::enableDefaultPurchaseFlowWithDelegate(publisher);
    const std::string html =
        everyRoadCreative("https://" + std::string(GADHosts::kAdServerHost) + kHangPath + "?m=", 12);
    IsolationRoad road([html](const std::string& unit) {
        adserver::StandardAd ad;
        if (unit == "every-road") ad.html = html;
        return ad;
    });
    auto banner = road.place("every-road");
    REQUIRE(road.loaded(banner));
    banner->adView()->evaluate("fire()");
    REQUIRE(road.until([&] { return banner->adView()->evaluate("sent") == "1"; }));
    // The picture waits for the user's leave.
    for (const auto& alert : platform::AlertView::visibleAlerts()) alert->tapButtonAtIndex(1);
    // Its loads reach the host and hang there.
    REQUIRE(road.until([&] { return road.heard(kHangPath, GADHosts::kAdServerHost) >= 6; }));

    auto next = road.place("next");
    next->loadRequest(ruzave::GADRequest::request());
    // Heard and answered now, not once the hanging loads give up a minute later.
    CHECK(road.until([&] { return adRequests(road, "next") == 1; }, 10));
    CHECK(road.until([&] { return road.count("received") == 2; }, 10));
}

TEST_CASE("GADInAppPurchase: a creative's hanging report URLs are its page's pings, and the next ad request "
          "goes out at once") {
    auto publisher = std::make_shared<iaptest::Publisher>();
    ruzave::GADDefaultInAppPurchase::enableDefaultPurchaseFlowWithDelegate(publisher);
    const std::string html =
        everyRoadCreative("https://" + std::string(GADHosts::kAdServerHost) + kHangPath + "?m=", 12, false);
    IsolationRoad road([html](const std::string& unit) {
        adserver::StandardAd ad;
        if (unit == "purchase") ad.html = html;
        return ad;
    });
    auto banner = road.place("purchase");
    REQUIRE(road.loaded(banner));
    banner->adView()->evaluate("fire()");
    REQUIRE(road.until([&] { return banner->adView()->evaluate("sent") == "1"; }));
    auto page = banner->adView()->webView()->currentPage();
    REQUIRE(page);
    // All twelve are the page's own pings; six of them reach the host and hang there.
    REQUIRE(road.until([&] { return platform::NetworkEngine::shared().pingCounts().admitted == 12; }));
    REQUIRE(road.until([&] { return road.heard(kHangPath, GADHosts::kAdServerHost) >= 6; }));
    banner->loadRequest(ruzave::GADRequest::request());
    CHECK(road.until([&] { return adRequests(road, "purchase") == 2; }, 10));
    CHECK(road.until([&] { return road.count("received") == 2; }, 10));
}

// --- A creative's clicks past its banner's release.

namespace {

constexpr const char* kClickPingPath = "/click-ping";

// Has the creative of `banner` send `count` `click` messages naming the click ping on the ad host, marked
// with `mark`, and waits until the SDK has taken them all.
void sendClicks(IsolationRoad& road, const std::shared_ptr<ruzave::GADBannerView>& banner, const std::string& mark,
                int count) {
    auto trackers = ruzave::GADClickTrackerCollection::sharedInstance();
    const std::size_t before = trackers->trackedCount();
    banner->adView()->evaluate("for (var i = 0; i < " + std::to_string(count) +
                               "; i++) location.href = 'gmsg://mobileads.ruzave.example/click?u=' + "
                               "encodeURIComponent('https://" +
                               std::string(GADHosts::kAdServerHost) + kClickPingPath + "?b=" + mark + "&n=' + i);");
    REQUIRE(road.until([&] { return trackers->trackedCount() >= before + count; }));
}

std::size_t clicksHeard(const IsolationRoad& road, const std::string& mark) {
    std::size_t n = 0;
    for (const auto& request : road.server->requests(kClickPingPath))
        n += request.param("b") == mark ? 1 : 0;
    return n;
}

} // namespace

TEST_CASE("GADBannerView: a creative with hanging trackers and images sends its clicks at once, and after its release") {
    // Its images hang on the ad host, and its trackers on a host of its own that never answers.
    IsolationRoad road(hangingOn(GADHosts::kAdServerHost));
    const std::string trackerHost = silentHost(0, 0);
    road.mapSilentHost(trackerHost);
    road.server->routeHost(GADHosts::kAdServerHost, kClickPingPath,
                           [](const adserver::Request&) { return adserver::Response::text(""); });
    auto banner = road.place("hanging");
    REQUIRE(road.loaded(banner));
    REQUIRE(road.until([&] { return road.heard(kHangPath, GADHosts::kAdServerHost) >= 6; }));
    auto trackers = ruzave::GADClickTrackerCollection::sharedInstance();
    const std::size_t before = trackers->trackedCount();
    banner->adView()->evaluate("for (var i = 0; i < 20; i++) location.href = "
                               "'gmsg://mobileads.ruzave.example/httpTrack?u=' + encodeURIComponent('https://" +
                               trackerHost + "/track?n=' + i);");
    REQUIRE(road.until([&] { return trackers->trackedCount() >= before + 20; }));
    REQUIRE(road.until([&] { return road.silent->waitingConnections() >= 6; }));
    road.advance(6);  // the creative lives on a while

    const auto asked = std::chrono::steady_clock::now();
    sendClicks(road, banner, "live", 2);
    CHECK(road.until([&] { return clicksHeard(road, "live") == 2; }));
    CHECK(std::chrono::steady_clock::now() - asked < std::chrono::seconds(5));

    // Sent just before the banner's release: they go out after it, as a browser's keepalive requests do.
    sendClicks(road, banner, "released", 2);
    banner->removeFromSuperview();
    banner.reset();
    road.banners.clear();
    road.runUntilIdle();
    CHECK(road.until([&] { return clicksHeard(road, "released") == 2; }));
    road.runUntil([] { return false; }, 0.5);
    CHECK(clicksHeard(road, "live") == 2);
    CHECK(clicksHeard(road, "released") == 2);
    // The hanging trackers fail at the end of their life, six to the host at a time, and the trackers
    // let go of every one.
    for (int batch = 0; batch < 8 && trackers->runningTrackerCount() > 0; ++batch) {
        road.advance(platform::PingScheduler::LifeSeconds + 1);
        road.until([&] { return trackers->runningTrackerCount() == 0; }, 3);
    }
    CHECK(trackers->runningTrackerCount() == 0);
}

namespace {

struct ScreenRecorder : Recorder {
    void adViewWillPresentScreen(ruzave::GADBannerView&) override { calls.push_back("willPresent"); }
    void adViewWillDismissScreen(ruzave::GADBannerView&) override { calls.push_back("willDismiss"); }
    void adViewDidDismissScreen(ruzave::GADBannerView&) override { calls.push_back("didDismiss"); }
    long count(const std::string& call) const { return std::count(calls.begin(), calls.end(), call); }
};

} // namespace

TEST_CASE_FIXTURE(Harness,
                  "GADBannerView: a creative that resizes itself untouched as soon as it is ready holds "
                  "none of the app's loads and leaves the idle timer to the app") {
    auto server = sdkcoretest::startCoreServer();
    adserver::installMRAIDScripts(*server);
    ruzave::GADMRAIDInterceptor::resetToDefaultPaths();
    ruzave::GADMRAIDInterceptor::allow();
    server->routeHost(GADHosts::kAdServerHost, kAdPath, [](const adserver::Request&) {
        return adserver::Response::html(
            "<html><body style='margin:0'><script src='mraid.js'></script>"
            "<div style='width:320px;height:50px;background:#a00'>ad</div><script>"
            "function own(){mraid.setResizeProperties({width:320,height:50,offsetX:0,offsetY:0,"
            "customClosePosition:'top-right',allowOffscreen:false});mraid.resize();}"
            "if(mraid.getState()=='loading')mraid.addEventListener('ready',own);else own();"
            "</script></body></html>");
    });
    auto app = platform::Application::sharedApplication();
    app->setApplicationState(platform::ApplicationState::Active);
    app->setIdleTimerDisabled(false);
    auto window = platform::Window::create();
    auto root = platform::ViewController::create();
    window->setRootViewController(root);
    window->makeKeyAndVisible();
    auto banner = ruzave::GADBannerView::initWithAdSize(ruzave::kGADAdSizeBanner, platform::Point{0, 100});
    root->view()->addSubview(banner);
    banner->setRootViewController(root);
    auto delegate = std::make_shared<ScreenRecorder>();
    banner->setDelegate(delegate);
    banner->setAdUnitID("resize-unit");
    banner->loadRequest(ruzave::GADRequest::request());
    auto slot = banner->slot();

    for (long loads = 1; loads <= 4; ++loads) {
        CAPTURE(loads);
        REQUIRE(sdkcoretest::pump(*this, [&] { return delegate->count("received") == loads; }, 20));
        // The creative's resize is up: the app heard so, and the device dims as it would.
        REQUIRE(sdkcoretest::pump(*this, [&] { return slot->isShowingFullScreen(); }, 20));
        CHECK_FALSE(slot->isHeldByFullScreen());
        CHECK_FALSE(app->isIdleTimerDisabled());
        CHECK(delegate->count("willPresent") == loads);
        if (loads == 4) break;
        banner->loadRequest(ruzave::GADRequest::request());
        // Taken down at once for the load, which goes out.
        CHECK(delegate->count("didDismiss") == loads);
        CHECK_FALSE(app->isIdleTimerDisabled());
    }
    CHECK(delegate->count("failed") == 0);
    CHECK(server->requestCount(kAdPath) == 4);
}
