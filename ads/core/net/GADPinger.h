#pragma once
// The process-wide sender of pings: GETs whose only result is success or failure. A ping registered in
// a retry group leaves a retry URL in the user defaults that is sent again once per period until it
// succeeds or its retries run out, across launches too. Any thread; start() on the main thread.
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "platform/base/URL.h"

namespace platform {
class DispatchQueue;
}

namespace ruzave {

class GADPageURL;
class GADScheduler;

class GADPinger : public std::enable_shared_from_this<GADPinger> {
public:
    static constexpr double kDefaultPingInterval = 60;
    static constexpr int kDefaultMaximumRetryURLCount = 10;
    static constexpr int kDefaultURLRetryCount = 3;
    // A retry pass keeps at most this many pings on the wire: thousands of stored pings must neither
    // open thousands of sockets at once nor flood the main thread with their answers.
    static constexpr std::size_t kMaximumConcurrentRetries = 16;

    static std::shared_ptr<GADPinger> sharedInstance();
    // A pinger reading the settings and the retry store afresh (the shared one is made with it).
    static std::shared_ptr<GADPinger> init();

    // Stores the retry URL in the group, then pings `url`; success removes the retry URL again. Does
    // nothing unless all three are given. The retry URL counts as in flight during this first send.
    void pingWithRetryGroupKey(const std::optional<std::string>& retryGroupKey, const std::optional<platform::URL>& url,
                               const std::optional<std::string>& retryURLString);
    // On the caller's thread, under the store's own lock (a crash handler calls it directly).
    void storeRetryURLString(const std::string& retryURLString, const std::string& retryGroupKey);
    // One GET; `completionBlock` runs on the pinger's queue with whether a 2xx answer came. An empty
    // or malformed URL string completes with false and sends nothing; no block, nothing is sent.
    void pingURLString(const std::string& urlString, std::function<void(bool)> completionBlock);
    // A URL a creative's page named is that page's load (GADClickTrackerCollection::trackURLForPage),
    // never one of the app's pings.
    void pingWithRetryGroupKey(const std::optional<std::string>&, const GADPageURL&,
                               const std::optional<std::string>&) = delete;
    void pingURLString(const GADPageURL&, std::function<void(bool)>) = delete;
    // One retry pass (run on the pinger's queue by the scheduler).
    void pingRetryURLs();
    // Schedules the retry pass once per period; the first pass runs one period from now.
    void start();

    double pingInterval() const { return pingInterval_; }
    int maximumRetryURLCount() const { return maximumRetryURLCount_; }
    int URLRetryCount() const { return URLRetryCount_; }
    std::vector<std::string> retryGroupKeys() const;
    const std::shared_ptr<platform::DispatchQueue>& lockQueue() const { return lockQueue_; }

private:
    struct RetryPass;
    GADPinger() = default;
    void sendNextRetry(const std::shared_ptr<RetryPass>& pass);
    void removeRetryURLString(const std::string& retryURLString, const std::string& retryGroupKey);
    void markInFlight(const std::string& urlString);
    void unmarkInFlight(const std::string& urlString);

    std::shared_ptr<platform::DispatchQueue> lockQueue_;
    std::shared_ptr<GADScheduler> scheduler_;  // main thread
    double pingInterval_ = kDefaultPingInterval;
    int maximumRetryURLCount_ = kDefaultMaximumRetryURLCount;
    int URLRetryCount_ = kDefaultURLRetryCount;

    // Guards the retry store (the group keys and the stored dictionaries) and the pings in flight.
    mutable std::mutex mutex_;
    std::vector<std::string> retryGroupKeys_;
    std::multiset<std::string> pingedURLs_;
};

} // namespace ruzave
