#include <doctest/doctest.h>

#include <string>

#include "ads/core/public/GADBannerView.h"
#include "ads/core/sdkcore/GADHosts.h"
#include "ads/core/signals/GADDevice.h"
#include "ads/core/slot/GADAd.h"
#include "ads/core/slot/GADSlot.h"
#include "ads/render/GADAdURLStash.h"
#include "ads/render/GADAdView.h"
#include "ads/render/GADAdViewDelegate.h"
#include "ads/render/GADOpener.h"
#include "ads/render/GADWebViewCacheSet.h"
#include "platform/base/Log.h"
#include "platform/foundation/UserDefaults.h"
#include "platform/services/Pasteboard.h"
#include "platform/testing/Harness.h"
#include "platform/ui/AlertView.h"
#include "platform/ui/ScrollView.h"
#include "platform/ui/ViewController.h"
#include "platform/ui/Window.h"
#include "platform/web/WebPage.h"
#include "tests/ads/core/sdkcore/SDKCoreTestSupport.h"
#include "tools/adserver/AdServer.h"

using platform::testing::Harness;
using ruzave::GADAdView;

namespace {

const char* kReceiverPage =
    "<html><body><script>var got = [];"
    "function ZUDO_ReceiveMessage(n, d) { got.push(n + (d === undefined ? '' : ':' + JSON.stringify(d))); }"
    "</script></body></html>";

std::shared_ptr<GADAdView> loadedView(Harness& h, const char* html = kReceiverPage) {
    auto view = GADAdView::initWithFrame(platform::Rect(0, 0, 320, 50));
    view->loadHTMLString(html, platform::URL::parse("https://ads.example/page"));
    REQUIRE(h.runUntil([&] { return !view->isLoading() && !view->eventsSuspended(); }));
    return view;
}

int received(GADAdView& view) {
    return static_cast<int>(platform::integerValue(view.evaluate("got.length")));
}

} // namespace

TEST_CASE("GADAdView: commands escape the name, keep compact JSON and fall back to one argument") {
    CHECK(GADAdView::JSCommandForNotificationName("name", platform::Value{{"a", 1}}) ==
          "ZUDO_ReceiveMessage('name', {\"a\":1});");
    CHECK(GADAdView::JSCommandForNotificationName("name", std::nullopt) == "ZUDO_ReceiveMessage('name');");
    CHECK(GADAdView::JSCommandForNotificationName("x');alert(1);//", std::nullopt) ==
          "ZUDO_ReceiveMessage('x\\');alert(1);//');");
    CHECK(GADAdView::JSCommandForNotificationName("n", platform::Value(3)) == "ZUDO_ReceiveMessage('n');");
    std::string separators = GADAdView::JSCommandForNotificationName("a\xE2\x80\xA8", platform::Value{{"b", "\xE2\x80\xA9"}});
    CHECK(separators.find("\xE2\x80") == std::string::npos);
    CHECK(separators.find("\\u2028") != std::string::npos);
    CHECK(separators.find("\\u2029") != std::string::npos);
}

TEST_CASE_FIXTURE(Harness, "GADAdView: 25 events before the load deliver the first 20 after it, in order") {
    auto view = GADAdView::initWithFrame(platform::Rect(0, 0, 320, 50));
    view->loadHTMLString(kReceiverPage, platform::URL::parse("https://ads.example/page"));
    for (int i = 0; i < 25; ++i) view->dispatchSDKEvent("e" + std::to_string(i), platform::Value{{"i", i}});
    CHECK(view->pendingEventCount() == 20);
    REQUIRE(runUntil([&] { return !view->eventsSuspended(); }));
    REQUIRE(runUntil([&] { return received(*view) == 20; }));
    runUntilIdle();
    CHECK(received(*view) == 20);
    CHECK(view->evaluate("got[0]").rfind("e0:", 0) == 0);
    CHECK(view->evaluate("got[19]").rfind("e19:", 0) == 0);
    CHECK(view->evaluate("got[0]").find("\"version\":\"zudo-sdk-i-v7.5.2\"") != std::string::npos);
}

