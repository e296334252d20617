#pragma once
// Shared by the timing-report tests: reporting switched on or off for the test's process before the
// shared reporter draws. Main thread.
#include "ads/core/telemetry/GADCSI.h"
#include "platform/foundation/UserDefaults.h"

namespace csitest {

inline std::shared_ptr<ruzave::GADCSI> reportingCSI(const char* probability = "1") {
    platform::UserDefaults::standard()->set(ruzave::GADCSI::kProbabilityKey, platform::Value(probability));
    return ruzave::GADCSI::sharedInstance();
}

// A finished variable of `seconds`, started at 1 s.
inline std::shared_ptr<ruzave::GADCSIVariableTiming> finished(const std::string& name, double seconds) {
    auto v = ruzave::GADCSIVariableTiming::initWithName(name, 1.0);
    v->setLength(seconds);
    return v;
}

} // namespace csitest
