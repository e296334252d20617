#include "ads/core/telemetry/GADCrashReporter.h"

namespace ruzave {

std::shared_ptr<GADCrashReporter> GADCrashReporter::sharedInstance() {
    static const std::shared_ptr<GADCrashReporter> instance(new GADCrashReporter());
    return instance;
}

} // namespace ruzave
