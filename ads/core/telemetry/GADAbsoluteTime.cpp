#include "ads/core/telemetry/GADAbsoluteTime.h"

#include "platform/runloop/Clock.h"

namespace ruzave {

std::uint64_t GADMonotonicMilliseconds() {
    static const double base = platform::Clock::now();
    const double elapsed = (platform::Clock::now() - base) * 1000.0;
    return static_cast<std::uint64_t>((elapsed > 0 ? elapsed : 0.0) + 1.0);
}

} // namespace ruzave
