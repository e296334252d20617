#include "MediationTestSupport.h"
#include "RecordingConnector.h"

#include "ads/core/public/GADBannerView.h"
#include "ads/mediation/GADMAdapterHTML.h"
#include "platform/testing/Harness.h"
#include "platform/web/WebView.h"

#include <thread>

using namespace mediationtest;
using ruzave::GADMAdapterHTML;

namespace {

// A banner of 320 x 50 whose only painted box is `rows` full rows high (5 rows are 10 %).
std::string htmlWithRows(int rows) {
    return R"(<html><body><div style="width:320px;height:)" + std::to_string(rows) +
           R"(px;background:red"></div></body></html>)";
}

std::string htmlNetwork(const std::string& id, const platform::Value& credentials) {
    return R"({"id":")" + id + R"(","adapters":["GADMAdapterHTML"],"data":)" + credentials.dump() + "}";
}

platform::Value credentials(const std::optional<std::string>& html, const std::optional<std::string>& passback = {}) {
    platform::Value v = platform::Value::object();
    if (html) v[GADMAdapterHTML::kHTMLKey] = *html;
    if (passback) v[GADMAdapterHTML::kPassbackURLKey] = *passback;
    return v;
}

struct HTMLFixture : Fixture {
    void mediateHTML(const platform::Value& creds) { mediate(R"({"ad_networks":[)" + htmlNetwork("h", creds) + "]}"); }
    std::shared_ptr<GADMAdapterHTML> adapter() {
        auto manager = slot->mediationManager();
        if (!manager || !manager->requestingConnector()) return nullptr;
        return std::dynamic_pointer_cast<GADMAdapterHTML>(manager->requestingConnector()->adapter());
    }
    // Lets the page load, then runs the checks due in `seconds` of virtual time.
    void checkFor(double seconds) {
        runUntilIdle();
        for (double t = 0; t < seconds; t += GADMAdapterHTML::kCheckInterval) advance(GADMAdapterHTML::kCheckInterval);
        runUntilIdle();
    }
};

} // namespace

TEST_CASE("GADMAdapterHTML: the adapter is registered and serves banners only") {
    CHECK(ruzave::GADMAdNetworkAdapter::classIsAdapterClass("GADMAdapterHTML"));
    CHECK(ruzave::GADMAdNetworkAdapter::classImplementsCurrentAdapterAPI("GADMAdapterHTML"));
    GADMAdapterHTML adapter;
    CHECK(adapter.adapterVersion() == std::optional<std::string>("1.1"));
    CHECK_FALSE(adapter.networkExtrasClass());
    CHECK(adapter.isBannerAnimationOK(0));
    CHECK(adapter.isBannerAnimationOK(7));
}

TEST_CASE("GADMAdapterHTML: paths compare without one trailing slash") {
    CHECK(GADMAdapterHTML::stripTrailingSlashFromPath("") == "");
    CHECK(GADMAdapterHTML::stripTrailingSlashFromPath("/") == "");
    CHECK(GADMAdapterHTML::stripTrailingSlashFromPath("/a//") == "/a/");
    CHECK(GADMAdapterHTML::isPathEquivalentToPath("/pb", "/pb/"));
    CHECK(GADMAdapterHTML::isPathEquivalentToPath("/", ""));
    CHECK_FALSE(GADMAdapterHTML::isPathEquivalentToPath("/pb", "/pb//"));
    CHECK_FALSE(GADMAdapterHTML::isPathEquivalentToPath("/pb", "/PB"));
}

