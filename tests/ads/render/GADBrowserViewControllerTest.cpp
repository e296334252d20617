#include "ads/render/GADBrowserViewController.h"

#include <doctest/doctest.h>

#include <algorithm>

#include "ads/render/GADBrowserAdView.h"
#include "ads/render/GADBrowserAdViewDelegate.h"
#include "ads/render/GADIntrinsicImages.h"
#include "ads/render/GADNotification.h"
#include "ads/render/GADOpenerGMSGHandler.h"
#include "platform/foundation/NotificationCenter.h"
#include "platform/net/URLConnection.h"
#include "platform/testing/web/WebViewTesting.h"
#include "platform/ui/ActivityIndicator.h"
#include "platform/ui/AlertView.h"
#include "platform/ui/Application.h"
#include "platform/ui/BarButtonItem.h"
#include "platform/ui/Device.h"
#include "platform/ui/Image.h"
#include "platform/ui/Screen.h"
#include "platform/ui/Toolbar.h"
#include "tests/ads/render/BrowserTestSupport.h"

using browsertest::LandingServer;
using ruzave::GADBrowserViewController;
using Calls = std::vector<std::string>;

namespace {

bool clickOn(const std::shared_ptr<GADBrowserViewController>& browser, const std::string& selector) {
    return platform::WebViewTesting::clickElement(*browser->adView()->webView(), selector);
}

} // namespace

TEST_CASE_FIXTURE(
    LandingServer,
    "GADOpener: a browser open shows the landing page as one click in the ad's full-screen period") {
    // Refused: no orientation of the mask is allowed, or the protected ad was never touched.
    CHECK_FALSE(opener->openBrowserToURL(landing("/landing/page"), 0));
    opener->setAutoClickProtected(true);
    adView->setTouched(false);
    CHECK_FALSE(opener->openBrowserToURL(landing("/landing/page"), 30));
    CHECK(root->presentedViewController() == nullptr);
    CHECK(clicks() == 0);
    adView->setTouched(true);

    auto browser = open(landing("/landing/page?title=Shop"));
    CHECK(clicks() == 1);
    CHECK(browser->supportedInterfaceOrientations() == 30);
    CHECK(browser->slot() == s.slot);
    REQUIRE(shows(browser, "Shop"));
    CHECK(browser->view()->window() == window);
    CHECK(s.events->calls == Calls{"willPresent"});
    // At rest: reload in the middle, no history yet, the page may be opened outside.
    auto items = browser->toolbar()->items();
    REQUIRE(items.size() == 9);
    CHECK(items[0] == browser->backButton());
    CHECK(items[2] == browser->forwardButton());
    CHECK(items[4] == browser->reloadButton());
    CHECK(items[6] == browser->safariButton());
    CHECK(items[8] == browser->doneButton());
    CHECK(items[1]->systemItem() == platform::BarButtonSystemItem::FlexibleSpace);
    CHECK_FALSE(browser->backButton()->isEnabled());
    CHECK(browser->safariButton()->isEnabled());
    CHECK(browser->backButton()->accessibilityLabel() == "Back");
    CHECK(browser->safariButton()->accessibilityLabel() == "View in Safari");
    CHECK(browser->backButton()->image() ==
          ruzave::GADIntrinsicImages::sharedInstance()->browserBackButton());
    CHECK(browser->doneButton()->systemItem() == platform::BarButtonSystemItem::Done);
    CHECK(browser->doneButton()->style() == platform::BarButtonItemStyle::Done);

    CHECK(browser->doneButton()->perform());
    settle();
    CHECK(root->presentedViewController() == nullptr);
    CHECK(s.events->calls == Calls{"willPresent", "willDismiss", "didDismiss"});
    CHECK(clicks() == 1);
}

TEST_CASE_FIXTURE(LandingServer, "GADBrowserViewController: a load asked for before the page exists goes out "
                                 "on first appearance with the referring host only") {
    auto browser = GADBrowserViewController::init();
    browser->setSlot(s.slot);
    browser->load(std::nullopt, std::nullopt); // nothing
    CHECK_FALSE(browser->URLToLoad());
    browser->load(landing("/landing/referer"),
                  platform::URL::parse("https://ads.ruzave.example:8443/creative?id=7"));
    CHECK(browser->URLToLoad());
    CHECK(browser->adView() == nullptr);
    browser->presentFromViewController(root, nullptr);
    settle();
    REQUIRE(runUntil(
        [&] { return server->requestCount("/landing/referer") == 1 && !browser->adView()->isLoading(); }));
    CHECK(server->requests("/landing/referer")[0].header("referer") == "ads.ruzave.example");
    CHECK_FALSE(browser->URLToLoad());
    CHECK_FALSE(browser->referringURLToLoad());

    // Appearing again (say, after a sheet over it went away) keeps the page and loads nothing.
    auto page = browser->adView();
    auto toolbar = browser->toolbar();
    browser->beginAppearanceTransition(true, false);
    browser->endAppearanceTransition();
    settle();
    CHECK(browser->adView() == page);
    CHECK(browser->toolbar() == toolbar);
    CHECK(server->requestCount("/landing/referer") == 1);
}

