// HTTP dates from response headers: any text reads or is refused, and what is written reads back.
#include <cmath>

#include "fuzz/FuzzSupport.h"
#include "platform/base/HTTPDate.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    auto parsed = platform::parseHTTPDate(fuzz::text(data, size));
    if (!parsed) return 0;
    fuzz::require(std::isfinite(*parsed));
    std::string written = platform::formatHTTPDate(*parsed);
    auto again = platform::parseHTTPDate(written);
    fuzz::require(again.has_value());
    // Years outside 1-9999 are clamped on writing, so only dates inside compare.
    if (*parsed >= -62135596800.0 && *parsed < 253402300800.0) fuzz::require(*again == std::floor(*parsed));
    return 0;
}
