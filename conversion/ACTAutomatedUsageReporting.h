#pragma once
// A reporter whose reports switch on automated usage reporting for a conversion identifier. Any thread.
#include <optional>
#include <string>

namespace ruzave {

class ACTAutomatedUsageReporting {
public:
    virtual ~ACTAutomatedUsageReporting() = default;
    // nullopt: this reporter switches nothing on.
    virtual std::optional<std::string> automatedUsageConversionID() = 0;
};

} // namespace ruzave
