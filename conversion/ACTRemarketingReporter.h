#pragma once
// The public remarketing reporter: a conversion identifier with custom parameters. Caller's thread.
#include <memory>
#include <string>

#include "conversion/ACTReporter.h"
#include "platform/base/Value.h"

namespace ruzave {

class ACTRemarketingReporterPrivate;

class ACTRemarketingReporter : public ACTReporter {
public:
    // nullptr for an empty identifier.
    static std::shared_ptr<ACTRemarketingReporter> initWithConversionID(const std::string& conversionID,
                                                                        const platform::Value& customParameters);
    static void reportWithConversionID(const std::string& conversionID, const platform::Value& customParameters);

    explicit ACTRemarketingReporter(std::shared_ptr<ACTRemarketingReporterPrivate> reporter);
};

} // namespace ruzave
