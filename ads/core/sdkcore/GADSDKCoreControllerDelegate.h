#pragma once
// A requester of an ad URL from the SDK core (the slot, the reward-based video ad, the mediation URL
// adapter). setRequestID() and requestParameters() are called on the controller's queue; every other
// call comes on the main thread, and each request gets at most one of the four answers (exactly one
// while the requester is still waiting for it).
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "platform/base/Value.h"

namespace ruzave {

class GADAd;

class GADSDKCoreControllerDelegate {
public:
    virtual ~GADSDKCoreControllerDelegate() = default;
    // The request-parameter dictionary; nullopt for none (the request is then refused).
    virtual std::optional<platform::Value> requestParameters() = 0;
    // 0 a plain ad, 1 a banner, 2 an interstitial.
    virtual std::int32_t requestedAdType() = 0;
    virtual void setRequestID(const std::string& requestID) = 0;
    virtual void loadAdURLWithParameters(const platform::Value& parameters) = 0;
    virtual void loadAd(const std::shared_ptr<GADAd>& ad, const std::optional<platform::Value>& headers) = 0;
    virtual void invalidJavaScriptRequest() = 0;
    virtual void failedJavaScriptFile() = 0;
    virtual std::int32_t CSIIdentifier() = 0;
    // Main thread, before any answer to a request that was sent: false drops the answer. A requester
    // that has started over answers false for its earlier ids, so a late answer cannot end a newer one.
    virtual bool isWaitingForRequestID(const std::string& requestID) {
        (void)requestID;
        return true;
    }
};

} // namespace ruzave
