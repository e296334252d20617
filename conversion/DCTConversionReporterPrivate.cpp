#include "conversion/DCTConversionReporterPrivate.h"

#include "conversion/ACTEndpoints.h"

namespace ruzave {

std::shared_ptr<DCTConversionReporterPrivate> DCTConversionReporterPrivate::initWithConversionID(
    const std::string& conversionID, const std::optional<std::string>& value, bool isRepeatable) {
    auto reporter = std::make_shared<DCTConversionReporterPrivate>();
    if (!reporter->initialise(conversionID, std::nullopt, value, isRepeatable)) return nullptr;
    // A second-network ping never carries click data.
    reporter->setClickID(std::nullopt);
    reporter->setClickString(std::nullopt);
    return act_selfDelegating(reporter);
}

std::string DCTConversionReporterPrivate::deduplicationID() const {
    return "zedezerevar_conversion_ping:" + conversionID();
}

platform::Value DCTConversionReporterPrivate::queryParameters() {
    platform::Value p = ACTConversionReporterPrivate::queryParameters();
    p["xsp"] = conversionID();
    p["ait"] = 1;
    return p;
}

std::string DCTConversionReporterPrivate::reportingURLPrefix() {
    return ACTEndpoints::activityPrefix();
}

} // namespace ruzave