TEST_CASE_FIXTURE(HTMLFixture, "GADMAdapterHTML: HTML covering more than a tenth of the banner is reported") {
    mediateHTML(credentials(htmlWithRows(6)));
    auto a = adapter();
    REQUIRE(a);
    CHECK(a->isRenderingTimerRunning());
    auto webView = a->webView();
    REQUIRE(webView);
    CHECK(webView->frame().size.width == 320);
    CHECK(webView->frame().size.height == 50);
    CHECK_FALSE(webView->isOpaque());
    CHECK(webView->autoresizingMask() == 18u);
    CHECK(webView->clipsToBounds());
    CHECK(webView->allowsInlineMediaPlayback());
    CHECK(webView->mediaPlaybackRequiresUserAction());
    checkFor(GADMAdapterHTML::kCheckInterval);
    CHECK(webView->request().url().absoluteString() == GADMAdapterHTML::baseURL().absoluteString());
    REQUIRE(owner->views.size() == 1);
    CHECK(owner->views[0] == webView);
    CHECK(a->checkRenderingCount() == 1);
    CHECK_FALSE(a->isRenderingTimerRunning());
    CHECK(owner->failures.empty());
}

namespace {

struct DirectFixture : platform::testing::Harness {
    std::shared_ptr<RecordingConnector> connector;
    std::shared_ptr<GADMAdapterHTML> adapter;

    void load(const platform::Value& creds) {
        connector = RecordingConnector::make(GADMAdapterHTML::kClassName, creds);
        adapter = std::dynamic_pointer_cast<GADMAdapterHTML>(connector->adapter());
        REQUIRE(adapter);
        adapter->getBannerWithSize(ruzave::kGADAdSizeBanner);
        runUntilIdle();
    }
    void navigate(const std::string& url) {
        REQUIRE(adapter->webView());
        adapter->webView()->evaluate("location.href = '" + url + "';");
        runUntilIdle();
    }
    void checkFor(double seconds) {
        for (double t = 0; t < seconds; t += GADMAdapterHTML::kCheckInterval) advance(GADMAdapterHTML::kCheckInterval);
        runUntilIdle();
    }
};

} // namespace

TEST_CASE_FIXTURE(DirectFixture, "GADMAdapterHTML: HTML that draws a tenth or nothing is given up silently after 101 checks") {
    for (int rows : {0, 5}) {
        CAPTURE(rows);
        load(credentials(htmlWithRows(rows)));
        const std::uint32_t before = adapter->checkRenderingCount();
        checkFor(10);
        CHECK(adapter->isRenderingTimerRunning());
        checkFor(12);
        CHECK(adapter->checkRenderingCount() - before == GADMAdapterHTML::kMaxChecks);
        CHECK_FALSE(adapter->isRenderingTimerRunning());
        CHECK(connector->events.empty());
    }
}

TEST_CASE_FIXTURE(DirectFixture, "GADMAdapterHTML: bad credentials fail with code 2 before anything loads") {
    struct Case {
        platform::Value creds;
        const char* message;
    };
    const Case cases[] = {
        {credentials(htmlWithRows(6), ""), "Empty passback URL in TYM response."},
        // The empty passback is found before the HTML is looked at.
        {credentials(std::nullopt, ""), "Empty passback URL in TYM response."},
        {credentials(htmlWithRows(6), "http://[::1"), "Invalid passback URL in TYM response."},
        {credentials(std::nullopt, "https://pb.example/x"), "Missing HTML in TYM response."},
        {credentials(""), "Missing HTML in TYM response."},
        {credentials(std::nullopt), "Missing HTML in TYM response."},
    };
    for (const Case& c : cases) {
        CAPTURE(c.message);
        load(c.creds);
        REQUIRE(connector->events == std::vector<std::string>{"failAd"});
        CHECK(connector->errors[0].domain == ruzave::kGADErrorDomain);
        CHECK(connector->errors[0].code == 2);
        CHECK(connector->errors[0].description == c.message);
        CHECK_FALSE(adapter->webView());
        CHECK_FALSE(adapter->isRenderingTimerRunning());
    }
}

TEST_CASE_FIXTURE(DirectFixture, "GADMAdapterHTML: credentials of the wrong types count as missing") {
    platform::Value creds = platform::Value::object();
    creds[GADMAdapterHTML::kHTMLKey] = 42;
    creds[GADMAdapterHTML::kPassbackURLKey] = platform::Value::array();
    load(creds);
    REQUIRE(connector->errors.size() == 1);
    CHECK(connector->errors[0].description == "Missing HTML in TYM response.");
}

