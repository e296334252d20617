#pragma once
// The remarketing reporter: a conversion identifier with custom parameters, never de-duplicated.
// Reports on the caller's thread.
#include "conversion/ACTAutomatedUsageReporting.h"
#include "conversion/ACTPingerDelegate.h"
#include "conversion/ACTReporterPrivate.h"
#include "conversion/ACTReportingInfoDelegate.h"

namespace ruzave {

class ACTRemarketingReporterPrivate : public ACTReporterPrivate,
                                      public ACTAutomatedUsageReporting,
                                      public ACTReportingInfoDelegate,
                                      public ACTPingerDelegate {
public:
    // nullptr for an empty identifier. Non-object parameters count as none.
    static std::shared_ptr<ACTRemarketingReporterPrivate> initWithConversionID(const std::string& conversionID,
                                                                               const platform::Value& customParameters);

    const char* className() const override { return "ACTRemarketingReporterPrivate"; }
    const std::string& conversionID() const { return conversionID_; }
    const platform::Value& parameters() const { return parameters_; }
    double timestamp() const { return timestamp_; }
    void setTimestamp(double t) { timestamp_ = t; }

    bool shouldReport() override { return true; }
    // "lat", "remarketing_only" (1), "usage_tracking_enabled" and "data.<key>" per custom parameter.
    platform::Value queryParameters() override;
    std::string queryParameterSeparator() override { return "&"; }
    std::string reportingURLPrefix() override;
    void pingDidSucceed(const std::shared_ptr<ACTPinger>&) override {}
    void ping(const std::shared_ptr<ACTPinger>&, const platform::Error&) override {}
    std::optional<std::string> automatedUsageConversionID() override { return conversionID_; }

    ACTRemarketingReporterPrivate() = default;

protected:
    bool initialise(const std::string& conversionID, const platform::Value& customParameters);

private:
    std::string conversionID_;
    platform::Value parameters_ = platform::Value::object();
    double timestamp_ = 0;
};

} // namespace ruzave
