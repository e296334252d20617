#pragma once
// The SDK's monotonic millisecond clock: reads 1 at its first use in the process, never decreases,
// and follows platform::Clock (so virtual time in tests). Any thread.
#include <cstdint>

namespace ruzave {

std::uint64_t GADMonotonicMilliseconds();

class GADAbsoluteTime {
public:
    static std::uint64_t absoluteTimeInMilliseconds() { return GADMonotonicMilliseconds(); }
};

} // namespace ruzave
