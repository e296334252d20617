#include "conversion/ACTConversionIDReporter.h"

#include "conversion/ACTAutomatedUsageTracker.h"
#include "conversion/ACTEndpoints.h"
#include "conversion/ACTEscapeAdditions.h"

namespace ruzave {

std::shared_ptr<ACTConversionIDReporter> ACTConversionIDReporter::initWithConversionID(
    const std::string& conversionID, const std::optional<std::string>& label, const std::optional<std::string>& value,
    bool isRepeatable) {
    auto reporter = std::make_shared<ACTConversionIDReporter>();
    if (!reporter->initialise(conversionID, label, value, isRepeatable)) return nullptr;
    return act_selfDelegating(reporter);
}

bool ACTConversionIDReporter::initialise(const std::string& conversionID, const std::optional<std::string>& label,
                                         const std::optional<std::string>& value, bool isRepeatable) {
    if (conversionID.empty()) return false;
    if (!ACTConversionReporterPrivate::initialise(value, conversionID, isRepeatable)) return false;
    conversionID_ = conversionID;
    label_ = label;
    return true;
}

std::string ACTConversionIDReporter::deduplicationID() const {
    return "ruzave_conversion_ping:" + label_.value_or("");
}

platform::Value ACTConversionIDReporter::queryParameters() {
    platform::Value p = ACTConversionReporterPrivate::queryParameters();
    p["usage_tracking_enabled"] =
        ACTAutomatedUsageTracker::automatedUsageReportingIsDisabledForConversionID(conversionID_) ? "0" : "1";
    if (label_) p["label"] = *label_;
    return p;
}

std::string ACTConversionIDReporter::reportingURLPrefix() {
    return std::string(ACTEndpoints::kConversionBaseURL) + "/" + ACTPercentEscapedStringOrEmpty(conversionID_) + "/?";
}

} // namespace ruzave
