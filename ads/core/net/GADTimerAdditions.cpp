#include "ads/core/net/GADTimerAdditions.h"

namespace ruzave {

std::shared_ptr<platform::Timer> gad_scheduledTimerWithTimeInterval(double interval, bool repeats, double tolerance,
                                                                    std::function<void(platform::Timer&)> block) {
    auto timer = platform::Timer::create(interval, repeats, [block = std::move(block)](platform::Timer& t) {
        if (block) block(t);
    });
    if (tolerance > 0) timer->setTolerance(tolerance);
    timer->schedule();
    return timer;
}

} // namespace ruzave
