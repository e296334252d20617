#pragma once
// Runs a retry batch at once when scheduling starts and then every 180 seconds on the main queue.
// Any thread; batches run on the main thread.
#include <cstdint>
#include <memory>
#include <mutex>

namespace ruzave {

class ACTPingRetryQueue;

class ACTPingRetryScheduler : public std::enable_shared_from_this<ACTPingRetryScheduler> {
public:
    static constexpr double kTimeBetweenBatches = 180.0;

    static std::shared_ptr<ACTPingRetryScheduler> initWithRetryQueue(std::shared_ptr<ACTPingRetryQueue> queue);
    explicit ACTPingRetryScheduler(std::shared_ptr<ACTPingRetryQueue> queue);
    ~ACTPingRetryScheduler();

    const std::shared_ptr<ACTPingRetryQueue>& retryQueue() const { return retryQueue_; }
    double timeBetweenBatches() const { return kTimeBetweenBatches; }
    bool isScheduling() const;
    std::uint32_t schedulingSessionID() const;

    void startScheduling();
    void stopScheduling();
    // One batch now, then the timer for the next.
    void startBatch();
    void refreshTimerForNextBatch();

private:
    void startBatchLocked();
    void refreshTimerLocked();

    std::shared_ptr<ACTPingRetryQueue> retryQueue_;
    mutable std::mutex lock_;
    bool scheduling_ = false;
    std::uint32_t sessionID_ = 0;
};

} // namespace ruzave
