#include "ads/core/signals/GADTokenCacheEntry.h"

#include <cmath>

namespace ruzave {
namespace {

std::optional<double> finiteNumber(const platform::Value& archive, const char* key) {
    const platform::Value* v = platform::find(archive, key);
    if (v == nullptr || !v->is_number()) return std::nullopt;
    double d = v->get<double>();
    if (!std::isfinite(d)) return std::nullopt;
    return d;
}

} // namespace

platform::Value GADTokenCacheEntry::encode() const {
    return platform::Value{{"token", token},
                           {"lastAccess", lastAccess},
                           {"expiration", expiration},
                           {"lifespanInSeconds", lifespanInSeconds}};
}

std::optional<GADTokenCacheEntry> GADTokenCacheEntry::decode(const platform::Value& archive) {
    if (!archive.is_object()) return std::nullopt;
    const std::string* token = platform::findString(archive, "token");
    auto lastAccess = finiteNumber(archive, "lastAccess");
    auto expiration = finiteNumber(archive, "expiration");
    auto lifespan = finiteNumber(archive, "lifespanInSeconds");
    if (token == nullptr || token->empty() || !lastAccess || !expiration || !lifespan || *lifespan <= 0)
        return std::nullopt;
    return GADTokenCacheEntry{*token, *lastAccess, *expiration, *lifespan};
}

} // namespace ruzave
