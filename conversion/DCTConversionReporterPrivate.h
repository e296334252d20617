#pragma once
// The second network's conversion reporter: no label, no click data, ";"-joined on the activity
// endpoint. Its once-only flag is "zedezerevar_conversion_ping:<identifier>". Same threads as its base.
#include "conversion/ACTConversionIDReporter.h"

namespace ruzave {

class DCTConversionReporterPrivate : public ACTConversionIDReporter {
public:
    static std::shared_ptr<DCTConversionReporterPrivate> initWithConversionID(const std::string& conversionID,
                                                                              const std::optional<std::string>& value,
                                                                              bool isRepeatable);

    const char* className() const override { return "DCTConversionReporterPrivate"; }
    std::string deduplicationID() const override;
    // "lat", "value", "xsp" (the identifier) and "ait" (1).
    platform::Value queryParameters() override;
    std::string queryParameterSeparator() override { return ";"; }
    std::string reportingURLPrefix() override;
    std::optional<std::string> automatedUsageConversionID() override { return std::nullopt; }
};

} // namespace ruzave