TEST_CASE_FIXTURE(
    LandingServer,
    "GADBrowserViewController: links load in place while the toolbar follows the load and the history") {
    auto browser = open(landing("/landing/page?title=First"));
    REQUIRE(shows(browser, "First"));
    REQUIRE(clickOn(browser, "#next"));
    bool spun = false;
    REQUIRE(runUntil([&] {
        auto items = browser->toolbar()->items();
        spun = spun || (items[4] == browser->spinnerContainingButton() && browser->spinner()->isAnimating() &&
                        !browser->safariButton()->isEnabled());
        return spun && !browser->adView()->isLoading() && title(browser) == "Next";
    }));
    CHECK(browser->toolbar()->items()[4] == browser->reloadButton());
    CHECK_FALSE(browser->spinner()->isAnimating());
    CHECK(browser->backButton()->isEnabled());
    CHECK_FALSE(browser->forwardButton()->isEnabled());
    // The link click is the ad's landing-page click, over https.
    REQUIRE(stat("plpsnc"));
    CHECK(platform::doubleValue(*stat("plpsnc")) == 1);
    CHECK_FALSE(stat("plpnc"));
    // Nothing opened from inside the browser is a click on the ad.
    CHECK(clicks() == 1);

    CHECK(browser->backButton()->perform());
    REQUIRE(shows(browser, "First"));
    CHECK(browser->forwardButton()->isEnabled());
    CHECK(browser->forwardButton()->perform());
    REQUIRE(shows(browser, "Next"));
    // At the end of the history forward does nothing.
    browser->forward();
    settle();
    CHECK(title(browser) == "Next");
}

TEST_CASE_FIXTURE(LandingServer, "GADBrowserAdViewDelegate: the first start time survives redirects and "
                                 "reloads while the end time follows the last finish") {
    auto browser = open(landing("/landing/redirect?hops=3&to=%2Flanding%2Fpage%3Ftitle%3DDest"));
    REQUIRE(shows(browser, "Dest"));
    CHECK(server->requestCount("/landing/redirect") == 3);
    auto start = stat("tlanding_page_load_start");
    auto end = stat("tlanding_page_load_end");
    REQUIRE(start);
    REQUIRE(end);
    CHECK(platform::doubleValue(*end) >= platform::doubleValue(*start));

    advance(5);
    browser->reloadButton()->perform();
    REQUIRE(
        runUntil([&] { return stat("tlanding_page_load_end") != end && !browser->adView()->isLoading(); }));
    CHECK(stat("tlanding_page_load_start") == start);
    CHECK(platform::doubleValue(*stat("tlanding_page_load_end")) >= platform::doubleValue(*end) + 5000);
}

TEST_CASE_FIXTURE(
    LandingServer,
    "GADBrowserAdViewDelegate: a landing page gets no script messages and cannot leave the app on its own") {
    auto browser = open(landing("/landing/page?title=Calm"));
    REQUIRE(shows(browser, "Calm"));
    int posted = 0;
    auto center = platform::NotificationCenter::defaultCenter();
    auto token =
        center->addObserver("httpTrack", nullptr, nullptr, [&](const platform::Notification&) { ++posted; });
    // A page script tries the ad bridge and then a phone call, with no user action.
    browser->adView()->evaluate("location.href='gmsg://mobileads.ruzave.example/httpTrack?u=" +
                                std::string("https%3A%2F%2Fshop.ruzave.example%2Ftrack") +
                                "';setTimeout(function(){location.href='tel:5550100';window.tried=1;},0);");
    // Page timers run on the virtual clock.
    REQUIRE(runUntil([&] {
        advance(0.1);
        return browser->adView()->evaluate("String(window.tried)") == "1";
    }));
    settle();
    CHECK(posted == 0);
    CHECK(server->requestCount("/track") == 0);
    CHECK(platform::AlertView::visibleAlerts().empty());
    CHECK(platform::Application::sharedApplication()->openedURLs().empty());

    // The user's own tap on the phone link asks first, then leaves without counting a click.
    REQUIRE(clickOn(browser, "#call"));
    REQUIRE(runUntil([&] { return !platform::AlertView::visibleAlerts().empty(); }));
    auto alert = platform::AlertView::visibleAlerts().front();
    CHECK(alert->message() == "5550100");
    CHECK(alert->buttonTitleAtIndex(1) == "Call");
    CHECK(alert->tapButtonAtIndex(1));
    settle();
    REQUIRE(platform::Application::sharedApplication()->openedURLs().size() == 1);
    CHECK(platform::Application::sharedApplication()->openedURLs()[0].absoluteString() == "tel:5550100");
    CHECK(clicks() == 1);
    center->removeObserver(token);
}

