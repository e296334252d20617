#include "ads/render/GADOpener.h"

#include <doctest/doctest.h>

#include <algorithm>

#include "ads/core/slot/GADAd.h"
#include "ads/core/util/GADLog.h"
#include "ads/render/GADExpandedAdAppViewController.h"
#include "ads/render/GADInterstitialViewController.h"
#include "ads/render/GADMRAIDResizeOverlayPresenter.h"
#include "ads/render/GADMRAIDResizeProperties.h"
#include "ads/render/GADMailComposeDelegateProxy.h"
#include "ads/render/GADMessageComposeDelegateProxy.h"
#include "ads/render/GADOverlayProxy.h"
#include "ads/render/GADSKStoreProductViewControllerDelegate.h"
#include "platform/base/Log.h"
#include "platform/foundation/UserDefaults.h"
#include "platform/runloop/DispatchQueue.h"
#include "platform/services/EventStore.h"
#include "platform/services/MailComposer.h"
#include "platform/services/MessageComposer.h"
#include "platform/services/ProductViewController.h"
#include "platform/ui/AlertView.h"
#include "platform/ui/Application.h"
#include "platform/ui/ImageView.h"
#include "tests/ads/render/RenderFullScreenTestSupport.h"

using fullscreentest::MRAIDBanner;
using ruzave::GADMRAIDResizeProperties;
using ruzave::GADOpener;

namespace {

using Calls = std::vector<std::string>;

std::vector<std::string> openedURLs() {
    std::vector<std::string> out;
    for (const auto& u : platform::Application::sharedApplication()->openedURLs()) out.push_back(u.absoluteString());
    return out;
}

platform::URL url(const char* text) {
    return *platform::URL::parse(text);
}

std::size_t occurrences(const std::string& text, const std::string& part) {
    std::size_t n = 0;
    for (auto at = text.find(part); at != std::string::npos; at = text.find(part, at + part.size()))
        ++n;
    return n;
}

// The ad resizes, then its page asks to expand from the resized screen, which is returned.
std::shared_ptr<ruzave::GADViewController> resizeThenExpand(MRAIDBanner& b) {
    b.opener->openWebAppWithResizeProperties(GADMRAIDResizeProperties::init({300, 100}, {10, 0}, 0, false));
    b.settle();
    auto resized = std::dynamic_pointer_cast<ruzave::GADViewController>(b.adView->viewController());
    REQUIRE(resized);
    b.opener->setViewController(resized);
    b.opener->expandToWebAppWithSupportedOrientations(30, false);
    return resized;
}

// Notes the last screen it was asked to present; like any presenter it refuses while it shows another.
struct RecordingPresenter : platform::ViewController {
    static std::shared_ptr<RecordingPresenter> create() {
        return std::shared_ptr<RecordingPresenter>(new RecordingPresenter());
    }
    bool presentViewController(const std::shared_ptr<platform::ViewController>& controller, bool animated,
                               Completion completion = nullptr) override {
        asked.push_back(controller);
        return platform::ViewController::presentViewController(controller, animated, std::move(completion));
    }
    std::vector<std::weak_ptr<platform::ViewController>> asked;
};

} // namespace

TEST_CASE_FIXTURE(MRAIDBanner, "GADOpener: a tel link asks first, whatever the case of its scheme") {
    opener->openApp(url("TEL:5551234"));
    auto alerts = platform::AlertView::visibleAlerts();
    REQUIRE(alerts.size() == 1);
    CHECK(alerts[0]->title().empty());
    CHECK(alerts[0]->message() == "5551234");
    CHECK(alerts[0]->buttonTitleAtIndex(0) == "Cancel");
    CHECK(alerts[0]->buttonTitleAtIndex(1) == "Call");
    runUntilIdle();
    CHECK(openedURLs().empty());
    CHECK(clicks() == 0);

    // The opener stays alive for the alert even when its owner lets it go.
    std::weak_ptr<GADOpener> weak = opener;
    opener.reset();
    runUntilIdle();
    REQUIRE_FALSE(weak.expired());
    alerts[0]->tapButtonAtIndex(1);
    runUntilIdle();
    REQUIRE(openedURLs().size() == 1);
    CHECK(platform::Application::sharedApplication()->openedURLs()[0].scheme() == "tel");
    CHECK(clicks() == 1);
    CHECK(s.events->calls == Calls{"leave"});
    runUntilIdle();
    CHECK(weak.expired());
}

