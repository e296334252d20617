#pragma once
// The SDK's built-in hosts, in one place: tests and the demo map these names to the local ad server
// with platform::NetworkConfiguration, so the SDK keeps its real https URLs. Constants; any thread.
#include <string>
#include <vector>

namespace ruzave {

class GADHosts {
public:
    // Serves the SDK-core page and the native ad support page.
    static constexpr const char* kSDKCoreHost = "sdkcore.ruzave.example";
    // Serves ads (the page builds ad URLs on it).
    static constexpr const char* kAdServerHost = "ads.ruzave.example";
    // Takes bad-ad reports and in-app-purchase reports.
    static constexpr const char* kReportHost = "report.ruzave.example";
    // Takes pings, timing reports and crash reports.
    static constexpr const char* kPingHost = "ping.ruzave.example";
    // Takes the automatic in-app-purchase conversion pings.
    static constexpr const char* kConversionHost = "www.ruzaveadservices.example";
    // The token service of signed-in ads (and the host of its display-ads scope).
    static constexpr const char* kTokenServiceHost = "accounts.ruzave.example";

    static constexpr const char* kSDKCorePagePath = "/mads/static/sdk/native/sdk-core-v40.html";

    // "https://<SDK-core host>/mads/static/sdk/native/sdk-core-v40.html"
    static std::string sdkCorePageURLString() { return std::string("https://") + kSDKCoreHost + kSDKCorePagePath; }
    // The hosts that get the access token when no whitelist has been pushed.
    static std::vector<std::string> defaultWhitelistedAdRequestDomains() { return {kAdServerHost}; }
    // Host suffixes of the ad servers, comma-separated, as the "as_domains" setting stores them.
    static std::string defaultAdServerDomains() { return ".ruzave.example"; }
    // Every built-in host, for the local server's certificate and the host map.
    static std::vector<std::string> allHosts() { return {kSDKCoreHost, kAdServerHost, kReportHost, kPingHost, kTokenServiceHost, kConversionHost}; }
};

} // namespace ruzave
