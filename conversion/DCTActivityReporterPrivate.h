#pragma once
// The second network's activity reporter: the request's custom parameters and "dc_" facts, ";"-joined
// on the activity endpoint, with no common parameters. Reports on the caller's thread.
#include "conversion/ACTReporterPrivate.h"
#include "conversion/ACTReportingInfoDelegate.h"
#include "conversion/DCTActivityRequest.h"

namespace ruzave {

class DCTActivityReporterPrivate : public ACTReporterPrivate, public ACTReportingInfoDelegate {
public:
    // nullptr for a request without an ad unit, which has no query to build.
    static std::shared_ptr<DCTActivityReporterPrivate> initWithRequest(const DCTActivityRequest& request);

    const char* className() const override { return "DCTActivityReporterPrivate"; }
    const DCTActivityRequest& request() const { return request_; }

    // Empty: the activity ping carries none.
    std::optional<platform::Value> commonQueryParameters() const override { return platform::Value::object(); }
    bool shouldReport() override { return true; }
    platform::Value queryParameters() override;
    std::string queryParameterSeparator() override { return ";"; }
    std::string reportingURLPrefix() override;

    explicit DCTActivityReporterPrivate(DCTActivityRequest request) : request_(std::move(request)) {}

protected:
    // The device token, since there are no common parameters to take it from.
    std::optional<std::string> deviceToken(const platform::Value& common) const override;

private:
    DCTActivityRequest request_;
};

} // namespace ruzave