TEST_CASE_FIXTURE(
    LandingServer,
    "GADBrowserViewController: a page that redirects forever or fails only refreshes the toolbar") {
    auto browser = open(landing("/landing/loop"));
    REQUIRE(runUntil(
        [&] { return server->requestCount("/landing/loop") > 1 && !browser->adView()->isLoading(); }));
    settle();
    CHECK(server->requestCount("/landing/loop") <= platform::URLConnection::MaximumRedirects + 1);
    CHECK(browser->toolbar()->items()[4] == browser->reloadButton());
    CHECK(root->presentedViewController() == browser);

    browser->load(landing("/landing/missing"), std::nullopt);
    REQUIRE(runUntil(
        [&] { return server->requestCount("/landing/missing") == 1 && !browser->adView()->isLoading(); }));
    settle();
    CHECK(browser->toolbar()->items()[4] == browser->reloadButton());
    CHECK(root->presentedViewController() == browser);
    CHECK(platform::AlertView::visibleAlerts().empty());
}

TEST_CASE_FIXTURE(
    LandingServer,
    "GADBrowserViewController: View in Safari leaves the app for the page as a click and marks the ad") {
    auto browser = open(landing("/landing/page?title=Out"));
    REQUIRE(shows(browser, "Out"));
    CHECK(browser->safariButton()->perform());
    settle();
    auto& opened = platform::Application::sharedApplication()->openedURLs();
    REQUIRE(opened.size() == 1);
    CHECK(opened[0].absoluteString() == landing("/landing/page?title=Out").absoluteString());
    REQUIRE(stat("pcbo"));
    CHECK(stat("pcbo")->get<bool>());
    CHECK(clicks() == 2);
    CHECK(std::count(s.events->calls.begin(), s.events->calls.end(), "leave") == 1);
}

TEST_CASE_FIXTURE(
    fullscreentest::MRAIDBanner,
    "GADBrowserViewController: the toolbar is 30 points high on a landscape phone and 44 on a tablet") {
    auto app = platform::Application::sharedApplication();
    auto device = platform::Device::currentDevice();
    auto build = [&] {
        auto browser = GADBrowserViewController::init();
        browser->view()->setFrame({0, 0, 568, 320});
        browser->beginAppearanceTransition(true, false);
        return browser;
    };
    device->setUserInterfaceIdiom(platform::UserInterfaceIdiom::Phone);
    auto portrait = build();
    CHECK(portrait->toolbar()->frame().size.height == doctest::Approx(44));
    CHECK(portrait->view()->backgroundColor() == platform::Color::whiteColor());

    app->setStatusBarOrientation(platform::InterfaceOrientation::LandscapeLeft);
    auto phone = build();
    CHECK(phone->toolbar()->frame() == platform::Rect(0, 320 - 30 + 1, 568, 30));
    CHECK(phone->adView()->frame() == platform::Rect(0, 0, 568, 320 - 30 + 1));
    CHECK_FALSE(phone->adView()->showDebug());

    device->setUserInterfaceIdiom(platform::UserInterfaceIdiom::Pad);
    auto tablet = build();
    CHECK(tablet->toolbar()->frame() == platform::Rect(0, 320 - 44 + 1, 568, 44));
    device->setUserInterfaceIdiom(platform::UserInterfaceIdiom::Phone);
    app->setStatusBarOrientation(platform::InterfaceOrientation::Portrait);
}

TEST_CASE_FIXTURE(fullscreentest::MRAIDBanner,
                  "GADBrowserAdView: only a browser controller becomes its view controller") {
    auto view = ruzave::GADBrowserAdView::initWithFrame({0, 0, 100, 100});
    auto browser = GADBrowserViewController::init();
    view->setViewController(root);
    CHECK(view->viewController() == nullptr);
    view->setViewController(browser);
    CHECK(view->browserViewController() == browser);
    view->setViewController(root);
    view->setViewController(std::weak_ptr<platform::ViewController>());
    CHECK(view->viewController() == browser);
    // The delegate finds the browser only through a browser view.
    CHECK(ruzave::GADBrowserAdViewDelegate::browserControllerForAdView(view) == browser);
    CHECK(ruzave::GADBrowserAdViewDelegate::browserControllerForAdView(adView) == nullptr);
}

