#include <doctest/doctest.h>

#include <string>

#include "../core/slot/SlotTestSupport.h"
#include "ads/core/net/GADClickTrackerCollection.h"
#include "ads/core/public/GADAdSize.h"
#include "ads/core/public/GADBannerView.h"
#include "ads/core/public/GADInterstitial.h"
#include "ads/core/public/GADInterstitialDelegate.h"
#include "ads/core/public/GADRequest.h"
#include "ads/core/sdkcore/GADHosts.h"
#include "ads/core/slot/GADAd.h"
#include "ads/core/telemetry/GADStatisticDictionary.h"
#include "ads/render/GADAdAppAdViewDelegate.h"
#include "ads/render/GADAdAppGMSGHandler.h"
#include "ads/render/GADAdView.h"
#include "ads/render/GADAppEventGMSGHandler.h"
#include "ads/render/GADBrowserViewController.h"
#include "ads/render/GADExpandedAdAppViewController.h"
#include "ads/render/GADInterstitialViewController.h"
#include "ads/render/GADMRAIDInterceptor.h"
#include "ads/render/GADNotification.h"
#include "ads/render/GADSupplementalAdAppViewController.h"
#include "platform/foundation/UserDefaults.h"
#include "platform/services/MessageComposer.h"
#include "platform/testing/Harness.h"
#include "platform/testing/ui/TouchInjector.h"
#include "platform/testing/web/WebViewTesting.h"
#include "platform/ui/Application.h"
#include "platform/ui/Device.h"
#include "platform/ui/ViewController.h"
#include "platform/ui/Window.h"
#include "tests/ads/core/sdkcore/SDKCoreTestSupport.h"
#include "tools/adserver/AdResponses.h"
#include "tools/adserver/AdServer.h"
#include "tools/adserver/MRAIDScripts.h"

using platform::WebViewNavigationType;
using platform::testing::Harness;
using ruzave::GADAdAppAdViewDelegate;
using ruzave::GADMRAIDInterceptor;
using namespace slottest;

namespace {

struct ClickCounter : FakeOwner {
    void slotDidReceiveAdClick(ruzave::GADSlot&) override { ++clicks; }
    int clicks = 0;
};

struct ExpandedFixture : Harness {
    FakeNeighbours fakes;
    std::shared_ptr<ClickCounter> owner = std::make_shared<ClickCounter>();
    std::shared_ptr<ruzave::GADSlot> slot = makeSlot(owner);
    std::shared_ptr<ruzave::GADAdView> view = ruzave::GADAdView::initWithFrame(platform::Rect(0, 0, 320, 480));
    ExpandedFixture() { GADMRAIDInterceptor::resetCanInitWithRequestCounter(); }