TEST_CASE_FIXTURE(Harness, "GADAdView: events after the load go at once, and a new load drops waiting ones") {
    auto view = loadedView(*this);
    view->dispatchSDKEvent("now", platform::Value{{"version", "mine"}});
    REQUIRE(runUntil([&] { return received(*view) == 1; }));
    CHECK(view->evaluate("got[0]").find("\"version\":\"mine\"") != std::string::npos);

    view->loadHTMLString(kReceiverPage, platform::URL::parse("https://ads.example/page2"));
    view->dispatchSDKEvent("lost", std::nullopt);
    view->loadHTMLString(kReceiverPage, platform::URL::parse("https://ads.example/page3"));
    CHECK(view->pendingEventCount() == 0);
    REQUIRE(runUntil([&] { return !view->eventsSuspended(); }));
    runUntilIdle();
    CHECK(received(*view) == 0);
}

TEST_CASE_FIXTURE(Harness, "GADAdView: postJSNotification never runs at once, even on the main thread") {
    auto view = loadedView(*this);
    view->postJSNotification("m", std::nullopt);
    CHECK(received(*view) == 0);
    runUntilIdle();
    CHECK(received(*view) == 1);
}

TEST_CASE_FIXTURE(Harness, "GADAdView: a page without a receiver hears no event and logs no warning") {
    auto view = loadedView(*this, "<html><body>a creative without the MRAID script</body></html>");
    platform::LogCapture logs;
    view->dispatchSDKEvent("onAdVisibilityChanged", platform::Value{{"visible", "1"}});
    view->postJSNotification("openableURLs", std::nullopt);
    runUntilIdle();
    CHECK_FALSE(logs.contains("ZUDO_ReceiveMessage"));
    CHECK_FALSE(logs.contains("script error"));
    // A receiver the page makes later hears what comes after.
    view->evaluate("var got = []; function ZUDO_ReceiveMessage(n) { got.push(n); }");
    view->postJSNotification("late", std::nullopt);
    runUntilIdle();
    CHECK(view->evaluate("got.join()") == "late");
}

TEST_CASE_FIXTURE(Harness, "GADAdView: orientation changes reach the page once, unknown orientations do nothing") {
    auto view = loadedView(*this,
                           "<html><body><script>var changes = 0;"
                           "window.addEventListener('orientationchange', function(){ changes++; });</script></body></html>");
    view->forceRotateToOrientation(3);
    runUntilIdle();
    advance(0.1);
    runUntilIdle();
    CHECK(view->evaluate("window.orientation") == "90");
    CHECK(view->evaluate("changes") == "1");
    view->forceRotateToOrientation(3);
    view->forceRotateToOrientation(5);
    advance(0.1);
    runUntilIdle();
    CHECK(view->orientation() == 3);
    CHECK(view->evaluate("changes") == "1");
    view->didRotateToOrientation(4);
    advance(0.1);
    runUntilIdle();
    CHECK(view->evaluate("window.orientation") == "-90");
    CHECK(view->evaluate("changes") == "1");
}

TEST_CASE_FIXTURE(Harness, "GADAdView: the base URL is stashed while the view lives and follows new loads") {
    ruzave::GADAdURLStash::removeAllForTesting();
    auto view = GADAdView::init();
    view->loadHTMLString("<p>x</p>", platform::URL::parse("https://ads.example/one"));
    CHECK(ruzave::GADAdURLStash::viewForURL(*platform::URL::parse("https://ads.example/one")) == view);
    view->loadHTMLString("<p>x</p>", platform::URL::parse("https://ads.example/two"));
    CHECK(ruzave::GADAdURLStash::viewForURL(*platform::URL::parse("https://ads.example/one")) == nullptr);
    CHECK(ruzave::GADAdURLStash::viewForURL(*platform::URL::parse("https://ads.example/two")) == view);
    view.reset();
    CHECK_FALSE(ruzave::GADAdURLStash::hasStashedURLs());
}

