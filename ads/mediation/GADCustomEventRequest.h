#pragma once
// The targeting a custom event gets: a snapshot of the connector's at the time of the request, with the
// publisher's extras for the custom event's label. Read-only. Main thread.
#include <memory>
#include <optional>
#include <string>

#include "platform/base/Value.h"

namespace ruzave {

class GADMAdNetworkConnector;

class GADCustomEventRequest {
  public:
    static std::shared_ptr<GADCustomEventRequest> initWithConnector(const GADMAdNetworkConnector& connector);

    int userGender() const { return userGender_; }
    const std::optional<double>& userBirthday() const { return userBirthday_; }
    bool userHasLocation() const { return userHasLocation_; }
    float userLatitude() const { return userLatitude_; }
    float userLongitude() const { return userLongitude_; }
    float userLocationAccuracyInMeters() const { return userLocationAccuracyInMeters_; }
    const std::optional<std::string>& userLocationDescription() const { return userLocationDescription_; }
    const std::optional<platform::Value>& userKeywords() const { return userKeywords_; }
    const std::optional<platform::Value>& additionalParameters() const { return additionalParameters_; }
    bool isTesting() const { return isTesting_; }

  private:
    GADCustomEventRequest() = default;
    int userGender_ = 0;
    std::optional<double> userBirthday_;
    bool userHasLocation_ = false;
    float userLatitude_ = 0, userLongitude_ = 0, userLocationAccuracyInMeters_ = 0;
    std::optional<std::string> userLocationDescription_;
    std::optional<platform::Value> userKeywords_;
    std::optional<platform::Value> additionalParameters_;
    bool isTesting_ = false;
};

} // namespace ruzave
