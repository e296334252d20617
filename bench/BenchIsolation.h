#pragma once
// What the benchmarks of the app's own requests against its creatives' share: the SDK against a fresh
// local ad server over TLS in this process, on the real clock. The stage (the server and a listener that
// never answers), the host app, banners placed in it with what their delegates heard, and the printing
// of figures. Main thread, but where said.
#include <chrono>
#include <cstdio>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "ads/core/public/GADAdSize.h"
#include "ads/core/public/GADBannerView.h"
#include "ads/core/public/GADBannerViewDelegate.h"
#include "ads/core/public/GADInterstitial.h"
#include "ads/core/public/GADInterstitialDelegate.h"
#include "ads/core/public/GADRequest.h"
#include "ads/core/sdkcore/GADHosts.h"
#include "ads/core/slot/GADSlot.h"
#include "ads/render/GADAdView.h"
#include "bench/BenchDirectFetcher.h"
#include "platform/net/NetworkConfiguration.h"
#include "platform/runloop/MainLoop.h"
#include "platform/testing/ui/TouchInjector.h"
#include "platform/ui/Application.h"
#include "platform/ui/ViewController.h"
#include "platform/ui/Window.h"
#include "tools/adserver/AdResponses.h"
#include "tools/adserver/AdServer.h"
#include "tools/adserver/CorePage.h"
#include "tools/adserver/SilentServer.h"

namespace bench {

constexpr const char* kAdPath = "/mads/gma";
constexpr const char* kImpressionPath = "/pagead/adview";
constexpr const char* kClickPath = "/pagead/aclk";
constexpr const char* kLandingURL = "https://shop.ruzave.example/landing";
// Past the SDK's 60 s timeouts: what is not heard by then never will be.
constexpr double kGiveUpSeconds = 65;

inline std::string https(const std::string& host, const std::string& pathAndQuery) {
    return "https://" + host + pathAndQuery;
}

inline double msBetween(SteadyClock::time_point from, SteadyClock::time_point to) {
    return std::chrono::duration<double, std::milli>(to - from).count();
}

inline bool runUntil(const std::function<bool()>& pred, double seconds) {
    return platform::MainLoop::main().runUntil(pred, seconds);
}

inline void runFor(double seconds) {
    platform::MainLoop::main().runFor(seconds);
}

inline void printMs(const std::string& name, double ms) {
    std::printf("%s: %.1f ms\n", name.c_str(), ms);
}

inline void printCount(const std::string& name, std::size_t count, std::size_t of) {
    std::printf("%s: %zu of %zu\n", name.c_str(), count, of);
}

// A figure that could not be had, and why; false, for a measurement that gives up there.
inline bool noFigure(const std::string& name, const std::string& why) {
    std::printf("%s: %s, no figure\n", name.c_str(), why.c_str());
    return false;
}

// Host `host` of page `page`'s own, to be mapped to the stage's listener that never answers.
inline std::string silentHost(int page, int host) {
    return "p" + std::to_string(page) + "-h" + std::to_string(host) + ".silent.ruzave.example";
}

// Page `page`'s creative: `loadsPerHost` images on each of `hosts` hosts of its own.
inline adserver::ImageCreative hangingPageCreative(int page, int hosts, int loadsPerHost) {
    adserver::ImageCreative creative;
    for (int h = 0; h < hosts; ++h)
        for (int i = 0; i < loadsPerHost; ++i)
            creative.imageURLs.push_back(https(silentHost(page, h), "/i.png?n=" + std::to_string(i)));
    return creative;
}

// One measurement's world: a fresh local server under the SDK's host names (the core page answering
// every ad unit with an ad URL on the ad host, pings answered, the ad route, and the routes that hang,
// trickle or come late on the ad and ping hosts), a listener that never answers behind the silent hosts
// mapped to it, and the host map and CA installed. Main thread.
class Stage {
  public:
    // The ad for a request to the ad route, given how many ads its unit was served before. Server thread.
    using AdMaker = std::function<adserver::StandardAd(const adserver::Request&, int served)>;