TEST_CASE_FIXTURE(DirectFixture, "GADMAdapterHTML: interstitials fail through the interstitial callback") {
    load(credentials(htmlWithRows(6)));
    connector->events.clear();
    connector->errors.clear();
    adapter->getInterstitial();
    adapter->presentInterstitialFromRootViewController(nullptr);
    CHECK(connector->events == std::vector<std::string>{"failInterstitial", "failInterstitial"});
    CHECK(connector->errors[0].code == 0);
    CHECK(connector->errors[0].description == "Interstitials not supported.");
}

TEST_CASE_FIXTURE(DirectFixture, "GADMAdapterHTML: the passback scheme is a no-fill with or without a passback URL") {
    for (bool withURL : {false, true}) {
    CAPTURE(withURL);
    load(credentials(htmlWithRows(0), withURL ? std::optional<std::string>("https://pb.example/none") : std::nullopt));
    CHECK(adapter->isRenderingTimerRunning());
    navigate("passback://anything");
    REQUIRE(connector->events == std::vector<std::string>{"failAd"});
    CHECK(connector->errors[0].domain == ruzave::kGADErrorDomain);
    CHECK(connector->errors[0].code == 1);
    CHECK(connector->errors[0].description == "Ad network returned no ad.");
    CHECK_FALSE(adapter->isRenderingTimerRunning());
    // Not loaded: the web view still holds the HTML.
    CHECK(adapter->webView()->request().url().absoluteString() == GADMAdapterHTML::baseURL().absoluteString());
    }
}

TEST_CASE_FIXTURE(DirectFixture, "GADMAdapterHTML: the passback URL matches by host and path only") {
    load(credentials(htmlWithRows(0), "https://pb.example/none?x=1"));
    auto request = [](const std::string& url) { return *platform::URLRequest::withURLString(url); };
    CHECK(adapter->isPassbackRequest(request("https://pb.example/none")));
    CHECK(adapter->isPassbackRequest(request("https://pb.example/none/")));
    CHECK(adapter->isPassbackRequest(request("http://pb.example/none?y=2")));
    CHECK_FALSE(adapter->isPassbackRequest(request("https://pb.example/other")));
    CHECK_FALSE(adapter->isPassbackRequest(request("https://www.pb.example/none")));
    // A link of the ad stays in the web view and reports nothing.
    navigate("https://127.0.0.1:1/landing");
    CHECK(connector->events.empty());
    navigate("https://pb.example/none/?again=1");
    CHECK(connector->events == std::vector<std::string>{"failAd"});
}

TEST_CASE_FIXTURE(DirectFixture, "GADMAdapterHTML: host-less URLs and the base URL are never a passback") {
    // A passback URL that names no host would otherwise match every host-less URL (about:, data:).
    load(credentials(htmlWithRows(0), "about:blank"));
    REQUIRE(adapter->passbackUrl());
    auto request = [](const std::string& url) { return *platform::URLRequest::withURLString(url); };
    CHECK_FALSE(adapter->isPassbackRequest(request("about:blank")));
    CHECK_FALSE(adapter->isPassbackRequest(request("data:text/html,x")));
    // A passback URL equal to the base URL must not fail the ad as it loads.
    load(credentials(htmlWithRows(6), GADMAdapterHTML::baseURL().absoluteString()));
    CHECK_FALSE(adapter->isPassbackRequest(platform::URLRequest(GADMAdapterHTML::baseURL())));
    checkFor(GADMAdapterHTML::kCheckInterval);
    CHECK(connector->events == std::vector<std::string>{"adView"});
}

