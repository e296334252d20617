#include "conversion/ACTRemarketingReporterPrivate.h"

#include "conversion/ACTAutomatedUsageTracker.h"
#include "conversion/ACTDevice.h"
#include "conversion/ACTEndpoints.h"
#include "conversion/ACTEscapeAdditions.h"
#include "conversion/ACTQueryParametersAdditions.h"

namespace ruzave {

std::shared_ptr<ACTRemarketingReporterPrivate> ACTRemarketingReporterPrivate::initWithConversionID(
    const std::string& conversionID, const platform::Value& customParameters) {
    auto reporter = std::make_shared<ACTRemarketingReporterPrivate>();
    if (!reporter->initialise(conversionID, customParameters)) return nullptr;
    return act_selfDelegating(reporter);
}

bool ACTRemarketingReporterPrivate::initialise(const std::string& conversionID, const platform::Value& customParameters) {
    if (conversionID.empty()) return false;
    conversionID_ = conversionID;
    parameters_ = customParameters.is_object() ? customParameters : platform::Value::object();
    return true;
}

platform::Value ACTRemarketingReporterPrivate::queryParameters() {
    platform::Value p = platform::Value::object();
    p["lat"] = ACTDevice::currentDevice()->isAdvertisingTrackingEnabled() ? "0" : "1";
    p["remarketing_only"] = 1;
    p["usage_tracking_enabled"] =
        ACTAutomatedUsageTracker::automatedUsageReportingIsDisabledForConversionID(conversionID_) ? "0" : "1";
    const platform::Value data = act_formattedSmartPixelDataDictionary(parameters_);
    for (auto it = data.begin(); it != data.end(); ++it) p[it.key()] = it.value();
    return p;
}

std::string ACTRemarketingReporterPrivate::reportingURLPrefix() {
    return std::string(ACTEndpoints::kConversionBaseURL) + "/" + ACTPercentEscapedStringOrEmpty(conversionID_) + "/?";
}

} // namespace ruzave
