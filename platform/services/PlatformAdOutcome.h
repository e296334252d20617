#pragma once
// What the platform's ad network answers to one load of a banner or interstitial, as tests script it:
// an ad or an error, after a delay of virtual seconds. Any thread (a plain value).
#include "platform/base/Error.h"

namespace platform {

struct PlatformAdOutcome {
    static constexpr const char* errorDomain = "PlatformAdErrorDomain";
    enum ErrorCode { Unknown = 0, ServerFailure = 1, LoadingThrottled = 2, InventoryUnavailable = 3,
                     ConfigurationError = 4, BannerVisibleWithoutContent = 5, ApplicationInactive = 6,
                     AdUnloaded = 7 };

    bool loads = true;
    Error error;
    double delay = 0;

    static PlatformAdOutcome loaded(double delay = 0) { return {true, Error(), delay}; }
    static PlatformAdOutcome failed(long code, double delay = 0) {
        return {false, Error(errorDomain, code, code == InventoryUnavailable ? "Ad inventory unavailable" : "Ad failed"),
                delay};
    }
};

} // namespace platform