    template <class T>
    bool has(const std::shared_ptr<GADAdAppAdViewDelegate>& d) {
        for (const auto& h : d->gmsgHandlers())
            if (std::dynamic_pointer_cast<T>(h)) return true;
        return false;
    }
};

constexpr const char* kAdPath = "/mads/gma";
constexpr const char* kClickPath = "/pagead/clk";

// An MRAID creative with links of every kind an ad taps; its landing page is served beside it.
const std::string kClickCreative =
    "<html><body style='margin:0'><script src='mraid.js'></script>"
    "<a id='web' href='https://" + std::string(ruzave::GADHosts::kAdServerHost) + "/landing'>web</a>"
    "<a id='sms' href='sms:5550100'>text</a>"
    "<a id='source' href='view-source:https://" + std::string(ruzave::GADHosts::kAdServerHost) + "/'>source</a>"
    "<a id='spaced' href=' \t\nVIEW-SOURCE:https://" + std::string(ruzave::GADHosts::kAdServerHost) + "/'>spaced</a>"
    "<a id='hash' href='#' onclick=\"mraid.open('https://" + std::string(ruzave::GADHosts::kAdServerHost) + "/landing')\">hash</a>"
    "<a id='void' href='javascript:void(0)' onclick=\"mraid.open('https://" + std::string(ruzave::GADHosts::kAdServerHost) + "/landing')\">void</a>"
    "<a id='top' href='#top'>top</a>"
    "<a id='file' href='file:///etc/hosts'>file</a>"
    "<a id='invalid' href='https://[bad/'>invalid</a>"
    "</body></html>";

struct ClickRecorder : ruzave::GADInterstitialDelegate {
    void interstitialDidReceiveAd(ruzave::GADInterstitial&) override { ++received; }
    void interstitialDidReceiveAdClick(ruzave::GADInterstitial&) override { ++clicks; }
    void interstitialDidDismissScreen(ruzave::GADInterstitial&) override { ++dismissed; }
    int received = 0;
    int clicks = 0;
    int dismissed = 0;
};

// The local ad server with the core page, the MRAID scripts and the ping endpoints, serving
// kClickCreative with one click URL; the app's root controller in a visible window.
struct ClickRoad : Harness {
    ClickRoad() {
        platform::Device::currentDevice()->setSystemVersion("8.4");
        server = sdkcoretest::startCoreServer();
        adserver::installPingEndpoints(*server);
        adserver::installMRAIDScripts(*server);
        GADMRAIDInterceptor::resetToDefaultPaths();
        GADMRAIDInterceptor::allow();
        server->routeHost(ruzave::GADHosts::kAdServerHost, "/landing", [](const adserver::Request&) {
            return adserver::Response::html("<html><head><title>landing</title></head><body>shop</body></html>");
        });
        platform::Application::sharedApplication()->setApplicationState(platform::ApplicationState::Active);
        window = platform::Window::create();
        root = platform::ViewController::create();
        window->setRootViewController(root);
        window->makeKeyAndVisible();
    }
    void serve(const std::string& adSize, const std::string& html = kClickCreative) {
        adserver::StandardAd ad;
        ad.html = html;
        ad.adSize = adSize;
        ad.refreshRate = "";
        ad.clickURLs = {"https://" + std::string(ruzave::GADHosts::kPingHost) + kClickPath + "?n=1"};
        adserver::installStandardAd(*server, ruzave::GADHosts::kAdServerHost, kAdPath, ad);
    }
    bool until(const std::function<bool()>& pred) { return sdkcoretest::pump(*this, pred, 20); }
    // Lets what a tap set going settle: queued pings, messages, screens and their trackers.
    void settle() {
        sdkcoretest::settle(*this);
        until([] { return ruzave::GADClickTrackerCollection::sharedInstance()->runningTrackerCount() == 0; });
        sdkcoretest::settle(*this, 3);
    }
    // The user's tap on the link `selector` of the ad's page.
    void tap(const std::shared_ptr<ruzave::GADAdView>& adView, const std::string& selector) {
        adView->setTouched(true);
        REQUIRE(platform::WebViewTesting::clickElement(*adView->webView(), selector));
        settle();
    }
    // Loads an interstitial of kClickCreative and shows it; its full-screen controller.
    std::shared_ptr<ruzave::GADInterstitialViewController> showInterstitial(const std::string& html = kClickCreative) {
        serve("", html);
        interstitial = ruzave::GADInterstitial::initWithAdUnitID("click-interstitial");
        interstitial->setDelegate(recorder);
        interstitial->loadRequest(ruzave::GADRequest::request());
        REQUIRE(until([&] { return recorder->received == 1; }));
        REQUIRE(until([&] { return interstitial->slot()->isMRAIDEnabled(); }));
        auto controller = interstitial->viewController();
        interstitial->presentFromRootViewController(root);
        settle();
        REQUIRE(root->presentedViewController() == controller);
        REQUIRE(std::dynamic_pointer_cast<GADAdAppAdViewDelegate>(interstitial->slot()->adView()->delegate()));
        return controller;
    }
    std::size_t pings() const { return server->requestCount(kClickPath); }
    static long counted(const std::shared_ptr<ruzave::GADSlot>& slot) {
        auto pcc = slot->ad() ? slot->ad()->statistics()->objectForKey("pcc") : std::nullopt;
        return pcc ? static_cast<long>(platform::doubleValue(*pcc)) : 0;
    }
    // Takes the screen the ad opened over `under` down again.
    void closeScreenOver(const std::shared_ptr<platform::ViewController>& under) {
        auto top = under->presentedViewController();
        REQUIRE(top);
        if (auto full = std::dynamic_pointer_cast<ruzave::GADViewController>(top)) {
            full->relinquishScreenWithCompletion(nullptr);
        } else if (auto composer = std::dynamic_pointer_cast<platform::MessageComposer>(top)) {
            composer->finishForTesting(platform::MessageComposerDelegate::Result::Cancelled);
        }
        settle();
        REQUIRE(under->presentedViewController() == nullptr);
    }

