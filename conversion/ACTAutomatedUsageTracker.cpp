#include "conversion/ACTAutomatedUsageTracker.h"

#include <type_traits>

#include "conversion/ACTApplication.h"
#include "conversion/ACTAutomatedUsageReporter.h"
#include "conversion/ACTDevice.h"
#include "platform/foundation/UserDefaults.h"
#include "platform/runloop/Clock.h"
#include "platform/runloop/DispatchQueue.h"

namespace ruzave {

namespace {
constexpr double kUsageInterval = 3600.0;

std::shared_ptr<ACTAutomatedUsageTracker> sharedTracker() {
    return ACTApplication::sharedApplication()->automatedUsageTracker();
}
} // namespace

ACTAutomatedUsageTracker::ACTAutomatedUsageTracker()
    : lockQueue_(platform::DispatchQueue::createSerial("com.ruzave.conversion.automated-usage-lock")) {}

template <typename F> auto ACTAutomatedUsageTracker::onLockQueue(F&& work) {
    using R = std::invoke_result_t<F>;
    if (lockQueue_->isCurrent()) return work();
    if constexpr (std::is_void_v<R>) {
        lockQueue_->sync(work);
    } else {
        R result{};
        lockQueue_->sync([&] { result = work(); });
        return result;
    }
}

void ACTAutomatedUsageTracker::enableAutomatedUsageReportingWithConversionID(const std::string& conversionID) {
    sharedTracker()->enableAutomatedUsageReporting(conversionID);
}

void ACTAutomatedUsageTracker::disableAutomatedUsageReportingWithConversionID(const std::string& conversionID) {
    sharedTracker()->disableAutomatedUsageReporting(conversionID);
}

bool ACTAutomatedUsageTracker::automatedUsageReportingIsDisabledForConversionID(const std::string& conversionID) {
    auto tracker = sharedTracker();
    return !tracker || tracker->isDisabled(conversionID);
}

bool ACTAutomatedUsageTracker::isDisabled(const std::string& conversionID) {
    return onLockQueue([&] { return disabledConversionIDs_.count(conversionID) > 0; });
}

void ACTAutomatedUsageTracker::attemptToEnableAutomatedUsageReportingWithConversionID(const std::string& conversionID) {
    onLockQueue([&] {
        if (disabledConversionIDs_.count(conversionID) > 0) return;
        enableAutomatedUsageReporting(conversionID);
    });
}

void ACTAutomatedUsageTracker::enableAutomatedUsageReporting(const std::string& conversionID) {
    onLockQueue([&] {
        auto reporter = reporterWithConversionID(conversionID);
        if (!reporter) return;
        reporters_[conversionID] = reporter;
        disabledConversionIDs_.erase(conversionID);
        reporter->setTimestamp(timeToEndOfPriorUsageIntervalSince1970());
        reporter->report();
    });
}

void ACTAutomatedUsageTracker::disableAutomatedUsageReporting(const std::string& conversionID) {
    onLockQueue([&] {
        reporters_.erase(conversionID);
        disabledConversionIDs_.insert(conversionID);
    });
}

std::shared_ptr<ACTAutomatedUsageReporter> ACTAutomatedUsageTracker::reporterWithConversionID(const std::string& conversionID) {
    if (conversionID.empty() || !ACTDevice::currentDevice()->hasIDFA() || reporters_.count(conversionID) > 0) return nullptr;
    return ACTAutomatedUsageReporter::initWithConversionID(conversionID);
}

double ACTAutomatedUsageTracker::timeToEndOfPriorUsageIntervalSince1970() {
    if (timeToEndOfPriorUsageIntervalSince1970_ != 0) return timeToEndOfPriorUsageIntervalSince1970_;
    double stored = persistentTimeToNextUsageIntervalSince1970();
    if (stored == 0) {
        stored = platform::Clock::wallTime() + kUsageInterval;
        setPersistentTimeToNextUsageIntervalSince1970(stored);
    }
    timeToEndOfPriorUsageIntervalSince1970_ = stored;
    return stored;
}

double ACTAutomatedUsageTracker::persistentTimeToNextUsageIntervalSince1970() const {
    return platform::UserDefaults::standard()->doubleValue(kACTUsageIntervalTimeKey);
}

void ACTAutomatedUsageTracker::setPersistentTimeToNextUsageIntervalSince1970(double time) {
    auto defaults = platform::UserDefaults::standard();
    defaults->set(kACTUsageIntervalTimeKey, time);
    defaults->synchronize();
}

} // namespace ruzave
