#include "conversion/DCTActivityReporter.h"

#include "conversion/DCTActivityReporterPrivate.h"

namespace ruzave {

DCTActivityReporter::DCTActivityReporter(std::shared_ptr<DCTActivityReporterPrivate> reporter)
    : ACTReporter(std::move(reporter)) {}

std::shared_ptr<DCTActivityReporter> DCTActivityReporter::initWithAdUnitID(
    const std::optional<std::string>& adUnitID, const std::optional<std::string>& publisherProvidedID,
    const platform::Value& customParameters) {
    return initWithReporter<DCTActivityReporter, DCTActivityReporterPrivate>(DCTActivityReporterPrivate::initWithRequest(
        DCTActivityRequest::requestWithAdUnitID(adUnitID, publisherProvidedID, customParameters)));
}

void DCTActivityReporter::reportWithAdUnitID(const std::optional<std::string>& adUnitID,
                                             const std::optional<std::string>& publisherProvidedID,
                                             const platform::Value& customParameters) {
    if (auto reporter = initWithAdUnitID(adUnitID, publisherProvidedID, customParameters)) reporter->report();
}

} // namespace ruzave
