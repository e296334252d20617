// A hostile MRAID creative against the slot's full-screen period, end to end on the real clock: the SDK
// against the local ad server over TLS in this process, auto-click protection off. For 13 s the
// banner's creative opens, every few hundred milliseconds, a second page (itself the same creative),
// the in-app browser, a calendar editor, an expand, and an expand with a resize in the same turn; the
// second pages do the same from their own screens, so screens stack. Then the app dismisses its root's
// presented screen, which takes the whole stack down, and waits 3 s. Each of the runs (10, or
// FULLSCREEN_PERIOD_RUNS) has its own tick:
//   hostile_stack_depth_max: the deepest stack of presented screens seen;
//   hostile_stack_paired_runs: runs whose banner delegate heard will-present, will-dismiss and
//     did-dismiss equally often;
//   hostile_stack_idle_timer_given_back_runs: runs after which the idle timer is the app's again;
//   hostile_stack_next_load_answered_runs: runs whose next loadRequest was answered within 20 s.
// Then a creative that resizes itself to its own frame as soon as MRAID is ready, with no tap, served
// with a 2 s refresh rate: the app loads 3 times, each under the resize, and the banner then refreshes
// on its own for 10 s:
//   resize_own_frame_app_loads_answered: the app's loads answered within 20 s;
//   resize_own_frame_app_load_latency_max: the longest from loadRequest to its answer;
//   resize_own_frame_refreshes: the ads received from refreshes in those 10 s;
//   resize_own_frame_refresh_interval_mean: the mean time between them.
// Then, with a 6 s refresh rate, a resize the creative makes itself after a touch that opened nothing
// ("stale_tap": a tap, then the resize 5.5 s later), a touch on the resize the creative made untouched
// ("tap_after_open"), and a resize from a creative that cancelled its own load, the first ad of its
// banner ("failed_first_ad"); in each the app loads once under the resize:
//   <case>_app_load_latency: from that loadRequest to its answer (no answer in 20 s: 20000 ms);
//   <case>_next_refresh_after: from that answer to the next refresh's ad (none in 20 s: 20000 ms).
// Last, a creative whose load event never fires (a script keeps adding loads that hang behind its first
// image), loaded by the app, which asks again while it renders:
//   never_loads_app_load_latency: from the first loadRequest to its answer (none in 90 s: 90000 ms);
//   never_loads_next_app_load_latency: from the app's next loadRequest after that to its answer.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "ads/core/public/GADAdSize.h"
#include "ads/core/public/GADBannerView.h"
#include "ads/core/public/GADBannerViewDelegate.h"
#include "ads/core/public/GADRequest.h"
#include "ads/core/sdkcore/GADHosts.h"
#include "ads/core/slot/GADSlot.h"
#include "ads/render/GADAdView.h"
#include "ads/render/GADMRAIDInterceptor.h"
#include "bench/BenchDirectFetcher.h"
#include "bench/BenchQuick.h"
#include "platform/net/NetworkConfiguration.h"
#include "platform/runloop/MainLoop.h"
#include "platform/services/EventStore.h"
#include "platform/ui/Application.h"
#include "platform/ui/ViewController.h"
#include "platform/ui/Window.h"
#include "tools/adserver/AdResponses.h"
#include "tools/adserver/AdServer.h"
#include "tools/adserver/CorePage.h"
#include "tools/adserver/MRAIDScripts.h"
#include "tools/adserver/SilentServer.h"

