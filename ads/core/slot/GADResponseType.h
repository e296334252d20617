#pragma once
// The kind of an ad response, decided by the fetcher from the response headers. Plain values; any
// thread.
#include <cstdint>

namespace ruzave {

enum GADResponseType : std::uint32_t {
    GADResponseTypeNone = 0,
    GADResponseTypeStandard = 1,
    GADResponseTypeMediation = 2,
    GADResponseTypeNative = 3,
    GADResponseTypeCustomRendering = 4,
};

} // namespace ruzave
