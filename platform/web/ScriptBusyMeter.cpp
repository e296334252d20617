#include "platform/web/ScriptBusyMeter.h"

#include <cmath>

namespace platform {

double ScriptBusyMeter::add(double now, double busy) {
    const double width = Window / Buckets;
    auto id = static_cast<long long>(std::floor(now / width));
    auto slot = static_cast<std::size_t>(((id % Buckets) + Buckets) % Buckets);
    if (ids_[slot] != id) {
        ids_[slot] = id;
        busy_[slot] = 0;
    }
    busy_[slot] += busy > 0 ? busy : 0;
    double total = 0;
    for (std::size_t i = 0; i < ids_.size(); ++i)
        if (ids_[i] > id - Buckets && ids_[i] <= id) total += busy_[i];
    return total;
}

} // namespace platform