TEST_CASE_FIXTURE(Harness, "GADAdView: saveState and restoreState put the view back where it was") {
    auto holder = platform::View::create(platform::Rect(0, 0, 320, 480));
    auto view = GADAdView::initWithFrame(platform::Rect(0, 10, 320, 50));
    holder->addSubview(view);
    auto delegate = ruzave::GADAdViewDelegate::init();
    view->setDelegate(delegate);
    view->saveState();
    auto elsewhere = platform::View::create(platform::Rect(0, 0, 320, 480));
    elsewhere->addSubview(view);
    view->setFrame(platform::Rect(0, 0, 320, 480));
    view->setDelegate(std::weak_ptr<ruzave::GADAdViewDelegate>());
    view->restoreState();
    CHECK(view->superview() == holder);
    CHECK(view->frame() == platform::Rect(0, 10, 320, 50));
    CHECK(view->delegate() == delegate);
    CHECK_FALSE(view->hasSavedState());
}

TEST_CASE_FIXTURE(Harness, "GADAdView: a banner view is hidden until its ad has loaded") {
    auto view = GADAdView::init();
    view->configureAsBannerAdView();
    CHECK(view->isHidden());
    CHECK_FALSE(view->webView()->mediaPlaybackRequiresUserAction());
}

TEST_CASE_FIXTURE(Harness, "GADAdView: the debug gesture without information shows only OK") {
    auto view = GADAdView::initWithFrame(platform::Rect(0, 0, 320, 50));
    view->handleGesture();
    auto alerts = platform::AlertView::visibleAlerts();
    REQUIRE(alerts.size() == 1);
    CHECK(alerts[0]->title() == "Debug Creative Info");
    CHECK(alerts[0]->message() == "Creative information is not available");
    CHECK(alerts[0]->numberOfButtons() == 1);
    CHECK(alerts[0]->buttonTitleAtIndex(0) == "OK");
    // No text: no button copies anything.
    auto changes = platform::Pasteboard::general()->changeCount();
    alerts[0]->tapButtonAtIndex(0);
    CHECK(platform::Pasteboard::general()->changeCount() == changes);
    CHECK(platform::AlertView::visibleAlerts().empty());
}

TEST_CASE_FIXTURE(Harness, "GADAdView: the debug dialog copies the creative's information") {
    auto view = GADAdView::initWithFrame(platform::Rect(0, 0, 320, 50));
    view->setAdDebugDialog(std::string("creative 42"));
    view->handleGesture();
    auto alerts = platform::AlertView::visibleAlerts();
    REQUIRE(alerts.size() == 1);
    CHECK(alerts[0]->message() == "creative 42");
    REQUIRE(alerts[0]->numberOfButtons() == 3);
    CHECK(alerts[0]->buttonTitleAtIndex(1) == "Copy");
    CHECK(alerts[0]->buttonTitleAtIndex(2) == "Report");
    alerts[0]->tapButtonAtIndex(1);
    CHECK(platform::Pasteboard::general()->string() == std::optional<std::string>("creative 42"));
    runUntilIdle();
    CHECK(view->alertView() == nullptr);
}

TEST_CASE_FIXTURE(Harness, "GADAdView: the debug gesture does nothing with debugging off, and a second one replaces the dialog") {
    auto view = GADAdView::initWithFrame(platform::Rect(0, 0, 320, 50));
    view->setShowDebug(false);
    view->handleGesture();
    CHECK(platform::AlertView::visibleAlerts().empty());
    view->setShowDebug(true);
    view->handleGesture();
    view->handleGesture();
    CHECK(platform::AlertView::visibleAlerts().size() == 1);
    // The view going while its dialog shows leaves a dialog that reaches nobody.
    auto alert = platform::AlertView::visibleAlerts()[0];
    view.reset();
    alert->tapButtonAtIndex(0);
    runUntilIdle();
}

namespace {

struct SizeRecorder : ruzave::GADAdViewDelegate {
    using ruzave::GADAdViewDelegate::adView;
    void adView(const std::shared_ptr<GADAdView>&, platform::Size size) override { sizes.push_back(size); }
    void adViewDidFinishLoad(const std::shared_ptr<GADAdView>& view) override {
        sizes.push_back(platform::Size{-1, -1});  // marks the end of the load among the reports
        ruzave::GADAdViewDelegate::adViewDidFinishLoad(view);
    }
    std::vector<platform::Size> sizes;
};

} // namespace