TEST_CASE_FIXTURE(MRAIDBanner, "GADOpener: a confirmed URL opens again without asking, a cancelled one never opens") {
    opener->openApp(url("tel:1"));
    platform::AlertView::visibleAlerts().at(0)->tapButtonAtIndex(0);
    runUntilIdle();
    CHECK(openedURLs().empty());
    opener->openApp(url("tel:1"));
    platform::AlertView::visibleAlerts().at(0)->tapButtonAtIndex(1);
    opener->openApp(url("tel:1"));
    CHECK(platform::AlertView::visibleAlerts().empty());
    runUntilIdle();
    CHECK(openedURLs() == Calls{"tel:1", "tel:1"});
    CHECK(clicks() == 2);
}

TEST_CASE_FIXTURE(MRAIDBanner, "GADOpener: the stored scheme table replaces the default one") {
    platform::Value table = platform::Value::object();
    table["facetime"] = "FaceTime";
    platform::UserDefaults::standard()->set(GADOpener::kConfirmSchemesKey, table);
    opener->openApp(url("tel:2"));
    CHECK(platform::AlertView::visibleAlerts().empty());
    runUntilIdle();
    CHECK(openedURLs() == Calls{"tel:2"});
}

TEST_CASE_FIXTURE(MRAIDBanner, "GADOpener: the gate blocks until a touch, and about pages are never clicks") {
    opener->setAutoClickProtected(true);
    CHECK_FALSE(opener->openAppReportingResult(url("https://shop.example/a")));
    adView->setTouched(true);
    CHECK_FALSE(opener->openAppReportingResult(url("about:blank")));
    CHECK(clicks() == 0);
    CHECK(opener->openAppReportingResult(url("https://shop.example/a")));
    CHECK(opener->openAppReportingResult(url("https://shop.example/b")));
    CHECK(opener->didOpenAnotherApplication());
    CHECK(clicks() == 2);
}

TEST_CASE_FIXTURE(MRAIDBanner,
                  "GADOpener: URLs that would run script or read data in the app never leave it") {
    const char* refused[] = {"javascript:alert(1)",
                             "JavaScript:void(0)",
                             "x-javascript:alert(1)",
                             "X-JavaScript:alert(1)",
                             "vbscript:msgbox",
                             "data:text/html;base64,PGI+",
                             "file:///etc/hosts",
                             "blob:https://ads.ruzave.example/1",
                             "view-source:https://ads.ruzave.example/",
                             "VIEW-SOURCE:file:///etc/hosts",
                             "jar:https://ads.ruzave.example/a.jar!/b.html",
                             "JAR:file:///a.jar!/b",
                             "filesystem:https://ads.ruzave.example/temporary/f",
                             "FileSystem:https://ads.ruzave.example/persistent/f",
                             "shop.example/page",
                             "//shop.example/page"};
    for (const char* text : refused) {
        CAPTURE(text);
        CHECK_FALSE(opener->openAppReportingResult(url(text)));
    }
    // White space or control characters before a scheme make no URL at all, so nothing can open.
    for (const char* text : {" javascript:alert(1)", "\tjavascript:alert(1)", "\x01view-source:https://a.example/",
                             "java\nscript:alert(1)", "\x7fjar:https://a.example/a.jar!/b", "\x0cfilesystem:https://a/"}) {
        CAPTURE(text);
        CHECK_FALSE(opener->openAppReportingResult(platform::URL::parse(text)));
    }
    runUntilIdle();
    CHECK(openedURLs().empty());
    CHECK(clicks() == 0);
    CHECK(occurrences(seen(), std::string("onError:") + GADOpener::kOpenNotAllowed) == std::size(refused));
    // The web, the store and other apps' own schemes still leave.
    for (const char* text :
         {"https://shop.example/x", "itms-apps://apps.example/app/id1", "shopapp://deal/7"})
        CHECK(opener->openAppReportingResult(url(text)));
    runUntilIdle();
    CHECK(openedURLs() ==
          Calls{"https://shop.example/x", "itms-apps://apps.example/app/id1", "shopapp://deal/7"});
}

