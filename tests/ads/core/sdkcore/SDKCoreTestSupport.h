#pragma once
// Shared by the SDK-core tests: the local server with the core page and the SDK's hosts mapped to it,
// a recording requester, and a pump that lets the page's timers run on virtual time. Main thread.
#include <doctest/doctest.h>

#include <chrono>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "ads/core/sdkcore/GADHosts.h"
#include "ads/core/sdkcore/GADSDKCoreControllerDelegate.h"
#include "platform/base/Value.h"
#include "platform/net/NetworkConfiguration.h"
#include "platform/net/NetworkEngine.h"
#include "platform/runloop/DispatchQueue.h"
#include "platform/testing/Harness.h"
#include "tools/adserver/AdServer.h"
#include "tools/adserver/CorePage.h"

namespace sdkcoretest {

inline std::unique_ptr<adserver::AdServer> startCoreServer(const adserver::CorePageScenario& scenario = {}) {
    adserver::Options options;
    options.hostNames = ruzave::GADHosts::allHosts();
    auto server = adserver::AdServer::start(options);
    REQUIRE(server != nullptr);
    auto config = platform::NetworkConfiguration::sharedInstance();
    config->setTrustedCAFile(server->caFile());
    REQUIRE(config->setHostMappings(server->connectToSpec(443)));
    adserver::installCorePage(*server, scenario);
    return server;
}

inline std::size_t pageLoads(const adserver::AdServer& server) {
    return server.requestCount(ruzave::GADHosts::kSDKCorePagePath);
}

// Runs the main loop until `pred` holds, nudging virtual time so that the page's short timers fire.
template <class Pred>
bool pump(platform::testing::Harness& h, Pred pred, double realSeconds = 10.0) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(realSeconds);
    while (!pred()) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        h.runUntil(pred, 0.01);
        if (pred()) break;
        h.advance(0.002);
    }
    return true;
}

// Lets what the page or a message set going settle, in `rounds` steps of `step` seconds of virtual
// time: each step first waits (bounded) for the work handed to other queues and to the network, and runs
// what that work posted back, so that nothing depends on how fast the machine is.
inline void settle(platform::testing::Harness& h, int rounds = 15, double step = 0.1) {
    for (int i = 0; i < rounds; ++i) {
        h.runUntil([] {
            return platform::DispatchQueue::backgroundBlockCount() == 0 &&
                   platform::NetworkEngine::shared().activeTransferCount() == 0;
        });
        h.runUntilIdle();
        h.advance(step);
    }
}

class Requester : public ruzave::GADSDKCoreControllerDelegate {
public:
    explicit Requester(std::string slotname = "unit-a") {
        parameters_ = platform::Value::object();
        parameters_["slotname"] = std::move(slotname);
    }
    std::optional<platform::Value> requestParameters() override {
        std::lock_guard lock(mutex_);
        if (nilParameters_) return std::nullopt;
        // As the slot does: the request id given just before goes into the parameters.
        platform::Value p = parameters_;
        if (!requestIDs_.empty()) p["request_id"] = requestIDs_.back();
        return p;
    }
    std::int32_t requestedAdType() override { return 1; }
    void setRequestID(const std::string& requestID) override {
        std::lock_guard lock(mutex_);
        requestIDs_.push_back(requestID);
    }
    void loadAdURLWithParameters(const platform::Value& parameters) override {
        answers.push_back("loadAdURL");
        adURLParameters = parameters;
    }
    void loadAd(const std::shared_ptr<ruzave::GADAd>& ad, const std::optional<platform::Value>&) override {
        answers.push_back("loadAd");
        lastAd = ad;
    }
    void invalidJavaScriptRequest() override { answers.push_back("invalid"); }
    void failedJavaScriptFile() override { answers.push_back("failed"); }
    std::int32_t CSIIdentifier() override { return 7; }
    bool isWaitingForRequestID(const std::string& requestID) override {
        askedWaiting.push_back(requestID);
        return waiting;
    }

    void setParameter(const std::string& key, platform::Value value) {
        std::lock_guard lock(mutex_);
        parameters_[key] = std::move(value);
    }
    void setNilParameters() {
        std::lock_guard lock(mutex_);
        nilParameters_ = true;
    }
    std::vector<std::string> requestIDs() const {
        std::lock_guard lock(mutex_);
        return requestIDs_;
    }

    std::vector<std::string> answers;  // main thread
    bool waiting = true;                // main thread: whether answers are still wanted
    std::vector<std::string> askedWaiting;
    platform::Value adURLParameters;
    std::shared_ptr<ruzave::GADAd> lastAd;

private:
    mutable std::mutex mutex_;
    platform::Value parameters_;
    bool nilParameters_ = false;
    std::vector<std::string> requestIDs_;
};

} // namespace sdkcoretest
