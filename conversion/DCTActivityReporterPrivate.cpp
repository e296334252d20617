#include "conversion/DCTActivityReporterPrivate.h"

#include "conversion/ACTDevice.h"
#include "conversion/ACTEndpoints.h"

namespace ruzave {

std::shared_ptr<DCTActivityReporterPrivate> DCTActivityReporterPrivate::initWithRequest(const DCTActivityRequest& request) {
    if (!request.adUnitID() || request.adUnitID()->empty()) return nullptr;
    return act_selfDelegating(std::make_shared<DCTActivityReporterPrivate>(request));
}

std::optional<std::string> DCTActivityReporterPrivate::deviceToken(const platform::Value&) const {
    return ACTDevice::currentDevice()->deviceID();
}

platform::Value DCTActivityReporterPrivate::queryParameters() {
    platform::Value p = request_.customParameters();
    auto device = ACTDevice::currentDevice();
    p["dc_iu"] = request_.adUnitID().value_or("");
    if (request_.publisherProvidedID()) p["dc_ppid"] = *request_.publisherProvidedID();
    if (auto rdid = device->advertisingIdentifier()) p["dc_rdid"] = *rdid;
    p["dc_lat"] = device->isAdvertisingTrackingEnabled() ? "0" : "1";
    return p;
}

std::string DCTActivityReporterPrivate::reportingURLPrefix() {
    return ACTEndpoints::activityPrefix();
}

} // namespace ruzave