TEST_CASE_FIXTURE(MRAIDBanner, "GADOpener: the in-app browser and an expanded page refuse URLs that would run script") {
    for (const char* text : {"javascript:alert(1)", "data:text/html;base64,PGI+", "view-source:https://a.example/"}) {
        CAPTURE(text);
        CHECK_FALSE(opener->openBrowserToURL(url(text), 30));
        opener->openWebApp(url(text), 30, false);
        settle();
        CHECK(root->presentedViewController() == nullptr);
    }
    CHECK(clicks() == 0);
    CHECK(occurrences(seen(), std::string("onError:") + GADOpener::kOpenNotAllowed) == 6);
    // A landing page still opens.
    CHECK(opener->openBrowserToURL(url("https://shop.example/landing"), 30));
    settle();
    CHECK(root->presentedViewController() != nullptr);
    CHECK(clicks() == 1);
}

TEST_CASE_FIXTURE(MRAIDBanner, "GADOpener: errors reach the ad only through its MRAID event handler") {
    // A newly served ad whose script has not said that MRAID loaded.
    s.slot->finishedLoadingAdResponse(ruzave::GADAd::init());
    CHECK(opener->MRAIDEventHandler() == nullptr);
    opener->openApp(url("javascript:alert(1)"));
    // Refused by the resize overlay, whose errors take the same road.
    opener->openWebAppWithResizeProperties(GADMRAIDResizeProperties::init({300, 250}, {0, 5000}, 0, true));
    opener->setAutoClickProtected(true);
    opener->expandToWebAppWithSupportedOrientations(30, false);
    CHECK(seen().find("onError") == std::string::npos);

    s.slot->MRAIDAdDidLoad();
    CHECK(opener->MRAIDEventHandler() == s.slot);
    opener->expandToWebAppWithSupportedOrientations(30, false);
    CHECK(occurrences(seen(), std::string("onError:") + GADOpener::kExpandNotAllowed) == 1);
}

TEST_CASE_FIXTURE(
    MRAIDBanner, "GADOpener: composers refused because another screen is up are let go, and the opener too") {
    platform::MailComposer::setCanSendMailForTesting(true);
    auto busy = RecordingPresenter::create();
    root->presentViewController(busy, false);
    settle();
    busy->presentViewController(platform::ViewController::create(), false);
    settle();
    opener->setViewController(busy);
    busy->asked.clear();

    opener->openSmsComposer(url("sms:5550001?body=Hi"));
    opener->openEmailComposer(url("mailto:a@example.com"));
    REQUIRE(busy->asked.size() == 2);
    settle();
    CHECK(busy->asked[0].expired());
    CHECK(busy->asked[1].expired());
    CHECK(clicks() == 0);
    // Each began the slot's full-screen period and ended it again.
    CHECK(s.events->calls ==
          Calls{"willPresent", "willDismiss", "didDismiss", "willPresent", "willDismiss", "didDismiss"});
    std::weak_ptr<GADOpener> weak = opener;
    opener.reset();
    runUntilIdle();
    CHECK(weak.expired());
}

