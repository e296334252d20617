#pragma once
// Main-run-loop timers that call a block. Any thread; the timer fires on the main thread.
#include <functional>
#include <memory>

#include "platform/runloop/Timer.h"

namespace ruzave {

// Scheduled on the main loop; first fires `interval` seconds from now. A tolerance above 0 is set.
std::shared_ptr<platform::Timer> gad_scheduledTimerWithTimeInterval(double interval, bool repeats, double tolerance,
                                                                    std::function<void(platform::Timer&)> block);

} // namespace ruzave
