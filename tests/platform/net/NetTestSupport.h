#pragma once
// Shared by the network tests: the local ad server reached through the host map, and a delegate that
// records what a connection tells it. Main thread only.
#include <doctest/doctest.h>
#include <sys/resource.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/net/NetworkConfiguration.h"
#include "platform/net/NetworkEngine.h"
#include "platform/net/Reachability.h"
#include "platform/net/URLProtocol.h"
#include "platform/net/URLConnection.h"
#include "platform/net/URLError.h"
#include "platform/testing/Harness.h"
#include "tools/adserver/AdServer.h"

namespace nettest {

// A phone's descriptor limit, set before the network engine first runs (it reads it then): the figures
// it runs by.
inline platform::NetworkEngine::Limits limitDescriptors(rlim_t limit) {
    rlimit descriptors{};
    REQUIRE(getrlimit(RLIMIT_NOFILE, &descriptors) == 0);
    REQUIRE(descriptors.rlim_max >= limit);
    descriptors.rlim_cur = limit;
    REQUIRE(setrlimit(RLIMIT_NOFILE, &descriptors) == 0);
    const platform::NetworkEngine::Limits limits = platform::NetworkEngine::shared().limits();
    REQUIRE(limits.descriptorLimit == limit);
    return limits;
}

inline const char* const AdsHost = "ads.ruzave.example";
inline const char* const OtherHost = "other.ruzave.example";

struct ServerFixture : platform::testing::Harness {
    std::unique_ptr<adserver::AdServer> server;

    ServerFixture() : ServerFixture(std::vector<std::string>{}) {}
    // Certifies and maps `moreHosts` too.
    explicit ServerFixture(const std::vector<std::string>& moreHosts) {
        adserver::Options options;
        options.hostNames = {AdsHost, OtherHost};
        options.hostNames.insert(options.hostNames.end(), moreHosts.begin(), moreHosts.end());
        server = adserver::AdServer::start(options);
        REQUIRE(server != nullptr);
        platform::Reachability::resetForTesting();
        platform::URLProtocol::unregisterAllClasses();
        auto config = platform::NetworkConfiguration::sharedInstance();
        config->reset();
        REQUIRE(config->setHostMappings(server->connectToSpec(443)));
        config->setTrustedCAFile(server->caFile());
    }

    static std::string url(const std::string& path, const std::string& host = AdsHost) {
        return "https://" + host + path;
    }
    static platform::URLRequest request(const std::string& path, const std::string& host = AdsHost) {
        auto r = platform::URLRequest::withURLString(url(path, host));
        REQUIRE(r.has_value());
        return *r;
    }
};

struct Recorder : platform::URLConnectionDelegate {
    using Conn = std::shared_ptr<platform::URLConnection>;

    std::vector<std::string> calls;
    std::vector<platform::URLRequest> asked;
    std::vector<std::optional<platform::HTTPURLResponse>> redirectResponses;
    std::optional<platform::HTTPURLResponse> response;
    std::string body;
    std::optional<platform::Error> error;
    int finishes = 0;
    int failures = 0;
    std::function<std::optional<platform::URLRequest>(const platform::URLRequest&,
                                                      const std::optional<platform::HTTPURLResponse>&)>
        onWillSend;
    std::function<void(const Conn&)> onResponse;
    std::function<void(const Conn&)> onData;

    std::optional<platform::URLRequest> willSendRequest(const Conn&, const platform::URLRequest& request,
                                                        const std::optional<platform::HTTPURLResponse>& redirect) override {
        calls.push_back(redirect ? "redirect " + std::to_string(redirect->statusCode()) : "request");
        asked.push_back(request);
        redirectResponses.push_back(redirect);
        if (onWillSend) return onWillSend(request, redirect);
        return request;
    }
    void didReceiveResponse(const Conn& c, const platform::HTTPURLResponse& r) override {
        calls.push_back("response " + std::to_string(r.statusCode()));
        response = r;
        if (onResponse) onResponse(c);
    }
    void didReceiveData(const Conn& c, const platform::Bytes& data) override {
        if (calls.empty() || calls.back() != "data") calls.push_back("data");
        body.append(data.begin(), data.end());
        if (onData) onData(c);
    }
    void didFinishLoading(const Conn&) override {
        calls.push_back("finish");
        ++finishes;
    }
    void didFailWithError(const Conn&, const platform::Error& e) override {
        calls.push_back("fail " + std::to_string(e.code));
        error = e;
        ++failures;
    }
    bool done() const { return finishes + failures > 0; }
};

// Runs the loop until the recorder ends and the engine has let go of every transfer, then a little
// more, so that a second ending would show.
inline bool runToEnd(platform::testing::Harness& h, const Recorder& r) {
    bool ended = h.runUntil([&] { return r.done() && platform::NetworkEngine::shared().activeTransferCount() == 0; });
    h.runUntilIdle();
    return ended;
}

} // namespace nettest
