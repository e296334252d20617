#pragma once
// Automated usage reporting: one usage ping per conversion identifier per launch, unless the app has
// switched it off for that identifier. All state lives on a private serial queue; the public methods
// block their caller until the work there is done. Any thread.
#include <map>
#include <memory>
#include <set>
#include <string>

namespace platform {
class DispatchQueue;
}

namespace ruzave {

class ACTAutomatedUsageReporter;

// Where the first launch's usage interval boundary is kept (seconds since 1970).
inline constexpr const char* kACTUsageIntervalTimeKey = "ruzave_act_aur_uit";

class ACTAutomatedUsageTracker {
public:
    static void enableAutomatedUsageReportingWithConversionID(const std::string& conversionID);
    static void disableAutomatedUsageReportingWithConversionID(const std::string& conversionID);
    static bool automatedUsageReportingIsDisabledForConversionID(const std::string& conversionID);

    ACTAutomatedUsageTracker();

    // Enables unless the identifier was switched off.
    void attemptToEnableAutomatedUsageReportingWithConversionID(const std::string& conversionID);
    // The instance side of the class methods of the same name (C++ cannot overload on static).
    // Makes the identifier's usage reporter, when it has none yet, and sends its usage ping.
    void enableAutomatedUsageReporting(const std::string& conversionID);
    void disableAutomatedUsageReporting(const std::string& conversionID);
    bool isDisabled(const std::string& conversionID);
    // A new usage reporter, or nullptr for an empty identifier, without the advertising identifier
    // service, or when the identifier has one already. On the lock queue.
    std::shared_ptr<ACTAutomatedUsageReporter> reporterWithConversionID(const std::string& conversionID);
    // The stored boundary, stored as now + 3600 s on the first launch ever. On the lock queue.
    double timeToEndOfPriorUsageIntervalSince1970();
    double persistentTimeToNextUsageIntervalSince1970() const;
    void setPersistentTimeToNextUsageIntervalSince1970(double time);

    const std::shared_ptr<platform::DispatchQueue>& lockQueue() const { return lockQueue_; }

private:
    template <typename F> auto onLockQueue(F&& work);

    std::shared_ptr<platform::DispatchQueue> lockQueue_;
    std::map<std::string, std::shared_ptr<ACTAutomatedUsageReporter>> reporters_;
    std::set<std::string> disabledConversionIDs_;
    double timeToEndOfPriorUsageIntervalSince1970_ = 0;
};

} // namespace ruzave
