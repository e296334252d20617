#include "conversion/ACTAutomatedUsageReporter.h"

#include "conversion/ACTAutomatedUsageReporterPrivate.h"

namespace ruzave {

ACTAutomatedUsageReporter::ACTAutomatedUsageReporter(std::shared_ptr<ACTAutomatedUsageReporterPrivate> reporter)
    : ACTReporter(reporter), usage_(std::move(reporter)) {}

std::shared_ptr<ACTAutomatedUsageReporter> ACTAutomatedUsageReporter::initWithConversionID(const std::string& conversionID) {
    return initWithReporter<ACTAutomatedUsageReporter, ACTAutomatedUsageReporterPrivate>(
        ACTAutomatedUsageReporterPrivate::initWithConversionID(conversionID));
}

double ACTAutomatedUsageReporter::timestamp() const {
    return usage_->timestamp();
}

void ACTAutomatedUsageReporter::setTimestamp(double timestamp) {
    usage_->setTimestamp(timestamp);
}

} // namespace ruzave