    std::unique_ptr<adserver::AdServer> server;
    std::shared_ptr<platform::Window> window;
    std::shared_ptr<platform::ViewController> root;
    std::shared_ptr<ruzave::GADInterstitial> interstitial;
    std::shared_ptr<ClickRecorder> recorder = std::make_shared<ClickRecorder>();
};

} // namespace

TEST_CASE_FIXTURE(ExpandedFixture, "GADAdAppAdViewDelegate: the page holds one interceptor enable while it loads") {
    auto delegate = GADAdAppAdViewDelegate::initWithSlot(slot);
    view->setDelegate(delegate);
    delegate->adViewDidStartLoad(view);
    delegate->adViewDidStartLoad(view);
    CHECK(GADMRAIDInterceptor::enableCount() == 1);
    delegate->adViewDidFinishLoad(view);
    CHECK(GADMRAIDInterceptor::enableCount() == 0);
    delegate->adViewDidFinishLoad(view);
    CHECK(GADMRAIDInterceptor::enableCount() == 0);
    delegate->adViewDidStartLoad(view);
    delegate->adView(view, platform::Error("WebKitErrorDomain", 1, "failed"));
    CHECK(GADMRAIDInterceptor::enableCount() == 0);
    // A delegate that goes mid-load gives its enable back.
    delegate->adViewDidStartLoad(view);
    CHECK(GADMRAIDInterceptor::enableCount() == 1);
    delegate.reset();
    CHECK(GADMRAIDInterceptor::enableCount() == 0);
}

TEST_CASE_FIXTURE(ExpandedFixture, "GADAdAppAdViewDelegate: a real page load stamps the landing page times once") {
    startFetch(fakes, *slot)->succeed(ruzave::GADResponseTypeStandard, std::string("<p>ad</p>"));
    REQUIRE(runUntil([&] { return slot->state() == ruzave::GADSlotStateValidAd; }));
    auto delegate = GADAdAppAdViewDelegate::initWithSlot(slot);
    view->setDelegate(delegate);
    view->loadHTMLString("<p>landing</p>", platform::URL::parse("https://shop.example/landing"));
    REQUIRE(runUntil([&] { return delegate->hasLoadedAtLeastOnce(); }));
    auto stats = slot->ad()->statistics();
    auto start = stats->objectForKey("tlanding_page_load_start");
    auto end = stats->objectForKey("tlanding_page_load_end");
    REQUIRE(start);
    REQUIRE(end);
    CHECK(end->get<double>() >= start->get<double>());
    CHECK_FALSE(delegate->holdsInterceptorEnable());
    advance(1);
    delegate->adViewDidStartLoad(view);
    CHECK(*stats->objectForKey("tlanding_page_load_start") == *start);
    delegate->adViewDidFinishLoad(view);
    CHECK(stats->objectForKey("tlanding_page_load_end")->get<double>() > end->get<double>());
}

TEST_CASE_FIXTURE(ExpandedFixture, "GADAdAppAdViewDelegate: a link the page follows pings the click URLs unless switched off") {
    startFetch(fakes, *slot)->succeed(ruzave::GADResponseTypeStandard, std::string("<p>ad</p>"));
    REQUIRE(runUntil([&] { return slot->state() == ruzave::GADSlotStateValidAd; }));
    auto delegate = GADAdAppAdViewDelegate::initWithSlot(slot);
    auto clicks = [&] { return owner->clicks; };
    auto before = clicks();
    CHECK(delegate->adView(view, *platform::URLRequest::withURLString("https://shop.example/a"),
                           WebViewNavigationType::LinkClicked).value_or(true));
    CHECK(delegate->adView(view, *platform::URLRequest::withURLString("https://shop.example/b"),
                           WebViewNavigationType::Other).value_or(true));
    runUntilIdle();
    CHECK(clicks() == before + 1);
    // Links the SDK takes over are counted by the opener, once, when they open: here only the other
    // app does (no screen can go up without a view controller, and a script message opens nothing).
    for (const char* link : {"mailto:a@example.com", "gmsg://mobileads.ruzave.example/close", "shopapp://deal/7"}) {
        CAPTURE(link);
        CHECK_FALSE(delegate->adView(view, *platform::URLRequest::withURLString(link), WebViewNavigationType::LinkClicked)
                        .value_or(true));
    }
    runUntilIdle();
    CHECK(clicks() == before + 2);
    // A link the page drops goes nowhere: no click.
    CHECK_FALSE(delegate->adView(view, *platform::URLRequest::withURLString("file:///etc/hosts"),
                                 WebViewNavigationType::LinkClicked).value_or(true));
    CHECK_FALSE(delegate->adView(view, platform::URLRequest(), WebViewNavigationType::LinkClicked).value_or(true));
    runUntilIdle();
    CHECK(clicks() == before + 2);
    platform::UserDefaults::standard()->set(GADAdAppAdViewDelegate::kDisableClickPingKey, platform::Value("1"));
    delegate->adView(view, *platform::URLRequest::withURLString("https://shop.example/c"), WebViewNavigationType::LinkClicked);
    runUntilIdle();
    CHECK(clicks() == before + 2);
}

