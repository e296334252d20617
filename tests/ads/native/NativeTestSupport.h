#pragma once
// Shared by the native ad tests: the local server with the SDK's hosts mapped to it and picture routes,
// and a recorder of asset-load outcomes. Main thread.
#include <doctest/doctest.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "ads/core/sdkcore/GADHosts.h"
#include "ads/core/slot/GADSlot.h"
#include "ads/render/GADAdView.h"
#include "platform/base/Error.h"
#include "platform/net/NetworkConfiguration.h"
#include "platform/testing/Harness.h"
#include "tools/adserver/AdServer.h"
#include "tools/adserver/NativeAds.h"

namespace nativetest {

inline constexpr const char* kImageHost = ruzave::GADHosts::kAdServerHost;

struct Server : platform::testing::Harness {
    std::unique_ptr<adserver::AdServer> server;
    Server() {
        adserver::Options options;
        options.hostNames = ruzave::GADHosts::allHosts();
        server = adserver::AdServer::start(options);
        REQUIRE(server != nullptr);
        auto config = platform::NetworkConfiguration::sharedInstance();
        config->reset();
        config->setTrustedCAFile(server->caFile());
        REQUIRE(config->setHostMappings(server->connectToSpec(443)));
        server->route("/img/red.png", adserver::Response::text(adserver::NativeAds::png(4, 2, 0xFF0000FF), "image/png"));
        server->route("/img/grey.jpg", adserver::Response::text(adserver::NativeAds::greyJPEG(), "image/jpeg"));
        server->route("/img/text.png", adserver::Response::text("not a picture", "image/png"));
        server->route("/img/empty.png", adserver::Response::text("", "image/png"));
        server->route("/img/missing.png", adserver::Response::text(adserver::NativeAds::png(1, 1, 0xFFFFFFFF),
                                                                   "image/png", 404));
    }
    ~Server() { platform::NetworkConfiguration::sharedInstance()->reset(); }
    static std::string url(const std::string& path) { return std::string("https://") + kImageHost + path; }
};

// A slot whose ad view holds a stand-in support page that keeps every click message in window.clicks.
inline std::shared_ptr<ruzave::GADSlot> recordingSlot(platform::testing::Harness& h) {
    auto slot = ruzave::GADSlot::init();
    auto adView = slot->adView();
    adView->loadHTMLString("<html><head><script>var ruzave={zudo:{nativeAds:{handleClickGmsg:function(m){"
                           "window.clicks=(window.clicks||[]);window.clicks.push(m);}}}};</script></head></html>",
                           platform::URL::parse("https://sdkcore.ruzave.example/"));
    REQUIRE(h.runUntil([&] { return !adView->isLoading() && adView->evaluate("typeof ruzave") == "object"; }));
    return slot;
}

// Outcomes of completion handlers that take an optional error.
struct Outcomes {
    std::vector<std::optional<platform::Error>> calls;
    auto handler() {
        return [this](const std::optional<platform::Error>& error) { calls.push_back(error); };
    }
};

} // namespace nativetest
