#pragma once
// The conversion reporter of an in-app purchase, by product identifier. Its once-only flag is
// "ruzave_iap_ping:<product>". Same threads as its base.
#include "conversion/ACTConversionReporterPrivate.h"

namespace ruzave {

class ACTIAPConversionReporter : public ACTConversionReporterPrivate {
public:
    // nullptr for an empty product identifier.
    static std::shared_ptr<ACTIAPConversionReporter> initWithProductID(const std::string& productID,
                                                                       const std::optional<std::string>& value,
                                                                       bool isRepeatable);

    const char* className() const override { return "ACTIAPConversionReporter"; }
    const std::string& productID() const { return productID_; }
    std::string deduplicationID() const override;
    // The conversion's and "sku".
    platform::Value queryParameters() override;

private:
    std::string productID_;
};

} // namespace ruzave
