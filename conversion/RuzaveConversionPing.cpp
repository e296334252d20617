#include "conversion/RuzaveConversionPing.h"

#include "conversion/ACTConversionReporter.h"
#include "conversion/ACTRemarketingReporter.h"
#include "conversion/DCTConversionReporter.h"

namespace ruzave {

void RuzaveConversionPing::pingWithConversionId(const std::string& conversionID, const std::optional<std::string>& label,
                                                const std::optional<std::string>& value, bool isRepeatable) {
    ACTConversionReporter::reportWithConversionID(conversionID, label, value, isRepeatable);
}

void RuzaveConversionPing::pingWithConversionId(const std::string& conversionID, const std::optional<std::string>& label,
                                                const std::optional<std::string>& value, bool isRepeatable, bool) {
    pingWithConversionId(conversionID, label, value, isRepeatable);
}

void RuzaveConversionPing::pingWithConversionId(const std::string& conversionID, std::int32_t type,
                                                const std::optional<std::string>& label,
                                                const std::optional<std::string>& value, bool isRepeatable) {
    if (type == 0) {
        ACTConversionReporter::reportWithConversionID(conversionID, label, value, isRepeatable);
    } else if (type == 1) {
        DCTConversionReporter::reportWithConversionID(conversionID, value, isRepeatable);
    }
}

void RuzaveConversionPing::pingRemarketingWithConversionId(const std::string& conversionID,
                                                           const std::optional<std::string>&,
                                                           const std::optional<std::string>& screenName,
                                                           const platform::Value& customParameters) {
    platform::Value parameters = customParameters.is_object() ? customParameters : platform::Value::object();
    if (screenName && !screenName->empty()) parameters["screen_name"] = *screenName;
    ACTRemarketingReporter::reportWithConversionID(conversionID, parameters);
}

bool RuzaveConversionPing::registerReferrer(const platform::URL& url) {
    return ACTConversionReporter::registerReferrer(url);
}

const std::string& RuzaveConversionPing::sdkVersion() {
    return ACTReporter::SDKVersion();
}

} // namespace ruzave