TEST_CASE_FIXTURE(MRAIDBanner,
                  "GADOpener: composers taken down with the app's screen under them are let go, and the opener too") {
    platform::MailComposer::setCanSendMailForTesting(true);
    for (bool mail : {false, true}) {
        CAPTURE(mail);
        auto screen = platform::ViewController::create();
        root->presentViewController(screen, false);
        settle();
        auto local = GADOpener::init();
        local->setSlot(s.slot);
        local->setAdView(adView);
        local->setViewController(screen);
        REQUIRE((mail ? local->openEmailComposer(url("mailto:a@example.com")) : local->openSmsComposer(url("sms:5550001"))));
        settle();
        std::weak_ptr<platform::ViewController> composer = screen->presentedViewController();
        REQUIRE_FALSE(composer.expired());
        std::weak_ptr<ruzave::GADOverlayProxy> overlay =
            ruzave::GADOverlayProxy::overlayProxyForViewController(composer.lock().get());
        std::weak_ptr<void> delegateProxy;
        if (mail) {
            delegateProxy = ruzave::GADMailComposeDelegateProxy::proxyForController(
                *std::dynamic_pointer_cast<platform::MailComposer>(composer.lock()));
        } else {
            delegateProxy = ruzave::GADMessageComposeDelegateProxy::proxyForController(
                *std::dynamic_pointer_cast<platform::MessageComposer>(composer.lock()));
        }
        REQUIRE_FALSE(overlay.expired());
        REQUIRE_FALSE(delegateProxy.expired());

        // The app takes its own screen away, and the composer over it goes too, with no result.
        REQUIRE(root->dismissViewController(true));
        settle();
        CHECK(root->presentedViewController() == nullptr);
        CHECK(composer.expired());
        CHECK(overlay.expired());
        CHECK(delegateProxy.expired());
        std::weak_ptr<GADOpener> weakOpener = local;
        local.reset();
        runUntilIdle();
        CHECK(weakOpener.expired());
    }
    CHECK(clicks() == 2);
    // Each composer's part of the slot's full-screen period ended with it.
    CHECK(s.events->calls ==
          Calls{"willPresent", "willDismiss", "didDismiss", "willPresent", "willDismiss", "didDismiss"});
}

TEST_CASE_FIXTURE(MRAIDBanner, "GADOpener: screens refused because another is up count no click") {
    auto busy = platform::ViewController::create();
    root->presentViewController(busy, false);
    settle();
    opener->openWebApp(url("https://ads.ruzave.example/page"), 30, false);
    opener->openWebAppWithHTML(std::string("<p>more</p>"), 30, false);
    opener->expandToWebAppWithSupportedOrientations(30, false);
    settle();
    CHECK(root->presentedViewController() == busy);
    CHECK(busy->presentedViewController() == nullptr);
    CHECK(adView->superview() == root->view());
    // The refused expand is an error to the ad, which stays in its state.
    CHECK(seen() == std::string("onError:") + GADOpener::kExpandRefused);
    CHECK(clicks() == 0);
}

TEST_CASE_FIXTURE(MRAIDBanner, "GADOpener: resize with missing or refused properties reports and counts no click") {
    opener->openWebAppWithResizeProperties(nullptr);
    CHECK(seen() == "onError:Received invalid resize properties (null)");
    // Allowed off screen, but with the close area off screen too: refused.
    opener->openWebAppWithResizeProperties(GADMRAIDResizeProperties::init({300, 250}, {0, 5000}, 0, true));
    CHECK(seen().find("resized") == std::string::npos);
    CHECK(clicks() == 0);
    CHECK(root->presentedViewController() == nullptr);
}

TEST_CASE_FIXTURE(MRAIDBanner, "GADOpener: a resize lays the ad over the app, then default when it closes") {
    opener->openWebAppWithResizeProperties(GADMRAIDResizeProperties::init({300, 100}, {10, 0}, 2, false));
    settle();
    // Visible once on screen, then told it is resized when the presentation ends.
    CHECK(seen() == "onAdVisibilityChanged,onStateChanged:resized,onSizeChanged");
    CHECK(clicks() == 1);
    auto controller = std::dynamic_pointer_cast<ruzave::GADExpandedAdAppViewController>(adView->viewController());
    REQUIRE(controller);
    CHECK(controller->view()->window() == window);
    CHECK(controller->view()->frame().size.width == doctest::Approx(300));
    CHECK(controller->renderedBanner()->superview() == root->view());
    CHECK(s.events->calls == Calls{"willPresent"});
    controller->relinquishScreenWithCompletion(nullptr);
    settle();
    CHECK(adView->superview() == root->view());
    CHECK(seen() == "onAdVisibilityChanged,onStateChanged:resized,onSizeChanged,onAdVisibilityChanged,onStateChanged:default");
    CHECK(s.events->calls == Calls{"willPresent", "willDismiss", "didDismiss"});
}

