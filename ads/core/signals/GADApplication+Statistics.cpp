#include <cmath>

#include "ads/core/signals/GADApplication.h"
#include "ads/core/telemetry/GADStatisticDictionary.h"

namespace ruzave {

std::string GADApplication::nextSequenceNumberAsString() {
    std::lock_guard lock(sequenceLock_);
    statistics_->incrementNumberForKey("seq_num", false);
    // The request counter, not "seq_num": that is the number the mediation pings carry.
    auto requests = statistics_->objectForKey("preqs");
    double count = (requests && requests->is_number()) ? requests->get<double>() : 0.0;
    if (!std::isfinite(count)) count = 0.0;
    return std::to_string(static_cast<long long>(count));
}

} // namespace ruzave
