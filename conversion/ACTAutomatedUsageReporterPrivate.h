#pragma once
// The automated usage reporter: the remarketing ping of a conversion identifier marked "auto", with the
// usage interval's timestamp. Reports on the caller's thread.
#include "conversion/ACTRemarketingReporterPrivate.h"

namespace ruzave {

class ACTAutomatedUsageReporterPrivate : public ACTRemarketingReporterPrivate {
public:
    static std::shared_ptr<ACTAutomatedUsageReporterPrivate> initWithConversionID(const std::string& conversionID);

    const char* className() const override { return "ACTAutomatedUsageReporterPrivate"; }
    // The remarketing ones without "remarketing_only", with "timestamp" (when set), "auto" and
    // "usage_tracking_enabled" "1".
    platform::Value queryParameters() override;
};

} // namespace ruzave
