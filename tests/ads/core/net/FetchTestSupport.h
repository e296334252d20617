#pragma once
// Shared by the fetch tests: the local server with the SDK's hosts mapped to it, and recorders for the
// connection's and the fetcher's delegate calls. Main thread.
#include <doctest/doctest.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "ads/core/net/GADAdFetcher.h"
#include "ads/core/net/GADCachedURLResponse.h"
#include "ads/core/net/GADURLConnection.h"
#include "ads/core/net/GADURLConnectionDelegate.h"
#include "ads/core/sdkcore/GADHosts.h"
#include "ads/core/slot/GADAd.h"
#include "platform/net/NetworkConfiguration.h"
#include "platform/net/NetworkEngine.h"
#include "platform/net/URLRequest.h"
#include "platform/testing/Harness.h"
#include "tools/adserver/AdServer.h"

namespace fetchtest {

struct ServerFixture : platform::testing::Harness {
    std::unique_ptr<adserver::AdServer> server;

    ServerFixture() {
        adserver::Options options;
        options.hostNames = ruzave::GADHosts::allHosts();
        options.hostNames.push_back("elsewhere.example");
        server = adserver::AdServer::start(options);
        REQUIRE(server != nullptr);
        auto config = platform::NetworkConfiguration::sharedInstance();
        config->reset();
        REQUIRE(config->setHostMappings(server->connectToSpec(443)));
        config->setTrustedCAFile(server->caFile());
        ruzave::GADURLConnection::clearCache();
    }

    static std::string url(const std::string& path, const std::string& host = ruzave::GADHosts::kAdServerHost) {
        return "https://" + host + path;
    }
    static platform::URLRequest request(const std::string& path,
                                        const std::string& host = ruzave::GADHosts::kAdServerHost) {
        auto r = platform::URLRequest::withURLString(url(path, host));
        REQUIRE(r.has_value());
        return *r;
    }
    // Runs until `pred` holds, then drains what is ready so that a second call would show.
    bool settle(const std::function<bool()>& pred) {
        bool ok = runUntil([&] { return pred() && platform::NetworkEngine::shared().activeTransferCount() == 0; });
        runUntilIdle();
        return ok;
    }
};

struct ConnectionRecorder : ruzave::GADURLConnectionDelegate {
    std::vector<std::string> calls;
    std::optional<std::string> body;
    std::optional<platform::URL> baseURL;
    std::optional<platform::Error> error;
    long status = 0;
    bool useCache = false;
    std::optional<platform::Error> refuseRedirect;
    std::vector<platform::HTTPURLResponse> redirects;

    std::optional<platform::Error> connectionShouldRedirectToURL(ruzave::GADURLConnection&, const platform::URL& url) override {
        calls.push_back("should-redirect " + url.path());
        return refuseRedirect;
    }
    void connectionLoadDidReceiveRedirectResponse(ruzave::GADURLConnection&, const platform::HTTPURLResponse& r) override {
        calls.push_back("redirect " + std::to_string(r.statusCode()));
        redirects.push_back(r);
    }
    bool connectionLoadShouldUseCachedResponse(ruzave::GADURLConnection&, const platform::HTTPURLResponse& r) override {
        calls.push_back("response " + std::to_string(r.statusCode()));
        return useCache;
    }
    void connectionLoadDidReceiveCachedResponse(ruzave::GADURLConnection&,
                                                const std::shared_ptr<ruzave::GADCachedURLResponse>&) override {
        calls.push_back("cached");
    }
    void connectionLoadDidFinish(ruzave::GADURLConnection&, const std::optional<std::string>& b,
                                 const std::optional<platform::URL>& base) override {
        calls.push_back("finish");
        body = b;
        baseURL = base;
    }
    void connectionLoadDidFail(ruzave::GADURLConnection&, const std::optional<platform::Error>& e, long s) override {
        calls.push_back("fail " + std::to_string(s));
        error = e;
        status = s;
    }
    bool done() const { return !calls.empty() && (calls.back() == "finish" || calls.back().rfind("fail", 0) == 0); }
};

struct FetchRecorder : ruzave::GADAdFetcherDelegate {
    int fetched = 0;
    int failed = 0;
    std::shared_ptr<ruzave::GADAd> ad;
    std::optional<platform::Error> error;
    long responseCode = 0;

    void adFetcher(ruzave::GADAdFetcher&, const std::shared_ptr<ruzave::GADAd>& a) override {
        ++fetched;
        ad = a;
    }
    void adFetcher(ruzave::GADAdFetcher&, const std::shared_ptr<ruzave::GADAd>& a, const platform::Error& e,
                   long code) override {
        ++failed;
        ad = a;
        error = e;
        responseCode = code;
    }
    int calls() const { return fetched + failed; }
};

} // namespace fetchtest
