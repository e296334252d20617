#include <doctest/doctest.h>

#include <string>
#include <vector>

#include "ads/render/GADAdView.h"
#include "ads/render/GADClickTrackerCollection.h"
#include "platform/web/WebPage.h"
#include "platform/net/NetworkEngine.h"
#include "platform/web/WebView.h"
#include "ads/render/GADAdViewDelegate.h"
#include "ads/render/GADBrowserViewController.h"
#include "ads/render/GADClickTrackerCollection.h"
#include "ads/render/GADGMSGHandler.h"
#include "ads/render/GADNotification.h"
#include "ads/render/GADOpener.h"
#include "platform/foundation/NotificationCenter.h"
#include "platform/foundation/UserDefaults.h"
#include "platform/testing/Harness.h"
#include "platform/ui/Application.h"
#include "platform/ui/Device.h"
#include "tests/ads/render/RenderFullScreenTestSupport.h"

using platform::WebViewNavigationType;
using platform::testing::Harness;
using ruzave::GADAdView;
using ruzave::GADAdViewDelegate;
using ruzave::GADGMSGHandler;

namespace {

class Taker : public GADGMSGHandler {
  public:
    static std::shared_ptr<Taker> make(std::vector<std::string>* log, std::string tag) {
        auto t = std::shared_ptr<Taker>(new Taker());
        t->log = log;
        t->tag = std::move(tag);
        return t;
    }
    const ActionBlockDictionary* actionBlockDictionary() const override {
        static const ActionBlockDictionary table = {
            {"step", [](GADGMSGHandler& h, const Arguments& a) {
                 auto& self = static_cast<Taker&>(h);
                 self.log->push_back(self.tag + " " + a.note->parameter("n").value_or("?"));
             }},
        };
        return &table;
    }
    std::vector<std::string>* log = nullptr;
    std::string tag;
};

platform::URLRequest request(const std::string& text) {
    return *platform::URLRequest::withURLString(text);
}

struct RouterFixture : Harness {
    std::shared_ptr<GADAdViewDelegate> router = GADAdViewDelegate::init();
    std::shared_ptr<GADAdView> view = GADAdView::initWithFrame(platform::Rect(0, 0, 320, 50));
    RouterFixture() {
        view->setDelegate(router);
        platform::Application::sharedApplication()->setApplicationState(platform::ApplicationState::Active);
        platform::Device::currentDevice()->setSystemVersion("8.4");
    }
    bool decide(const std::string& url, WebViewNavigationType type = WebViewNavigationType::Other) {
        return router->adView(view, request(url), type).value_or(true);
    }
    std::vector<std::string> opened() {
        std::vector<std::string> out;
        for (const auto& u : platform::Application::sharedApplication()->openedURLs()) out.push_back(u.absoluteString());
        return out;
    }
};

} // namespace

TEST_CASE_FIXTURE(RouterFixture, "GADAdViewDelegate: messages never load and reach the handlers later, in order") {
    std::vector<std::string> log;
    router->addGMSGHandler(Taker::make(&log, "first"));
    router->addGMSGHandler(Taker::make(&log, "second"));
    for (int i = 0; i < 30; ++i) CHECK_FALSE(decide("gmsg://x/step?n=" + std::to_string(i)));
    CHECK(log.empty());
    REQUIRE(runUntil([&] { return log.size() == 30; }));
    for (int i = 0; i < 30; ++i) CHECK(log[static_cast<std::size_t>(i)] == "first " + std::to_string(i));
}

TEST_CASE_FIXTURE(RouterFixture, "GADAdViewDelegate: a message nobody takes is posted under its name with the view") {
    std::vector<std::string> seen;
    auto token = platform::NotificationCenter::defaultCenter()->addObserver(
        "loadHtml", view.get(), nullptr,
        [&](const platform::Notification& n) { seen.push_back(n.userInfo.value("overlayHtml", std::string())); });
    CHECK_FALSE(decide("gmsg://x/loadHtml?overlayHtml=%3Cp%3Ehi%3C%2Fp%3E"));
    CHECK_FALSE(decide("gmsg://x/"));
    REQUIRE(runUntil([&] { return seen.size() == 1; }));
    runUntilIdle();
    CHECK(seen == std::vector<std::string>{"<p>hi</p>"});
    platform::NotificationCenter::defaultCenter()->removeObserver(token);
}

TEST_CASE_FIXTURE(RouterFixture, "GADAdViewDelegate: schemes decide whether the page loads") {
    CHECK(decide("about:blank"));
    CHECK_FALSE(decide("file:///etc/passwd"));
    CHECK_FALSE(decide("mailto:a@example.com"));
    CHECK_FALSE(decide("sms:123"));
    CHECK(decide("https://ads.example/landing"));
    CHECK(view->URL()->absoluteString() == "https://ads.example/landing");
    CHECK_FALSE(router->adView(view, platform::URLRequest(), WebViewNavigationType::Other).value_or(true));
}

