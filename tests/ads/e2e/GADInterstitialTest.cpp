// The interstitial end to end: loaded through the core page and the ad server over TLS, presented
// from the app's root controller, closed with its close button, and refused once used.
#include <doctest/doctest.h>

#include <chrono>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "ads/core/net/GADClickTrackerCollection.h"
#include "ads/core/public/GADInterstitial.h"
#include "ads/core/public/GADInterstitialDelegate.h"
#include "ads/core/public/GADRequest.h"
#include "ads/core/public/GADRequestError.h"
#include "ads/core/sdkcore/GADHosts.h"
#include "ads/core/slot/GADAd.h"
#include "ads/core/slot/GADSlot.h"
#include "ads/core/telemetry/GADCSI.h"
#include "ads/render/GADAdView.h"
#include "ads/render/GADInterstitialViewController.h"
#include "ads/render/GADOverlayPresenting.h"
#include "platform/base/Log.h"
#include "platform/runloop/Clock.h"
#include "platform/testing/Harness.h"
#include "platform/ui/Application.h"
#include "platform/ui/Button.h"
#include "platform/ui/ViewController.h"
#include "platform/ui/Window.h"
#include "tests/ads/core/sdkcore/SDKCoreTestSupport.h"
#include "tests/ads/core/slot/SlotTestSupport.h"
#include "tests/ads/mediation/MediationTestSupport.h"
#include "tools/adserver/AdServer.h"
#include "tools/adserver/CorePage.h"

using platform::testing::Harness;
using ruzave::GADHosts;

namespace {

constexpr const char* kAdPath = "/mads/gma";
// The page notes every SDK event it is sent.
const std::string kAdHTML =
    "<html><head><script>var seen=[];window.ZUDO_ReceiveMessage=function(n){seen.push(n);};</script></head>"
    "<body style=\"margin:0\"><div style=\"width:320px;height:480px;background:#00a\">Full</div></body></html>";

struct Recorder : ruzave::GADInterstitialDelegate {
    void interstitialDidReceiveAd(ruzave::GADInterstitial& i) override {
        calls.push_back("received");
        readyWhenReceived = i.isReady();
    }
    void interstitialDidFailToReceiveAdWithError(ruzave::GADInterstitial&, const platform::Error& e) override {
        calls.push_back("failed " + std::to_string(e.code));
        errors.push_back(e);
    }
    void interstitialWillPresentScreen(ruzave::GADInterstitial&) override { calls.push_back("willPresent"); }
    void interstitialWillDismissScreen(ruzave::GADInterstitial&) override { calls.push_back("willDismiss"); }
    void interstitialDidDismissScreen(ruzave::GADInterstitial&) override { calls.push_back("didDismiss"); }
    std::vector<std::string> calls;
    std::vector<platform::Error> errors;
    bool readyWhenReceived = false;
};

struct Road : Harness {
    Road() {
        server = sdkcoretest::startCoreServer();
        server->routeHost(GADHosts::kAdServerHost, kAdPath,
                          [](const adserver::Request&) { return adserver::Response::html(kAdHTML); });
        platform::Application::sharedApplication()->setApplicationState(platform::ApplicationState::Active);
        window = platform::Window::create();
        root = platform::ViewController::create();
        window->setRootViewController(root);
        window->makeKeyAndVisible();
        interstitial = ruzave::GADInterstitial::initWithAdUnitID("e2e-interstitial");
        interstitial->setDelegate(delegate);
    }
    bool waitFor(std::size_t calls) {
        return sdkcoretest::pump(*this, [&] { return delegate->calls.size() >= calls; }, 20);
    }
    bool loaded() {
        interstitial->loadRequest(ruzave::GADRequest::request());
        return waitFor(1) && delegate->calls.back() == "received";
    }
    std::string seenByPage(const std::shared_ptr<ruzave::GADAdView>& adView) {
        return adView->evaluate("seen.join(',')");
    }

    std::unique_ptr<adserver::AdServer> server;
    std::shared_ptr<platform::Window> window;
    std::shared_ptr<platform::ViewController> root;
    std::shared_ptr<ruzave::GADInterstitial> interstitial;
    std::shared_ptr<Recorder> delegate = std::make_shared<Recorder>();
};

} // namespace

