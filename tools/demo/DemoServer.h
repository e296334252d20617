#pragma once
// The demo's ad server: the local HTTPS server in this process under the SDK's host names, with the
// SDK-core page answering the demo's ad unit with an ad URL on the ad host, a standard banner behind
// that URL, the ping endpoints, and the host map and CA installed for the SDK. Start and stop on the
// main thread; the readers may be called from any thread.
#include <atomic>
#include <chrono>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "tools/adserver/AdResponses.h"
#include "tools/adserver/AdServer.h"
#include "platform/ui/Color.h"

namespace demo {

class DemoServer {
  public:
    static constexpr const char* kAdPath = "/mads/gma";
    static constexpr const char* kMediationPath = "/mads/mediation";
    static constexpr const char* kNativePath = "/mads/native";
    // The landing page the banner's link leads to, through the ad server's click URL.
    static constexpr const char* kLandingURL = "https://shop.ruzave.example/landing";

    struct Options {
        std::string adUnitID = "ruzave-demo/banner";
        adserver::StandardAd ad = standardDemoAd();
        // The ad unit answered with a mediation response whose one network is the demo's custom event.
        std::string mediatedAdUnitID = "ruzave-demo/mediated";
        std::string customEventClassName = "DemoCustomEventBanner";
        // The ad unit answered with a native content ad (DemoNative).
        std::string nativeAdUnitID = "ruzave-demo/native";
    };

    // The banner the demo serves: a coloured 320x50 creative whose link goes through the ad server's
    // click URL, trackers on the ping host, a one-minute refresh.
    static adserver::StandardAd standardDemoAd();
    // The creative's background colour (#1a73e8), for the render check.
    static platform::Color creativeColor();
    // The mediation response: one custom event network running `className`.
    static std::string mediationJSON(const std::string& className);
    // Pings of the mediation defaults ("/imp", "/clk", "/nofill" on the ping host) and "/pagead/..." ones.
    static bool isPingPath(const std::string& path);

    // nullptr, with the reason in `why`, when the server cannot start.
    static std::unique_ptr<DemoServer> start(const Options& options, std::string* why = nullptr);
    ~DemoServer();

    // When the server's clock started: its log's times count from here.
    std::chrono::steady_clock::time_point startedAt() const { return startedAt_; }
    adserver::AdServer& server() { return *server_; }
    const adserver::AdServer& server() const { return *server_; }
    // The constants the core page pushes, as "name", "value".
    const std::vector<std::pair<std::string, std::string>>& constants() const { return constants_; }
    // The status of the last ad response served (0: none yet).
    int lastAdStatus() const { return lastAdStatus_->load(); }
    std::size_t adRequestCount() const;
    std::size_t mediationRequestCount() const;
    std::size_t corePageRequestCount() const;
    std::vector<adserver::Request> pings() const;

    DemoServer(const DemoServer&) = delete;
    DemoServer& operator=(const DemoServer&) = delete;

  private:
    DemoServer() = default;

    std::chrono::steady_clock::time_point startedAt_;
    std::unique_ptr<adserver::AdServer> server_;
    std::vector<std::pair<std::string, std::string>> constants_;
    // Shared with the route handler, which runs on the server's threads.
    std::shared_ptr<std::atomic<int>> lastAdStatus_ = std::make_shared<std::atomic<int>>(0);
};

} // namespace demo