TEST_CASE_FIXTURE(Harness, "GADAdView: every content size change after the load reaches the delegate") {
    auto view = GADAdView::initWithFrame(platform::Rect(0, 0, 320, 50));
    auto recorder = std::make_shared<SizeRecorder>();
    view->setDelegate(recorder);
    view->loadHTMLString("<body><div id='ad' style='width:320px;height:50px'></div>"
                         "<script>function grow(h) { document.getElementById('ad').style.height = h + 'px'; }"
                         "setTimeout(function () { grow(120); }, 1000);</script></body>",
                         platform::URL::parse("https://ads.example/fluid"));
    REQUIRE(runUntil([&] { return !view->isLoading() && !view->eventsSuspended(); }));
    // Reported once the load has ended, not while the page was still loading.
    REQUIRE(recorder->sizes.size() == 2);
    CHECK(recorder->sizes[0] == platform::Size{-1, -1});
    CHECK(recorder->sizes[1] == platform::Size{320, 50});

    // Laid out at the frame after each change.
    advance(1 + platform::WebPage::FrameInterval);
    REQUIRE(runUntil([&] { return recorder->sizes.size() == 3; }));
    CHECK(recorder->sizes[2] == platform::Size{320, 120});
    view->evaluate("grow(300)");
    advance(platform::WebPage::FrameInterval);
    REQUIRE(runUntil([&] { return recorder->sizes.size() == 4; }));
    CHECK(recorder->sizes[3] == platform::Size{320, 300});
    // The same size again is no change.
    view->evaluate("grow(300)");
    advance(platform::WebPage::FrameInterval);
    runUntilIdle();
    CHECK(recorder->sizes.size() == 4);
    // A new page reports its size when loaded, whatever the last page's was.
    view->loadHTMLString("<body><div style='width:320px;height:300px'></div></body>", platform::URL::parse("https://ads.example/next"));
    REQUIRE(runUntil([&] { return recorder->sizes.size() == 6; }));
    CHECK(recorder->sizes[5] == platform::Size{320, 300});
}

TEST_CASE_FIXTURE(Harness, "GADAdView: a pooled web view tells only its current ad view of size changes") {
    platform::UserDefaults::standard()->set("/ruzave/ads/web_view_cache_max_capacity", 1);
    auto first = GADAdView::initWithFrame(platform::Rect(0, 0, 320, 50));
    auto webView = first->webView();
    auto firstRecorder = std::make_shared<SizeRecorder>();
    first->setDelegate(firstRecorder);
    first.reset();
    REQUIRE(runUntil([&] { return GADAdView::webViewCache()->count() == 1; }));
    auto second = loadedView(*this);
    REQUIRE(second->webView() == webView);
    auto secondRecorder = std::make_shared<SizeRecorder>();
    second->setDelegate(secondRecorder);
    webView->scrollView()->setContentSize({320, 777});
    CHECK(firstRecorder->sizes.empty());
    REQUIRE(secondRecorder->sizes.size() == 1);
    CHECK(secondRecorder->sizes[0] == platform::Size{320, 777});
}

TEST_CASE_FIXTURE(Harness, "GADAdView: reset turns scroll-to-top off, and opacity is set on the web view too") {
    auto view = GADAdView::initWithFrame(platform::Rect(0, 0, 320, 50));
    CHECK_FALSE(view->scrollView()->scrollsToTop());
    CHECK_FALSE(view->isOpaque());
    CHECK_FALSE(view->webView()->isOpaque());
    view->setOpaque(true);
    CHECK(view->isOpaque());
    CHECK(view->webView()->isOpaque());
    // Also when set through the plain view.
    platform::View& plain = *view;
    plain.setOpaque(false);
    CHECK_FALSE(view->webView()->isOpaque());
    view->scrollView()->setScrollsToTop(true);
    view->reset();
    CHECK_FALSE(view->scrollView()->scrollsToTop());
}

