#pragma once
// The user location attached to a request: coordinates with an accuracy, or a free-text description.
// Immutable once made (apart from its time stamp); any thread.
#include <cstddef>
#include <memory>
#include <optional>
#include <string>

#include "platform/base/Value.h"

namespace ruzave {

class GADLocation {
public:
    // nullptr unless the coordinates are precise.
    static std::shared_ptr<GADLocation> initWithLatitude(float latitude, float longitude, float accuracy);
    // nullptr for an empty description.
    static std::shared_ptr<GADLocation> initWithLocationDescription(const std::string& description);

    float latitude() const { return latitude_; }
    float longitude() const { return longitude_; }
    float accuracy() const { return accuracy_; }
    double timestamp() const { return timestamp_; }
    void setTimestamp(double secondsSince1970) { timestamp_ = secondsSince1970; }

    bool isPreciseLocation() const;
    // The description, else "%f,%f" of a precise location, else "".
    std::string locationDescription() const;
    void setLocationDescription(const std::optional<std::string>& description) { description_ = description; }
    // The wire form ("time", "lat", "long", "radius"), made on first use; nullopt when not precise.
    std::optional<platform::Value> dictionaryRepresentation();
    void setDictionaryRepresentation(const std::optional<platform::Value>& v) { representation_ = v; }

    // The time stamp takes no part in equality or hash.
    bool isEqual(const GADLocation* other) const;
    std::size_t hash() const;
    std::shared_ptr<GADLocation> copy() const;

private:
    GADLocation() = default;
    static bool precise(float latitude, float longitude);
    platform::Value wireForm() const;

    float latitude_ = 0;
    float longitude_ = 0;
    float accuracy_ = 0;
    std::optional<std::string> description_;
    std::optional<platform::Value> representation_;
    double timestamp_ = 0;
};

} // namespace ruzave
