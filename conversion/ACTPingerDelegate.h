#pragma once
// What a pinger tells its delegate when its ping ends. Main thread.
#include <memory>

#include "platform/base/Error.h"

namespace ruzave {

class ACTPinger;

class ACTPingerDelegate {
public:
    virtual ~ACTPingerDelegate() = default;
    virtual void pingDidSucceed(const std::shared_ptr<ACTPinger>& pinger) = 0;
    // The ping failed for good (no retries left, or stale).
    virtual void ping(const std::shared_ptr<ACTPinger>& pinger, const platform::Error& error) = 0;
};

} // namespace ruzave
