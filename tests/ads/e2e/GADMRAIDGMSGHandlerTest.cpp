// An MRAID banner end to end: served by the local ad server with our mraid.js, it expands, resizes,
// stores a picture and closes, and the creative hears each step in order, errors included; a resize
// over the screens it stacked goes with them when the app dismisses them.
#include <doctest/doctest.h>

#include <memory>
#include <string>
#include <vector>

#include "ads/core/public/GADAdSize.h"
#include "ads/core/public/GADBannerView.h"
#include "ads/core/public/GADBannerViewDelegate.h"
#include "ads/core/public/GADRequest.h"
#include "ads/core/sdkcore/GADHosts.h"
#include "ads/core/slot/GADSlot.h"
#include "ads/render/GADAdAppViewController.h"
#include "ads/render/GADAdView.h"
#include "ads/render/GADExpandedAdAppViewController.h"
#include "ads/render/GADMRAIDInterceptor.h"
#include "platform/services/EventEditViewController.h"
#include "platform/services/EventStore.h"
#include "platform/services/PhotoAlbum.h"
#include "platform/testing/Harness.h"
#include "platform/testing/ui/TouchInjector.h"
#include "platform/ui/AlertView.h"
#include "platform/ui/Application.h"
#include "platform/ui/Device.h"
#include "platform/ui/ViewController.h"
#include "platform/ui/Window.h"
#include "tests/ads/core/sdkcore/SDKCoreTestSupport.h"
#include "tools/adserver/AdServer.h"
#include "tools/adserver/MRAIDScripts.h"

using platform::testing::Harness;
using ruzave::GADHosts;

namespace {

constexpr const char* kAdPath = "/mads/gma";
// The creative notes what mraid.js tells it.
const std::string kCreative =
    "<html><body style='margin:0'><script src='mraid.js'></script>"
    "<div style='width:320px;height:50px;background:#a00'>mraid</div><script>"
    "var heard=[];"
    "mraid.addEventListener('stateChange',function(s){heard.push('state:'+s);});"
    "mraid.addEventListener('sizeChange',function(w,h){heard.push('size:'+w+'x'+h);});"
    "mraid.addEventListener('error',function(m,a){heard.push('error:'+a+':'+m);});"
    "</script></body></html>";
// A second page the creative opens: MRAID too, so it opens screens of its own.
constexpr const char* kSecondPagePath = "/second";
const std::string kSecondPage = "<html><body><script src='mraid.js'></script>second</body></html>";
const std::string kPicture("GIF89a\x01\x00\x01\x00\x80\x00\x00\xff\xff\xff\x00\x00\x00!\xf9\x04\x01\x00\x00\x00\x00,"
                           "\x00\x00\x00\x00\x01\x00\x01\x00\x00\x02\x02"
                           "D\x01\x00;",
                           43);

struct Creative : Harness {
    Creative() {
        platform::Device::currentDevice()->setSystemVersion("8.4");
        server = sdkcoretest::startCoreServer();
        adserver::installMRAIDScripts(*server);
        ruzave::GADMRAIDInterceptor::resetToDefaultPaths();
        ruzave::GADMRAIDInterceptor::allow();
        server->routeHost(GADHosts::kAdServerHost, kAdPath,
                          [](const adserver::Request&) { return adserver::Response::html(kCreative); });
        server->routeHost(GADHosts::kAdServerHost, kSecondPagePath,
                          [](const adserver::Request&) { return adserver::Response::html(kSecondPage); });
        server->routeHost(GADHosts::kAdServerHost, "/picture.gif",
                          [](const adserver::Request&) { return adserver::Response::text(kPicture, "image/gif"); });
        platform::Application::sharedApplication()->setApplicationState(platform::ApplicationState::Active);
        window = platform::Window::create();
        root = platform::ViewController::create();
        window->setRootViewController(root);
        window->makeKeyAndVisible();
        banner = ruzave::GADBannerView::initWithAdSize(ruzave::kGADAdSizeBanner, platform::Point{0, 100});
        root->view()->addSubview(banner);
        banner->setRootViewController(root);
        banner->setAdUnitID("mraid-unit");
        banner->loadRequest(ruzave::GADRequest::request());
    }
    bool pump(const std::function<bool()>& pred) { return sdkcoretest::pump(*this, pred, 20); }
    void call(const std::string& script) {
        adView()->evaluate(script);
        // Let the message (parsed off the main thread) and the screens it moves settle.
        sdkcoretest::settle(*this);
    }
    // What the creative heard, without or with only its size events: a size event comes at the next
    // sampling of the ad view's position, so where it falls among the others depends on the sampler's
    // phase, which the time the page took to load sets.
    std::string heardStates() { return adView()->evaluate("heard.filter(function(e){ return e.indexOf('size:') != 0; }).join('|')"); }
    std::string heardSizes() { return adView()->evaluate("heard.filter(function(e){ return e.indexOf('size:') == 0; }).join('|')"); }
    std::shared_ptr<ruzave::GADAdView> adView() { return banner->slot()->adView(); }

    std::unique_ptr<adserver::AdServer> server;
    std::shared_ptr<platform::Window> window;
    std::shared_ptr<platform::ViewController> root;
    std::shared_ptr<ruzave::GADBannerView> banner;
};

struct ScreenEvents : ruzave::GADBannerViewDelegate {
    void adViewDidReceiveAd(ruzave::GADBannerView&) override { calls.push_back("received"); }
    void adViewDidFailToReceiveAdWithError(ruzave::GADBannerView&, const platform::Error&) override {
        calls.push_back("failed");
    }
    void adViewWillPresentScreen(ruzave::GADBannerView&) override { calls.push_back("willPresent"); }
    void adViewWillDismissScreen(ruzave::GADBannerView&) override { calls.push_back("willDismiss"); }
    void adViewDidDismissScreen(ruzave::GADBannerView&) override { calls.push_back("didDismiss"); }
    std::vector<std::string> calls;
};

} // namespace

