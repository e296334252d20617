#pragma once
// What a private reporter's report asks of its reporting-info delegate: whether to report, and the
// query, separator and URL prefix of its ping. Called on the reporting thread.
#include <string>

#include "platform/base/Value.h"

namespace ruzave {

class ACTReportingInfoDelegate {
public:
    virtual ~ACTReportingInfoDelegate() = default;
    virtual bool shouldReport() = 0;
    // An object of the kind's own parameters; they replace common ones of the same key.
    virtual platform::Value queryParameters() = 0;
    virtual std::string queryParameterSeparator() = 0;
    virtual std::string reportingURLPrefix() = 0;
};

} // namespace ruzave