TEST_CASE_FIXTURE(ExpandedFixture, "GADAdAppAdViewDelegate: app events reach only an interstitial's page") {
    auto banner = GADAdAppAdViewDelegate::initWithSlot(slot);
    CHECK(has<ruzave::GADAdAppGMSGHandler>(banner));
    CHECK_FALSE(has<ruzave::GADAppEventGMSGHandler>(banner));
    slot->setAdType(ruzave::GADAdType::interstitialAdType(), false);
    auto interstitial = GADAdAppAdViewDelegate::initWithSlot(slot);
    CHECK(has<ruzave::GADAdAppGMSGHandler>(interstitial));
    CHECK(has<ruzave::GADAppEventGMSGHandler>(interstitial));
    CHECK(interstitial->MRAIDScriptKind() == ruzave::GADMRAIDScriptKind::ExpandedBanner);
}

TEST_CASE_FIXTURE(ClickRoad, "GADAdAppAdViewDelegate: one tap on a link of a full-screen MRAID ad is one click, switch on or off") {
    auto controller = showInterstitial();
    auto slot = interstitial->slot();
    auto adView = slot->adView();

    // A web link opens the in-app browser: one set of pings, one callback, one click counted.
    tap(adView, "#web");
    REQUIRE(std::dynamic_pointer_cast<ruzave::GADBrowserViewController>(controller->presentedViewController()));
    CHECK(pings() == 1);
    CHECK(recorder->clicks == 1);
    CHECK(counted(slot) == 1);
    // The page under the browser cannot put up a second screen: the refused open counts nothing.
    tap(adView, "#web");
    CHECK(pings() == 1);
    CHECK(recorder->clicks == 1);
    closeScreenOver(controller);

    // A text link puts the composer up: one click. Links the opener will not open count none.
    tap(adView, "#sms");
    CHECK(pings() == 2);
    CHECK(recorder->clicks == 2);
    closeScreenOver(controller);
    const auto opened = platform::Application::sharedApplication()->openedURLs().size();
    tap(adView, "#source");
    // The page drops the white space before the scheme; the scheme's case changes nothing.
    tap(adView, "#spaced");
    CHECK(platform::WebViewTesting::navigations(*adView->webView()).back().first ==
          "VIEW-SOURCE:https://" + std::string(ruzave::GADHosts::kAdServerHost) + "/");
    CHECK(platform::Application::sharedApplication()->openedURLs().size() == opened);
    CHECK(pings() == 2);
    CHECK(recorder->clicks == 2);

    // The switch takes away the navigation's own ping; the opener still counts the tap, once.
    platform::UserDefaults::standard()->set(GADAdAppAdViewDelegate::kDisableClickPingKey, platform::Value("1"));
    tap(adView, "#web");
    REQUIRE(controller->presentedViewController());
    CHECK(pings() == 3);
    CHECK(recorder->clicks == 3);
    CHECK(counted(slot) == 3);
}

