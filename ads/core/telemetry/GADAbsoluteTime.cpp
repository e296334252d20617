#include "ads/core/telemetry/GADAbsoluteTime.h"

#include "platform/runloop/Clock.h"

namespace ruzave {

// Whole milliseconds from the clock's exact nanoseconds: seconds in a double, scaled and truncated, read
// 300 ms as 299.
std::uint64_t GADMonotonicMilliseconds() {
    static const std::int64_t base = platform::Clock::nanoseconds();
    const std::int64_t elapsed = platform::Clock::nanoseconds() - base;
    return static_cast<std::uint64_t>(elapsed > 0 ? elapsed / 1'000'000 : 0) + 1;
}

} // namespace ruzave
