#pragma once
// The in-app browser tests: a shown MRAID banner whose clicks open landing pages served by the local
// ad server over HTTPS, under the landing host. Main thread.
#include <doctest/doctest.h>

#include <memory>
#include <string>

#include "ads/core/sdkcore/GADHosts.h"
#include "ads/render/GADBrowserViewController.h"
#include "platform/net/NetworkConfiguration.h"
#include "tests/ads/render/RenderFullScreenTestSupport.h"
#include "tools/adserver/AdServer.h"
#include "tools/adserver/LandingPages.h"

namespace browsertest {

inline constexpr const char* kLandingHost = "shop.ruzave.example";

struct LandingServer : fullscreentest::MRAIDBanner {
    LandingServer() {
        adserver::Options options;
        options.hostNames = ruzave::GADHosts::allHosts();
        options.hostNames.push_back(kLandingHost);
        server = adserver::AdServer::start(options);
        REQUIRE(server != nullptr);
        auto config = platform::NetworkConfiguration::sharedInstance();
        config->reset();
        config->setTrustedCAFile(server->caFile());
        REQUIRE(config->setHostMappings(server->connectToSpec(443)));
        adserver::installLandingPages(*server);
    }
    ~LandingServer() { platform::NetworkConfiguration::sharedInstance()->reset(); }

    static platform::URL landing(const std::string& pathAndQuery) {
        return *platform::URL::parse(std::string("https://") + kLandingHost + pathAndQuery);
    }
    // Opens `url` in the browser as an ad click would and waits until the browser is up.
    std::shared_ptr<ruzave::GADBrowserViewController> open(const platform::URL& url) {
        REQUIRE(opener->openBrowserToURL(url, 30));
        auto browser =
            std::dynamic_pointer_cast<ruzave::GADBrowserViewController>(root->presentedViewController());
        REQUIRE(browser);
        settle();
        return browser;
    }
    // Waits (real time: pages come over the network) until the browser rests on a page with `title`.
    bool shows(const std::shared_ptr<ruzave::GADBrowserViewController>& browser, const std::string& title) {
        return runUntil([&] {
            auto view = browser->adView();
            return view && !view->isLoading() && view->evaluate("document.title") == title;
        });
    }
    std::string title(const std::shared_ptr<ruzave::GADBrowserViewController>& browser) {
        return browser->adView()->evaluate("document.title");
    }
    std::optional<platform::Value> stat(const std::string& key) {
        return ad->statistics()->objectForKey(key);
    }

    std::unique_ptr<adserver::AdServer> server;
};

} // namespace browsertest