TEST_CASE_FIXTURE(RouterFixture, "GADAdViewDelegate: an anchor of the page shown is not followed") {
    view->loadHTMLString("<p id='s'>x</p>", platform::URL::parse("https://ads.example/page"));
    REQUIRE(runUntil([&] { return !view->isLoading() && view->evaluate("document.body.innerHTML") != ""; }));
    CHECK_FALSE(decide("https://ads.example/page#s", WebViewNavigationType::LinkClicked));
    CHECK(decide("https://ads.example/page#s", WebViewNavigationType::Other));
}

TEST_CASE_FIXTURE(RouterFixture, "GADAdViewDelegate: other schemes leave the app once, through the opener") {
    platform::Application::sharedApplication()->installURLScheme("shop");
    CHECK_FALSE(decide("shop://item/1", WebViewNavigationType::LinkClicked));
    runUntilIdle();
    CHECK(opened() == std::vector<std::string>{"shop://item/1"});
    CHECK(router->opener()->didOpenAnotherApplication());
}

TEST_CASE_FIXTURE(RouterFixture, "GADAdViewDelegate: deeplink+ opens the fallback when the app is missing") {
    CHECK_FALSE(decide("deeplink+://navigate?primaryUrl=missing%3A%2F%2Fx&fallbackUrl=https%3A%2F%2Fshop.example%2Fp"
                       ""));
    runUntilIdle();
    CHECK(opened() == std::vector<std::string>{"https://shop.example/p"});
}

TEST_CASE_FIXTURE(RouterFixture, "GADAdViewDelegate: the trackers a deeplink+ link names are its page's pings") {
    auto collection = ruzave::GADClickTrackerCollection::sharedInstance();
    platform::Application::sharedApplication()->installURLScheme("shop");
    const std::string link = "deeplink+://navigate?primaryUrl=shop%3A%2F%2Fitem&primaryTrackingUrl="
                             "https%3A%2F%2Ftrack.example%2Fa&primaryTrackingUrl=https%3A%2F%2Ftrack.example%2Fb";
    // No page shown: nobody to load them for; they end at once.
    CHECK_FALSE(decide(link));
    REQUIRE(runUntil([&] { return collection->runningTrackerCount() == 0; }));
    const auto before = collection->trackedCount();
    view->loadHTMLString("<p>ad</p>", platform::URL::parse("https://ads.example/page"));
    REQUIRE(runUntil([&] { return view->webView()->currentPage() && !view->isLoading(); }));
    auto page = view->webView()->currentPage();
    CHECK_FALSE(decide(link));
    CHECK(platform::NetworkEngine::shared().pingCounts().admitted == 2);
    CHECK(collection->trackedCount() == before + 2);
    REQUIRE(runUntil([&] { return collection->runningTrackerCount() == 0; }));
    CHECK(platform::NetworkEngine::shared().pingCounts().admitted == 0);
}

TEST_CASE_FIXTURE(RouterFixture, "GADAdViewDelegate: deeplink+ with another host does nothing, switched off it is an app link") {
    CHECK_FALSE(decide("deeplink+://elsewhere?primaryUrl=a%3A%2F%2Fb"));
    runUntilIdle();
    CHECK(opened().empty());
    platform::UserDefaults::standard()->set("/ruzave/ads/deeplinkplus_enabled", platform::Value(false));
    CHECK_FALSE(decide("deeplink+://navigate?primaryUrl=a%3A%2F%2Fb"));
    runUntilIdle();
    CHECK(opened() == std::vector<std::string>{"deeplink+://navigate?primaryUrl=a%3A%2F%2Fb"});
}

TEST_CASE_FIXTURE(RouterFixture, "GADAdViewDelegate: deeplink+ trackers are pinged only once the gate lets the open through") {
    const std::string link = "deeplink+://navigate?primaryUrl=missing%3A%2F%2Fx&fallbackUrl=https%3A%2F%2Fshop.example%2Fp"
                             "&fallbackTrackingUrl=https%3A%2F%2Fping.example%2Ffb";
    // The creative's document, whose loads the trackers are.
    view->webView()->loadHTMLString("<p>ad</p>", platform::URL::parse("https://ads.example/creative"));
    REQUIRE(runUntil([&] { return view->webView()->currentPage() != nullptr; }, 5));
    auto trackers = ruzave::GADClickTrackerCollection::sharedInstance();
    const std::size_t before = trackers->trackedCount();
    router->opener()->setAutoClickProtected(true);
    CHECK_FALSE(decide(link));
    runUntilIdle();
    CHECK(opened().empty());
    CHECK(trackers->trackedCount() == before);
    view->setTouched(true);
    CHECK_FALSE(decide(link));
    runUntilIdle();
    CHECK(opened() == std::vector<std::string>{"https://shop.example/p"});
    CHECK(trackers->trackedCount() == before + 1);
}