TEST_CASE_FIXTURE(MRAIDBanner, "GADOpener: an expanded screen that the app dismisses, or the screen under it, tells of its dismissal in full") {
    for (bool twoPart : {false, true}) {
        for (bool overAppScreen : {false, true}) {
            CAPTURE(twoPart);
            CAPTURE(overAppScreen);
            s.events->calls.clear();
            adView->evaluate("seen = []");
            auto under = root;
            if (overAppScreen) {
                under = platform::ViewController::create();
                root->presentViewController(under, false);
                settle();
            }
            opener->setViewController(under);
            if (twoPart) opener->openWebApp(url("https://ads.ruzave.example/more"), 30, false);
            else opener->expandToWebAppWithSupportedOrientations(30, false);
            settle();
            std::weak_ptr<platform::ViewController> screen = under->presentedViewController();
            REQUIRE(std::dynamic_pointer_cast<ruzave::GADAdAppViewController>(screen.lock()));
            CHECK(s.events->calls == Calls{"willPresent"});
            REQUIRE(root->dismissViewController(true));
            settle();
            CHECK(root->presentedViewController() == nullptr);
            CHECK(s.events->calls == Calls{"willPresent", "willDismiss", "didDismiss"});
            CHECK(screen.expired());
            CHECK(adView->superview() == root->view());
            // The ad hears that it is back in its default state, once.
            CHECK(occurrences(seen(), "onStateChanged:default") == 1);
        }
    }
    CHECK(clicks() == 4);
}

TEST_CASE_FIXTURE(MRAIDBanner, "GADOpener: expand of a resized ad takes the overlay down first and never says default for it") {
    auto resized = resizeThenExpand(*this);
    settle();
    settle();
    auto expanded = root->presentedViewController();
    REQUIRE(std::dynamic_pointer_cast<ruzave::GADExpandedAdAppViewController>(expanded));
    CHECK(adView->superview() == expanded->view());
    CHECK_FALSE(resized->view()->window());
    // The resized screen leaves (not visible) before the expanded one comes up (visible).
    CHECK(seen() == "onAdVisibilityChanged,onStateChanged:resized,onSizeChanged,onAdVisibilityChanged,expanding,"
                    "onAdVisibilityChanged,onStateChanged:expanded");
}

TEST_CASE_FIXTURE(MRAIDBanner,
                  "GADOpener: an expand waiting for a resize to leave never comes up after the app "
                  "dismissed the screens under it, or after the ad went away") {
    auto app = platform::Application::sharedApplication();
    app->setIdleTimerDisabled(false);
    const std::string refused = std::string("onError:") + GADOpener::kExpandRefused;
    // The ad resizes over a second page it opened, then asks to expand; the app dismisses the page at
    // once, before the resize has faded out.
    opener->openWebAppWithHTML(std::string("<html><body>second</body></html>"), 30, false);
    settle();
    REQUIRE(root->presentedViewController());
    opener->setViewController(root);
    resizeThenExpand(*this);
    REQUIRE(root->dismissViewController(false));
    settle();
    settle();
    CHECK(root->presentedViewController() == nullptr);
    CHECK(adView->superview() == root->view());
    CHECK(s.events->calls == Calls{"willPresent", "willDismiss", "didDismiss"});
    CHECK_FALSE(app->isIdleTimerDisabled());
    CHECK(occurrences(seen(), refused) == 1);

    // Resized over the app, the ad asks to expand as a new ad takes its place: its screens go with it,
    // and nothing of it comes up afterwards.
    s.events->calls.clear();
    opener->setViewController(root);
    resizeThenExpand(*this);
    s.slot->abandonScreens();
    settle();
    settle();
    CHECK(root->presentedViewController() == nullptr);
    CHECK_FALSE(s.slot->isShowingFullScreen());
    CHECK(s.events->calls == Calls{"willPresent", "willDismiss", "didDismiss"});
    CHECK_FALSE(app->isIdleTimerDisabled());
}

TEST_CASE_FIXTURE(MRAIDBanner, "GADOpener: expand inside a full-screen interstitial does nothing but tell the ad") {
    auto interstitial = ruzave::GADInterstitialViewController::initWithSlot(s.slot);
    opener->setViewController(interstitial);
    opener->expandToWebAppWithSupportedOrientations(30, false);
    settle();
    CHECK(seen() == "onError:Cannot expand an ad that is already full screen.");
    CHECK(clicks() == 0);
}

