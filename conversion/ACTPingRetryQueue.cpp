#include "conversion/ACTPingRetryQueue.h"

#include <algorithm>
#include <set>
#include <string>

#include "conversion/ACTApplication.h"
#include "conversion/ACTPinger.h"
#include "conversion/ACTPingerStore.h"

namespace ruzave {

std::size_t ACTPingRetryQueue::count() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return pingerQueue_.size();
}

void ACTPingRetryQueue::addPinger(const std::shared_ptr<ACTPinger>& pinger) {
    if (!pinger) return;
    std::lock_guard<std::mutex> lock(mutex_);
    if (pingerQueue_.size() < kMaxEntries) pingerQueue_.push_back(pinger);
}

void ACTPingRetryQueue::addPingersFromSet(const std::vector<std::shared_ptr<ACTPinger>>& pingers) {
    std::lock_guard<std::mutex> lock(mutex_);
    for (const auto& pinger : pingers) {
        if (pingerQueue_.size() >= kMaxEntries) break;
        if (pinger) pingerQueue_.push_back(pinger);
    }
}

void ACTPingRetryQueue::retry() {
    std::vector<std::shared_ptr<ACTPinger>> batch;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        const std::size_t m = std::min(pingerQueue_.size(), kMaxPingsPerBatch);
        batch.assign(pingerQueue_.begin(), pingerQueue_.begin() + static_cast<long>(m));
        pingerQueue_.erase(pingerQueue_.begin(), pingerQueue_.begin() + static_cast<long>(m));
    }
    if (batch.empty()) return;
    // The batch's count updates reach the disk in one write.
    ACTPingerStore::Batch writes(pingerStore());
    std::set<std::string> sent;
    for (const auto& pinger : batch) {
        if (sent.insert(pinger->requestString()).second) pinger->ping();
    }
}

std::shared_ptr<ACTPingerStore> ACTPingRetryQueue::pingerStore() const {
    return ACTApplication::sharedApplication()->pingerStore();
}

} // namespace ruzave
