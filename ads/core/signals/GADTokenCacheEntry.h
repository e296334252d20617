#pragma once
// One cached access token: the token, when it was last handed out or received, when it stops being
// valid, and the lifespan it was granted. Dates are seconds since 1970. Plain value; any thread.
#include <optional>
#include <string>

#include "platform/base/Value.h"

namespace ruzave {

struct GADTokenCacheEntry {
    std::string token;
    double lastAccess = 0;
    double expiration = 0;
    double lifespanInSeconds = 0;

    // The keyed form: "token", "lastAccess", "expiration", "lifespanInSeconds".
    platform::Value encode() const;
    // nullopt unless the token is a non-empty string, the dates are numbers and the lifespan is a
    // finite positive number: an entry that could not have been stored is not taken back.
    static std::optional<GADTokenCacheEntry> decode(const platform::Value& archive);
};

} // namespace ruzave
