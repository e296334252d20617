// package_app: loads one 320x50 banner through the installed SDK against the local ad server, prints
// each delegate call, where the SDK library was loaded from, and "package app: ok" or
// "package app: failed: <why>".
#include <cstdio>
#include <fstream>
#include <memory>
#include <string>

#include "ads/core/public/GADAdSize.h"
#include "ads/core/public/GADBannerView.h"
#include "ads/core/public/GADBannerViewDelegate.h"
#include "ads/core/public/GADRequest.h"
#include "ads/core/public/GADRequestError.h"
#include "ads/core/sdkcore/GADHosts.h"
#include "conversion/ACTConversionReporter.h"
#include "platform/net/NetworkConfiguration.h"
#include "platform/runloop/MainLoop.h"
#include "platform/ui/Application.h"
#include "platform/ui/ViewController.h"
#include "platform/ui/Window.h"
#include "tools/adserver/AdResponses.h"
#include "tools/adserver/AdServer.h"
#include "tools/adserver/CorePage.h"

namespace {

constexpr const char* kAdUnitID = "ruzave-package/banner";
constexpr const char* kAdPath = "/mads/gma";

class PrintingDelegate : public ruzave::GADBannerViewDelegate {
  public:
    void adViewDidReceiveAd(ruzave::GADBannerView&) override {
        std::puts("adViewDidReceiveAd");
        received = true;
    }
    void adViewDidFailToReceiveAdWithError(ruzave::GADBannerView&, const platform::Error& error) override {
        std::printf("adViewDidFailToReceiveAdWithError: %s\n", error.description.c_str());
        failed = true;
    }
    bool received = false;
    bool failed = false;
};

int failedWith(const std::string& why) {
    std::printf("package app: failed: %s\n", why.c_str());
    return 1;
}

// The file the dynamic loader mapped the SDK library from.
std::string sdkLibraryPath() {
    std::ifstream maps("/proc/self/maps");
    std::string line;
    while (std::getline(maps, line)) {
        auto at = line.find('/');
        if (at != std::string::npos && line.find("/libruzave_ads.so", at) != std::string::npos) return line.substr(at);
    }
    return "(not mapped)";
}

int run() {
    adserver::Options options;
    options.hostNames = ruzave::GADHosts::allHosts();
    auto server = adserver::AdServer::start(options);
    if (!server) return failedWith("the local ad server did not start");

    adserver::CorePageScenario scenario;
    scenario.host = ruzave::GADHosts::kSDKCoreHost;
    scenario.path = ruzave::GADHosts::kSDKCorePagePath;
    scenario.adBase = std::string("https://") + ruzave::GADHosts::kAdServerHost;
    scenario.slots[kAdUnitID] = adserver::CorePageScenario::answer(adserver::CorePageScenario::Answer::AdURL);
    scenario.fallback = adserver::CorePageScenario::answer(adserver::CorePageScenario::Answer::Invalid);
    if (adserver::corePageHTML(scenario).empty()) return failedWith("the SDK-core page file could not be read");
    adserver::installCorePage(*server, scenario);
    adserver::installStandardAd(*server, ruzave::GADHosts::kAdServerHost, kAdPath, adserver::StandardAd{});
    adserver::installPingEndpoints(*server);

    auto config = platform::NetworkConfiguration::sharedInstance();
    platform::Error error;
    if (!config->setHostMappings(server->connectToSpec(443), &error))
        return failedWith("the host map was refused: " + error.description);
    config->setTrustedCAFile(server->caFile());

    // The conversion library is there and usable from the package too.
    if (!ruzave::ACTConversionReporter::initWithConversionID("1234567890", std::string("package"), std::nullopt, false))
        return failedWith("no conversion reporter");

    auto application = platform::Application::sharedApplication();
    application->finishLaunching();
    application->becomeActive();
    auto window = platform::Window::create();
    auto root = platform::ViewController::create();
    window->setRootViewController(root);
    window->makeKeyAndVisible();

    auto delegate = std::make_shared<PrintingDelegate>();
    auto banner = ruzave::GADBannerView::initWithAdSize(ruzave::kGADAdSizeBanner, platform::Point{0, 20});
    if (!banner) return failedWith("the 320x50 banner view could not be made");
    std::printf("SDK library: %s\n", sdkLibraryPath().c_str());
    banner->setAdUnitID(kAdUnitID);
    banner->setRootViewController(root);
    banner->setDelegate(delegate);
    root->view()->addSubview(banner);
    banner->loadRequest(ruzave::GADRequest::request());

    auto& loop = platform::MainLoop::main();
    loop.runUntil([&] { return delegate->received || delegate->failed; }, 30.0);
    banner->setDelegate(std::weak_ptr<ruzave::GADBannerViewDelegate>());
    banner->removeFromSuperview();
    banner.reset();
    loop.runUntilIdle();
    config->removeAllHostMappings();
    config->setTrustedCAFile("");

    if (!delegate->received) return failedWith(delegate->failed ? "the ad was refused" : "no ad within 30 s");
    std::puts("package app: ok");
    return 0;
}

} // namespace

int main() {
    int status = run();
    std::fflush(stdout);
    return status;
}