TEST_CASE("GADInterstitial: load, present, close and the one-shot rule end to end") {
    Road road;
    CHECK_FALSE(road.interstitial->isReady());
    REQUIRE(road.loaded());
    CHECK(road.delegate->readyWhenReceived);
    CHECK(road.interstitial->isReady());
    auto controller = road.interstitial->viewController();
    REQUIRE(controller);
    auto adView = road.interstitial->slot()->adView();

    road.interstitial->presentFromRootViewController(road.root);
    CHECK(road.interstitial->hasBeenUsed());
    CHECK_FALSE(road.interstitial->viewController()); // dropped once presented
    REQUIRE(road.waitFor(2));
    CHECK(road.delegate->calls[1] == "willPresent");
    road.advance(0.5); // the cover transition
    road.runUntilIdle();
    REQUIRE(road.root->presentedViewController() == controller);
    CHECK_FALSE(controller->isBeingPresented());
    CHECK(adView->superview() == controller->view());
    CHECK(platform::Application::sharedApplication()->isIdleTimerDisabled());
    REQUIRE(road.runUntil([&] { return road.seenByPage(adView).find("onshow") != std::string::npos; }));

    // Used and still up: a load is refused once with code 6 (no code-0 echo), a second show likewise.
    road.delegate->calls.clear();
    road.interstitial->loadRequest(ruzave::GADRequest::request());
    road.interstitial->presentFromRootViewController(road.root);
    road.runUntilIdle();
    CHECK(road.delegate->calls == std::vector<std::string>{"failed 6", "failed 6"});
    CHECK(road.delegate->errors[0].description ==
          "Request Error: Will not send request because interstitial object has been used.");
    CHECK(road.root->presentedViewController() == controller); // the screen stayed up

    road.delegate->calls.clear();
    controller->closeButton()->sendActions();
    road.runUntilIdle();
    CHECK(road.seenByPage(adView).find("onshow,onhide") != std::string::npos);
    road.advance(0.5);
    REQUIRE(road.waitFor(2));
    road.runUntilIdle();
    CHECK(road.root->presentedViewController() == nullptr);
    CHECK(road.delegate->calls == std::vector<std::string>{"willDismiss", "didDismiss"});
    CHECK_FALSE(road.interstitial->isReady());
    CHECK(road.interstitial->slot()->state() == ruzave::GADSlotStateInvalidated);
    CHECK_FALSE(platform::Application::sharedApplication()->isIdleTimerDisabled());

    // After the dismissal the invalidated slot drops loads silently.
    road.delegate->calls.clear();
    road.interstitial->loadRequest(ruzave::GADRequest::request());
    road.runUntilIdle();
    CHECK(road.delegate->calls.empty());
}

TEST_CASE("GADInterstitial: a presentation stamps when the ad was shown, a refused one does not") {
    Road road;
    auto csi = ruzave::GADCSI::sharedInstance();
    road.interstitial->presentFromRootViewController(road.root); // not ready yet
    CHECK(csi->timestampForLabel(ruzave::GADCSI::kViewShowLabel) == 0);
    REQUIRE(road.loaded());
    road.advance(2);
    const double shown = platform::Clock::wallTime();
    road.interstitial->presentFromRootViewController(road.root);
    CHECK(csi->timestampForLabel(ruzave::GADCSI::kViewShowLabel) == static_cast<std::int64_t>(shown * 1000.0));
}

TEST_CASE("GADInterstitial: a mediated presentation stamps when the ad was shown too") {
    Road road;
    mediationtest::registerAdapters();
    mediationtest::Script::behaviours()[mediationtest::kAdapterC] = mediationtest::Behaviour::FillNow;
    auto ad = ruzave::GADAd::init();
    ad->setResponseType(ruzave::GADResponseTypeMediation);
    ad->setAdHTML(R"({"ad_type":"interstitial","ad_networks":[)" +
                  mediationtest::network("C", mediationtest::kAdapterC) + "]}");
    ad->setMediationDelegate(road.interstitial);
    road.interstitial->slot()->processMediationAdResponse(ad);
    REQUIRE(road.waitFor(1));
    REQUIRE(road.interstitial->isReady());
    road.advance(2);
    const double shown = platform::Clock::wallTime();
    road.interstitial->presentFromRootViewController(road.root);
    CHECK(mediationtest::Script::log().back() == "TestAdapterC present");
    CHECK(ruzave::GADCSI::sharedInstance()->timestampForLabel(ruzave::GADCSI::kViewShowLabel) ==
          static_cast<std::int64_t>(shown * 1000.0));
}

TEST_CASE("GADInterstitial: presenting before the ad is ready only logs and leaves the object unused") {
    Road road;
    platform::LogCapture capture;
    road.interstitial->presentFromRootViewController(road.root);
    road.runUntilIdle();
    CHECK(slottest::logged(capture, "Cannot present interstitial. It is not ready."));
    CHECK_FALSE(road.interstitial->hasBeenUsed());
    CHECK(road.delegate->calls.empty());
    CHECK(road.root->presentedViewController() == nullptr);
}

TEST_CASE("GADInterstitial: an ad whose orientations the app does not allow is refused with code 13") {
    Road road;
    REQUIRE(road.loaded());
    // Only a landscape ad, in an app that allows portrait only: refused at presentation.
    road.interstitial->slot()->ad()->setSupportedOrientations(24);
    platform::Application::sharedApplication()->setSupportedInterfaceOrientations(2);
    road.delegate->calls.clear();
    road.interstitial->presentFromRootViewController(road.root);
    road.runUntilIdle();
    CHECK(road.delegate->calls == std::vector<std::string>{"failed 13"});
    CHECK_FALSE(road.interstitial->hasBeenUsed());
    CHECK(road.root->presentedViewController() == nullptr);
}

