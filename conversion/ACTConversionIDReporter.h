#pragma once
// The conversion reporter of a conversion identifier and label: the app's launch conversion. Its
// once-only flag is "ruzave_conversion_ping:<label>" (per label, whatever the identifier).
// Same threads as its base.
#include "conversion/ACTAutomatedUsageReporting.h"
#include "conversion/ACTConversionReporterPrivate.h"

namespace ruzave {

class ACTConversionIDReporter : public ACTConversionReporterPrivate, public ACTAutomatedUsageReporting {
public:
    // nullptr for an empty identifier. No label (nullopt) is treated as the empty label: the flag is
    // "ruzave_conversion_ping:" and the URL has no "label".
    static std::shared_ptr<ACTConversionIDReporter> initWithConversionID(const std::string& conversionID,
                                                                         const std::optional<std::string>& label,
                                                                         const std::optional<std::string>& value,
                                                                         bool isRepeatable);

    const char* className() const override { return "ACTConversionIDReporter"; }
    const std::string& conversionID() const { return conversionID_; }
    const std::optional<std::string>& label() const { return label_; }

    std::string deduplicationID() const override;
    // The conversion's, then "usage_tracking_enabled" and "label".
    platform::Value queryParameters() override;
    // "<base>/<escaped identifier>/?"
    std::string reportingURLPrefix() override;
    std::optional<std::string> automatedUsageConversionID() override { return conversionID_; }

    ACTConversionIDReporter() = default;

protected:
    bool initialise(const std::string& conversionID, const std::optional<std::string>& label,
                    const std::optional<std::string>& value, bool isRepeatable);

private:
    std::string conversionID_;
    std::optional<std::string> label_;
};

} // namespace ruzave
