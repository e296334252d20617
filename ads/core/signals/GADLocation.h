#pragma once
// The user location attached to a request: coordinates with an accuracy, or a free-text description.
// Any thread: the fields that can change after it is made (description, time stamp, cached wire
// form) are kept under one lock.
#include <cstddef>
#include <memory>
#include <mutex>
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
    double timestamp() const;
    void setTimestamp(double secondsSince1970);

    bool isPreciseLocation() const;
    // The description, else "%f,%f" of a precise location, else "".
    std::string locationDescription() const;
    void setLocationDescription(const std::optional<std::string>& description);
    // The wire form ("time", "lat", "long", "radius"), made on first use; nullopt when not precise.
    std::optional<platform::Value> dictionaryRepresentation();
    void setDictionaryRepresentation(const std::optional<platform::Value>& v);

    // The time stamp takes no part in equality or hash. Equal locations always hash alike.
    bool isEqual(const GADLocation* other) const;
    std::size_t hash() const;
    std::shared_ptr<GADLocation> copy() const;

    GADLocation(const GADLocation&) = delete;
    GADLocation& operator=(const GADLocation&) = delete;

private:
    GADLocation() = default;
    static bool precise(float latitude, float longitude);

    // Fixed when made.
    float latitude_ = 0;
    float longitude_ = 0;
    float accuracy_ = 0;
    mutable std::mutex mutex_;
    // Under mutex_.
    std::optional<std::string> description_;
    std::optional<platform::Value> representation_;
    double timestamp_ = 0;
};

} // namespace ruzave
