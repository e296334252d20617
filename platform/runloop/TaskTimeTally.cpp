#include "platform/runloop/TaskTimeTally.h"

#include <algorithm>
#include <cmath>

namespace platform {

void TaskTimeTally::record(double seconds) {
    if (!(seconds > 0)) seconds = 0; // a clock that did not move, or NaN
    max_ = std::max(max_, seconds);
    const double bucket = seconds / kBucketSeconds;
    ++tally_[bucket >= static_cast<double>(kBuckets) ? kBuckets : static_cast<std::size_t>(bucket)];
    ++count_;
}

void TaskTimeTally::reset() {
    tally_.fill(0);
    count_ = 0;
    max_ = 0;
}

double TaskTimeTally::percentile(double fraction) const {
    if (count_ == 0) return 0;
    fraction = std::clamp(std::isnan(fraction) ? 1.0 : fraction, 0.0, 1.0);
    // The rank of the task at that fraction, counting from 1.
    auto rank = std::max<std::uint64_t>(1, static_cast<std::uint64_t>(std::ceil(fraction * count_)));
    std::uint64_t seen = 0;
    for (std::size_t i = 0; i < kBuckets; ++i) {
        seen += tally_[i];
        if (seen >= rank) return std::min(max_, (i + 1) * kBucketSeconds);
    }
    return max_;
}

} // namespace platform
