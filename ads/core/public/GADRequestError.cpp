#include "ads/core/public/GADRequestError.h"

#include "ads/core/public/GADRequest.h"
#include "ads/core/signals/GADDevice.h"
#include "platform/net/HTTPURLResponse.h"

namespace ruzave {

namespace {

const std::string& osTooLowText() {
    // Built once per process from the device's version text; empty when the version is unknown.
    static const std::string text = [] {
        const std::string version = GADDevice::sharedInstance()->systemVersion();
        if (version.empty()) return std::string();
        return "Request Error: This device's OS is " + version + ". It is below the minimum of 6.0.";
    }();
    return text;
}

} // namespace

std::string GADRequestError::defaultDescription(long code) {
    switch (code) {
    case GADRequestErrorNoFill: return "Request Error: No ad to show.";
    case GADRequestErrorNetworkError: return "Request Error: A network error occurred.";
    case GADRequestErrorServerError: return "Request Error: Server error processing the request.";
    case GADRequestErrorOSVersionTooLow:
        if (!osTooLowText().empty()) return osTooLowText();
        break;
    case GADRequestErrorTimeout:
        return "Request Error: The Ruzave Ad request was unable to be fulfilled before a timeout occurred.";
    case GADRequestErrorInterstitialAlreadyUsed:
        return "Request Error: Will not send request because interstitial object has been used.";
    case GADRequestErrorInvalidMediationResponse: return "Request Error: The mediation response was invalid.";
    case GADRequestErrorAdapterNotFound: return "Request Error: Cannot find an ad network adapter for mediation.";
    case GADRequestErrorMediationNoFill: return "Request Error: No ad to show from all configured ad networks.";
    case GADRequestErrorIncompatibleAdType: return "Request Error: Incompatible ad type requested.";
    case GADRequestErrorInternalError: return "Request Error: Internal error.";
    case GADRequestErrorInvalidArgument: return "Request Error: Invalid argument.";
    case GADRequestErrorInvalidResponse: return "Request Error: Received invalid response.";
    default: break;
    }
    return "Request Error: Invalid ad request parameter(s). Check the Xcode console for details.";
}

GADRequestError GADRequestError::initWithCode(long code, const std::shared_ptr<GADRequest>& request,
                                              int httpStatusCode, const std::optional<std::string>& customMessage,
                                              const std::optional<platform::Error>& underlyingError) {
    GADRequestError e;
    e.domain = kGADErrorDomain;
    e.code = code;
    e.description = customMessage ? *customMessage : defaultDescription(code);
    e.userInfo[kGADLocalizedDescriptionKey] = e.description;
    e.userInfo[kGADLocalizedFailureReasonErrorKey] = e.description;
    if (underlyingError) e.setUnderlying(*underlyingError);
    if (code == GADRequestErrorInvalidRequest && request) {
        const platform::Value params = request->parameters();
        if (params.is_object()) {
            for (const auto& [key, value] : params.items()) {
                // The standard entries stay what they are, whatever the parameters are called.
                if (!e.userInfo.contains(key)) e.userInfo[key] = value;
            }
        }
    }
    if (httpStatusCode >= 1) {
        e.userInfo[kGADHttpStatusKey] = "HTTP status " + std::to_string(httpStatusCode) + ": " +
                                        platform::HTTPURLResponse::localizedStringForStatusCode(httpStatusCode);
    }
    return e;
}

GADRequestError GADRequestError::initWithDomain(const std::string& domain, long code, const platform::Value& userInfo) {
    platform::Error foreign(domain, code);
    if (userInfo.is_object()) {
        foreign.userInfo = userInfo;
        if (const std::string* d = platform::findString(userInfo, kGADLocalizedDescriptionKey)) foreign.description = *d;
    }
    return initWithCode(GADRequestErrorInternalError, nullptr, 0, std::nullopt, foreign);
}

GADRequestError GADRequestError::errorWithCode(long code, const std::shared_ptr<GADRequest>& request,
                                               int httpStatusCode, const std::optional<std::string>& customMessage,
                                               const std::optional<platform::Error>& underlyingError) {
    return initWithCode(code, request, httpStatusCode, customMessage, underlyingError);
}

GADRequestError GADRequestError::errorWithCode(long code, const std::shared_ptr<GADRequest>& request,
                                               int httpStatusCode, const std::optional<std::string>& customMessage) {
    return initWithCode(code, request, httpStatusCode, customMessage, std::nullopt);
}

GADRequestError GADRequestError::errorWithCode(long code, const std::shared_ptr<GADRequest>& request,
                                               int httpStatusCode) {
    return initWithCode(code, request, httpStatusCode, std::nullopt, std::nullopt);
}

GADRequestError GADRequestError::errorWithCode(long code, const std::shared_ptr<GADRequest>& request) {
    return initWithCode(code, request, 0, std::nullopt, std::nullopt);
}

GADRequestError GADRequestError::errorWithCode(long code) {
    return initWithCode(code, nullptr, 0, std::nullopt, std::nullopt);
}

GADRequestError GADRequestError::errorWithCode(long code, const std::string& customMessage) {
    return initWithCode(code, nullptr, 0, customMessage, std::nullopt);
}

GADRequestError GADRequestError::errorWithCode(long code, const platform::Error& underlyingError) {
    return initWithCode(code, nullptr, 0, underlyingError.description, underlyingError);
}

} // namespace ruzave
