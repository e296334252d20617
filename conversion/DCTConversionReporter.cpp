#include "conversion/DCTConversionReporter.h"

#include "conversion/DCTConversionReporterPrivate.h"

namespace ruzave {

DCTConversionReporter::DCTConversionReporter(std::shared_ptr<DCTConversionReporterPrivate> reporter)
    : ACTReporter(reporter), conversion_(std::move(reporter)) {}

std::shared_ptr<DCTConversionReporter> DCTConversionReporter::initWithConversionID(
    const std::string& conversionID, const std::optional<std::string>& value, bool isRepeatable) {
    return initWithReporter<DCTConversionReporter, DCTConversionReporterPrivate>(
        DCTConversionReporterPrivate::initWithConversionID(conversionID, value, isRepeatable));
}

void DCTConversionReporter::reportWithConversionID(const std::string& conversionID,
                                                   const std::optional<std::string>& value, bool isRepeatable) {
    if (auto reporter = initWithConversionID(conversionID, value, isRepeatable)) reporter->report();
}

std::optional<std::string> DCTConversionReporter::value() const {
    return conversion_->value();
}

void DCTConversionReporter::setValue(std::optional<std::string> value) {
    conversion_->setValue(std::move(value));
}

} // namespace ruzave