// The pool is made once per process from the defaults entry; each of these runs in its own process.
TEST_CASE_FIXTURE(Harness, "GADAdView: a capacity of 10 or more pools nothing") {
    platform::UserDefaults::standard()->set("/ruzave/ads/web_view_cache_max_capacity", 12);
    auto first = GADAdView::initWithFrame(platform::Rect(0, 0, 320, 50));
    auto webView = first->webView();
    first.reset();
    runUntilIdle();
    CHECK(GADAdView::webViewCache()->count() == 0);
    auto second = GADAdView::initWithFrame(platform::Rect(0, 0, 320, 50));
    CHECK(second->webView() != webView);
}

TEST_CASE_FIXTURE(Harness, "GADAdView: a negative capacity pools nothing") {
    platform::UserDefaults::standard()->set("/ruzave/ads/web_view_cache_max_capacity", -1);
    auto first = GADAdView::initWithFrame(platform::Rect(0, 0, 320, 50));
    auto webView = first->webView();
    first.reset();
    runUntilIdle();
    CHECK(GADAdView::webViewCache()->count() == 0);
    auto second = GADAdView::initWithFrame(platform::Rect(0, 0, 320, 50));
    CHECK(second->webView() != webView);
}

TEST_CASE_FIXTURE(Harness, "GADAdView: only the first request with a user agent sets the device's") {
    GADAdView::resetUserAgentCaptureForTesting();
    auto device = ruzave::GADDevice::sharedInstance();
    device->setUserAgentString("before");
    auto view = GADAdView::initWithFrame(platform::Rect(0, 0, 320, 50));
    auto request = [](const char* agent) {
        platform::URLRequest r(*platform::URL::parse("https://ads.example/page"));
        if (agent) r.setValue(agent, "User-Agent");
        return r;
    };
    const auto other = platform::WebViewNavigationType::Other;
    // Without the header, or with an empty one, nothing is captured and the next request still may.
    CHECK(view->shouldStartLoad(*view->webView(), request(nullptr), other));
    CHECK(view->shouldStartLoad(*view->webView(), request(""), other));
    CHECK(device->userAgentString() == "before");
    CHECK(view->shouldStartLoad(*view->webView(), request("Agent/1"), other));
    CHECK(device->userAgentString() == "Agent/1");
    // Later requests, from this view or another, leave it.
    CHECK(view->shouldStartLoad(*view->webView(), request("Agent/2"), other));
    auto another = GADAdView::initWithFrame(platform::Rect(0, 0, 320, 50));
    CHECK(another->shouldStartLoad(*another->webView(), request("Agent/3"), other));
    CHECK(device->userAgentString() == "Agent/1");
}

namespace {

// A creative that asks the network for a beacon as its markup loads, from its inline script and again
// 0.2 s later.
std::string beaconingPage(const std::string& name) {
    const std::string beacon = std::string("https://") + ruzave::GADHosts::kAdServerHost + "/beacon?" + name;
    return "<html><body><img src='" + beacon +
           "-img'><script>"
           "function ping(n){var i=document.createElement('img');i.setAttribute('src','" +
           beacon +
           "-'+n);}"
           "ping('inline');setTimeout(function(){ping('later');},200);</script>ad</body></html>";
}

// Banners on a window's root screen, whose creatives and second pages come from the local ad server.
struct ReleasedAds : Harness {
    ReleasedAds() {
        // Each case runs in its own process, where the pool is made from this on first use.
        platform::UserDefaults::standard()->set("/ruzave/ads/web_view_cache_max_capacity", 1);
        server = sdkcoretest::startCoreServer();
        server->routeHost(ruzave::GADHosts::kAdServerHost, "/part2", [](const adserver::Request&) {
            return adserver::Response::html(beaconingPage("part2"));
        });
        server->routeHost(ruzave::GADHosts::kAdServerHost, "/creative", [](const adserver::Request&) {
            return adserver::Response::html(beaconingPage("creative"));
        });
        server->route("/beacon", adserver::Response::text("ok"));
        window = platform::Window::create();
        root = platform::ViewController::create();
        window->setRootViewController(root);
        window->makeKeyAndVisible();
    }
    ~ReleasedAds() { platform::NetworkConfiguration::sharedInstance()->reset(); }

