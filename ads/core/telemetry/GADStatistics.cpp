#include "ads/core/telemetry/GADStatistics.h"

namespace ruzave {

std::shared_ptr<GADTiming> GADStatistics::timingNamed(const std::string& name) const {
    return timingManager_ ? timingManager_->timingForCategory(name) : nullptr;
}

void GADStatistics::startTimingNamed(const std::string& name, bool explicitEnd) {
    if (!timingManager_) return;
    timingManager_->removeTimingForCategory(name);
    auto timing = timingManager_->addTimingWithCategory(name);
    if (!timing) return;
    timing->setExplicitEnd(explicitEnd);
    timing->start();
}

void GADStatistics::endTimingNamed(const std::string& name) {
    if (auto timing = timingNamed(name)) timing->end();
}

} // namespace ruzave
