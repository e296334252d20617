#include "conversion/ACTRemarketingReporter.h"

#include "conversion/ACTRemarketingReporterPrivate.h"

namespace ruzave {

ACTRemarketingReporter::ACTRemarketingReporter(std::shared_ptr<ACTRemarketingReporterPrivate> reporter)
    : ACTReporter(std::move(reporter)) {}

std::shared_ptr<ACTRemarketingReporter> ACTRemarketingReporter::initWithConversionID(
    const std::string& conversionID, const platform::Value& customParameters) {
    return initWithReporter<ACTRemarketingReporter, ACTRemarketingReporterPrivate>(
        ACTRemarketingReporterPrivate::initWithConversionID(conversionID, customParameters));
}

void ACTRemarketingReporter::reportWithConversionID(const std::string& conversionID,
                                                    const platform::Value& customParameters) {
    if (auto reporter = initWithConversionID(conversionID, customParameters)) reporter->report();
}

} // namespace ruzave
