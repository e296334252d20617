#pragma once
// Hears, on a queue of its choosing, that a statistic dictionary changed. Called on that queue.
#include <memory>

namespace platform {
class DispatchQueue;
}

namespace ruzave {

class GADStatisticDictionary;

class GADStatisticDictionaryDelegate {
public:
    virtual ~GADStatisticDictionaryDelegate() = default;
    // nullptr: the delegate is not told.
    virtual std::shared_ptr<platform::DispatchQueue> notificationQueue() = 0;
    virtual void didUpdateStatisticDictionary(const std::shared_ptr<GADStatisticDictionary>& dictionary) = 0;
};

} // namespace ruzave
