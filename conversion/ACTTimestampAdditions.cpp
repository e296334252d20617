#include "conversion/ACTTimestampAdditions.h"

#include "platform/runloop/Clock.h"

namespace ruzave {

platform::Value act_secondsSince1970() {
    return platform::Value(platform::Clock::wallTime());
}

} // namespace ruzave
