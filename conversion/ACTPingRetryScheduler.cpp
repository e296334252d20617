#include "conversion/ACTPingRetryScheduler.h"

#include "conversion/ACTPingRetryQueue.h"
#include "platform/runloop/DispatchQueue.h"

namespace ruzave {

std::shared_ptr<ACTPingRetryScheduler> ACTPingRetryScheduler::initWithRetryQueue(std::shared_ptr<ACTPingRetryQueue> queue) {
    return std::make_shared<ACTPingRetryScheduler>(std::move(queue));
}

ACTPingRetryScheduler::ACTPingRetryScheduler(std::shared_ptr<ACTPingRetryQueue> queue) : retryQueue_(std::move(queue)) {}

ACTPingRetryScheduler::~ACTPingRetryScheduler() {
    stopScheduling();
}

bool ACTPingRetryScheduler::isScheduling() const {
    std::lock_guard<std::mutex> lock(lock_);
    return scheduling_;
}

std::uint32_t ACTPingRetryScheduler::schedulingSessionID() const {
    std::lock_guard<std::mutex> lock(lock_);
    return sessionID_;
}

void ACTPingRetryScheduler::startScheduling() {
    std::lock_guard<std::mutex> lock(lock_);
    if (scheduling_) return;
    scheduling_ = true;
    startBatchLocked();
}

void ACTPingRetryScheduler::stopScheduling() {
    std::lock_guard<std::mutex> lock(lock_);
    ++sessionID_;
    scheduling_ = false;
}

void ACTPingRetryScheduler::startBatch() {
    std::lock_guard<std::mutex> lock(lock_);
    startBatchLocked();
}

void ACTPingRetryScheduler::refreshTimerForNextBatch() {
    std::lock_guard<std::mutex> lock(lock_);
    refreshTimerLocked();
}

void ACTPingRetryScheduler::startBatchLocked() {
    // The queue takes its own lock inside ours, never the other way round.
    if (retryQueue_) retryQueue_->retry();
    refreshTimerLocked();
}

void ACTPingRetryScheduler::refreshTimerLocked() {
    const std::uint32_t session = sessionID_;
    std::weak_ptr<ACTPingRetryScheduler> weak = weak_from_this();
    platform::mainQueue()->asyncAfter(kTimeBetweenBatches, [weak, session] {
        auto self = weak.lock();
        if (!self) return;
        std::lock_guard<std::mutex> lock(self->lock_);
        if (self->sessionID_ == session) self->startBatchLocked();
    });
}

} // namespace ruzave