    // The image routes: one that never answers, one answering a byte every `trickleEvery` (each byte
    // keeping the transfer alive), and, where `slowPath` is given, one answered empty after `slowDelay`.
    struct Routes {
        std::string hangPath;
        std::string tricklePath;
        std::chrono::milliseconds trickleEvery;
        std::string slowPath{};
        std::chrono::milliseconds slowDelay{};
    };

    static std::unique_ptr<Stage> start(const Routes& routes, AdMaker adFor) {
        std::unique_ptr<Stage> stage(new Stage());
        adserver::Options options;
        options.hostNames = ruzave::GADHosts::allHosts();
        // The server's log counts from its start, a moment after this.
        stage->origin_ = SteadyClock::now();
        stage->server_ = adserver::AdServer::start(options);
        stage->silent_ = adserver::SilentServer::start();
        if (!stage->server_ || !stage->silent_) return nullptr;
        adserver::AdServer& server = *stage->server_;
        adserver::CorePageScenario scenario;
        scenario.host = ruzave::GADHosts::kSDKCoreHost;
        scenario.path = ruzave::GADHosts::kSDKCorePagePath;
        scenario.adBase = std::string("https://") + ruzave::GADHosts::kAdServerHost;
        adserver::installCorePage(server, scenario);
        adserver::installPingEndpoints(server);
        Stage* raw = stage.get();
        server.routeHost(
            ruzave::GADHosts::kAdServerHost, kAdPath, [raw, adFor](const adserver::Request& request) {
                return adserver::standardAdResponse(adFor(request, raw->served(request.param("slotname"))));
            });

        adserver::Response hang = adserver::Response::text("", "image/png");
        hang.delay = std::chrono::hours(1);
        adserver::Response trickle = adserver::Response::text(std::string(1000, 'x'), "image/png");
        trickle.chunkBytes = 1;
        trickle.chunkDelay = routes.trickleEvery;
        adserver::Response slow = adserver::Response::text("", "image/png");
        slow.delay = routes.slowDelay;
        for (const char* host : {ruzave::GADHosts::kAdServerHost, ruzave::GADHosts::kPingHost}) {
            server.routeHost(host, routes.hangPath, [hang](const adserver::Request&) { return hang; });
            server.routeHost(host, routes.tricklePath,
                             [trickle](const adserver::Request&) { return trickle; });
            if (!routes.slowPath.empty())
                server.routeHost(host, routes.slowPath, [slow](const adserver::Request&) { return slow; });
        }

        auto config = platform::NetworkConfiguration::sharedInstance();
        if (!config->setHostMappings(server.connectToSpec(443))) return nullptr;
        config->setTrustedCAFile(server.caFile());
        return stage;
    }

    ~Stage() {
        // The SDK must not reach a server that is gone through a stale map.
        auto config = platform::NetworkConfiguration::sharedInstance();
        config->removeAllHostMappings();
        config->setTrustedCAFile("");
    }
    Stage(const Stage&) = delete;
    Stage& operator=(const Stage&) = delete;

    adserver::AdServer& server() { return *server_; }
    adserver::SilentServer& silent() { return *silent_; }
    // Before the first load: each change of the map drops the engine's pooled connections.
    void mapSilentHost(const std::string& host) const {
        platform::NetworkConfiguration::sharedInstance()->addHostMapping(host, 443, "127.0.0.1",
                                                                         silent_->port());
    }
    // When the server heard `request`, on this process's clock.
    SteadyClock::time_point heardAt(const adserver::Request& request) const {
        return origin_ +
               std::chrono::duration_cast<SteadyClock::duration>(std::chrono::duration<double>(request.time));
    }
    // The requests for `path` on `host` so far, those of ad unit `unit` (its "slotname" or "ai") only
    // when given.
    std::vector<adserver::Request> heard(const std::string& path, const std::string& host,
                                         const std::string& unit = "") const {
        std::vector<adserver::Request> out;
        for (auto& request : server_->requests(path))
            if (request.host == host &&
                (unit.empty() || request.param("slotname") == unit || request.param("ai") == unit))
                out.push_back(std::move(request));
        return out;
    }
    // When `unit`'s `k`th ad request (from 0) was heard, if it was.
    std::optional<SteadyClock::time_point> adRequestHeard(const std::string& unit, std::size_t k) const {
        auto requests = heard(kAdPath, ruzave::GADHosts::kAdServerHost, unit);
        if (requests.size() <= k) return std::nullopt;
        return heardAt(requests[k]);
    }
    std::optional<SteadyClock::time_point> firstHeard(const std::string& path, const std::string& host,
                                                      const std::string& unit) const {
        auto requests = heard(path, host, unit);
        if (requests.empty()) return std::nullopt;
        return heardAt(requests.front());
    }