    // A banner with an ad in place, as the slot has it once the response is in.
    std::shared_ptr<ruzave::GADBannerView> placedBanner() {
        auto banner = ruzave::GADBannerView::initWithFrame(platform::Rect(0, 100, 320, 50));
        banner->setRootViewController(root);
        root->view()->addSubview(banner);
        banner->slot()->finishedLoadingAdResponse(ruzave::GADAd::init());
        banner->slot()->MRAIDAdDidLoad();
        return banner;
    }
    void release(std::shared_ptr<ruzave::GADBannerView>& banner) {
        banner->removeFromSuperview();
        banner.reset();
    }
    // Two seconds of the creative's time, each step waiting for what went to the network.
    void aWhile() { sdkcoretest::settle(*this, 20, 0.1); }
    std::size_t sent(const std::string& path) const { return server->requestCount(path); }

    std::unique_ptr<adserver::AdServer> server;
    std::shared_ptr<platform::Window> window;
    std::shared_ptr<platform::ViewController> root;
};

} // namespace

TEST_CASE_FIXTURE(
    ReleasedAds,
    "GADAdView: a released ad sends nothing, even what was scheduled in the turn of its release") {
    const platform::URL base =
        *platform::URL::parse(std::string("https://") + ruzave::GADHosts::kAdServerHost + "/");
    const platform::URL part2 = *platform::URL::parse(base.absoluteString() + "part2");
    const platform::URL creative = *platform::URL::parse(base.absoluteString() + "creative");

    // The road works: a creative shown sends its beacons, and an expand with a URL loads its second part.
    auto banner = placedBanner();
    banner->adView()->loadRequest(platform::URLRequest(creative));
    REQUIRE(sdkcoretest::pump(*this, [&] { return sent("/beacon") == 3; }));
    auto opener = ruzave::GADOpener::init();
    opener->setSlot(banner->slot());
    opener->setAdView(banner->adView());
    opener->setViewController(root);
    opener->openWebApp(part2, 30, false);
    REQUIRE(sdkcoretest::pump(*this, [&] { return sent("/beacon") == 6; }));
    CHECK(sent("/part2") == 1);
    release(banner);
    aWhile();
    CHECK(root->presentedViewController() == nullptr);
    server->clearLog();

    SUBCASE("a two-part expand released in the turn it opened") {
        banner = placedBanner();
        banner->adView()->loadHTMLString("<html><body>first part</body></html>", base);
        REQUIRE(runUntil([&] { return !banner->adView()->eventsSuspended(); }));
        opener->setSlot(banner->slot());
        opener->setAdView(banner->adView());
        opener->openWebApp(part2, 30, false);
        REQUIRE(root->presentedViewController());
        release(banner);
        opener.reset();
        aWhile();
        CHECK(sent("/part2") == 0);
        CHECK(sent("/beacon") == 0);
        CHECK(root->presentedViewController() == nullptr);
    }
    SUBCASE("a pooled web view given a creative in the turn of its banner's release") {
        for (bool byURL : {false, true}) {
            CAPTURE(byURL);
            REQUIRE(runUntil([] { return ruzave::GADAdView::webViewCache()->count() == 1; }));
            server->clearLog();
            banner = placedBanner();
            std::weak_ptr<platform::WebView> pooled = banner->adView()->webView();
            CHECK(ruzave::GADAdView::webViewCache()->count() == 0);
            if (byURL)
                banner->adView()->loadRequest(platform::URLRequest(creative));
            else
                banner->adView()->loadHTMLString(beaconingPage("creative"), base);
            release(banner);
            aWhile();
            CHECK(sent("/creative") == 0);
            CHECK(sent("/beacon") == 0);
            // Back in the pool, blank: nothing of the released ad was loaded into it.
            REQUIRE(runUntil([] { return ruzave::GADAdView::webViewCache()->count() == 1; }));
            auto back = ruzave::GADAdView::webViewCache()->anyObject();
            REQUIRE(back);
            CHECK(back == pooled.lock());
            REQUIRE(back->currentPage());
            CHECK(back->currentPage()->url().absoluteString() == "about:blank");
            CHECK(back->currentPage()->document().body()->innerHTML().empty());
            ruzave::GADAdView::cacheWebView(back);
        }
    }
}
