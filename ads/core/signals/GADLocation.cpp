#include "ads/core/signals/GADLocation.h"

#include <cmath>
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

std::string GADLocation::locationDescription() const {
    if (description_) return *description_;
    if (isPreciseLocation()) {
        return platform::format("%f,%f", static_cast<double>(latitude_), static_cast<double>(longitude_));
    }
    return {};
}

platform::Value GADLocation::wireForm() const {
    platform::Value v = platform::Value::object();
    v["time"] = timestamp_ * 1000000.0;
    v["lat"] = static_cast<long long>(static_cast<double>(latitude_) * 10000000.0);
    v["long"] = static_cast<long long>(static_cast<double>(longitude_) * 10000000.0);
    v["radius"] = static_cast<double>(accuracy_) * 1000.0;
    return v;
}

std::optional<platform::Value> GADLocation::dictionaryRepresentation() {
    if (representation_) return representation_;
    if (!isPreciseLocation()) return std::nullopt;
    representation_ = wireForm();
    return representation_;
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

std::size_t GADLocation::hash() const {
    if (isPreciseLocation()) {
        // Equal locations may differ in time stamp; hash only what equality compares, rounded so that
        // values within the equality tolerance of the same float land alike.
        return std::hash<std::string>{}(platform::format("%.5f,%.5f,%.3f", static_cast<double>(latitude_),
                                                         static_cast<double>(longitude_),
                                                         static_cast<double>(accuracy_)));
    }
    return std::hash<std::string>{}(locationDescription());
}

std::shared_ptr<GADLocation> GADLocation::copy() const {
    std::shared_ptr<GADLocation> c(new GADLocation(*this));
    c->representation_.reset();
    return c;
}

} // namespace ruzave