  private:
    Stage() = default;
    // How many ads of `unit` were served before this one. Any thread.
    int served(const std::string& unit) {
        std::lock_guard lock(mutex_);
        return served_[unit]++;
    }

    SteadyClock::time_point origin_;
    // Before the server: they outlive its threads.
    std::mutex mutex_;
    std::map<std::string, int> served_;
    std::unique_ptr<adserver::AdServer> server_;
    std::unique_ptr<adserver::SilentServer> silent_;
};

// The host app: a key window with a root view controller. Main thread.
struct App {
    std::shared_ptr<platform::Window> window = platform::Window::create();
    std::shared_ptr<platform::ViewController> root = platform::ViewController::create();

    App() {
        auto application = platform::Application::sharedApplication();
        application->finishLaunching();
        application->becomeActive();
        window->setRootViewController(root);
        window->makeKeyAndVisible();
    }
};

// A banner's outcomes, with when they came and which request each ad answered.
struct BannerWatch : ruzave::GADBannerViewDelegate {
    std::vector<SteadyClock::time_point> receivedAt;
    std::vector<std::string> receivedIDs;
    std::vector<std::string> errors;
    std::vector<SteadyClock::time_point> failedAt;
    void adViewDidReceiveAd(ruzave::GADBannerView& banner) override {
        receivedAt.push_back(SteadyClock::now());
        receivedIDs.push_back(banner.slot()->requestID().value_or(""));
    }
    void adViewDidFailToReceiveAdWithError(ruzave::GADBannerView&, const platform::Error& e) override {
        errors.push_back(e.description);
        failedAt.push_back(SteadyClock::now());
    }
    std::size_t outcomes() const { return receivedAt.size() + errors.size(); }
};

struct InterstitialWatch : ruzave::GADInterstitialDelegate {
    std::optional<SteadyClock::time_point> receivedAt;
    std::optional<std::string> error;
    SteadyClock::time_point failedAt;
    void interstitialDidReceiveAd(ruzave::GADInterstitial&) override { receivedAt = SteadyClock::now(); }
    void interstitialDidFailToReceiveAdWithError(ruzave::GADInterstitial&,
                                                 const platform::Error& e) override {
        error = e.description;
        failedAt = SteadyClock::now();
    }
};

struct PlacedBanner {
    std::shared_ptr<ruzave::GADBannerView> view;
    std::shared_ptr<BannerWatch> watch = std::make_shared<BannerWatch>();

    // Loads and waits for the outcome; true when the ad came.
    bool load(double seconds = kGiveUpSeconds) {
        const std::size_t outcomes = watch->outcomes(), received = watch->receivedAt.size();
        view->loadRequest(ruzave::GADRequest::request());
        runUntil([&] { return watch->outcomes() > outcomes; }, seconds);
        return watch->receivedAt.size() > received;
    }
    // Taps the middle of the banner.
    bool tap(App& app) const {
        const platform::Rect frame = view->convertRectToView(view->bounds(), nullptr);
        return platform::TouchInjector::tap({frame.midX(), frame.midY()}, app.window);
    }
    std::string page(const std::string& script) const { return view->adView()->evaluate(script); }
};

inline PlacedBanner place(App& app, const std::string& unit, float originY = 20) {
    PlacedBanner placed;
    placed.view =
        ruzave::GADBannerView::initWithAdSize(ruzave::kGADAdSizeBanner, platform::Point{0, originY});
    placed.view->setAdUnitID(unit);
    placed.view->setRootViewController(app.root);
    placed.view->setDelegate(placed.watch);
    app.root->view()->addSubview(placed.view);
    return placed;
}

inline void release(PlacedBanner& placed) {
    if (!placed.view) return;
    placed.view->setDelegate(std::weak_ptr<ruzave::GADBannerViewDelegate>());
    placed.view->removeFromSuperview();
    placed.view.reset();
}

} // namespace bench
