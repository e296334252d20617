#include "ads/core/signals/GADApplication.h"

#include "ads/core/telemetry/GADStatisticDictionary.h"

namespace ruzave {

std::shared_ptr<GADStatisticDictionary> GADApplication::statistics() const {
    // One per process, like the record itself; its own serial queue makes it safe from any thread.
    static const std::shared_ptr<GADStatisticDictionary> shared = GADStatisticDictionary::init();
    return shared;
}

} // namespace ruzave
