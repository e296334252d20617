#include <doctest/doctest.h>

#include "ads/core/sdkcore/GADAdViewActiveViewMonitoring.h"
#include "ads/core/sdkcore/GADSDKCoreWebView.h"
#include "ads/core/sdkcore/GADSDKCoreWebViewNotification.h"
#include "platform/web/WebView.h"
#include "tests/ads/core/sdkcore/SDKCoreTestSupport.h"

using adserver::CorePageScenario;
using platform::testing::Harness;
using namespace ruzave;
using sdkcoretest::pump;

namespace {

struct LoadObserver : GADSDKCoreWebViewNotification {
    std::vector<GADSDKCoreWebViewState> heard;
    void didFinishLoadingSDKCoreInSDKCoreWebView(const std::shared_ptr<GADSDKCoreWebView>& webView) override {
        heard.push_back(webView->state());
    }
};

struct Monitor : GADAdViewActiveViewMonitoring {
    std::vector<bool> visibility;
    int stops = 0;
    void adViewDidChangeActiveViewVisibility(bool visible) override { visibility.push_back(visible); }
    void adViewDidStopActiveViewMonitoring() override { ++stops; }
};

bool load(Harness& h, const std::shared_ptr<GADSDKCoreWebView>& view, const std::shared_ptr<LoadObserver>& observer) {
    std::size_t before = observer->heard.size();
    view->refreshSDKCoreAndNotifyObserver(observer);
    return pump(h, [&] { return observer->heard.size() > before; });
}

std::string eval(const std::shared_ptr<GADSDKCoreWebView>& view, const std::string& script) {
    return view->adView() ? view->adView()->evaluate(script) : std::string();
}

} // namespace

TEST_CASE_FIXTURE(Harness, "GADSDKCoreWebView: 51 commands queued before the load run 2 to 51 in order and the first is lost") {
    auto server = sdkcoretest::startCoreServer();
    auto view = GADSDKCoreWebView::init();
    int lost = 0;
    for (int i = 1; i <= 51; ++i)
        view->enqueueJavaScriptCommand("window.ran = (window.ran || '') + '" + std::to_string(i) + ",';", [&lost, i] { lost += i; });
    auto observer = std::make_shared<LoadObserver>();
    REQUIRE(load(*this, view, observer));
    CHECK(observer->heard == std::vector<GADSDKCoreWebViewState>{GADSDKCoreWebViewStateLoaded});
    REQUIRE(pump(*this, [&] { return eval(view, "window.ran || ''").size() > 100; }));
    std::string expected;
    for (int i = 2; i <= 51; ++i) expected += std::to_string(i) + ",";
    CHECK(eval(view, "window.ran") == expected);
    CHECK(lost == 1);
    CHECK(view->hasSDKCoreLoadedAtLeastOnce());
}

TEST_CASE_FIXTURE(Harness, "GADSDKCoreWebView: a failed page drops new commands and a later load runs the earlier ones") {
    CorePageScenario broken;
    broken.pageStatus = 404;
    auto server = sdkcoretest::startCoreServer(broken);
    auto view = GADSDKCoreWebView::init();
    view->enqueueJavaScriptCommand("window.early = 1;");
    auto observer = std::make_shared<LoadObserver>();
    REQUIRE(load(*this, view, observer));
    CHECK(observer->heard == std::vector<GADSDKCoreWebViewState>{GADSDKCoreWebViewStateFailed});
    bool lost = false;
    view->enqueueJavaScriptCommand("window.dropped = 1;", [&] { lost = true; });
    REQUIRE(runUntil([&] { return lost; }, 2));
    adserver::installCorePage(*server, CorePageScenario{});
    REQUIRE(load(*this, view, observer));
    CHECK(observer->heard.back() == GADSDKCoreWebViewStateLoaded);
    REQUIRE(pump(*this, [&] { return eval(view, "window.early") == "1"; }));
    pump(*this, [] { return false; }, 0.2);
    CHECK(eval(view, "String(window.dropped)") == "undefined");
}

TEST_CASE_FIXTURE(Harness, "GADSDKCoreWebView: observers hear once per registration, at once when loaded") {
    auto server = sdkcoretest::startCoreServer();
    auto view = GADSDKCoreWebView::init();
    auto during = std::make_shared<LoadObserver>();
    auto other = std::make_shared<LoadObserver>();
    view->refreshSDKCoreAndNotifyObserver(during);
    view->refreshSDKCoreAndNotifyObserver(other);  // no second load while one is under way
    REQUIRE(pump(*this, [&] { return !during->heard.empty() && !other->heard.empty(); }));
    CHECK(sdkcoretest::pageLoads(*server) == 1);
    auto late = std::make_shared<LoadObserver>();
    view->addObserverForOneTimeNotification(late);
    REQUIRE(runUntil([&] { return !late->heard.empty(); }, 2));
    // A reload notifies only those registered again.
    REQUIRE(load(*this, view, std::make_shared<LoadObserver>()));
    CHECK(sdkcoretest::pageLoads(*server) == 2);
    CHECK(during->heard.size() == 1);
    CHECK(late->heard.size() == 1);
}

