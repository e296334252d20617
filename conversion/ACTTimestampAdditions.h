#pragma once
// Date addition of the conversion library. Any thread.
#include "platform/base/Value.h"

namespace ruzave {

// The current wall-clock time in seconds since 1970 (platform::Clock), as a number holding a double.
platform::Value act_secondsSince1970();

} // namespace ruzave
