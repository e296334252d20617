#pragma once
// How long tasks ran: the longest one, and percentiles from a fixed-size tally of 10-microsecond buckets
// up to 10 ms (longer tasks share the last bucket), so it never grows however long the loop runs.
// Not thread-safe: its owner guards it (the main loop keeps it under its lock).
#include <array>
#include <cstddef>
#include <cstdint>

namespace platform {

class TaskTimeTally {
public:
    static constexpr std::size_t kBuckets = 1000;
    static constexpr double kBucketSeconds = 10e-6;

    void record(double seconds);
    void reset();
    std::uint64_t count() const { return count_; }
    double maxSeconds() const { return max_; }
    // The time within which `fraction` (0 to 1; out of range or NaN: the nearest end, NaN as 1) of the
    // tasks ran, to one bucket; tasks past the tally count as the longest one; 0 when none ran.
    double percentile(double fraction) const;

private:
    std::array<std::uint64_t, kBuckets + 1> tally_{};
    std::uint64_t count_ = 0;
    double max_ = 0;
};

} // namespace platform
