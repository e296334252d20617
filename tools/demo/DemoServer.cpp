#include "tools/demo/DemoServer.h"

#include "ads/core/sdkcore/GADHosts.h"
#include "platform/base/Value.h"
#include "platform/base/URL.h"
#include "platform/net/NetworkConfiguration.h"
#include "tools/adserver/ConversionEndpoints.h"
#include "tools/adserver/CorePage.h"
#include "tools/demo/DemoInterstitial.h"

namespace demo {

adserver::StandardAd DemoServer::standardDemoAd() {
    adserver::StandardAd ad;
    const std::string ping = std::string("https://") + ruzave::GADHosts::kPingHost;
    ad.impressionURLs = {ping + "/pagead/adview?ai=demo-1"};
    ad.clickURLs = {ping + "/pagead/aclk?ai=demo-1"};
    ad.refreshRate = "60";
    ad.adSize = "320x50";
    const std::string click = std::string("https://") + ruzave::GADHosts::kAdServerHost +
                              "/aclk?ai=demo-1&adurl=" + platform::percentEncode(kLandingURL);
    ad.html = "<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\"><title>banner</title></head>\n"
              "<body style=\"margin:0;background-color:#1a73e8\">\n"
              "<a id=\"cta\" href=\"" + click + "\" style=\"display:block;width:320px;height:50px;color:#ffffff\">"
              "Ruzave demo banner</a>\n"
              "</body></html>\n";
    return ad;
}

platform::Color DemoServer::creativeColor() {
    return platform::Color::rgba(0x1a / 255.0f, 0x73 / 255.0f, 0xe8 / 255.0f);
}

std::string DemoServer::mediationJSON(const std::string& className) {
    platform::Value network = {
        {"id", "demo-custom"},
        {"adapters", platform::Value::array({"GADMAdapterCustomEvents"})},
        {"data", {{"class_name", className}, {"label", "demo"}, {"parameter", "house-ad"}}},
    };
    // Named as the banner it fills (320x50), so the SDK need not guess the type and warn about it.
    platform::Value body = {
        {"ad_type", "banner"}, {"qdata", "demo-qdata"}, {"ad_networks", platform::Value::array({network})}};
    return platform::toJSON(body, false);
}

bool DemoServer::isPingPath(const std::string& path) {
    return adserver::isPingPath(path) || path == "/imp" || path == "/clk" || path == "/nofill";
}

std::unique_ptr<DemoServer> DemoServer::start(const Options& options, std::string* why) {
    std::unique_ptr<DemoServer> demo(new DemoServer());
    adserver::Options serverOptions;
    serverOptions.hostNames = ruzave::GADHosts::allHosts();
    for (const auto& host : adserver::ConversionEndpoints::hostNames()) serverOptions.hostNames.push_back(host);
    // The server counts its log's times from its own start, a little after this.
    demo->startedAt_ = std::chrono::steady_clock::now();
    demo->server_ = adserver::AdServer::start(serverOptions);
    if (!demo->server_) {
        if (why) *why = "the local ad server did not start";
        return nullptr;
    }
    adserver::AdServer& server = *demo->server_;

    adserver::CorePageScenario scenario;
    scenario.host = ruzave::GADHosts::kSDKCoreHost;
    scenario.path = ruzave::GADHosts::kSDKCorePagePath;
    scenario.adBase = std::string("https://") + ruzave::GADHosts::kAdServerHost;
    scenario.slots[options.adUnitID] = adserver::CorePageScenario::answer(adserver::CorePageScenario::Answer::AdURL);
    scenario.slots[DemoInterstitial::kAdUnitID] =
        adserver::CorePageScenario::answer(adserver::CorePageScenario::Answer::AdURL);
    auto mediated = adserver::CorePageScenario::answer(adserver::CorePageScenario::Answer::AdURL);
    // The core page adds the slot name and request id to it.
    mediated.url = std::string("https://") + ruzave::GADHosts::kAdServerHost + kMediationPath;
    scenario.slots[options.mediatedAdUnitID] = mediated;
    auto native = adserver::CorePageScenario::answer(adserver::CorePageScenario::Answer::AdURL);
    native.url = std::string("https://") + ruzave::GADHosts::kAdServerHost + kNativePath;
    scenario.slots[options.nativeAdUnitID] = native;
    // Unknown ad units are refused, so a wrong id shows up as such rather than as an ad.
    scenario.fallback = adserver::CorePageScenario::answer(adserver::CorePageScenario::Answer::Invalid);
    // The pinger's own defaults, so the demo changes nothing by pushing them.
    demo->constants_ = {{"ping_interval", "60"}, {"maximum_retry_url_count", "10"}, {"url_time_to_live", "3"}};
    scenario.constants = demo->constants_;
    if (adserver::corePageHTML(scenario).empty()) {
        if (why) *why = "the SDK-core page file could not be read";
        return nullptr;
    }
    adserver::installCorePage(server, scenario);

    adserver::Response ad = adserver::standardAdResponse(options.ad);
    auto status = demo->lastAdStatus_;
    server.routeHost(ruzave::GADHosts::kAdServerHost, kAdPath, [ad, status](const adserver::Request&) {
        status->store(ad.status);
        return ad;
    });
    server.routeHost(ruzave::GADHosts::kAdServerHost, kMediationPath,
                     [json = mediationJSON(options.customEventClassName)](const adserver::Request&) {
                         return adserver::Response::json(json).header("X-Zudo-Mediation", "1");
                     });
    adserver::installPingEndpoints(server);
    adserver::installConversionEndpoints(server);
    // The mediation pings' default templates.
    for (const char* path : {"/imp", "/clk", "/nofill"})
        server.routeHost(ruzave::GADHosts::kPingHost, path, [](const adserver::Request&) {
            return adserver::Response::html("", 200);
        });

    auto config = platform::NetworkConfiguration::sharedInstance();
    platform::Error error;
    if (!config->setHostMappings(server.connectToSpec(443), &error)) {
        if (why) *why = "the host map was refused: " + error.description;
        return nullptr;
    }
    config->setTrustedCAFile(server.caFile());
    return demo;
}

DemoServer::~DemoServer() {
    // The SDK must not reach a server that is gone through a stale map.
    if (server_) {
        auto config = platform::NetworkConfiguration::sharedInstance();
        config->removeAllHostMappings();
        config->setTrustedCAFile("");
    }
}

std::size_t DemoServer::adRequestCount() const {
    return server_->requestCount(kAdPath);
}

std::size_t DemoServer::mediationRequestCount() const {
    return server_->requestCount(kMediationPath);
}

std::size_t DemoServer::corePageRequestCount() const {
    return server_->requestCount(ruzave::GADHosts::kSDKCorePagePath);
}

std::vector<adserver::Request> DemoServer::pings() const {
    std::vector<adserver::Request> out;
    for (auto& request : server_->requests()) {
        if (isPingPath(request.path)) out.push_back(std::move(request));
    }
    return out;
}

} // namespace demo
