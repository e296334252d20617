#pragma once
// Reports uncaught exceptions of the SDK through the pinger. Not built into this SDK yet: the start-up
// enables it through this interface, and enabling does nothing. Any thread.
#include <memory>

namespace ruzave {

class GADCrashReporter {
public:
    static std::shared_ptr<GADCrashReporter> sharedInstance();
    void enableReporting() {}
    bool isReportingEnabled() const { return false; }

private:
    GADCrashReporter() = default;
};

} // namespace ruzave