TEST_CASE_FIXTURE(Creative, "GADMRAIDGMSGHandler: a served MRAID creative expands, resizes, stores a picture and closes") {
    REQUIRE(pump([&] { return banner->slot()->isMRAIDEnabled(); }));

    call("mraid.expand()");
    auto expanded = std::dynamic_pointer_cast<ruzave::GADExpandedAdAppViewController>(root->presentedViewController());
    REQUIRE(expanded);
    CHECK(adView()->superview() == expanded->view());
    call("mraid.expand()"); // while expanded: refused, the ad stays up
    CHECK(root->presentedViewController() == expanded);
    call("mraid.close()");
    CHECK(root->presentedViewController() == nullptr);
    CHECK(adView()->superview() == banner);
    call("mraid.close()"); // a second close: nothing
    // The ready creative is told its state and size first; each change of the view's frame is a size event.
    CHECK(heardStates() == "state:default|state:expanded|error:expand:Cannot expand an ad that is already full screen.|"
                           "state:default");
    CHECK(heardSizes() == "size:320x50|size:320x568|size:320x50");

    call("mraid.setResizeProperties({width:'NaN',height:50,offsetX:0,offsetY:0,customClosePosition:'top-right',"
         "allowOffscreen:false});mraid.resize()");
    call("mraid.setResizeProperties({width:300,height:100,offsetX:0,offsetY:0,customClosePosition:'top-left',"
         "allowOffscreen:false});mraid.resize()");
    REQUIRE(adView()->window() == window);
    CHECK(adView()->superview() != banner);
    call("mraid.close()");
    CHECK(adView()->superview() == banner);

    call("mraid.storePicture('ftp://elsewhere/p.gif')");
    call("mraid.storePicture('https://" + std::string(GADHosts::kAdServerHost) + "/picture.gif')");
    auto alerts = platform::AlertView::visibleAlerts();
    REQUIRE(alerts.size() == 1);
    alerts[0]->tapButtonAtIndex(1);
    REQUIRE(pump([] { return platform::PhotoAlbum::savedImagesForTesting().size() == 1; }));
    CHECK(heardStates() == "state:default|state:expanded|error:expand:Cannot expand an ad that is already full screen.|"
                           "state:default|error:setResizeProperties:Received invalid resize properties (null)|"
                           "state:resized|state:default|error:storePicture:Could not initialize picture download.");
    CHECK(heardSizes() == "size:320x50|size:320x568|size:320x50|size:300x100|size:300x100|size:320x50");
}

TEST_CASE_FIXTURE(Creative, "GADMRAIDGMSGHandler: a resize over the creative's stacked screens goes with them when "
                            "the app dismisses the stack, and the banner's next load is answered") {
    platform::EventStore::setAuthorizationStatusForTesting(platform::EventStore::Event,
                                                           platform::EventStore::Authorized);
    auto app = platform::Application::sharedApplication();
    app->setIdleTimerDisabled(false);
    REQUIRE(pump([&] { return banner->slot()->isMRAIDEnabled(); }));
    auto events = std::make_shared<ScreenEvents>();
    banner->setDelegate(events);
    const std::string second = "https://" + std::string(GADHosts::kAdServerHost) + kSecondPagePath;

    // The user taps the creative, which opens a second page, which opens another, which opens a calendar
    // editor.
    REQUIRE(platform::TouchInjector::tap({10, 110}, window));
    call("mraid.open('" + second + "')");
    std::shared_ptr<platform::ViewController> top = root;
    for (const std::string& step : {"mraid.open('" + second + "')",
                                    std::string("mraid.createCalendarEvent({description:'x',start:'2030-01-01T10:00:00Z'})")}) {
        auto page = std::dynamic_pointer_cast<ruzave::GADAdAppViewController>(top->presentedViewController());
        REQUIRE(page);
        REQUIRE(pump([&] { return page->adView()->evaluate("typeof mraid") == "object"; }));
        page->adView()->evaluate(step);
        sdkcoretest::settle(*this);
        top = page;
    }
    auto editor = top->presentedViewController();
    REQUIRE(std::dynamic_pointer_cast<platform::EventEditViewController>(editor));
    // Under them all, the banner resizes: its overlay lies over the editor.
    call("mraid.setResizeProperties({width:300,height:100,offsetX:0,offsetY:0,customClosePosition:'top-right',"
         "allowOffscreen:false});mraid.resize()");
    REQUIRE(adView()->superview() != banner);
    CHECK(adView()->evaluate("mraid.getState()") == "resized");
    CHECK(events->calls == std::vector<std::string>{"willPresent"});
    CHECK(app->isIdleTimerDisabled());

    REQUIRE(root->dismissViewController(true));
    sdkcoretest::settle(*this);
    CHECK(root->presentedViewController() == nullptr);
    CHECK(events->calls == std::vector<std::string>{"willPresent", "willDismiss", "didDismiss"});
    CHECK_FALSE(app->isIdleTimerDisabled());
    CHECK(adView()->superview() == banner);
    CHECK(adView()->evaluate("mraid.getState()") == "default");

    banner->loadRequest(ruzave::GADRequest::request());
    CHECK(pump([&] { return events->calls.size() == 4; }));
    CHECK(events->calls.back() == "received");
}
