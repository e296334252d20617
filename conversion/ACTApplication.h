#pragma once
// The conversion library's singleton: the ping store, the usage tracker and the retry scheduler. Made on
// first use, which reloads the stored pings into the retry queue and starts the retry batches on the
// main queue. Any thread.
#include <memory>

namespace ruzave {

class ACTAutomatedUsageTracker;
class ACTPingRetryScheduler;
class ACTPingerStore;

class ACTApplication {
public:
    static std::shared_ptr<ACTApplication> sharedApplication();
    // Tests: stops the retries and drops the instance, as if the process had ended; the next
    // sharedApplication() starts a new launch from what is stored.
    static void resetSharedForTesting();

    const std::shared_ptr<ACTPingerStore>& pingerStore() const { return pingerStore_; }
    const std::shared_ptr<ACTAutomatedUsageTracker>& automatedUsageTracker() const { return automatedUsageTracker_; }
    const std::shared_ptr<ACTPingRetryScheduler>& retryScheduler() const { return retryScheduler_; }

    ACTApplication();

private:
    std::shared_ptr<ACTPingerStore> pingerStore_;
    std::shared_ptr<ACTAutomatedUsageTracker> automatedUsageTracker_;
    std::shared_ptr<ACTPingRetryScheduler> retryScheduler_;
};

} // namespace ruzave
