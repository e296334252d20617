#pragma once
// The public automated usage reporter of a conversion identifier, with the usage interval's timestamp.
// Made by the usage tracker on its queue.
#include <memory>
#include <string>

#include "conversion/ACTReporter.h"

namespace ruzave {

class ACTAutomatedUsageReporterPrivate;

class ACTAutomatedUsageReporter : public ACTReporter {
public:
    // nullptr for an empty identifier.
    static std::shared_ptr<ACTAutomatedUsageReporter> initWithConversionID(const std::string& conversionID);

    double timestamp() const;
    void setTimestamp(double timestamp);

    explicit ACTAutomatedUsageReporter(std::shared_ptr<ACTAutomatedUsageReporterPrivate> reporter);

private:
    std::shared_ptr<ACTAutomatedUsageReporterPrivate> usage_;
};

} // namespace ruzave