TEST_CASE_FIXTURE(MRAIDBanner, "GADOpener: a mailto link fills the composer, keys matched without case") {
    platform::MailComposer::setCanSendMailForTesting(true);
    CHECK(opener->openEmailComposer(url("mailto:a@example.com?subject=Hi&CC=b@example.com,c@example.com")));
    settle();
    auto composer = std::dynamic_pointer_cast<platform::MailComposer>(root->presentedViewController());
    REQUIRE(composer);
    CHECK(composer->toRecipients() == Calls{"a@example.com"});
    CHECK(composer->ccRecipients() == Calls{"b@example.com", "c@example.com"});
    CHECK(composer->subject() == "Hi");
    CHECK(s.events->calls == Calls{"willPresent"});
    // The composer reports to its delegate proxy, which hands the result to the opener.
    std::weak_ptr<ruzave::GADMailComposeDelegateProxy> proxy = ruzave::GADMailComposeDelegateProxy::proxyForController(*composer);
    REQUIRE(proxy.lock());
    CHECK(proxy.lock()->mailComposeDelegate() == opener);
    REQUIRE(composer->finishForTesting(platform::MailComposerDelegate::Sent));
    settle();
    CHECK(root->presentedViewController() == nullptr);
    CHECK(s.events->calls == Calls{"willPresent", "willDismiss", "didDismiss"});
    // Once the composer is down its proxy stops and goes.
    CHECK(proxy.expired());
}

TEST_CASE_FIXTURE(MRAIDBanner, "GADOpener: a composer waits for an animating full screen, but not forever") {
    auto blocked = ruzave::GADViewController::init();
    blocked->view()->setUserInteractionEnabled(false);
    opener->setViewController(blocked);
    auto composer = platform::MailComposer::create();
    opener->presentComposerController(composer);
    for (int i = 0; i <= GADOpener::kMaximumComposerRetries + 2; ++i) advance(GADOpener::kComposerRetryDelay);
    runUntilIdle();
    CHECK(composer->presentingViewController() == nullptr);
    CHECK(clicks() == 0);
}

TEST_CASE_FIXTURE(MRAIDBanner, "GADOpener: a composer waiting for a full screen to come up goes up after it, or goes with its opener") {
    platform::MailComposer::setCanSendMailForTesting(true);
    for (bool openerStays : {true, false}) {
        for (bool mail : {false, true}) {
            CAPTURE(openerStays);
            CAPTURE(mail);
            auto coming = ruzave::GADViewController::init();
            root->presentViewController(coming, false);
            settle();
            coming->view()->setUserInteractionEnabled(false); // still animating in
            auto local = GADOpener::init();
            local->setSlot(s.slot);
            local->setAdView(adView);
            local->setViewController(coming);
            // Made and kept as the opener's mail and text links make and keep them.
            std::shared_ptr<platform::ViewController> composer;
            std::weak_ptr<void> delegateProxy;
            if (mail) {
                auto c = platform::MailComposer::create();
                auto proxy = ruzave::GADMailComposeDelegateProxy::associatedDelegateProxyForController(c);
                proxy->setMailComposeDelegate(local);
                delegateProxy = proxy;
                composer = c;
            } else {
                auto c = platform::MessageComposer::create();
                auto proxy = ruzave::GADMessageComposeDelegateProxy::associatedDelegateProxyForController(c);
                proxy->setMessageComposeDelegate(local);
                delegateProxy = proxy;
                composer = c;
            }
            ruzave::GADOverlayProxy::initWithViewController(composer)->setSlot(s.slot);
            std::weak_ptr<platform::ViewController> weakComposer = composer;
            local->presentComposerController(composer);
            composer.reset();
            settle();
            REQUIRE_FALSE(weakComposer.expired());
            CHECK(coming->presentedViewController() == nullptr);
            if (openerStays) {
                coming->view()->setUserInteractionEnabled(true);
                settle();
                CHECK(coming->presentedViewController() == weakComposer.lock());
                coming->dismissViewController(false);
                settle();
            } else {
                local.reset();
                CHECK(weakComposer.expired());
                CHECK(delegateProxy.expired());
                advance(GADOpener::kComposerRetryDelay);
                runUntilIdle();
            }
            root->dismissViewController(false);
            settle();
            CHECK(weakComposer.expired());
            CHECK(delegateProxy.expired());
        }
    }
    CHECK(clicks() == 2);
}

