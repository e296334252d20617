#pragma once
// Named timings over a timing manager, beside a statistics store. Made only by its subclasses.
// The owner's thread, one call at a time.
#include <memory>
#include <string>

#include "ads/core/telemetry/GADStatisticsCore.h"
#include "ads/core/telemetry/GADTiming.h"
#include "ads/core/telemetry/GADTimingManager.h"

namespace ruzave {

class GADStatistics {
  public:
    virtual ~GADStatistics() = default;

    std::shared_ptr<GADTiming> timingNamed(const std::string& name) const;
    // Replaces the timing of that category with a new, started one.
    void startTimingNamed(const std::string& name, bool explicitEnd);
    void endTimingNamed(const std::string& name);

    std::shared_ptr<GADStatisticsCore> statistics() const { return statistics_; }
    std::shared_ptr<GADTimingManager> timingManager() const { return timingManager_; }

  protected:
    GADStatistics() = default;
    std::shared_ptr<GADStatisticsCore> statistics_;
    std::shared_ptr<GADTimingManager> timingManager_;
};

} // namespace ruzave
