#include "ads/core/public/GADInternalErrorAdditions.h"

namespace ruzave {

platform::Error gad_errorWithDomain(const std::string& domain, long code,
                                    const std::optional<std::string>& description) {
    platform::Error e(domain, code);
    if (description) {
        e.description = *description;
        e.userInfo[kGADLocalizedDescriptionKey] = *description;
        e.userInfo[kGADLocalizedFailureReasonErrorKey] = *description;
    }
    return e;
}

platform::Error gad_errorWithCode(long code, const std::optional<std::string>& description) {
    return gad_errorWithDomain(kGADInternalErrorDomain, code, description);
}

std::optional<std::string> gad_localizedDescriptionForErrorCode(long code) {
    switch (code) {
    case GADInternalErrorFileUnreadable: return "File could not be read.";
    case GADInternalErrorInternal: return "Internal error.";
    case GADInternalErrorInvalidArgument: return "Invalid argument.";
    default: return std::nullopt;
    }
}

} // namespace ruzave
