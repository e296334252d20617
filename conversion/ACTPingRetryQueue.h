#pragma once
// The failed and reloaded pings waiting to be resent, at most 500, taken in batches of 50.
// Any thread for the list (guarded by a mutex); retry() on the main thread.
#include <cstddef>
#include <deque>
#include <memory>
#include <mutex>
#include <vector>

namespace ruzave {

class ACTPinger;
class ACTPingerStore;

class ACTPingRetryQueue {
public:
    static constexpr std::size_t kMaxEntries = 500;
    static constexpr std::size_t kMaxPingsPerBatch = 50;

    std::size_t maxEntries() const { return kMaxEntries; }
    std::size_t maxPingsPerBatch() const { return kMaxPingsPerBatch; }
    std::size_t count() const;

    // Appends while fewer than 500 wait.
    void addPinger(const std::shared_ptr<ACTPinger>& pinger);
    // Appends the first pingers of `pingers`, in order, up to 500 waiting.
    void addPingersFromSet(const std::vector<std::shared_ptr<ACTPinger>>& pingers);
    // Takes the next batch and pings each distinct request of it once.
    void retry();
    std::shared_ptr<ACTPingerStore> pingerStore() const;

private:
    mutable std::mutex mutex_;
    std::deque<std::shared_ptr<ACTPinger>> pingerQueue_;
};

} // namespace ruzave
