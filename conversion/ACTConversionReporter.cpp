#include "conversion/ACTConversionReporter.h"

#include "conversion/ACTClickURLReferrerAdditions.h"
#include "conversion/ACTConversionIDReporter.h"
#include "conversion/ACTIAPConversionReporter.h"

namespace ruzave {

ACTConversionReporter::ACTConversionReporter(std::shared_ptr<ACTConversionReporterPrivate> reporter)
    : ACTReporter(reporter), conversion_(std::move(reporter)) {}

std::shared_ptr<ACTConversionReporter> ACTConversionReporter::initWithConversionID(
    const std::string& conversionID, const std::optional<std::string>& label, const std::optional<std::string>& value,
    bool isRepeatable) {
    return initWithReporter<ACTConversionReporter, ACTConversionReporterPrivate>(
        ACTConversionIDReporter::initWithConversionID(conversionID, label, value, isRepeatable));
}

std::shared_ptr<ACTConversionReporter> ACTConversionReporter::initWithProductID(
    const std::string& productID, const std::optional<std::string>& value, bool isRepeatable) {
    return initWithReporter<ACTConversionReporter, ACTConversionReporterPrivate>(
        ACTIAPConversionReporter::initWithProductID(productID, value, isRepeatable));
}

void ACTConversionReporter::reportWithConversionID(const std::string& conversionID,
                                                   const std::optional<std::string>& label,
                                                   const std::optional<std::string>& value, bool isRepeatable) {
    if (auto reporter = initWithConversionID(conversionID, label, value, isRepeatable)) reporter->report();
}

void ACTConversionReporter::reportWithProductID(const std::string& productID, const std::optional<std::string>& value,
                                                bool isRepeatable) {
    if (auto reporter = initWithProductID(productID, value, isRepeatable)) reporter->report();
}

bool ACTConversionReporter::registerReferrer(const platform::URL& url) {
    return ACTConversionReporterPrivate::saveReferrerComponents(act_clickURLReferrerComponents(url));
}

std::optional<std::string> ACTConversionReporter::value() const {
    return conversion_->value();
}

void ACTConversionReporter::setValue(std::optional<std::string> value) {
    conversion_->setValue(std::move(value));
}

} // namespace ruzave
