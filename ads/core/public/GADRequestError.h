#pragma once
// The errors that the SDK reports to apps: the public domain, codes 0 to 13 with their default texts,
// and the user-info entries. Immutable values; any thread.
#include <memory>
#include <optional>
#include <string>

#include "ads/core/public/GADInternalErrorAdditions.h"
#include "platform/base/Error.h"

namespace ruzave {

class GADRequest;

enum GADRequestErrorCode : long {
    GADRequestErrorInvalidRequest = 0,
    GADRequestErrorNoFill = 1,
    GADRequestErrorNetworkError = 2,
    GADRequestErrorServerError = 3,
    GADRequestErrorOSVersionTooLow = 4,
    GADRequestErrorTimeout = 5,
    GADRequestErrorInterstitialAlreadyUsed = 6,
    GADRequestErrorInvalidMediationResponse = 7,
    GADRequestErrorAdapterNotFound = 8,
    GADRequestErrorMediationNoFill = 9,
    GADRequestErrorIncompatibleAdType = 10,
    GADRequestErrorInternalError = 11,
    GADRequestErrorInvalidArgument = 12,
    GADRequestErrorInvalidResponse = 13,
};

// The user-info key of the HTTP status text.
inline constexpr const char* kGADHttpStatusKey = "HttpStatus";

class GADRequestError : public platform::Error {
public:
    // The designated initialiser. `request` adds its parameters for code 0; `httpStatusCode` >= 1
    // adds "HttpStatus".
    static GADRequestError initWithCode(long code, const std::shared_ptr<GADRequest>& request,
                                        int httpStatusCode, const std::optional<std::string>& customMessage,
                                        const std::optional<platform::Error>& underlyingError);
    // A foreign error becomes code 11 in the public domain with the foreign error underneath.
    static GADRequestError initWithDomain(const std::string& domain, long code, const platform::Value& userInfo);

    static GADRequestError errorWithCode(long code, const std::shared_ptr<GADRequest>& request, int httpStatusCode,
                                         const std::optional<std::string>& customMessage,
                                         const std::optional<platform::Error>& underlyingError);
    static GADRequestError errorWithCode(long code, const std::shared_ptr<GADRequest>& request, int httpStatusCode,
                                         const std::optional<std::string>& customMessage);
    static GADRequestError errorWithCode(long code, const std::shared_ptr<GADRequest>& request, int httpStatusCode);
    static GADRequestError errorWithCode(long code, const std::shared_ptr<GADRequest>& request);
    static GADRequestError errorWithCode(long code);
    static GADRequestError errorWithCode(long code, const std::string& customMessage);
    // The custom message is the underlying error's description.
    static GADRequestError errorWithCode(long code, const platform::Error& underlyingError);

    // A plain error with the same domain, code and user info.
    platform::Error error() const { return platform::Error(*this); }

    // The default text of a code (code 0's text for unknown codes).
    static std::string defaultDescription(long code);

private:
    GADRequestError() = default;
};

} // namespace ruzave