TEST_CASE_FIXTURE(Harness, "GADSDKCoreWebView: a hung load fails after 30 s and a refresh then loads again") {
    CorePageScenario slow;
    slow.pageDelayMs = 1500;
    auto server = sdkcoretest::startCoreServer(slow);
    auto view = GADSDKCoreWebView::init();
    auto observer = std::make_shared<LoadObserver>();
    view->refreshSDKCoreAndNotifyObserver(observer);
    REQUIRE(runUntil([&] { return sdkcoretest::pageLoads(*server) == 1; }, 10));
    runUntilIdle();
    CHECK(view->state() == GADSDKCoreWebViewStateLoading);
    advance(29.9);
    CHECK(observer->heard.empty());
    advance(0.2);
    REQUIRE(runUntil([&] { return !observer->heard.empty(); }, 2));
    CHECK(observer->heard == std::vector<GADSDKCoreWebViewState>{GADSDKCoreWebViewStateFailed});
    adserver::installCorePage(*server, CorePageScenario{});
    REQUIRE(load(*this, view, observer));
    CHECK(observer->heard.back() == GADSDKCoreWebViewStateLoaded);
}

TEST_CASE_FIXTURE(Harness, "GADSDKCoreWebView: gmsg and foreign navigations are refused before the load and routed after it") {
    auto server = sdkcoretest::startCoreServer();
    auto view = GADSDKCoreWebView::init();
    auto dummyView = platform::WebView::create();
    platform::WebView& dummy = *dummyView;
    auto gmsg = platform::URLRequest(*platform::URL::parse("gmsg://sdk/loadSdkConstants?x=1"));
    CHECK(!view->shouldStartLoad(dummy, gmsg, platform::WebViewNavigationType::Other));
    auto observer = std::make_shared<LoadObserver>();
    REQUIRE(load(*this, view, observer));
    auto elsewhere = platform::URLRequest(*platform::URL::parse("https://elsewhere.ruzave.example/"));
    CHECK(!view->shouldStartLoad(dummy, elsewhere, platform::WebViewNavigationType::LinkClicked));
    CHECK(!view->shouldStartLoad(dummy, gmsg, platform::WebViewNavigationType::Other));
    // The page reloading itself starts a new document: what the old one was asked is lost.
    bool lost = false;
    view->enqueueJavaScriptCommand("window.x = 1;", [&] { lost = true; });
    runUntilIdle();
    auto page = platform::URLRequest(*platform::URL::parse(view->pageURLString()));
    CHECK(view->shouldStartLoad(dummy, page, platform::WebViewNavigationType::Other));
    CHECK(view->state() == GADSDKCoreWebViewStateLoading);
    CHECK(!view->shouldStartLoad(dummy, page, platform::WebViewNavigationType::Other));
    REQUIRE(runUntil([&] { return lost; }, 2));
}

TEST_CASE_FIXTURE(Harness, "GADSDKCoreWebView: active-view observers, first registration wins, untrack and clear") {
    auto view = GADSDKCoreWebView::init();
    auto a = std::make_shared<Monitor>();
    auto b = std::make_shared<Monitor>();
    view->setActiveViewObserver(a, 1);
    view->setActiveViewObserver(b, 1);
    view->setActiveViewObserver(b, 2);
    view->activeViewDidReceiveVisibilityNotification(true, 1);
    runUntilIdle();
    CHECK(a->visibility == std::vector<bool>{true});
    CHECK(b->visibility.empty());
    view->removeActiveViewObserverForActiveViewID(1);
    CHECK(view->isActiveViewRunning());
    view->activeViewDidReceiveUntrackNotification(1);
    view->activeViewDidReceiveUntrackNotification(2);
    runUntilIdle();
    CHECK(!view->isActiveViewRunning());
    CHECK(a->stops == 0);
    CHECK(b->stops == 1);
    auto c = std::make_shared<Monitor>();
    view->setActiveViewObserver(c, 3);
    {
        auto gone = std::make_shared<Monitor>();
        view->setActiveViewObserver(gone, 4);
    }
    view->clearAllActiveViewInstances();
    runUntilIdle();
    CHECK(c->stops == 1);
    CHECK(!view->isActiveViewRunning());
}

TEST_CASE_FIXTURE(Harness, "GADSDKCoreWebView: refreshing a loaded page reloads it and holds new commands until it has loaded") {
    auto server = sdkcoretest::startCoreServer();
    auto view = GADSDKCoreWebView::init();
    auto observer = std::make_shared<LoadObserver>();
    REQUIRE(load(*this, view, observer));
    REQUIRE(view->state() == GADSDKCoreWebViewStateLoaded);

    view->refreshSDKCoreAndNotifyObserver(observer);
    REQUIRE(runUntil([&] { return view->state() != GADSDKCoreWebViewStateLoaded; }, 2));
    // While the reload runs a command waits; it must not run in the old document.
    view->enqueueJavaScriptCommand("window.afterReload = 1;");
    CHECK(eval(view, "String(window.afterReload)") == "undefined");
    REQUIRE(pump(*this, [&] { return observer->heard.size() == 2; }));
    CHECK(observer->heard.back() == GADSDKCoreWebViewStateLoaded);
    CHECK(sdkcoretest::pageLoads(*server) == 2);
    REQUIRE(pump(*this, [&] { return eval(view, "String(window.afterReload)") == "1"; }));
}