namespace {

using ruzave::GADHosts;

constexpr const char* kAdPath = "/mads/gma";
constexpr const char* kSecondPagePath = "/hostile";
constexpr const char* kLandingPath = "/landing";
const int kHostileMilliseconds = bench::quickOr(13000, 2000);

// Every tick one more screen: a second page, the browser, a calendar editor, an expand to a URL, an
// expand and a resize sent in one turn, an expand.
std::string hostileCreative(int tickMilliseconds) {
    const std::string ads = std::string("https://") + GADHosts::kAdServerHost;
    return "<html><body style='margin:0'><script src='mraid.js'></script>"
           "<div style='width:320px;height:50px;background:#a00'>ad</div><script>"
           "var n=0;var t=setInterval(function(){n++;var k=n%6;try{"
           "if(k==1)mraid.open('" + ads + kSecondPagePath + "');"
           "else if(k==2)location.href='gmsg://mobileads.ruzave.example/open?a=browser&u='+"
           "encodeURIComponent('" + ads + kLandingPath + "');"
           "else if(k==3)mraid.createCalendarEvent({description:'x',start:'2030-01-01T10:00:00Z'});"
           "else if(k==4)mraid.expand('" + ads + kSecondPagePath + "');"
           "else if(k==5){mraid.expand();mraid.setResizeProperties({width:300,height:100,offsetX:0,offsetY:0,"
           "customClosePosition:'top-right',allowOffscreen:false});mraid.resize();}"
           "else mraid.expand();"
           "}catch(e){}}," + std::to_string(tickMilliseconds) + ");"
           "setTimeout(function(){clearInterval(t);}," + std::to_string(kHostileMilliseconds) + ");"
           "</script></body></html>";
}

struct Watch : ruzave::GADBannerViewDelegate {
    void adViewDidReceiveAd(ruzave::GADBannerView&) override { ++answers; }
    void adViewDidFailToReceiveAdWithError(ruzave::GADBannerView&, const platform::Error&) override { ++answers; }
    void adViewWillPresentScreen(ruzave::GADBannerView&) override { ++willPresent; }
    void adViewWillDismissScreen(ruzave::GADBannerView&) override { ++willDismiss; }
    void adViewDidDismissScreen(ruzave::GADBannerView&) override { ++didDismiss; }
    int answers = 0, willPresent = 0, willDismiss = 0, didDismiss = 0;
};

// A banner of `unit` in a window of its own, heard by `watch`, loading its first ad.
struct BannerOnScreen {
    BannerOnScreen(const char* unit, const std::shared_ptr<ruzave::GADBannerViewDelegate>& watch) {
        window->setRootViewController(root);
        window->makeKeyAndVisible();
        root->view()->addSubview(banner);
        banner->setRootViewController(root);
        banner->setDelegate(watch);
        banner->setAdUnitID(unit);
        banner->loadRequest(ruzave::GADRequest::request());
    }
    // The app lets go of the banner and its window.
    void release(platform::MainLoop& loop) {
        banner->setDelegate(std::weak_ptr<ruzave::GADBannerViewDelegate>());
        banner->removeFromSuperview();
        banner.reset();
        window->setRootViewController(nullptr);
        root.reset();
        loop.runFor(0.5);
    }