TEST_CASE_FIXTURE(DirectFixture, "GADMAdapterHTML: a passback after the banner was reported answers nothing more") {
    load(credentials(htmlWithRows(6)));
    checkFor(GADMAdapterHTML::kCheckInterval);
    REQUIRE(connector->events == std::vector<std::string>{"adView"});
    navigate("passback://late");
    CHECK(connector->events == std::vector<std::string>{"adView"});
}

TEST_CASE_FIXTURE(DirectFixture, "GADMAdapterHTML: stopping ends the checks and navigation questions") {
    load(credentials(htmlWithRows(6)));
    auto webView = adapter->webView();
    adapter->stopBeingDelegate();
    CHECK_FALSE(adapter->isRenderingTimerRunning());
    CHECK_FALSE(webView->delegate());
    checkFor(1);
    CHECK(connector->events.empty());
    // A new request starts over with a new web view.
    adapter->getBannerWithSize(ruzave::kGADAdSizeBanner);
    CHECK(adapter->webView() != webView);
    runUntilIdle();
    checkFor(GADMAdapterHTML::kCheckInterval);
    CHECK(connector->events == std::vector<std::string>{"adView"});
}

TEST_CASE_FIXTURE(DirectFixture, "GADMAdapterHTML: the timer is started and stopped on the main thread for other threads") {
    load(credentials(htmlWithRows(0)));
    adapter->stopRenderingTimer();
    std::thread worker([&] { adapter->startRenderingTimer(); });
    CHECK(runUntil([&] { return adapter->isRenderingTimerRunning(); }));
    worker.join();
    std::thread stopper([&] { adapter->stopRenderingTimer(); });
    CHECK(runUntil([&] { return !adapter->isRenderingTimerRunning(); }));
    stopper.join();
}

TEST_CASE_FIXTURE(DirectFixture, "GADMAdapterHTML: a report about another web view is ignored") {
    load(credentials(htmlWithRows(0)));
    auto other = platform::WebView::create({{0, 0}, {320, 50}});
    adapter->webViewIsRendered(*other, true);
    CHECK(adapter->checkRenderingCount() == 0);
    CHECK(connector->events.empty());
    CHECK_FALSE(adapter->shouldStartLoad(*other, platform::URLRequest(GADMAdapterHTML::baseURL()),
                                         platform::WebViewNavigationType::Other));
}

TEST_CASE_FIXTURE(Fixture, "GADMAdapterHTML: an HTML passback end to end from the local ad server") {
    // The HTML gives up at once by going to its passback; the next network fills.
    const std::string passback = url("/passback?reason=none");
    const std::string html = "<html><body><script>location.href = '" + url("/passback/?late=1") +
                             "';</script></body></html>";
    const std::string body = R"({"qdata":"pb","ad_networks":[)" + htmlNetwork("H", credentials(html, passback)) + "," +
                             network("B", kAdapterB) + "]}";
    server->route("/mediated", adserver::Response::json(body).header("X-Zudo-Mediation", "1"));
    server->route("/passback", adserver::Response::html("", 200));
    Script::behaviours()[kAdapterB] = Behaviour::FillNow;

    auto banner = ruzave::GADBannerView::initWithAdSize(ruzave::kGADAdSizeBanner);
    REQUIRE(banner);
    banner->setAdUnitID("pb-unit");
    auto ad = ruzave::GADAd::init();
    ad->setAdURL(platform::URL::parse(url("/mediated")));
    banner->slot()->loadAd(ad, std::nullopt);
    REQUIRE(runUntil([&] { return banner->slot()->state() == ruzave::GADSlotStateValidAd; }));
    CHECK(banner->adNetworkClassName() == std::optional<std::string>(kAdapterB));
    REQUIRE(waitForPing("/imp"));
    // The HTML network counts as a no-fill, and its passback page is never fetched.
    CHECK(pingParam("/imp", "aec") == "1,0");
    CHECK(pingParam("/imp", "qdata") == "pb");
    CHECK(server->requestCount("/passback") == 0);
    CHECK(server->requestCount("/passback/") == 0);
}
