#include "ads/core/telemetry/GADStatisticDictionary.h"

#include <cmath>

#include "ads/core/util/GADJSONAdditions.h"
#include "platform/base/Strings.h"
#include "platform/runloop/DispatchQueue.h"

namespace ruzave {

namespace {

platform::Value decimal(double v) {
    // Whole counts stay integers, as decimal counters print them.
    if (std::isfinite(v) && std::trunc(v) == v && std::fabs(v) < 9.0e15) return static_cast<long long>(v);
    return v;
}

} // namespace

std::shared_ptr<GADStatisticDictionary> GADStatisticDictionary::initWithQueueLabel(
    const std::string& label, const std::weak_ptr<GADStatisticDictionaryDelegate>& delegate) {
    std::shared_ptr<GADStatisticDictionary> d(new GADStatisticDictionary());
    d->delegate_ = delegate;
    d->serialQueue_ = platform::DispatchQueue::createSerial(label);
    return d;
}

std::shared_ptr<GADStatisticDictionary> GADStatisticDictionary::initWithDelegate(
    const std::weak_ptr<GADStatisticDictionaryDelegate>& delegate) {
    return initWithQueueLabel(kDefaultQueueLabel, delegate);
}

std::shared_ptr<GADStatisticDictionary> GADStatisticDictionary::init() { return initWithDelegate({}); }

std::shared_ptr<GADStatisticDictionaryDelegate> GADStatisticDictionary::delegate() const {
    std::lock_guard<std::mutex> lock(delegateLock_);
    return delegate_.lock();
}

void GADStatisticDictionary::setDelegate(const std::weak_ptr<GADStatisticDictionaryDelegate>& delegate) {
    std::lock_guard<std::mutex> lock(delegateLock_);
    delegate_ = delegate;
}

void GADStatisticDictionary::dispatchAsyncShouldNotifyDelegate(bool shouldNotifyDelegate,
                                                                std::function<void(platform::Value&)> block) {
    auto self = shared_from_this();
    serialQueue_->async([self, shouldNotifyDelegate, block = std::move(block)] {
        if (!self->allowDictionaryModification_) return;
        if (block) block(self->statistics_);
        if (shouldNotifyDelegate && !self->hasEnqueuedNotificationBlock_) self->enqueueNotificationBlock();
    });
}

void GADStatisticDictionary::enqueueNotificationBlock() {
    hasEnqueuedNotificationBlock_ = true;
    auto self = shared_from_this();
    serialQueue_->async([self] {
        self->hasEnqueuedNotificationBlock_ = false;
        auto delegate = self->delegate();
        if (!delegate) return;
        auto queue = delegate->notificationQueue();
        if (!queue) return;
        queue->async([self] {
            if (auto d = self->delegate()) d->didUpdateStatisticDictionary(self);
        });
    });
}

void GADStatisticDictionary::setObject(const platform::Value& object, const std::string& key,
                                       bool shouldNotifyDelegate) {
    auto self = shared_from_this();
    dispatchAsyncShouldNotifyDelegate(shouldNotifyDelegate, [self, object, key](platform::Value& stats) {
        stats[key] = object;
        self->counterKeys_.erase(key);
        self->listKeys_.erase(key);
    });
}

void GADStatisticDictionary::setObjectForKeyedSubscript(const platform::Value& object, const std::string& key) {
    setObject(object, key, false);
}

void GADStatisticDictionary::addDecimalNumber(double number, const std::string& key, bool shouldNotifyDelegate) {
    auto self = shared_from_this();
    dispatchAsyncShouldNotifyDelegate(shouldNotifyDelegate, [self, number, key](platform::Value& stats) {
        if (!stats.contains(key)) {
            stats[key] = decimal(number);
            self->counterKeys_.insert(key);
        } else if (self->counterKeys_.count(key) > 0) {
            stats[key] = decimal(stats[key].get<double>() + number);
        }
    });
}

void GADStatisticDictionary::incrementNumberForKey(const std::string& key, bool shouldNotifyDelegate) {
    addDecimalNumber(1, key, shouldNotifyDelegate);
}

void GADStatisticDictionary::decrementNumberForKey(const std::string& key, bool shouldNotifyDelegate) {
    addDecimalNumber(-1, key, shouldNotifyDelegate);
}

void GADStatisticDictionary::addObject(const platform::Value& object, const std::string& key,
                                       bool shouldNotifyDelegate) {
    auto self = shared_from_this();
    dispatchAsyncShouldNotifyDelegate(shouldNotifyDelegate, [self, object, key](platform::Value& stats) {
        if (!stats.contains(key)) {
            stats[key] = platform::Value::array({object});
            self->listKeys_.insert(key);
        } else if (self->listKeys_.count(key) > 0) {
            stats[key].push_back(object);
        }
    });
}

std::optional<platform::Value> GADStatisticDictionary::objectForKey(const std::string& key) const {
    std::optional<platform::Value> out;
    serialQueue_->sync([&] {
        auto it = statistics_.find(key);
        if (it != statistics_.end()) out = *it;
    });
    return out;
}

platform::Value GADStatisticDictionary::dictionary() const {
    platform::Value out;
    // A deep copy: the snapshot shares no list with the queue.
    serialQueue_->sync([&] { out = statistics_; });
    return out;
}

void GADStatisticDictionary::didFinishModifying() {
    serialQueue_->sync([this] { allowDictionaryModification_ = false; });
    serialQueue_->sync([this] {
        auto d = delegate();
        if (!d) return;
        if (auto queue = d->notificationQueue()) queue->sync([] {});
    });
    setDelegate({});
}

std::string GADStatisticDictionary::description() const {
    const platform::Value stats = dictionary();
    auto json = gad_JSONStringPretty(stats, true);
    return platform::format("<GADStatisticDictionary: %p>\nqueue: %s\nstatistics: %s", static_cast<const void*>(this),
                            serialQueue_->label().c_str(),
                            (json ? *json : gad_valueDescription(stats)).c_str());
}

} // namespace ruzave
