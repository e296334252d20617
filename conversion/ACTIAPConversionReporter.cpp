#include "conversion/ACTIAPConversionReporter.h"

namespace ruzave {

std::shared_ptr<ACTIAPConversionReporter> ACTIAPConversionReporter::initWithProductID(
    const std::string& productID, const std::optional<std::string>& value, bool isRepeatable) {
    auto reporter = std::make_shared<ACTIAPConversionReporter>();
    if (productID.empty() || !reporter->initialise(value, productID, isRepeatable)) return nullptr;
    reporter->productID_ = productID;
    return act_selfDelegating(reporter);
}

std::string ACTIAPConversionReporter::deduplicationID() const {
    return "ruzave_iap_ping:" + productID_;
}

platform::Value ACTIAPConversionReporter::queryParameters() {
    platform::Value p = ACTConversionReporterPrivate::queryParameters();
    p["sku"] = productID_;
    return p;
}

} // namespace ruzave
