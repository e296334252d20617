#include "ads/mediation/GADCustomEventRequest.h"

#include "ads/mediation/GADCustomEventExtras.h"
#include "ads/mediation/GADMAdNetworkConnector.h"

namespace ruzave {

std::shared_ptr<GADCustomEventRequest> GADCustomEventRequest::initWithConnector(const GADMAdNetworkConnector& c) {
    std::shared_ptr<GADCustomEventRequest> r(new GADCustomEventRequest());
    r->userGender_ = c.userGender();
    r->userBirthday_ = c.userBirthday();
    r->userHasLocation_ = c.userHasLocation();
    r->userLatitude_ = c.userLatitude();
    r->userLongitude_ = c.userLongitude();
    r->userLocationAccuracyInMeters_ = c.userLocationAccuracyInMeters();
    r->userLocationDescription_ = c.userLocationDescription();
    r->userKeywords_ = c.userKeywords();
    r->isTesting_ = c.testMode();
    const platform::Value credentials = c.credentials();
    const std::string* label = credentials.is_object() ? platform::findString(credentials, "label") : nullptr;
    if (label) {
        if (auto extras = std::dynamic_pointer_cast<GADCustomEventExtras>(c.networkExtras()))
            r->additionalParameters_ = extras->extrasForLabel(*label);
    }
    return r;
}

} // namespace ruzave
