#pragma once
// A media time as a rational number: value / timescale seconds. Invalid or with timescale 0 it is not a
// number (an unknown duration). Any thread (a plain value).
#include <cmath>
#include <cstdint>

namespace platform {

struct MediaTime {
    std::int64_t value = 0;
    std::int32_t timescale = 0;
    bool valid = false;

    static MediaTime invalid() { return {}; }
    static MediaTime make(std::int64_t value, std::int32_t timescale) { return {value, timescale, timescale > 0}; }
    // Rounded to the nearest unit of the timescale; NaN, infinities and timescale <= 0 give invalid.
    static MediaTime fromSeconds(double seconds, std::int32_t timescale) {
        if (!std::isfinite(seconds) || timescale <= 0) return invalid();
        double v = std::round(seconds * timescale);
        if (!(std::fabs(v) < 9.0e18)) return invalid();
        return make(static_cast<std::int64_t>(v), timescale);
    }
    bool isNumeric() const { return valid && timescale > 0; }
    // NaN when not numeric.
    double seconds() const { return isNumeric() ? static_cast<double>(value) / timescale : std::nan(""); }

    bool operator==(const MediaTime&) const = default;
};

} // namespace platform