TEST_CASE_FIXTURE(RouterFixture, "GADAdViewDelegate: a protected opener opens nothing without a touch") {
    router->opener()->setAutoClickProtected(true);
    CHECK_FALSE(decide("deeplink+://navigate?primaryUrl=missing%3A%2F%2Fx&fallbackUrl=https%3A%2F%2Fshop.example%2Fp"));
    runUntilIdle();
    CHECK(opened().empty());
    view->setTouched(true);
    CHECK_FALSE(decide("deeplink+://navigate?primaryUrl=missing%3A%2F%2Fx&fallbackUrl=https%3A%2F%2Fshop.example%2Fp"));
    runUntilIdle();
    CHECK(opened().size() == 1);
}

namespace {

// A router that notes when the ad view reports its page's load end.
class EndRecorder : public GADAdViewDelegate {
  public:
    static std::shared_ptr<EndRecorder> make(std::vector<std::string>* log) {
        std::shared_ptr<EndRecorder> r(new EndRecorder());
        r->log = log;
        return r;
    }
    void adViewDidFinishLoad(const std::shared_ptr<GADAdView>& adView) override {
        log->push_back("finished");
        GADAdViewDelegate::adViewDidFinishLoad(adView);
    }
    using GADAdViewDelegate::adView;
    void adView(const std::shared_ptr<GADAdView>&, const platform::Error&) override { log->push_back("failed"); }
    std::vector<std::string>* log = nullptr;
};

} // namespace

TEST_CASE_FIXTURE(Harness, "GADAdViewDelegate: what a page says while loading reaches the handlers before its load ends") {
    std::vector<std::string> log;
    auto router = EndRecorder::make(&log);
    router->addGMSGHandler(Taker::make(&log, "step"));
    auto view = GADAdView::initWithFrame(platform::Rect(0, 0, 320, 50));
    view->setDelegate(router);
    view->loadHTMLString("<script>for (var i = 0; i < 3; i++) location.href = 'gmsg://h/step?n=' + i;</script>"
                         "<p>ad</p><script>location.href = 'gmsg://h/step?n=3';</script>",
                         platform::URL::parse("https://ads.example/creative/"));
    REQUIRE(runUntil([&] { return !log.empty() && log.back() == "finished"; }));
    CHECK(log == std::vector<std::string>{"step 0", "step 1", "step 2", "step 3", "finished"});
    // The parses still under way find their messages delivered: nothing runs twice.
    runUntilIdle();
    CHECK(log.size() == 5);
    CHECK(router->pendingMessageCount() == 0);
    // Messages after the load flow as before, in order.
    view->evaluate("location.href = 'gmsg://h/step?n=4'; location.href = 'gmsg://h/step?n=5';");
    REQUIRE(runUntil([&] { return log.size() == 7; }));
    CHECK(log[5] == "step 4");
    CHECK(log[6] == "step 5");
}

TEST_CASE_FIXTURE(Harness, "GADAdViewDelegate: messages in flight reach the handlers before a load failure") {
    std::vector<std::string> log;
    auto router = EndRecorder::make(&log);
    router->addGMSGHandler(Taker::make(&log, "step"));
    auto view = GADAdView::initWithFrame(platform::Rect(0, 0, 320, 50));
    view->setDelegate(router);
    // Still being parsed when the web view reports the failure on this same turn.
    router->handleGMSGURL(*platform::URL::parse("gmsg://h/step?n=1"), view);
    router->handleGMSGURL(*platform::URL::parse("gmsg://h/step?n=2"), view);
    view->didFailLoad(*view->webView(), platform::Error("WebKitErrorDomain", 1, "failed"));
    CHECK(log == std::vector<std::string>{"step 1", "step 2", "failed"});
    runUntilIdle();
    CHECK(log.size() == 3);
}

TEST_CASE_FIXTURE(fullscreentest::MRAIDBanner,
                  "GADAdViewDelegate: an MRAID ad's clicked web link opens the browser, the same URL by script loads") {
    auto router = GADAdViewDelegate::init();
    router->opener()->setSlot(s.slot);
    adView->setTouched(true);
    // Loaded by script the page simply goes there.
    CHECK(router->adView(adView, request("http://127.0.0.1:9/p"), WebViewNavigationType::Other).value_or(false));
    settle();
    CHECK_FALSE(root->presentedViewController());
    // Clicked, it goes to the in-app browser with every orientation and never loads in the ad.
    CHECK_FALSE(router->adView(adView, request("HTTP://127.0.0.1:9/p"), WebViewNavigationType::LinkClicked)
                    .value_or(true));
    settle();
    auto browser = std::dynamic_pointer_cast<ruzave::GADBrowserViewController>(root->presentedViewController());
    REQUIRE(browser);
    CHECK(browser->supportedInterfaceOrientations() == 30);
    CHECK(platform::Application::sharedApplication()->openedURLs().empty());
    if (auto page = browser->adView()) page->stopLoading();
    browser->relinquishScreenWithCompletion(nullptr);
    settle();
    CHECK_FALSE(root->presentedViewController());
}
