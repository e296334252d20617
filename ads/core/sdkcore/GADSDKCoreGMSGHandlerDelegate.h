#pragma once
// What the SDK-core page's answers are handed to (the SDK core controller). Called on the main thread.
#include <string>

#include "platform/base/Value.h"

namespace ruzave {

class GADSDKCoreGMSGHandler;

class GADSDKCoreGMSGHandlerDelegate {
public:
    virtual ~GADSDKCoreGMSGHandlerDelegate() = default;
    virtual void SDKCoreGMSGHandlerLoadAdURLWithRequestIDParameters(GADSDKCoreGMSGHandler& handler,
                                                                     const std::string& requestID,
                                                                     const platform::Value& parameters) = 0;
    // `parameters` is the decoded "fetched_ad" object.
    virtual void SDKCoreGMSGHandlerLoadAdWithRequestIDParameters(GADSDKCoreGMSGHandler& handler,
                                                                  const std::string& requestID,
                                                                  const platform::Value& parameters) = 0;
    virtual void SDKCoreGMSGHandlerDidReceiveInvalidAdWithRequestIDParameters(GADSDKCoreGMSGHandler& handler,
                                                                               const std::string& requestID,
                                                                               const platform::Value& parameters) = 0;
    virtual void SDKCoreGMSGHandlerDidLoadSDKConstants(GADSDKCoreGMSGHandler& handler,
                                                       const platform::Value& parameters) = 0;
    virtual void SDKCoreGMSGHandlerDidReceiveSDKCoreUpdateNotification(GADSDKCoreGMSGHandler& handler) = 0;
};

} // namespace ruzave