TEST_CASE_FIXTURE(MRAIDBanner, "GADOpener: a store sheet waited for that fails to load opens the fallback") {
    platform::ProductViewController::scriptLoad("42", false);
    opener->openInAppStoreWithProductID("42", url("https://shop.example/fallback"), true);
    settle();
    CHECK(root->presentedViewController() == nullptr);
    CHECK(openedURLs() == Calls{"https://shop.example/fallback"});
}

TEST_CASE_FIXTURE(MRAIDBanner, "GADOpener: a prefetched sheet is shown once without a new load") {
    platform::ProductViewController::scriptLoad("7", true);
    opener->fetchInAppStoreForProductID("7");
    settle();
    CHECK(opener->cachedStoreProductViewControllerCount() == 1);
    opener->openInAppStoreWithProductID("7", std::nullopt, true);
    settle();
    CHECK(opener->cachedStoreProductViewControllerCount() == 0);
    auto sheet = std::dynamic_pointer_cast<platform::ProductViewController>(root->presentedViewController());
    REQUIRE(sheet);
    CHECK(clicks() == 1);
    // Every store sheet has the one shared delegate, which takes it down through its proxy.
    CHECK(sheet->delegate().lock() == ruzave::GADSKStoreProductViewControllerDelegate::sharedInstance());
    sheet->finishForTesting();
    settle();
    CHECK(root->presentedViewController() == nullptr);
    CHECK(s.events->calls == Calls{"willPresent", "willDismiss", "didDismiss"});
}

TEST_CASE_FIXTURE(MRAIDBanner, "GADOpener: a store sheet shown at once whose load fails is taken down and the fallback opened") {
    platform::ProductViewController::scriptLoad("9", false, std::nullopt, 1.0);
    opener->openInAppStoreWithProductID("9", url("https://shop.example/fallback"), false);
    settle();
    REQUIRE(std::dynamic_pointer_cast<platform::ProductViewController>(root->presentedViewController()));
    CHECK(clicks() == 1);
    advance(1.0);
    settle();
    CHECK(root->presentedViewController() == nullptr);
    CHECK(std::count(s.events->calls.begin(), s.events->calls.end(), "didDismiss") == 1);
    CHECK(std::count(s.events->calls.begin(), s.events->calls.end(), "leave") == 1);
    CHECK(openedURLs() == Calls{"https://shop.example/fallback"});
    CHECK(clicks() == 2);
}

TEST_CASE_FIXTURE(MRAIDBanner,
                  "GADOpener: 2,000 distinct product ids keep at most four store sheets, loaded and "
                  "loading together, one per store item, the oldest going first") {
    const auto kept = [&] {
        return opener->cachedStoreProductViewControllerCount() +
               opener->loadingStoreProductViewControllerCount();
    };
    // Ids of 100 KB are no store's: none is kept, whatever their number.
    for (int i = 0; i < 2000; ++i)
        opener->fetchInAppStoreForProductID(std::to_string(i) + std::string(100 * 1024, '7'));
    CHECK(kept() == 0);
    // Ids as long as allowed, all distinct: the newest four are kept while they load, and once loaded.
    std::size_t most = 0;
    for (int i = 0; i < 2000; ++i) {
        opener->fetchInAppStoreForProductID(std::to_string(i) +
                                            std::string(GADOpener::kMaximumProductIDLength - 4, 'x'));
        most = std::max(most, kept());
    }
    CHECK(most == GADOpener::kMaximumStoreSheets);
    CHECK(opener->loadingStoreProductViewControllerCount() == GADOpener::kMaximumStoreSheets);
    settle();
    CHECK(opener->cachedStoreProductViewControllerCount() == GADOpener::kMaximumStoreSheets);

    // Loading sheets count, once per store item however the id spells it; a failed load leaves the list.
    for (const char* item : {"11", "12", "13", "14"})
        platform::ProductViewController::scriptLoad(item, true, std::nullopt, 1.0);
    platform::ProductViewController::scriptLoad("15", false, std::nullopt, 1.0);
    for (const char* id : {"11", "011", "11", "12", "+12", "15"})
        opener->fetchInAppStoreForProductID(id);
    CHECK(opener->loadingStoreProductViewControllerCount() == 3);
    CHECK(opener->cachedStoreProductViewControllerCount() == 1);
    advance(1.0);
    settle();
    CHECK(opener->cachedStoreProductViewControllerCount() == 3);
    CHECK(opener->loadingStoreProductViewControllerCount() == 0);
    // Three more push out the two oldest (the last of the long ids, then item 11).
    for (const char* id : {"13", "14", "16"})
        opener->fetchInAppStoreForProductID(id);
    CHECK(opener->cachedStoreProductViewControllerCount() == 1);
    CHECK(opener->loadingStoreProductViewControllerCount() == 3);

    // The open takes item 12's sheet as prefetched, whichever spelling fetched it; item 11 loads anew.
    platform::ProductViewController::scriptLoad("11", true, std::nullopt, 1.0);
    opener->openInAppStoreWithProductID("0012", std::nullopt, true);
    settle();
    auto sheet = std::dynamic_pointer_cast<platform::ProductViewController>(root->presentedViewController());
    REQUIRE(sheet);
    CHECK(sheet->loadedItemIdentifier() == "12");
    CHECK(kept() == 3);
    sheet->finishForTesting();
    settle();
    REQUIRE(root->presentedViewController() == nullptr);
    opener->openInAppStoreWithProductID("11", std::nullopt, true);
    settle();
    CHECK(root->presentedViewController() == nullptr);
    advance(1.0);
    settle();
    sheet = std::dynamic_pointer_cast<platform::ProductViewController>(root->presentedViewController());
    REQUIRE(sheet);
    CHECK(sheet->loadedItemIdentifier() == "11");
    CHECK(clicks() == 2);
}

