#pragma once
// A thread-safe bag of named statistics (counters, time stamps, lists). Changes are queued on the
// dictionary's serial queue; reads wait on it; a burst of notifying changes makes one delegate call.
// Any thread, except that didFinishModifying() must not run on the dictionary's queue or the
// delegate's notification queue.
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>

#include "ads/core/telemetry/GADStatisticDictionaryDelegate.h"
#include "platform/base/Value.h"

namespace platform {
class DispatchQueue;
}

namespace ruzave {

class GADStatisticDictionary : public std::enable_shared_from_this<GADStatisticDictionary> {
public:
    static constexpr const char* kDefaultQueueLabel = "com.ruzave.ads.statistics";

    static std::shared_ptr<GADStatisticDictionary> initWithQueueLabel(
        const std::string& label, const std::weak_ptr<GADStatisticDictionaryDelegate>& delegate);
    static std::shared_ptr<GADStatisticDictionary> initWithDelegate(
        const std::weak_ptr<GADStatisticDictionaryDelegate>& delegate);
    static std::shared_ptr<GADStatisticDictionary> init();

    std::shared_ptr<GADStatisticDictionaryDelegate> delegate() const;
    void setDelegate(const std::weak_ptr<GADStatisticDictionaryDelegate>& delegate);

    void setObject(const platform::Value& object, const std::string& key, bool shouldNotifyDelegate);
    // Subscript assignment: never notifies.
    void setObjectForKeyedSubscript(const platform::Value& object, const std::string& key);
    // Counters are decimal numbers; a value of another kind under the key is left alone.
    void addDecimalNumber(double number, const std::string& key, bool shouldNotifyDelegate);
    void incrementNumberForKey(const std::string& key, bool shouldNotifyDelegate);
    void decrementNumberForKey(const std::string& key, bool shouldNotifyDelegate);
    // Lists are appendable arrays; a value of another kind under the key is left alone.
    void addObject(const platform::Value& object, const std::string& key, bool shouldNotifyDelegate);
    // The road of every change: `block` runs on the queue with the statistics, while modifiable.
    void dispatchAsyncShouldNotifyDelegate(bool shouldNotifyDelegate,
                                           std::function<void(platform::Value& statistics)> block);

    // nullopt when absent.
    std::optional<platform::Value> objectForKey(const std::string& key) const;
    std::optional<platform::Value> objectForKeyedSubscript(const std::string& key) const { return objectForKey(key); }
    // A snapshot: its lists are copies, so later appends never reach it.
    platform::Value dictionary() const;

    // Freezes the dictionary and waits until queued notifications are delivered.
    void didFinishModifying();
    std::string description() const;

    const std::shared_ptr<platform::DispatchQueue>& serialQueue() const { return serialQueue_; }

private:
    GADStatisticDictionary() = default;
    void enqueueNotificationBlock();

    // Touched only on serialQueue_.
    platform::Value statistics_ = platform::Value::object();
    // Keys whose values the dictionary made itself: decimal counters and appendable lists. A value
    // stored with setObject() is neither, as the platform's plain numbers and fixed arrays are not.
    std::set<std::string> counterKeys_;
    std::set<std::string> listKeys_;
    bool allowDictionaryModification_ = true;
    bool hasEnqueuedNotificationBlock_ = false;

    mutable std::mutex delegateLock_;
    std::weak_ptr<GADStatisticDictionaryDelegate> delegate_;
    std::shared_ptr<platform::DispatchQueue> serialQueue_;
};

} // namespace ruzave