TEST_CASE("GADInterstitial: an app that marks the object used by hand gets code 11 refusals") {
    Road road;
    road.interstitial->setHasBeenUsed(true);
    road.interstitial->loadRequest(ruzave::GADRequest::request());
    road.runUntilIdle();
    CHECK(road.delegate->calls == std::vector<std::string>{"failed 11"});
    CHECK(road.server->requestCount(kAdPath) == 0);
}

namespace {

// A presenter that fails the way a broken screen would.
struct ThrowingPresenter : ruzave::GADOverlayPresenting {
    void presentFromViewController(const std::shared_ptr<platform::ViewController>&, Completion) override {
        throw std::runtime_error("no screen");
    }
    std::shared_ptr<platform::ViewController> presentationViewController() const override { return nullptr; }
    bool dismissWithCompletionHandler(Completion completion) override {
        if (completion) completion();
        return true;
    }
    std::shared_ptr<ruzave::GADViewController> presentedViewController() const override { return presented.lock(); }
    void setPresentedViewController(const std::weak_ptr<ruzave::GADViewController>& c) override { presented = c; }
    bool isReadyToPresent() override { return true; }
    std::weak_ptr<ruzave::GADViewController> presented;
};

} // namespace

TEST_CASE("GADInterstitial: a presentation that throws reports code 11 and still counts as used") {
    Road road;
    REQUIRE(road.loaded());
    auto controller = road.interstitial->viewController();
    controller->setPresenter(std::make_shared<ThrowingPresenter>());
    road.delegate->calls.clear();
    road.interstitial->presentFromRootViewController(road.root);
    road.runUntilIdle();
    REQUIRE_FALSE(road.delegate->errors.empty());
    CHECK(road.delegate->errors.back().code == 11);
    CHECK(road.delegate->errors.back().description.rfind("Presenting the interstitial threw exception: no screen", 0) == 0);
    CHECK(road.interstitial->hasBeenUsed());
    // Nothing stayed half up: the controller let itself go and the idle timer is the app's again.
    CHECK_FALSE(controller->retainCycle());
    CHECK_FALSE(controller->intermission());
    CHECK_FALSE(platform::Application::sharedApplication()->isIdleTimerDisabled());
}

TEST_CASE("GADInterstitial: a click its creative sent just before it was closed and let go reaches the ad server") {
    Road road;
    // The creative's images hang on the ad host and hold its places there: the click waits behind them.
    adserver::Response hang = adserver::Response::text("", "image/png");
    hang.delay = std::chrono::hours(1);
    road.server->routeHost(GADHosts::kAdServerHost, "/hang.png", [hang](const adserver::Request&) { return hang; });
    road.server->routeHost(GADHosts::kAdServerHost, "/creative-click",
                           [](const adserver::Request&) { return adserver::Response::text(""); });
    // Added once loaded, so that the ad is shown while they hang.
    const std::string html = "<html><body style=\"margin:0\"><div style=\"width:320px;height:480px\">Full</div>"
                             "<script>window.addEventListener('load', function () {"
                             "  for (var i = 0; i < 8; i++) {"
                             "    var image = document.createElement('img');"
                             "    image.src = 'https://" +
                             std::string(GADHosts::kAdServerHost) +
                             "/hang.png?n=' + i;"
                             "    document.body.appendChild(image);"
                             "  }"
                             "});</script></body></html>";
    road.server->routeHost(GADHosts::kAdServerHost, kAdPath,
                           [html](const adserver::Request&) { return adserver::Response::html(html); });
    REQUIRE(road.loaded());
    auto controller = road.interstitial->viewController();
    REQUIRE(controller);
    road.interstitial->presentFromRootViewController(road.root);
    road.advance(0.5);
    road.runUntilIdle();
    REQUIRE(road.runUntil([&] { return road.server->requestCount("/hang.png") >= 6; }));

    auto trackers = ruzave::GADClickTrackerCollection::sharedInstance();
    const std::size_t before = trackers->trackedCount();
    road.interstitial->slot()->adView()->evaluate(
        "location.href = 'gmsg://mobileads.ruzave.example/click?u=' + encodeURIComponent('https://" +
        std::string(GADHosts::kAdServerHost) + "/creative-click?n=1');");
    REQUIRE(road.runUntil([&] { return trackers->trackedCount() > before; }));
    CHECK(road.server->requestCount("/creative-click") == 0);

    controller->closeButton()->sendActions();
    road.advance(0.5);
    road.runUntilIdle();
    controller.reset();
    road.interstitial.reset();
    road.runUntilIdle();
    CHECK(road.runUntil([&] { return road.server->requestCount("/creative-click") == 1; }));
}