TEST_CASE_FIXTURE(MRAIDBanner,
                  "GADOpener: a product id past 1,024 bytes is refused at fetch and at open, with a "
                  "log line") {
    platform::LogCapture log;
    const std::string longest(GADOpener::kMaximumProductIDLength, '3');
    opener->fetchInAppStoreForProductID(longest + "3");
    opener->fetchInAppStoreForProductID(std::string(2048, '3'));
    settle();
    CHECK(opener->cachedStoreProductViewControllerCount() == 0);
    CHECK(opener->loadingStoreProductViewControllerCount() == 0);
    for (bool wait : {true, false})
        opener->openInAppStoreWithProductID(std::string(2048, '3'), url("https://shop.example/fallback"),
                                            wait);
    settle();
    CHECK(root->presentedViewController() == nullptr);
    CHECK(openedURLs().empty());
    CHECK(clicks() == 0);
    ruzave::GADLoggingQueue()->sync([] {});
    CHECK(log.contains("Store sheet: fetch refused, its product ID is 1025 bytes (at most 1024)."));
    CHECK(log.contains("Store sheet: fetch refused, its product ID is 2048 bytes (at most 1024)."));
    CHECK(log.contains("Store sheet: open refused, its product ID is 2048 bytes (at most 1024)."));

    // At the bound it is fetched and opened.
    opener->fetchInAppStoreForProductID(longest);
    settle();
    CHECK(opener->cachedStoreProductViewControllerCount() == 1);
    opener->openInAppStoreWithProductID(longest, std::nullopt, true);
    settle();
    CHECK(std::dynamic_pointer_cast<platform::ProductViewController>(root->presentedViewController()));
    CHECK(clicks() == 1);
}

TEST_CASE_FIXTURE(MRAIDBanner, "GADOpener: a calendar event without access tells the ad it was cancelled and shows nothing") {
    adView->evaluate("window.cancelled=0;var was=window.ZUDO_ReceiveMessage;window.ZUDO_ReceiveMessage=function(n,i){"
                     "if(n=='onCalendarEventCanceled')cancelled++;was(n,i);};");
    platform::EventStore::setAuthorizationStatusForTesting(platform::EventStore::Event, platform::EventStore::Denied);
    opener->openCalendarWithDictionary(platform::Value{{"description", "Sale"}, {"start", "2026-12-24T10:00:00Z"}});
    settle();
    CHECK(adView->evaluate("String(cancelled)") == "1");
    CHECK(root->presentedViewController() == nullptr);
    CHECK(clicks() == 0);
}
