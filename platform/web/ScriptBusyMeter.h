#pragma once
// How much of the last second a page's scripts held the main thread: script time added as entries end,
// summed over a sliding one-second window kept in twenty 50 ms buckets (fixed size, whatever the page
// does). Main thread only.
#include <array>

namespace platform {

class ScriptBusyMeter {
public:
    static constexpr double Window = 1.0;
    static constexpr int Buckets = 20;

    // Adds `busy` seconds of script time at `now` (seconds on a monotonic clock that never goes back)
    // and answers the script time within the window ending at `now`.
    double add(double now, double busy);

private:
    std::array<long long, Buckets> ids_ = filled();
    std::array<double, Buckets> busy_{};
    static std::array<long long, Buckets> filled() {
        std::array<long long, Buckets> a{};
        a.fill(-1);
        return a;
    }
};

} // namespace platform
