#include "conversion/ACTAutomatedUsageReporterPrivate.h"

namespace ruzave {

std::shared_ptr<ACTAutomatedUsageReporterPrivate> ACTAutomatedUsageReporterPrivate::initWithConversionID(
    const std::string& conversionID) {
    auto reporter = std::make_shared<ACTAutomatedUsageReporterPrivate>();
    if (!reporter->initialise(conversionID, platform::Value::object())) return nullptr;
    return act_selfDelegating(reporter);
}

platform::Value ACTAutomatedUsageReporterPrivate::queryParameters() {
    platform::Value p = ACTRemarketingReporterPrivate::queryParameters();
    if (timestamp() != 0) p["timestamp"] = timestamp();
    p["auto"] = "1";
    p["usage_tracking_enabled"] = "1";
    p.erase("remarketing_only");
    return p;
}

} // namespace ruzave
