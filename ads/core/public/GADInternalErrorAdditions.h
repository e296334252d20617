#pragma once
// Errors of the SDK's internal domain: failures that never reach an app delegate directly. Any thread.
#include <optional>
#include <string>

#include "platform/base/Error.h"

namespace ruzave {

inline constexpr const char* kGADErrorDomain = "com.ruzave.ads";
inline constexpr const char* kGADInternalErrorDomain = "com.ruzave.ads.private";

// The user-info keys that carry an error's texts.
inline constexpr const char* kGADLocalizedDescriptionKey = "NSLocalizedDescription";
inline constexpr const char* kGADLocalizedFailureReasonErrorKey = "NSLocalizedFailureReason";
// The very key under which platform::Error::setUnderlying() keeps the cause.
inline constexpr const char* kGADUnderlyingErrorKey = platform::kUnderlyingErrorKey;

enum GADInternalErrorCode : long {
    GADInternalErrorFileUnreadable = 1,
    GADInternalErrorInternal = 2,
    GADInternalErrorInvalidArgument = 3,
};

// An error whose user info holds `description` under both text keys (no user info without one).
platform::Error gad_errorWithDomain(const std::string& domain, long code,
                                    const std::optional<std::string>& description);
// The same in the internal domain.
platform::Error gad_errorWithCode(long code, const std::optional<std::string>& description);
// The text of an internal code; nullopt for codes outside 1..3.
std::optional<std::string> gad_localizedDescriptionForErrorCode(long code);

} // namespace ruzave