    std::shared_ptr<platform::Window> window = platform::Window::create();
    std::shared_ptr<platform::ViewController> root = platform::ViewController::create();
    std::shared_ptr<ruzave::GADBannerView> banner =
        ruzave::GADBannerView::initWithAdSize(ruzave::kGADAdSizeBanner, platform::Point{0, 100});
};

int depthOver(const std::shared_ptr<platform::ViewController>& root) {
    int depth = 0;
    for (auto c = root->presentedViewController(); c; c = c->presentedViewController()) ++depth;
    return depth;
}

// Dismisses what the root presents, asking again after the transitions under way, as an app would.
void dismissStack(const std::weak_ptr<platform::ViewController>& weakRoot) {
    auto root = weakRoot.lock();
    if (!root || !root->presentedViewController() || root->dismissViewController(true)) return;
    platform::ViewController::performAfterTransitions([weakRoot] { dismissStack(weakRoot); });
}

int fail(const std::string& why) {
    std::printf("hostile_stack_paired_runs: %s, no figure\n", why.c_str());
    return 1;
}

// Resizes to its own 320x50 frame as soon as MRAID is ready.
std::string selfResizingCreative() {
    return "<html><body style='margin:0'><script src='mraid.js'></script>"
           "<div style='width:320px;height:50px;background:#a00'>ad</div><script>"
           "function own(){mraid.setResizeProperties({width:320,height:50,offsetX:0,offsetY:0,"
           "customClosePosition:'top-right',allowOffscreen:false});mraid.resize();}"
           "if(mraid.getState()=='loading')mraid.addEventListener('ready',own);else own();"
           "</script></body></html>";
}

struct ReceiptTimes : Watch {
    void adViewDidReceiveAd(ruzave::GADBannerView& banner) override {
        Watch::adViewDidReceiveAd(banner);
        times.push_back(std::chrono::steady_clock::now());
    }
    std::vector<std::chrono::steady_clock::time_point> times;
};

void measureSelfResizing(adserver::AdServer& server, platform::MainLoop& loop) {
    server.unroute(kAdPath);
    server.routeHost(GADHosts::kAdServerHost, kAdPath, [](const adserver::Request&) {
        adserver::StandardAd ad;
        ad.html = selfResizingCreative();
        ad.refreshRate = "2";
        return adserver::standardAdResponse(ad);
    });
    auto watch = std::make_shared<ReceiptTimes>();
    BannerOnScreen shown("resize-unit", watch);
    auto& banner = shown.banner;
    auto resized = [&] { return banner->slot()->isShowingFullScreen(); };
    int answered = 0;
    double latencyMax = 0;
    if (loop.runUntil([&] { return watch->answers > 0 && resized(); }, 20)) {
        for (int i = 0; i < 3; ++i) {
            const int before = watch->answers;
            auto start = std::chrono::steady_clock::now();
            banner->loadRequest(ruzave::GADRequest::request());
            if (!loop.runUntil([&] { return watch->answers > before; }, 20)) continue;
            ++answered;
            latencyMax = std::max(latencyMax,
                                  std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
            loop.runUntil(resized, 5);
        }
    }
    const std::size_t firstRefresh = watch->times.size();
    loop.runFor(10.0);
    const std::size_t refreshes = watch->times.size() - firstRefresh;
    double mean = 0;
    if (refreshes >= 2)
        mean = std::chrono::duration<double>(watch->times.back() - watch->times[firstRefresh]).count() /
               static_cast<double>(refreshes - 1);
    std::printf("resize_own_frame_app_loads_answered: %d of 3 loads\n", answered);
    std::printf("resize_own_frame_app_load_latency_max: %.0f ms\n", latencyMax * 1000);
    std::printf("resize_own_frame_refreshes: %zu in 10 s\n", refreshes);
    std::printf("resize_own_frame_refresh_interval_mean: %.2f s\n", mean);
    shown.release(loop);
}

// A creative that resizes itself to its own frame when own() runs; with `cancelled`, it first cancels its
// own load.
std::string resizeOnCallCreative(bool cancelled) {
    return std::string("<html><body style='margin:0'><script src='mraid.js'></script>") +
           (cancelled
                ? "<script>location.href='gmsg://mobileads.ruzave.example/delayPageLoaded?cancel=1';</script>"
                : "") +
           "<div style='width:320px;height:50px;background:#a00'>ad</div><script>"
           "function own(){mraid.setResizeProperties({width:320,height:50,offsetX:0,offsetY:0,"
           "customClosePosition:'top-right',allowOffscreen:false});mraid.resize();}"
           "</script></body></html>";
}

double millisecondsSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
}

// The stale tap, the tap after the creative's resize, and the failed first ad; see the top.
void measureTouchedScreens(adserver::AdServer& server, platform::MainLoop& loop) {
    enum class Case { StaleTap, TapAfterOpen, FailedFirstAd };
    for (Case which : {Case::StaleTap, Case::TapAfterOpen, Case::FailedFirstAd}) {
        const char* name = which == Case::StaleTap       ? "stale_tap"
                           : which == Case::TapAfterOpen ? "tap_after_open"
                                                         : "failed_first_ad";
        auto cancelled = std::make_shared<bool>(which == Case::FailedFirstAd);
        server.unroute(kAdPath);
        server.routeHost(GADHosts::kAdServerHost, kAdPath, [cancelled](const adserver::Request&) {
            adserver::StandardAd ad;
            ad.html = resizeOnCallCreative(*cancelled);
            // Only the first ad cancels its load.
            *cancelled = false;
            ad.refreshRate = "6";
            return adserver::standardAdResponse(ad);
        });
        auto watch = std::make_shared<ReceiptTimes>();
        BannerOnScreen shown("touch-unit", watch);
        auto& banner = shown.banner;
        auto slot = banner->slot();
        double latency = 20000, nextRefresh = 20000;
        if (loop.runUntil([&] { return watch->answers > 0; }, 20)) {
            auto adView = slot->adView();
            if (which == Case::StaleTap) {
                adView->setTouched(true);
                loop.runFor(5.5);
            }
            adView->evaluate("own()");
            const bool up = loop.runUntil([&] { return slot->isShowingFullScreen(); }, 5);
            std::fprintf(stderr, "%s: the creative's resize %s\n", name, up ? "is up" : "did not come up");
            if (which == Case::TapAfterOpen) adView->setTouched(true);
            const int before = watch->answers;
            auto start = std::chrono::steady_clock::now();
            banner->loadRequest(ruzave::GADRequest::request());
            if (loop.runUntil([&] { return watch->answers > before; }, 20)) {
                latency = millisecondsSince(start);
                auto answered = std::chrono::steady_clock::now();
                const std::size_t after = watch->times.size();
                if (loop.runUntil([&] { return watch->times.size() > after; }, 20))
                    nextRefresh =
                        std::chrono::duration<double, std::milli>(watch->times.back() - answered).count();
            }
        }
        std::printf("%s_app_load_latency: %.0f ms\n", name, latency);
        std::printf("%s_next_refresh_after: %.0f ms\n", name, nextRefresh);
        shown.release(loop);
    }
}

// The creative whose load event never fires; see the top.
void measureNeverLoading(adserver::AdServer& server, platform::MainLoop& loop) {
    auto silent = adserver::SilentServer::start();
    const std::string hanging =
        silent ? "https://127.0.0.1:" + std::to_string(silent->port()) + "/" : "https://127.0.0.1:9/";
    auto first = std::make_shared<bool>(true);
    server.unroute(kAdPath);
    server.routeHost(GADHosts::kAdServerHost, kAdPath, [hanging, first](const adserver::Request&) {
        adserver::StandardAd ad;
        if (*first) {
            ad.html = "<html><body><img src='" + hanging +
                      "first.png'><script>var n=0;setInterval(function(){"
                      "var i=document.createElement('img');i.src='" +
                      hanging +
                      "more'+(n++)+'.png';"
                      "document.body.appendChild(i);},500);</script></body></html>";
        }
        *first = false;
        return adserver::standardAdResponse(ad);
    });
    auto watch = std::make_shared<Watch>();
    auto start = std::chrono::steady_clock::now();
    BannerOnScreen shown("never-unit", watch);
    auto& banner = shown.banner;
    loop.runUntil([&] { return banner->slot()->state() == ruzave::GADSlotStateRenderingAd; }, 20);
    loop.runFor(2.0);
    banner->loadRequest(ruzave::GADRequest::request());
    double latency = 90000, next = 90000;
    if (loop.runUntil([&] { return watch->answers > 0; }, 90)) {
        latency = millisecondsSince(start);
        const int before = watch->answers;
        auto again = std::chrono::steady_clock::now();
        banner->loadRequest(ruzave::GADRequest::request());
        if (loop.runUntil([&] { return watch->answers > before; }, 90)) next = millisecondsSince(again);
    }
    std::printf("never_loads_app_load_latency: %.0f ms\n", latency);
    std::printf("never_loads_next_app_load_latency: %.0f ms\n", next);
    shown.release(loop);
}

int measure() {
    int runs = bench::quickOr(10, 1);
    if (const char* text = std::getenv("FULLSCREEN_PERIOD_RUNS")) runs = std::max(1, std::atoi(text));
    adserver::Options options;
    options.hostNames = GADHosts::allHosts();
    auto server = adserver::AdServer::start(options);
    if (!server) return fail("the local ad server did not start");
    adserver::CorePageScenario scenario;
    adserver::installCorePage(*server, scenario);
    adserver::installPingEndpoints(*server);
    adserver::installMRAIDScripts(*server);
    auto tick = std::make_shared<int>(250);
    auto page = [tick](const adserver::Request&) { return adserver::Response::html(hostileCreative(*tick)); };
    server->routeHost(GADHosts::kAdServerHost, kAdPath, page);
    server->routeHost(GADHosts::kAdServerHost, kSecondPagePath, page);
    server->routeHost(GADHosts::kAdServerHost, kLandingPath, [](const adserver::Request&) {
        return adserver::Response::html("<html><body>landing</body></html>");
    });
    auto config = platform::NetworkConfiguration::sharedInstance();
    if (!config->setHostMappings(server->connectToSpec(443))) return fail("no host map");
    config->setTrustedCAFile(server->caFile());
    ruzave::GADMRAIDInterceptor::resetToDefaultPaths();
    ruzave::GADMRAIDInterceptor::allow();
    platform::EventStore::setAuthorizationStatusForTesting(platform::EventStore::Event,
                                                           platform::EventStore::Authorized);
    auto application = platform::Application::sharedApplication();
    application->finishLaunching();
    application->becomeActive();
    auto& loop = platform::MainLoop::main();

    int deepest = 0, paired = 0, idleGivenBack = 0, answered = 0;
    for (int run = 0; run < runs; ++run) {
        *tick = 200 + 37 * run;
        auto watch = std::make_shared<Watch>();
        BannerOnScreen shown("hostile-unit", watch);
        auto& banner = shown.banner;
        auto& root = shown.root;
        if (!loop.runUntil([&] { return watch->answers > 0; }, 20)) return fail("the banner did not load");
        auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(kHostileMilliseconds + 53 * run);
        while (std::chrono::steady_clock::now() < until) {
            loop.runFor(0.05);
            deepest = std::max(deepest, depthOver(root));
        }
        dismissStack(root);
        loop.runFor(3.0);
        const bool idle = !application->isIdleTimerDisabled();
        const bool pair = watch->willPresent == watch->willDismiss && watch->willPresent == watch->didDismiss;
        paired += pair ? 1 : 0;
        idleGivenBack += idle ? 1 : 0;
        const int before = watch->answers;
        banner->loadRequest(ruzave::GADRequest::request());
        const bool heard = loop.runUntil([&] { return watch->answers > before; }, 20);
        answered += heard ? 1 : 0;
        std::fprintf(stderr, "run %d: will-present %d, will-dismiss %d, did-dismiss %d, idle timer %s, next load %s\n",
                     run, watch->willPresent, watch->willDismiss, watch->didDismiss, idle ? "given back" : "held",
                     heard ? "answered" : "unanswered");
        shown.release(loop);
        application->setIdleTimerDisabled(false);
    }
    std::printf("hostile_stack_depth_max: %d screens\n", deepest);
    std::printf("hostile_stack_paired_runs: %d of %d runs\n", paired, runs);
    std::printf("hostile_stack_idle_timer_given_back_runs: %d of %d runs\n", idleGivenBack, runs);
    std::printf("hostile_stack_next_load_answered_runs: %d of %d runs\n", answered, runs);
    measureSelfResizing(*server, loop);
    measureTouchedScreens(*server, loop);
    measureNeverLoading(*server, loop);
    config->removeAllHostMappings();
    config->setTrustedCAFile("");
    return 0;
}

} // namespace

int main() {
    return bench::runInTemporaryHome("fullscreen-period", measure, fail);
}
