#include "conversion/ACTReporter.h"

#include "conversion/ACTApplication.h"
#include "conversion/ACTAutomatedUsageReporting.h"
#include "conversion/ACTAutomatedUsageTracker.h"
#include "conversion/ACTDevice.h"
#include "conversion/ACTLog.h"
#include "conversion/ACTReporterPrivate.h"
#include "platform/base/Strings.h"
#include "platform/runloop/DispatchQueue.h"

namespace ruzave {

std::shared_ptr<ACTReporter> ACTReporter::init() {
    ACTLog::logPublicMessage("Instantiate ACTReporter subclasses only.");
    return nullptr;
}

const std::string& ACTReporter::SDKVersion() {
    static const std::string version = platform::format("ct-sdk-i-v%d.%d.%d", 3, 1, 1);
    return version;
}

void ACTReporter::trackUsageWithReporter(const std::shared_ptr<ACTReporterPrivate>& reporter) {
    auto usage = std::dynamic_pointer_cast<ACTAutomatedUsageReporting>(reporter);
    if (!usage) return;
    auto conversionID = usage->automatedUsageConversionID();
    if (!conversionID) return;
    // Deferred, so that a report never waits for the tracker.
    platform::mainQueue()->async([id = *conversionID] {
        ACTApplication::sharedApplication()->automatedUsageTracker()->attemptToEnableAutomatedUsageReportingWithConversionID(id);
    });
}

bool ACTReporter::report() {
    if (!ACTDevice::currentDevice()->hasIDFA()) {
        ACTLog::logPublicMessage("not sending ping. The advertising identifier is not available for this device. "
                                 "This is expected for devices running < iOS 6.");
        return false;
    }
    return reporter_->report();
}

} // namespace ruzave
