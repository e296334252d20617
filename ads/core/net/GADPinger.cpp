#include "ads/core/net/GADPinger.h"

#include <algorithm>
#include <cmath>

#include "ads/core/net/GADScheduler.h"
#include "platform/base/Value.h"
#include "platform/foundation/UserDefaults.h"
#include "platform/net/URLConnection.h"
#include "platform/net/URLRequest.h"
#include "platform/runloop/DispatchQueue.h"
#include "platform/runloop/OperationQueue.h"

namespace ruzave {

namespace {

constexpr const char* kPingIntervalKey = "/ruzave/ads/ping_interval";
constexpr const char* kMaximumRetryURLCountKey = "/ruzave/ads/maximum_retry_url_count";
constexpr const char* kURLTimeToLiveKey = "/ruzave/ads/url_time_to_live";
constexpr const char* kRetryGroupKeysKey = "/ruzave/ads/retry_group_keys";
constexpr const char* kRetryCountKey = "/ruzave/ads/retry_count";

// Settings outside these bounds are taken as mistakes and replaced by the defaults.
constexpr double kMaximumPingInterval = 24 * 60 * 60;
constexpr long long kMaximumRetryURLCountLimit = 1000;
constexpr long long kMaximumURLRetryCount = 100;

platform::Value storedGroup(const std::shared_ptr<platform::UserDefaults>& defaults, const std::string& key) {
    auto group = defaults->dictionary(key);
    return group && group->is_object() ? *group : platform::Value::object();
}

} // namespace

struct GADPinger::RetryPass {
    struct Retry {
        std::string group;
        std::string url;
    };
    std::mutex mutex;
    std::vector<Retry> retries;
    std::size_t next = 0;
};

std::shared_ptr<GADPinger> GADPinger::sharedInstance() {
    static const std::shared_ptr<GADPinger> instance = init();
    return instance;
}

std::shared_ptr<GADPinger> GADPinger::init() {
    std::shared_ptr<GADPinger> p(new GADPinger());
    p->lockQueue_ = platform::DispatchQueue::createSerial("com.ruzave.ads.pinger");
    auto defaults = platform::UserDefaults::standard();
    if (defaults->object(kPingIntervalKey)) {
        const double interval = defaults->doubleValue(kPingIntervalKey);
        if (std::isfinite(interval) && interval > 0 && interval <= kMaximumPingInterval) p->pingInterval_ = interval;
    }
    if (defaults->object(kMaximumRetryURLCountKey)) {
        const long long count = defaults->integer(kMaximumRetryURLCountKey);
        if (count > 0 && count <= kMaximumRetryURLCountLimit) p->maximumRetryURLCount_ = static_cast<int>(count);
    }
    if (defaults->object(kURLTimeToLiveKey)) {
        const long long ttl = defaults->integer(kURLTimeToLiveKey);
        if (ttl > 0 && ttl <= kMaximumURLRetryCount) p->URLRetryCount_ = static_cast<int>(ttl);
    }
    if (auto keys = defaults->array(kRetryGroupKeysKey)) {
        for (const auto& key : *keys) {
            if (key.is_string()) p->retryGroupKeys_.push_back(key.get<std::string>());
        }
    }
    return p;
}

std::vector<std::string> GADPinger::retryGroupKeys() const {
    std::lock_guard lock(mutex_);
    return retryGroupKeys_;
}

void GADPinger::markInFlight(const std::string& urlString) {
    std::lock_guard lock(mutex_);
    pingedURLs_.insert(urlString);
}

void GADPinger::unmarkInFlight(const std::string& urlString) {
    std::lock_guard lock(mutex_);
    auto it = pingedURLs_.find(urlString);
    if (it != pingedURLs_.end()) pingedURLs_.erase(it);
}

void GADPinger::pingWithRetryGroupKey(const std::optional<std::string>& retryGroupKey,
                                      const std::optional<platform::URL>& url,
                                      const std::optional<std::string>& retryURLString) {
    if (!retryGroupKey || retryGroupKey->empty() || !url || !url->isValid() || !retryURLString ||
        retryURLString->empty()) {
        return;
    }
    auto self = shared_from_this();
    const std::string group = *retryGroupKey;
    const std::string retry = *retryURLString;
    const std::string first = url->absoluteString();
    lockQueue_->async([self, group, retry, first] {
        self->storeRetryURLString(retry, group);
        // A retry pass during this first send must neither send the retry URL nor count it down.
        self->markInFlight(retry);
        self->pingURLString(first, [self, group, retry](bool success) {
            self->unmarkInFlight(retry);
            if (success) self->removeRetryURLString(retry, group);
        });
    });
}

void GADPinger::storeRetryURLString(const std::string& retryURLString, const std::string& retryGroupKey) {
    if (retryURLString.empty() || retryGroupKey.empty()) return;
    std::lock_guard lock(mutex_);
    auto defaults = platform::UserDefaults::standard();
    if (std::find(retryGroupKeys_.begin(), retryGroupKeys_.end(), retryGroupKey) == retryGroupKeys_.end()) {
        retryGroupKeys_.push_back(retryGroupKey);
    }
    platform::Value keys = platform::Value::array();
    for (const auto& key : retryGroupKeys_) keys.push_back(key);
    defaults->set(kRetryGroupKeysKey, keys);

    platform::Value group = storedGroup(defaults, retryGroupKey);
    if (group.size() < static_cast<std::size_t>(maximumRetryURLCount_) && !group.contains(retryURLString)) {
        group[retryURLString] = platform::Value{{kRetryCountKey, URLRetryCount_}};
        defaults->set(retryGroupKey, group);
    }
}

void GADPinger::removeRetryURLString(const std::string& retryURLString, const std::string& retryGroupKey) {
    std::lock_guard lock(mutex_);
    // In place: a retry pass removes thousands of URLs one by one, and copying the group for each
    // would keep this thread allocating for seconds.
    platform::UserDefaults::standard()->removeFromDictionary(retryGroupKey, retryURLString);
}

void GADPinger::pingURLString(const std::string& urlString, std::function<void(bool)> completionBlock) {
    if (!completionBlock) return;
    auto url = platform::URL::parse(urlString);
    if (urlString.empty() || !url || !url->isValid()) {
        lockQueue_->async([completionBlock] { completionBlock(false); });
        return;
    }
    markInFlight(urlString);
    auto self = shared_from_this();
    platform::URLConnection::sendAsynchronousRequest(
        platform::URLRequest(*url), platform::TransferOrigin::app(), platform::OperationQueue::mainQueue(),
        [self, urlString, completionBlock](std::optional<platform::HTTPURLResponse> response, platform::Bytes,
                                           std::optional<platform::Error> error) {
            const bool success =
                !error && response && response->statusCode() >= 200 && response->statusCode() <= 299;
            self->lockQueue_->async([self, urlString, completionBlock, success] {
                self->unmarkInFlight(urlString);
                completionBlock(success);
            });
        });
}

void GADPinger::pingRetryURLs() {
    struct Retry {
        std::string group;
        std::string url;
    };
    std::vector<Retry> toPing;
    {
        std::lock_guard lock(mutex_);
        auto defaults = platform::UserDefaults::standard();
        auto keys = defaults->object(kRetryGroupKeysKey);
        if (!keys || !keys->is_array()) return;
        for (const auto& keyValue : *keys) {
            if (!keyValue.is_string()) continue;
            const std::string key = keyValue.get<std::string>();
            auto group = defaults->dictionary(key);
            if (!group || !group->is_object()) continue;
            platform::Value kept = platform::Value::object();
            for (auto it = group->begin(); it != group->end(); ++it) {
                if (pingedURLs_.count(it.key()) != 0) {
                    kept[it.key()] = it.value();
                    continue;
                }
                const platform::Value* count = it.value().is_object() ? platform::find(it.value(), kRetryCountKey) : nullptr;
                const long long remaining = count != nullptr ? platform::integerValue(*count) : 0;
                if (remaining < 1) continue;
                kept[it.key()] = platform::Value{{kRetryCountKey, remaining - 1}};
                toPing.push_back({key, it.key()});
            }
            defaults->set(key, kept);
        }
    }
    auto pass = std::make_shared<RetryPass>();
    // Everything this pass will send counts as in flight from now on, so a pass that outlasts the period
    // neither counts these down again nor sends them twice.
    for (const auto& retry : toPing) {
        markInFlight(retry.url);
        pass->retries.push_back({retry.group, retry.url});
    }
    for (std::size_t i = 0; i < kMaximumConcurrentRetries; ++i) sendNextRetry(pass);
}

void GADPinger::sendNextRetry(const std::shared_ptr<RetryPass>& pass) {
    RetryPass::Retry retry;
    {
        std::lock_guard lock(pass->mutex);
        if (pass->next >= pass->retries.size()) return;
        retry = pass->retries[pass->next++];
    }
    auto self = shared_from_this();
    pingURLString(retry.url, [self, pass, retry](bool success) {
        self->unmarkInFlight(retry.url);
        if (success) self->removeRetryURLString(retry.url, retry.group);
        self->sendNextRetry(pass);
    });
}

void GADPinger::start() {
    if (scheduler_) return;
    scheduler_ = GADScheduler::initWithInterval(pingInterval_);
    std::weak_ptr<GADPinger> weak = weak_from_this();
    scheduler_->taskIDScheduledOnQueue(lockQueue_, [weak] {
        if (auto self = weak.lock()) self->pingRetryURLs();
    });
    scheduler_->start();
}

} // namespace ruzave