TEST_CASE_FIXTURE(platform::testing::Harness,
                  "GADIntrinsicImages: images follow the screen density and are made once") {
    platform::Screen::mainScreen()->setScale(3);
    REQUIRE(ruzave::GADIntrinsicImages::mainScreenDensity() == 3);
    auto images = ruzave::GADIntrinsicImages::sharedInstance();
    // Density 3 takes the double-density pictures, which keep their size in points.
    auto back = images->browserBackButton();
    REQUIRE(back);
    CHECK(back->pixelWidth() == 54);
    CHECK(back->size().width == doctest::Approx(27));
    CHECK(images->browserForwardButton()->pixelHeight() == 54);
    CHECK(images->browserForwardButton()->size().height == doctest::Approx(27));
    CHECK(images->closeButton()->pixelWidth() == 50);
    CHECK(images->closeButton()->size().width == doctest::Approx(25));
    CHECK(images->browserBackButton() == back);
    // The transparent image is drawn at the screen's scale and is clear.
    auto clear = images->transparentImage();
    CHECK(clear->pixelWidth() == 30);
    CHECK(clear->size().width == doctest::Approx(10));
    CHECK(clear->bitmap().pixel(15, 15) == 0u);

    platform::Screen::mainScreen()->setScale(1);
    CHECK(ruzave::GADIntrinsicImages::chooseImage("single", "double") == "single");
    platform::Screen::mainScreen()->setScale(2);
    CHECK(ruzave::GADIntrinsicImages::chooseImage("single", "double") == "double");
    CHECK(ruzave::GADIntrinsicImages::imageWithBase64EncodedString("not base64 at all!") == nullptr);
    CHECK(ruzave::GADIntrinsicImages::imageWithBase64EncodedString("aGVsbG8=") ==
          nullptr); // "hello": no picture
}

TEST_CASE_FIXTURE(LandingServer,
                  "GADOpenerGMSGHandler: browser and video opens show the page in the in-app browser") {
    auto handler = ruzave::GADOpenerGMSGHandler::initWithOpener(opener);
    opener->setReferringURL(platform::URL::parse("https://ads.ruzave.example/creative.html"));
    platform::Value params = platform::Value::object();
    params["a"] = "video";
    params["u"] = landing("/landing/referer").absoluteString();
    params["o"] = "p";
    CHECK(handler->handleNotification(ruzave::GADNotification::initWithName("open", params), adView));
    settle();
    auto browser = std::dynamic_pointer_cast<GADBrowserViewController>(root->presentedViewController());
    REQUIRE(browser);
    CHECK(browser->supportedInterfaceOrientations() == 6);
    REQUIRE(runUntil(
        [&] { return server->requestCount("/landing/referer") == 1 && !browser->adView()->isLoading(); }));
    CHECK(server->requests("/landing/referer")[0].header("referer") == "ads.ruzave.example");
    CHECK(clicks() == 1);
    browser->doneButtonPressed();
    settle();

    params["a"] = "browser";
    params["u"] = landing("/landing/page?title=Again").absoluteString();
    CHECK(handler->handleNotification(ruzave::GADNotification::initWithName("open", params), adView));
    settle();
    browser = std::dynamic_pointer_cast<GADBrowserViewController>(root->presentedViewController());
    REQUIRE(browser);
    REQUIRE(shows(browser, "Again"));
    CHECK(clicks() == 2);
}

TEST_CASE_FIXTURE(
    fullscreentest::MRAIDBanner,
    "GADBrowserViewController: View in Safari on a tel page asks first through its own opener") {
    auto browser = GADBrowserViewController::init();
    browser->setSlot(s.slot);
    browser->presentFromViewController(root, nullptr);
    settle();
    // A document whose URL is a phone number (loaded past the delegate, which would never show one).
    auto delegate = browser->adView()->delegate();
    browser->adView()->setDelegate({});
    browser->adView()->webView()->loadHTMLString("<html><body>call</body></html>",
                                                 platform::URL::parse("tel:5550100"));
    REQUIRE(runUntil([&] {
        return !browser->adView()->isLoading() && browser->adView()->request().url().scheme() == "tel";
    }));
    browser->adView()->setDelegate(delegate);

    browser->openInSafari();
    settle();
    auto alerts = platform::AlertView::visibleAlerts();
    REQUIRE(alerts.size() == 1);
    CHECK(alerts[0]->message() == "5550100");
    CHECK(alerts[0]->buttonTitleAtIndex(1) == "Call");
    CHECK(platform::Application::sharedApplication()->openedURLs().empty());
    // The opener lives on while it asks: confirming leaves the app as a click on the ad.
    CHECK(alerts[0]->tapButtonAtIndex(1));
    settle();
    REQUIRE(platform::Application::sharedApplication()->openedURLs().size() == 1);
    CHECK(platform::Application::sharedApplication()->openedURLs()[0].absoluteString() == "tel:5550100");
    CHECK(clicks() == 1);
    browser->doneButtonPressed();
    settle();
}
