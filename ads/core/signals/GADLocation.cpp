#include "ads/core/signals/GADLocation.h"

#include <bit>
#include <cmath>
#include <cstdint>
#include <functional>

#include "platform/base/Strings.h"
#include "platform/runloop/Clock.h"

namespace ruzave {

namespace {
constexpr float kEpsilon = 1.1920929e-7f;
} // namespace

bool GADLocation::precise(float latitude, float longitude) {
    const float la = std::fabs(latitude);
    const float lo = std::fabs(longitude);
    return la <= 90 && lo <= 180 && la > kEpsilon && lo > kEpsilon;
}

std::shared_ptr<GADLocation> GADLocation::initWithLatitude(float latitude, float longitude, float accuracy) {
    if (!precise(latitude, longitude)) return nullptr;
    std::shared_ptr<GADLocation> l(new GADLocation());
    l->latitude_ = latitude;
    l->longitude_ = longitude;
    l->accuracy_ = accuracy;
    l->timestamp_ = platform::Clock::wallTime();
    return l;
}

std::shared_ptr<GADLocation> GADLocation::initWithLocationDescription(const std::string& description) {
    if (description.empty()) return nullptr;
    std::shared_ptr<GADLocation> l(new GADLocation());
    l->description_ = description;
    l->timestamp_ = platform::Clock::wallTime();
    return l;
}

bool GADLocation::isPreciseLocation() const { return precise(latitude_, longitude_); }

double GADLocation::timestamp() const {
    std::lock_guard lock(mutex_);
    return timestamp_;
}

void GADLocation::setTimestamp(double secondsSince1970) {
    std::lock_guard lock(mutex_);
    timestamp_ = secondsSince1970;
}

std::string GADLocation::locationDescription() const {
    {
        std::lock_guard lock(mutex_);
        if (description_) return *description_;
    }
    if (isPreciseLocation()) {
        return platform::format("%f,%f", static_cast<double>(latitude_), static_cast<double>(longitude_));
    }
    return {};
}

void GADLocation::setLocationDescription(const std::optional<std::string>& description) {
    std::lock_guard lock(mutex_);
    description_ = description;
}

std::optional<platform::Value> GADLocation::dictionaryRepresentation() {
    std::lock_guard lock(mutex_);
    if (representation_) return representation_;
    if (!isPreciseLocation()) return std::nullopt;
    platform::Value v = platform::Value::object();
    v["time"] = timestamp_ * 1000000.0;
    v["lat"] = static_cast<long long>(static_cast<double>(latitude_) * 10000000.0);
    v["long"] = static_cast<long long>(static_cast<double>(longitude_) * 10000000.0);
    v["radius"] = static_cast<double>(accuracy_) * 1000.0;
    representation_ = std::move(v);
    return representation_;
}

void GADLocation::setDictionaryRepresentation(const std::optional<platform::Value>& v) {
    std::lock_guard lock(mutex_);
    representation_ = v;
}

bool GADLocation::isEqual(const GADLocation* other) const {
    if (other == this) return true;
    if (other == nullptr || other->isPreciseLocation() != isPreciseLocation()) return false;
    if (isPreciseLocation()) {
        return std::fabs(latitude_ - other->latitude_) < kEpsilon && std::fabs(longitude_ - other->longitude_) < kEpsilon &&
               std::fabs(accuracy_ - other->accuracy_) < kEpsilon;
    }
    return locationDescription() == other->locationDescription();
}

namespace {

// What a coordinate contributes to the hash. Equality lets values differ by less than kEpsilon, so
// the hash must be the same along every chain of such neighbours. Above 1 in size, neighbouring floats
// are kEpsilon or more apart, so only equal floats are equal and the value itself serves. From -1 to
// 1 floats lie closer than kEpsilon, which chains them all together: they share one key.
std::uint64_t hashKey(float value) {
    if (std::fabs(value) <= 1.0f) return std::uint64_t{1} << 32;
    return std::bit_cast<std::uint32_t>(value);
}

} // namespace

std::size_t GADLocation::hash() const {
    if (isPreciseLocation()) {
        std::size_t h = std::hash<std::uint64_t>{}(hashKey(latitude_));
        for (float v : {longitude_, accuracy_}) h = h * 1000003u ^ std::hash<std::uint64_t>{}(hashKey(v));
        return h;
    }
    return std::hash<std::string>{}(locationDescription());
}

std::shared_ptr<GADLocation> GADLocation::copy() const {
    std::shared_ptr<GADLocation> c(new GADLocation());
    c->latitude_ = latitude_;
    c->longitude_ = longitude_;
    c->accuracy_ = accuracy_;
    std::lock_guard lock(mutex_);
    c->description_ = description_;
    c->timestamp_ = timestamp_;
    return c;
}

} // namespace ruzave