TEST_CASE_FIXTURE(ClickRoad, "GADAdAppAdViewDelegate: each tap on a link of an expanded MRAID banner is one click") {
    serve("320x50");
    auto banner = ruzave::GADBannerView::initWithAdSize(ruzave::kGADAdSizeBanner, platform::Point{0, 100});
    root->view()->addSubview(banner);
    banner->setRootViewController(root);
    banner->setAdUnitID("click-banner");
    banner->loadRequest(ruzave::GADRequest::request());
    auto slot = banner->slot();
    REQUIRE(until([&] { return slot->isMRAIDEnabled(); }));
    auto adView = slot->adView();
    adView->setTouched(true);
    adView->evaluate("mraid.expand()");
    settle();
    auto expanded = std::dynamic_pointer_cast<ruzave::GADExpandedAdAppViewController>(root->presentedViewController());
    REQUIRE(expanded);
    REQUIRE(std::dynamic_pointer_cast<GADAdAppAdViewDelegate>(adView->delegate()));
    // The expand itself is the ad's first open.
    CHECK(pings() == 1);
    CHECK(counted(slot) == 1);

    for (std::size_t taps = 1; taps <= 2; ++taps) {
        CAPTURE(taps);
        tap(adView, "#web");
        REQUIRE(std::dynamic_pointer_cast<ruzave::GADBrowserViewController>(expanded->presentedViewController()));
        CHECK(pings() == 1 + taps);
        CHECK(counted(slot) == static_cast<long>(1 + taps));
        closeScreenOver(expanded);
    }
    // mraid.open is a script message, no link: the opener counts it, once.
    adView->evaluate("mraid.open('https://" + std::string(ruzave::GADHosts::kAdServerHost) + "/landing')");
    settle();
    REQUIRE(std::dynamic_pointer_cast<ruzave::GADSupplementalAdAppViewController>(expanded->presentedViewController()));
    CHECK(pings() == 4);
    CHECK(counted(slot) == 4);
}

TEST_CASE_FIXTURE(ClickRoad, "GADAdAppAdViewDelegate: a composer over a full-screen ad that the app sends away goes with it") {
    auto controller = showInterstitial();
    tap(interstitial->slot()->adView(), "#sms");
    std::weak_ptr<platform::ViewController> composer = controller->presentedViewController();
    REQUIRE(std::dynamic_pointer_cast<platform::MessageComposer>(composer.lock()));
    // Back from the background, the app dismisses the ad, and the composer with it.
    auto app = platform::Application::sharedApplication();
    app->enterBackground();
    app->enterForeground();
    REQUIRE(until([&] { return root->presentedViewController() == nullptr && recorder->dismissed == 1; }));
    settle();
    CHECK(composer.expired());
    CHECK(recorder->dismissed == 1);
    CHECK(recorder->clicks == 1);
}

TEST_CASE_FIXTURE(ClickRoad, "GADAdAppAdViewDelegate: a link the page drops counts no click, so a same-page link that opens by script is one") {
    auto controller = showInterstitial();
    auto adView = interstitial->slot()->adView();
    for (const char* link : {"#hash", "#void"}) {
        CAPTURE(link);
        const auto before = pings();
        const auto clicks = recorder->clicks;
        tap(adView, link);
        REQUIRE(controller->presentedViewController());
        CHECK(pings() == before + 1);
        CHECK(recorder->clicks == clicks + 1);
        closeScreenOver(controller);
    }
    for (const char* link : {"#top", "#file", "#invalid"}) {
        CAPTURE(link);
        tap(adView, link);
        CHECK(controller->presentedViewController() == nullptr);
    }
    CHECK(pings() == 2);
    CHECK(recorder->clicks == 2);
    CHECK(counted(interstitial->slot()) == 2);
}

TEST_CASE_FIXTURE(ClickRoad, "GADAdAppAdViewDelegate: a tap whose touch handler opens and cancels the touch is one open and one click") {
    // Opens on the touch, and keeps a click handler for desktops.
    const std::string open = "mraid.open('https://" + std::string(ruzave::GADHosts::kAdServerHost) + "/landing')";
    const std::string box = "href='#' style='display:block;width:320px;height:200px' onclick=\"clicks++;" + open + "\"";
    auto controller = showInterstitial("<html><body style='margin:0'><script src='mraid.js'></script>"
                                       "<script>var clicks = 0;</script>"
                                       "<a " + box + " ontouchstart=\"event.preventDefault();" + open + "\">start</a>"
                                       "<a " + box + " ontouchend=\"event.preventDefault();" + open + "\">end</a>"
                                       "</body></html>");
    auto adView = interstitial->slot()->adView();
    int taps = 0;
    for (float y : {100.0f, 300.0f}) {
        CAPTURE(y);
        REQUIRE(platform::TouchInjector::tap(adView->convertPointToView({160, y}, nullptr), window));
        settle();
        ++taps;
        REQUIRE(std::dynamic_pointer_cast<ruzave::GADSupplementalAdAppViewController>(controller->presentedViewController()));
        CHECK(adView->evaluate("clicks") == "0");
        CHECK(pings() == static_cast<std::size_t>(taps));
        CHECK(recorder->clicks == taps);
        closeScreenOver(controller);
    }
}
